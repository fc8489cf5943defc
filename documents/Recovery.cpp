#include "documents/Recovery.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>

#include "profile/AtomicFile.h"
#include "profile/ProcessIdentity.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
const QString kSuffix = QStringLiteral(".recovery");
const QString kSection = QStringLiteral("Recovery");
}  // namespace

namespace Recovery {

QString recordPathFor(const QString& workingCopy) { return workingCopy + kSuffix; }

QString startTimeOf(qint64 pid) { return ProcessIdentity::startTimeOf(pid); }

bool isRunning(qint64 pid, const QString& started) {
  // Every record this program writes names its owner's start time; one without
  // it cannot prove that the live process holding the number is its owner.
  return !started.isEmpty() && ProcessIdentity::isRunning(pid) && startTimeOf(pid) == started;
}

void write(const QString& workingCopy, const QString& source, const QString& caption, const QString& type,
           const QString& disk, const Owner& owner) {
  const qint64 pid = owner.pid > 0 ? owner.pid : ProcessIdentity::currentPid();
  const QString started = owner.pid > 0 ? owner.started : startTimeOf(pid);
  try {
    ProfileFile record(recordPathFor(workingCopy));
    record.setText(kSection, QStringLiteral("Source"), source);
    record.setText(kSection, QStringLiteral("Caption"), caption);
    record.setText(kSection, QStringLiteral("Type"), type);
    record.setText(kSection, QStringLiteral("Time"), QDateTime::currentDateTime().toString(Qt::ISODate));
    record.setText(kSection, QStringLiteral("Pid"), QString::number(pid));
    record.setText(kSection, QStringLiteral("Started"), started);
    record.setText(kSection, QStringLiteral("Disk"), disk);
    record.commit();
  } catch (const std::exception& e) {
    // Without a record the edits are still in the working copy; only the offer at the next start is lost.
    std::fprintf(stderr, "%s\n", e.what());
  }
}

void remove(const QString& workingCopy) { AtomicFile::remove(recordPathFor(workingCopy)); }

namespace {
constexpr qint64 kMaxRecordSize = 64 * 1024;
}  // namespace

Scan scan(const QString& folder) {
  Scan out;
  if (const QString problem = AtomicFile::privateFolderProblem(folder); !problem.isEmpty()) {
    if (!QDir(folder)
             .entryList({QStringLiteral("*") + kSuffix}, QDir::Files | QDir::System | QDir::Hidden)
             .isEmpty())
      out.skipped.append(QStringLiteral("%1: %2").arg(folder, problem));
    return out;
  }
  const QStringList names = QDir(folder).entryList({QStringLiteral("*") + kSuffix},
                                                   QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
  for (const QString& name : names) {
    Record r;
    r.recordPath = folder + QLatin1Char('/') + name;
    r.workingCopy = r.recordPath.chopped(kSuffix.size());
    auto skip = [&](const QString& why) {
      out.skipped.append(QStringLiteral("%1: %2").arg(r.recordPath, why));
    };
    const std::optional<QByteArray> text = AtomicFile::readOwnRegular(r.recordPath);
    if (!text || text->size() > kMaxRecordSize) {
      skip(QStringLiteral("not a regular file of your own"));
      continue;
    }
    try {
      const ProfileFile record(*text, ProfileFile::FromMemory{});
      r.source = record.text(kSection, QStringLiteral("Source"));
      r.caption = record.text(kSection, QStringLiteral("Caption"));
      r.type = record.text(kSection, QStringLiteral("Type"), QStringLiteral("Arena"));
      r.time = QDateTime::fromString(record.text(kSection, QStringLiteral("Time")), Qt::ISODate);
      r.pid = record.text(kSection, QStringLiteral("Pid")).toLongLong();
      r.started = record.text(kSection, QStringLiteral("Started"));
      r.disk = record.text(kSection, QStringLiteral("Disk"));
    } catch (const TessaryError&) {
      skip(QStringLiteral("it cannot be read"));
      continue;
    }
    if (r.pid <= 0) {
      skip(QStringLiteral("it names no process"));
      continue;
    }
    if (isRunning(r.pid, r.started)) continue;  // a running copy's own: not ours to touch or report
    if (!AtomicFile::isPlainFileName(r.caption)) {
      skip(QStringLiteral("its name is not a plain file name"));
      continue;
    }
    if (!r.source.isEmpty() && !QDir::isAbsolutePath(r.source)) {
      skip(QStringLiteral("its file is not a full path"));
      continue;
    }
    if (r.type != QStringLiteral("Arena") && r.type != QStringLiteral("Server"))
      r.type = QStringLiteral("Arena");
    if (!AtomicFile::exists(r.workingCopy)) continue;  // nothing left to recover
    if (!AtomicFile::isOwnRegular(r.workingCopy)) {
      skip(QStringLiteral("its working copy is not a regular file of your own"));
      continue;
    }
    out.records.append(r);
  }
  return out;
}

QList<Record> orphans(const QString& folder) { return scan(folder).records; }

std::optional<QByteArray> readWorkingCopy(const Record& record, unsigned* mode) {
  return AtomicFile::readOwnRegular(record.workingCopy, mode);
}

}  // namespace Recovery

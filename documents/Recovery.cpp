#include "documents/Recovery.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
const QString kSuffix = QStringLiteral(".recovery");
const QString kSection = QStringLiteral("Recovery");
qint64 g_ownerPid = 0;
QString g_ownerStarted;
}  // namespace

namespace Recovery {

QString recordPathFor(const QString& workingCopy) { return workingCopy + kSuffix; }

QString startTimeOf(qint64 pid) {
  // Field 22 of /proc/<pid>/stat, after the command name in parentheses (which may hold blanks).
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return {};
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  if (close < 0) return {};
  const QList<QByteArray> fields = text.mid(close + 2).split(' ');
  return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

bool isRunning(qint64 pid, const QString& started) {
  if (pid <= 0) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  return started.isEmpty() || startTimeOf(pid) == started;
}

void setOwnerForTesting(qint64 pid, const QString& started) {
  g_ownerPid = pid;
  g_ownerStarted = started;
}

void write(const QString& workingCopy, const QString& source, const QString& caption, const QString& type,
           const QString& disk) {
  const qint64 pid = g_ownerPid > 0 ? g_ownerPid : static_cast<qint64>(::getpid());
  const QString started = g_ownerPid > 0 ? g_ownerStarted : startTimeOf(pid);
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

QList<Record> orphans(const QString& folder) {
  QList<Record> out;
  const QStringList names = QDir(folder).entryList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Name);
  for (const QString& name : names) {
    Record r;
    r.recordPath = folder + QLatin1Char('/') + name;
    r.workingCopy = r.recordPath.chopped(kSuffix.size());
    try {
      const ProfileFile record(r.recordPath);
      r.source = record.text(kSection, QStringLiteral("Source"));
      r.caption = record.text(kSection, QStringLiteral("Caption"));
      r.type = record.text(kSection, QStringLiteral("Type"), QStringLiteral("Arena"));
      r.time = QDateTime::fromString(record.text(kSection, QStringLiteral("Time")), Qt::ISODate);
      r.pid = record.text(kSection, QStringLiteral("Pid")).toLongLong();
      r.started = record.text(kSection, QStringLiteral("Started"));
      r.disk = record.text(kSection, QStringLiteral("Disk"));
    } catch (const TessaryError&) {
      continue;  // a record that cannot be read is nobody's to act on
    }
    if (r.pid <= 0 || r.caption.isEmpty() || isRunning(r.pid, r.started)) continue;
    if (!AtomicFile::exists(r.workingCopy)) continue;
    out.append(r);
  }
  return out;
}

}  // namespace Recovery

#include "documents/WorkingCopies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>

#include "profile/AtomicFile.h"

namespace {

QString resolvedPath(const QString& path) {
  // The deepest existing folder, resolved, with the rest of the path after it.
  QFileInfo info(QDir::cleanPath(QDir(path).absolutePath()));
  if (info.exists()) return info.canonicalFilePath();
  const QString parent = info.absolutePath();
  if (parent == info.absoluteFilePath()) return parent;
  return resolvedPath(parent) + QLatin1Char('/') + info.fileName();
}

// "Name (2).cfg" -> "Name.cfg": the name a working copy was made after.
QString baseNameOf(const QString& workingFileName) {
  static const QRegularExpression numbered(QStringLiteral("^(.*) \\(\\d+\\)(\\.[^.]*)?$"));
  const QRegularExpressionMatch m = numbered.match(workingFileName);
  return m.hasMatch() ? m.captured(1) + m.captured(2) : workingFileName;
}
}  // namespace

WorkingCopies::WorkingCopies(const QString& folder) : m_folder(QDir::cleanPath(folder)) {}

void WorkingCopies::makeFolder() const {
  // Unsaved edits are nobody else's business: the folder is the user's alone.
  AtomicFile::makePrivateFolder(m_folder);
}

QString WorkingCopies::freeName(const QString& fileName) const {
  auto taken = [&](const QString& path) { return m_made.contains(path) || AtomicFile::exists(path); };
  QString candidate = m_folder + QLatin1Char('/') + fileName;
  const QFileInfo info(fileName);
  const QString stem = info.completeBaseName();
  const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
  for (int n = 2; taken(candidate); ++n)
    candidate = m_folder + QLatin1Char('/') + QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);
  return candidate;
}

QString WorkingCopies::create(const QString& fileName, const QString& source, DiskStamp* stamp) {
  // Read everything first: the source may be a working copy itself, and it is never touched.
  DiskStamp seen = DiskStamp::look(source);
  const std::optional<QByteArray> read = AtomicFile::read(source);
  if (stamp) *stamp = seen.withContent(read);
  const QByteArray content = read.value_or(QByteArray());
  // Who may read the copy is who may read the source; this program must still write it.
  const std::optional<unsigned> mode = AtomicFile::modeOf(source);
  return createWith(fileName, content, mode ? std::optional<unsigned>((*mode & 0777) | 0600) : std::nullopt);
}

QString WorkingCopies::createWith(const QString& fileName, const QByteArray& content,
                                  std::optional<unsigned> mode) {
  makeFolder();
  QString path;
  // Claim the name first, so another running copy choosing at the same moment takes another.
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = freeName(fileName);
    // The write below keeps the reserved file's bits: it gets the copy's own now.
    if (AtomicFile::createNew(path, mode)) break;
    if (!AtomicFile::exists(path)) break;  // not taken, yet not made: the write below reports why
  }
  try {
    AtomicFile::write(path, content);
  } catch (...) {
    AtomicFile::remove(path);
    throw;
  }
  m_made.append(path);
  return path;
}

QString WorkingCopies::follow(const QString& workingCopy, const QString& fileName) {
  if (baseNameOf(QFileInfo(workingCopy).fileName()) == fileName) return workingCopy;
  // Another running copy may take the free name in the meantime: never replace what is there.
  QString followed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    followed = freeName(fileName);
    if (beforeRename) beforeRename(followed);
    const AtomicFile::Rename renamed = AtomicFile::renameNoReplace(workingCopy, followed);
    if (renamed == AtomicFile::Rename::Done) break;
    if (renamed != AtomicFile::Rename::TargetTaken) return workingCopy;
    followed.clear();
  }
  if (followed.isEmpty()) return workingCopy;
  m_made.removeAll(workingCopy);
  m_made.append(followed);
  return followed;
}

bool WorkingCopies::owns(const QString& path) const { return m_made.contains(QDir::cleanPath(path)); }

bool WorkingCopies::isInsideFolder(const QString& path) const {
  const QString folder = resolvedPath(m_folder);
  const QString target = resolvedPath(path);
  // Windows' file names match letter case aside: C:\Users and c:\users are one folder.
#ifdef Q_OS_WIN
  const Qt::CaseSensitivity names = Qt::CaseInsensitive;
#else
  const Qt::CaseSensitivity names = Qt::CaseSensitive;
#endif
  return target.compare(folder, names) == 0 || target.startsWith(folder + QLatin1Char('/'), names);
}

void WorkingCopies::removeAll() {
  for (const QString& path : m_made) AtomicFile::remove(path);
  m_made.clear();
}

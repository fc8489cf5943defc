#include "documents/WorkingCopies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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

QString WorkingCopies::create(const QString& fileName, const QString& source) {
  // Read everything first: the source may be a working copy itself, and it is never touched.
  return createWith(fileName, AtomicFile::read(source).value_or(QByteArray()));
}

QString WorkingCopies::createWith(const QString& fileName, const QByteArray& content) {
  QDir().mkpath(m_folder);
  QString path;
  // Claim the name first, so another running copy choosing at the same moment takes another.
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = freeName(fileName);
    const int fd = ::open(AtomicFile::nativePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      break;
    }
    if (errno != EEXIST) break;  // the write below reports it
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
  const QString followed = freeName(fileName);
  if (::rename(AtomicFile::nativePath(workingCopy).constData(), AtomicFile::nativePath(followed).constData()) != 0)
    return workingCopy;
  m_made.removeAll(workingCopy);
  m_made.append(followed);
  return followed;
}

bool WorkingCopies::owns(const QString& path) const { return m_made.contains(QDir::cleanPath(path)); }

bool WorkingCopies::isInsideFolder(const QString& path) const {
  const QString folder = resolvedPath(m_folder);
  const QString target = resolvedPath(path);
  return target == folder || target.startsWith(folder + QLatin1Char('/'));
}

void WorkingCopies::removeAll() {
  for (const QString& path : m_made) AtomicFile::remove(path);
  m_made.clear();
}

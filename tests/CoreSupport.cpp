#include "tests/CoreSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstring>
#include <thread>

#include "profile/AtomicFile.h"

QString sourceDir() { return QStringLiteral(TESSARY_SOURCE_DIR); }

QByteArray withFileVersion(const QByteArray& exe, const QByteArray& version) {
  const QByteArray own(TESSARY_VERSION);
  if (own.size() != version.size()) return {};
#ifdef _WIN32
  auto utf16 = [](const QByteArray& text) {
    QByteArray out;
    for (char c : text) out.append(c).append('\0');
    return out;
  };
  // VS_VERSIONINFO String: key "FileVersion", its NUL, padding to 4 bytes, then the value.
  const QByteArray key = utf16("FileVersion") + QByteArray(2, '\0');
  const qsizetype at = exe.indexOf(key);
  if (at < 0 || exe.indexOf(key, at + 1) >= 0) return {};
  const qsizetype value = exe.indexOf(utf16(own), at + key.size());
  if (value < 0 || value > at + key.size() + 4) return {};
  QByteArray out = exe;
  out.replace(value, utf16(own).size(), utf16(version));
  return out;
#else
  // The block's own line (the next key makes it unique in the file), same length: the layout stays.
  // Put together at run time: as one literal it would stand in this file too.
  const QByteArray from = QByteArray("FileVersion=") + own + QByteArray("\nInternalName=");
  const QByteArray to = QByteArray("FileVersion=") + version + QByteArray("\nInternalName=");
  if (exe.count(from) != 1) return {};
  QByteArray out = exe;
  out.replace(from, to);
  return out;
#endif
}

QString missingFolderWords() {
#ifdef _WIN32
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      ERROR_PATH_NOT_FOUND, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  QString words = QString::fromWCharArray(text, static_cast<qsizetype>(n)).trimmed();
  LocalFree(text);
  if (words.endsWith(QLatin1Char('.'))) words.chop(1);
  return words;
#else
  return QString::fromLocal8Bit(std::strerror(ENOENT));
#endif
}

void setModeOf(const QString& path, unsigned mode) { AtomicFile::setMode(path, mode); }

unsigned modeOf(const QString& path) { return AtomicFile::modeOf(path).value_or(0); }

bool runningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

QStringList sleeperArguments() { return {QStringLiteral("--sleep-until-killed")}; }

bool answerSleeperRequest(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--sleep-until-killed") != 0) return false;
  std::this_thread::sleep_for(std::chrono::minutes(5));
  return true;
}

QByteArray readBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

namespace {
void copyTree(const QString& from, const QString& to) {
  QDir().mkpath(to);
  QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString src = it.next();
    const QString dst = to + src.mid(from.size());
    if (it.fileInfo().isDir())
      QDir().mkpath(dst);
    else
      QFile::copy(src, dst);
  }
}
}  // namespace

TempApp::TempApp() : m_paths(m_dir.path()) {
  copyTree(sourceDir() + QStringLiteral("/base"), m_dir.path() + QStringLiteral("/base"));
  QDir().mkpath(m_paths.temp());
  QDir().mkpath(m_paths.updates());
  QDir().mkpath(m_paths.backups());
  QDir().mkpath(path(QStringLiteral("xdg-config")));
  qputenv("XDG_CONFIG_HOME", path(QStringLiteral("xdg-config")).toLocal8Bit());
  // The association goes to the data folder: never the developer's own.
  QDir().mkpath(path(QStringLiteral("xdg-data")));
  qputenv("XDG_DATA_HOME", path(QStringLiteral("xdg-data")).toLocal8Bit());
}

QString TempApp::file(const QString& relative, const QByteArray& content) const {
  const QString p = path(relative);
  QDir().mkpath(QFileInfo(p).absolutePath());
  writeBytes(p, content);
  return p;
}

#include "prefs/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "profile/AtomicFile.h"

namespace {
QString clean(const QString& folder) { return QDir::cleanPath(QDir(folder).absolutePath()); }
}  // namespace

AppPaths::AppPaths(const QString& appFolder, const QString& executableName)
    : m_app(clean(appFolder)), m_exe(executableName) {
  m_base = m_app + QStringLiteral("/base");
  m_data = m_base;
}

AppPaths AppPaths::installed(const QString& appFolder, const QString& executableName,
                             const QString& dataFolder, const QString& userBase) {
  AppPaths paths(appFolder, executableName);
  paths.m_installed = true;
  paths.m_data = clean(dataFolder);
  paths.m_base = clean(userBase);
  return paths;
}

QString AppPaths::userBaseIn(const QString& dataHome) {
#ifdef Q_OS_WIN
  return dataHome + QStringLiteral("/Tessary/base");  // %LOCALAPPDATA%\Tessary\base
#else
  return dataHome + QStringLiteral("/tessary/base");
#endif
}

AppPaths AppPaths::fromFolder(const QString& appFolder, const QString& executableName,
                              const QString& dataHome) {
  const QString userBase = userBaseIn(dataHome);
  const QString beside = clean(appFolder + QStringLiteral("/base"));
  if (QFileInfo(beside).isDir()) {
    // A build or an unpacked folder: it keeps everything beside the executable, where it may write.
    const bool byInstaller = QFileInfo(appFolder + QLatin1Char('/') + QLatin1String(kInstallerMark)).isFile();
    if (!byInstaller && AtomicFile::mayWrite(beside)) return AppPaths(appFolder, executableName);
    return installed(appFolder, executableName, beside, userBase);
  }
  // A package: the shipped files under share/, nothing written under the prefix (not even by root).
  const QString shared = clean(appFolder + QStringLiteral("/../share/tessary"));
  if (QFileInfo(shared).isDir()) return installed(appFolder, executableName, shared, userBase);
  return AppPaths(appFolder, executableName);
}

AppPaths AppPaths::fromExecutable() {
#ifdef Q_OS_WIN
  // Where a copy installed under Program Files writes: the user's local application data.
  QString dataHome = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
  if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
    dataHome = QDir::homePath() + QStringLiteral("/AppData/Local");
#else
  QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
    dataHome = QDir::homePath() + QStringLiteral("/.local/share");
#endif
  return fromFolder(QCoreApplication::applicationDirPath(),
                    QFileInfo(QCoreApplication::applicationFilePath()).fileName(), dataHome);
}

bool AppPaths::prepare(QString* why) const {
  if (!m_installed) return true;
  for (const QString& folder : {base(), updates(), backups()}) {
    if (!QDir().mkpath(folder)) {
      if (why) *why = QStringLiteral("Unable to create the folder %1").arg(folder);
      return false;
    }
  }
  // Working copies are the user's unsaved edits: nobody else reads them.
  if (!QDir().mkpath(temp()) ||
      !QFile::setPermissions(temp(),
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
    if (why) *why = QStringLiteral("Unable to create the folder %1").arg(temp());
    return false;
  }
  const QString sample = base() + QStringLiteral("/svs.cfg");
  if (!QFileInfo::exists(sample) && QFile::copy(standardArena(), sample))
    QFile::setPermissions(sample, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ReadOther);
  return true;
}

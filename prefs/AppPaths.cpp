#include "prefs/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

AppPaths::AppPaths(const QString& appFolder, const QString& executableName)
    : m_app(QDir::cleanPath(QDir(appFolder).absolutePath())), m_exe(executableName) {}

AppPaths AppPaths::fromExecutable() {
  return AppPaths(QCoreApplication::applicationDirPath(),
                  QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

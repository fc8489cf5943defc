#include "prefs/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

AppPaths::AppPaths(const QString& appFolder) : m_app(QDir::cleanPath(QDir(appFolder).absolutePath())) {}

AppPaths AppPaths::fromExecutable() { return AppPaths(QCoreApplication::applicationDirPath()); }

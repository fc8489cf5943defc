#pragma once
#include <QString>

// Every path the program builds starts from the application folder (the
// folder of the executable). Tests point it at a temporary folder.
class AppPaths {
 public:
  // executableName: the program's file in the folder (what an update replaces).
  explicit AppPaths(const QString& appFolder, const QString& executableName = QStringLiteral("tessary"));
  static AppPaths fromExecutable();  // needs a QCoreApplication

  QString appFolder() const { return m_app; }
  QString executable() const { return m_app + QLatin1Char('/') + m_exe; }
  QString base() const { return m_app + QStringLiteral("/base"); }
  QString temp() const { return base() + QStringLiteral("/temp"); }
  QString updates() const { return base() + QStringLiteral("/updates"); }
  QString backups() const { return base() + QStringLiteral("/backups"); }
  QString configIni() const { return base() + QStringLiteral("/config.ini"); }
  QString helpFile() const { return base() + QStringLiteral("/help.hlp"); }
  QString standardArena() const { return base() + QStringLiteral("/svs.cfg"); }
  QString multifirePicture() const { return base() + QStringLiteral("/images/multifire.bmp"); }
  QString shipPicture(const QString& ship) const {
    return base() + QStringLiteral("/images/ships/") + ship + QStringLiteral(".bmp");
  }
  // base/temp/ plus a file name: where a document's working copy lives.
  QString tempFile(const QString& fileName) const { return temp() + QLatin1Char('/') + fileName; }

 private:
  QString m_app;
  QString m_exe;
};

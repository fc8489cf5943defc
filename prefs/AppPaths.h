#pragma once
#include <QString>

// Every path the program builds starts here. Two layouts:
//
// - portable (a build folder, an unpacked archive): the folder of the
//   executable holds base/, and base/ holds both the shipped files and what the
//   program writes (config.ini, temp/, updates/, backups/);
// - installed (a system package, a folder the user cannot write, or a folder the
//   Windows installer filled): the shipped files are read from
//   <prefix>/share/tessary/ (or the base/ beside the executable), and what the
//   program writes lives in $XDG_DATA_HOME/tessary/base/ (~/.local/share/tessary/base/),
//   or %LOCALAPPDATA%\Tessary\base on Windows.
//
// Tests point either at temporary folders.
class AppPaths {
 public:
  // A portable layout. executableName: the program's file in the folder (what an update replaces).
  explicit AppPaths(const QString& appFolder, const QString& executableName = QStringLiteral("tessary"));
  // An installed layout: shipped files in dataFolder, writable files in userBase.
  static AppPaths installed(const QString& appFolder, const QString& executableName,
                            const QString& dataFolder, const QString& userBase);
  // The layout of the running program (needs a QCoreApplication; see fromFolder).
  static AppPaths fromExecutable();
  // Where an installed copy writes, in the user's data folder: tessary/base
  // ($XDG_DATA_HOME), or Tessary\base (%LOCALAPPDATA%) on Windows.
  static QString userBaseIn(const QString& dataHome);
  // The installer's uninstaller, beside the executable of a copy it installed.
  // Such a copy is the installer's to update and remove, even in a folder the
  // user may write (a per-user install under %LOCALAPPDATA%\Programs).
  static constexpr const char* kInstallerMark = "uninstall.exe";
  // The decision for an executable in appFolder: portable when appFolder/base
  // is there and writable (or when nothing else is there); installed, with the
  // writable files under userBaseIn(dataHome), when appFolder/base cannot be
  // written or an installer put it there (the shipped files stay there), or when
  // it is missing while appFolder/../share/tessary holds the shipped files (a package).
  static AppPaths fromFolder(const QString& appFolder, const QString& executableName,
                             const QString& dataHome);

  bool isInstalled() const { return m_installed; }
  QString appFolder() const { return m_app; }
  QString executable() const { return m_app + QLatin1Char('/') + m_exe; }
  // What the program writes.
  QString base() const { return m_base; }
  QString temp() const { return base() + QStringLiteral("/temp"); }
  QString updates() const { return base() + QStringLiteral("/updates"); }
  QString backups() const { return base() + QStringLiteral("/backups"); }
  QString configIni() const { return base() + QStringLiteral("/config.ini"); }
  // Where the exception log goes: beside the executable, or in the writable base when installed.
  QString logFolder() const { return m_installed ? m_base : m_app; }
  // What the program ships and only reads.
  QString data() const { return m_data; }
  QString helpFile() const { return data() + QStringLiteral("/help.hlp"); }
  QString rulesFile() const { return data() + QStringLiteral("/cfgcheck.cdu"); }
  QString standardArena() const { return data() + QStringLiteral("/svs.cfg"); }
  QString multifirePicture() const { return data() + QStringLiteral("/images/multifire.bmp"); }
  QString shipPicture(const QString& ship) const {
    return data() + QStringLiteral("/images/ships/") + ship + QStringLiteral(".bmp");
  }
  // base/temp/ plus a file name: where a document's working copy lives.
  QString tempFile(const QString& fileName) const { return temp() + QLatin1Char('/') + fileName; }

  // Makes the writable base of an installed layout at first start: the folder,
  // and a copy of the sample arena the user may edit. Never replaces a file.
  // False (with the reason in *why) when the folder cannot be made.
  bool prepare(QString* why = nullptr) const;

 private:
  QString m_app;
  QString m_exe;
  QString m_base;
  QString m_data;
  bool m_installed = false;
};

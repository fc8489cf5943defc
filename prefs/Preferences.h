#pragma once
#include <QString>

#include "prefs/AppPaths.h"

// The preferences file base/config.ini. Windows never spell its keys.
class Preferences {
 public:
  explicit Preferences(const AppPaths& paths) : m_file(paths.configIni()), m_temp(paths.temp()) {}
  QString file() const { return m_file; }
  bool exists() const;

  // Template for new documents; "N/A" when the key is absent.
  QString defaultSettings() const;
  void setDefaultSettings(const QString& path) const;
  // The hand-over key: a file name waiting to be opened, or empty.
  QString externalFile() const;  // "N/A" when absent
  void setExternalFile(const QString& path) const;
  // The game client's executable ("N/A" when absent), the storage folder (empty when
  // absent) and the backup folder ("N/A" when absent).
  QString continuum() const;
  void setContinuum(const QString& path) const;
  QString storageFolder() const;
  void setStorageFolder(const QString& path) const;
  QString backupFolder() const;
  void setBackupFolder(const QString& path) const;
  // Whether a save keeps the replaced content as a backup; yes unless cleared.
  bool createBackups() const;
  void setCreateBackups(bool on) const;
  // The time of the last update check as stored ("mm/dd/yy hh:mm:ss"), empty when never.
  QString updatesChecked() const;
  void setUpdatesChecked(const QString& text) const;
  // Whether a save first checks the document against the range rules; no unless ticked.
  bool checkOnSave() const;
  void setCheckOnSave(bool on) const;
  // Where the backup of a file saved to target goes: target + "x", or, when a
  // backup folder is set and exists, a name there made of target's whole path
  // ("%2Fhome%2Fop%2Fsvs.cfgx"), so files of one name from two folders keep
  // backups of their own.
  QString backupPathFor(const QString& target) const;

  // Where a file or folder dialog opens: the storage folder when it is set and
  // there, else the folder of lastUsed (a file or folder), else the home folder;
  // never the working folder base/temp/ (the program's current folder), whose
  // files are working copies.
  QString dialogFolder(const QString& lastUsed = {}) const;

 private:
  QString m_file;
  QString m_temp;
};

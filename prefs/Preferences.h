#pragma once
#include <QString>

#include "prefs/AppPaths.h"

// The preferences file base/config.ini. Windows never spell its keys.
class Preferences {
 public:
  explicit Preferences(const AppPaths& paths) : m_file(paths.configIni()) {}
  QString file() const { return m_file; }
  bool exists() const;

  // Template for new documents; "N/A" when the key is absent.
  QString defaultSettings() const;
  void setDefaultSettings(const QString& path) const;
  // The hand-over key: a file name waiting to be opened, or empty.
  QString externalFile() const;  // "N/A" when absent
  void setExternalFile(const QString& path) const;

 private:
  QString m_file;
};

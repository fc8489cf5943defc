#include "prefs/Preferences.h"

#include <QFileInfo>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"

namespace {
const QString kPaths = QStringLiteral("Paths");
const QString kDefaultSettings = QStringLiteral("DefaultSettings");
const QString kExternalFile = QStringLiteral("ExternalFile");
const QString kNA = QStringLiteral("N/A");

// File names are kept as the bytes that name the file, whatever their encoding.
QString readPath(const QString& file, const QString& key) {
  const ProfileFile profile(file);
  if (!profile.hasKey(kPaths.toUtf8(), key.toUtf8())) return kNA;
  return AtomicFile::decodePath(profile.value(kPaths.toUtf8(), key.toUtf8()));
}
void writePath(const QString& file, const QString& key, const QString& path) {
  ProfileFile profile(file);
  profile.setValue(kPaths.toUtf8(), key.toUtf8(), AtomicFile::nativePath(path));
  profile.commit();
}
}  // namespace

bool Preferences::exists() const { return QFileInfo::exists(m_file); }
QString Preferences::defaultSettings() const { return readPath(m_file, kDefaultSettings); }
void Preferences::setDefaultSettings(const QString& path) const { writePath(m_file, kDefaultSettings, path); }
QString Preferences::externalFile() const { return readPath(m_file, kExternalFile); }
void Preferences::setExternalFile(const QString& path) const { writePath(m_file, kExternalFile, path); }

#include "prefs/Preferences.h"

#include <QFileInfo>

#include "profile/ProfileFile.h"

namespace {
const QString kPaths = QStringLiteral("Paths");
const QString kDefaultSettings = QStringLiteral("DefaultSettings");
const QString kExternalFile = QStringLiteral("ExternalFile");
const QString kNA = QStringLiteral("N/A");
}  // namespace

bool Preferences::exists() const { return QFileInfo::exists(m_file); }
QString Preferences::defaultSettings() const { return ProfileFile::readText(m_file, kPaths, kDefaultSettings, kNA); }
void Preferences::setDefaultSettings(const QString& path) const {
  ProfileFile::writeText(m_file, kPaths, kDefaultSettings, path);
}
QString Preferences::externalFile() const { return ProfileFile::readText(m_file, kPaths, kExternalFile, kNA); }
void Preferences::setExternalFile(const QString& path) const {
  ProfileFile::writeText(m_file, kPaths, kExternalFile, path);
}

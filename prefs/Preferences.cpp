#include "prefs/Preferences.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"

namespace {
const QString kPaths = QStringLiteral("Paths");
const QString kDefaultSettings = QStringLiteral("DefaultSettings");
const QString kExternalFile = QStringLiteral("ExternalFile");
const QString kContinuum = QStringLiteral("Continuum");
const QString kStorage = QStringLiteral("cfgStorageDir");
const QString kBackupFolder = QStringLiteral("BackupFolder");
const QString kMisc = QStringLiteral("Misc");
const QString kCreateBackups = QStringLiteral("CreateBackups");
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

QString Preferences::continuum() const { return readPath(m_file, kContinuum); }
void Preferences::setContinuum(const QString& path) const { writePath(m_file, kContinuum, path); }
QString Preferences::storageFolder() const {
  const QString value = readPath(m_file, kStorage);
  return value == kNA ? QString() : value;
}
void Preferences::setStorageFolder(const QString& path) const { writePath(m_file, kStorage, path); }
QString Preferences::backupFolder() const { return readPath(m_file, kBackupFolder); }
void Preferences::setBackupFolder(const QString& path) const { writePath(m_file, kBackupFolder, path); }
bool Preferences::createBackups() const {
  return ProfileFile::readText(m_file, kMisc, kCreateBackups, QStringLiteral("1")) != QStringLiteral("0");
}
void Preferences::setCreateBackups(bool on) const {
  ProfileFile::writeText(m_file, kMisc, kCreateBackups, on ? QStringLiteral("1") : QStringLiteral("0"));
}
QString Preferences::backupPathFor(const QString& target) const {
  const QString folder = backupFolder();
  if (folder == kNA || folder.isEmpty() || !QFileInfo(folder).isDir()) return target + QLatin1Char('x');
  // One folder collects the backups of files from many folders: the name keeps the
  // whole source path ("/" as %2F, "%" as %25), so two files of the same name never
  // share a backup, and the name still says where the file came from.
  const QString source = QFileInfo(target).absoluteFilePath();
  QString name = source;
  name.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(QLatin1Char('/'), QStringLiteral("%2F"));
  name += QLatin1Char('x');
  if (AtomicFile::nativePath(name).size() > 240) {
    // Too long for one file name: the file's own name and a digest of the path.
    const QByteArray digest =
        QCryptographicHash::hash(AtomicFile::nativePath(source), QCryptographicHash::Sha256).toHex().left(16);
    name = QFileInfo(target).fileName().left(100) + QLatin1Char('.') + QString::fromLatin1(digest) +
           QLatin1Char('x');
  }
  return folder + QLatin1Char('/') + name;
}

QString Preferences::dialogFolder(const QString& lastUsed) const {
  const QString temp = QFileInfo(m_temp).canonicalFilePath();
  auto usable = [&](const QString& folder) {
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir()) return false;
    const QString real = QFileInfo(folder).canonicalFilePath();
    return temp.isEmpty() || (real != temp && !real.startsWith(temp + QLatin1Char('/')));
  };
  if (const QString storage = storageFolder(); usable(storage)) return storage;
  if (!lastUsed.isEmpty()) {
    const QFileInfo last(lastUsed);
    const QString folder = last.isDir() ? last.absoluteFilePath() : last.absolutePath();
    if (QDir::isAbsolutePath(lastUsed) && usable(folder)) return folder;
  }
  return QDir::homePath();
}

bool Preferences::checkOnSave() const {
  return ProfileFile::readText(m_file, kMisc, QStringLiteral("CheckOnSave"), QStringLiteral("0")) ==
         QStringLiteral("1");
}
void Preferences::setCheckOnSave(bool on) const {
  ProfileFile::writeText(m_file, kMisc, QStringLiteral("CheckOnSave"),
                         on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString Preferences::updatesChecked() const {
  return ProfileFile::readText(m_file, kMisc, QStringLiteral("UpdatesChecked"));
}
void Preferences::setUpdatesChecked(const QString& text) const {
  ProfileFile::writeText(m_file, kMisc, QStringLiteral("UpdatesChecked"), text);
}

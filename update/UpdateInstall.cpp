#include "update/UpdateInstall.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
int g_failMoveAt = 0;

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }
QByteArray native(const QString& path) { return AtomicFile::nativePath(path); }

// What is at path without following a link: 'f' a regular file, 'l' a link,
// 'o' anything else, 0 nothing.
char kindAt(const QString& path) {
  struct stat st {};
  if (::lstat(native(path).constData(), &st) != 0) return 0;
  if (S_ISREG(st.st_mode)) return 'f';
  if (S_ISLNK(st.st_mode)) return 'l';
  return 'o';
}

// Moves a file to a name that must be free (an existing target is never
// overwritten). Falls back to a copy across file systems.
bool moveFile(const QString& from, const QString& to, QString* why) {
  if (g_failMoveAt > 0 && --g_failMoveAt == 0) {
    *why = QStringLiteral("cannot move %1 (a failure made for testing)").arg(QFileInfo(from).fileName());
    return false;
  }
  const QByteArray a = native(from), b = native(to);
  if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0) return true;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {  // a file system without the flag: a link cannot overwrite either
    if (::link(a.constData(), b.constData()) == 0) {
      ::unlink(a.constData());
      return true;
    }
    err = errno;
  }
  if (err == EXDEV) {
    try {
      const std::optional<QByteArray> data = AtomicFile::read(from);
      if (!data) throw ProfileReadError(QStringLiteral("%1 is missing").arg(from));
      if (AtomicFile::exists(to)) throw ProfileWriteError(QStringLiteral("%1 is in the way").arg(to));
      AtomicFile::write(to, *data, AtomicFile::modeOf(from));
      ::unlink(a.constData());
      return true;
    } catch (const TessaryError& e) {
      *why = e.message();
      return false;
    }
  }
  *why = QStringLiteral("cannot move %1 to %2: %3").arg(from, to, systemError(err));
  return false;
}

// Makes what was renamed or moved last survive a power cut.
void syncFolder(const QString& folder) {
  const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
}  // namespace

void UpdateInstall::failMoveForTesting(int n) { g_failMoveAt = n; }

UpdateInstall::UpdateInstall(Places places) : m_places(std::move(places)) {}

UpdateInstall::~UpdateInstall() {
  if (!m_done) rollback();
}

void UpdateInstall::undoFrom(std::size_t mark) {
  while (m_undo.size() > mark) {
    const std::function<void()> undo = std::move(m_undo.back());
    m_undo.pop_back();
    undo();
  }
}

void UpdateInstall::rollback() {
  undoFrom(0);
  m_onCommit.clear();
  m_done = true;
  syncFolder(m_places.appFolder);
  syncFolder(base());
  syncFolder(updates());
}

void UpdateInstall::commit() {
  for (const auto& step : m_onCommit) step();
  m_onCommit.clear();
  m_undo.clear();
  m_done = true;
  syncFolder(m_places.appFolder);
  syncFolder(base());
  syncFolder(backups());
}

UpdateInstall::Result UpdateInstall::install(const QString& item, UpdateItems::Kind kind, QString* why) {
  const std::size_t mark = m_undo.size();
  bool ok = true;
  Result result = Result::Installed;
  switch (kind) {
    case UpdateItems::Kind::Executable:
      ok = installExecutable(item, why);
      break;
    case UpdateItems::Kind::Preferences:
      result = installPreferences(item, why);
      ok = result != Result::Failed;
      break;
    case UpdateItems::Kind::Help:
      ok = installBaseFile(item, QStringLiteral("help.hlp"), why);
      break;
    case UpdateItems::Kind::Rules:
      ok = installBaseFile(item, QStringLiteral("cfgcheck.cdu"), why);
      break;
    case UpdateItems::Kind::Other:
      return Result::Skipped;
  }
  if (!ok) {
    undoFrom(mark);  // this item leaves nothing half done; the caller decides about the rest
    return Result::Failed;
  }
  return result;
}

bool UpdateInstall::installExecutable(const QString& item, QString* why) {
  const QString download = updates() + QLatin1Char('/') + item;
  const QString exe = m_places.executable;
  const QString bak = UpdateItems::backupNameOf(exe);
  if (kindAt(download) != 'f') {
    *why = QStringLiteral("was not downloaded");
    return false;
  }
  const std::optional<unsigned> mode = AtomicFile::modeOf(exe);
  if (kindAt(bak) != 0 && ::unlink(native(bak).constData()) != 0) {
    *why = QStringLiteral("cannot remove %1: %2").arg(bak, systemError(errno));
    return false;
  }
  if (!moveFile(exe, bak, why)) return false;
  m_undo.push_back([exe, bak] {
    QString ignored;
    moveFile(bak, exe, &ignored);
  });
  if (!moveFile(download, exe, why)) return false;
  m_undo.push_back([exe, download] {
    QString ignored;
    moveFile(exe, download, &ignored);
  });
  // The new build runs as the old one did: its permission bits.
  if (mode && ::chmod(native(exe).constData(), *mode) != 0) {
    *why = QStringLiteral("cannot make %1 runnable: %2").arg(exe, systemError(errno));
    return false;
  }
  return true;
}

UpdateInstall::Result UpdateInstall::installPreferences(const QString& item, QString* why) {
  const QString download = updates() + QLatin1Char('/') + item;
  const QString current = base() + QStringLiteral("/config.ini");
  const QString kept = backups() + QStringLiteral("/config.inb");
  if (kindAt(download) != 'f') {
    *why = QStringLiteral("was not downloaded");
    return Result::Failed;
  }
  // The old file always has a place to go: a missing backups folder is made.
  if (!QDir().mkpath(backups())) {
    *why = QStringLiteral("cannot make the folder %1").arg(backups());
    return Result::Failed;
  }
  if (kindAt(current) == 0) return Result::Skipped;  // no values of the user's to carry over
  if (kindAt(kept) != 0 && ::unlink(native(kept).constData()) != 0) {
    *why = QStringLiteral("cannot remove %1: %2").arg(kept, systemError(errno));
    return Result::Failed;
  }
  if (!moveFile(current, kept, why)) return Result::Failed;
  m_undo.push_back([current, kept] {
    QString ignored;
    moveFile(kept, current, &ignored);
  });
  if (!moveFile(download, current, why)) return Result::Failed;
  m_undo.push_back([current, download] {
    QString ignored;
    moveFile(current, download, &ignored);
  });
  try {
    carryOver(current, kept);
  } catch (const TessaryError& e) {
    *why = e.message();
    return Result::Failed;
  }
  return Result::Installed;
}

bool UpdateInstall::installBaseFile(const QString& item, const QString& name, QString* why) {
  const QString download = updates() + QLatin1Char('/') + item;
  const QString target = base() + QLatin1Char('/') + name;
  if (kindAt(download) != 'f') {
    *why = QStringLiteral("was not downloaded");
    return false;
  }
  const char present = kindAt(target);
  if (present == 'o') {
    *why = QStringLiteral("%1 is not a file").arg(target);
    return false;
  }
  if (present != 0) {
    // Kept aside until the whole run stands, so a later failure can put it back.
    const QString aside = target + QStringLiteral(".before-update");
    if (kindAt(aside) != 0) ::unlink(native(aside).constData());
    if (!moveFile(target, aside, why)) return false;
    m_undo.push_back([target, aside] {
      QString ignored;
      moveFile(aside, target, &ignored);
    });
    m_onCommit.push_back([aside] { ::unlink(native(aside).constData()); });
  }
  if (!moveFile(download, target, why)) return false;
  m_undo.push_back([target, download] {
    QString ignored;
    moveFile(target, download, &ignored);
  });
  return true;
}

void UpdateInstall::carryOver(const QString& newFile, const QString& oldFile) {
  const ProfileFile old(oldFile);
  ProfileFile fresh(newFile);
  for (const QByteArray& section : fresh.sectionNames())
    for (const QByteArray& key : fresh.keyNames(section))
      fresh.setValue(section, key, old.value(section, key));
  fresh.commit();
}

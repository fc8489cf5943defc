#include "update/UpdateInstall.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }
QByteArray native(const QString& path) { return AtomicFile::nativePath(path); }

using AtomicFile::Kind;
using AtomicFile::kindAt;
using AtomicFile::syncFolder;

// Moves a file to a name that must be free (an existing target is never
// overwritten). Falls back to a copy across file systems.
bool moveFile(const QString& from, const QString& to, QString* why) {
  QString reason;
  switch (AtomicFile::renameNoReplace(from, to, &reason)) {
    case AtomicFile::Rename::Done:
      return true;
    case AtomicFile::Rename::TargetTaken:
      reason = QStringLiteral("the name is taken");
      break;
    case AtomicFile::Rename::OtherVolume:
      try {
        const std::optional<QByteArray> data = AtomicFile::read(from);
        if (!data) throw ProfileReadError(QStringLiteral("%1 is missing").arg(from));
        if (AtomicFile::exists(to)) throw ProfileWriteError(QStringLiteral("%1 is in the way").arg(to));
        AtomicFile::write(to, *data, AtomicFile::modeOf(from));
        AtomicFile::remove(from);
        return true;
      } catch (const TessaryError& e) {
        *why = e.message();
        return false;
      }
    case AtomicFile::Rename::Failed:
      break;
  }
  *why = QStringLiteral("cannot move %1 to %2: %3").arg(from, to, reason);
  return false;
}
}  // namespace

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
  if (m_journalled) AtomicFile::remove(journalPath(m_places.appFolder));
}

void UpdateInstall::commit() {
  // The run stands from the moment its journal says so; the clean-ups after may be cut short.
  QString ignored;
  if (m_journalled) journal("commit\n", &ignored);
  for (const auto& step : m_onCommit) step();
  m_onCommit.clear();
  m_undo.clear();
  m_done = true;
  syncFolder(m_places.appFolder);
  syncFolder(base());
  syncFolder(backups());
  if (m_journalled) AtomicFile::remove(journalPath(m_places.appFolder));
}

QString UpdateInstall::journalPath(const QString& appFolder) {
  return appFolder + QStringLiteral("/base/updates/install.journal");
}

bool UpdateInstall::journal(const QByteArray& line, QString* why) {
  const QString path = journalPath(m_places.appFolder);
  // A journal of an earlier run is the start's business; this run writes its own.
  QString reason;
  if (!AtomicFile::appendDurably(path, line, !m_journalled, &reason)) {
    *why = QStringLiteral("cannot write %1: %2").arg(path, reason);
    return false;
  }
  if (!m_journalled) syncFolder(updates());
  m_journalled = true;
  return true;
}

bool UpdateInstall::moveWithUndo(const QString& from, const QString& to, QString* why) {
  if (!journal("move\t" + native(from) + "\t" + native(to) + "\n", why)) return false;
  if (MoveFaults* faults = m_places.faults; faults && faults->failAt > 0 && --faults->failAt == 0) {
    *why = QStringLiteral("cannot move %1 (a failure made for testing)").arg(QFileInfo(from).fileName());
    return false;
  }
  if (!moveFile(from, to, why)) return false;
  m_undo.push_back([from, to] {
    QString ignored;
    moveFile(to, from, &ignored);
  });
  return true;
}

bool UpdateInstall::claimTarget(const QString& target, QString* why) {
  // A second item for the same file would remove the copy the first one kept.
  const QString key = QDir::cleanPath(target).toLower();
  if (m_targets.contains(key)) {
    *why = QStringLiteral("installs %1 a second time in one update").arg(QFileInfo(target).fileName());
    return false;
  }
  m_targets.insert(key);
  return true;
}

namespace {
// What a journal may name: only the installer's own files, inside the program's folder.
std::function<bool(const QString&)> journalMayName(const QString& app, const QString& exe) {
  const QSet<QString> known = {exe,
                               QDir::cleanPath(UpdateItems::backupNameOf(exe)),
                               app + QStringLiteral("/base/config.ini"),
                               app + QStringLiteral("/base/backups/config.inb"),
                               app + QStringLiteral("/base/help.hlp"),
                               app + QStringLiteral("/base/help.hlp.before-update"),
                               app + QStringLiteral("/base/cfgcheck.cdu"),
                               app + QStringLiteral("/base/cfgcheck.cdu.before-update")};
  const QString updates = app + QStringLiteral("/base/updates/");
  return [known, updates](const QString& clean) {
    if (known.contains(clean)) return true;
    return clean.startsWith(updates) && AtomicFile::isPlainFileName(clean.mid(updates.size()));
  };
}
}  // namespace

UpdateInstall::Resumed UpdateInstall::resumeInterrupted(const Places& places) {
  Resumed out;
  const QString path = journalPath(places.appFolder);
  if (kindAt(path) == Kind::None) return out;
  out.found = true;
  const std::optional<QByteArray> text = AtomicFile::readOwnRegular(path);
  if (!text) {
    out.problem = QStringLiteral("%1 is not a file of your own").arg(path);
    return out;
  }
  const QString app = QDir::cleanPath(places.appFolder);
  const QString exe = QDir::cleanPath(places.executable);
  const std::function<bool(const QString&)> allowed = journalMayName(app, exe);
  std::vector<std::pair<QString, QString>> moves;
  QStringList asides;
  bool committed = false;
  for (const QByteArray& line : text->split('\n')) {
    if (line.isEmpty()) continue;
    const QList<QByteArray> f = line.split('\t');
    auto pathAt = [&](int i) { return QDir::cleanPath(AtomicFile::decodePath(f[i])); };
    if (f.size() == 3 && f[0] == "move" && allowed(pathAt(1)) && allowed(pathAt(2))) {
      moves.emplace_back(pathAt(1), pathAt(2));
    } else if (f.size() == 2 && f[0] == "aside" && allowed(pathAt(1))) {
      asides.append(pathAt(1));
    } else if (f.size() == 1 && f[0] == "commit") {
      committed = true;
    } else {
      out.problem = QStringLiteral("%1 holds a line the installer does not write").arg(path);
      return out;
    }
  }
  if (committed) {
    for (const QString& aside : asides)
      if (kindAt(aside) == Kind::Regular) AtomicFile::remove(aside);
  } else {
    // Newest first, and only what was really moved: the target there, the origin free.
    for (auto it = moves.rbegin(); it != moves.rend(); ++it) {
      const auto& [from, to] = *it;
      if (kindAt(to) != Kind::Regular || kindAt(from) != Kind::None) continue;
      QString ignored;
      if (!moveFile(to, from, &ignored)) continue;
      out.rolledBack = true;
      if (to == exe) out.executableRestored = true;
    }
  }
  syncFolder(app);
  syncFolder(app + QStringLiteral("/base"));
  syncFolder(app + QStringLiteral("/base/updates"));
  AtomicFile::remove(path);
  return out;
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
  if (!claimTarget(exe, why)) return false;
  if (kindAt(download) != Kind::Regular) {
    *why = QStringLiteral("was not downloaded");
    return false;
  }
  const std::optional<unsigned> mode = AtomicFile::modeOf(exe);
  if (kindAt(bak) != Kind::None && !AtomicFile::remove(bak)) {
    *why = QStringLiteral("cannot remove %1: %2").arg(bak, systemError(errno));
    return false;
  }
  if (!moveWithUndo(exe, bak, why)) return false;
  if (!moveWithUndo(download, exe, why)) return false;
  // The new build runs as the old one did: its permission bits.
  if (QString reason; mode && !AtomicFile::setMode(exe, *mode, &reason)) {
    *why = QStringLiteral("cannot make %1 runnable: %2").arg(exe, reason);
    return false;
  }
  return true;
}

UpdateInstall::Result UpdateInstall::installPreferences(const QString& item, QString* why) {
  const QString download = updates() + QLatin1Char('/') + item;
  const QString current = base() + QStringLiteral("/config.ini");
  const QString kept = backups() + QStringLiteral("/config.inb");
  if (!claimTarget(current, why)) return Result::Failed;
  if (kindAt(download) != Kind::Regular) {
    *why = QStringLiteral("was not downloaded");
    return Result::Failed;
  }
  // The old file always has a place to go: a missing backups folder is made.
  if (!QDir().mkpath(backups())) {
    *why = QStringLiteral("cannot make the folder %1").arg(backups());
    return Result::Failed;
  }
  if (kindAt(current) == Kind::None) return Result::Skipped;  // no values of the user's to carry over
  if (kindAt(kept) != Kind::None && !AtomicFile::remove(kept)) {
    *why = QStringLiteral("cannot remove %1: %2").arg(kept, systemError(errno));
    return Result::Failed;
  }
  if (!moveWithUndo(current, kept, why)) return Result::Failed;
  if (!moveWithUndo(download, current, why)) return Result::Failed;
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
  if (!claimTarget(target, why)) return false;
  if (kindAt(download) != Kind::Regular) {
    *why = QStringLiteral("was not downloaded");
    return false;
  }
  const Kind present = kindAt(target);
  if (present == Kind::Other) {
    *why = QStringLiteral("%1 is not a file").arg(target);
    return false;
  }
  if (present != Kind::None) {
    // Kept aside until the whole run stands, so a later failure can put it back.
    const QString aside = target + QStringLiteral(".before-update");
    if (kindAt(aside) != Kind::None) AtomicFile::remove(aside);
    if (!journal("aside\t" + native(aside) + "\n", why)) return false;
    if (!moveWithUndo(target, aside, why)) return false;
    m_onCommit.push_back([aside] { AtomicFile::remove(aside); });
  }
  return moveWithUndo(download, target, why);
}

void UpdateInstall::carryOver(const QString& newFile, const QString& oldFile) {
  const ProfileFile old(oldFile);
  ProfileFile fresh(newFile);
  for (const QByteArray& section : fresh.sectionNames())
    for (const QByteArray& key : fresh.keyNames(section))
      fresh.setValue(section, key, old.value(section, key));
  fresh.commit();
}

#include "update/UpdateRun.h"

#include <QDir>
#include <QFileInfo>
#include <climits>
#include <optional>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "update/HttpDownload.h"
#include "update/UpdateCheck.h"
#include "update/UpdateInstall.h"
#include "update/UpdateItems.h"
#include "update/VersionInfo.h"

UpdateRun::UpdateRun(Places places, HttpDownloader& http, QString currentBuild, QString baseUrl,
                     Reporter reporter)
    : m_places(std::move(places)),
      m_http(http),
      m_currentBuild(std::move(currentBuild)),
      m_baseUrl(std::move(baseUrl)),
      m_report(std::move(reporter)),
      m_exeName(QFileInfo(m_places.executable).fileName()) {}

void UpdateRun::fail(const QString& item, const QString& why) const {
  m_report.failed(QStringLiteral("Status: Update Failed: %1 %2...").arg(item, why));
}

QString UpdateRun::refusal(const QStringList& items, const ProfileFile& manifest,
                           const QString& executableName, QString* item) {
  QString earlier;
  if (const QString repeated = UpdateItems::repeatedTarget(items, executableName, &earlier);
      !repeated.isEmpty()) {
    *item = repeated;
    return QStringLiteral("installs the same file as %1 (letter case aside), so the update is refused")
        .arg(earlier);
  }
  for (const QString& candidate : items) {
    *item = candidate;
    const QStringList parts = UpdateItems::parts(candidate);
    if (parts.size() >= 2) {
      // Folder operations: sub-folders of the program's folder only.
      for (qsizetype k = 0; k + 1 < parts.size(); k += 2)
        if (!UpdateItems::relativeFolder(parts[k + 1]))
          return QStringLiteral("names a folder outside the program's folder");
      continue;
    }
    if (candidate.isEmpty()) continue;  // an empty item (",,"): nothing to fetch
    if (!HttpDownloader::isPlainFileName(candidate))
      return QStringLiteral("is not a plain file name: it would be written outside base/updates/");
    // What the run installs must be exactly what the operator published.
    if (UpdateItems::kindOf(candidate, executableName) != UpdateItems::Kind::Other &&
        manifest.text(QStringLiteral("SHA256"), candidate).trimmed().isEmpty())
      return QStringLiteral("has no SHA-256 digest in the manifest, so it cannot be installed safely");
  }
  item->clear();
  return {};
}

UpdateRun::Outcome UpdateRun::run() {
  std::optional<ProfileFile> manifest;
  try {
    manifest.emplace(updatesFile(QStringLiteral("update.cdu")));
  } catch (const TessaryError& e) {
    fail(QStringLiteral("update.cdu"), e.message());
    return Outcome::Failed;
  }
  QStringList items;
  qint64 n = 0;
  if (UpdateCheck::isNewer(manifest->text(QStringLiteral("Info"), QStringLiteral("FullUpdateVersion")),
                           m_currentBuild)) {
    items = UpdateItems::split(manifest->text(QStringLiteral("Operations"), QStringLiteral("FullUpdate")),
                               QLatin1Char(','));
    n = items.size();
    // Each run counts from nothing: a run after a stopped one must not pass 100%.
    m_report.startProgress(static_cast<int>(std::min<qint64>(n * 100, INT_MAX)));
  }
  // Nothing is done when any item may not be: a hostile manifest gets no foothold.
  QString refused;
  QString why;
  try {
    why = refusal(items, *manifest, m_exeName, &refused);
  } catch (const TessaryError&) {  // a name the manifest's layout cannot hold as a key
    why = QStringLiteral("cannot have a SHA-256 digest in the manifest");
  }
  if (!why.isEmpty()) {
    fail(refused, why);
    return Outcome::Failed;
  }
  std::vector<bool> isDone(static_cast<std::size_t>(items.size()), false);
  if (!fetchAndMakeFolders(items, n, isDone)) return m_report.ending() ? Outcome::Ending : Outcome::Failed;
  if (!verify(items, *manifest)) return Outcome::Failed;
  if (n < 1) return Outcome::NotNewer;
  QStringList remaining;
  for (qsizetype i = 0; i < items.size(); ++i)
    if (!isDone[static_cast<std::size_t>(i)]) remaining.append(items[i]);
  if (!install(remaining, n)) return Outcome::Failed;
  return m_report.ending() ? Outcome::Ending : Outcome::Installed;
}

bool UpdateRun::fetchAndMakeFolders(const QStringList& items, qint64 n, std::vector<bool>& isDone) {
  QDir().mkpath(m_places.updates);
  bool downloadFailed = false;
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (downloadFailed) return false;  // nothing is installed; the failure text stays
    const QString& item = items[i];
    const QStringList parts = UpdateItems::parts(item);
    if (parts.size() < 2) {
      if (item.isEmpty()) continue;
      m_report.status(QStringLiteral("Status: Downloading ") + item + QStringLiteral("..."));
      downloadFailed = !m_http.DownloadUpdateFile(m_baseUrl, item, m_places.updates);
      if (!m_report.pause(800)) return false;  // the program is ending: install nothing
      continue;
    }
    if (!folderOperations(item, parts, n)) return false;
    isDone[static_cast<std::size_t>(i)] = true;
    if (m_report.ending()) return false;
  }
  return !downloadFailed;
}

bool UpdateRun::folderOperations(const QString& item, const QStringList& parts, qint64 n) {
  for (qsizetype k = 0; k + 1 < parts.size(); k += 2) {
    const QString operation = parts[k].toLower();
    if (operation != QLatin1String("mkdir") && operation != QLatin1String("rmdir")) continue;
    const QString tag = QStringLiteral("[") + operation + QStringLiteral("]");
    m_report.status(QStringLiteral("Status: Updating %1 Directory Structure...").arg(tag));
    const std::optional<QString> relative = UpdateItems::relativeFolder(parts[k + 1]);
    // Links are checked now, not before the run: an earlier operation may have made the way there.
    const QString why = relative ? UpdateItems::outsideProblem(m_places.appFolder, *relative)
                                 : QStringLiteral("it is outside the program's folder");
    if (!why.isEmpty()) {
      fail(item, QStringLiteral("names the folder %1, but %2").arg(parts[k + 1], why));
      return false;
    }
    const QString folder = m_places.appFolder + QLatin1Char('/') + *relative;
    const bool ok = operation == QLatin1String("mkdir") ? QDir().mkdir(folder) : QDir().rmdir(folder);
    m_report.status(QStringLiteral("Status: %1 Updating %2 Directory Structure...")
                        .arg(ok ? QStringLiteral("Completed") : QStringLiteral("Failed"), tag));
    m_report.step(n);
  }
  return true;
}

bool UpdateRun::verify(const QStringList& items, const ProfileFile& manifest) {
  // Every download must be the file the operator published.
  for (const QString& item : items) {
    if (item.isEmpty() || !UpdateItems::isFileItem(item)) continue;
    const QByteArray expected = manifest.text(QStringLiteral("SHA256"), item).toUtf8();
    if (expected.trimmed().isEmpty()) continue;  // not installed (checked above): kept as fetched
    const std::optional<QByteArray> actual = UpdateItems::sha256Of(updatesFile(item));
    if (!actual || !UpdateItems::digestMatches(expected, *actual)) {
      fail(item, QStringLiteral("does not match its SHA-256 digest in the manifest"));
      return false;
    }
    // A new program must be the build the manifest announces, or it would be offered again forever.
    if (UpdateItems::kindOf(item, m_exeName) == UpdateItems::Kind::Executable) {
      TVersionInfo built;
      built.setFileName(updatesFile(item));
      const QString announced =
          manifest.text(QStringLiteral("Info"), QStringLiteral("FullUpdateVersion")).trimmed();
      if (!UpdateCheck::sameVersion(built.fileVersion(), announced)) {
        fail(item, QStringLiteral("is build %1, not %2 as the manifest announces")
                       .arg(built.fileVersion().isEmpty() ? QStringLiteral("(none)") : built.fileVersion(),
                            announced));
        return false;
      }
    }
  }
  return true;
}

bool UpdateRun::install(const QStringList& remaining, qint64 n) {
  // Pass two: the files the installer knows go in place, all or none. Once it
  // has begun it is finished, even when the program is ending meanwhile.
  UpdateInstall install({m_places.appFolder, m_places.executable, m_places.faults});
  for (const QString& item : remaining) {
    m_report.status(QStringLiteral("Status: Updating ") + item + QStringLiteral("..."));
    const UpdateItems::Kind kind =
        UpdateItems::isFileItem(item) ? UpdateItems::kindOf(item, m_exeName) : UpdateItems::Kind::Other;
    QString why;
    const UpdateInstall::Result result = install.install(item, kind, &why);
    if (result == UpdateInstall::Result::Failed) {
      install.rollback();
      fail(item, why);
      return false;
    }
    if (result == UpdateInstall::Result::Skipped) continue;
    const QString updated = QStringLiteral("Status: Updated ") + item + QStringLiteral("...");
    if (kind == UpdateItems::Kind::Executable) {
      m_report.status(updated);
      m_report.step(n);
    } else {
      m_report.step(n);
      m_report.status(updated);
      if (kind != UpdateItems::Kind::Preferences) m_report.pause(800);
    }
  }
  install.commit();
  return true;
}

#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "update/UpdateInstall.h"

class HttpDownloader;
class ProfileFile;

// "Download Updates?" without a window: reads the cached manifest, refuses a
// hostile one before anything is done, runs pass one (folder operations and
// downloads), checks every download against its digest and the new program
// against the announced build, and runs pass two (the installation, all or
// none). What it has to say goes through a Reporter, so a page shows it and a
// test reads it.
class UpdateRun {
 public:
  struct Places {
    QString appFolder;
    QString updates;                              // base/updates/: the manifest and the downloads
    QString executable;                           // the running program's file
    UpdateInstall::MoveFaults* faults = nullptr;  // a test's, else none
  };
  struct Reporter {
    std::function<void(const QString& text)> status;  // the status line, in the working colour
    std::function<void(const QString& text)> failed;  // the status line, as a failure
    std::function<void(int maximum)> startProgress;   // the overall bar: 0 of maximum
    std::function<void(qint64 n)> step;               // one step of n on the overall bar
    std::function<bool(int ms)> pause;                // false: the program is ending
    std::function<bool()> ending;                     // the program is ending
  };
  enum class Outcome {
    Installed,  // in place: the program may restart into it
    Failed,     // said through failed(); nothing of the run is left half done
    NotNewer,   // the manifest's build is not newer than the running one
    Ending,     // the program is ending: the run stopped where it could
  };

  UpdateRun(Places places, HttpDownloader& http, QString currentBuild, QString baseUrl, Reporter reporter);
  Outcome run();

  // Why items may not be installed at all (before anything is done), with the
  // item in *item; empty when they may.
  static QString refusal(const QStringList& items, const ProfileFile& manifest, const QString& executableName,
                         QString* item);

 private:
  QString updatesFile(const QString& name) const { return m_places.updates + QLatin1Char('/') + name; }
  void fail(const QString& item, const QString& why) const;
  // Pass one; false when the run stops (a failure said, or the end of the program).
  bool fetchAndMakeFolders(const QStringList& items, qint64 n, std::vector<bool>& isDone);
  bool folderOperations(const QString& item, const QStringList& parts, qint64 n);
  bool verify(const QStringList& items, const ProfileFile& manifest);
  bool install(const QStringList& remaining, qint64 n);

  Places m_places;
  HttpDownloader& m_http;
  QString m_currentBuild;
  QString m_baseUrl;
  Reporter m_report;
  QString m_exeName;
};

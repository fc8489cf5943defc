#pragma once
#include <QWidget>

#include "prefs/AppPaths.h"
#include "prefs/Preferences.h"
#include "update/UpdateInstall.h"

class ProfileFile;
class Prompts;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class HttpDownloader;
class TQProgressBar;

// The Options dialog's "Program Updates" page: the builds, the check for
// updates, the download information and the change log.
class UpdatesPage : public QWidget {
  Q_OBJECT
 public:
  UpdatesPage(const AppPaths& paths, Prompts& prompts, QWidget* parent = nullptr);

  void initialise();     // at the dialog's creation
  void refresh();        // at each activation (with the cache expiry)
  void showLastCheck();  // the end of each activation
  void BitBtn5Click();   // "Check For Updates"
  void BitBtn6Click();   // "Download Updates?": the installation
  // The check in two halves, for the main window's command, which shows the dialog between them.
  void beginCheck();
  void finishCheck();
  HttpDownloader* downloader() const { return m_http; }
  // A check or an installation runs (one of them at a time).
  bool isChecking() const { return m_checking || m_installing; }

  // For tests: every pause and animation step of this page lasts no time (still
  // through the event loop), and installations meet the moves that fail in faults.
  void setInstantPauses(bool instant) { m_instantPauses = instant; }
  void setInstallFaults(UpdateInstall::MoveFaults* faults) { m_installFaults = faults; }

 Q_SIGNALS:
  // An installation is complete and the user chose OK: the program should end
  // and start executable, which now holds the new build.
  void restartRequested(const QString& executable);

 private:
  QString currentBuild() const;
  // An installed copy (a system package) does not update itself: says so and true.
  bool updatedByPackageManager();
  QString latestVersion() const;
  void loadChangeLog();
  void offerIfNewer(const QString& latest);
  void setStatus(const QString& text);
  void setStatusColour(const QColor& colour);
  // Waits without freezing the windows. False when the program is ending (the
  // wait was cut short); every later pause then returns at once.
  bool pause(int ms);
  // The overall bar advances by 100 in 101 settings, with the percentage of n.
  void progressStep(qint64 n);
  // Refuses what the run may not do, before anything is done; empty when all is well.
  QString updatesFile(const QString& name) const { return m_paths.updates() + QLatin1Char('/') + name; }

  AppPaths m_paths;
  Preferences m_prefs;
  Prompts& m_prompts;
  HttpDownloader* m_http;
  QLabel* Label1 = nullptr;   // status line
  QLabel* Label4 = nullptr;   // current build
  QLabel* Label5 = nullptr;   // latest available build
  QLabel* Label7 = nullptr;   // last update check
  QLabel* Label8 = nullptr;   // received size
  QLabel* Label9 = nullptr;   // total size
  QLabel* Label12 = nullptr;  // updates completed
  TQProgressBar* QProgressBar1 = nullptr;
  TQProgressBar* QProgressBar2 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;  // change log
  QPushButton* BitBtn5 = nullptr;   // "Check For Updates"
  QPushButton* BitBtn6 = nullptr;   // "Download Updates?"
  QPushButton* m_stop = nullptr;    // stops a running download
  bool m_checking = false;
  bool m_installing = false;
  bool m_ending = false;  // a pause was cut short: the program is ending
  bool m_instantPauses = false;
  UpdateInstall::MoveFaults* m_installFaults = nullptr;
};

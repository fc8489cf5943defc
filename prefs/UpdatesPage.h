#pragma once
#include <QWidget>

#include "prefs/AppPaths.h"
#include "prefs/Preferences.h"

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
  UpdatesPage(const AppPaths& paths, QWidget* parent = nullptr);

  void initialise();     // at the dialog's creation
  void refresh();        // at each activation (with the cache expiry)
  void showLastCheck();  // the end of each activation
  void BitBtn5Click();   // "Check For Updates"
  // The check in two halves, for the main window's command, which shows the dialog between them.
  void beginCheck();
  void finishCheck();
  HttpDownloader* downloader() const { return m_http; }
  bool isChecking() const { return m_checking; }

 private:
  QString currentBuild() const;
  QString latestVersion() const;
  void loadChangeLog();
  void offerIfNewer(const QString& latest);
  void setStatus(const QString& text);
  void pause(int ms);
  QString updatesFile(const QString& name) const { return m_paths.updates() + QLatin1Char('/') + name; }

  AppPaths m_paths;
  Preferences m_prefs;
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
};

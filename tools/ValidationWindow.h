#pragma once
#include <QDialog>
#include <functional>

#include "prefs/AppPaths.h"

class MainWindowLock;
class QLabel;
class QWindow;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Prompts;

// "CFG Validation (Error Checks)": lists the known errors of the scan file
// base/crappy2.cfg ("Scan Now"), walks the rules file base/cfgcheck.cdu ("Load
// Error File"), and checks the active document against the range rules ("Check
// Open Document"). While it shows, the main window takes no input.
class TForm3 : public QDialog {
  Q_OBJECT
 public:
  // What the window needs of the program around it.
  struct Host {
    QWidget* mainWindow = nullptr;                 // disabled while this window shows
    std::function<QString()> documentWorkingCopy;  // the active document's working copy, empty for none
    std::function<QString()> documentName;         // the active document's file name, as its caption shows it
    std::function<void(const QString& section, const QString& key)> selectSetting;  // in the active document
    std::function<void()> reportError;  // logs the exception being handled
  };
  TForm3(const AppPaths& paths, Prompts& prompts, Host host);

  void FormCreate();
  void FormActivate();
  void BitBtn1Click();  // "Scan Now"
  void BitBtn2Click();  // "Exit"
  void Button1Click();  // "Load Error File"
  void FormClose();
  void checkOpenDocument();  // "Check Open Document"
  void showValidation();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void addResult(const QString& text, const QString& section, const QString& key);
  void setStatus(const QString& text);
  void fitScreen();
  template <typename F>
  void guarded(F&& work);

  AppPaths m_paths;
  Prompts& m_prompts;
  Host m_host;
  QLabel* m_fileLabel = nullptr;
  QLabel* m_errorsFound = nullptr;
  QLabel* m_status = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QTreeWidget* ListView1 = nullptr;  // the results
  QPushButton* BitBtn1 = nullptr;    // "Scan Now"
  QPushButton* BitBtn2 = nullptr;    // "Exit"
  QListWidget* m_lists[6] = {};      // working lists 1..6
  MainWindowLock* m_lock = nullptr;
  bool m_activating = false;
};

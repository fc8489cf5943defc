#pragma once
#include <QDialog>
#include <functional>

#include "prefs/AppPaths.h"
#include "prefs/Preferences.h"

class MainWindowLock;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class Prompts;
class UpdatesPage;

// "Options/Preferences": the paths of the preferences file, the backup and
// association options, and the "Program Updates" page. Made once at start,
// right after the main window; while it shows, the main window takes no input.
class TForm1 : public QDialog {
  Q_OBJECT
 public:
  // mainWindow: the window disabled while this one shows. reportError handles an
  // exception being handled (the exception log), called inside a catch block.
  TForm1(const AppPaths& paths, Prompts& prompts, QWidget* mainWindow, std::function<void()> reportError);

  // Handlers.
  void FormCreate(bool startupCheck = true);
  void FormActivate();
  void FormClose();
  void BitBtn4Click();           // "Set Continuum Path"
  void BitBtn22Click();          // "Set Default CFG File"
  void BitBtn3Click();           // "Set Storage Path"
  void Button4Click();           // "Set" (backup folder)
  void clearBackupFolder();      // "Clear": backups beside the saved file again
  void CheckBox3Click();         // "Associate CFG files with Config Editor ?"
  void CheckForUpdates1Click();  // the main window's "Check For Updates?": the dialog on its updates page
  UpdatesPage* updatesPage() const { return m_updates; }

  // Shows the dialog (the menu command, Ctrl+P, the start-up check).
  void showOptions();
  // Association hooks (the file association lives elsewhere): whether it is in
  // place for this executable, and writing it.
  std::function<bool()> associationInPlace;
  std::function<void()> writeAssociation;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* buildPathsPage();
  QWidget* buildFileOptionsPage();
  void checkStorageFolder();
  QString shownBackupFolder() const;
  QString startName() const;
  void fitScreen();  // what the file commands' dialog offers first
  void associationCheck();
  // Runs a command; an error goes to the exception log and the boxes stay as they were.
  template <typename F>
  void guarded(F&& work);

  AppPaths m_paths;
  Preferences m_prefs;
  Prompts& m_prompts;
  QWidget* m_mainWindow;
  MainWindowLock* m_lock = nullptr;
  std::function<void()> m_reportError;
  QTabWidget* m_pages = nullptr;
  QLineEdit* m_continuum = nullptr;
  QLineEdit* m_defaultCfg = nullptr;
  QLineEdit* m_storage = nullptr;
  QLineEdit* m_backupFolder = nullptr;
  QCheckBox* m_createBackups = nullptr;
  QCheckBox* CheckBox3 = nullptr;  // the association
  UpdatesPage* m_updates = nullptr;
  QString m_lastFileName;        // the shared file dialog offers its last file again
  bool m_warningShown = false;   // "Your Preferences Have Not Been Set!" once per run
  bool m_storageWarned = false;  // the invalid storage folder was named while this showing lasts
  bool m_activating = false;
};

// The folder part of a path: up to and including the last "/" (or ":"); empty without one.
QString folderPart(const QString& path);

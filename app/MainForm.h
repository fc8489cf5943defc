#pragma once
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>

#include "app/AppPaths.h"
#include "prefs/Preferences.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPlainTextEdit;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QDialog;
class ExceptionReporter;
class Prompts;
class TMDIChild;
class THistoryFiles;
class MultifireView;
class QCheckBox;
class BulletCalculator;
class TForm2;
class WorkingCopies;

// The main frame window: menus, tool bar, side panel, help strip, and the
// document area holding one TMDIChild per open configuration file.
class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  TMainForm(const AppPaths& paths, Prompts& prompts, const QStringList& arguments = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  const AppPaths& paths() const { return m_paths; }
  Prompts& prompts() { return m_prompts; }
  QString exceptionLogPath() const;

  // Documents.
  TMDIChild* activeChild() const;
  QList<TMDIChild*> children() const;
  QMdiArea* mdiArea() const { return m_mdi; }
  QString openDialogFileName() const { return m_openDialogName; }
  TMDIChild* OpenDocument(const QString& path);
  TMDIChild* CreateDocumentWindow(const QString& displayName, const QString& type, const QString& statusPath,
                                  bool isNew, const QString& workingCopy);
  TMDIChild* NewDocument();
  WorkingCopies& workingCopies() { return *m_workingCopies; }

  // Side panel and help strip, used by the document windows.
  void ShowSettingHelp(const QString& section, const QString& name);
  void RefreshShipComparison();
  void resetComparisonValues();
  void showFileDetails(const QString& lastModified, const QString& owner);
  void showLastModified(const QString& lastModified);
  void enableWindowButtons();
  void RefreshMultifirePreview(const QString& ship, bool loadPicture);

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void Timer1Timer();
  void Timer3Timer();
  void FileNew1Execute();
  void FileOpen1Execute();
  void FileClose1Execute();
  void CloseAll1Execute();
  void SaveDocument();
  void WindowArrangeAll1Execute();
  void tileDocuments();
  void ToolButton13Click();
  void ErrorCheckCFG1Click();
  void ApplicationEvents1Exception();
  void HistoryFilesClickHistoryItem(const QString& fileName);
  void CheckBox1Click();
  void TabSheet6Show();
  void setToCurrentShip();  // "Set To Current Ship"

  THistoryFiles* historyFiles() const { return m_history; }
  QAction* action(const QString& objectName) const;
  QWidget* sidePanel() const { return m_sidePanel; }
  MultifireView* multifire() const { return m_multifire; }
  BulletCalculator* calculator() const { return m_calculator; }
  QCheckBox* viewCurrentShip() const { return CheckBox1; }
  TForm2* multifireTool() const { return m_multifireTool; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildActions();
  void buildMenus();
  void buildToolBar();
  void buildSidePanel();
  void buildHelpPanel();
  void buildToolsPage(QWidget* page);
  QImage loadPicture(const QString& path) const;
  std::optional<std::int32_t> storedAngle(const TMDIChild* child, const QString& ship) const;
  void setHint(QAction* action, const QString& hint);
  QAction* makeAction(const QString& name, const QString& text, int picture, const QKeySequence& key = {});
  void setDocumentCommandsEnabled(bool enabled);
  void resetSidePanel();
  void updateWindowCommands();
  void onFormClosed();
  bool confirmClosing(const QList<TMDIChild*>& docs);
  void addToHistory(const QString& path);

  AppPaths m_paths;
  Prompts& m_prompts;
  Preferences m_prefs;
  QStringList m_arguments;
  QString m_startFolder;
  std::unique_ptr<ExceptionReporter> m_reporter;
  std::unique_ptr<WorkingCopies> m_workingCopies;

  QMdiArea* m_mdi = nullptr;
  QToolBar* m_toolBar = nullptr;
  QWidget* m_sidePanel = nullptr;
  QTabWidget* m_sidePages = nullptr;
  QTreeWidget* m_comparisons = nullptr;
  QLabel* m_settingValue = nullptr;
  QLabel* m_lastModified = nullptr;
  QLabel* m_owner = nullptr;
  QLabel* m_helpCaption = nullptr;
  QPlainTextEdit* m_helpText = nullptr;
  QToolButton* m_sideToggle = nullptr;
  int m_sideTogglePicture = 26;
  QMenu* m_recentMenu = nullptr;
  THistoryFiles* m_history = nullptr;
  MultifireView* m_multifire = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // "View Current Ship"
  BulletCalculator* m_calculator = nullptr;
  TForm2* m_multifireTool = nullptr;
  QDialog* m_validation = nullptr;
  QTimer* m_timer1 = nullptr;
  QTimer* m_timer3 = nullptr;
  bool m_pickingUp = false;
  bool m_destroying = false;
  QString m_openDialogName;

  QAction* FileNew1 = nullptr;
  QAction* FileNewServer1 = nullptr;
  QAction* FileOpen1 = nullptr;
  QAction* FileClose1 = nullptr;
  QAction* ReRead1 = nullptr;
  QAction* Import1 = nullptr;
  QAction* Export1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* SaveAs1 = nullptr;
  QAction* FileExit1 = nullptr;
  QAction* CompareSettings1 = nullptr;
  QAction* ViewNotes1 = nullptr;
  QAction* ErrorCheckCFG1 = nullptr;
  QAction* Options1 = nullptr;
  QAction* WindowCascade1 = nullptr;
  QAction* WindowTile1 = nullptr;
  QAction* WindowMinimizeAll1 = nullptr;
  QAction* WindowArrangeAll1 = nullptr;
  QAction* HelpAbout1 = nullptr;
  QAction* CheckForUpdates1 = nullptr;
  QAction* CloseAll1 = nullptr;
  QAction* SaveAsButton = nullptr;
  QAction* SideToggle = nullptr;
  QList<QAction*> m_keyOwners;  // menu items that own a key, hidden ones included
};

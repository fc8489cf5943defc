#pragma once
#include <QMainWindow>
#include <memory>
#include <vector>

#include "app/HandOverQueue.h"
#include "documents/DocumentHost.h"
#include "prefs/AppPaths.h"
#include "prefs/Preferences.h"

class QAction;
class QLabel;
class QMdiArea;
class QPlainTextEdit;
class QTimer;
class QToolBar;
class QUndoGroup;
class DocumentWindows;
class ExceptionReporter;
class KeyOwnership;
class Prompts;
class SidePanel;
class TMDIChild;
class THistoryFiles;

// The main frame window: menus, tool bar, side panel, help strip, status bar
// and the document area. Its handlers are named after the commands they serve, each handing the work
// to the part that does it; the windows around it are wired in TessaryApp.
class TMainForm : public QMainWindow, public DocumentHost {
  Q_OBJECT
 public:
  // handOver false: a copy that stands apart (a screenshot run) neither writes nor
  // picks up the hand-over key, so it never takes a file meant for the running copy.
  TMainForm(const AppPaths& paths, Prompts& prompts, const QStringList& arguments = {}, bool handOver = true,
            QWidget* parent = nullptr);
  ~TMainForm() override;

  QString exceptionLogPath() const;
  QAction* action(const QString& objectName) const;
  // A window without a parent widget that lives as long as this one (the Options
  // dialog, which must stay enabled while this window is disabled).
  void adoptWindow(QWidget* window);
  template <typename T>
  T* adopted(const QString& objectName) const {
    for (const auto& w : m_windows)
      if (w->objectName() == objectName) return qobject_cast<T*>(w.get());
    return nullptr;
  }

  // Documents.
  TMDIChild* activeChild() const;
  QList<TMDIChild*> documents() const;
  QMdiArea* mdiArea() const;
  TMDIChild* OpenDocument(const QString& path);
  TMDIChild* NewDocument();

  // What the document windows ask of their host.
  void enableWindowButtons() override;
  void ShowSettingHelp(const QString& section, const QString& name) override;
  void RefreshShipComparison() override;
  void resetComparisonValues() override;
  void showFileDetails(const QString& lastModified, const QString& owner) override;
  void showLastModified(const QString& lastModified) override;
  void RefreshMultifirePreview(const QString& ship, bool loadPicture) override;
  QString openDialogFileName() const override { return m_openDialogName; }
  void reportException() override { ApplicationEvents1Exception(); }
  void showStatus(const QString& text) override;
  void compareWithFile(TMDIChild* document, const QString& file) override {
    Q_EMIT compareRequested(document, file);
  }
  QString statusText() const;
  // Looks whether the open documents' files changed on disk (also done when the program comes to the front).
  void checkDisk();

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
  void ToolButton13Click();
  void ApplicationEvents1Exception();
  void HistoryFilesClickHistoryItem(const QString& fileName);

  // A file handed over by a later copy (through the local socket) or named on
  // this copy's own command line: queued and opened once, on the window thread.
  void receiveHandOver(const QString& path);
  // The program is told to end (log-out, kill): like Exit, without questions.
  // Working copies with unsaved edits stay in the working folder; the rest go.
  void endWithoutQuestions();
  // At start: offers the unsaved edits that an ended copy left ("Recover unsaved changes to <name>?").
  void offerRecovery();
  // An update is installed: the program ends as by Exit (unsaved documents are
  // asked about) and, once it has ended, executable starts. False when the user
  // kept the program running.
  bool restartInto(const QString& executable);

 Q_SIGNALS:
  // A document asks to see what differs between it and a file.
  void compareRequested(TMDIChild* document, const QString& file);

 public:
  // What to start once the program has ended; empty for nothing.
  QString restartExecutable() const { return m_restartExecutable; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildActions();
  void buildMenus();
  void buildToolBar();
  void buildHelpPanel();
  void buildStatusBar();
  void setDocumentCommandsEnabled(bool enabled);
  void updateWindowCommands();
  void documentOpened(const QString& path);
  void allDocumentsClosed();
  void openHandedOver();

  AppPaths m_paths;
  Prompts& m_prompts;
  Preferences m_prefs;
  QStringList m_arguments;
  QString m_startFolder;
  std::unique_ptr<ExceptionReporter> m_reporter;
  DocumentWindows* m_documents = nullptr;
  SidePanel* m_sidePanel = nullptr;
  KeyOwnership* m_keys = nullptr;
  THistoryFiles* m_history = nullptr;
  QToolBar* m_toolBar = nullptr;
  QLabel* m_helpCaption = nullptr;
  QPlainTextEdit* m_helpText = nullptr;
  QLabel* m_statusPanel = nullptr;  // the status bar's 500-pixel panel
  int m_sideWidth = 0;              // the side panel's width when shown
  QTimer* m_timer1 = nullptr;
  QTimer* m_timer3 = nullptr;
  bool m_pickingUp = false;
  QString m_restartExecutable;
  QUndoGroup* m_undoGroup = nullptr;  // the documents' histories; the active one answers Undo and Redo
  HandOverQueue m_handedOver;         // waiting to be opened
  QString m_uncleared;                // a key that names a file already opened but cannot be emptied
  bool m_handOver = true;
  bool m_destroying = false;
  QString m_openDialogName;
  std::vector<std::unique_ptr<QWidget>> m_windows;
};

// The main window's menus, tool bar, help strip and status bar: the tables of
// commands and where each shows. The window's behaviour is in MainForm.cpp.
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoGroup>
#include <QVBoxLayout>

#include "app/Actions.h"
#include "app/KeyMap.h"
#include "app/MainForm.h"
#include "components/HistoryFiles.h"
#include "components/Pictures.h"
#include "documents/DocumentWindows.h"

void TMainForm::buildActions() {
  const QKeySequence none;
  const QList<ActionSpec> table = {
      {Command::FileNew1, "&New", Picture::New, Qt::Key_F1, "New|Create a new file", true, true,
       [this] { FileNew1Execute(); }},
      {Command::FileNewServer1, "New Server", Picture::NewServer, Qt::Key_F2, "New Server", false, true, {}},
      {Command::FileOpen1, "&Open", Picture::Open, Qt::Key_F3, "Open|Open a file", true, true,
       [this] { FileOpen1Execute(); }},
      {Command::FileClose1, "&Close", Picture::Close, Qt::Key_F4, "Close|Close current file", false, true,
       [this] { FileClose1Execute(); }},
      {Command::ReRead1,
       "Re-Read Settings",
       Picture::ReRead,
       QKeySequence(Qt::CTRL | Qt::Key_R),
       nullptr,
       false,
       true,
       {}},
      {Command::Import1, "Import", Picture::Import, none, nullptr, false, true, {}},
      {Command::Export1, "Export", Picture::Export, none, nullptr, false, true, {}},
      {Command::Save1, "&Save", Picture::Save, QKeySequence(Qt::CTRL | Qt::Key_S), "Save", false, true,
       [this] { SaveDocument(); }},
      {Command::SaveAs1,
       "Save &As...",
       Picture::SaveAs,
       QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S),
       "Save As|Saves the active file with a new name",
       false,
       true,
       {}},
      {Command::FileExit1, "E&xit", Picture::Exit, QKeySequence(Qt::CTRL | Qt::Key_X),
       "Exit|Quits the application", true, true, [this] { close(); }},
      {Command::CompareSettings1, "Compare Settings", Picture::Compare, none, nullptr, false, false, {}},
      {Command::ViewNotes1, "View Notes/Info", Picture::Notes, none, nullptr, false, false, {}},
      {Command::CompareWith1,
       "Compare With...",
       Picture::Compare,
       none,
       "Compare With|Lists the settings that differ between the active document and another arena file",
       false,
       true,
       {}},
      {Command::ErrorCheckCFG1, "CFG Validation", Picture::Validation, Qt::Key_F9, nullptr, true, false, {}},
      {Command::Options1,
       "Options/Preferences",
       Picture::Tools,
       QKeySequence(Qt::CTRL | Qt::Key_P),
       nullptr,
       true,
       true,
       {}},
      {Command::MultifireTool1,
       "Multifire Tool",
       Picture::Tools,
       none,
       "Shows the multifire angle preview in a window of its own",
       true,
       true,
       {}},
      {Command::WindowCascade1, "&Cascade", Picture::Cascade, Qt::Key_F5, "Cascade", false, true,
       [this] { m_documents->cascade(); }},
      {Command::WindowTile1, "&Tiled", Picture::Tile, Qt::Key_F6, "Tiled", false, false, {}},
      {Command::WindowMinimizeAll1, "Mi&nimize All", Picture::MinimizeAll, Qt::Key_F7, "Minimize All", false,
       true, [this] { m_documents->minimizeAll(); }},
      {Command::WindowArrangeAll1, "&Maximize All", Picture::MaximizeAll, Qt::Key_F8, "Maximize All", false,
       true, [this] { WindowArrangeAll1Execute(); }},
      {Command::HelpAbout1,
       "&About",
       Picture::Information,
       none,
       "About|Displays program information, version number, and copyright",
       true,
       true,
       {}},
      {Command::CheckForUpdates1,
       "Check For Updates?",
       Picture::CheckForUpdates,
       QKeySequence(Qt::ALT | Qt::Key_Backspace),
       nullptr,
       true,
       true,
       {}},
      {Command::CloseAll1, "Close All", Picture::CloseAll, none, "Close All", false, true,
       [this] { CloseAll1Execute(); }},
      {Command::SaveAsButton, "Save As", Picture::SaveAs, none, nullptr, true, false, {}},
      {Command::TileButton, "Tiled", Picture::Tile, none, nullptr, true, false, {}},
      {Command::SideToggle, "Hide ToolBar", Picture::HideSidePanel, none, "Hide ToolBar", true, true,
       [this] { ToolButton13Click(); }},
  };
  ::buildActions(this, table);
  QList<QAction*> owners;
  for (const char* name :
       {Command::FileNew1, Command::FileNewServer1, Command::FileOpen1, Command::FileClose1, Command::ReRead1,
        Command::Save1, Command::SaveAs1, Command::FileExit1, Command::ErrorCheckCFG1, Command::Options1,
        Command::WindowCascade1, Command::WindowTile1, Command::WindowMinimizeAll1,
        Command::WindowArrangeAll1, Command::CheckForUpdates1})
    owners.append(action(QString::fromLatin1(name)));
  // Hidden items whose keys must still work (F9, F6) answer through twins.
  QAction* validation = action(Command::ErrorCheckCFG1);
  KeyOwnership::addKeyTwin(this, validation, [validation] { Q_EMIT validation->triggered(); });
  KeyOwnership::addKeyTwin(this, action(Command::WindowTile1), [this] {
    if (!m_documents->isEmpty()) m_documents->tile();
  });
  for (QAction* a : owners) addAction(a);
  m_keys = new KeyOwnership(this, owners);
}

void TMainForm::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("File1"));
  fillMenu(file, this,
           {{Command::FileNew1},
            {Command::FileNewServer1},
            {Command::FileOpen1},
            {Command::FileClose1},
            {Command::ReRead1},
            {"-"},
            {Command::Import1},
            {Command::Export1},
            {"-"}});
  QMenu* recent = file->addMenu(Pictures::main(Picture::RecentFiles), QStringLiteral("Recent Files"));
  recent->setObjectName(QStringLiteral("RecentFiles1"));
  for (int i = 1; i <= 5; ++i) {
    QAction* placeholder = recent->addAction(QStringLiteral("File%1").arg(i));
    placeholder->setObjectName(QStringLiteral("File%1").arg(i));
    placeholder->setVisible(false);
  }
  m_history = new THistoryFiles(&m_prompts, this);
  m_history->setObjectName(QStringLiteral("HistoryFiles"));
  m_history->MaxItems = 10;
  m_history->setParentMenu(recent);
  m_history->setPosition(5);
  m_history->ShowFullPath = false;
  m_history->FileMustExist = true;
  m_history->OnClickHistoryItem = [this](THistoryFiles*, QAction*, const QString& name) {
    HistoryFilesClickHistoryItem(name);
  };
  fillMenu(file, this, {{"-"}, {Command::Save1}});
  QMenu* applySave = file->addMenu(Pictures::main(Picture::Save), QStringLiteral("Apply/Save"));
  applySave->setObjectName(QStringLiteral("ApplySave1"));
  fillMenu(applySave, this, {{Command::SaveAs1}});
  applySave->menuAction()->setVisible(false);
  applySave->menuAction()->setEnabled(false);
  fillMenu(file, this, {{"-"}, {Command::FileExit1}});

  // Undo and Redo of the active document, on keys no other command uses.
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("Edit1"));
  QAction* undo = m_undoGroup->createUndoAction(this, QStringLiteral("&Undo"));
  undo->setObjectName(QString::fromLatin1(Command::Undo1));
  undo->setIcon(Pictures::main(Picture::Undo));
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  undo->setStatusTip(QStringLiteral("Takes back the last change of the active document"));
  QAction* redo = m_undoGroup->createRedoAction(this, QStringLiteral("&Redo"));
  redo->setObjectName(QString::fromLatin1(Command::Redo1));
  redo->setIcon(Pictures::main(Picture::Redo));
  redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  redo->setStatusTip(QStringLiteral("Makes the last change taken back again"));
  for (QAction* a : {undo, redo}) {
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    edit->addAction(a);
  }

  QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
  tools->setObjectName(QStringLiteral("Tools1"));
  fillMenu(tools, this,
           {{Command::CompareSettings1},
            {Command::CompareWith1},
            {Command::ViewNotes1},
            {Command::ErrorCheckCFG1},
            {"-hidden"},
            {Command::Options1},
            {Command::MultifireTool1}});

  QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
  window->setObjectName(QStringLiteral("Window1"));
  window->setToolTip(QStringLiteral("Window related commands"));
  window->menuAction()->setStatusTip(QStringLiteral("Window related commands"));
  fillMenu(window, this,
           {{Command::WindowCascade1},
            {Command::WindowTile1},
            {"-"},
            {Command::WindowMinimizeAll1},
            {Command::WindowArrangeAll1}});
  connect(window, &QMenu::aboutToShow, this, &TMainForm::updateWindowCommands);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  help->menuAction()->setStatusTip(QStringLiteral("Help topics"));
  fillMenu(help, this, {{Command::HelpAbout1}, {"-"}, {Command::CheckForUpdates1}});
}

void TMainForm::buildToolBar() {
  m_toolBar = addToolBar(QStringLiteral("ToolBar1"));
  m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
  m_toolBar->setMovable(false);
  m_toolBar->setFloatable(false);
  m_toolBar->setIconSize(QSize(16, 16));
  m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  m_toolBar->setContentsMargins(0, 0, 0, 0);
  m_toolBar->setFixedHeight(33);
  fillToolBar(m_toolBar, this,
              {{Command::FileNew1, "NewButton"},
               {Command::FileNewServer1, "NewServerButton"},
               {Command::FileOpen1, "OpenButton"},
               {"-"},
               {Command::Save1, "ToolButton14"},
               {Command::SaveAsButton, "SaveAsButton"},
               {"-"},
               {Command::WindowCascade1, "CascadeButton"},
               {Command::TileButton, "TileButton"},
               {Command::WindowMinimizeAll1, "MinimizeAllButton"},
               {Command::WindowArrangeAll1, "MaximizeAllButton"},
               {Command::SideToggle, "ToolButton13"},
               {"-"},
               {"-"},
               {Command::FileClose1, "CloseButton"},
               {"-"},
               {"-"},
               {Command::CloseAll1, "CloseAllButton"},
               {"-"}});
}

void TMainForm::buildHelpPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("HelpPanel"));
  panel->setFixedHeight(68);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(2, 1, 2, 2);
  layout->setSpacing(1);
  m_helpCaption = new QLabel(QStringLiteral(" Help: N/A"), panel);
  m_helpCaption->setObjectName(QStringLiteral("HelpCaption"));
  QFont bold = m_helpCaption->font();
  bold.setBold(true);
  m_helpCaption->setFont(bold);
  m_helpText = new QPlainTextEdit(QStringLiteral("Setting Help Information Displayed in here..."), panel);
  m_helpText->setObjectName(QStringLiteral("HelpText"));
  m_helpText->setReadOnly(true);
  layout->addWidget(m_helpCaption);
  layout->addWidget(m_helpText, 1);
}

void TMainForm::buildStatusBar() {
  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("StatusBar1"));
  status->setSizeGripEnabled(false);
  m_statusPanel = new QLabel(status);
  m_statusPanel->setObjectName(QStringLiteral("StatusPanel"));
  m_statusPanel->setFixedWidth(500);
  status->addWidget(m_statusPanel);
  setStatusBar(status);
}

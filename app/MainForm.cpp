#include "app/MainForm.h"

#include <QAction>
#include <functional>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QCloseEvent>
#include <QPushButton>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/ExceptionLog.h"
#include "app/Pictures.h"
#include "app/Prompts.h"
#include "app/TessaryApplication.h"
#include "app/TessaryError.h"
#include "components/HistoryFiles.h"
#include "tools/BulletCalculator.h"
#include "tools/IntParse.h"
#include "tools/MultifirePreview.h"
#include "tools/MultifireTool.h"
#include "documents/ConfigModel.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "documents/WorkingCopies.h"
#include "profile/ProfileFile.h"

namespace {
const QString kNA = QStringLiteral("N/A");
}

TMainForm::TMainForm(const AppPaths& paths, Prompts& prompts, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent),
      m_paths(paths),
      m_prompts(prompts),
      m_prefs(paths),
      m_arguments(arguments),
      m_startFolder(QDir::currentPath()),
      m_workingCopies(std::make_unique<WorkingCopies>(paths.temp())) {
  setObjectName(QStringLiteral("TMainForm"));
  setWindowTitle(applicationTitle());
  m_reporter = std::make_unique<ExceptionReporter>(exceptionLogPath(),
                                                   QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                                                   &m_prompts);
  if (auto* app = TessaryApplication::instance()) app->setExceptionHandler([this] { ApplicationEvents1Exception(); });

  buildActions();
  buildMenus();
  buildToolBar();

  auto* central = new QWidget(this);
  auto* grid = new QVBoxLayout(central);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  auto* middle = new QHBoxLayout();
  middle->setSpacing(0);
  buildSidePanel();
  middle->addWidget(m_sidePanel);
  m_mdi = new QMdiArea(central);
  m_mdi->setObjectName(QStringLiteral("DocumentArea"));
  m_mdi->setBackground(palette().color(QPalette::Dark));
  middle->addWidget(m_mdi, 1);
  grid->addLayout(middle, 1);
  buildHelpPanel();
  grid->addWidget(m_helpCaption->parentWidget());
  setCentralWidget(central);
  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("StatusBar1"));
  status->setSizeGripEnabled(false);
  setStatusBar(status);

  connect(m_mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (m_destroying || !sub) return;
    if (auto* child = qobject_cast<TMDIChild*>(sub->widget())) child->FormActivate();
  });

  m_timer1 = new QTimer(this);
  m_timer1->setObjectName(QStringLiteral("Timer1"));
  m_timer1->setInterval(50);
  connect(m_timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  m_timer3 = new QTimer(this);
  m_timer3->setObjectName(QStringLiteral("Timer3"));
  m_timer3->setInterval(100);
  connect(m_timer3, &QTimer::timeout, this, &TMainForm::Timer3Timer);

  qApp->installEventFilter(this);
  try {
    FormCreate();
  } catch (...) {
    // The window still comes up; the log says which step failed.
    ApplicationEvents1Exception();
  }
  m_timer1->start();
  m_timer3->start();
}

TMainForm::~TMainForm() {
  qApp->removeEventFilter(this);
  FormDestroy();
  if (auto* app = TessaryApplication::instance()) app->setExceptionHandler({});
}

QString TMainForm::exceptionLogPath() const {
  const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  return ExceptionLog::logPathFor(m_paths.appFolder() + QLatin1Char('/') + exe);
}

// ---- layout ---------------------------------------------------------------------------------

QAction* TMainForm::makeAction(const QString& name, const QString& text, int picture, const QKeySequence& key) {
  auto* a = new QAction(Pictures::main(picture), text, this);
  a->setObjectName(name);
  if (!key.isEmpty()) {
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
  }
  return a;
}

void TMainForm::setHint(QAction* action, const QString& hint) {
  const qsizetype bar = hint.indexOf(QLatin1Char('|'));
  action->setToolTip(bar < 0 ? hint : hint.left(bar));
  action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

void TMainForm::buildActions() {
  FileNew1 = makeAction(QStringLiteral("FileNew1"), QStringLiteral("&New"), 0, Qt::Key_F1);
  setHint(FileNew1, QStringLiteral("New|Create a new file"));
  FileNewServer1 = makeAction(QStringLiteral("FileNewServer1"), QStringLiteral("New Server"), 24, Qt::Key_F2);
  setHint(FileNewServer1, QStringLiteral("New Server"));
  FileNewServer1->setEnabled(false);
  FileOpen1 = makeAction(QStringLiteral("FileOpen1"), QStringLiteral("&Open"), 2, Qt::Key_F3);
  setHint(FileOpen1, QStringLiteral("Open|Open a file"));
  FileClose1 = makeAction(QStringLiteral("FileClose1"), QStringLiteral("&Close"), 12, Qt::Key_F4);
  setHint(FileClose1, QStringLiteral("Close|Close current file"));
  ReRead1 = makeAction(QStringLiteral("ReRead1"), QStringLiteral("Re-Read Settings"), 23, QKeySequence(Qt::CTRL | Qt::Key_R));
  ReRead1->setEnabled(false);
  Import1 = makeAction(QStringLiteral("Import1"), QStringLiteral("Import"), 17);
  Import1->setEnabled(false);
  Export1 = makeAction(QStringLiteral("Export1"), QStringLiteral("Export"), 22);
  Export1->setEnabled(false);
  Save1 = makeAction(QStringLiteral("Save1"), QStringLiteral("&Save"), 19, QKeySequence(Qt::CTRL | Qt::Key_S));
  setHint(Save1, QStringLiteral("Save"));
  Save1->setEnabled(false);
  SaveAs1 = makeAction(QStringLiteral("SaveAs1"), QStringLiteral("Save &As..."), 20,
                       QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  setHint(SaveAs1, QStringLiteral("Save As|Saves the active file with a new name"));
  SaveAs1->setEnabled(false);
  FileExit1 = makeAction(QStringLiteral("FileExit1"), QStringLiteral("E&xit"), 13, QKeySequence(Qt::CTRL | Qt::Key_X));
  setHint(FileExit1, QStringLiteral("Exit|Quits the application"));
  CompareSettings1 = makeAction(QStringLiteral("CompareSettings1"), QStringLiteral("Compare Settings"), 28);
  CompareSettings1->setEnabled(false);
  CompareSettings1->setVisible(false);
  ViewNotes1 = makeAction(QStringLiteral("ViewNotes1"), QStringLiteral("View Notes/Info"), 29);
  ViewNotes1->setEnabled(false);
  ViewNotes1->setVisible(false);
  ErrorCheckCFG1 = makeAction(QStringLiteral("ErrorCheckCFG1"), QStringLiteral("CFG Validation"), 32, Qt::Key_F9);
  Options1 = makeAction(QStringLiteral("Options1"), QStringLiteral("Options/Preferences"), 27,
                        QKeySequence(Qt::CTRL | Qt::Key_P));
  WindowCascade1 = makeAction(QStringLiteral("WindowCascade1"), QStringLiteral("&Cascade"), 3, Qt::Key_F5);
  setHint(WindowCascade1, QStringLiteral("Cascade"));
  WindowTile1 = makeAction(QStringLiteral("WindowTile1"), QStringLiteral("&Tiled"), 6, Qt::Key_F6);
  setHint(WindowTile1, QStringLiteral("Tiled"));
  WindowMinimizeAll1 = makeAction(QStringLiteral("WindowMinimizeAll1"), QStringLiteral("Mi&nimize All"), 5, Qt::Key_F7);
  setHint(WindowMinimizeAll1, QStringLiteral("Minimize All"));
  WindowArrangeAll1 = makeAction(QStringLiteral("WindowArrangeAll1"), QStringLiteral("&Maximize All"), 4, Qt::Key_F8);
  setHint(WindowArrangeAll1, QStringLiteral("Maximize All"));
  HelpAbout1 = makeAction(QStringLiteral("HelpAbout1"), QStringLiteral("&About"), 16);
  setHint(HelpAbout1, QStringLiteral("About|Displays program information, version number, and copyright"));
  CheckForUpdates1 = makeAction(QStringLiteral("CheckForUpdates1"), QStringLiteral("Check For Updates?"), 42,
                                QKeySequence(Qt::ALT | Qt::Key_Backspace));
  CloseAll1 = makeAction(QStringLiteral("CloseAll1"), QStringLiteral("Close All"), 11);
  setHint(CloseAll1, QStringLiteral("Close All"));
  CloseAll1->setEnabled(false);
  SaveAsButton = makeAction(QStringLiteral("SaveAsButton"), QStringLiteral("Save As"), 20);
  SaveAsButton->setVisible(false);
  for (QAction* a : {WindowCascade1, WindowTile1, WindowMinimizeAll1, WindowArrangeAll1, FileClose1})
    a->setEnabled(false);

  connect(FileNew1, &QAction::triggered, this, &TMainForm::FileNew1Execute);
  connect(FileOpen1, &QAction::triggered, this, &TMainForm::FileOpen1Execute);
  connect(FileClose1, &QAction::triggered, this, &TMainForm::FileClose1Execute);
  connect(Save1, &QAction::triggered, this, &TMainForm::SaveDocument);
  connect(FileExit1, &QAction::triggered, this, &QWidget::close);
  connect(ErrorCheckCFG1, &QAction::triggered, this, &TMainForm::ErrorCheckCFG1Click);
  connect(WindowCascade1, &QAction::triggered, this, [this] { m_mdi->cascadeSubWindows(); });
  connect(WindowTile1, &QAction::triggered, this, &TMainForm::tileDocuments);
  connect(WindowMinimizeAll1, &QAction::triggered, this, [this] {
    for (QMdiSubWindow* sub : m_mdi->subWindowList()) sub->showMinimized();
  });
  connect(WindowArrangeAll1, &QAction::triggered, this, &TMainForm::WindowArrangeAll1Execute);
  connect(CloseAll1, &QAction::triggered, this, &TMainForm::CloseAll1Execute);

  m_keyOwners = {FileNew1, FileNewServer1, FileOpen1, FileClose1, ReRead1, Save1, SaveAs1, FileExit1,
                 ErrorCheckCFG1, Options1, WindowCascade1, WindowTile1, WindowMinimizeAll1, WindowArrangeAll1,
                 CheckForUpdates1};
  // Hidden menu items whose keys must still work: a hidden QAction answers no
  // shortcut (Qt also reports it disabled), so the window carries a twin that does.
  auto keyTwin = [this](QAction* hidden, std::function<void()> run) {
    auto* twin = new QAction(this);
    twin->setObjectName(hidden->objectName() + QStringLiteral("Key"));
    twin->setShortcut(hidden->shortcut());
    twin->setShortcutContext(Qt::WindowShortcut);
    connect(twin, &QAction::triggered, this, std::move(run));
    addAction(twin);
    hidden->setProperty("ownedKey", hidden->shortcut());
    hidden->setShortcut({});
  };
  keyTwin(ErrorCheckCFG1, [this] { ErrorCheckCFG1Click(); });
  keyTwin(WindowTile1, [this] {
    if (!m_mdi->subWindowList().isEmpty()) tileDocuments();
  });
  for (QAction* a : m_keyOwners) addAction(a);
}

void TMainForm::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("File1"));
  file->addAction(FileNew1);
  file->addAction(FileNewServer1);
  file->addAction(FileOpen1);
  file->addAction(FileClose1);
  file->addAction(ReRead1);
  file->addSeparator();
  file->addAction(Import1);
  file->addAction(Export1);
  file->addSeparator();
  m_recentMenu = file->addMenu(Pictures::main(1), QStringLiteral("Recent Files"));
  m_recentMenu->setObjectName(QStringLiteral("RecentFiles1"));
  for (int i = 1; i <= 5; ++i) {
    QAction* placeholder = m_recentMenu->addAction(QStringLiteral("File%1").arg(i));
    placeholder->setObjectName(QStringLiteral("File%1").arg(i));
    placeholder->setVisible(false);
  }
  m_history = new THistoryFiles(&m_prompts, this);
  m_history->MaxItems = 10;
  m_history->setParentMenu(m_recentMenu);
  m_history->setPosition(5);
  m_history->ShowFullPath = false;
  m_history->FileMustExist = true;
  m_history->OnClickHistoryItem = [this](THistoryFiles*, QAction*, const QString& name) {
    HistoryFilesClickHistoryItem(name);
  };
  file->addSeparator();
  file->addAction(Save1);
  QMenu* applySave = file->addMenu(Pictures::main(19), QStringLiteral("Apply/Save"));
  applySave->setObjectName(QStringLiteral("ApplySave1"));
  applySave->addAction(SaveAs1);
  applySave->menuAction()->setVisible(false);
  applySave->menuAction()->setEnabled(false);
  file->addSeparator();
  file->addAction(FileExit1);

  QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
  tools->setObjectName(QStringLiteral("Tools1"));
  tools->addAction(CompareSettings1);
  tools->addAction(ViewNotes1);
  tools->addAction(ErrorCheckCFG1);
  ErrorCheckCFG1->setVisible(false);
  tools->addSeparator()->setVisible(false);
  tools->addAction(Options1);
  m_multifireTool = new TForm2(this);
  QAction* multifireTool = tools->addAction(Pictures::main(27), QStringLiteral("Multifire Tool"));
  multifireTool->setObjectName(QStringLiteral("MultifireTool1"));
  multifireTool->setStatusTip(QStringLiteral("Shows the multifire angle preview in a window of its own"));
  connect(multifireTool, &QAction::triggered, this, [this] {
    m_multifireTool->show();
    m_multifireTool->raise();
  });

  QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
  window->setObjectName(QStringLiteral("Window1"));
  window->setToolTip(QStringLiteral("Window related commands"));
  window->menuAction()->setStatusTip(QStringLiteral("Window related commands"));
  window->addAction(WindowCascade1);
  window->addAction(WindowTile1);
  WindowTile1->setVisible(false);
  window->addSeparator();
  window->addAction(WindowMinimizeAll1);
  window->addAction(WindowArrangeAll1);
  connect(window, &QMenu::aboutToShow, this, &TMainForm::updateWindowCommands);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  help->menuAction()->setStatusTip(QStringLiteral("Help topics"));
  help->addAction(HelpAbout1);
  help->addSeparator();
  help->addAction(CheckForUpdates1);
}

void TMainForm::buildToolBar() {
  m_toolBar = addToolBar(QStringLiteral("ToolBar1"));
  m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
  m_toolBar->setMovable(false);
  m_toolBar->setFloatable(false);
  m_toolBar->setFixedHeight(33);
  m_toolBar->setIconSize(QSize(16, 16));
  m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  auto add = [this](QAction* a, const QString& buttonName) {
    m_toolBar->addAction(a);
    if (QWidget* w = m_toolBar->widgetForAction(a)) w->setObjectName(buttonName);
  };
  add(FileNew1, QStringLiteral("NewButton"));
  add(FileNewServer1, QStringLiteral("NewServerButton"));
  add(FileOpen1, QStringLiteral("OpenButton"));
  m_toolBar->addSeparator();
  add(Save1, QStringLiteral("ToolButton14"));
  add(SaveAsButton, QStringLiteral("SaveAsButton"));
  m_toolBar->addSeparator();
  add(WindowCascade1, QStringLiteral("CascadeButton"));
  auto* tileButton = new QAction(Pictures::main(6), QStringLiteral("Tiled"), this);
  tileButton->setVisible(false);
  m_toolBar->addAction(tileButton);
  add(WindowMinimizeAll1, QStringLiteral("MinimizeAllButton"));
  add(WindowArrangeAll1, QStringLiteral("MaximizeAllButton"));
  SideToggle = new QAction(Pictures::main(26), QStringLiteral("Hide ToolBar"), this);
  SideToggle->setObjectName(QStringLiteral("SideToggle"));
  SideToggle->setToolTip(QStringLiteral("Hide ToolBar"));
  SideToggle->setStatusTip(QStringLiteral("Hide ToolBar"));
  connect(SideToggle, &QAction::triggered, this, &TMainForm::ToolButton13Click);
  add(SideToggle, QStringLiteral("ToolButton13"));
  m_sideToggle = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(SideToggle));
  m_toolBar->addSeparator();
  m_toolBar->addSeparator();
  add(FileClose1, QStringLiteral("CloseButton"));
  m_toolBar->addSeparator();
  m_toolBar->addSeparator();
  add(CloseAll1, QStringLiteral("CloseAllButton"));
  m_toolBar->addSeparator();
}

void TMainForm::buildSidePanel() {
  m_sidePanel = new QWidget(this);
  m_sidePanel->setObjectName(QStringLiteral("SidePanel"));
  m_sidePanel->setFixedWidth(245);
  auto* layout = new QVBoxLayout(m_sidePanel);
  layout->setContentsMargins(2, 2, 2, 2);
  m_sidePages = new QTabWidget(m_sidePanel);
  m_sidePages->setObjectName(QStringLiteral("SidePages"));
  m_sidePages->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 2px; }"));
  m_sidePages->setUsesScrollButtons(false);
  m_sidePages->setIconSize(QSize(14, 14));
  layout->addWidget(m_sidePages);

  auto* general = new QWidget();
  general->setObjectName(QStringLiteral("GeneralPage"));
  auto* gl = new QVBoxLayout(general);
  auto* compareBox = new QGroupBox(QStringLiteral(" Ship Comparisons "), general);
  compareBox->setObjectName(QStringLiteral("ShipComparisonsGroup"));
  auto* cl = new QVBoxLayout(compareBox);
  m_comparisons = new QTreeWidget(compareBox);
  m_comparisons->setObjectName(QStringLiteral("ShipComparisons"));
  m_comparisons->setColumnCount(2);
  m_comparisons->setHeaderLabels({QStringLiteral("Ship"), QStringLiteral("Value")});
  m_comparisons->setColumnWidth(0, 75);
  m_comparisons->setColumnWidth(1, 98);
  m_comparisons->setRootIsDecorated(false);
  m_comparisons->setSelectionMode(QAbstractItemView::NoSelection);
  m_comparisons->setFocusPolicy(Qt::NoFocus);
  m_comparisons->header()->setSectionsClickable(false);
  m_comparisons->setUniformRowHeights(true);
  m_comparisons->setIconSize(QSize(14, 14));
  m_comparisons->setIndentation(0);
  m_comparisons->setTextElideMode(Qt::ElideNone);
  for (int i = 0; i < Ships::kCount; ++i) {
    auto* row = new QTreeWidgetItem(m_comparisons);
    row->setIcon(0, Pictures::ship(i));
    row->setText(0, Ships::names()[static_cast<size_t>(i)]);
    row->setText(1, QStringLiteral("0"));
  }
  m_comparisons->setFixedHeight(m_comparisons->header()->sizeHint().height() +
                                8 * m_comparisons->sizeHintForRow(0) + 6);
  cl->addWidget(m_comparisons);
  auto* settingRow = new QHBoxLayout();
  auto* settingCaption = new QLabel(QStringLiteral("Setting:"), compareBox);
  QFont bold = settingCaption->font();
  bold.setBold(true);
  settingCaption->setFont(bold);
  m_settingValue = new QLabel(kNA, compareBox);
  m_settingValue->setObjectName(QStringLiteral("SettingValue"));
  settingRow->addWidget(settingCaption);
  settingRow->addWidget(m_settingValue, 1);
  cl->addLayout(settingRow);
  gl->addWidget(compareBox);
  auto* details = new QGroupBox(QStringLiteral(" File Details "), general);
  details->setObjectName(QStringLiteral("FileDetailsGroup"));
  auto* dl = new QVBoxLayout(details);
  m_lastModified = new QLabel(QStringLiteral("Last Modified: N/A"), details);
  m_lastModified->setObjectName(QStringLiteral("LastModified"));
  m_owner = new QLabel(QStringLiteral("Owner: N/A"), details);
  m_owner->setObjectName(QStringLiteral("Owner"));
  dl->addWidget(m_lastModified);
  dl->addWidget(m_owner);
  gl->addWidget(details);
  gl->addStretch(1);
  m_sidePages->addTab(general, Pictures::main(16), QStringLiteral("General "));

  auto* calculators = new QWidget();
  calculators->setObjectName(QStringLiteral("CalculatorsPage"));
  auto* calcLayout = new QVBoxLayout(calculators);
  m_calculator = new BulletCalculator(calculators);
  calcLayout->addWidget(m_calculator);
  calcLayout->addStretch(1);
  m_sidePages->addTab(calculators, Pictures::main(9), QStringLiteral("Calculators"));
  auto* tools = new QWidget();
  tools->setObjectName(QStringLiteral("TabSheet6"));
  buildToolsPage(tools);
  m_sidePages->addTab(tools, Pictures::main(27), QStringLiteral("Tools"));
  connect(m_sidePages, &QTabWidget::currentChanged, this, [this, tools](int index) {
    if (m_sidePages->widget(index) == tools) TabSheet6Show();
  });
}

void TMainForm::buildToolsPage(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  auto* group = new QGroupBox(page);
  group->setObjectName(QStringLiteral("MultifireGroup"));
  auto* gl = new QVBoxLayout(group);
  m_multifire = new MultifireView(group);
  m_multifire->setBackgroundLoader([this] { return loadPicture(m_paths.multifirePicture()); });
  gl->addWidget(m_multifire);
  CheckBox1 = new QCheckBox(QStringLiteral("View Current Ship"), group);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setChecked(true);
  CheckBox1->setStyleSheet(QStringLiteral("QCheckBox { color: #0000ff; font-weight: bold; }"));
  connect(CheckBox1, &QCheckBox::clicked, this, &TMainForm::CheckBox1Click);
  gl->addWidget(CheckBox1);
  auto* setButton = new QPushButton(QStringLiteral("Set To Current Ship"), group);
  setButton->setObjectName(QStringLiteral("SetToCurrentShip"));
  QFont bold = setButton->font();
  bold.setBold(true);
  setButton->setFont(bold);
  connect(setButton, &QPushButton::clicked, this, &TMainForm::setToCurrentShip);
  gl->addWidget(setButton);
  auto* helpGroup = new QGroupBox(QStringLiteral(" Help/Intructions "), group);
  auto* hl = new QVBoxLayout(helpGroup);
  auto* help = new QPlainTextEdit(multifireHelpText(), helpGroup);
  help->setObjectName(QStringLiteral("MultifireHelp"));
  help->setReadOnly(true);
  help->setFrameShape(QFrame::NoFrame);
  help->setLineWrapMode(QPlainTextEdit::NoWrap);
  help->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  help->setFixedHeight(help->fontMetrics().lineSpacing() * 4 + 12);
  hl->addWidget(help);
  gl->addWidget(helpGroup);
  layout->addWidget(group);
  layout->addStretch(1);
}

QImage TMainForm::loadPicture(const QString& path) const {
  QImage image(path);
  if (image.isNull()) throw TessaryError(QStringLiteral("Cannot load the picture %1").arg(path));
  return image;
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

QAction* TMainForm::action(const QString& objectName) const { return findChild<QAction*>(objectName); }

// ---- start, activation, end -----------------------------------------------------------------

void TMainForm::FormCreate() {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect desk = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  // A fixed frame, 150 pixels smaller than the screen each way, centred.
  setFixedSize(desk.width() - 150, desk.height() - 150);
  move(desk.center() - QPoint(width() / 2, height() / 2));
  QDir().mkpath(m_paths.temp());
  if (!QDir::setCurrent(m_paths.temp()))
    throw TessaryError(QStringLiteral("Cannot open the folder %1").arg(m_paths.temp()));
  m_multifire->setShipPicture(loadPicture(m_paths.shipPicture(QStringLiteral("Warbird"))));
  m_history->LocalPath = m_paths.appFolder() + QLatin1Char('/');
  m_history->RebuildMenu();
  QString argument = m_arguments.value(0);
  // Plain text work, not QFileInfo: a name that is not UTF-8 must keep its bytes.
  if (!argument.isEmpty())
    argument = QDir::cleanPath(QDir::isAbsolutePath(argument) ? argument : m_startFolder + QLatin1Char('/') + argument);
  m_prefs.setExternalFile(argument);
}

bool TMainForm::event(QEvent* e) { return QMainWindow::event(e); }

void TMainForm::FormDestroy() {
  if (m_destroying) return;
  m_destroying = true;
  m_timer1->stop();
  m_timer3->stop();
  // Documents go without questions here: the program is ending.
  // Also windows closed but not yet deleted: none may outlive this window.
  for (QMdiSubWindow* sub : m_mdi->findChildren<QMdiSubWindow*>()) delete sub;
  // Only this copy's own working copies: another running copy keeps its own here.
  m_workingCopies->removeAll();
}

void TMainForm::closeEvent(QCloseEvent* e) {
  const QList<TMDIChild*> docs = children();
  if (!confirmClosing(docs)) {
    e->ignore();
    return;
  }
  for (TMDIChild* doc : docs) doc->setCloseConfirmed(true);
  e->accept();
}

bool TMainForm::confirmClosing(const QList<TMDIChild*>& docs) {
  QList<QPointer<TMDIChild>> guarded;
  for (TMDIChild* doc : docs) guarded.append(doc);
  return ::confirmClosing(guarded, [this] { ApplicationEvents1Exception(); });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::ShortcutOverride && e->type() != QEvent::KeyPress) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(e);
  const QKeySequence seq(key->keyCombination());
  for (QAction* owner : m_keyOwners) {
    const QKeySequence owned = owner->shortcut().isEmpty() ? owner->property("ownedKey").value<QKeySequence>()
                                                           : owner->shortcut();
    if (owned.isEmpty() || owned != seq) continue;
    // The menu owns this key, also in text fields (Ctrl+X ends the program); a
    // disabled owner swallows it.
    return true;
  }
  return false;
}

// ---- timers and command states ------------------------------------------------------------

void TMainForm::setDocumentCommandsEnabled(bool enabled) {
  FileClose1->setEnabled(enabled);
  Save1->setEnabled(enabled);
  SaveAsButton->setEnabled(enabled);
  CloseAll1->setEnabled(enabled);
}

void TMainForm::enableWindowButtons() {
  for (QAction* a : {WindowCascade1, CloseAll1, WindowMinimizeAll1, WindowArrangeAll1, WindowTile1})
    a->setEnabled(true);
}

void TMainForm::updateWindowCommands() {
  const bool any = !m_mdi->subWindowList().isEmpty();
  for (QAction* a : {WindowCascade1, WindowTile1, WindowMinimizeAll1, WindowArrangeAll1}) a->setEnabled(any);
  FileClose1->setEnabled(activeChild() != nullptr);
}

void TMainForm::Timer1Timer() {
  updateWindowCommands();
  if (!m_mdi->subWindowList().isEmpty()) return;
  m_lastModified->setText(QStringLiteral("Last Modified: N/A"));
  m_owner->setText(QStringLiteral("Owner: N/A"));
  setDocumentCommandsEnabled(false);
}

void TMainForm::Timer3Timer() {
  // A pickup can show a box (an error), during which ticks still arrive.
  if (m_pickingUp || !m_prefs.exists()) return;
  const QString name = m_prefs.externalFile();
  if (name.isEmpty() || name == kNA) return;
  m_pickingUp = true;
  const auto done = qScopeGuard([this] { m_pickingUp = false; });
  // Emptied first, so a name that fails to open is not tried again at every tick.
  m_prefs.setExternalFile(QString());
  OpenDocument(name);
}

// ---- documents -----------------------------------------------------------------------------

TMDIChild* TMainForm::activeChild() const {
  QMdiSubWindow* sub = m_mdi->currentSubWindow();
  return sub ? qobject_cast<TMDIChild*>(sub->widget()) : nullptr;
}

QList<TMDIChild*> TMainForm::children() const {
  QList<TMDIChild*> out;
  for (QMdiSubWindow* sub : m_mdi->subWindowList())
    if (auto* c = qobject_cast<TMDIChild*>(sub->widget())) out.append(c);
  return out;
}

TMDIChild* TMainForm::CreateDocumentWindow(const QString& displayName, const QString& type,
                                           const QString& statusPath, bool isNew, const QString& workingCopy) {
  auto* child = new TMDIChild(this, m_prompts, m_paths, *m_workingCopies);
  child->setCaption(displayName);
  child->setWorkingCopy(workingCopy);
  auto* sub = m_mdi->addSubWindow(child, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                             Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setWindowIcon(Pictures::main(10));
  connect(child, &TMDIChild::formClosed, this, &TMainForm::onFormClosed);
  child->FormCreate();
  sub->show();
  m_mdi->setActiveSubWindow(sub);
  child->setFilePath(statusPath.isEmpty() ? QStringLiteral(" Unsaved Config...") : statusPath);
  child->setNewDocument(isNew);
  if (isNew) {
    child->setDocType(type);
    child->showPageSet(type);
  }
  return child;
}

TMDIChild* TMainForm::OpenDocument(const QString& path) {
  // The working copy first: a source that cannot be read, or a full disk, opens nothing.
  const QString working = m_workingCopies->create(QFileInfo(path).fileName(), path);
  TMDIChild* child =
      CreateDocumentWindow(QFileInfo(path).fileName(), QStringLiteral("Arena"), path, false, working);
  child->prepareOtherPage();
  addToHistory(path);
  child->LoadDocument(working);
  child->showPageSet(QStringLiteral("Arena"));
  child->setDocType(QStringLiteral("Arena"));
  child->comboBox()->setEditText(QStringLiteral("[Select]"));
  setDocumentCommandsEnabled(true);
  // Activation ran before the window knew its file; show this file's details now.
  child->showFileDetails();
  RefreshMultifirePreview(QStringLiteral("Warbird"), false);
  return child;
}

void TMainForm::FileOpen1Execute() {
  const std::optional<QString> name =
      m_prompts.openFile(this, QStringLiteral("Open"), QStringLiteral("Arena Config (*.cfg)"));
  if (!name || name->isEmpty()) {
    m_prompts.message(this, QMessageBox::Information, applicationTitle(), QStringLiteral("No File Loaded!"));
    return;
  }
  m_openDialogName = *name;
  OpenDocument(*name);
}

void TMainForm::onFormClosed() {
  // FormClose: the preview shows no angle of a window that is gone.
  m_multifire->setAngle(0);
}

void TMainForm::resetSidePanel() {
  m_settingValue->setText(kNA);
  m_multifire->setAngle(0);
  m_lastModified->setText(QStringLiteral("Last Modified: N/A"));
  m_owner->setText(QStringLiteral("Owner: N/A"));
  resetComparisonValues();
}

void TMainForm::FileClose1Execute() {
  // The window asked about is the one closed, whatever became current meanwhile (a hand-over).
  const QPointer<QMdiSubWindow> sub = m_mdi->currentSubWindow();
  TMDIChild* child = activeChild();
  if (!child || !confirmClosing({child}) || !sub) return;
  delete sub;
  if (m_mdi->subWindowList().isEmpty()) resetSidePanel();
}

void TMainForm::CloseAll1Execute() {
  const QList<QMdiSubWindow*> subs = m_mdi->subWindowList();
  QList<QPointer<QMdiSubWindow>> asked(subs.begin(), subs.end());
  if (!confirmClosing(children())) return;
  for (const QPointer<QMdiSubWindow>& sub : asked) {
    if (!sub) continue;
    if (auto* doc = qobject_cast<TMDIChild*>(sub->widget())) doc->setCloseConfirmed(true);
    sub->close();
  }
  resetSidePanel();
  setDocumentCommandsEnabled(false);
}

void TMainForm::tileDocuments() {
  // Side by side: each window gets a column of the document area.
  const QList<QMdiSubWindow*> subs = m_mdi->subWindowList();
  if (subs.isEmpty()) return;
  const int width = m_mdi->viewport()->width() / static_cast<int>(subs.size());
  int x = 0;
  for (QMdiSubWindow* sub : subs) {
    if (sub->isMinimized()) sub->showNormal();
    sub->move(x, 0);
    x += std::max(width, 40);
  }
}

void TMainForm::WindowArrangeAll1Execute() {
  for (QMdiSubWindow* sub : m_mdi->subWindowList()) sub->showNormal();
}

void TMainForm::ToolButton13Click() {
  if (m_sideTogglePicture == 26) {
    m_sidePanel->setFixedWidth(0);
    m_sideTogglePicture = 25;
    SideToggle->setIcon(Pictures::main(25));
    SideToggle->setToolTip(QStringLiteral("Show ToolBar"));
    SideToggle->setStatusTip(QStringLiteral("Show ToolBar"));
  } else {
    m_sidePanel->setFixedWidth(237);
    m_sideTogglePicture = 26;
    SideToggle->setIcon(Pictures::main(26));
    SideToggle->setToolTip(QStringLiteral("Hide ToolBar"));
    SideToggle->setStatusTip(QStringLiteral("Hide ToolBar"));
  }
}

void TMainForm::ErrorCheckCFG1Click() {
  if (!m_validation) {
    m_validation = new QDialog(this);
    m_validation->setObjectName(QStringLiteral("TForm3"));
    m_validation->setWindowTitle(QStringLiteral("CFG Validation"));
    m_validation->resize(420, 300);
  }
  m_validation->show();
  m_validation->raise();
}

void TMainForm::ApplicationEvents1Exception() { m_reporter->reportCurrent(); }

// ---- help and comparison -------------------------------------------------------------------

void TMainForm::ShowSettingHelp(const QString& section, const QString& name) {
  try {
    const QString text = ProfileFile::readText(m_paths.helpFile(), section, name);
    m_helpCaption->setText(QStringLiteral(" Help: ") + name);
    m_helpText->setPlainText(text);
  } catch (...) {
    m_prompts.message(this, QMessageBox::Information, applicationTitle(), QStringLiteral("Error?"));
    throw;
  }
}

void TMainForm::RefreshShipComparison() {
  TMDIChild* child = activeChild();
  if (!child) return;
  int r = 0;
  if (ReportList* focused = child->focusedList(); focused && child->shipOf(focused) >= 0)
    r = std::max(focused->selectedRow(), 0);
  for (int i = 0; i < Ships::kCount; ++i)
    m_comparisons->topLevelItem(i)->setText(1, child->shipList(i)->value(r));
  m_settingValue->setText(child->shipList(Ships::kCount - 1)->name(r));
}

void TMainForm::resetComparisonValues() {
  if (m_destroying) return;
  for (int i = 0; i < Ships::kCount; ++i) m_comparisons->topLevelItem(i)->setText(1, QStringLiteral("0"));
}

void TMainForm::showFileDetails(const QString& lastModified, const QString& owner) {
  m_lastModified->setText(lastModified);
  m_owner->setText(owner);
}

void TMainForm::showLastModified(const QString& lastModified) { m_lastModified->setText(lastModified); }

// ---- multifire preview --------------------------------------------------------------------

std::optional<std::int32_t> TMainForm::storedAngle(const TMDIChild* child, const QString& ship) const {
  // Empty or missing: none. Not a whole number: a conversion error for the exception log.
  if (child->workingCopy().isEmpty()) return std::nullopt;
  const QString value = ProfileFile::readText(child->workingCopy(), ship, QStringLiteral("MultiFireAngle"));
  if (value.isEmpty()) return std::nullopt;
  return toInt32(value);
}

void TMainForm::RefreshMultifirePreview(const QString& ship, bool loadPictureToo) {
  if (!CheckBox1->isChecked() || ship.isEmpty()) return;
  TMDIChild* child = activeChild();
  if (!child) return;
  // Read everything first, so that a failure leaves the preview as it was.
  const QImage picture = loadPictureToo ? loadPicture(m_paths.shipPicture(ship)) : QImage();
  const std::optional<std::int32_t> angle = storedAngle(child, ship);
  if (loadPictureToo) m_multifire->setShipPicture(picture);
  if (angle) m_multifire->setAngle(*angle);
  m_multifire->edit()->setText(QString::number(m_multifire->angle()));
  m_multifire->DrawMultifireLines();
}

void TMainForm::CheckBox1Click() {
  if (!CheckBox1->isChecked()) {
    m_multifire->setShipPicture(loadPicture(m_paths.shipPicture(QStringLiteral("Warbird"))));
    return;
  }
  TMDIChild* child = activeChild();
  const QString ship = child ? child->currentShip() : QString();
  if (ship.isEmpty()) return;
  const QImage picture = loadPicture(m_paths.shipPicture(ship));
  const std::optional<std::int32_t> angle = storedAngle(child, ship);
  m_multifire->setShipPicture(picture);
  if (angle) m_multifire->setAngle(*angle);
  m_multifire->edit()->setText(QString::number(m_multifire->angle()));
  m_multifire->reloadBackground();
  m_multifire->DrawMultifireLines();
}

void TMainForm::TabSheet6Show() {
  m_multifire->edit()->setText(QString::number(m_multifire->angle()));
  m_multifire->DrawMultifireLines();
}

void TMainForm::setToCurrentShip() {
  TMDIChild* child = activeChild();
  const QString ship = child ? child->currentShip() : QString();
  if (ship.isEmpty()) {
    m_prompts.message(this, QMessageBox::Information, applicationTitle(),
                      QStringLiteral("Show a ship page of a document first."));
    return;
  }
  child->setShipValue(ship, QStringLiteral("MultiFireAngle"), QString::number(m_multifire->angle()));
  RefreshShipComparison();
}

void TMainForm::addToHistory(const QString& path) { m_history->AddFile(path); }

void TMainForm::HistoryFilesClickHistoryItem(const QString& fileName) {
  if (fileName.isEmpty()) return;
  OpenDocument(fileName);
}

// ---- new documents ------------------------------------------------------------------------

void TMainForm::FileNew1Execute() { NewDocument(); }

TMDIChild* TMainForm::NewDocument() {
  const QList<TMDIChild*> docs = children();
  auto taken = [&](const QString& name) {
    for (TMDIChild* c : docs)
      if (c->fileName() == name || c->workingCopy() == m_paths.tempFile(name)) return true;
    return false;
  };
  // A new document never takes over the name, and so the working copy, of an open one.
  int number = static_cast<int>(docs.size()) + 1;
  QString name = QStringLiteral("New%1.cfg").arg(number);
  while (taken(name)) name = QStringLiteral("New%1.cfg").arg(++number);
  QString templ = m_prefs.defaultSettings();
  if (templ.isEmpty()) templ = m_paths.standardArena();
  const QString working = m_workingCopies->create(name, templ);
  TMDIChild* child = CreateDocumentWindow(name, QStringLiteral("Arena"), working, true, working);
  child->prepareOtherPage();
  child->LoadDocument(working);
  child->comboBox()->setEditText(QStringLiteral("[Select]"));
  setDocumentCommandsEnabled(true);
  child->showFileDetails();
  return child;
}

// ---- saving --------------------------------------------------------------------------------

void TMainForm::SaveDocument() {
  if (TMDIChild* child = activeChild()) child->saveWithDialog();
}

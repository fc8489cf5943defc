#include "app/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoGroup>
#include <QUndoStack>
#include <QVBoxLayout>
#include <cstdio>

#include "app/Actions.h"
#include "app/ExceptionLog.h"
#include "app/KeyMap.h"
#include "app/SidePanel.h"
#include "app/TessaryApplication.h"
#include "components/HistoryFiles.h"
#include "components/Pictures.h"
#include "components/Prompts.h"
#include "documents/ConfigModel.h"
#include "documents/DocumentWindows.h"
#include "documents/MDIChild.h"
#include "documents/Recovery.h"
#include "documents/RecoveryQuestions.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
const QString kNA = QStringLiteral("N/A");
constexpr int kSideWidth = 245;       // the side panel at start
constexpr int kSideWidthShown = 237;  // ... and when shown again
}  // namespace

TMainForm::TMainForm(const AppPaths& paths, Prompts& prompts, const QStringList& arguments, bool handOver,
                     QWidget* parent)
    : QMainWindow(parent),
      m_paths(paths),
      m_prompts(prompts),
      m_prefs(paths),
      m_arguments(arguments),
      m_startFolder(QDir::currentPath()),
      m_handOver(handOver) {
  setObjectName(QStringLiteral("TMainForm"));
  setWindowTitle(applicationTitle());
  // A fixed frame has nothing to maximise: title, system menu, minimise and close only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  m_reporter = std::make_unique<ExceptionReporter>(
      exceptionLogPath(), QFileInfo(QCoreApplication::applicationFilePath()).fileName(), &m_prompts);
  if (auto* app = TessaryApplication::instance())
    app->setExceptionHandler([this] { ApplicationEvents1Exception(); });

  m_undoGroup = new QUndoGroup(this);
  auto* central = new QWidget(this);
  m_documents = new DocumentWindows(*this, m_prompts, m_paths, central);
  m_sidePanel = new SidePanel(
      m_paths, m_prompts, [this] { return activeChild(); }, central);
  buildActions();
  buildMenus();
  buildToolBar();
  auto* grid = new QVBoxLayout(central);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  auto* middle = new QHBoxLayout();
  middle->setSpacing(0);
  m_sideWidth = m_sidePanel->openWidth(kSideWidth);
  m_sidePanel->setFixedWidth(m_sideWidth);
  middle->addWidget(m_sidePanel);
  middle->addWidget(m_documents->area(), 1);
  grid->addLayout(middle, 1);
  buildHelpPanel();
  grid->addWidget(m_helpCaption->parentWidget());
  setCentralWidget(central);
  buildStatusBar();

  connect(m_documents->area(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (m_destroying) return;
    auto* child = sub ? qobject_cast<TMDIChild*>(sub->widget()) : nullptr;
    // Undo and Redo work on the active document's history.
    if (child && !m_undoGroup->stacks().contains(child->undoStack()))
      m_undoGroup->addStack(child->undoStack());
    m_undoGroup->setActiveStack(child ? child->undoStack() : nullptr);
    if (child) child->FormActivate();
  });
  connect(m_documents, &DocumentWindows::opened, this,
          [this](TMDIChild*, const QString& path) { documentOpened(path); });

  m_timer1 = new QTimer(this);
  m_timer1->setObjectName(QStringLiteral("Timer1"));
  m_timer1->setInterval(50);
  connect(m_timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  m_timer3 = new QTimer(this);
  m_timer3->setObjectName(QStringLiteral("Timer3"));
  m_timer3->setInterval(100);
  connect(m_timer3, &QTimer::timeout, this, &TMainForm::Timer3Timer);

  try {
    FormCreate();
  } catch (...) {
    // The window still comes up; the log says which step failed.
    ApplicationEvents1Exception();
  }
  m_timer1->start();
  if (m_handOver) m_timer3->start();
}

TMainForm::~TMainForm() {
  m_windows.clear();  // while this window is still whole: they may hand it back its input
  FormDestroy();
  if (auto* app = TessaryApplication::instance()) app->setExceptionHandler({});
}

QString TMainForm::exceptionLogPath() const {
  const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  return ExceptionLog::logPathFor(m_paths.logFolder() + QLatin1Char('/') + exe);
}

QAction* TMainForm::action(const QString& objectName) const { return findChild<QAction*>(objectName); }

void TMainForm::adoptWindow(QWidget* window) { m_windows.emplace_back(window); }

void TMainForm::showStatus(const QString& text) {
  m_statusPanel->setText(text);
  m_statusPanel->setToolTip(text);
}

QString TMainForm::statusText() const { return m_statusPanel->text(); }

void TMainForm::checkDisk() { m_documents->checkDisk(); }

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
  m_sidePanel->loadStartPicture();
  m_history->LocalPath = m_paths.appFolder() + QLatin1Char('/');
  m_history->RebuildMenu();
  if (!m_handOver) return;
  // Plain text work, not QFileInfo: a name that is not UTF-8 must keep its bytes.
  QString argument = m_arguments.value(0);
  if (!argument.isEmpty())
    argument = QDir::cleanPath(QDir::isAbsolutePath(argument) ? argument
                                                              : m_startFolder + QLatin1Char('/') + argument);
  try {
    m_prefs.setExternalFile(argument);
  } catch (const TessaryError&) {
    // A preferences file that cannot be written (a read-only base/) must not keep the
    // start file closed: it is opened directly below, whatever the key holds.
  }
  if (!argument.isEmpty()) receiveHandOver(argument);
}

void TMainForm::receiveHandOver(const QString& path) {
  m_handedOver.append(path);
  QTimer::singleShot(0, this, &TMainForm::openHandedOver);
}

void TMainForm::openHandedOver() {
  // One at a time, never inside a pickup that shows a box: come back after it.
  if (m_pickingUp || m_destroying) {
    if (!m_destroying) QTimer::singleShot(100, this, &TMainForm::openHandedOver);
    return;
  }
  m_pickingUp = true;
  const auto done = qScopeGuard([this] { m_pickingUp = false; });
  while (!m_handedOver.isEmpty()) {
    const QString path = m_handedOver.takeFirst();
    // A later copy writes the key and sends the name: whichever comes first opens it.
    bool keyNamesIt = false;
    try {
      keyNamesIt = m_prefs.exists() && m_prefs.externalFile() == path;
      if (keyNamesIt) m_prefs.setExternalFile(QString());
    } catch (const TessaryError&) {
      // Preferences that cannot be read or written keep no file from opening:
      // it opens here, and a key that still names it is not picked up again.
      if (keyNamesIt) m_uncleared = path;
    }
    if (m_handedOver.takeOpenedByKey(path)) continue;
    OpenDocument(path);
  }
}

void TMainForm::offerRecovery() {
  // A window of the program's own that holds the main window's input (the Options
  // dialog of a first start) owns the questions and has the input again after them.
  QWidget* owner = this;
  for (const auto& w : m_windows)
    if (w->isVisible() && !isEnabled()) owner = w.get();
  const Recovery::Scan found = Recovery::scan(m_paths.temp());
  if (!found.skipped.isEmpty()) {
    // Told, never acted on: another user's, a link, a pipe, a name that is no plain file name.
    const QString text = QStringLiteral(
                             "%1 record(s) of unsaved changes in %2 were skipped: they are not "
                             "safely yours to recover.")
                             .arg(found.skipped.size())
                             .arg(m_paths.temp());
    showStatus(text);
    m_statusPanel->setToolTip(text + QLatin1Char('\n') + found.skipped.join(QLatin1Char('\n')));
    for (const QString& line : found.skipped) std::fprintf(stderr, "skipped: %s\n", qPrintable(line));
  }
  if (found.records.isEmpty()) return;
  const auto giveBack = qScopeGuard([owner] {
    owner->raise();
    owner->activateWindow();
  });
  RecoveryQuestions::ask(m_prompts, owner, found.records,
                         [this](const Recovery::Record& record, bool recover) {
                           try {
                             if (recover) {
                               m_documents->recover(record);
                               setDocumentCommandsEnabled(true);
                             } else {
                               m_documents->discard(record);
                             }
                           } catch (...) {
                             ApplicationEvents1Exception();
                           }
                         });
}

void TMainForm::endWithoutQuestions() {
  m_documents->keepUnsavedWorkingCopies();
  // exit(), not quit(): it also ends a box that is open (every event loop stops).
  QCoreApplication::exit(0);
}

bool TMainForm::restartInto(const QString& executable) {
  if (!close()) return false;  // a question about unsaved edits was cancelled
  m_restartExecutable = executable;
  // Other windows (the Options dialog) may still show: the program ends all the same.
  QCoreApplication::exit(0);
  return true;
}

void TMainForm::FormDestroy() {
  if (m_destroying) return;
  m_destroying = true;
  m_timer1->stop();
  m_timer3->stop();
  // Documents go without questions here: the program is ending.
  m_documents->destroyAll();
}

void TMainForm::closeEvent(QCloseEvent* e) {
  if (!m_documents->confirmExit()) {
    e->ignore();
    return;
  }
  e->accept();
}

void TMainForm::ApplicationEvents1Exception() { m_reporter->reportCurrent(); }

// ---- timers and command states ------------------------------------------------------------

void TMainForm::setDocumentCommandsEnabled(bool enabled) {
  for (const char* name : {Command::FileClose1, "Save1", "SaveAsButton", "CloseAll1", Command::CompareWith1})
    action(QString::fromLatin1(name))->setEnabled(enabled);
}

void TMainForm::enableWindowButtons() {
  for (const char* name :
       {Command::WindowCascade1, "CloseAll1", "WindowMinimizeAll1", "WindowArrangeAll1", "WindowTile1"})
    action(QString::fromLatin1(name))->setEnabled(true);
}

void TMainForm::updateWindowCommands() {
  const bool any = !m_documents->isEmpty();
  for (const char* name : {Command::WindowCascade1, "WindowTile1", "WindowMinimizeAll1", "WindowArrangeAll1"})
    action(QString::fromLatin1(name))->setEnabled(any);
  action(Command::FileClose1)->setEnabled(activeChild() != nullptr);
}

void TMainForm::Timer1Timer() {
  updateWindowCommands();
  if (!m_documents->isEmpty()) return;
  m_sidePanel->showFileDetails(QStringLiteral("Last Modified: N/A"), QStringLiteral("Owner: N/A"));
  setDocumentCommandsEnabled(false);
}

void TMainForm::Timer3Timer() {
  // A pickup can show a box (an error), during which ticks still arrive.
  if (m_pickingUp) return;
  QString name;
  try {
    if (!m_prefs.exists()) return;
    name = m_prefs.externalFile();
  } catch (const TessaryError&) {
    return;  // unreadable for now (held, or not a file): the next tick looks again
  }
  if (name == m_uncleared) return;
  m_uncleared.clear();  // emptied since, or it names another file now
  if (name.isEmpty() || name == kNA) return;
  m_pickingUp = true;
  const auto done = qScopeGuard([this] { m_pickingUp = false; });
  // Emptied first, so a name that fails to open is not tried again at every tick;
  // a key that cannot be emptied opens its file once, not at every tick.
  try {
    m_prefs.setExternalFile(QString());
  } catch (const TessaryError&) {
    m_uncleared = name;
  }
  // The same hand-over may still arrive through the socket: it is then not opened twice.
  m_handedOver.openedByKey(name);
  OpenDocument(name);
}

// ---- documents -----------------------------------------------------------------------------

TMDIChild* TMainForm::activeChild() const { return m_documents->active(); }
QList<TMDIChild*> TMainForm::documents() const { return m_documents->documents(); }
QMdiArea* TMainForm::mdiArea() const { return m_documents->area(); }

TMDIChild* TMainForm::OpenDocument(const QString& path) { return m_documents->open(path); }

void TMainForm::documentOpened(const QString& path) {
  m_history->AddFile(path);
  setDocumentCommandsEnabled(true);
  RefreshMultifirePreview(QStringLiteral("Warbird"), false);
}

void TMainForm::FileOpen1Execute() {
  // Not in the program's current folder (base/temp/): it holds working copies.
  const std::optional<QString> name =
      m_prompts.openFile(this, QStringLiteral("Open"), QStringLiteral("Arena Config (*.cfg)"),
                         m_prefs.dialogFolder(m_openDialogName) + QLatin1Char('/'));
  if (!name || name->isEmpty()) {
    m_prompts.message(this, QMessageBox::Information, applicationTitle(), QStringLiteral("No File Loaded!"));
    return;
  }
  m_openDialogName = *name;
  OpenDocument(*name);
}

void TMainForm::FileNew1Execute() { NewDocument(); }

TMDIChild* TMainForm::NewDocument() {
  const QString templ = m_prefs.defaultSettings();
  TMDIChild* child = m_documents->newDocument(templ.isEmpty() ? m_paths.standardArena() : templ);
  setDocumentCommandsEnabled(true);
  return child;
}

void TMainForm::HistoryFilesClickHistoryItem(const QString& fileName) {
  if (!fileName.isEmpty()) OpenDocument(fileName);
}

void TMainForm::allDocumentsClosed() {
  m_sidePanel->reset();
  setDocumentCommandsEnabled(false);
}

void TMainForm::FileClose1Execute() {
  if (m_documents->closeActive() && m_documents->isEmpty()) m_sidePanel->reset();
}

void TMainForm::CloseAll1Execute() {
  if (m_documents->closeAll()) allDocumentsClosed();
}

void TMainForm::SaveDocument() {
  if (TMDIChild* child = activeChild()) child->saveWithDialog();
}

void TMainForm::WindowArrangeAll1Execute() { m_documents->restoreAll(); }

void TMainForm::ToolButton13Click() {
  QAction* toggle = action(Command::SideToggle);
  const bool hide = m_sidePanel->width() > 0;
  m_sidePanel->setFixedWidth(hide ? 0 : m_sidePanel->openWidth(kSideWidthShown));
  toggle->setIcon(Pictures::main(hide ? Picture::ShowSidePanel : Picture::HideSidePanel));
  const QString hint = hide ? QStringLiteral("Show ToolBar") : QStringLiteral("Hide ToolBar");
  toggle->setToolTip(hint);
  toggle->setStatusTip(hint);
}

// ---- side panel and help strip, for the document windows ----------------------------------

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
  const int r = std::max(child->comparedRow(), 0);
  QStringList values;
  for (int i = 0; i < Ships::kCount; ++i) values.append(child->shipList(i)->value(r));
  m_sidePanel->showComparison(values, child->shipList(Ships::kCount - 1)->name(r));
}

void TMainForm::resetComparisonValues() {
  if (!m_destroying) m_sidePanel->resetComparisonValues();
}

void TMainForm::showFileDetails(const QString& lastModified, const QString& owner) {
  m_sidePanel->showFileDetails(lastModified, owner);
}

void TMainForm::showLastModified(const QString& lastModified) { m_sidePanel->showLastModified(lastModified); }

void TMainForm::RefreshMultifirePreview(const QString& ship, bool loadPicture) {
  m_sidePanel->RefreshMultifirePreview(ship, loadPicture);
}

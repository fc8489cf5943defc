#include "tests/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QProcessEnvironment>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "prefs/Preferences.h"

std::optional<QString> ScriptedPrompts::openFile(QWidget*, const QString& title, const QString& filter,
                                                 const QString& start) {
  asked.push_back({QStringLiteral("open"), title, start, filter});
  if (openAnswers.empty()) return std::nullopt;
  auto a = openAnswers.front();
  openAnswers.pop_front();
  return a;
}

std::optional<QString> ScriptedPrompts::saveFile(QWidget*, const QString& title, const QString&,
                                                 const QString& proposed) {
  asked.push_back({QStringLiteral("save"), title, proposed, {}});
  if (saveAnswers.empty()) return std::nullopt;
  auto a = saveAnswers.front();
  saveAnswers.pop_front();
  return a;
}

std::optional<QString> ScriptedPrompts::pickFolder(QWidget*, const QString& title, const QString& start) {
  asked.push_back({QStringLiteral("folder"), title, start, {}});
  if (folderAnswers.empty()) return std::nullopt;
  auto a = folderAnswers.front();
  folderAnswers.pop_front();
  return a;
}

std::optional<QString> ScriptedPrompts::askText(QWidget*, const QString& title, const QString& label,
                                                const QString& value) {
  asked.push_back({QStringLiteral("text"), title, label, value});
  if (textAnswers.empty()) return std::nullopt;
  auto a = textAnswers.front();
  textAnswers.pop_front();
  return a;
}

QMessageBox::StandardButton ScriptedPrompts::message(QWidget*, QMessageBox::Icon, const QString& title,
                                                     const QString& text, QMessageBox::StandardButtons) {
  asked.push_back({QStringLiteral("message"), title, text, {}});
  if (duringMessage) duringMessage(text);
  if (messageAnswers.empty()) return QMessageBox::Ok;
  auto a = messageAnswers.front();
  messageAnswers.pop_front();
  return a;
}

QStringList ScriptedPrompts::messages() const {
  QStringList out;
  for (const Asked& a : asked)
    if (a.kind == QStringLiteral("message")) out.append(a.text);
  return out;
}

MainWindowFixture::MainWindowFixture(const QStringList& args, bool freshPreferences) {
  // A storage folder set, as after the first start: no start-up warning, no Options dialog.
  if (!freshPreferences) Preferences(app.paths()).setStorageFolder(app.path(QStringLiteral("storage")));
  QDir().mkpath(app.path(QStringLiteral("storage")));
  form = TessaryApp::createWindows(app.paths(), prompts, args);
  form->show();
  form->activateWindow();
  QApplication::setActiveWindow(form.get());
  (void)QTest::qWaitForWindowActive(form.get(), 5000);
}

MainWindowFixture::~MainWindowFixture() {
  form.reset();
  QDir::setCurrent(QDir::tempPath());
}

TMDIChild* MainWindowFixture::active() const { return form->activeChild(); }

ReportList* MainWindowFixture::shipList(TMDIChild* child, const QString& ship) const {
  return child->findChild<ReportList*>(ship + QStringLiteral("List"));
}

void MainWindowFixture::focusAndSelect(ReportList* list, int row) const {
  list->setFocus(Qt::MouseFocusReason);
  list->clearSelection();
  list->selectRow(row);
}

void clickCloseBox(QMdiSubWindow* sub) {
  QStyleOptionTitleBar option;
  option.initFrom(sub);
  option.subControls = QStyle::SC_TitleBarCloseButton;
  option.titleBarFlags = sub->windowFlags();
  option.titleBarState = sub->windowState();
  option.rect = QRect(0, 0, sub->width(), sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub));
  const QRect box =
      sub->style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarCloseButton, sub);
  // The window tracks which title-bar button the pointer is over; press only counts there.
  QTest::mouseMove(sub, box.center());
  QMouseEvent move(QEvent::MouseMove, box.center(), sub->mapToGlobal(box.center()), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(sub, &move);
  QTest::mouseClick(sub, Qt::LeftButton, {}, box.center());
}

QString executableFile(const QString& stem) {
#ifdef _WIN32
  return stem + QStringLiteral(".exe");
#else
  return stem;
#endif
}

#ifdef _WIN32
static constexpr char kRuntimeVariable[] = "LOCALAPPDATA";
#else
static constexpr char kRuntimeVariable[] = "XDG_RUNTIME_DIR";
#endif

static QString runtimeVariableOf(const TempApp& app) {
  return QDir::toNativeSeparators(app.path(QStringLiteral("run")));
}

RuntimeFolder::RuntimeFolder(const TempApp& app)
    : m_guard(kRuntimeVariable, runtimeVariableOf(app).toLocal8Bit()),
#ifdef _WIN32
      m_folder(app.path(QStringLiteral("run/Tessary"))) {
#else
      m_folder(app.path(QStringLiteral("run"))) {
#endif
  QDir().mkpath(m_folder);
  QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void RuntimeFolder::addTo(QProcessEnvironment& env, const TempApp& app) {
  env.insert(QString::fromLatin1(kRuntimeVariable), runtimeVariableOf(app));
}

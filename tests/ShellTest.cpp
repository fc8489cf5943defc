// The main window as a user meets it: keys, dialogs that take the focus, the
// status bar, where document windows appear, the windows around it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "app/CommandLine.h"
#include "app/ExceptionLog.h"
#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "components/HistoryFiles.h"
#include "documents/DocumentHost.h"
#include "documents/DocumentWindows.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "prefs/Preferences.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"
#include "tools/MultifirePreview.h"
#include "tools/MultifireTool.h"

namespace {
const QByteArray kArena =
    "[Warbird]\nAfterburnerEnergy=1\nBulletSpeed=2000\nCloakEnergy=5\n"
    "[Javelin]\nAfterburnerEnergy=2\nBulletSpeed=2100\nCloakEnergy=6\n";

QString statusPanel(TMainForm* form) {
  return form->findChild<QLabel*>(QStringLiteral("StatusPanel"))->text();
}
}  // namespace

TEST(Shell, AnEditThroughARealEditBoxShowsTheEditedSettingInTheComparison) {
  // The real dialog: it takes the focus from the list and gives it back later.
  TempApp app;
  QtPrompts real;
  Preferences(app.paths()).setStorageFolder(app.path(QString()));  // no start-up warning to answer
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), real, {});
  form->show();
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 5000));
  TMDIChild* doc = form->OpenDocument(app.file(QStringLiteral("a.cfg"), kArena));
  ReportList* warbird = doc->shipList(0);
  const int row = warbird->rowOf(QStringLiteral("CloakEnergy"));
  warbird->setFocus(Qt::MouseFocusReason);
  warbird->selectRow(row);
  bool answered = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      EXPECT_EQ(box->windowTitle(), QStringLiteral("Edit Setting"));
      box->setTextValue(QStringLiteral("777"));
      box->accept();
      answered = true;
    }
  });
  poll.start(20);
  QTest::keyClick(warbird, Qt::Key_Return);  // Enter opens the edit box, as a double click does
  poll.stop();
  ASSERT_TRUE(answered);
  EXPECT_EQ(warbird->value(row), QStringLiteral("777"));
  auto* comparisons = form->findChild<QTreeWidget*>(QStringLiteral("ShipComparisons"));
  EXPECT_EQ(comparisons->topLevelItem(0)->text(1), QStringLiteral("777"));
  EXPECT_EQ(comparisons->topLevelItem(1)->text(1), QStringLiteral("6"));
  EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("SettingValue"))->text(), QStringLiteral("CloakEnergy"));
}

TEST(Shell, EnterOnARowOpensTheEditBoxAndNothingWithoutARow) {
  MainWindowFixture fx;
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), kArena));
  ReportList* list = doc->shipList(1);
  list->setFocus(Qt::OtherFocusReason);
  list->clearSelection();
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_TRUE(fx.prompts.asked.empty());
  fx.focusAndSelect(list, list->rowOf(QStringLiteral("BulletSpeed")));
  fx.prompts.textAnswers.push_back(QStringLiteral("2200"));
  QTest::keyClick(list, Qt::Key_Enter);
  ASSERT_EQ(fx.prompts.asked.size(), 1u);
  EXPECT_EQ(fx.prompts.asked[0].title, QStringLiteral("Edit Setting"));
  EXPECT_TRUE(readBytes(doc->workingCopy()).contains("BulletSpeed=2200"));
}

TEST(Shell, TheFrameIsFixedAndTheStatusBarCarriesHintsAndReasons) {
  MainWindowFixture fx;
  EXPECT_FALSE(fx.form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(fx.form->findChild<QToolBar*>(QStringLiteral("ToolBar1"))->height(), 33);
  auto* panel = fx.form->findChild<QLabel*>(QStringLiteral("StatusPanel"));
  EXPECT_EQ(panel->width(), 500);
  // No template set: the new document is empty, and the status bar says why.
  TMDIChild* doc = fx.form->NewDocument();
  EXPECT_EQ(doc->shipList(0)->rowCount(), 0);
  EXPECT_TRUE(statusPanel(fx.form.get()).contains(QStringLiteral("no template")))
      << statusPanel(fx.form.get()).toStdString();
  fx.form->OpenDocument(fx.app.path(QStringLiteral("missing.cfg")));
  EXPECT_TRUE(statusPanel(fx.form.get()).contains(QStringLiteral("does not exist")));
  // A list's hint reaches the status bar.
  ReportList* list = doc->shipList(2);
  EXPECT_EQ(list->statusTip(), QStringLiteral("Select to View Ship Comparisons/Help. Double Click to Edit."));
  QStatusTipEvent tip(list->statusTip());
  QApplication::sendEvent(list, &tip);
  EXPECT_EQ(fx.form->statusBar()->currentMessage(), list->statusTip());
}

TEST(Shell, NewWindowsCascadeFromTheTopLeft) {
  MainWindowFixture fx;
  TMDIChild* a = fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), kArena));
  TMDIChild* b = fx.form->OpenDocument(fx.app.file(QStringLiteral("b.cfg"), kArena));
  const QPoint pa = a->parentWidget()->pos();
  const QPoint pb = b->parentWidget()->pos();
  EXPECT_EQ(pa, QPoint(0, 0));
  EXPECT_GT(pb.x(), pa.x());
  EXPECT_GT(pb.y(), pa.y());
  EXPECT_LT(pb.x(), 60);
  EXPECT_LT(pb.y(), 60);
}

namespace {
class SilentHost : public DocumentHost {
 public:
  void enableWindowButtons() override {}
  void ShowSettingHelp(const QString&, const QString&) override {}
  void RefreshShipComparison() override {}
  void resetComparisonValues() override {}
  void showFileDetails(const QString&, const QString&) override {}
  void showLastModified(const QString&) override {}
  void RefreshMultifirePreview(const QString&, bool) override {}
  QString openDialogFileName() const override { return {}; }
  void reportException() override {}
  void showStatus(const QString&) override {}
};
}  // namespace

TEST(Shell, TiledWindowsHideNoneWhereTheAreaAllows) {
  TempApp app;
  ScriptedPrompts prompts;
  SilentHost host;
  QWidget holder;
  DocumentWindows windows(host, prompts, app.paths(), &holder);
  windows.area()->setParent(&holder);
  holder.resize(1500, 900);
  windows.area()->setGeometry(0, 0, 1500, 900);
  holder.show();
  for (const char* name : {"a.cfg", "b.cfg", "c.cfg"})
    windows.open(app.file(QString::fromLatin1(name), kArena));
  windows.tile();
  const QList<QMdiSubWindow*> subs = windows.area()->subWindowList();
  ASSERT_EQ(subs.size(), 3);
  for (int i = 0; i < subs.size(); ++i) {
    EXPECT_TRUE(windows.area()->viewport()->rect().contains(subs[i]->geometry())) << i;
    for (int j = i + 1; j < subs.size(); ++j)
      EXPECT_FALSE(subs[i]->geometry().intersects(subs[j]->geometry())) << i << " and " << j;
  }
}

TEST(Shell, TheMultifireToolDrawsItsLinesFromTheStart) {
  TForm2 tool;
  const QImage picture = tool.view()->picture();
  int red = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
    }
  EXPECT_GT(red, 20);  // at angle 0 the red line lies over the blue one
}

TEST(Shell, ARecentFilesEntryOfBlanksIsRemovedAndTheRestMoveUp) {
  TempApp app;
  ScriptedPrompts prompts;
  QMenu menu;
  for (int i = 1; i <= 5; ++i) menu.addAction(QStringLiteral("File%1").arg(i))->setVisible(false);
  THistoryFiles history(&prompts);
  history.MaxItems = 10;
  history.setParentMenu(&menu);
  history.setPosition(5);
  history.FileMustExist = true;
  const QString a = app.file(QStringLiteral("a.cfg"), "[A]\n");
  const QString b = app.file(QStringLiteral("b.cfg"), "[A]\n");
  app.file(QStringLiteral("xdg-config/tessary/History.ini"),
           "[History Files]\n1=" + a.toUtf8() + "\n2=   \n3=" + b.toUtf8() + "\n");
  history.RebuildMenu();
  EXPECT_EQ(history.fileNames(), (QStringList{a, b}));
  EXPECT_EQ(ProfileFile::readText(QStringLiteral("History.ini"), QStringLiteral("History Files"),
                                  QStringLiteral("2")),
            b);
}

TEST(Shell, TheExceptionRecordsTimeCarriesNoTimeZone) {
  const QDateTime now = QDateTime::currentDateTime();
  const QString first =
      ExceptionLog::buildRecord({}, QStringLiteral("tessary"), now).split(QStringLiteral("\r\n"))[0];
  ASSERT_FALSE(now.timeZoneAbbreviation().isEmpty());
  EXPECT_FALSE(first.contains(now.timeZoneAbbreviation())) << first.toStdString();
  EXPECT_FALSE(first.endsWith(QLatin1Char(' ')));
}

TEST(Shell, MenuEntriesOpenTheirWindowsWhenClicked) {
  MainWindowFixture fx;
  auto clickEntry = [&](const QString& menuText, const QString& entryText) {
    QMenu* menu = nullptr;
    for (QAction* top : fx.form->menuBar()->actions())
      if (top->text().remove(QLatin1Char('&')) == menuText) menu = top->menu();
    if (!menu) return false;
    menu->popup(fx.form->mapToGlobal(QPoint(10, 10)));
    if (!QTest::qWaitForWindowExposed(menu, 5000)) return false;
    for (QAction* entry : menu->actions())
      if (entry->text().remove(QLatin1Char('&')) == entryText && entry->isVisible()) {
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        return true;
      }
    menu->hide();
    return false;
  };
  ASSERT_TRUE(clickEntry(QStringLiteral("Tools"), QStringLiteral("Multifire Tool")));
  auto* tool = fx.form->findChild<TForm2*>();
  ASSERT_NE(tool, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return tool->isVisible(); }, 5000));
  ASSERT_TRUE(clickEntry(QStringLiteral("Help"), QStringLiteral("About")));
  auto* about = fx.form->findChild<QWidget*>(QStringLiteral("TAboutBox"));
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return about->isVisible(); }, 5000));
  about->close();
  tool->close();
}

TEST(Shell, TheMultifireToolShowsItsHelpWholeWithoutAScrollBar) {
  TForm2 tool;
  tool.show();
  auto* help = tool.findChild<QLabel*>(QStringLiteral("Memo"));
  ASSERT_NE(help, nullptr);
  const QFontMetrics metrics(help->font());
  EXPECT_GE(help->height(), 4 * metrics.lineSpacing());
  for (const QString& line : multifireHelpText().split(QLatin1Char('\n')))
    EXPECT_LE(metrics.horizontalAdvance(line), help->contentsRect().width()) << line.toStdString();
  EXPECT_TRUE(tool.rect().contains(help->geometry()));
  EXPECT_TRUE(tool.rect().contains(tool.view()->geometry()));
}

TEST(Shell, TheCommandLineIsReadAsItsUsageSays) {
  const CommandLine shot = CommandLine::parse({QStringLiteral("--screenshot"), QStringLiteral("/tmp/a.png"),
                                               QStringLiteral("--side-page"), QStringLiteral("Tools"),
                                               QStringLiteral("caf\xDCE9.cfg")});
  EXPECT_TRUE(shot.error.isEmpty()) << shot.error.toStdString();
  EXPECT_EQ(shot.screenshot, QStringLiteral("/tmp/a.png"));
  EXPECT_EQ(shot.sidePage, QStringLiteral("Tools"));
  EXPECT_EQ(shot.config,
            QStringLiteral("caf\xDCE9.cfg"));  // a name that is not UTF-8 keeps its stand-in characters
  EXPECT_FALSE(CommandLine::parse({QStringLiteral("--bogus")}).error.isEmpty());
  EXPECT_FALSE(CommandLine::parse({QStringLiteral("--screenshot")}).error.isEmpty());
  EXPECT_TRUE(CommandLine::parse({QStringLiteral("-h")}).help);
  EXPECT_TRUE(CommandLine::parse({QStringLiteral("--version")}).version);
  const CommandLine plain = CommandLine::parse({QStringLiteral("arena.cfg")});
  EXPECT_EQ(plain.config, QStringLiteral("arena.cfg"));
  EXPECT_TRUE(plain.screenshot.isEmpty());
  // Qt's own options are the toolkit's: their values are not taken for the arena.
  const CommandLine withQt = CommandLine::parse({QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                 QStringLiteral("-reverse"), QStringLiteral("arena.cfg")});
  EXPECT_TRUE(withQt.error.isEmpty()) << withQt.error.toStdString();
  EXPECT_EQ(withQt.config, QStringLiteral("arena.cfg"));
}

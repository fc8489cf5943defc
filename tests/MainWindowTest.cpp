#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/AtomicFile.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena =
    "[Misc]\nA=1\n"
    "[warbird]\nZeta=1\nalpha=2\nBeta=3\nOnlyWarbird=7\n"
    "[Javelin]\nZeta=10\nalpha=20\nBeta=\nJavOnly=5\n"
    "[Spider]\nZeta=100\n"
    "[Shark]\nZETA=41\nBeta=43\nalpha=42\nBETA=44\n"
    "[Owner]\nName=Tester\n"
    "[Team Settings]\nX=1\n";

QStringList column(const ReportList* list, int c) {
  QStringList out;
  for (int r = 0; r < list->rowCount(); ++r) out.append(c == 0 ? list->name(r) : list->value(r));
  return out;
}

QStringList comboItems(QComboBox* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out.append(box->itemText(i));
  return out;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  QLabel* label(const char* name) { return fx.form->findChild<QLabel*>(QString::fromLatin1(name)); }
  TMDIChild* openWithF3(const QString& path) {
    fx.prompts.openAnswers.push_back(path);
    QTest::keyClick(fx.form.get(), Qt::Key_F3);
    return fx.active();
  }
};
}  // namespace

TEST_F(MainWindowTest, OpenShowsWarbirdRowsOnEveryShipPageAndOtherSections) {
  const QString path = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
  TMDIChild* doc = openWithF3(path);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->windowTitle(), QStringLiteral("arena.cfg[*]"));
  EXPECT_TRUE(doc->pages()->isVisible());
  // A lower-case "warbird" section supplies the rows, sorted without regard to case.
  const QStringList rows = {QStringLiteral("alpha"), QStringLiteral("Beta"), QStringLiteral("OnlyWarbird"),
                            QStringLiteral("Zeta")};
  for (const QString& ship : {QStringLiteral("Warbird"), QStringLiteral("Javelin"), QStringLiteral("Shark")})
    EXPECT_EQ(column(fx.shipList(doc, ship), 0), rows) << ship.toStdString();
  EXPECT_EQ(
      column(fx.shipList(doc, QStringLiteral("Warbird")), 1),
      (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("7"), QStringLiteral("1")}));
  // Keys a ship lacks show empty; keys only other ships hold are not shown.
  EXPECT_EQ(column(fx.shipList(doc, QStringLiteral("Javelin")), 1),
            (QStringList{QStringLiteral("20"), QString(), QString(), QStringLiteral("10")}));
  EXPECT_EQ(column(fx.shipList(doc, QStringLiteral("Spider")), 1),
            (QStringList{QString(), QString(), QString(), QStringLiteral("100")}));
  // In another order and another letter case, and with a key repeated: the first one counts.
  EXPECT_EQ(column(fx.shipList(doc, QStringLiteral("Shark")), 1),
            (QStringList{QStringLiteral("42"), QStringLiteral("43"), QString(), QStringLiteral("41")}));
  // Non-ship sections, the lower-case one and the one with a blank included, sorted.
  EXPECT_EQ(comboItems(doc->comboBox()),
            (QStringList{QStringLiteral("Misc"), QStringLiteral("Owner"), QStringLiteral("Team Settings"),
                         QStringLiteral("warbird")}));
  EXPECT_EQ(doc->comboBox()->currentText(), QStringLiteral("[Select]"));
  EXPECT_TRUE(doc->comboBox()->isEnabled());
  EXPECT_EQ(doc->filePath(), path);
  EXPECT_EQ(readBytes(fx.app.paths().tempFile(QStringLiteral("arena.cfg"))), kArena);
  EXPECT_EQ(label("Owner")->text(), QStringLiteral("Owner: Tester"));
  EXPECT_TRUE(label("LastModified")->text().startsWith(QStringLiteral("Last Modified: ")));
  EXPECT_NE(label("LastModified")->text(), QStringLiteral("Last Modified: N/A"));
}

TEST_F(MainWindowTest, FileWithoutWarbirdShowsEmptyShipPages) {
  TMDIChild* doc = openWithF3(fx.app.file(QStringLiteral("b.cfg"), "[Javelin]\nA=1\n[Bullet]\nB=2\n"));
  ASSERT_NE(doc, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(doc->shipList(i)->rowCount(), 0);
  EXPECT_EQ(comboItems(doc->comboBox()), QStringList{QStringLiteral("Bullet")});
}

TEST_F(MainWindowTest, CancelledOpenSaysNoFileLoaded) {
  QTest::keyClick(fx.form.get(), Qt::Key_F3);
  EXPECT_EQ(fx.prompts.messages(), QStringList{QStringLiteral("No File Loaded!")});
  EXPECT_EQ(fx.active(), nullptr);
}

TEST_F(MainWindowTest, FileDetailsFollowTheActiveWindow) {
  TMDIChild* first = openWithF3(fx.app.file(QStringLiteral("a/one.cfg"), "[Owner]\nName=Alice\n"));
  TMDIChild* second = openWithF3(fx.app.file(QStringLiteral("b/two.cfg"), "[Warbird]\nA=1\n"));
  ASSERT_NE(first, second);
  EXPECT_EQ(label("Owner")->text(), QStringLiteral("Owner: N/A"));
  fx.form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
  EXPECT_EQ(label("Owner")->text(), QStringLiteral("Owner: Alice"));
}

TEST_F(MainWindowTest, SameFileNameGetsItsOwnWorkingCopy) {
  TMDIChild* a = openWithF3(fx.app.file(QStringLiteral("x/arena.cfg"), "[Warbird]\nA=1\n"));
  TMDIChild* b = openWithF3(fx.app.file(QStringLiteral("y/arena.cfg"), "[Warbird]\nA=2\n"));
  TMDIChild* c = openWithF3(fx.app.file(QStringLiteral("x/arena.cfg"), "[Warbird]\nA=1\n"));
  EXPECT_EQ(a->workingCopy(), fx.app.paths().tempFile(QStringLiteral("arena.cfg")));
  EXPECT_EQ(b->workingCopy(), fx.app.paths().tempFile(QStringLiteral("arena (2).cfg")));
  EXPECT_EQ(c->workingCopy(), fx.app.paths().tempFile(QStringLiteral("arena (3).cfg")));
  EXPECT_EQ(readBytes(a->workingCopy()), QByteArray("[Warbird]\nA=1\n"));
  EXPECT_EQ(readBytes(b->workingCopy()), QByteArray("[Warbird]\nA=2\n"));
}

TEST_F(MainWindowTest, CommandsFollowTheDocuments) {
  QAction* save = fx.form->action(QStringLiteral("Save1"));
  QAction* close = fx.form->action(QStringLiteral("FileClose1"));
  QAction* closeAll = fx.form->action(QStringLiteral("CloseAll1"));
  QAction* cascade = fx.form->action(QStringLiteral("WindowCascade1"));
  EXPECT_FALSE(save->isEnabled());
  EXPECT_FALSE(closeAll->isEnabled());
  EXPECT_FALSE(cascade->isEnabled());
  TMDIChild* doc = openWithF3(fx.app.file(QStringLiteral("a.cfg"), kArena));
  EXPECT_TRUE(save->isEnabled());
  EXPECT_TRUE(close->isEnabled());
  EXPECT_TRUE(closeAll->isEnabled());
  EXPECT_TRUE(cascade->isEnabled());
  // Closing the last window with its close box: the timer disables the rest.
  qobject_cast<QMdiSubWindow*>(doc->parentWidget())->close();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !save->isEnabled() && !closeAll->isEnabled() && !cascade->isEnabled(); }, 5000));
  EXPECT_EQ(label("Owner")->text(), QStringLiteral("Owner: N/A"));
  EXPECT_EQ(label("LastModified")->text(), QStringLiteral("Last Modified: N/A"));
}

TEST_F(MainWindowTest, KeyMapFollowsTheMenuIncludingHiddenAndDisabledOwners) {
  QTest::keyClick(fx.form.get(), Qt::Key_F2);  // owned by the disabled "New Server"
  EXPECT_TRUE(fx.form->documents().isEmpty());
  EXPECT_TRUE(fx.prompts.asked.empty());
  QTest::keyClick(fx.form.get(), Qt::Key_F9);  // hidden "CFG Validation"
  auto* validation = fx.form->adopted<QDialog>(QStringLiteral("TForm3"));
  ASSERT_NE(validation, nullptr);
  EXPECT_TRUE(validation->isVisible());
  validation->close();
  QTest::keyClick(fx.form.get(), Qt::Key_F1);  // "&New"
  EXPECT_EQ(fx.form->documents().size(), 1);
}

TEST_F(MainWindowTest, CtrlXInATextFieldEndsTheProgram) {
  TMDIChild* doc = openWithF3(fx.app.file(QStringLiteral("a.cfg"), kArena));
  doc->pages()->setCurrentIndex(8);
  QLineEdit* edit = doc->comboBox()->lineEdit();
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fx.form->isVisible(); }, 5000));
  EXPECT_EQ(doc->comboBox()->currentText(), QStringLiteral("[Select]"));  // not cut
}

TEST_F(MainWindowTest, SidePanelShowsEveryTextWholeAndComesBackAtItsWidth) {
  QWidget* panel = fx.form->findChild<QWidget*>(QStringLiteral("SidePanel"));
  EXPECT_GE(panel->width(), 245);  // the panel's own width, or more where the fonts need it
  const int shown = panel->width();
  auto* pages = panel->findChild<QTabWidget*>(QStringLiteral("SidePages"));
  for (int i = 0; i < pages->count(); ++i) {
    const QRect tab = pages->tabBar()->tabRect(i);
    EXPECT_LE(tab.right(), pages->width()) << i;
    EXPECT_GE(tab.width(), pages->tabBar()->fontMetrics().horizontalAdvance(pages->tabText(i)) + 14) << i;
  }
  auto* comparisons = panel->findChild<QTreeWidget*>(QStringLiteral("ShipComparisons"));
  for (const char* ship : {"Leviathan", "Lancaster"})
    EXPECT_GE(comparisons->columnWidth(0),
              comparisons->fontMetrics().horizontalAdvance(QString::fromLatin1(ship)) +
                  comparisons->iconSize().width())
        << ship;
  // The Tools page: the preview frame and the four help lines fit.
  pages->setCurrentIndex(2);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return panel->findChild<QWidget*>(QStringLiteral("PreviewFrame"))->isVisible(); }, 5000));
  auto* frame = panel->findChild<QWidget*>(QStringLiteral("PreviewFrame"));
  EXPECT_LE(frame->mapTo(panel, QPoint(frame->width(), 0)).x(), panel->width());
  auto* help = panel->findChild<QLabel*>(QStringLiteral("MultifireHelp"));
  EXPECT_GE(help->height(), help->sizeHint().height());
  EXPECT_LE(help->mapTo(panel, QPoint(help->sizeHint().width(), 0)).x(), panel->width());

  QAction* toggle = fx.form->findChild<QAction*>(QStringLiteral("SideToggle"));
  toggle->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->width() == 0; }, 5000));
  EXPECT_EQ(toggle->toolTip(), QStringLiteral("Show ToolBar"));
  toggle->trigger();
  // Back at its 237, or at the width the texts need.
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->width() == std::max(237, shown); }, 5000))
      << panel->width();
  EXPECT_EQ(toggle->toolTip(), QStringLiteral("Hide ToolBar"));
}

TEST_F(MainWindowTest, MinimizeAllThenMaximizeAllRestoresSizes) {
  openWithF3(fx.app.file(QStringLiteral("a.cfg"), kArena));
  openWithF3(fx.app.file(QStringLiteral("b.cfg"), kArena));
  const QList<QMdiSubWindow*> subs = fx.form->mdiArea()->subWindowList();
  const QSize size = subs.first()->size();
  fx.form->action(QStringLiteral("WindowMinimizeAll1"))->trigger();
  for (QMdiSubWindow* s : subs) EXPECT_TRUE(s->isMinimized());
  fx.form->action(QStringLiteral("WindowArrangeAll1"))->trigger();
  for (QMdiSubWindow* s : subs) {
    EXPECT_FALSE(s->isMinimized());
    EXPECT_FALSE(s->isMaximized());
    EXPECT_EQ(s->size(), size);
  }
}

TEST(MainWindowLifetime, EndingRemovesOnlyItsOwnWorkingCopies) {
  auto fx = std::make_unique<MainWindowFixture>();
  // Another running copy's working copy, and a file someone put there.
  const QString theirs = fx->app.file(QStringLiteral("base/temp/a.cfg"), "[Warbird]\nA=theirs\n");
  const QString stray = fx->app.file(QStringLiteral("base/temp/stray.txt"), "x");
  fx->prompts.openAnswers.push_back(fx->app.file(QStringLiteral("a.cfg"), kArena));
  fx->form->FileOpen1Execute();
  const QString mine = fx->active()->workingCopy();
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(readBytes(mine), kArena);
  fx->form->NewDocument();
  const QString mineToo = fx->active()->workingCopy();
  fx->form.reset();
  EXPECT_FALSE(QFileInfo::exists(mine));
  EXPECT_FALSE(QFileInfo::exists(mineToo));
  EXPECT_EQ(readBytes(theirs), QByteArray("[Warbird]\nA=theirs\n"));
  EXPECT_EQ(readBytes(stray), QByteArray("x"));
}

TEST(MainWindowLifetime, CommandLineFileIsHandedOverAndOpened) {
  TempApp scratch;
  const QString path = scratch.file(QStringLiteral("start.cfg"), kArena);
  MainWindowFixture fx({path});
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.active() != nullptr; }, 5000));
  EXPECT_EQ(fx.active()->filePath(), path);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Preferences(fx.app.paths()).externalFile().isEmpty(); }, 5000));
}

TEST(MainWindowLifetime, ACommandLineFileWhoseNameIsNotUtf8Opens) {
  SKIP_ON_WINDOWS("names are UTF-16 there: none is not UTF-8");
#ifndef _WIN32
  TempApp scratch;
  const QByteArray oddBytes = QFile::encodeName(scratch.path(QStringLiteral("caf"))) + "\xE9.cfg";
  const QString odd = AtomicFile::decodePath(oddBytes);
  AtomicFile::write(odd, kArena);
  {
    MainWindowFixture fx({odd});
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.active() != nullptr; }, 5000));
    EXPECT_EQ(fx.active()->filePath(), odd);
    EXPECT_EQ(fx.active()->shipList(0)->rowCount(), 4);
    // The recent-files list keeps the very bytes of the name.
    const std::optional<QByteArray> history =
        AtomicFile::read(fx.app.path(QStringLiteral("xdg-config/tessary/History.ini")));
    ASSERT_TRUE(history.has_value());
    EXPECT_TRUE(history->contains(oddBytes)) << history->toStdString();
  }
  AtomicFile::remove(odd);
#endif
}

TEST_F(MainWindowTest, SettingRowsAreTallEnoughForTheTailsOfTheirLetters) {
  TMDIChild* doc = fx.form->OpenDocument(
      fx.app.file(QStringLiteral("a.cfg"), "[Warbird]\nAfterburnerEnergy=1200\nUpgradeSpeed=1\n"));
  for (ReportList* list : {doc->shipList(0), doc->findChild<ReportList*>(QStringLiteral("OtherList"))}) {
    if (!list || list->rowCount() == 0) continue;
    const QFontMetrics fm(list->font());
    // The text from its top to the bottom of its descenders, then the grid line below it.
    EXPECT_GE(list->rowRect(0).height(), fm.height() + 3) << list->objectName().toStdString();
  }
}

TEST_F(MainWindowTest, ASidePanelTooShortForItsPageScrollsRatherThanPilingControlsUp) {
  QWidget* panel = fx.form->findChild<QWidget*>(QStringLiteral("SidePanel"));
  // As a large scale on a small screen leaves it.
  panel->setFixedHeight(220);
  auto* caption = panel->findChild<QWidget*>(QStringLiteral("SettingCaption"));
  auto* comparisons = panel->findChild<QWidget*>(QStringLiteral("ShipComparisons"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->height() == 220; }, 5000));
  QCoreApplication::processEvents();
  const QRect list(comparisons->mapTo(panel, QPoint(0, 0)), comparisons->size());
  const QRect text(caption->mapTo(panel, QPoint(0, 0)), caption->size());
  EXPECT_FALSE(list.intersects(text))
      << "caption at " << text.y() << ", list " << list.y() << "-" << list.bottom();
}

// Comparing two arenas (the engine's differences and tessary-cfg diff), and
// finding a setting by a part of its name.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

#include "app/MainForm.h"
#include "documents/ConfigDiff.h"
#include "documents/DifferenceModel.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "tests/CompareArenas.h"
#include "tests/TestSupport.h"
#include "tools/CompareWindow.h"

TEST(FindSetting, TheFilterBoxHidesOtherNamesAndEditsStillWork) {
  MainWindowFixture fx;
  const QByteArray arena = readBytes(sourceDir() + QStringLiteral("/base/svs.cfg"));
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/svs.cfg"), arena));
  ASSERT_NE(doc, nullptr);
  ReportList* warbird = doc->shipList(0);
  const int all = warbird->shownCount();
  ASSERT_GT(all, 20);
  // Ctrl+F puts the focus into the box.
  fx.focusAndSelect(warbird, 0);
  QTest::keyClick(warbird, Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return doc->filterBox()->hasFocus(); }, 5000));
  QTest::keyClicks(doc->filterBox(), QStringLiteral("bULLETs"));
  EXPECT_GT(warbird->shownCount(), 0);
  EXPECT_LT(warbird->shownCount(), all);
  for (int r = 0; r < warbird->rowCount(); ++r)
    EXPECT_NE(warbird->shows(r), !warbird->name(r).contains(QStringLiteral("bulletS"), Qt::CaseInsensitive))
        << warbird->name(r).toStdString();
  EXPECT_EQ(doc->shipList(5)->shownCount(), warbird->shownCount());  // every page follows the box
  // A filtered row is edited as in the full list, and the comparison follows it.
  const int row = warbird->rowOf(QStringLiteral("BulletSpeed"));
  ASSERT_TRUE(warbird->shows(row));
  fx.focusAndSelect(warbird, row);
  fx.prompts.textAnswers = {QStringLiteral("2345")};
  QTest::keyClick(warbird, Qt::Key_Return);
  EXPECT_EQ(ProfileFile(doc->workingCopy()).value("Warbird", "BulletSpeed"), QByteArray("2345"));
  EXPECT_EQ(warbird->value(row), QStringLiteral("2345"));
  // Nothing matches: no row shows. Escape clears the box and every row is back.
  doc->filterBox()->setText(QStringLiteral("zzzz"));
  EXPECT_EQ(warbird->shownCount(), 0);
  doc->filterBox()->setFocus();
  QTest::keyClick(doc->filterBox(), Qt::Key_Escape);
  EXPECT_EQ(doc->filterBox()->text(), QString());
  EXPECT_EQ(warbird->shownCount(), all);
  // The "Other" list follows it too, also when it is filled after the text was typed.
  doc->filterBox()->setText(QStringLiteral("team"));
  doc->selectSetting(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"));
  ReportList* other = doc->otherList();
  ASSERT_GT(other->rowCount(), 0);
  for (int r = 0; r < other->rowCount(); ++r)
    EXPECT_NE(other->shows(r), !other->name(r).contains(QStringLiteral("team"), Qt::CaseInsensitive));
}

TEST(CompareWindow, RowsLeadToTheSettingAndACopyIsOneUndoableEdit) {
  MainWindowFixture fx;
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/ours.cfg"), kOurs));
  ASSERT_NE(doc, nullptr);
  fx.prompts.openAnswers = {fx.app.file(QStringLiteral("zone/theirs.cfg"), kTheirs)};
  fx.form->action(QStringLiteral("CompareWith1"))->trigger();
  auto* window = fx.form->findChild<TCompareWindow*>(QStringLiteral("CompareWindow"));
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(window->isVisible());
  QTreeView* list = window->list();
  const QAbstractItemModel* shown = list->model();
  auto section = [&](int i) { return shown->index(i, 0); };
  auto setting = [&](int i, int row, int column = 0) { return shown->index(row, column, section(i)); };
  QStringList sections;
  for (int i = 0; i < shown->rowCount(); ++i) sections.append(section(i).data().toString());
  EXPECT_EQ(sections, (QStringList{"Warbird (2)", "Javelin (1)", "Misc (1)", "Gone (1)", "EmptyHere (1)",
                                   "Added (1)"}));
  // The filter: letter case aside, by setting or section name.
  window->filterBox()->setText(QStringLiteral("SPEED"));
  ASSERT_EQ(shown->rowCount(), 1);
  EXPECT_EQ(section(0).data().toString(), QStringLiteral("Warbird (2)"));
  ASSERT_EQ(shown->rowCount(section(0)), 1);  // not OnlyOurs
  EXPECT_EQ(setting(0, 0).data().toString(), QStringLiteral("BulletSpeed"));
  EXPECT_TRUE(list->isExpanded(section(0)));
  window->filterBox()->setText(QStringLiteral("nothing like it"));
  EXPECT_EQ(shown->rowCount(), 0);
  window->filterBox()->clear();
  EXPECT_EQ(shown->rowCount(), 6);
  // As the user sees it (and, with TESSARY_PICTURES set, a picture for the documentation).
  list->setCurrentIndex(setting(0, 0));
  const QImage picture = window->grab().toImage();
  ASSERT_FALSE(picture.isNull());
  if (const QString folder = qEnvironmentVariable("TESSARY_PICTURES"); !folder.isEmpty())
    picture.save(folder + QStringLiteral("/compare-window.png"));
  // A row with no value on the other side cannot be copied.
  list->setCurrentIndex(setting(0, 1));
  EXPECT_FALSE(window->copyButton()->isEnabled());
  // Selecting a row shows the setting in the document; the copy is one edit, taken back by Undo.
  ASSERT_EQ(setting(0, 0).data().toString(), QStringLiteral("BulletSpeed"));
  list->setCurrentIndex(setting(0, 0));
  EXPECT_EQ(doc->pages()->currentIndex(), 0);
  EXPECT_EQ(doc->shipList(0)->name(doc->shipList(0)->selectedRow()), QStringLiteral("BulletSpeed"));
  ASSERT_TRUE(window->copyButton()->isEnabled());
  QTest::mouseClick(window->copyButton(), Qt::LeftButton);
  EXPECT_EQ(ProfileFile(doc->workingCopy()).value("Warbird", "BulletSpeed"), QByteArray("2400"));
  EXPECT_TRUE(doc->isModified());
  EXPECT_EQ(section(0).data().toString(), QStringLiteral("Warbird (1)"));
  doc->undoStack()->undo();
  EXPECT_EQ(readBytes(doc->workingCopy()), kOurs);
  EXPECT_FALSE(doc->isModified());
}

TEST(CompareWindow, StaysWithItsDocumentFollowsItsHistoryAndTheOtherFileAndClosesWithIt) {
  MainWindowFixture fx;
  const QByteArray arena =
      "[Warbird]\nBulletSpeed=2000\nGravity=1\n\n[Javelin]\nBulletSpeed=2100\nGravity=2\n";
  TMDIChild* alpha = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/alpha.cfg"), arena));
  const QString otherPath =
      fx.app.file(QStringLiteral("zone/other.cfg"),
                  "[Warbird]\nBulletSpeed=2400\nGravity=1\n\n[Javelin]\nBulletSpeed=2200\nGravity=3\n");
  fx.prompts.openAnswers = {otherPath};
  fx.form->action(QStringLiteral("CompareWith1"))->trigger();
  auto* window = fx.form->findChild<TCompareWindow*>(QStringLiteral("CompareWindow"));
  ASSERT_TRUE(window && window->isVisible());
  // It opens on the main window, not in a corner of the screen.
  EXPECT_LE((window->frameGeometry().center() - fx.form->frameGeometry().center()).manhattanLength(), 40);
  TMDIChild* bravo = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/bravo.cfg"), arena));
  ASSERT_EQ(fx.form->activeChild(), bravo);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Compare alpha.cfg With other.cfg"));

  // The filter finds a section by its name, typed as a user types.
  QTreeView* list = window->list();
  const QAbstractItemModel* shown = list->model();
  auto setting = [&](int i, int row, int column = 0) {
    return shown->index(row, column, shown->index(i, 0));
  };
  window->filterBox()->setFocus();
  QTest::keyClicks(window->filterBox(), QStringLiteral("Javelin"));
  EXPECT_EQ(window->differences()->sectionCount(), 2);
  ASSERT_EQ(shown->rowCount(), 1);
  EXPECT_EQ(shown->index(0, 0).data().toString(), QStringLiteral("Javelin (2)"));
  EXPECT_EQ(shown->rowCount(shown->index(0, 0)), 2);  // every setting of a section found by its name
  window->filterBox()->clear();

  // Copy Into Document writes into the compared document, whichever is active.
  list->setCurrentIndex(setting(0, 0));
  fx.form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(bravo->parentWidget()));
  QTest::mouseClick(window->copyButton(), Qt::LeftButton);
  EXPECT_EQ(ProfileFile(alpha->workingCopy()).value("Warbird", "BulletSpeed"), QByteArray("2400"));
  EXPECT_EQ(readBytes(bravo->workingCopy()), arena);
  auto summary = [&] { return window->findChild<QLabel*>(QStringLiteral("CompareSummary"))->text(); };
  EXPECT_TRUE(summary().startsWith(QStringLiteral("2 setting(s)")));
  // Undo and redo in the document: the list follows at once.
  alpha->undoStack()->undo();
  EXPECT_TRUE(summary().startsWith(QStringLiteral("3 setting(s)"))) << summary().toStdString();
  alpha->undoStack()->redo();
  EXPECT_TRUE(summary().startsWith(QStringLiteral("2 setting(s)")));
  alpha->editValue(QStringLiteral("Javelin"), QStringLiteral("Gravity"), QStringLiteral("3"));
  EXPECT_TRUE(summary().startsWith(QStringLiteral("1 setting(s)")));

  // The other file changes on disk: a copy never writes the value it no longer has.
  list->setCurrentIndex(setting(0, 0));
  ASSERT_EQ(list->currentIndex().siblingAtColumn(2).data().toString(), QStringLiteral("2200"));
  writeBytes(otherPath, "[Warbird]\nBulletSpeed=2400\nGravity=1\n\n[Javelin]\nBulletSpeed=2900\nGravity=3\n");
  QTest::mouseClick(window->copyButton(), Qt::LeftButton);
  EXPECT_EQ(ProfileFile(alpha->workingCopy()).value("Javelin", "BulletSpeed"), QByteArray("2100"));
  EXPECT_TRUE(fx.prompts.messages().back().contains(QStringLiteral("has changed on disk")));
  EXPECT_EQ(setting(0, 0, 2).data().toString(), QStringLiteral("2900"));
  // And it reads the file again by itself when it changes.
  writeBytes(otherPath, "[Warbird]\nBulletSpeed=2400\nGravity=1\n\n[Javelin]\nBulletSpeed=2100\nGravity=3\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return summary().startsWith(QStringLiteral("The two arenas")); }, 5000));

  // The compared document closes: the window goes with it.
  alpha->setCloseConfirmed(true);
  qobject_cast<QMdiSubWindow*>(alpha->parentWidget())->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
  EXPECT_EQ(window->document(), nullptr);
  EXPECT_EQ(readBytes(bravo->workingCopy()), arena);
}

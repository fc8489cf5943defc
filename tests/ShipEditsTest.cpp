// Balancing ships: copy and swap of ship settings, undo and redo, and the bar chart.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoStack>

#include "app/MainForm.h"
#include "components/Pictures.h"
#include "components/ShipBars.h"
#include "documents/ConfigModel.h"
#include "documents/EditCommands.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"

namespace {
QByteArray standardArena() { return readBytes(sourceDir() + QStringLiteral("/base/svs.cfg")); }

QList<QByteArray> linesOf(const QByteArray& bytes) { return bytes.split('\n'); }

// The lines that differ between two files of the same number of lines.
QList<QPair<QByteArray, QByteArray>> changedLines(const QByteArray& a, const QByteArray& b) {
  const QList<QByteArray> x = linesOf(a), y = linesOf(b);
  QList<QPair<QByteArray, QByteArray>> out;
  EXPECT_EQ(x.size(), y.size());
  for (qsizetype i = 0; i < std::min(x.size(), y.size()); ++i)
    if (x[i] != y[i]) out.append({x[i], y[i]});
  return out;
}

QByteArray applied(const QByteArray& content, const std::vector<ValueChange>& changes, bool after = true) {
  ProfileFile file(content, ProfileFile::FromMemory{});
  ShipEdits::apply(file, changes, after);
  return file.content();
}
}  // namespace

TEST(ShipEdits, CopyOnTheStandardArenaWritesOnlyTheLinesThatChange) {
  const QByteArray arena = standardArena();
  const ProfileFile file(arena, ProfileFile::FromMemory{});
  const std::vector<ValueChange> changes = ShipEdits::copy(file, "Warbird", {"Javelin"});
  ASSERT_FALSE(changes.empty());
  const QByteArray after = applied(arena, changes);
  const ProfileFile copied(after, ProfileFile::FromMemory{});
  // Every Javelin value is now Warbird's; every other section is as it was.
  for (const QByteArray& key : file.keyNames("Warbird"))
    EXPECT_EQ(copied.value("Javelin", key), file.value("Warbird", key)) << key.toStdString();
  for (const QByteArray& section : file.sectionNames()) {
    if (section == "Javelin") continue;
    for (const QByteArray& key : file.keyNames(section))
      EXPECT_EQ(copied.value(section, key), file.value(section, key)) << section.toStdString();
  }
  // Only the changed values' lines differ, each one a line of the form the file had.
  const auto lines = changedLines(arena, after);
  EXPECT_EQ(lines.size(), static_cast<qsizetype>(changes.size()));
  for (const auto& [was, now] : lines) EXPECT_EQ(was.left(was.indexOf('=')), now.left(now.indexOf('=')));
  EXPECT_EQ(ShipEdits::copyCount(file, "Warbird", std::nullopt), file.keyNames("Warbird").size());
}

TEST(ShipEdits, ASwapDoneTwiceGivesTheOriginalBytes) {
  const QByteArray arena = standardArena();
  const ProfileFile file(arena, ProfileFile::FromMemory{});
  const std::vector<ValueChange> once = ShipEdits::swap(file, "Warbird", "Shark");
  ASSERT_FALSE(once.empty());
  const QByteArray swapped = applied(arena, once);
  const ProfileFile middle(swapped, ProfileFile::FromMemory{});
  for (const QByteArray& key : file.keyNames("Warbird")) {
    EXPECT_EQ(middle.value("Warbird", key), file.value("Shark", key));
    EXPECT_EQ(middle.value("Shark", key), file.value("Warbird", key));
  }
  EXPECT_EQ(applied(swapped, ShipEdits::swap(middle, "Warbird", "Shark")), arena);
  // And the changes taken back give the original too.
  EXPECT_EQ(applied(swapped, once, false), arena);
}

TEST(ShipEdits, KeysOnlyOneSideHasAreCopiedOrSwappedNeverDropped) {
  const QByteArray arena =
      "[Warbird]\nBulletSpeed=2000\nOnlyWarbird=7\nSame=1\n\n[Javelin]\nBulletSpeed=2100\nOnlyJavelin="
      "3\nSame=1\n";
  const ProfileFile file(arena, ProfileFile::FromMemory{});
  const QByteArray copied = applied(arena, ShipEdits::copy(file, "Warbird", {"Javelin"}));
  // The source's key arrives; the key the source lacks stays as the target has it.
  EXPECT_EQ(
      copied,
      "[Warbird]\nBulletSpeed=2000\nOnlyWarbird=7\nSame=1\n\n[Javelin]\nBulletSpeed=2000\nOnlyJavelin=3\n"
      "Same=1\nOnlyWarbird=7\n");
  const std::vector<ValueChange> swap = ShipEdits::swap(file, "Warbird", "Javelin");
  EXPECT_EQ(
      applied(arena, swap),
      "[Warbird]\nBulletSpeed=2100\nOnlyWarbird=7\nSame=1\nOnlyJavelin=3\n\n[Javelin]\nBulletSpeed=2000\n"
      "OnlyJavelin=3\nSame=1\nOnlyWarbird=7\n");
  EXPECT_EQ(ShipEdits::swapCount(file, "Warbird", "Javelin", std::nullopt), 4);
  // Such an edit keeps the bytes from before, for its undo.
  EXPECT_EQ(contentIfAdding(file, swap), std::optional<QByteArray>(arena));
  EXPECT_EQ(contentIfAdding(file, ShipEdits::swap(file, "Warbird", "Javelin", QByteArray("BulletSpeed"))),
            std::nullopt);
}

namespace {
class ShipEditsWindow : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  TMDIChild* doc = nullptr;
  QString source;
  QByteArray original;

  void SetUp() override {
    original = standardArena();
    source = fx.app.file(QStringLiteral("zone/svs.cfg"), original);
    doc = fx.form->OpenDocument(source);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(readBytes(doc->workingCopy()), original);
  }
  QByteArray working() const { return readBytes(doc->workingCopy()); }
  ReportList* ship(int i) const { return doc->shipList(i); }
  QString valueOn(int shipIndex, const QString& key) const {
    const int row = ship(shipIndex)->rowOf(key);
    return row < 0 ? QStringLiteral("<no row>") : ship(shipIndex)->value(row);
  }
  // A command of the tool bar's "Copy/Swap Settings" menu, as the menu shows it.
  QAction* menuItem(const char* submenu, const QString& caption) const {
    auto* button = doc->findChild<QToolButton*>(QStringLiteral("CopySwapButton"));
    QMenu* menu = button->menu();
    emit menu->aboutToShow();
    QMenu* sub = menu->findChild<QMenu*>(QString::fromLatin1(submenu));
    for (QAction* a : sub->actions())
      if (a->text() == caption) return a;
    return nullptr;
  }
  void press(QKeySequence keys) {
    fx.form->activateWindow();
    QTest::keySequence(fx.form.get(), keys);
  }
  QStringList comparison() const {
    auto* list = fx.form->findChild<QTreeWidget*>(QStringLiteral("ShipComparisons"));
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out.append(list->topLevelItem(i)->text(1));
    return out;
  }
};
}  // namespace

TEST_F(ShipEditsWindow, CopyShipToAnotherAsksOnceAndIsOneStepOfTheHistory) {
  const int settings = ProfileFile(original, ProfileFile::FromMemory{}).keyNames("Warbird").size();
  QAction* own = menuItem("CopyShipTo", QStringLiteral("Warbird"));
  ASSERT_NE(own, nullptr);
  EXPECT_FALSE(own->isEnabled());  // not onto itself
  QAction* javelin = menuItem("CopyShipTo", QStringLiteral("Javelin"));
  ASSERT_TRUE(javelin && javelin->isEnabled());
  // "No" changes nothing.
  fx.prompts.messageAnswers = {QMessageBox::No};
  javelin->trigger();
  EXPECT_EQ(fx.prompts.messages().back(),
            QStringLiteral("Copy the %1 settings of Warbird to Javelin?").arg(settings));
  EXPECT_EQ(working(), original);
  EXPECT_FALSE(doc->isModified());
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  javelin->trigger();
  const QByteArray copied = working();
  const ProfileFile file(original, ProfileFile::FromMemory{});
  EXPECT_EQ(copied, applied(original, ShipEdits::copy(file, "Warbird", {"Javelin"})));
  EXPECT_TRUE(doc->isModified());
  EXPECT_EQ(doc->undoStack()->count(), 1);
  // The page shows it, and so does the comparison: here a setting the two ships had apart.
  QString differing;
  for (const QByteArray& key : file.keyNames("Warbird"))
    if (file.value("Warbird", key) != file.value("Javelin", key)) {
      differing = QString::fromLatin1(key);
      break;
    }
  ASSERT_FALSE(differing.isEmpty());
  EXPECT_EQ(valueOn(1, differing), valueOn(0, differing));
  fx.focusAndSelect(ship(0), ship(0)->rowOf(differing));
  EXPECT_EQ(comparison().at(1), comparison().at(0));
  // Ctrl+Z takes it back to the saved bytes and clears the mark; Ctrl+Y and Ctrl+Shift+Z bring it again.
  press(QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(working(), original);
  EXPECT_FALSE(doc->isModified());
  EXPECT_NE(valueOn(1, differing), valueOn(0, differing));
  EXPECT_NE(comparison().at(1), comparison().at(0));
  press(QKeySequence(Qt::CTRL | Qt::Key_Y));
  EXPECT_EQ(working(), copied);
  EXPECT_TRUE(doc->isModified());
  press(QKeySequence(Qt::CTRL | Qt::Key_Z));
  press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  EXPECT_EQ(working(), copied);
}

TEST_F(ShipEditsWindow, CopyToAllAndSwapFromTheShipListsRightClickMenu) {
  fx.focusAndSelect(ship(2), 0);  // Spider's page
  doc->pages()->setCurrentIndex(2);
  // The right-click menu is a real popup: its items are chosen while it shows.
  auto choose = [&](const char* submenu, const QString& caption) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      poll.stop();
      QMenu* sub = menu->findChild<QMenu*>(QString::fromLatin1(submenu));
      for (QAction* a : sub ? sub->actions() : QList<QAction*>())
        if (a->text() == caption) {
          EXPECT_TRUE(a->isEnabled()) << caption.toStdString();
          a->trigger();
        }
      menu->close();
    });
    poll.start(10);
    emit ship(2)->customContextMenuRequested(QPoint(5, 5));
  };
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  choose("CopyTo", QStringLiteral("All"));
  const int settings = ProfileFile(original, ProfileFile::FromMemory{}).keyNames("Spider").size();
  EXPECT_EQ(fx.prompts.messages().back(),
            QStringLiteral("Copy the %1 settings of Spider to the seven other ships?").arg(settings));
  for (int i = 0; i < Ships::kCount; ++i)
    EXPECT_EQ(valueOn(i, QStringLiteral("BulletSpeed")), valueOn(2, QStringLiteral("BulletSpeed"))) << i;
  const QByteArray all = working();
  // Undone, then a swap: a new step ends the undone branch.
  doc->undoStack()->undo();
  EXPECT_EQ(working(), original);
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  choose("SwapWith", QStringLiteral("Terrier"));
  EXPECT_TRUE(fx.prompts.messages().back().startsWith(QStringLiteral("Swap the ")));
  EXPECT_TRUE(fx.prompts.messages().back().endsWith(QStringLiteral(" settings of Spider with Terrier?")));
  const ProfileFile file(original, ProfileFile::FromMemory{});
  EXPECT_EQ(working(), applied(original, ShipEdits::swap(file, "Spider", "Terrier")));
  // The new step ended the old branch: Redo has nothing to bring back.
  EXPECT_FALSE(doc->undoStack()->canRedo());
  EXPECT_NE(working(), all);
}

TEST_F(ShipEditsWindow, UndoAndRedoRunThroughEditsCopiesAndSwapsAndAcrossASave) {
  // An edit on a ship page, one on "Other", a copy of one setting, a swap.
  const int row = ship(0)->rowOf(QStringLiteral("BulletSpeed"));
  fx.focusAndSelect(ship(0), row);
  fx.prompts.textAnswers = {QStringLiteral("4321")};
  doc->editValueIn(ship(0));
  const QByteArray afterEdit = working();
  doc->editValue(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"), QStringLiteral("7"));
  const QByteArray afterOther = working();
  fx.prompts.messageAnswers = {QMessageBox::Yes, QMessageBox::Yes};
  doc->copySettings(0, 4, true);  // "Copy Setting: To" Terrier: BulletSpeed only
  EXPECT_EQ(fx.prompts.messages().back(),
            QStringLiteral("Copy the setting BulletSpeed of Warbird to Terrier?"));
  EXPECT_EQ(valueOn(4, QStringLiteral("BulletSpeed")), QStringLiteral("4321"));
  const QByteArray afterCopy = working();
  doc->swapSettings(0, 7, false);
  const QByteArray afterSwap = working();
  ASSERT_EQ(doc->undoStack()->count(), 4);
  const QList<QByteArray> states = {original, afterEdit, afterOther, afterCopy, afterSwap};
  for (int i = 3; i >= 0; --i) {
    doc->undoStack()->undo();
    EXPECT_EQ(working(), states[i]) << "undo to " << i;
    EXPECT_EQ(doc->isModified(), i != 0);
  }
  for (int i = 1; i <= 4; ++i) {
    doc->undoStack()->redo();
    EXPECT_EQ(working(), states[i]) << "redo to " << i;
    EXPECT_TRUE(doc->isModified());
  }
  // Saved: the mark goes; undo makes the document differ from its file again, redo matches it again.
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok};  // "Are You Sure You Want To Overwrite"
  ASSERT_TRUE(doc->saveWithDialog());
  EXPECT_FALSE(doc->isModified());
  EXPECT_EQ(readBytes(source), afterSwap);
  doc->undoStack()->undo();
  EXPECT_TRUE(doc->isModified());
  EXPECT_EQ(working(), afterCopy);
  doc->undoStack()->redo();
  EXPECT_FALSE(doc->isModified());
  // Undo after a save brings the old values back into the working copy only.
  doc->undoStack()->undo();
  EXPECT_EQ(readBytes(source), afterSwap);
}

TEST_F(ShipEditsWindow, AnUndoneCopyThatAddedKeysGivesBackTheExactBytes) {
  const QByteArray arena = "[Warbird]\r\nA=1\r\nOnlyWarbird=7\r\n\r\n[Javelin]\r\nA=2\r\n\r\n[Misc]\r\nX=1";
  TMDIChild* small = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/small.cfg"), arena));
  ASSERT_NE(small, nullptr);
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  small->copySettings(0, 1, false);
  EXPECT_TRUE(readBytes(small->workingCopy()).contains("[Javelin]\r\nA=1\r\nOnlyWarbird=7\r\n"));
  small->undoStack()->undo();
  EXPECT_EQ(readBytes(small->workingCopy()), arena);
  EXPECT_FALSE(small->isModified());
  // A new section too: copied into a ship the file does not have yet.
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  small->copySettings(0, 7, false);
  EXPECT_TRUE(ProfileFile(small->workingCopy()).hasKey("Shark", "OnlyWarbird"));
  small->undoStack()->undo();
  EXPECT_EQ(readBytes(small->workingCopy()), arena);
}

TEST(ShipBarsChart, BarsAreAsLongAsTheirValuesAndTheOddOneStandsOut) {
  QList<QIcon> icons;
  for (int i = 0; i < Ships::kCount; ++i) icons.append(Pictures::ship(i));
  ShipBars bars(icons);
  bars.resize(240, bars.sizeHint().height());
  bars.setValues({"100", "100", "200", "100", "0", "100", "50", "100"});
  const QImage picture = bars.grab().toImage();
  // A bar's length: its coloured pixels across the middle of its row.
  auto measured = [&](int row) {
    const int y = row * ShipBars::kRowHeight + ShipBars::kRowHeight / 2;
    int n = 0;
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      if (c == QColor(96, 140, 200) || c == QColor(230, 140, 40)) ++n;
    }
    return n;
  };
  const int full = measured(2);
  ASSERT_GT(full, 100);
  EXPECT_EQ(full, bars.barRect(2).width());
  EXPECT_NEAR(measured(0), full / 2.0, 1.0);
  EXPECT_NEAR(measured(6), full / 4.0, 1.0);
  EXPECT_EQ(measured(4), 0);
  // 100 is what most ships have: 200, 0 and 50 stand out in their own colour.
  EXPECT_EQ(picture.pixelColor(bars.barRect(2).center()), QColor(230, 140, 40));
  EXPECT_EQ(picture.pixelColor(bars.barRect(0).center()), QColor(96, 140, 200));
  EXPECT_TRUE(bars.standsOut(4));
  EXPECT_FALSE(bars.standsOut(7));
  // Negative values grow to the left of the zero line; text draws no bar.
  bars.setValues({"-100", "100", "x", "0", "0", "0", "0", "0"});
  EXPECT_EQ(bars.barRect(0).width(), bars.barRect(1).width());
  EXPECT_EQ(bars.barRect(0).right() + 1, bars.barRect(1).left());
  EXPECT_TRUE(bars.barRect(2).isEmpty());
}

TEST_F(ShipEditsWindow, TheChartFollowsTheSelectionAndTheEdits) {
  auto* bars = fx.form->findChild<ShipBars*>(QStringLiteral("ShipBars"));
  ASSERT_NE(bars, nullptr);
  fx.focusAndSelect(ship(0), ship(0)->rowOf(QStringLiteral("BulletSpeed")));
  EXPECT_EQ(bars->values(), comparison());
  fx.prompts.textAnswers = {QStringLiteral("9999")};
  doc->editValueIn(ship(0));
  EXPECT_EQ(bars->values().at(0), QStringLiteral("9999"));
  EXPECT_TRUE(bars->standsOut(0));
  doc->undoStack()->undo();
  EXPECT_EQ(bars->values(), comparison());
  EXPECT_NE(bars->values().at(0), QStringLiteral("9999"));
}

TEST(ShipEdits, AnEmptySourceValueArrivesAsAKeyWithNothingAndAOneSidedSwapKnowsWhichSideHadIt) {
  const QByteArray arena = "[Warbird]\nBulletSpeed=2000\nBlank=\n\n[Javelin]\nBulletSpeed=2100\nExtra=4\n";
  const ProfileFile file(arena, ProfileFile::FromMemory{});
  const std::vector<ValueChange> copy = ShipEdits::copy(file, "Warbird", {"Javelin"}, QByteArray("Blank"));
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_FALSE(copy[0].existed);
  EXPECT_EQ(applied(arena, copy),
            "[Warbird]\nBulletSpeed=2000\nBlank=\n\n[Javelin]\nBulletSpeed=2100\nExtra=4\n"
            "Blank=\n");
  // Javelin alone has Extra: it arrives at Warbird, which did not have it; Javelin keeps it.
  const std::vector<ValueChange> swap = ShipEdits::swap(file, "Warbird", "Javelin", QByteArray("Extra"));
  ASSERT_EQ(swap.size(), 1u);
  EXPECT_EQ(swap[0].section, QByteArray("Warbird"));
  EXPECT_FALSE(swap[0].existed);
  EXPECT_EQ(swap[0].after, QByteArray("4"));
  const std::vector<ValueChange> whole = ShipEdits::swap(file, "Warbird", "Javelin");
  int arrived = 0;
  for (const ValueChange& c : whole) {
    if (c.key == "Extra") {
      EXPECT_EQ(c.section, QByteArray("Warbird"));
      EXPECT_FALSE(c.existed);
      ++arrived;
    }
    if (c.key == "Blank") {
      EXPECT_EQ(c.section, QByteArray("Javelin"));
      EXPECT_FALSE(c.existed);
      ++arrived;
    }
    if (c.key == "BulletSpeed") {
      EXPECT_TRUE(c.existed);
    }
  }
  EXPECT_EQ(arrived, 2);
}

TEST_F(ShipEditsWindow, OneSidedCopiesAndSwapsAreTakenBackToTheExactBytes) {
  const QByteArray arena =
      "[Warbird]\r\nBulletSpeed=2000\r\nBlank=\r\n\r\n[Javelin]\r\nBulletSpeed=2100\r\nExtra=4\r\n";
  TMDIChild* d = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/one-sided.cfg"), arena));
  // The empty value of Warbird copied to Javelin, which has no such key: the line "Blank=" appears.
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  d->pages()->setCurrentIndex(0);
  fx.focusAndSelect(d->shipList(0), d->shipList(0)->rowOf(QStringLiteral("Blank")));
  d->copySettings(0, 1, true);
  EXPECT_TRUE(readBytes(d->workingCopy()).contains("[Javelin]\r\nBulletSpeed=2100\r\nExtra=4\r\nBlank=\r\n"))
      << readBytes(d->workingCopy()).toStdString();
  d->undoStack()->undo();
  EXPECT_EQ(readBytes(d->workingCopy()), arena);
  // A whole swap where each ship has a key the other lacks, and back.
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  d->swapSettings(0, 1, false);
  const ProfileFile swapped(d->workingCopy());
  EXPECT_EQ(swapped.value("Warbird", "Extra"), QByteArray("4"));
  EXPECT_EQ(swapped.value("Warbird", "BulletSpeed"), QByteArray("2100"));
  EXPECT_TRUE(swapped.hasKey("Javelin", "Blank"));
  d->undoStack()->undo();
  EXPECT_EQ(readBytes(d->workingCopy()), arena);
  d->undoStack()->redo();
  d->undoStack()->undo();
  EXPECT_EQ(readBytes(d->workingCopy()), arena);
}

TEST_F(ShipEditsWindow, TheHistoryKeepsItsNewestStepsWithinItsBoundsAndNeverLooksSavedWhenItIsNot) {
  doc->setHistoryLimits(5, 1LL << 40);
  for (int i = 0; i < 8; ++i)
    doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QString::number(3000 + i));
  EXPECT_EQ(doc->undoStack()->count(), 5);
  EXPECT_TRUE(doc->isModified());
  // Undo goes back as far as the history reaches: the oldest steps are gone, so the file is never reached.
  while (doc->undoStack()->canUndo()) doc->undoStack()->undo();
  EXPECT_EQ(valueOn(0, QStringLiteral("BulletSpeed")), QStringLiteral("3002"));
  EXPECT_TRUE(doc->isModified());
  while (doc->undoStack()->canRedo()) doc->undoStack()->redo();
  EXPECT_EQ(valueOn(0, QStringLiteral("BulletSpeed")), QStringLiteral("3007"));

  // Saved, then edited on: the saved state stays clean while its step is kept ...
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  ASSERT_TRUE(doc->saveWithDialog());
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("11"));
  doc->undoStack()->undo();
  EXPECT_FALSE(doc->isModified());
  // ... and once it is dropped, no state is: undoing all the way leaves the document changed.
  for (int i = 0; i < 6; ++i)
    doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QString::number(20 + i));
  EXPECT_EQ(doc->undoStack()->count(), 5);
  while (doc->undoStack()->canUndo()) doc->undoStack()->undo();
  EXPECT_TRUE(doc->isModified());
  EXPECT_EQ(valueOn(0, QStringLiteral("Gravity")), QStringLiteral("20"));

  // The memory budget: a whole-ship swap of the standard arena is far over a budget of a few bytes;
  // the newest step always stays.
  doc->setHistoryLimits(100, 1);
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  doc->swapSettings(0, 1, false);
  EXPECT_EQ(doc->undoStack()->count(), 1);
  doc->undoStack()->undo();
  EXPECT_EQ(valueOn(0, QStringLiteral("Gravity")), QStringLiteral("20"));
  EXPECT_FALSE(doc->undoStack()->canUndo());
  EXPECT_TRUE(doc->isModified());
}

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "documents/ConfigModel.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena =
    "[Warbird]\r\nMultiFireAngle=500\r\nBulletSpeed=2000\r\nEmptyOne=\r\nOnlyWarbird=7\r\n\r\n"
    "[Javelin]\r\nMultiFireAngle=600\r\nBulletSpeed=2100\r\nEmptyOne=\r\n\r\n"
    "[Shark]\r\nMultiFireAngle=1200\r\nBulletSpeed=1000\r\nEmptyOne=\r\n\r\n"
    "[PrizeWeight]\r\nGun=60\r\nBomb=\r\nZeta=3\r\n\r\n"
    "[Cost]\r\nGun=5\r\n\r\n[Misc]\r\nTeamMaxSize=0\r\n";
const QByteArray kHelp =
    "[Help]\nMultiFireAngle=Spread of multifire.\nGun=Help section text for Gun.\n"
    "[PrizeWeight]\nGun=How often guns are prized.\n[Cost]\nGun=Cost of a gun.\n";

class EditSaveTest : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  TMDIChild* doc = nullptr;
  QString source;

  void SetUp() override {
    fx.app.file(QStringLiteral("base/help.hlp"), kHelp);
    source = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
    doc = fx.form->OpenDocument(source);
    ASSERT_NE(doc, nullptr);
  }
  QString helpCaption() { return fx.form->findChild<QLabel*>(QStringLiteral("HelpCaption"))->text(); }
  QString helpText() {
    return fx.form->findChild<QPlainTextEdit*>(QStringLiteral("HelpText"))->toPlainText();
  }
  QString settingLabel() { return fx.form->findChild<QLabel*>(QStringLiteral("SettingValue"))->text(); }
  QStringList comparison() {
    auto* list = fx.form->findChild<QTreeWidget*>(QStringLiteral("ShipComparisons"));
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out.append(list->topLevelItem(i)->text(1));
    return out;
  }
  QByteArray working() { return readBytes(doc->workingCopy()); }
  ReportList* ship(const char* name) { return fx.shipList(doc, QString::fromLatin1(name)); }
  void showPage(int index) { doc->pages()->setCurrentIndex(index); }
  void edit(ReportList* list, int row, std::optional<QString> answer) {
    fx.focusAndSelect(list, row);
    fx.prompts.textAnswers.push_back(answer);
    const size_t asked = fx.prompts.asked.size();
    // A real double-click is press, release, then the double-click event.
    const QPoint at = list->rowRect(row).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(fx.prompts.asked.size(), asked + 1);
  }
  void chooseSection(const QString& name) {
    showPage(8);
    doc->comboBox()->setFocus();
    const int index = doc->comboBox()->findText(name);
    doc->comboBox()->setCurrentIndex(index);
    Q_EMIT doc->comboBox()->activated(index);
  }
};
}  // namespace

TEST_F(EditSaveTest, SelectingAShipRowShowsHelpAndComparison) {
  showPage(1);
  ReportList* javelin = ship("Javelin");
  const int row = javelin->rowOf(QStringLiteral("MultiFireAngle"));
  fx.focusAndSelect(javelin, row);
  EXPECT_EQ(helpCaption(), QStringLiteral(" Help: MultiFireAngle"));
  EXPECT_EQ(helpText(), QStringLiteral("Spread of multifire."));
  EXPECT_EQ(settingLabel(), QStringLiteral("MultiFireAngle"));
  EXPECT_EQ(comparison(), (QStringList{QStringLiteral("500"), QStringLiteral("600"), QString(), QString(),
                                       QString(), QString(), QString(), QStringLiteral("1200")}));
  // Arrow keys move the selection; each new row updates help and comparison.
  QTest::keyClick(javelin, Qt::Key_Up);
  const QString above = javelin->name(row - 1);
  EXPECT_EQ(helpCaption(), QStringLiteral(" Help: ") + above);
  EXPECT_EQ(helpText(), QString());  // no entry: caption still names the setting
  EXPECT_EQ(settingLabel(), above);
}

TEST_F(EditSaveTest, OtherPageUsesPrizeWeightAndCostHelpAndLeavesComparison) {
  chooseSection(QStringLiteral("PrizeWeight"));
  ReportList* other = doc->otherList();
  EXPECT_EQ(other->rowCount(), 3);
  chooseSection(QStringLiteral("PrizeWeight"));  // twice: rebuilt, not doubled
  EXPECT_EQ(other->rowCount(), 3);
  const QStringList before = comparison();
  fx.focusAndSelect(other, other->rowOf(QStringLiteral("Gun")));
  EXPECT_EQ(helpText(), QStringLiteral("How often guns are prized."));
  EXPECT_EQ(comparison(), before);
  chooseSection(QStringLiteral("Misc"));
  EXPECT_EQ(other->rowCount(), 1);
  EXPECT_EQ(other->name(0), QStringLiteral("TeamMaxSize"));
}

TEST_F(EditSaveTest, TypingCompletesAndChoosesASection) {
  showPage(8);
  QLineEdit* edit = doc->comboBox()->lineEdit();
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("pri"));
  EXPECT_EQ(doc->comboBox()->currentText(), QStringLiteral("PrizeWeight"));
  EXPECT_EQ(doc->otherList()->rowCount(), 3);
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("qq"));  // begins no section: chooses nothing
  EXPECT_EQ(edit->text(), QStringLiteral("qq"));
  EXPECT_EQ(doc->otherSection(), QStringLiteral("PrizeWeight"));
  EXPECT_EQ(doc->otherList()->rowCount(), 3);
}

TEST_F(EditSaveTest, ShipEditChangesOnlyTheEditedLine) {
  showPage(1);
  ReportList* javelin = ship("Javelin");
  const int row = javelin->rowOf(QStringLiteral("MultiFireAngle"));
  edit(javelin, row, QStringLiteral("4000"));
  EXPECT_EQ(fx.prompts.asked.back().title, QStringLiteral("Edit Setting"));
  EXPECT_EQ(fx.prompts.asked.back().text, QStringLiteral("Value: "));
  EXPECT_EQ(fx.prompts.asked.back().value, QStringLiteral("600"));
  EXPECT_EQ(javelin->value(row), QStringLiteral("4000"));
  EXPECT_EQ(comparison()[1], QStringLiteral("4000"));
  QByteArray expected = kArena;
  expected.replace("MultiFireAngle=600", "MultiFireAngle=4000");
  EXPECT_EQ(working(), expected);  // no empty value became 0, no key of Warbird's appeared
  EXPECT_TRUE(doc->isModified());
  EXPECT_EQ(doc->windowTitle(), QStringLiteral("arena.cfg[*]"));
  EXPECT_TRUE(doc->isWindowModified());
}

TEST_F(EditSaveTest, CancelAndEmptyAnswersFollowTheShipRules) {
  ReportList* warbird = ship("Warbird");
  const int row = warbird->rowOf(QStringLiteral("BulletSpeed"));
  edit(warbird, row, std::nullopt);  // Cancel
  edit(warbird, row, QString());     // empty on Warbird: kept
  EXPECT_EQ(warbird->value(row), QStringLiteral("2000"));
  EXPECT_EQ(working(), kArena);
  EXPECT_FALSE(doc->isModified());

  showPage(7);
  ReportList* shark = ship("Shark");
  const int emptyRow = shark->rowOf(QStringLiteral("EmptyOne"));
  edit(shark, emptyRow, std::nullopt);
  EXPECT_EQ(fx.prompts.asked.back().value, QStringLiteral("0"));  // an empty value is offered as 0
  EXPECT_EQ(shark->value(emptyRow), QString());                   // Cancel stored nothing
  const int speedRow = shark->rowOf(QStringLiteral("BulletSpeed"));
  edit(shark, speedRow, QString());  // empty on another ship: 0
  EXPECT_EQ(shark->value(speedRow), QStringLiteral("0"));
  QByteArray expected = kArena;
  expected.replace("BulletSpeed=1000", "BulletSpeed=0");
  EXPECT_EQ(working(), expected);
}

TEST_F(EditSaveTest, EditingARowOnlyWarbirdHasCreatesThatKeyOnlyThen) {
  showPage(1);
  ReportList* javelin = ship("Javelin");
  edit(javelin, javelin->rowOf(QStringLiteral("BulletSpeed")), QStringLiteral("5"));
  EXPECT_FALSE(
      working().contains("[Javelin]\r\nMultiFireAngle=600\r\nBulletSpeed=5\r\nEmptyOne=\r\nOnlyWarbird"));
  edit(javelin, javelin->rowOf(QStringLiteral("OnlyWarbird")), QStringLiteral("9"));
  EXPECT_TRUE(working().contains(
      "[Javelin]\r\nMultiFireAngle=600\r\nBulletSpeed=5\r\nEmptyOne=\r\nOnlyWarbird=9\r\n"));
}

TEST_F(EditSaveTest, OtherPageWritesIntoTheShownSectionPastEmptyRows) {
  chooseSection(QStringLiteral("PrizeWeight"));
  ReportList* other = doc->otherList();
  // "Bomb" is empty and sorts before "Gun" and "Zeta": later rows are still written.
  edit(other, other->rowOf(QStringLiteral("Zeta")), QStringLiteral("4"));
  // Text typed into the drop-down that chose no section does not redirect the write.
  doc->comboBox()->setEditText(QStringLiteral("[Select]"));
  edit(other, other->rowOf(QStringLiteral("Gun")), QString());  // cleared: written empty
  EXPECT_EQ(other->value(other->rowOf(QStringLiteral("Gun"))), QString());
  QByteArray expected = kArena;
  expected.replace("Gun=60\r\nBomb=\r\nZeta=3", "Gun=\r\nBomb=\r\nZeta=4");
  EXPECT_EQ(working(), expected);
}

TEST_F(EditSaveTest, FirstAndSecondSaveKeepTheOldestBackup) {
  ReportList* warbird = ship("Warbird");
  edit(warbird, warbird->rowOf(QStringLiteral("BulletSpeed")), QStringLiteral("2500"));
  fx.prompts.saveAnswers.push_back(source);
  fx.prompts.messageAnswers.push_back(QMessageBox::Ok);
  fx.form->SaveDocument();
  EXPECT_EQ(fx.prompts.asked[fx.prompts.asked.size() - 2].title, QStringLiteral("File Save/Save As"));
  EXPECT_EQ(fx.prompts.asked[fx.prompts.asked.size() - 2].text, source);  // prefilled with the path
  EXPECT_EQ(fx.prompts.asked.back().title, QStringLiteral("Warning"));
  EXPECT_EQ(fx.prompts.asked.back().text, QStringLiteral("Are You Sure You Want To Overwrite \n") + source +
                                              QStringLiteral(" ???\n\nYou Cannot Undo This Operation!"));
  EXPECT_EQ(readBytes(source + QStringLiteral("x")), kArena);
  QByteArray saved = kArena;
  saved.replace("BulletSpeed=2000", "BulletSpeed=2500");
  EXPECT_EQ(readBytes(source), saved);
  EXPECT_FALSE(doc->isModified());

  edit(warbird, warbird->rowOf(QStringLiteral("BulletSpeed")), QStringLiteral("2600"));
  fx.prompts.saveAnswers.push_back(source);
  fx.prompts.messageAnswers.push_back(QMessageBox::Ok);
  fx.form->SaveDocument();
  EXPECT_EQ(readBytes(source + QStringLiteral("x")), kArena);  // the oldest content stays
  EXPECT_TRUE(readBytes(source).contains("BulletSpeed=2600"));
}

TEST_F(EditSaveTest, SaveTimeIsNowWithEvenSeconds) {
  fx.prompts.saveAnswers.push_back(source);
  fx.prompts.messageAnswers.push_back(QMessageBox::Ok);
  const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
  fx.form->SaveDocument();
  const QDateTime t = fileModifiedTime(source);
  EXPECT_GE(t, before);
  EXPECT_LE(t, QDateTime::currentDateTime());
  EXPECT_EQ(t.time().second() % 2, 0);
  EXPECT_EQ(fx.form->findChild<QLabel*>(QStringLiteral("LastModified"))->text(),
            QStringLiteral("Last Modified: ") + formatDetailsTime(t));
}

TEST_F(EditSaveTest, SaveUnderANewNameMovesTheDocumentAndItsWorkingCopy) {
  ReportList* warbird = ship("Warbird");
  edit(warbird, warbird->rowOf(QStringLiteral("BulletSpeed")), QStringLiteral("1"));
  const QString target = fx.app.path(QStringLiteral("zone/renamed.cfg"));
  fx.prompts.saveAnswers.push_back(target);
  const size_t askedBefore = fx.prompts.asked.size();
  fx.form->SaveDocument();
  EXPECT_EQ(fx.prompts.asked.size(), askedBefore + 1);  // no question
  EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("x")));
  EXPECT_EQ(doc->fileName(), QStringLiteral("renamed.cfg"));
  EXPECT_EQ(doc->filePath(), target);
  EXPECT_EQ(doc->workingCopy(), fx.app.paths().tempFile(QStringLiteral("renamed.cfg")));
  EXPECT_FALSE(QFileInfo::exists(fx.app.paths().tempFile(QStringLiteral("arena.cfg"))));
  // Later edits keep the whole document and land in the new file.
  edit(warbird, warbird->rowOf(QStringLiteral("MultiFireAngle")), QStringLiteral("2"));
  fx.prompts.saveAnswers.push_back(target);
  fx.prompts.messageAnswers.push_back(QMessageBox::Ok);
  fx.form->SaveDocument();
  QByteArray expected = kArena;
  expected.replace("MultiFireAngle=500", "MultiFireAngle=2").replace("BulletSpeed=2000", "BulletSpeed=1");
  EXPECT_EQ(readBytes(target), expected);
  EXPECT_EQ(readBytes(source), kArena);
}

TEST_F(EditSaveTest, CancelInQuestionReturnsToDialogAndCancelInDialogWritesNothing) {
  const QString other = fx.app.file(QStringLiteral("zone/other.cfg"), "old");
  fx.prompts.saveAnswers = {other, std::nullopt};
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  fx.form->SaveDocument();
  const auto saves = std::count_if(fx.prompts.asked.begin(), fx.prompts.asked.end(),
                                   [](const auto& a) { return a.kind == QStringLiteral("save"); });
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(fx.prompts.asked.back().text, source);  // the dialog comes back prefilled again
  EXPECT_EQ(readBytes(other), QByteArray("old"));
  EXPECT_FALSE(QFileInfo::exists(other + QStringLiteral("x")));
  EXPECT_EQ(doc->fileName(), QStringLiteral("arena.cfg"));

  fx.prompts.saveAnswers = {other};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  fx.form->SaveDocument();
  EXPECT_EQ(readBytes(other + QStringLiteral("x")), QByteArray("old"));
  EXPECT_EQ(readBytes(other), kArena);
}

TEST_F(EditSaveTest, SavingIntoTheWorkingFolderIsRefusedAndTheDialogComesBack) {
  TMDIChild* other = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/b.cfg"), "[Warbird]\nA=b\n"));
  const QString otherCopy = other->workingCopy();
  fx.form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(doc->parentWidget()));
  ASSERT_EQ(fx.active(), doc);
  // Its own working copy, another document's, a new file there, and the same folder reached by a link.
#ifdef _WIN32
  // No link there (it needs administrator rights): the same folder in other letter case.
  const QString sameFolder = fx.app.paths().temp().toUpper() + QStringLiteral("/b.cfg");
#else
  QFile::link(fx.app.paths().temp(), fx.app.path(QStringLiteral("templink")));
  const QString sameFolder = fx.app.path(QStringLiteral("templink/b.cfg"));
#endif
  fx.prompts.saveAnswers = {doc->workingCopy(), otherCopy,
                            fx.app.paths().tempFile(QStringLiteral("fresh.cfg")), sameFolder, std::nullopt};
  fx.prompts.messageAnswers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
  fx.form->SaveDocument();
  ASSERT_EQ(fx.prompts.messages().size(), 4);
  for (const QString& m : fx.prompts.messages())
    EXPECT_TRUE(m.contains(QStringLiteral("folder of working copies"))) << m.toStdString();
  EXPECT_EQ(readBytes(doc->workingCopy()), kArena);
  EXPECT_EQ(readBytes(otherCopy), QByteArray("[Warbird]\nA=b\n"));
  EXPECT_FALSE(QFileInfo::exists(fx.app.paths().tempFile(QStringLiteral("fresh.cfg"))));
  EXPECT_EQ(QDir(fx.app.paths().temp()).entryList(QDir::Files).size(), 2);
}

TEST_F(EditSaveTest, UnsavedEditsAreAskedAboutOnCloseForEachAnswer) {
  ReportList* warbird = ship("Warbird");
  edit(warbird, warbird->rowOf(QStringLiteral("BulletSpeed")), QStringLiteral("3"));
  auto* sub = qobject_cast<QMdiSubWindow*>(doc->parentWidget());
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  sub->close();
  EXPECT_EQ(fx.prompts.messages().back(), QStringLiteral("Save changes to arena.cfg?"));
  EXPECT_EQ(fx.form->documents().size(), 1);
  // Save: runs the save command; the window closes once saved.
  fx.prompts.messageAnswers = {QMessageBox::Save, QMessageBox::Ok};
  fx.prompts.saveAnswers = {source};
  fx.form->FileClose1Execute();
  EXPECT_TRUE(fx.form->documents().isEmpty());
  EXPECT_TRUE(readBytes(source).contains("BulletSpeed=3"));
}

TEST_F(EditSaveTest, CloseAllAndExitAskAndCancelKeepsEverything) {
  TMDIChild* second = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/b.cfg"), kArena));
  ReportList* list = fx.shipList(second, QStringLiteral("Warbird"));
  edit(list, 0, QStringLiteral("77"));
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  fx.form->CloseAll1Execute();
  EXPECT_EQ(fx.form->documents().size(), 2);
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  EXPECT_FALSE(fx.form->close());
  EXPECT_TRUE(fx.form->isVisible());
  fx.prompts.messageAnswers = {QMessageBox::Discard};
  fx.form->CloseAll1Execute();
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.form->documents().isEmpty(); }, 5000));
  EXPECT_EQ(readBytes(fx.app.path(QStringLiteral("zone/b.cfg"))), kArena);
  EXPECT_EQ(fx.prompts.messages().size(), 3)
      << fx.prompts.messages().join(QStringLiteral(" / ")).toStdString();
}

TEST_F(EditSaveTest, MissingWorkingCopyIsReportedNotRecreatedWithOneLine) {
  QFile::remove(doc->workingCopy());
  ReportList* warbird = ship("Warbird");
  fx.focusAndSelect(warbird, 0);
  fx.prompts.textAnswers.push_back(QStringLiteral("9"));
  EXPECT_THROW(doc->editValueIn(warbird), TessaryError);
  EXPECT_FALSE(QFileInfo::exists(doc->workingCopy()));
  // Saving then refuses too, instead of moving the user's file aside for nothing.
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  EXPECT_THROW(fx.form->SaveDocument(), TessaryError);
  EXPECT_EQ(readBytes(source), kArena);
}

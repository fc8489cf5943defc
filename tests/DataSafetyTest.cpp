// Paths on which a user's work could be lost: closing, exiting and saving with
// unsaved edits, working copies, and values in files that are not UTF-8.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "app/MainForm.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena = "[Warbird]\nBulletSpeed=2000\nMultiFireAngle=500\n[Misc]\nA=1\n";

class DataSafetyTest : public ::testing::Test {
 protected:
  MainWindowFixture fx;

  TMDIChild* open(const QString& name, const QByteArray& content = kArena) {
    return fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/") + name, content));
  }
  // An edit through the edit box, as a double click gives it.
  void edit(TMDIChild* doc, const QString& key, const QString& value) {
    ReportList* list = doc->shipList(0);
    fx.focusAndSelect(list, list->rowOf(key));
    fx.prompts.textAnswers.push_back(value);
    doc->editValueIn(list);
  }
  QMdiSubWindow* subOf(TMDIChild* doc) { return qobject_cast<QMdiSubWindow*>(doc->parentWidget()); }
  void activate(TMDIChild* doc) { fx.form->mdiArea()->setActiveSubWindow(subOf(doc)); }
  QString missingFolderTarget() { return fx.app.path(QStringLiteral("no/such/folder/arena.cfg")); }
  // Still open for the user: not merely not deleted yet (a closed window goes later),
  // but shown and among the documents.
  bool stillOpen(const QPointer<TMDIChild>& doc) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return doc && doc->isVisible() && subOf(doc)->isVisible() && fx.form->documents().contains(doc.data());
  }
};
}  // namespace

TEST_F(DataSafetyTest, AFailedOrCancelledSaveFromTheCloseBoxKeepsTheDocument) {
  TMDIChild* doc = open(QStringLiteral("arena.cfg"));
  edit(doc, QStringLiteral("BulletSpeed"), QStringLiteral("2500"));
  const QString working = doc->workingCopy();
  QPointer<TMDIChild> alive(doc);

  // Save, then a target that cannot be written: reported, and nothing closes.
  fx.prompts.messageAnswers = {QMessageBox::Save, QMessageBox::Ok};
  fx.prompts.saveAnswers = {missingFolderTarget()};
  clickCloseBox(subOf(doc));
  ASSERT_TRUE(stillOpen(alive));
  ASSERT_EQ(fx.prompts.messages().size(), 2);
  EXPECT_TRUE(
      fx.prompts.messages().back().contains(QStringLiteral("Unable to write to ") + missingFolderTarget()))
      << fx.prompts.messages().back().toStdString();
  EXPECT_TRUE(doc->isModified());
  EXPECT_TRUE(readBytes(working).contains("BulletSpeed=2500"));

  // Save, then Cancel in the save dialog.
  fx.prompts.messageAnswers = {QMessageBox::Save};
  fx.prompts.saveAnswers = {std::nullopt};
  clickCloseBox(subOf(doc));
  ASSERT_TRUE(stillOpen(alive));
  EXPECT_TRUE(doc->isModified());

  // The same through "&Close" (F4).
  fx.prompts.messageAnswers = {QMessageBox::Save, QMessageBox::Ok};
  fx.prompts.saveAnswers = {missingFolderTarget()};
  QTest::keyClick(fx.form.get(), Qt::Key_F4);
  ASSERT_TRUE(stillOpen(alive));
  EXPECT_TRUE(QFileInfo::exists(working));

  // A working save through the close box closes it, with the edit in the file.
  const QString source = fx.app.path(QStringLiteral("zone/arena.cfg"));
  fx.prompts.messageAnswers = {QMessageBox::Save, QMessageBox::Ok};
  fx.prompts.saveAnswers = {source};
  clickCloseBox(subOf(doc));
  ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 5000));
  EXPECT_TRUE(readBytes(source).contains("BulletSpeed=2500"));
}

TEST_F(DataSafetyTest, AFailedSaveStopsTheExitAndKeepsEveryWorkingCopy) {
  TMDIChild* a = open(QStringLiteral("a.cfg"));
  TMDIChild* b = open(QStringLiteral("b.cfg"));
  edit(a, QStringLiteral("BulletSpeed"), QStringLiteral("1"));
  edit(b, QStringLiteral("BulletSpeed"), QStringLiteral("2"));
  fx.prompts.messageAnswers = {QMessageBox::Save, QMessageBox::Ok};
  fx.prompts.saveAnswers = {missingFolderTarget()};
  EXPECT_FALSE(fx.form->close());
  EXPECT_TRUE(fx.form->isVisible());
  EXPECT_EQ(fx.form->documents().size(), 2);
  EXPECT_TRUE(readBytes(a->workingCopy()).contains("BulletSpeed=1"));
  EXPECT_TRUE(readBytes(b->workingCopy()).contains("BulletSpeed=2"));
  EXPECT_TRUE(a->isModified());
  // b was never asked: the exit stopped at a.
  EXPECT_EQ(fx.prompts.messages().filter(QStringLiteral("Save changes to b.cfg?")).size(), 0);
}

TEST_F(DataSafetyTest, ACancelledExitLeavesEveryDocumentAsItWas) {
  TMDIChild* a = open(QStringLiteral("a.cfg"));
  TMDIChild* b = open(QStringLiteral("b.cfg"));
  edit(a, QStringLiteral("BulletSpeed"), QStringLiteral("1"));
  edit(b, QStringLiteral("BulletSpeed"), QStringLiteral("2"));
  fx.prompts.messageAnswers = {QMessageBox::Discard, QMessageBox::Cancel};
  EXPECT_FALSE(fx.form->close());
  // a's close box asks again; Cancel keeps it.
  QPointer<TMDIChild> alive(a);
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  const auto asked = fx.prompts.messages().size();
  clickCloseBox(subOf(a));
  EXPECT_EQ(fx.prompts.messages().size(), asked + 1);
  EXPECT_EQ(fx.prompts.messages().back(), QStringLiteral("Save changes to a.cfg?"));
  EXPECT_TRUE(alive);
  // Close All cancelled on b leaves a askable too.
  fx.prompts.messageAnswers = {QMessageBox::Discard, QMessageBox::Cancel};
  fx.form->CloseAll1Execute();
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  activate(a);
  fx.form->FileClose1Execute();
  EXPECT_TRUE(alive);
  EXPECT_EQ(fx.form->documents().size(), 2);
}

TEST_F(DataSafetyTest, CloseClosesTheWindowItAskedAboutWhenAnotherArrivesMeanwhile) {
  TMDIChild* asked = open(QStringLiteral("asked.cfg"));
  edit(asked, QStringLiteral("BulletSpeed"), QStringLiteral("9"));
  QPointer<TMDIChild> askedAlive(asked);
  QPointer<TMDIChild> arrived;
  // A hand-over opens a document while the question is showing; it becomes current.
  fx.prompts.duringMessage = [&](const QString&) {
    fx.prompts.duringMessage = nullptr;
    arrived = open(QStringLiteral("arrived.cfg"));
  };
  fx.prompts.messageAnswers = {QMessageBox::Discard};
  QTest::keyClick(fx.form.get(), Qt::Key_F4);
  ASSERT_TRUE(arrived);
  EXPECT_FALSE(askedAlive);
  ASSERT_EQ(fx.form->documents().size(), 1);
  EXPECT_EQ(fx.form->documents().first()->fileName(), QStringLiteral("arrived.cfg"));
}

TEST_F(DataSafetyTest, OpeningAFileInTheWorkingFolderNeverDeletesIt) {
  const QString lying = fx.app.file(QStringLiteral("base/temp/kept.cfg"), kArena);
  TMDIChild* doc = fx.form->OpenDocument(lying);
  EXPECT_EQ(readBytes(lying), kArena);
  EXPECT_NE(doc->workingCopy(), lying);
  EXPECT_EQ(doc->shipList(0)->rowCount(), 2);

  // Another document's working copy opens as a copy of its current content, and is untouched.
  TMDIChild* first = open(QStringLiteral("first.cfg"));
  edit(first, QStringLiteral("BulletSpeed"), QStringLiteral("4242"));
  const QByteArray before = readBytes(first->workingCopy());
  TMDIChild* copy = fx.form->OpenDocument(first->workingCopy());
  EXPECT_EQ(readBytes(first->workingCopy()), before);
  EXPECT_EQ(readBytes(copy->workingCopy()), before);
  EXPECT_NE(copy->workingCopy(), first->workingCopy());
  EXPECT_EQ(copy->shipList(0)->value(copy->shipList(0)->rowOf(QStringLiteral("BulletSpeed"))),
            QStringLiteral("4242"));
}

TEST_F(DataSafetyTest, AWorkingCopyThatCannotBeMadeIsReportedAndNothingOpens) {
  // A source that cannot be read (a folder stands in for it, as root reads everything).
  const QString folder = fx.app.path(QStringLiteral("zone/folder.cfg"));
  QDir().mkpath(folder);
  try {
    fx.form->OpenDocument(folder);
    ADD_FAILURE() << "opened a folder";
  } catch (const TessaryError& e) {
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Unable to read ") + folder))
        << e.message().toStdString();
  }
  EXPECT_TRUE(fx.form->documents().isEmpty());

  // A full disk while the working copy is written.
  const QString source = fx.app.file(QStringLiteral("zone/full.cfg"), kArena);
  {
    const AtomicFile::Faults full({.writableBytes = 10});
    EXPECT_THROW(fx.form->OpenDocument(source), ProfileWriteError);
  }
  EXPECT_TRUE(fx.form->documents().isEmpty());
  EXPECT_TRUE(QDir(fx.app.paths().temp()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  EXPECT_EQ(readBytes(source), kArena);
}

TEST_F(DataSafetyTest, AFullDiskDuringASaveLeavesTheTargetAndTheDocument) {
  TMDIChild* doc = open(QStringLiteral("arena.cfg"));
  edit(doc, QStringLiteral("BulletSpeed"), QStringLiteral("3"));
  const QString source = fx.app.path(QStringLiteral("zone/arena.cfg"));
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  // The backup is written whole; the target's replacement then runs out of room.
  {
    const AtomicFile::Faults full({.writableBytes = kArena.size() + 5});
    EXPECT_THROW(fx.form->SaveDocument(), ProfileWriteError);
  }
  EXPECT_EQ(readBytes(source), kArena);
  EXPECT_TRUE(doc->isModified());
  EXPECT_EQ(QDir(fx.app.path(QStringLiteral("zone"))).entryList(QDir::Files | QDir::Hidden).size(), 2)
      << "only the file and its backup";
}

TEST_F(DataSafetyTest, CtrlSSavesTheActiveDocument) {
  TMDIChild* doc = open(QStringLiteral("arena.cfg"));
  edit(doc, QStringLiteral("MultiFireAngle"), QStringLiteral("777"));
  const QString target = fx.app.path(QStringLiteral("zone/saved.cfg"));
  fx.prompts.saveAnswers = {target};
  QTest::keyClick(fx.form.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(readBytes(target).contains("MultiFireAngle=777"));
  EXPECT_FALSE(doc->isModified());
}

TEST_F(DataSafetyTest, EditsWriteBackTheBytesTheUserSaw) {
  // Windows-1252 values (one with a byte the code page leaves undefined) beside a UTF-8 one.
  const QByteArray mixed =
      "[Warbird]\nName=caf\xE9\nOdd=x\x81y\nUtf=caf\xC3\xA9\nKeep=\xE9t\xE9\n[Misc]\nA=1\n";
  TMDIChild* doc = open(QStringLiteral("mixed.cfg"), mixed);
  ReportList* list = doc->shipList(0);
  EXPECT_EQ(list->value(list->rowOf(QStringLiteral("Name"))), QStringLiteral("caf\u00e9"));
  edit(doc, QStringLiteral("Name"), QStringLiteral("caf\u00e9s"));
  edit(doc, QStringLiteral("Odd"), QStringLiteral("x\u0081yz"));
  edit(doc, QStringLiteral("Utf"), QStringLiteral("caf\u00e9!"));
  EXPECT_EQ(
      readBytes(doc->workingCopy()),
      QByteArray("[Warbird]\nName=caf\xE9s\nOdd=x\x81yz\nUtf=caf\xC3\xA9!\nKeep=\xE9t\xE9\n[Misc]\nA=1\n"));
}

TEST_F(DataSafetyTest, ARepeatedSectionIsListedOnceWithTheKeysOfEveryCopy) {
  TMDIChild* doc =
      open(QStringLiteral("dup.cfg"), "[Warbird]\nA=1\n[Misc]\nX=1\n[Team]\nT=0\n[misc]\nY=2\nX=9\n");
  QComboBox* combo = doc->comboBox();
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items.append(combo->itemText(i));
  EXPECT_EQ(items, (QStringList{QStringLiteral("Misc"), QStringLiteral("Team")}));
  EXPECT_TRUE(combo->toolTip().contains(QStringLiteral("more than once"))) << combo->toolTip().toStdString();
  doc->FillOtherPage(doc->workingCopy(), QStringLiteral("Misc"));
  ReportList* other = doc->otherList();
  ASSERT_EQ(other->rowCount(), 2);
  EXPECT_EQ(other->value(other->rowOf(QStringLiteral("X"))), QStringLiteral("1"));
  EXPECT_EQ(other->value(other->rowOf(QStringLiteral("Y"))), QStringLiteral("2"));
  // An edit of a key of the later copy lands there.
  fx.focusAndSelect(other, other->rowOf(QStringLiteral("Y")));
  fx.prompts.textAnswers.push_back(QStringLiteral("3"));
  doc->editValueIn(other);
  EXPECT_EQ(readBytes(doc->workingCopy()),
            QByteArray("[Warbird]\nA=1\n[Misc]\nX=1\n[Team]\nT=0\n[misc]\nY=3\nX=9\n"));
  // A file without repeats says nothing of them.
  EXPECT_FALSE(
      open(QStringLiteral("plain.cfg"))->comboBox()->toolTip().contains(QStringLiteral("more than once")));
}

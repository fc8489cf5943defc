// The document without a window: its edits, copies and swaps as steps of its
// history, the recovery record that follows its unsaved mark, its kept parse of
// the working copy, and the failures that must leave the working copy whole.
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUndoStack>

#include "documents/Document.h"
#include "documents/Recovery.h"
#include "documents/WorkingCopies.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"
#include "tests/CoreSupport.h"

namespace {
const QByteArray kArena =
    "[Warbird]\r\nBulletSpeed=2000\r\nGravity=1\r\n\r\n[Javelin]\r\nBulletSpeed=1800\r\n\r\n[Misc]"
    "\r\nTeamMaxSize=0\r\n";

class DocumentTest : public ::testing::Test {
 protected:
  TempApp app;
  WorkingCopies copies{app.paths().temp()};
  Document doc{copies};
  QString source;

  void SetUp() override {
    source = app.file(QStringLiteral("zone/arena.cfg"), kArena);
    DiskStamp stamp;
    doc.setWorkingCopy(copies.create(QStringLiteral("arena.cfg"), source, &stamp));
    doc.setCaption(QStringLiteral("arena.cfg"));
    doc.setFilePath(source);
    doc.setType(QStringLiteral("Arena"));
    doc.setDiskStamp(stamp);
  }
  QByteArray working() const { return readBytes(doc.workingCopy()); }
  bool hasRecord() const { return QFile::exists(Recovery::recordPathFor(doc.workingCopy())); }
};
}  // namespace

TEST_F(DocumentTest, EditsCopiesAndSwapsAreStepsThatTheHistoryTakesBackToTheExactBytes) {
  int shown = 0;
  QObject::connect(&doc, &Document::valuesChanged, [&] { ++shown; });
  EXPECT_FALSE(doc.editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("1")));
  EXPECT_EQ(doc.undoStack()->count(), 0);
  EXPECT_FALSE(hasRecord());

  ASSERT_TRUE(doc.editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("7")));
  EXPECT_TRUE(working().contains("Gravity=7\r\n"));
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(hasRecord());
  EXPECT_EQ(shown, 1);

  // Javelin lacks Gravity: the copy adds it, the swap then exchanges the rest.
  Document::ShipPlan copy = doc.planCopy(0, 1, QString());
  EXPECT_EQ(copy.question, QStringLiteral("Copy the 2 settings of Warbird to Javelin?"));
  ASSERT_TRUE(copy.contentBefore.has_value());  // a key is added: undo puts the bytes back
  doc.apply(std::move(copy));
  EXPECT_EQ(doc.content().text(QStringLiteral("Javelin"), QStringLiteral("Gravity")), QStringLiteral("7"));
  EXPECT_EQ(doc.content().text(QStringLiteral("Javelin"), QStringLiteral("BulletSpeed")),
            QStringLiteral("2000"));
  ASSERT_TRUE(
      doc.editValue(QStringLiteral("Javelin"), QStringLiteral("BulletSpeed"), QStringLiteral("1500")));
  doc.apply(doc.planSwap(0, 1, QString()));
  EXPECT_EQ(doc.content().text(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed")),
            QStringLiteral("1500"));
  EXPECT_EQ(doc.undoStack()->count(), 4);

  // All the way back: the working copy is the file again, byte for byte, and the record goes.
  while (doc.undoStack()->canUndo()) doc.undoStack()->undo();
  EXPECT_EQ(working(), kArena);
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(hasRecord());
  while (doc.undoStack()->canRedo()) doc.undoStack()->redo();
  EXPECT_EQ(doc.content().text(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed")),
            QStringLiteral("1500"));
  EXPECT_TRUE(hasRecord());
}

TEST_F(DocumentTest, ItsKeptReadingOfTheWorkingCopyFollowsAWriteFromOutside) {
  EXPECT_EQ(doc.content().text(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize")), QStringLiteral("0"));
  // A tool writes the working copy directly (another size): the next read sees it.
  ProfileFile::writeText(doc.workingCopy(), QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"),
                         QStringLiteral("12"));
  EXPECT_EQ(doc.content().text(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize")), QStringLiteral("12"));
  // An edit then starts from what the file holds, and undo goes back to it, not to the old reading.
  ASSERT_TRUE(doc.editValue(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"), QStringLiteral("5")));
  doc.undoStack()->undo();
  EXPECT_TRUE(working().contains("TeamMaxSize=12"));
}

TEST_F(DocumentTest, AWriteTheDiskRefusesLeavesTheWorkingCopyTheReadingAndTheHistoryAsTheyWere) {
  ASSERT_TRUE(doc.editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("7")));
  const QByteArray before = working();
  {
    const AtomicFile::Faults full({.writableBytes = 0});
    EXPECT_THROW(doc.editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("8")),
                 ProfileWriteError);
    EXPECT_THROW(doc.apply(doc.planSwap(0, 1, QString())), ProfileWriteError);
  }
  EXPECT_EQ(working(), before);
  EXPECT_EQ(doc.undoStack()->count(), 1);
  // Nothing of the refused swap lingers in what the document reads or writes next.
  EXPECT_EQ(doc.content().text(QStringLiteral("Javelin"), QStringLiteral("BulletSpeed")),
            QStringLiteral("1800"));
  ASSERT_TRUE(doc.editValue(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"), QStringLiteral("3")));
  EXPECT_TRUE(working().contains("[Javelin]\r\nBulletSpeed=1800\r\n"));
  EXPECT_TRUE(working().contains("Gravity=7\r\n"));

  // An undo the disk refuses: the history goes once the step has ended, the document stays changed.
  int failed = 0;
  QObject::connect(&doc, &Document::historyFailed, [&] { ++failed; });
  {
    const AtomicFile::Faults full({.writableBytes = 0});
    doc.undoStack()->undo();
  }
  EXPECT_EQ(failed, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return doc.undoStack()->count() == 0; }, 5000));
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(working().contains("TeamMaxSize=3"));
}

TEST_F(DocumentTest, ASaveMovesTheDocumentToItsFileAndAReloadDropsTheEditsAndTheHistory) {
  ASSERT_TRUE(doc.editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("7")));
  const QString target = app.path(QStringLiteral("zone/renamed.cfg"));
  int saved = 0;
  QObject::connect(&doc, &Document::saved, [&] { ++saved; });
  doc.saveTo(target, QString(), DiskStamp::of(target));
  EXPECT_EQ(saved, 1);
  EXPECT_EQ(doc.caption(), QStringLiteral("renamed.cfg"));
  EXPECT_EQ(doc.filePath(), target);
  EXPECT_FALSE(doc.isModified());
  EXPECT_TRUE(readBytes(target).contains("Gravity=7\r\n"));
  EXPECT_EQ(doc.diskState(), Document::DiskState::Same);

  // Written by someone else: changed; reloaded: the file's content, nothing to undo.
  ASSERT_TRUE(doc.editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("9")));
  writeBytes(target, kArena);
  EXPECT_EQ(doc.diskState(), Document::DiskState::Changed);
  doc.reloadFromDisk();
  EXPECT_EQ(working(), kArena);
  EXPECT_EQ(doc.content().text(QStringLiteral("Warbird"), QStringLiteral("Gravity")), QStringLiteral("1"));
  EXPECT_EQ(doc.undoStack()->count(), 0);
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(hasRecord());
  QFile::remove(target);
  EXPECT_EQ(doc.diskState(), Document::DiskState::Deleted);
}

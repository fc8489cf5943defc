// A file that someone else writes while it is open is never replaced unseen:
// the save asks (overwrite, reload, cancel), a document without unsaved edits
// reads the file again, a deleted file is not silently recreated, and the last
// look right before the replace catches a write that races the question.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUndoStack>

#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "documents/DocumentSaver.h"
#include "documents/MDIChild.h"
#include "documents/Recovery.h"
#include "documents/ReportList.h"
#include "profile/DiskStamp.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"
#include "tools/CompareWindow.h"

namespace {
const QByteArray kArena = "[Warbird]\nBulletSpeed=2000\nGravity=1\n\n[Misc]\nTeamMaxSize=0\n";

QString valueOf(TMDIChild* doc, const QString& key) {
  ReportList* list = doc->shipList(0);
  return list->value(list->rowOf(key));
}

// The command-line tool writes the file, as an operator's script would.
void setWithTool(const QString& file, const char* section, const char* key, const char* value) {
  QProcess p;
  p.start(QStringLiteral(TESSARY_CFG_TOOL), {QStringLiteral("set"), file, QString::fromLatin1(section),
                                             QString::fromLatin1(key), QString::fromLatin1(value)});
  ASSERT_TRUE(p.waitForFinished(30000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

bool askedAbout(const ScriptedPrompts& prompts, const QString& words) {
  for (const QString& m : prompts.messages())
    if (m.contains(words)) return true;
  return false;
}

class DiskChangeTest : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  QString source;
  TMDIChild* doc = nullptr;
  void SetUp() override {
    source = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
    doc = fx.form->OpenDocument(source);
    ASSERT_NE(doc, nullptr);
  }
  void save(std::initializer_list<QMessageBox::StandardButton> answers) {
    fx.prompts.saveAnswers = {source};
    fx.prompts.messageAnswers = answers;
    doc->saveWithDialog();
  }
};
}  // namespace

TEST_F(DiskChangeTest, ASaveOverAFileWrittenElsewhereAsksAndCancelOrOverwriteDoWhatTheySay) {
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  setWithTool(source, "Misc", "TeamMaxSize", "99");
  const QByteArray outside = readBytes(source);
  ASSERT_TRUE(outside.contains("TeamMaxSize=99"));

  // Cancel: the outside value stays, the document keeps its edit.
  save({QMessageBox::Cancel});
  EXPECT_TRUE(askedAbout(fx.prompts, source + QStringLiteral(" has changed on disk")));
  EXPECT_FALSE(askedAbout(fx.prompts, QStringLiteral("Are You Sure You Want To Overwrite")));
  EXPECT_EQ(readBytes(source), outside);
  EXPECT_TRUE(doc->isModified());

  // Overwrite, chosen knowingly: the window's copy goes to the file.
  fx.prompts.asked.clear();
  save({QMessageBox::Save});
  EXPECT_TRUE(askedAbout(fx.prompts, QStringLiteral("has changed on disk")));
  EXPECT_TRUE(readBytes(source).contains("BulletSpeed=2600"));
  EXPECT_FALSE(readBytes(source).contains("TeamMaxSize=99"));
  EXPECT_FALSE(doc->isModified());

  // From then on the file is the document's again: the next save asks only the usual question.
  fx.prompts.asked.clear();
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("5"));
  save({QMessageBox::Ok});
  EXPECT_FALSE(askedAbout(fx.prompts, QStringLiteral("has changed on disk")));
  EXPECT_TRUE(askedAbout(fx.prompts, QStringLiteral("Are You Sure You Want To Overwrite")));
  EXPECT_TRUE(readBytes(source).contains("Gravity=5"));
}

TEST_F(DiskChangeTest, ReloadLosesTheWindowsEditsOnlyAfterASecondQuestion) {
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  writeBytes(source, "[Warbird]\nBulletSpeed=1234\nGravity=1\n\n[Misc]\nTeamMaxSize=99\n");
  const QByteArray outside = readBytes(source);
  // Reload, then No: nothing changes anywhere.
  save({QMessageBox::Reset, QMessageBox::No});
  EXPECT_TRUE(askedAbout(fx.prompts, QStringLiteral("Discard the unsaved changes to arena.cfg")));
  EXPECT_EQ(valueOf(doc, QStringLiteral("BulletSpeed")), QStringLiteral("2600"));
  EXPECT_TRUE(doc->isModified());
  // Reload, then Yes: the document shows the file as it is now and has nothing to save.
  save({QMessageBox::Reset, QMessageBox::Yes});
  EXPECT_EQ(valueOf(doc, QStringLiteral("BulletSpeed")), QStringLiteral("1234"));
  EXPECT_FALSE(doc->isModified());
  EXPECT_FALSE(doc->undoStack()->canUndo());
  EXPECT_EQ(readBytes(doc->workingCopy()), outside);
  EXPECT_EQ(readBytes(source), outside);
}

TEST_F(DiskChangeTest, ADocumentWithoutEditsReadsItsChangedFileAgainAndOneWithEditsIsOnlyTold) {
  setWithTool(source, "Warbird", "BulletSpeed", "3100");
  // The watcher notices while the program is in front; the check also runs at each activation.
  if (QGuiApplication::applicationState() == Qt::ApplicationActive)
    ASSERT_TRUE(QTest::qWaitFor([&] { return valueOf(doc, QStringLiteral("BulletSpeed")) == "3100"; }, 5000));
  fx.form->checkDisk();
  EXPECT_EQ(valueOf(doc, QStringLiteral("BulletSpeed")), QStringLiteral("3100"));
  EXPECT_FALSE(doc->isModified());

  // With unsaved edits the edits stay; the status bar says what happened.
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("7"));
  setWithTool(source, "Warbird", "BulletSpeed", "3200");
  fx.form->checkDisk();
  EXPECT_EQ(valueOf(doc, QStringLiteral("Gravity")), QStringLiteral("7"));
  EXPECT_EQ(valueOf(doc, QStringLiteral("BulletSpeed")), QStringLiteral("3100"));
  EXPECT_TRUE(doc->isModified());
  EXPECT_TRUE(fx.form->statusText().contains(QStringLiteral("changed on disk")));

  // A file only touched (same bytes, new time) is no change.
  doc->undoStack()->undo();
  ASSERT_FALSE(doc->isModified());
  setWithTool(source, "Warbird", "BulletSpeed", "3100");  // back to what the document read
  writeBytes(source, readBytes(source));
  fx.form->checkDisk();
  EXPECT_EQ(valueOf(doc, QStringLiteral("BulletSpeed")), QStringLiteral("3100"));
  fx.prompts.asked.clear();
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("8"));
  save({QMessageBox::Ok});
  EXPECT_FALSE(askedAbout(fx.prompts, QStringLiteral("has changed on disk")));
  EXPECT_TRUE(readBytes(source).contains("Gravity=8"));
}

TEST_F(DiskChangeTest, AFileDeletedWhileOpenIsNotRecreatedUnasked) {
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  ASSERT_TRUE(QFile::remove(source));
  save({QMessageBox::Cancel});
  EXPECT_TRUE(askedAbout(fx.prompts, source + QStringLiteral(" has been deleted or moved")));
  EXPECT_FALSE(QFile::exists(source));
  save({QMessageBox::Save});
  ASSERT_TRUE(QFile::exists(source));
  EXPECT_TRUE(readBytes(source).contains("BulletSpeed=2600"));
  EXPECT_FALSE(askedAbout(fx.prompts, QStringLiteral("Are You Sure You Want To Overwrite")));
}

TEST_F(DiskChangeTest, AWriteBetweenTheQuestionAndTheReplaceIsCaughtAndAskedAbout) {
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  // While the overwrite question is open, another program writes the file.
  bool once = true;
  fx.prompts.duringMessage = [&](const QString& text) {
    if (once && text.contains(QStringLiteral("Are You Sure"))) {
      once = false;
      writeBytes(source, "[Warbird]\nBulletSpeed=1\n[Misc]\nTeamMaxSize=42\n");
    }
  };
  save({QMessageBox::Ok, QMessageBox::Cancel});
  EXPECT_TRUE(askedAbout(fx.prompts, QStringLiteral("has changed on disk")));
  EXPECT_TRUE(readBytes(source).contains("TeamMaxSize=42"));
  EXPECT_TRUE(doc->isModified());
}

TEST(DiskChange, ARecoveredDocumentAsksBeforeReplacingAFileWrittenSinceTheCrash) {
  MainWindowFixture fx;
  const QString source = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
  TMDIChild* doc = fx.form->OpenDocument(source);
  QProcess doomed;
  doomed.start(QCoreApplication::applicationFilePath(), sleeperArguments());
  ASSERT_TRUE(doomed.waitForStarted(10000));
  doc->document()->setRecoveryOwner({doomed.processId(), Recovery::startTimeOf(doomed.processId())});
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  fx.form->endWithoutQuestions();
  fx.form.reset();
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
  doomed.kill();  // as kill -9 ends it
  doomed.waitForFinished(10000);
  // After the crash and before the next start, the zone's script writes the file.
  setWithTool(source, "Misc", "TeamMaxSize", "99");
  const QByteArray outside = readBytes(source);

  fx.form = TessaryApp::createWindows(fx.app.paths(), fx.prompts, {});
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  fx.form->offerRecovery();
  ASSERT_EQ(fx.form->documents().size(), 1);
  TMDIChild* back = fx.form->documents().first();
  fx.prompts.asked.clear();
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  EXPECT_FALSE(back->saveWithDialog());
  EXPECT_TRUE(askedAbout(fx.prompts, QStringLiteral("has changed on disk")));
  EXPECT_EQ(readBytes(source), outside);
  EXPECT_TRUE(back->isModified());
}

TEST(DiskChange, ABrandNewDocumentSavedUnderANewNameIsNotAskedAboutOverwriting) {
  MainWindowFixture fx;
  TMDIChild* doc = fx.form->NewDocument();
  ASSERT_NE(doc, nullptr);
  const QString target = fx.app.path(QStringLiteral("storage/")) + doc->fileName();
  ASSERT_FALSE(QFile::exists(target));
  fx.prompts.saveAnswers = {target};
  ASSERT_TRUE(doc->saveWithDialog());
  EXPECT_FALSE(askedAbout(fx.prompts, QStringLiteral("Are You Sure You Want To Overwrite")));
  EXPECT_TRUE(QFile::exists(target));
  // Saved again there, the file exists now: the question comes.
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("3"));
  fx.prompts.saveAnswers = {target};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  ASSERT_TRUE(doc->saveWithDialog());
  EXPECT_TRUE(askedAbout(fx.prompts, QStringLiteral("Are You Sure You Want To Overwrite")));
}

TEST_F(DiskChangeTest, CompareShowsWhatTheFileOnDiskHoldsAgainstTheDocumentAndSavesNothing) {
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  setWithTool(source, "Misc", "TeamMaxSize", "99");
  const QByteArray outside = readBytes(source);
  save({QMessageBox::Open});
  auto* window = fx.form->findChild<TCompareWindow*>(QStringLiteral("CompareWindow"));
  ASSERT_TRUE(window && window->isVisible());
  EXPECT_EQ(window->document(), doc);
  QStringList rows;
  const QAbstractItemModel* shown = window->list()->model();
  for (int i = 0; i < shown->rowCount(); ++i)
    for (int c = 0; c < shown->rowCount(shown->index(i, 0)); ++c) {
      auto cell = [&](int column) { return shown->index(c, column, shown->index(i, 0)).data().toString(); };
      rows.append(cell(0) + QLatin1Char('=') + cell(1) + QLatin1Char('|') + cell(2));
    }
  rows.sort();
  EXPECT_EQ(rows, (QStringList{"BulletSpeed=2600|2000", "TeamMaxSize=0|99"}));
  EXPECT_EQ(readBytes(source), outside);
  EXPECT_TRUE(doc->isModified());
}

TEST_F(DiskChangeTest, AFileThatBecameUnreadableIsToldOnceNotAtEveryActivation) {
  ASSERT_TRUE(QFile::remove(source));
  ASSERT_TRUE(QDir().mkpath(source));  // a folder where the file was
  fx.prompts.asked.clear();
  fx.form->checkDisk();
  fx.form->checkDisk();
  EXPECT_TRUE(fx.prompts.messages().isEmpty()) << fx.prompts.messages().join('|').toStdString();
  EXPECT_TRUE(fx.form->statusText().contains(QStringLiteral("Unable to read")))
      << fx.form->statusText().toStdString();
  EXPECT_EQ(readBytes(doc->workingCopy()), kArena);  // the document stays as it was
}

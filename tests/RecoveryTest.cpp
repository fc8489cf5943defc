// Unsaved edits come back after a crash: the record beside the working copy, the
// offer at the next start, Recover, Discard and Later.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "documents/MDIChild.h"
#include "documents/Recovery.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena = "[Warbird]\nBulletSpeed=2000\nGravity=1\n\n[Misc]\nTeamMaxSize=0\n";

// A real process that the test can end with kill -9.
struct Sleeper {
  QProcess process;
  Sleeper() {
    process.start(QStringLiteral("sleep"), {QStringLiteral("300")});
    process.waitForStarted(10000);
  }
  qint64 pid() const { return process.processId(); }
  void kill9() {
    ::kill(static_cast<pid_t>(pid()), SIGKILL);
    process.waitForFinished(10000);
  }
  ~Sleeper() {
    process.kill();
    process.waitForFinished(5000);
  }
};

QStringList recordsIn(const QString& folder) {
  return QDir(folder).entryList({QStringLiteral("*.recovery")}, QDir::Files);
}
}  // namespace

TEST(Recovery, ARecordNamesItsOwnerAndOnlyAnEndedOwnersRecordIsOffered) {
  TempApp app;
  QDir().mkpath(app.paths().temp());
  const QString working = app.file(QStringLiteral("base/temp/arena.cfg"), kArena);
  Sleeper owner;
  ASSERT_GT(owner.pid(), 0);
  Recovery::setOwnerForTesting(owner.pid(), Recovery::startTimeOf(owner.pid()));
  Recovery::write(working, QStringLiteral("/zone/arena.cfg"), QStringLiteral("arena.cfg"),
                  QStringLiteral("Arena"));
  Recovery::setOwnerForTesting(0, {});
  // While its copy runs, the record is never touched.
  EXPECT_TRUE(Recovery::orphans(app.paths().temp()).isEmpty());
  owner.kill9();
  const QList<Recovery::Record> found = Recovery::orphans(app.paths().temp());
  ASSERT_EQ(found.size(), 1);
  EXPECT_EQ(found[0].source, QStringLiteral("/zone/arena.cfg"));
  EXPECT_EQ(found[0].caption, QStringLiteral("arena.cfg"));
  EXPECT_EQ(found[0].workingCopy, working);
  EXPECT_TRUE(found[0].time.isValid());
  // A process id taken again by another process is not the owner: its start time differs.
  Sleeper other;
  Recovery::setOwnerForTesting(other.pid(), QStringLiteral("1"));
  Recovery::write(working, QString(), QStringLiteral("arena.cfg"), QStringLiteral("Arena"));
  Recovery::setOwnerForTesting(0, {});
  EXPECT_EQ(Recovery::orphans(app.paths().temp()).size(), 1);
  // No working copy, nothing to offer.
  QFile::remove(working);
  EXPECT_TRUE(Recovery::orphans(app.paths().temp()).isEmpty());
}

TEST(Recovery, TheNextStartOffersTheEditsRecoverOpensThemAndSaveWritesTheOriginal) {
  MainWindowFixture fx;
  const QString source = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
  TMDIChild* doc = fx.form->OpenDocument(source);
  ASSERT_NE(doc, nullptr);
  // The running copy is one that then dies: its records name a process killed with -9.
  Sleeper doomed;
  Recovery::setOwnerForTesting(doomed.pid(), Recovery::startTimeOf(doomed.pid()));
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  Recovery::setOwnerForTesting(0, {});
  EXPECT_EQ(recordsIn(fx.app.paths().temp()).size(), 1);
  // Undone to the saved state: the record goes; edited again, it comes back.
  doc->undoStack()->undo();
  EXPECT_TRUE(recordsIn(fx.app.paths().temp()).isEmpty());
  Recovery::setOwnerForTesting(doomed.pid(), Recovery::startTimeOf(doomed.pid()));
  doc->undoStack()->redo();
  Recovery::setOwnerForTesting(0, {});
  ASSERT_EQ(recordsIn(fx.app.paths().temp()).size(), 1);
  // The crash: the program ends without a question and keeps the edits; its process dies.
  fx.form->endWithoutQuestions();
  fx.form.reset();
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
  doomed.kill9();
  ASSERT_EQ(recordsIn(fx.app.paths().temp()).size(), 1);

  // "Later" keeps it for another start.
  fx.form = TessaryApp::createWindows(fx.app.paths(), fx.prompts, {});
  fx.prompts.messageAnswers = {QMessageBox::Ignore};
  fx.form->offerRecovery();
  EXPECT_EQ(fx.prompts.messages().back(), QStringLiteral("Recover unsaved changes to arena.cfg?"));
  EXPECT_TRUE(fx.form->documents().isEmpty());
  EXPECT_EQ(recordsIn(fx.app.paths().temp()).size(), 1);
  // "Recover": the document as it was, marked as changed, under its own name and path.
  fx.prompts.messageAnswers = {QMessageBox::Yes};
  fx.form->offerRecovery();
  ASSERT_EQ(fx.form->documents().size(), 1);
  TMDIChild* back = fx.form->documents().first();
  EXPECT_EQ(back->fileName(), QStringLiteral("arena.cfg"));
  EXPECT_EQ(back->filePath(), source);
  EXPECT_TRUE(back->isModified());
  EXPECT_EQ(back->shipList(0)->value(back->shipList(0)->rowOf(QStringLiteral("BulletSpeed"))),
            QStringLiteral("2600"));
  EXPECT_EQ(readBytes(source), kArena);  // the file itself waits for Save
  EXPECT_TRUE(fx.form->action(QStringLiteral("Save1"))->isEnabled());
  EXPECT_TRUE(fx.form->action(QStringLiteral("CompareWith1"))->isEnabled());
  // The old working copy and its record were taken over; the new copy has its own record.
  EXPECT_EQ(recordsIn(fx.app.paths().temp()).size(), 1);

  // Save writes the original file.
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  ASSERT_TRUE(back->saveWithDialog());
  EXPECT_EQ(ProfileFile(source).value("Warbird", "BulletSpeed"), QByteArray("2600"));
  EXPECT_FALSE(back->isModified());
  EXPECT_TRUE(recordsIn(fx.app.paths().temp()).isEmpty());
}

TEST(Recovery, DiscardRemovesTheRecordAndTheWorkingCopy) {
  MainWindowFixture fx;
  QDir().mkpath(fx.app.paths().temp());
  const QString working = fx.app.file(QStringLiteral("base/temp/lost.cfg"), kArena);
  Sleeper doomed;
  Recovery::setOwnerForTesting(doomed.pid(), Recovery::startTimeOf(doomed.pid()));
  Recovery::write(working, QString(), QStringLiteral("New1.cfg"), QStringLiteral("Arena"));
  Recovery::setOwnerForTesting(0, {});
  doomed.kill9();
  fx.prompts.messageAnswers = {QMessageBox::Discard};
  fx.form->offerRecovery();
  EXPECT_EQ(fx.prompts.messages().back(), QStringLiteral("Recover unsaved changes to New1.cfg?"));
  EXPECT_FALSE(QFileInfo::exists(working));
  EXPECT_TRUE(recordsIn(fx.app.paths().temp()).isEmpty());
  EXPECT_TRUE(fx.form->documents().isEmpty());
}

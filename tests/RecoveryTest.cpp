// Unsaved edits come back after a crash: the record beside the working copy, the
// offer at the next start, Recover, Discard and Later.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "components/Prompts.h"
#include "documents/MDIChild.h"
#include "documents/Recovery.h"
#include "documents/ReportList.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "tests/RecoveryRecords.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena = "[Warbird]\nBulletSpeed=2000\nGravity=1\n\n[Misc]\nTeamMaxSize=0\n";

QStringList recordsIn(const QString& folder) {
  return QDir(folder).entryList({QStringLiteral("*.recovery")}, QDir::Files);
}
}  // namespace

TEST(Recovery, TheNextStartOffersTheEditsRecoverOpensThemAndSaveWritesTheOriginal) {
  MainWindowFixture fx;
  const QString source = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
  TMDIChild* doc = fx.form->OpenDocument(source);
  ASSERT_NE(doc, nullptr);
  // The running copy is one that then dies: its records name a process killed with -9.
  Sleeper doomed;
  doc->document()->setRecoveryOwner({doomed.pid(), Recovery::startTimeOf(doomed.pid())});
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("BulletSpeed"), QStringLiteral("2600"));
  EXPECT_EQ(recordsIn(fx.app.paths().temp()).size(), 1);
  // Undone to the saved state: the record goes; edited again, it comes back.
  doc->undoStack()->undo();
  EXPECT_TRUE(recordsIn(fx.app.paths().temp()).isEmpty());
  doc->undoStack()->redo();
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
  EXPECT_EQ(fx.prompts.messages().back(),
            QStringLiteral("Recover unsaved changes to arena.cfg?\n\nSave will write it to %1.").arg(source));
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
  Recovery::write(working, QString(), QStringLiteral("New1.cfg"), QStringLiteral("Arena"), {},
                  {doomed.pid(), Recovery::startTimeOf(doomed.pid())});
  doomed.kill9();
  fx.prompts.messageAnswers = {QMessageBox::Discard};
  fx.form->offerRecovery();
  EXPECT_EQ(fx.prompts.messages().back(),
            QStringLiteral(
                "Recover unsaved changes to New1.cfg?\n\nNew1.cfg was never saved: Save will ask where to "
                "write it."));
  EXPECT_FALSE(QFileInfo::exists(working));
  EXPECT_TRUE(recordsIn(fx.app.paths().temp()).isEmpty());
  EXPECT_TRUE(fx.form->documents().isEmpty());
}

TEST(Recovery, RecordsThatAreNotSafelyTheUsersOwnAreSkippedReportedAndNeverWritten) {
  SKIP_ON_WINDOWS("FIFOs, links, other users");
#ifndef _WIN32
  MainWindowFixture fx;
  const QString temp = fx.app.paths().temp();
  QDir().mkpath(temp);
  const qint64 dead = endedPid();
  // A caption that climbs out of base/temp.
  const QString victim = fx.app.path(QStringLiteral("victim"));
  QDir().mkpath(victim);
  plantRecord(fx.app.file(QStringLiteral("base/temp/a.cfg"), kArena), "../../../victim/planted.desktop", dead,
              "1");
  // A working copy that is a link to a file the user must not copy about.
  const QString secret = fx.app.file(QStringLiteral("secret"), "root:secret\n");
  ASSERT_TRUE(QFile::link(secret, temp + QStringLiteral("/b.cfg")));
  plantRecord(temp + QStringLiteral("/b.cfg"), "b.cfg", dead, "1");
  // A pipe: opening it for reading would wait forever.
  ASSERT_EQ(::mkfifo(QFile::encodeName(temp + QStringLiteral("/c.cfg")).constData(), 0600), 0);
  plantRecord(temp + QStringLiteral("/c.cfg"), "c.cfg", dead, "1");
  // Another user's record.
  const QString theirs = fx.app.file(QStringLiteral("base/temp/d.cfg"), kArena);
  plantRecord(theirs, "d.cfg", dead, "1");
  if (::geteuid() == 0)
    ASSERT_EQ(::chown(QFile::encodeName(Recovery::recordPathFor(theirs)).constData(), 65534, 65534), 0);
  // A relative source path.
  plantRecord(fx.app.file(QStringLiteral("base/temp/e.cfg"), kArena), "e.cfg", dead, "1", "zone/e.cfg");

  const Recovery::Scan scan = Recovery::scan(temp);
  EXPECT_TRUE(scan.records.isEmpty());
  EXPECT_EQ(scan.skipped.size(), ::geteuid() == 0 ? 5 : 4) << scan.skipped.join('\n').toStdString();
  fx.prompts.asked.clear();
  fx.form->offerRecovery();
  EXPECT_TRUE(fx.prompts.messages().isEmpty());  // nothing offered, nothing asked
  EXPECT_TRUE(fx.form->documents().isEmpty());
  EXPECT_TRUE(QDir(victim).isEmpty());
  EXPECT_TRUE(fx.form->statusText().contains(QStringLiteral("were skipped")));
  // Nothing was removed either: what is not ours is not touched.
  EXPECT_TRUE(QFileInfo(temp + QStringLiteral("/b.cfg")).isSymLink());
  EXPECT_EQ(readBytes(secret), QByteArray("root:secret\n"));
#endif
}

TEST(Recovery, SeveralRecordsComeAsOneListRecoverAllDiscardAllOrOneByOne) {
  MainWindowFixture fx;
  QDir().mkpath(fx.app.paths().temp());
  const qint64 dead = endedPid();
  const QString source = fx.app.file(QStringLiteral("zone/x0.cfg"), kArena);
  ASSERT_TRUE(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
  auto plantThree = [&] {
    for (int i = 0; i < 3; ++i) {
      const QByteArray name = "x" + QByteArray::number(i) + ".cfg";
      plantRecord(fx.app.file(QStringLiteral("base/temp/") + QString::fromLatin1(name), kArena), name, dead,
                  "1", QFile::encodeName(fx.app.path(QStringLiteral("zone/") + QString::fromLatin1(name))));
    }
  };
  plantThree();
  fx.prompts.messageAnswers = {QMessageBox::YesToAll};
  fx.form->offerRecovery();
  ASSERT_EQ(fx.prompts.messages().size(), 1);
  EXPECT_TRUE(
      fx.prompts.messages().back().startsWith(QStringLiteral("Recover unsaved changes to 3 documents?")));
  EXPECT_TRUE(fx.prompts.messages().back().contains(source));
  ASSERT_EQ(fx.form->documents().size(), 3);
  // The recovered working copy is as private as its file.
  TMDIChild* first = nullptr;
  for (TMDIChild* d : fx.form->documents())
    if (d->fileName() == QStringLiteral("x0.cfg")) first = d;
  ASSERT_NE(first, nullptr);
#ifndef _WIN32  // permission bits for group and others
  EXPECT_EQ(QFileInfo(first->workingCopy()).permissions() & (QFile::ReadOther | QFile::WriteOther),
            QFileDevice::Permissions());
  EXPECT_TRUE(QFileInfo(first->workingCopy()).permissions() & QFile::ReadGroup);
#endif
  // A recovered document edited and undone still differs from its file.
  first->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("9"));
  first->undoStack()->undo();
  EXPECT_TRUE(first->isModified());

  // Discard All: the records and their working copies go.
  for (TMDIChild* d : fx.form->documents()) d->setCloseConfirmed(true);
  fx.form->mdiArea()->closeAllSubWindows();
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.form->documents().isEmpty(); }, 5000));
  plantThree();
  fx.prompts.asked.clear();
  fx.prompts.messageAnswers = {QMessageBox::NoToAll};
  fx.form->offerRecovery();
  EXPECT_EQ(fx.prompts.messages().size(), 1);
  EXPECT_TRUE(Recovery::scan(fx.app.paths().temp()).records.isEmpty());
  EXPECT_TRUE(fx.form->documents().isEmpty());

  // Choose: one question each.
  plantThree();
  fx.prompts.asked.clear();
  fx.prompts.messageAnswers = {QMessageBox::Open, QMessageBox::Yes, QMessageBox::Ignore,
                               QMessageBox::Discard};
  fx.form->offerRecovery();
  EXPECT_EQ(fx.prompts.messages().size(), 4);
  EXPECT_EQ(fx.form->documents().size(), 1);
  EXPECT_EQ(Recovery::scan(fx.app.paths().temp()).records.size(), 1);  // the one left for later
}

TEST(Recovery, TheQuestionIsPlainTextInARealMessageBox) {
  QWidget parent;
  QtPrompts prompts;
  Qt::TextFormat format = Qt::RichText;
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    format = box->textFormat();
    shown = box->text();
    box->reject();
  });
  prompts.choose(
      &parent, QMessageBox::Question, QStringLiteral("t"),
      QStringLiteral("Recover unsaved changes to <img src=\"/etc/x.png\"><b>a</b>.cfg?"),
      {{QMessageBox::Yes, QStringLiteral("&Recover")}, {QMessageBox::Ignore, QStringLiteral("&Later")}});
  EXPECT_EQ(format, Qt::PlainText);
  EXPECT_TRUE(shown.contains(QStringLiteral("<b>a</b>")));
}

TEST(Recovery, AnUndoWhoseWriteFailedLeavesTheDocumentChangedThroughLaterEditsAndUndos) {
  MainWindowFixture fx;
  const QString source = fx.app.file(QStringLiteral("zone/arena.cfg"), kArena);
  TMDIChild* doc = fx.form->OpenDocument(source);
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("9"));
  {
    const AtomicFile::Faults full({.writableBytes = 0});
    doc->undoStack()->undo();
  }
  // The history goes once the failed step has ended (a queued call); the document counts as changed.
  ASSERT_TRUE(QTest::qWaitFor([&] { return doc->isModified() && doc->undoStack()->count() == 0; }, 5000));
  doc->editValue(QStringLiteral("Warbird"), QStringLiteral("Gravity"), QStringLiteral("10"));
  doc->undoStack()->undo();
  EXPECT_TRUE(doc->isModified());  // the working copy still holds Gravity=9, which the file never had
  fx.prompts.messageAnswers = {QMessageBox::Discard};
}

TEST(Recovery, OnAFirstStartTheRealQuestionBelongsToTheOptionsDialogWhichHasTheInputAfterIt) {
  TempApp app;
  QDir().mkpath(app.paths().temp());
  const qint64 dead = endedPid();
  plantRecord(app.file(QStringLiteral("base/temp/a.cfg"), kArena), "a.cfg", dead, "1");
  // Real boxes, answered as a user would: the first-start warning with OK, the question with Later.
  QtPrompts prompts;
  QStringList seen;
  QWidget* questionParent = nullptr;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen.append(box->text());
    if (box->text().startsWith(QStringLiteral("Recover"))) {
      questionParent = box->parentWidget();
      for (QAbstractButton* b : box->buttons())
        if (b->text() == QStringLiteral("&Later")) b->click();
    } else {
      box->button(QMessageBox::Ok)->click();
    }
  });
  answer.start(20);
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {});
  form->show();
  auto* options = form->adopted<QWidget>(QStringLiteral("TForm1"));
  ASSERT_TRUE(options && options->isVisible());
  options->raise();
  options->activateWindow();
  form->offerRecovery();
  answer.stop();
  ASSERT_EQ(seen.size(), 2) << seen.join('|').toStdString();
  EXPECT_EQ(questionParent, options);
  EXPECT_FALSE(form->isEnabled());  // Options still holds the main window's input ...
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return QApplication::activeWindow() == options; }, 5000));  // ... and has it
  options->close();
  form.reset();
  QDir::setCurrent(QDir::tempPath());
}

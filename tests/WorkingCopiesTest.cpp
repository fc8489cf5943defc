#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <thread>

#include "documents/DocumentSaver.h"
#include "documents/WorkingCopies.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"
#include "tests/CoreSupport.h"

namespace {
class WorkingCopiesTest : public ::testing::Test {
 protected:
  TempApp app;
  QString temp() const { return app.paths().temp(); }
};
}  // namespace

TEST_F(WorkingCopiesTest, NamesAreNeverSharedWithOwnCopiesOrFilesAlreadyThere) {
  WorkingCopies copies(temp());
  const QString foreign = app.file(QStringLiteral("base/temp/a.cfg"), "theirs");
  const QString source = app.file(QStringLiteral("a.cfg"), "mine");
  const QString first = copies.create(QStringLiteral("a.cfg"), source);
  const QString second = copies.create(QStringLiteral("a.cfg"), source);
  EXPECT_EQ(first, temp() + QStringLiteral("/a (2).cfg"));
  EXPECT_EQ(second, temp() + QStringLiteral("/a (3).cfg"));
  EXPECT_EQ(readBytes(first), QByteArray("mine"));
  EXPECT_EQ(readBytes(foreign), QByteArray("theirs"));
  // A second running copy in the same folder picks names of its own.
  WorkingCopies other(temp());
  EXPECT_EQ(other.createWith(QStringLiteral("a.cfg"), "x"), temp() + QStringLiteral("/a (4).cfg"));
  copies.removeAll();
  EXPECT_FALSE(QFileInfo::exists(first));
  EXPECT_FALSE(QFileInfo::exists(second));
  EXPECT_TRUE(QFileInfo::exists(foreign));
  EXPECT_TRUE(QFileInfo::exists(temp() + QStringLiteral("/a (4).cfg")));
}

TEST_F(WorkingCopiesTest, MissingSourceGivesAnEmptyCopyUnreadableGivesNone) {
  WorkingCopies copies(temp());
  const QString empty = copies.create(QStringLiteral("gone.cfg"), app.path(QStringLiteral("gone.cfg")));
  EXPECT_TRUE(QFileInfo::exists(empty));
  EXPECT_EQ(readBytes(empty), QByteArray());
  QDir().mkpath(app.path(QStringLiteral("dir.cfg")));
  EXPECT_THROW(copies.create(QStringLiteral("dir.cfg"), app.path(QStringLiteral("dir.cfg"))),
               ProfileReadError);
  EXPECT_EQ(copies.paths(), QStringList{empty});
}

TEST_F(WorkingCopiesTest, FollowRenamesAfterTheSavedNameOnlyWhenItChanges) {
  WorkingCopies copies(temp());
  const QString w = copies.createWith(QStringLiteral("New1.cfg"), "content");
  const QString followed = copies.follow(w, QStringLiteral("zone.cfg"));
  EXPECT_EQ(followed, temp() + QStringLiteral("/zone.cfg"));
  EXPECT_EQ(readBytes(followed), QByteArray("content"));
  EXPECT_FALSE(QFileInfo::exists(w));
  EXPECT_TRUE(copies.owns(followed));
  EXPECT_FALSE(copies.owns(w));
  // Already named after it (numbered or not): stays.
  const QString numbered = copies.createWith(QStringLiteral("zone.cfg"), "2");
  EXPECT_EQ(copies.follow(numbered, QStringLiteral("zone.cfg")), numbered);
}

TEST_F(WorkingCopiesTest, TheWorkingFolderIsRecognisedThroughLinksAndNewNames) {
  WorkingCopies copies(temp());
  EXPECT_TRUE(copies.isInsideFolder(temp() + QStringLiteral("/not-yet.cfg")));
  EXPECT_TRUE(copies.isInsideFolder(temp() + QStringLiteral("/../temp/x.cfg")));
#ifndef _WIN32  // a symbolic link needs administrator rights there
  QFile::link(temp(), app.path(QStringLiteral("link")));
  EXPECT_TRUE(copies.isInsideFolder(app.path(QStringLiteral("link/x.cfg"))));
#endif
  EXPECT_FALSE(copies.isInsideFolder(app.path(QStringLiteral("base/temperature/x.cfg"))));
  EXPECT_FALSE(copies.isInsideFolder(app.path(QStringLiteral("x.cfg"))));
  EXPECT_FALSE(DocumentSaver::refusal(copies, temp() + QStringLiteral("/x.cfg")).isEmpty());
  EXPECT_TRUE(DocumentSaver::refusal(copies, app.path(QStringLiteral("x.cfg"))).isEmpty());
}

TEST_F(WorkingCopiesTest, SaveKeepsTheOldestBackupAndFailsWithoutTouchingTheTarget) {
  const QString w = app.file(QStringLiteral("w.cfg"), "new");
  const QString target = app.file(QStringLiteral("t.cfg"), "old");
  DocumentSaver::save(w, target);
  EXPECT_EQ(readBytes(target), QByteArray("new"));
  EXPECT_EQ(readBytes(target + QStringLiteral("x")), QByteArray("old"));
  writeBytes(w, "newer");
  DocumentSaver::save(w, target);
  EXPECT_EQ(readBytes(target + QStringLiteral("x")), QByteArray("old"));
  EXPECT_EQ(readBytes(target), QByteArray("newer"));
  // A missing working copy saves nothing and moves nothing aside.
  const QString other = app.file(QStringLiteral("o.cfg"), "keep");
  EXPECT_THROW(DocumentSaver::save(app.path(QStringLiteral("gone.cfg")), other), TessaryError);
  EXPECT_EQ(readBytes(other), QByteArray("keep"));
  EXPECT_FALSE(QFileInfo::exists(other + QStringLiteral("x")));
  // A backup that cannot be written stops the save before the target changes.
  {
    const AtomicFile::Faults full({.writableBytes = 0});
    EXPECT_THROW(DocumentSaver::save(w, other), TessaryError);
  }
  EXPECT_EQ(readBytes(other), QByteArray("keep"));
  // Only the backup fails (its folder is gone); the target could be written, and is not.
  try {
    DocumentSaver::save(w, other, app.path(QStringLiteral("no-such-folder/o.cfgx")));
    ADD_FAILURE() << "saved without its backup";
  } catch (const TessaryError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(QStringLiteral("Unable to write the backup ")))
        << e.what();
  }
  EXPECT_EQ(readBytes(other), QByteArray("keep"));
}

TEST_F(WorkingCopiesTest, TwoRunningCopiesChoosingAtTheSameMomentNeverShareAName) {
  // Two copies of the program (two threads here), each with its own list, take
  // names after the same file at the same moments: the reservation decides.
  for (int round = 0; round < 50; ++round) {
    WorkingCopies one(temp());
    WorkingCopies two(temp());
    QStringList a, b;
    std::atomic<bool> go{false};
    auto make = [&](WorkingCopies& copies, QStringList& out, const QByteArray& content) {
      while (!go) {
      }
      for (int i = 0; i < 4; ++i) out.append(copies.createWith(QStringLiteral("race.cfg"), content));
    };
    std::thread t1(make, std::ref(one), std::ref(a), QByteArray("one"));
    std::thread t2(make, std::ref(two), std::ref(b), QByteArray("two"));
    go = true;
    t1.join();
    t2.join();
    QStringList all = a + b;
    all.removeDuplicates();
    ASSERT_EQ(all.size(), 8) << "round " << round << ": " << (a + b).join(QLatin1Char(' ')).toStdString();
    for (const QString& p : a) EXPECT_EQ(readBytes(p), QByteArray("one"));
    for (const QString& p : b) EXPECT_EQ(readBytes(p), QByteArray("two"));
    one.removeAll();
    two.removeAll();
  }
}

TEST_F(WorkingCopiesTest, FollowNeverReplacesAFileThatTookTheNameMeanwhile) {
  WorkingCopies copies(temp());
  const QString w = copies.createWith(QStringLiteral("New1.cfg"), "mine");
  // Another running copy's file appears under the very name follow picks, as it picks it.
  const QString theirs = temp() + QStringLiteral("/zone.cfg");
  int calls = 0;
  copies.beforeRename = [&](const QString& to) {
    if (calls++ == 0 && to == theirs) writeBytes(theirs, "theirs");
  };
  const QString followed = copies.follow(w, QStringLiteral("zone.cfg"));
  EXPECT_EQ(readBytes(theirs), QByteArray("theirs"));
  EXPECT_NE(followed, theirs);
  EXPECT_EQ(readBytes(followed), QByteArray("mine"));
  EXPECT_TRUE(copies.owns(followed));
  EXPECT_FALSE(copies.owns(theirs));
}

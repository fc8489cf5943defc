// The rules that need no window, in the test program that links only the core:
// update items, the saver's last look, the hand-over queue, recovery records.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/HandOverQueue.h"
#include "documents/DocumentSaver.h"
#include "documents/Recovery.h"
#include "profile/DiskStamp.h"
#include "profile/TessaryError.h"
#include "tests/CoreSupport.h"
#include "tests/RecoveryRecords.h"
#include "update/HttpDownload.h"
#include "update/UpdateItems.h"
#include "update/UpdateRun.h"

using UpdateItems::Kind;

namespace {
const QByteArray kArena = "[Warbird]\nBulletSpeed=2000\nGravity=1\n\n[Misc]\nTeamMaxSize=0\n";
}  // namespace

TEST(Recovery, ARecordNamesItsOwnerAndOnlyAnEndedOwnersRecordIsOffered) {
  TempApp app;
  QDir().mkpath(app.paths().temp());
  const QString working = app.file(QStringLiteral("base/temp/arena.cfg"), kArena);
  Sleeper owner;
  ASSERT_GT(owner.pid(), 0);
  Recovery::write(working, QStringLiteral("/zone/arena.cfg"), QStringLiteral("arena.cfg"),
                  QStringLiteral("Arena"), {}, {owner.pid(), Recovery::startTimeOf(owner.pid())});
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
  Recovery::write(working, QString(), QStringLiteral("arena.cfg"), QStringLiteral("Arena"), {},
                  {other.pid(), QStringLiteral("1")});
  EXPECT_EQ(Recovery::orphans(app.paths().temp()).size(), 1);
  // No working copy, nothing to offer.
  QFile::remove(working);
  EXPECT_TRUE(Recovery::orphans(app.paths().temp()).isEmpty());
}

TEST(Recovery, AFolderThatIsNotPrivateOrALinkIsNotSearched) {
  SKIP_ON_WINDOWS(
      "a symbolic link needs administrator rights there; folders are private by their access lists");
#ifndef _WIN32
  TempApp app;
  const QString elsewhere = app.path(QStringLiteral("elsewhere"));
  QDir().mkpath(elsewhere);
  const qint64 dead = endedPid();
  plantRecord(app.file(QStringLiteral("elsewhere/a.cfg"), kArena), "a.cfg", dead, "1");
  QDir(app.paths().temp()).removeRecursively();
  ASSERT_TRUE(QFile::link(elsewhere, app.paths().temp()));
  const Recovery::Scan scan = Recovery::scan(app.paths().temp());
  EXPECT_TRUE(scan.records.isEmpty());
  ASSERT_EQ(scan.skipped.size(), 1);
  EXPECT_TRUE(scan.skipped[0].contains(QStringLiteral("symbolic link")));
  // The real folder, the user's own, is made private and searched.
  EXPECT_EQ(Recovery::scan(elsewhere).records.size(), 1);
  EXPECT_EQ(QFileInfo(elsewhere).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup),
            QFileDevice::Permissions());
#endif
}

TEST(Recovery, TheOwnersStartTimeIsField22AndAMissingOneProvesNoOwner) {
  SKIP_ON_WINDOWS("no /proc; the creation time of GetProcessTimes is tested on its own");
#ifndef _WIN32
  // Field 22 read here independently: every field after the command name, counted from 3.
  QFile stat(QStringLiteral("/proc/self/stat"));
  ASSERT_TRUE(stat.open(QIODevice::ReadOnly));
  const QByteArray text = stat.readAll();
  const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).trimmed().split(' ');
  ASSERT_GT(fields.size(), 19);
  EXPECT_EQ(Recovery::startTimeOf(::getpid()), QString::fromLatin1(fields[22 - 3]));
  EXPECT_NE(Recovery::startTimeOf(::getpid()), QString::fromLatin1(fields[21 - 3]));
  EXPECT_TRUE(Recovery::isRunning(::getpid(), Recovery::startTimeOf(::getpid())));
  // A record without a start time cannot prove that the live process with its number is its owner.
  EXPECT_FALSE(Recovery::isRunning(::getpid(), QString()));
  TempApp app;
  QDir().mkpath(app.paths().temp());
  plantRecord(app.file(QStringLiteral("base/temp/a.cfg"), kArena), "a.cfg", ::getpid(), "");
  EXPECT_EQ(Recovery::scan(app.paths().temp()).records.size(), 1);
#endif
}

TEST(UpdateItems, TheListSplitsAsTheManifestWritesIt) {
  const QChar comma(QLatin1Char(','));
  struct Case {
    const char* text;
    QStringList items;
  };
  for (const Case& c : {
           Case{R"(mkdir:base\images\new,Tessary.exe,help.hlp)",
                {R"(mkdir:base\images\new)", "Tessary.exe", "help.hlp"}},
           Case{"a.txt, b.txt", {"a.txt", "b.txt"}},
           Case{"a b", {"a", "b"}},  // a blank inside ends the item
           Case{"a,,b", {"a", "", "b"}},
           Case{"a,", {"a", ""}},  // a comma at the very end
           Case{",a", {"", "a"}},
           Case{"  \t a \r\n, b  ", {"a", "b"}},
           Case{R"("a b.txt",c)", {"a b.txt", "c"}},
           Case{R"("say ""hi""",x)", {R"(say "hi")", "x"}},
           Case{"", {}},
       })
    EXPECT_EQ(UpdateItems::split(QString::fromUtf8(c.text), comma), c.items) << c.text;
  EXPECT_EQ(UpdateItems::parts(QStringLiteral(R"(mkdir:base\a:rmdir:base\b)")),
            (QStringList{"mkdir", R"(base\a)", "rmdir", R"(base\b)"}));
  EXPECT_TRUE(UpdateItems::isFileItem(QStringLiteral("help.hlp")));
  EXPECT_FALSE(UpdateItems::isFileItem(QStringLiteral("rndir:x")));
  // Known files, letter case aside; the running executable's own name counts as "Tessary.exe".
  EXPECT_EQ(UpdateItems::kindOf(QStringLiteral("TESSARY.EXE"), QStringLiteral("tessary")), Kind::Executable);
  EXPECT_EQ(UpdateItems::kindOf(QStringLiteral("Tessary"), QStringLiteral("tessary")), Kind::Executable);
  EXPECT_EQ(UpdateItems::kindOf(QStringLiteral("Config.INI"), QStringLiteral("tessary")), Kind::Preferences);
  EXPECT_EQ(UpdateItems::kindOf(QStringLiteral("Help.hlp"), QStringLiteral("tessary")), Kind::Help);
  EXPECT_EQ(UpdateItems::kindOf(QStringLiteral("cfgcheck.cdu"), QStringLiteral("tessary")), Kind::Rules);
  EXPECT_EQ(UpdateItems::kindOf(QStringLiteral("tessary.bak"), QStringLiteral("tessary")), Kind::Other);
  // The kept executable: its extension replaced, or one given.
  EXPECT_EQ(UpdateItems::backupNameOf(QStringLiteral("/opt/t/Tessary.exe")),
            QStringLiteral("/opt/t/Tessary.BAK"));
  EXPECT_EQ(UpdateItems::backupNameOf(QStringLiteral("/opt/t.d/tessary")),
            QStringLiteral("/opt/t.d/tessary.BAK"));
}

TEST(UpdateItems, ThePercentageRoundsHalvesToEvenAndStopsAtAHundred) {
  EXPECT_EQ(UpdateItems::percentText(300, 3), QStringLiteral("100%"));
  EXPECT_EQ(UpdateItems::percentText(1, 2), QStringLiteral("0%"));  // 0.5
  EXPECT_EQ(UpdateItems::percentText(3, 2), QStringLiteral("2%"));  // 1.5
  EXPECT_EQ(UpdateItems::percentText(5, 2), QStringLiteral("2%"));  // 2.5
  EXPECT_EQ(UpdateItems::percentText(7, 2), QStringLiteral("4%"));  // 3.5
  EXPECT_EQ(UpdateItems::percentText(101, 3), QStringLiteral("34%"));
  EXPECT_EQ(UpdateItems::percentText(300, 2), QStringLiteral("100%"));  // two steps of one item
}

TEST(UpdateItems, FoldersStayInsideTheProgramsFolder) {
  EXPECT_EQ(UpdateItems::relativeFolder(QStringLiteral(R"(base\images\new)")),
            QStringLiteral("base/images/new"));
  EXPECT_EQ(UpdateItems::relativeFolder(QStringLiteral("base/./a/")), QStringLiteral("base/a"));
  for (const char* bad :
       {"", ".", R"(..\outside)", "base/../../x", R"(base\..\..)", "/etc", R"(\etc)", "//x", "base/a\x01"})
    EXPECT_FALSE(UpdateItems::relativeFolder(QString::fromUtf8(bad))) << bad;

#ifndef _WIN32  // a symbolic link needs administrator rights on Windows
  TempApp app;
  QTemporaryDir outside;
  QDir().mkpath(app.path(QStringLiteral("base")));
  ASSERT_EQ(::symlink(QFile::encodeName(outside.path()).constData(),
                      QFile::encodeName(app.path(QStringLiteral("base/link"))).constData()),
            0);
  EXPECT_EQ(UpdateItems::outsideProblem(app.path(QString()), QStringLiteral("base/new")), QString());
  EXPECT_NE(UpdateItems::outsideProblem(app.path(QString()), QStringLiteral("base/link/x")), QString());
  EXPECT_NE(UpdateItems::outsideProblem(app.path(QString()), QStringLiteral("base/link")), QString());
#endif
}

TEST(DiskChange, TheSaverReplacesOnlyWhatItWasToldIsThere) {
  TempApp app;
  const QString working = app.file(QStringLiteral("w.cfg"), "[A]\nk=2\n");
  const QString target = app.file(QStringLiteral("t.cfg"), "[A]\nk=1\n");
  const DiskStamp seen = DiskStamp::of(target);
  writeBytes(target, "[A]\nk=1\nother=9\n");
  EXPECT_THROW(DocumentSaver::save(working, target, QString(), seen), FileChangedError);
  EXPECT_EQ(readBytes(target), QByteArray("[A]\nk=1\nother=9\n"));
  const DiskStamp written = DocumentSaver::save(working, target, QString(), DiskStamp::of(target));
  EXPECT_EQ(readBytes(target), QByteArray("[A]\nk=2\n"));
  EXPECT_FALSE(written.contentDiffers(DiskStamp::of(target)));
  EXPECT_FALSE(written.looksDifferent(DiskStamp::look(target)));
  // The record's text form keeps all of it; anything malformed is no stamp.
  const std::optional<DiskStamp> back = DiskStamp::fromText(written.toText());
  ASSERT_TRUE(back.has_value());
  EXPECT_FALSE(back->contentDiffers(written));
  EXPECT_FALSE(back->looksDifferent(written));
  EXPECT_FALSE(DiskStamp::fromText(QStringLiteral("12 34 notahash")).has_value());
  EXPECT_FALSE(DiskStamp::fromText(DiskStamp::fromText(QStringLiteral("missing"))->toText())->exists);
}

TEST(HandOverQueue, AFileOpenedByTheKeyIsNotOpenedAgainBySocketWithinItsWindowOnly) {
  qint64 now = 1000;
  HandOverQueue queue([&] { return now; });
  queue.openedByKey(QStringLiteral("/a.cfg"));
  now += 29999;  // within 30 s
  EXPECT_FALSE(queue.takeOpenedByKey(QStringLiteral("/b.cfg")));
  EXPECT_TRUE(queue.takeOpenedByKey(QStringLiteral("/a.cfg")));   // the socket's copy of it: skipped
  EXPECT_FALSE(queue.takeOpenedByKey(QStringLiteral("/a.cfg")));  // used up: a later hand-over opens it
  // Past the window the record is gone: the same file handed over much later opens.
  queue.openedByKey(QStringLiteral("/a.cfg"));
  now += 30001;
  EXPECT_FALSE(queue.takeOpenedByKey(QStringLiteral("/a.cfg")));
  // Waiting files keep their order.
  queue.append(QStringLiteral("/1.cfg"));
  queue.append(QStringLiteral("/2.cfg"));
  EXPECT_EQ(queue.takeFirst(), QStringLiteral("/1.cfg"));
  EXPECT_EQ(queue.takeFirst(), QStringLiteral("/2.cfg"));
  EXPECT_TRUE(queue.isEmpty());
}

namespace {
// What a run tells its page, as the page would show it.
struct Told {
  QStringList statuses;
  QString failure;
  int maximum = -1;
  int steps = 0;
  UpdateRun::Reporter reporter() {
    UpdateRun::Reporter r;
    r.status = [this](const QString& t) { statuses.append(t); };
    r.failed = [this](const QString& t) { failure = t; };
    r.startProgress = [this](int m) { maximum = m; };
    r.step = [this](qint64) { ++steps; };
    r.pause = [](int) { return true; };
    r.ending = [] { return false; };
    return r;
  }
};
}  // namespace

TEST(UpdateRun, ARunWithoutAPageSaysWhatItDoesAndRefusesBeforeDoingAnything) {
  TempApp app;
  HttpDownloader http;
  const UpdateRun::Places places{app.path(QString()), app.paths().updates(),
                                 app.path(QStringLiteral("tessary"))};
  auto manifest = [&](const QByteArray& version, const QByteArray& list) {
    writeBytes(app.paths().updates() + QStringLiteral("/update.cdu"),
               "[Info]\r\nFullUpdateVersion=" + version + "\r\n[Operations]\r\nFullUpdate=" + list + "\r\n");
  };
  // Not newer than the running build: nothing happens.
  manifest("2.2.0.2", "mkdir:base\\new");
  Told same;
  EXPECT_EQ(UpdateRun(places, http, QStringLiteral("2.2.0.2"), QStringLiteral("http://127.0.0.1:9/"),
                      same.reporter())
                .run(),
            UpdateRun::Outcome::NotNewer);
  EXPECT_FALSE(QFileInfo::exists(app.path(QStringLiteral("base/new"))));
  // A folder outside the program's folder among good items: refused before the first is made.
  manifest("2.2.0.3", "mkdir:base\\new,mkdir:..\\outside");
  Told hostile;
  EXPECT_EQ(UpdateRun(places, http, QStringLiteral("2.2.0.2"), QStringLiteral("http://127.0.0.1:9/"),
                      hostile.reporter())
                .run(),
            UpdateRun::Outcome::Failed);
  EXPECT_EQ(hostile.failure,
            QStringLiteral(
                "Status: Update Failed: mkdir:..\\outside names a folder outside the program's folder..."));
  EXPECT_FALSE(QFileInfo::exists(app.path(QStringLiteral("base/new"))));
  // Folder operations alone: made, one step each, in place.
  manifest("2.2.0.3", "mkdir:base\\new:mkdir:base\\new\\deeper");
  Told ok;
  EXPECT_EQ(
      UpdateRun(places, http, QStringLiteral("2.2.0.2"), QStringLiteral("http://127.0.0.1:9/"), ok.reporter())
          .run(),
      UpdateRun::Outcome::Installed);
  EXPECT_TRUE(QFileInfo(app.path(QStringLiteral("base/new/deeper"))).isDir());
  EXPECT_EQ(ok.maximum, 100);
  EXPECT_EQ(ok.steps, 2);
  EXPECT_EQ(ok.statuses.last(), QStringLiteral("Status: Completed Updating [mkdir] Directory Structure..."));
  EXPECT_TRUE(ok.failure.isEmpty());
}

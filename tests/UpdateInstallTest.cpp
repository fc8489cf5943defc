// The installation of an update: the item rules, and whole runs of "Download
// Updates?" against a small HTTP server, in a temporary application folder
// holding a copy of the built program.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>

#include "app/InstanceLock.h"
#include "app/MainForm.h"
#include "app/OneInstance.h"
#include "app/Restart.h"
#include "components/Prompts.h"
#include "components/SegmentedProgressBar.h"
#include "documents/MDIChild.h"
#include "prefs/OptionsDialog.h"
#include "prefs/UpdatesPage.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"
#include "tests/TinyServer.h"
#include "update/HttpDownload.h"
#include "update/UpdateInstall.h"
#include "update/UpdateItems.h"

using UpdateItems::Kind;

namespace {
const QByteArray kRoot = "/velkor/Tessaryv2/update/";

QByteArray sha256(const QByteArray& data) {
  return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

// The built program with another build number in its version block.
QByteArray builtProgramAs(const QByteArray& version) {
  const QByteArray exe = withFileVersion(readBytes(QStringLiteral(TESSARY_EXE)), version);
  EXPECT_FALSE(exe.isEmpty()) << "no version block of that build in the program";
  return exe;
}

// The next build number of the same length: 2.2.0.2 gives 2.2.0.3.
QByteArray nextVersion() {
  QByteArray v = TESSARY_VERSION;
  EXPECT_LT(v.back(), '9');
  v.back() = static_cast<char>(v.back() + 1);
  return v;
}

class InstallTest : public ::testing::Test {
 protected:
  TempApp app;
  TinyServer server;
  ScriptedPrompts prompts;
  UpdateInstall::MoveFaults moveFaults;  // outlives the page that uses it
  std::unique_ptr<UpdatesPage> page;
  std::map<QByteArray, QByteArray> digests;  // item -> digest written into the manifest
  const QByteArray oldProgram = "#!/bin/sh\necho old build\n";
  // A new build carries the announced build number in its version block.
  const QByteArray newBuild = builtProgramAs(nextVersion());

  void SetUp() override {
    qputenv("TESSARY_UPDATE_URL", server.base().toUtf8());
    QDir().mkpath(app.paths().updates());
    writeBytes(app.paths().executable(), oldProgram);
    ::chmod(QFile::encodeName(app.paths().executable()).constData(), 0750);
    page = std::make_unique<UpdatesPage>(app.paths(), prompts);
    page->setInstantPauses(true);
    page->setInstallFaults(&moveFaults);
  }
  void TearDown() override { qunsetenv("TESSARY_UPDATE_URL"); }
  // A file on the server, with its digest for the manifest.
  void publish(const QByteArray& name, const QByteArray& body) {
    server.answers[kRoot + name] = {"200 OK", {}, body};
    digests[name] = sha256(body);
  }
  // The cached manifest, as a check leaves it.
  void manifest(const QByteArray& version, const QByteArray& list) {
    QByteArray text = "[Info]\r\nLatestVersion=" + version + "\r\nFullUpdateVersion=" + version +
                      "\r\n[Operations]\r\nFullUpdate=" + list + "\r\n[SHA256]\r\n";
    for (const auto& [name, digest] : digests) text += name + "=" + digest + "\r\n";
    writeBytes(app.paths().updates() + QStringLiteral("/update.cdu"), text);
  }
  QString label(const char* name) const {
    return page->findChild<QLabel*>(QString::fromLatin1(name))->text();
  }
  QPushButton* button(const char* name) const {
    return page->findChild<QPushButton*>(QString::fromLatin1(name));
  }
  TQProgressBar* overall() const { return page->findChild<TQProgressBar*>(QStringLiteral("QProgressBar2")); }
  bool red() const {
    return page->findChild<QLabel*>(QStringLiteral("Label1"))->palette().color(QPalette::WindowText) ==
           QColor(Qt::red);
  }
  QByteArray file(const QString& relative) const { return readBytes(app.path(relative)); }
  bool exists(const QString& relative) const { return QFileInfo::exists(app.path(relative)); }
  bool fetched(const QByteArray& name) const {
    for (const QByteArray& r : server.requests)
      if (r.startsWith("GET " + kRoot + name + " ")) return true;
    return false;
  }
  bool restartMessageShown() const {
    return prompts.messages().contains(QStringLiteral("Update Completed, Tessarine will now restart...\r"));
  }
};
}  // namespace

TEST_F(InstallTest, AFolderAndTwoFilesWithTheProgressAndTheRestartWithoutFreezingTheWindows) {
  page->setInstantPauses(false);  // the real pauses and animation, once
  publish("Tessary.exe", newBuild);
  publish("help.hlp", "new help");
  writeBytes(app.paths().helpFile(), "old help");
  QDir().mkpath(app.path(QStringLiteral("base/images")));
  manifest(nextVersion(), R"(mkdir:base\images\new,Tessary.exe,help.hlp)");
  QSignalSpy restart(page.get(), &UpdatesPage::restartRequested);
  prompts.messageAnswers.push_back(QMessageBox::Ok);
  // The windows go on working through the pauses: a timer keeps firing.
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(50);
  page->BitBtn6Click();
  timer.stop();
  EXPECT_GT(ticks, 20);

  EXPECT_TRUE(QFileInfo(app.path(QStringLiteral("base/images/new"))).isDir());
  EXPECT_EQ(file(QStringLiteral("tessary")), newBuild);
  EXPECT_EQ(file(QStringLiteral("tessary.BAK")), oldProgram);
  EXPECT_EQ(QFileInfo(app.paths().executable()).permissions(),
            QFileInfo(app.path(QStringLiteral("tessary.BAK"))).permissions());  // the old one's bits
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("new help"));
  EXPECT_FALSE(exists(QStringLiteral("base/help.hlp.before-update")));
  EXPECT_EQ(overall()->maximum(), 300);
  EXPECT_EQ(overall()->position(), 300);
  EXPECT_EQ(label("Label12"), QStringLiteral("100%"));
  EXPECT_EQ(label("Label1"), QStringLiteral("Status: Updated help.hlp..."));
  EXPECT_TRUE(restartMessageShown());
  ASSERT_EQ(restart.count(), 1);
  EXPECT_EQ(restart.at(0).at(0).toString(), app.paths().executable());
}

TEST_F(InstallTest, AnEqualBuildIsRefusedAndTheCheckIsOfferedAgain) {
  publish("help.hlp", "new help");
  manifest(TESSARY_VERSION, "help.hlp");
  button("BitBtn6")->show();
  button("BitBtn5")->hide();
  page->BitBtn6Click();
  EXPECT_EQ(label("Label1"), QStringLiteral("Status: Updates Failed Server Version Incorrect..."));
  EXPECT_FALSE(button("BitBtn5")->isHidden());
  EXPECT_TRUE(button("BitBtn6")->isHidden());
  EXPECT_TRUE(server.requests.isEmpty());
  EXPECT_FALSE(restartMessageShown());
}

TEST_F(InstallTest, FilesTheInstallerDoesNotKnowStayFetchedAndTheCloseBoxKeepsTheProgramRunning) {
  publish("a.txt", "A");
  publish("b.txt", "B");
  manifest(nextVersion(), "a.txt, b.txt");
  QSignalSpy restart(page.get(), &UpdatesPage::restartRequested);
  prompts.messageAnswers.push_back(QMessageBox::NoButton);  // the close box
  page->BitBtn6Click();
  EXPECT_EQ(file(QStringLiteral("base/updates/a.txt")), QByteArray("A"));
  EXPECT_EQ(file(QStringLiteral("base/updates/b.txt")), QByteArray("B"));
  EXPECT_EQ(label("Label12"), QStringLiteral("0%"));  // no step
  EXPECT_TRUE(restartMessageShown());
  EXPECT_EQ(restart.count(), 0);
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
}

TEST_F(InstallTest, AFailedDownloadStopsTheRunWithNothingInstalled) {
  publish("Tessary.exe", newBuild);
  publish("help.hlp", "new help");
  writeBytes(app.paths().helpFile(), "old help");
  for (const QByteArray& list : {QByteArray("Tessary.exe,missing.txt,help.hlp"),     // the second of three
                                 QByteArray("Tessary.exe,help.hlp,missing.txt")}) {  // the last
    server.requests.clear();
    prompts.asked.clear();
    manifest(nextVersion(), list);
    page->BitBtn6Click();
    EXPECT_TRUE(label("Label1").contains(QStringLiteral("missing.txt"))) << label("Label1").toStdString();
    EXPECT_TRUE(red());
    EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram) << list.toStdString();
    EXPECT_FALSE(exists(QStringLiteral("tessary.BAK")));
    EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help"));
    EXPECT_FALSE(restartMessageShown());
    EXPECT_TRUE(button("BitBtn6")->isEnabled());  // it can be pressed again
  }
  // The first list stopped before its third item.
  server.requests.clear();
  manifest(nextVersion(), "Tessary.exe,missing.txt,help.hlp");
  page->BitBtn6Click();
  EXPECT_FALSE(fetched("help.hlp"));
}

TEST_F(InstallTest, ThePreferencesKeepTheUsersValuesAndTheOldFileGoesToTheBackups) {
  const QByteArray old = "[Paths]\r\ncfgStorageDir=/home/op/cfgs\r\nOnlyOld=1\r\n";
  writeBytes(app.paths().configIni(), old);
  QDir(app.paths().backups()).removeRecursively();  // made by the run
  publish("config.ini", "[Paths]\r\ncfgStorageDir=\r\nNewKey=default\r\n[Misc]\r\nUpdatesChecked=\r\n");
  publish("Tessary.exe", newBuild);
  manifest(nextVersion(), "Tessary.exe,config.ini");
  QSignalSpy restart(page.get(), &UpdatesPage::restartRequested);
  prompts.messageAnswers.push_back(QMessageBox::NoButton);  // the close box: the program goes on
  page->BitBtn6Click();
  EXPECT_EQ(file(QStringLiteral("base/config.ini")),
            QByteArray("[Paths]\r\ncfgStorageDir=/home/op/cfgs\r\nNewKey=\r\n[Misc]\r\nUpdatesChecked=\r\n"));
  EXPECT_EQ(file(QStringLiteral("base/backups/config.inb")), old);
  EXPECT_FALSE(exists(QStringLiteral("base/config.inb")));
  // Closed with the close box: still running, the old build kept as .BAK, the new one in place.
  EXPECT_EQ(restart.count(), 0);
  EXPECT_EQ(file(QStringLiteral("tessary.BAK")), oldProgram);
  EXPECT_EQ(file(QStringLiteral("tessary")), newBuild);
}

TEST_F(InstallTest, AnItemOfTwoFolderOperationsMakesTwoStepsAndTheFileAfterItIsInstalled) {
  QDir().mkpath(app.path(QStringLiteral("base/b")));
  publish("help.hlp", "new help");
  manifest(nextVersion(), R"(mkdir:base\a:rmdir:base\b,help.hlp)");
  prompts.messageAnswers.push_back(QMessageBox::Ok);
  page->BitBtn6Click();
  EXPECT_TRUE(QFileInfo(app.path(QStringLiteral("base/a"))).isDir());
  EXPECT_FALSE(exists(QStringLiteral("base/b")));
  EXPECT_EQ(overall()->position(), 300);  // two steps for the operations, one for the file
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("new help"));
  EXPECT_EQ(label("Label12"), QStringLiteral("100%"));
  EXPECT_TRUE(restartMessageShown());
  // A second run counts from nothing again.
  QDir().mkpath(app.path(QStringLiteral("base/b")));
  QDir().rmdir(app.path(QStringLiteral("base/a")));
  prompts.messageAnswers.push_back(QMessageBox::Ok);
  page->BitBtn6Click();
  EXPECT_EQ(overall()->position(), 300);
  EXPECT_EQ(label("Label12"), QStringLiteral("100%"));
}

TEST_F(InstallTest, ItemsAndFoldersOutsideTheProgramsFolderAreRefusedBeforeAnythingIsDone) {
  SKIP_ON_WINDOWS("symbolic links");
#ifndef _WIN32
  QTemporaryDir outside;
  ASSERT_EQ(::symlink(QFile::encodeName(outside.path()).constData(),
                      QFile::encodeName(app.path(QStringLiteral("base/link"))).constData()),
            0);
  publish("help.hlp", "new help");
  writeBytes(app.paths().helpFile(), "old help");
  struct Case {
    QByteArray list;
    QString item;  // named in the status line
  };
  for (const Case& c :
       {Case{R"(mkdir:base\ok,..\evil.txt,help.hlp)", R"(..\evil.txt)"},
        Case{"mkdir:base/ok,../evil.txt,help.hlp", "../evil.txt"},
        Case{"help.hlp,/etc/passwd", "/etc/passwd"},
        Case{R"(mkdir:base\ok,mkdir:..\outside)", R"(mkdir:..\outside)"},
        Case{"rmdir:/tmp,help.hlp", "rmdir:/tmp"},
        Case{R"(help.hlp,mkdir:base\ok:rmdir:base\..\..)", R"(mkdir:base\ok:rmdir:base\..\..)"}}) {
    server.requests.clear();
    manifest(nextVersion(), c.list);
    page->BitBtn6Click();
    EXPECT_TRUE(
        label("Label1").startsWith(QStringLiteral("Status: Update Failed: ") + c.item + QLatin1Char(' ')))
        << label("Label1").toStdString();
    EXPECT_TRUE(red());
    EXPECT_TRUE(server.requests.isEmpty()) << c.list.toStdString();
    EXPECT_FALSE(exists(QStringLiteral("base/ok"))) << c.list.toStdString();
  }
  // A folder reached through a link that leads outside: refused when its turn comes.
  manifest(nextVersion(), R"(mkdir:base\link\x,help.hlp)");
  page->BitBtn6Click();
  EXPECT_TRUE(label("Label1").startsWith(QStringLiteral(R"(Status: Update Failed: mkdir:base\link\x )")))
      << label("Label1").toStdString();
  EXPECT_FALSE(QFileInfo::exists(outside.path() + QStringLiteral("/x")));
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help"));
  EXPECT_FALSE(restartMessageShown());
#endif
}

TEST_F(InstallTest, AWrongOrMissingDigestInstallsNothing) {
  publish("Tessary.exe", newBuild);
  publish("help.hlp", "new help");
  writeBytes(app.paths().helpFile(), "old help");
  // A server that changes a file after the manifest was made (or lies about it).
  server.answers[kRoot + "help.hlp"].body = "evil help";
  manifest(nextVersion(), "Tessary.exe,help.hlp");
  page->BitBtn6Click();
  EXPECT_EQ(
      label("Label1"),
      QStringLiteral("Status: Update Failed: help.hlp does not match its SHA-256 digest in the manifest..."));
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help"));
  EXPECT_FALSE(restartMessageShown());
  // No digest for the program: refused before anything is fetched.
  digests.erase("Tessary.exe");
  server.requests.clear();
  manifest(nextVersion(), "help.hlp,tessary");
  page->BitBtn6Click();
  EXPECT_TRUE(
      label("Label1").startsWith(QStringLiteral("Status: Update Failed: tessary has no SHA-256 digest")))
      << label("Label1").toStdString();
  EXPECT_TRUE(server.requests.isEmpty());
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
}

TEST_F(InstallTest, AFailingStepOfTheInstallationPutsBackWhatItReplaced) {
  const QByteArray oldPrefs = "[Paths]\r\ncfgStorageDir=/home/op\r\n";
  writeBytes(app.paths().configIni(), oldPrefs);
  writeBytes(app.paths().helpFile(), "old help");
  publish("Tessary.exe", newBuild);
  publish("config.ini", "[Paths]\r\ncfgStorageDir=\r\n");
  publish("help.hlp", "new help");
  publish("cfgcheck.cdu", "new rules");
  manifest(nextVersion(), "Tessary.exe,config.ini,help.hlp,cfgcheck.cdu");
  const QByteArray oldRules = file(QStringLiteral("base/cfgcheck.cdu"));
  ASSERT_FALSE(oldRules.isEmpty());
  auto unchanged = [&](const char* what) {
    EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram) << what;
    EXPECT_FALSE(exists(QStringLiteral("tessary.BAK"))) << what;
#ifndef _WIN32  // Windows runs a file by its name, not by a permission bit
    EXPECT_EQ(QFileInfo(app.paths().executable()).permissions() & QFileDevice::ExeOwner,
              QFileDevice::ExeOwner);
#endif
    EXPECT_EQ(file(QStringLiteral("base/config.ini")), oldPrefs) << what;
    EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help")) << what;
    EXPECT_EQ(file(QStringLiteral("base/cfgcheck.cdu")), oldRules) << what;
    EXPECT_FALSE(restartMessageShown()) << what;
    EXPECT_TRUE(red()) << what;
  };
  // The rules file's place is taken by a folder: the last item fails, the three before go back.
  ASSERT_TRUE(QFile::remove(app.path(QStringLiteral("base/cfgcheck.cdu"))));
  ASSERT_TRUE(QDir().mkpath(app.path(QStringLiteral("base/cfgcheck.cdu/in-the-way"))));
  page->BitBtn6Click();
  EXPECT_TRUE(label("Label1").startsWith(QStringLiteral("Status: Update Failed: cfgcheck.cdu ")))
      << label("Label1").toStdString();
  ASSERT_TRUE(QDir(app.path(QStringLiteral("base/cfgcheck.cdu"))).removeRecursively());
  writeBytes(app.path(QStringLiteral("base/cfgcheck.cdu")), oldRules);
  unchanged("a folder in the way");
  // The downloads went back to base/updates/, so a new run finds them where it puts them.
  EXPECT_EQ(file(QStringLiteral("base/updates/Tessary.exe")), newBuild);
  // A move that fails (the third: the old preferences into the backups).
  moveFaults.failAt = 3;
  page->BitBtn6Click();
  EXPECT_TRUE(label("Label1").startsWith(QStringLiteral("Status: Update Failed: config.ini ")))
      << label("Label1").toStdString();
  unchanged("a failing move");
  // The new preferences cannot be written during the carry-over: writes fail once the four downloads are in.
  int downloads = 0;
  std::optional<AtomicFile::Faults> full;
  const QMetaObject::Connection seam =
      QObject::connect(page->downloader(), &HttpDownloader::busyChanged, [&](bool busy) {
        if (!busy && ++downloads == 4) full.emplace(AtomicFile::FaultPlan{.writableBytes = 0});
      });
  page->BitBtn6Click();
  QObject::disconnect(seam);
  full.reset();
  EXPECT_EQ(downloads, 4);
  EXPECT_TRUE(label("Label1").startsWith(QStringLiteral("Status: Update Failed: config.ini Unable to write")))
      << label("Label1").toStdString();
  unchanged("a failing write");
  // And then it works.
  prompts.messageAnswers.push_back(QMessageBox::NoButton);
  page->BitBtn6Click();
  EXPECT_EQ(file(QStringLiteral("base/cfgcheck.cdu")), QByteArray("new rules"));
  EXPECT_EQ(file(QStringLiteral("tessary")), newBuild);
  EXPECT_TRUE(restartMessageShown());
}

namespace {
// Whether some process holds the single-instance lock at path.
bool lockHeld(const QString& path) { return InstanceLock::isHeld(path); }

struct RealCopy {
  QProcess process;
  QByteArray err;
  RealCopy(const TempApp& app, const QString& program, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    RuntimeFolder::addTo(env, app);
#ifdef _WIN32
    // The recent files are under %APPDATA% there.
    env.insert(QStringLiteral("APPDATA"), QDir::toNativeSeparators(app.path(QStringLiteral("roaming"))));
#endif
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(app.path(QString()));
    QObject::connect(&process, &QProcess::readyReadStandardError,
                     [this] { err += process.readAllStandardError(); });
    // Wine passes no QT_ variable from a Linux parent: the option says it everywhere.
    process.start(program, QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} + arguments);
  }
  ~RealCopy() {
    process.kill();
    process.waitForFinished(5000);
  }
};
}  // namespace

TEST_F(InstallTest, TheRestartedCopyRunsAsTheFirstOneWithTheNewBuild) {
  // The real program, installed over a copy of itself, started as the ending copy starts it.
  // On Windows it is tessary.exe, and a copy of the old build runs from that file meanwhile:
  // Windows lets a running program be renamed (not removed), so it becomes tessary.BAK.
  const RuntimeFolder runtime(app);
  const QString name = executableFile(QStringLiteral("tessary"));
  const AppPaths paths(app.path(QString()), name);
  const QByteArray oldBuild = readBytes(QStringLiteral(TESSARY_EXE));
  writeBytes(paths.executable(), oldBuild);
  setModeOf(paths.executable(), 0755);
  page = std::make_unique<UpdatesPage>(paths, prompts);
  page->setInstantPauses(true);
  publish("Tessary.exe", builtProgramAs(nextVersion()));
  manifest(nextVersion(), "Tessary.exe");
#ifdef _WIN32
  // Its lock is its own: another runtime folder.
  TempApp elsewhere;
  RealCopy running(elsewhere, paths.executable(), {app.file(QStringLiteral("a.cfg"), "[Warbird]\nA=1\n")});
  ASSERT_TRUE(QTest::qWaitFor([&] { return QDir(paths.temp()).entryList(QDir::Files).size() == 1; }, 30000))
      << running.err.toStdString();
#endif
  auto lock = std::make_unique<TOneInstance>(name);
  ASSERT_TRUE(lock->detect());  // this copy is the running one
  const QString lockFile = lock->lockPath();
  QString restartWith;
  QObject::connect(page.get(), &UpdatesPage::restartRequested,
                   [&](const QString& exe) { restartWith = exe; });
  prompts.messageAnswers.push_back(QMessageBox::Ok);
  page->BitBtn6Click();
  ASSERT_EQ(restartWith, paths.executable()) << label("Label1").toStdString();
  EXPECT_EQ(readBytes(UpdateItems::backupNameOf(paths.executable())), oldBuild);
  EXPECT_EQ(readBytes(paths.executable()), builtProgramAs(nextVersion()));
#ifdef _WIN32
  EXPECT_EQ(running.process.state(), QProcess::Running);
#endif

  std::unique_ptr<RealCopy> copy;
  ASSERT_TRUE(Restart::startNewCopy(
      lock, restartWith, [&](const QString& program, const QStringList& arguments, const QString&) {
        // The lock is free by the time the new copy starts.
        EXPECT_FALSE(lockHeld(lockFile));
        copy = std::make_unique<RealCopy>(app, program, arguments);
        return true;
      }));
  EXPECT_FALSE(lock);
  ASSERT_TRUE(QTest::qWaitFor([&] { return copy->err.contains("started after an update"); }, 30000))
      << copy->err.toStdString();
  EXPECT_TRUE(copy->err.contains("tessary " + nextVersion() + ": started after an update"))
      << copy->err.toStdString();
  EXPECT_TRUE(lockHeld(lockFile));
  EXPECT_EQ(copy->process.state(), QProcess::Running);
}

TEST(Restart, ARestartedCopyWaitsForTheEndingCopysLock) {
  TempApp app;
  const RuntimeFolder runtime(app);
  const QString name = executableFile(QStringLiteral("tessary"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(TESSARY_EXE), app.path(name)));
  auto ending = std::make_unique<TOneInstance>(name);
  ASSERT_TRUE(ending->detect());
  // Started while the ending copy still holds its lock: the new copy waits instead of handing over.
  RealCopy copy(app, app.path(name), {QStringLiteral("--restarted")});
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return copy.err.contains("waiting for the running copy to end"); }, 30000))
      << copy.err.toStdString();
  const QString lockFile = ending->lockPath();
  ending.reset();
  ASSERT_TRUE(QTest::qWaitFor([&] { return copy.err.contains("started after an update"); }, 30000))
      << copy.err.toStdString();
  EXPECT_TRUE(lockHeld(lockFile));
  EXPECT_EQ(copy.process.state(), QProcess::Running);
}

TEST_F(InstallTest, AnUpdateFolderMadeByTheOperatorsToolIsCheckedAndInstalled) {
  SKIP_ON_WINDOWS("runs scripts/make-update, a bash script");
#ifndef _WIN32
  QTemporaryDir published;
  auto put = [&](const char* name, const QByteArray& body) {
    writeBytes(published.path() + QLatin1Char('/') + QLatin1String(name), body);
  };
  put("tessary", newBuild);
  put("help.hlp", "new help");
  put("notes.txt", "read me");
  put("ChangeLog.txt", "Better things.");
  QProcess tool;
  tool.start(QStringLiteral("bash"),
             {sourceDir() + QStringLiteral("/scripts/make-update"), QStringLiteral("--mkdir"),
              QStringLiteral("base/images/new"), published.path(), QString::fromLatin1(nextVersion())});
  ASSERT_TRUE(tool.waitForFinished(30000));
  ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  for (const QFileInfo& f : QDir(published.path()).entryInfoList(QDir::Files))
    server.answers[kRoot + f.fileName().toUtf8()] = {"200 OK", {}, readBytes(f.filePath())};
  QDir().mkpath(app.path(QStringLiteral("base/images")));
  page->BitBtn5Click();  // the check fetches the manifest and offers the build
  ASSERT_FALSE(button("BitBtn6")->isHidden()) << label("Label1").toStdString();
  prompts.messageAnswers.push_back(QMessageBox::Ok);
  QSignalSpy restart(page.get(), &UpdatesPage::restartRequested);
  page->BitBtn6Click();
  EXPECT_EQ(restart.count(), 1) << label("Label1").toStdString();
  EXPECT_TRUE(QFileInfo(app.path(QStringLiteral("base/images/new"))).isDir());
  EXPECT_EQ(file(QStringLiteral("tessary")), newBuild);
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("new help"));
  EXPECT_EQ(file(QStringLiteral("base/updates/notes.txt")), QByteArray("read me"));
  // Names the program cannot take safely are refused by the tool already.
  put("a b.txt", "x");
  QProcess refused;
  refused.start(QStringLiteral("bash"), {sourceDir() + QStringLiteral("/scripts/make-update"),
                                         published.path(), QStringLiteral("2.2.0.9")});
  ASSERT_TRUE(refused.waitForFinished(30000));
  EXPECT_EQ(refused.exitCode(), 2);
#endif
}

TEST(Restart, TheProgramEndsAsByExitAndUnsavedEditsCanKeepItRunning) {
  MainWindowFixture fx;
  auto* options = fx.form->adopted<TForm1>(QStringLiteral("TForm1"));
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), "[Warbird]\nGravity=1\n"));
  doc->setModified(true);
  options->showOptions();
  // The user cancels the question about the unsaved edits: the program goes on, nothing restarts.
  fx.prompts.messageAnswers = {QMessageBox::Cancel};
  emit options->updatesPage()->restartRequested(fx.app.paths().executable());
  EXPECT_TRUE(fx.form->isVisible());
  EXPECT_EQ(fx.form->restartExecutable(), QString());
  EXPECT_EQ(fx.prompts.messages().back(), QStringLiteral("Save changes to a.cfg?"));
  // Discarded: the program ends (whatever other window shows) and names what to start.
  QWidget other;
  other.show();
  fx.prompts.messageAnswers = {QMessageBox::Discard};
  QTimer::singleShot(0, [&] { emit options->updatesPage()->restartRequested(fx.app.paths().executable()); });
  QTimer guard;  // a program that does not end fails here rather than hanging
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(10000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(fx.form->isVisible());
  EXPECT_EQ(fx.form->restartExecutable(), fx.app.paths().executable());
}

namespace {
// Shows an OK box through the real dialogs and does something to it once it is up.
QMessageBox::StandardButton answerRealBox(QMessageBox::StandardButtons buttons,
                                          const std::function<void(QMessageBox*)>& act) {
  QtPrompts prompts;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->isVisible()) {
      poll.stop();
      act(box);
    }
  });
  poll.start(10);
  return prompts.message(nullptr, QMessageBox::Information, applicationTitle(),
                         QStringLiteral("Update Completed, Tessarine will now restart...\r"), buttons);
}
}  // namespace

TEST(RestartMessage, OkAloneMeansOkOnlyWhenPressed) {
  EXPECT_EQ(answerRealBox(QMessageBox::Ok, [](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }),
            QMessageBox::Ok);
  EXPECT_EQ(answerRealBox(QMessageBox::Ok, [](QMessageBox* box) { box->close(); }), QMessageBox::NoButton);
  EXPECT_EQ(answerRealBox(QMessageBox::Ok, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }),
            QMessageBox::NoButton);
  EXPECT_EQ(answerRealBox(QMessageBox::Ok, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }),
            QMessageBox::Ok);
  // Boxes with a way out keep it: closed, they answer their Cancel.
  EXPECT_EQ(answerRealBox(QMessageBox::Ok | QMessageBox::Cancel, [](QMessageBox* box) { box->close(); }),
            QMessageBox::Cancel);
}

TEST_F(InstallTest, TwoItemsForOneFileAreRefusedBeforeAnythingIsFetched) {
  publish("help.hlp", "new help");
  publish("HELP.HLP", "other help");
  publish("tessary", newBuild);
  publish("TESSARY", newBuild);
  publish("Tessary.exe", newBuild);
  writeBytes(app.paths().helpFile(), "old help");
  for (const QByteArray& list : {QByteArray("help.hlp,tessary,TESSARY,tessary"),
                                 QByteArray("Tessary.exe,tessary"), QByteArray("help.hlp,HELP.HLP")}) {
    server.requests.clear();
    manifest(nextVersion(), list);
    page->BitBtn6Click();
    EXPECT_TRUE(label("Label1").contains(QStringLiteral("installs the same file as"))) << list.toStdString();
    EXPECT_TRUE(server.requests.isEmpty()) << list.toStdString();
    EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
    EXPECT_FALSE(exists(QStringLiteral("tessary.BAK")));
    EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help"));
  }
  // The installer itself never installs one file twice in a run, so its own .BAK stays.
  writeBytes(app.paths().updates() + QStringLiteral("/tessary"), newBuild);
  writeBytes(app.paths().updates() + QStringLiteral("/TESSARY"), "second");
  UpdateInstall install({app.path(QString()), app.paths().executable()});
  QString why;
  EXPECT_EQ(install.install(QStringLiteral("tessary"), Kind::Executable, &why),
            UpdateInstall::Result::Installed);
  EXPECT_EQ(install.install(QStringLiteral("TESSARY"), Kind::Executable, &why),
            UpdateInstall::Result::Failed);
  EXPECT_TRUE(why.contains(QStringLiteral("a second time"))) << why.toStdString();
  EXPECT_EQ(file(QStringLiteral("tessary.BAK")), oldProgram);
  install.rollback();
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
}

TEST_F(InstallTest, ABuildThatIsNotTheAnnouncedOneIsNotInstalled) {
  publish("Tessary.exe", builtProgramAs(TESSARY_VERSION));  // the running build, announced as the next
  manifest(nextVersion(), "Tessary.exe");
  page->BitBtn6Click();
  EXPECT_EQ(label("Label1"),
            QStringLiteral("Status: Update Failed: Tessary.exe is build %1, not %2 as the "
                           "manifest announces...")
                .arg(QString::fromLatin1(TESSARY_VERSION), QString::fromLatin1(nextVersion())));
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
  EXPECT_FALSE(restartMessageShown());
  // A file without a version block is no build at all.
  publish("Tessary.exe", "#!/bin/sh\necho no block\n");
  manifest(nextVersion(), "Tessary.exe");
  page->BitBtn6Click();
  EXPECT_TRUE(label("Label1").contains(QStringLiteral("is build (none)"))) << label("Label1").toStdString();
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
}

TEST_F(InstallTest, AnInstallationCutShortIsRolledBackAtTheNextStartAndLeavesNothingBehind) {
  writeBytes(app.paths().helpFile(), "old help");
  writeBytes(app.paths().configIni(), "[Paths]\r\ncfgStorageDir=/x\r\n");
  writeBytes(app.paths().updates() + QStringLiteral("/tessary"), newBuild);
  writeBytes(app.paths().updates() + QStringLiteral("/help.hlp"), "new help");
  writeBytes(app.paths().updates() + QStringLiteral("/config.ini"), "[Paths]\r\ncfgStorageDir=\r\n");
  const UpdateInstall::Places places{app.path(QString()), app.paths().executable()};
  // The process dies in the middle of pass two: no destructor, no rollback of its own.
  auto* cut = new UpdateInstall(places);
  QString why;
  ASSERT_EQ(cut->install(QStringLiteral("tessary"), Kind::Executable, &why),
            UpdateInstall::Result::Installed);
  ASSERT_EQ(cut->install(QStringLiteral("help.hlp"), Kind::Help, &why), UpdateInstall::Result::Installed);
  ASSERT_EQ(cut->install(QStringLiteral("config.ini"), Kind::Preferences, &why),
            UpdateInstall::Result::Installed);
  ASSERT_TRUE(exists(QStringLiteral("base/help.hlp.before-update")));
  ASSERT_EQ(file(QStringLiteral("tessary")), newBuild);
  // (the object is left as a killed process leaves it)

  const UpdateInstall::Resumed resumed = UpdateInstall::resumeInterrupted(places);
  EXPECT_TRUE(resumed.found);
  EXPECT_TRUE(resumed.rolledBack);
  EXPECT_TRUE(resumed.executableRestored);
  EXPECT_EQ(file(QStringLiteral("tessary")), oldProgram);
  EXPECT_FALSE(exists(QStringLiteral("tessary.BAK")));
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help"));
  EXPECT_FALSE(exists(QStringLiteral("base/help.hlp.before-update")));
  EXPECT_EQ(file(QStringLiteral("base/config.ini")), QByteArray("[Paths]\r\ncfgStorageDir=/x\r\n"));
  EXPECT_EQ(file(QStringLiteral("base/updates/tessary")), newBuild);  // fetched, ready for another try
  EXPECT_FALSE(exists(QStringLiteral("base/updates/install.journal")));
  EXPECT_FALSE(UpdateInstall::resumeInterrupted(places).found);  // once is enough

  // A run that committed but was cut short while clearing up: its copies kept aside go.
  writeBytes(app.path(QStringLiteral("base/help.hlp.before-update")), "old help");
  writeBytes(
      UpdateInstall::journalPath(places.appFolder),
      "aside\t" + QFile::encodeName(app.path(QStringLiteral("base/help.hlp.before-update"))) + "\ncommit\n");
  const UpdateInstall::Resumed finished = UpdateInstall::resumeInterrupted(places);
  EXPECT_FALSE(finished.rolledBack);
  EXPECT_FALSE(exists(QStringLiteral("base/help.hlp.before-update")));
  EXPECT_EQ(file(QStringLiteral("base/help.hlp")), QByteArray("old help"));
}

TEST_F(InstallTest, AJournalThatNamesOtherFilesIsNotActedOn) {
  const QString outside = app.file(QStringLiteral("elsewhere/precious"), "mine");
  writeBytes(UpdateInstall::journalPath(app.path(QString())),
             "move\t" + QFile::encodeName(outside) + "\t" +
                 QFile::encodeName(app.path(QStringLiteral("base/updates/x"))) + "\n");
  writeBytes(app.path(QStringLiteral("base/updates/x")), "planted");
  const UpdateInstall::Resumed resumed =
      UpdateInstall::resumeInterrupted({app.path(QString()), app.paths().executable()});
  EXPECT_TRUE(resumed.found);
  EXPECT_FALSE(resumed.rolledBack);
  EXPECT_FALSE(resumed.problem.isEmpty());
  EXPECT_EQ(readBytes(outside), QByteArray("mine"));
  EXPECT_EQ(file(QStringLiteral("base/updates/x")), QByteArray("planted"));
}

TEST_F(InstallTest, TheRealProgramStartingAfterACutInstallationPutsTheOldBuildBackAndStartsIt) {
  SKIP_ON_WINDOWS(
      "real copies of the program made runnable by chmod; the restart of tessary.exe is not ported yet");
#ifndef _WIN32
  const QString run = app.path(QStringLiteral("run"));
  QDir().mkpath(run);
  ::chmod(QFile::encodeName(run).constData(), 0700);
  // The old build leaves a mark when it is started; the new one is the real program.
  const QString mark = app.path(QStringLiteral("old-build-started"));
  const QByteArray oldBuild = "#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(mark) + "'\n";
  writeBytes(app.paths().executable(), oldBuild);
  ::chmod(QFile::encodeName(app.paths().executable()).constData(), 0755);
  writeBytes(app.paths().updates() + QStringLiteral("/tessary"), readBytes(QStringLiteral(TESSARY_EXE)));
  ::chmod(QFile::encodeName(app.paths().updates() + QStringLiteral("/tessary")).constData(), 0755);
  auto* cut = new UpdateInstall({app.path(QString()), app.paths().executable()});
  QString why;
  ASSERT_EQ(cut->install(QStringLiteral("tessary"), Kind::Executable, &why),
            UpdateInstall::Result::Installed);
  RealCopy copy(app, app.paths().executable(), {});
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(mark); }, 30000)) << copy.err.toStdString();
  // The program ends by itself once the restored build is started.
  ASSERT_TRUE(QTest::qWaitFor([&] { return copy.process.state() == QProcess::NotRunning; }, 30000));
  copy.err += copy.process.readAllStandardError();
  EXPECT_TRUE(copy.err.contains("an interrupted update was rolled back")) << copy.err.toStdString();
  EXPECT_EQ(file(QStringLiteral("tessary")), oldBuild);
  EXPECT_TRUE(readBytes(mark).contains("--restarted"));
#endif
}

TEST(MakeUpdate, AFolderWithTwoNamesForOneFileOrAWrongBuildIsRefused) {
  SKIP_ON_WINDOWS("runs scripts/make-update, a bash script");
#ifndef _WIN32
  QTemporaryDir published;
  auto put = [&](const char* name, const QByteArray& body) {
    writeBytes(published.path() + QLatin1Char('/') + QLatin1String(name), body);
  };
  auto makeUpdate = [&] {
    QProcess tool;
    tool.start(QStringLiteral("bash"), {sourceDir() + QStringLiteral("/scripts/make-update"),
                                        published.path(), QString::fromLatin1(nextVersion())});
    EXPECT_TRUE(tool.waitForFinished(30000));
    return std::make_pair(tool.exitCode(), tool.readAllStandardError());
  };
  put("tessary", builtProgramAs(nextVersion()));
  put("help.hlp", "help");
  EXPECT_EQ(makeUpdate().first, 0);
  put("Tessary.exe", builtProgramAs(nextVersion()));
  auto [code, err] = makeUpdate();
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(err.contains("would install the same file")) << err.toStdString();
  QFile::remove(published.path() + QStringLiteral("/Tessary.exe"));
  put("HELP.HLP", "help");
  EXPECT_EQ(makeUpdate().first, 2);
  QFile::remove(published.path() + QStringLiteral("/HELP.HLP"));
  put("tessary", builtProgramAs(TESSARY_VERSION));
  std::tie(code, err) = makeUpdate();
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(err.contains("is not build")) << err.toStdString();
#endif
}

// The real program run from scripts: names on its command line are read
// against the folder it was started in, and an error ends the run with the
// message on standard error and an exit code, never with a box nobody answers.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/TestSupport.h"

namespace {
struct Ran {
  int code = -1;
  QByteArray err;
};

// The built program, copied into a throw-away application folder.
struct Copy {
  TempApp app;
  QString exe;
  QString work;  // the folder the runs start in
  Copy() {
    exe = app.path(QStringLiteral("tessary"));
    EXPECT_TRUE(QFile::copy(QStringLiteral(TESSARY_EXE), exe));
    ::chmod(QFile::encodeName(exe).constData(), 0755);
    work = app.path(QStringLiteral("work"));
    QDir().mkpath(work);
    writeBytes(work + QStringLiteral("/arena.cfg"), "[Warbird]\nBulletSpeed=2000\n");
  }
  Ran run(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
          const QString& program = {}) const {
    QProcess p;
    QProcessEnvironment e = env;
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(work);
    p.start(program.isEmpty() ? exe : program, args);
    // A run that waits for an answer fails here instead of hanging the suite.
    if (!p.waitForFinished(60000)) {
      p.kill();
      p.waitForFinished(5000);
      return {-2, p.readAllStandardError()};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
  }
};
}  // namespace

TEST(CommandLineRun, RelativeNamesAreReadAgainstTheStartingFolderAndAFailedPictureIsAFailedRun) {
  Copy copy;
  const Ran ok =
      copy.run({QStringLiteral("--screenshot"), QStringLiteral("rel.png"), QStringLiteral("arena.cfg")});
  EXPECT_EQ(ok.code, 0) << ok.err.toStdString();
  const QString picture = copy.work + QStringLiteral("/rel.png");
  EXPECT_FALSE(QImage(picture).isNull());
  EXPECT_TRUE(ok.err.contains("Screenshot saved to " + QFile::encodeName(picture))) << ok.err.toStdString();
  EXPECT_FALSE(QFile::exists(copy.app.path(QStringLiteral("base/temp/rel.png"))));
  // A folder that does not exist: said, and the run fails.
  const Ran bad = copy.run(
      {QStringLiteral("--screenshot"), QStringLiteral("no/such/x.png"), QStringLiteral("arena.cfg")});
  EXPECT_EQ(bad.code, 1) << bad.err.toStdString();
  EXPECT_TRUE(bad.err.contains("Could not save the screenshot " +
                               QFile::encodeName(copy.work + QStringLiteral("/no/such/x.png"))))
      << bad.err.toStdString();
}

#ifdef _WIN32
TEST(CommandLineRun, ANameWithoutADriveIsOnTheDriveTheRunStartedOn) {
  // Started on one drive (Z:, the root of Wine's host), with the program's own
  // folder on another (C:), where its windows move the current folder:
  // "\dir\x.png" still names the file on the drive it started on.
  Copy copy;
  QTemporaryDir start(QStringLiteral("Z:/tmp/tessary-drive-XXXXXX"));
  if (!start.isValid() || copy.app.path(QString()).startsWith(QStringLiteral("Z:"), Qt::CaseInsensitive))
    GTEST_SKIP() << "needs a second drive (Wine's Z:) besides the one of the temporary folder";
  copy.work = start.path();
  writeBytes(start.path() + QStringLiteral("/arena.cfg"), "[Warbird]\nBulletSpeed=2000\n");
  const QString withoutDrive = QDir::toNativeSeparators(start.path().mid(2));  // "\tmp\tessary-drive-..."
  const Ran ok = copy.run({QStringLiteral("--screenshot"), withoutDrive + QStringLiteral("\\shot.png"),
                           withoutDrive + QStringLiteral("\\arena.cfg")});
  EXPECT_EQ(ok.code, 0) << ok.err.toStdString();
  EXPECT_FALSE(QImage(start.path() + QStringLiteral("/shot.png")).isNull()) << ok.err.toStdString();
}
#endif

TEST(CommandLineRun, AnArenaThatCannotBeReadEndsAScriptedRunWithItsMessage) {
  Copy copy;
  QDir().mkpath(copy.work + QStringLiteral("/DIR.cfg"));
#ifdef _WIN32
  const QString device = QStringLiteral("\\\\.\\NUL");  // a device, never a file
#else
  const QString device = QStringLiteral("/dev/zero");
#endif
  for (const QString& arena : {QStringLiteral("DIR.cfg"), device}) {
    const Ran r = copy.run({QStringLiteral("--screenshot"), QStringLiteral("out.png"), arena});
    EXPECT_EQ(r.code, 2) << arena.toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Unable to read")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(copy.work + QStringLiteral("/out.png")));
  }
}

TEST(CommandLineRun, AnInstalledCopyWithNowhereToWriteSaysSoOnceAndEnds) {
  SKIP_ON_WINDOWS("a folder made unwritable by chmod; a copy under Program Files is not tested yet");
#ifndef _WIN32
  Copy copy;
  // A package's layout: the program in bin/, its files in share/tessary/, no base/ beside it.
  const QString bin = copy.app.path(QStringLiteral("usr/bin"));
  const QString share = copy.app.path(QStringLiteral("usr/share/tessary"));
  QDir().mkpath(bin);
  QDir().mkpath(share);
  writeBytes(share + QStringLiteral("/svs.cfg"), "[Warbird]\nGravity=1\n");
  ASSERT_TRUE(QFile::copy(copy.exe, bin + QStringLiteral("/tessary")));
  ::chmod(QFile::encodeName(bin + QStringLiteral("/tessary")).constData(), 0755);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_DATA_HOME"),
             QStringLiteral("/dev/null/nowhere"));  // cannot be made, not even by root
  const Ran r =
      copy.run({QStringLiteral("--screenshot"), QStringLiteral("x.png"), QStringLiteral("arena.cfg")}, env,
               bin + QStringLiteral("/tessary"));
  EXPECT_EQ(r.code, 1) << r.err.toStdString();
  EXPECT_EQ(r.err.count("needs a folder it can write to"), 1) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(copy.work + QStringLiteral("/x.png")));
#endif
}

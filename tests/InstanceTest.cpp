// Two real copies of the built program: one runs, a later one hands over its file and ends.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/OneInstance.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"

namespace {
class InstanceTest : public ::testing::Test {
 protected:
  TempApp app;
  std::vector<std::unique_ptr<QProcess>> running;

  void SetUp() override {
    QDir().mkpath(app.path(QStringLiteral("run")));
    QFile::setPermissions(app.path(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(QFile::copy(QStringLiteral(TESSARY_EXE), app.path(QStringLiteral("tessary"))));
  }
  void TearDown() override {
    for (auto& p : running) {
      p->kill();
      p->waitForFinished(5000);
    }
  }
  QProcess* start(const QString& exe, const QStringList& args = {}) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), app.path(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), app.path(QStringLiteral("xdg-config")));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(app.path(QString()));
    p->start(app.path(exe), args);
    running.push_back(std::move(p));
    return running.back().get();
  }
  // Whether a running copy holds the lock of this executable name.
  bool locked(const QString& exe) {
    const int fd = ::open(QFile::encodeName(app.path(QStringLiteral("run/")) + exe + QStringLiteral(".lock")).constData(),
                          O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
  }
  QString externalFile() {
    return ProfileFile::readText(app.paths().configIni(), QStringLiteral("Paths"), QStringLiteral("ExternalFile"),
                                 QStringLiteral("<absent>"));
  }
  QString history() {
    return QString::fromUtf8(readBytes(app.path(QStringLiteral("xdg-config/tessary/History.ini"))));
  }
};
}  // namespace

TEST_F(InstanceTest, ALaterCopyHandsItsFileToTheRunningOneAndEnds) {
  QProcess* first = start(QStringLiteral("tessary"));
  // Up and running: it holds the lock and its start has written its own (empty) argument.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return locked(QStringLiteral("tessary")) && externalFile() != QStringLiteral("<absent>"); }, 20000));
  const QString file = app.file(QStringLiteral("zone/handed.cfg"), "[Warbird]\nA=1\n");
  // A relative name, as a shell passes it: it names the file in the later copy's folder.
  QProcess* second = start(QStringLiteral("tessary"), {QStringLiteral("zone/handed.cfg")});
  ASSERT_TRUE(second->waitForFinished(20000));
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  // The running copy opens it (it enters the recent files) and empties the key.
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().contains(file); }, 10000))
      << history().toStdString() << "\nkey: " << externalFile().toStdString() << "\nfirst: "
      << first->readAllStandardError().toStdString() << "\nsecond: " << second->readAllStandardError().toStdString();
  EXPECT_EQ(externalFile(), QString());
  EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(InstanceTest, ACopyUnderAnotherNameRunsAsAFirstOneAndAKilledCopyLeavesNoLock) {
  ASSERT_TRUE(QFile::copy(app.path(QStringLiteral("tessary")), app.path(QStringLiteral("tessary2"))));
  QProcess* first = start(QStringLiteral("tessary"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return locked(QStringLiteral("tessary")); }, 20000));
  start(QStringLiteral("tessary2"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return locked(QStringLiteral("tessary2")); }, 20000));
  // kill -9: the kernel releases the lock, and the next start is a first copy again.
  ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_FALSE(locked(QStringLiteral("tessary")));
  QProcess* next = start(QStringLiteral("tessary"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return locked(QStringLiteral("tessary")); }, 20000));
  EXPECT_EQ(next->state(), QProcess::Running);
}

TEST(OneInstance, ALaterCopyBringsTheFirstOnesWindowBackRestored) {
  TempApp app;
  QDir().mkpath(app.path(QStringLiteral("run")));
  qputenv("XDG_RUNTIME_DIR", app.path(QStringLiteral("run")).toLocal8Bit());
  const QString name = QStringLiteral("tessary-instance-test");
  TOneInstance first(name);
  ASSERT_TRUE(first.detect());
  QWidget window;
  window.show();
  window.showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }, 5000));
  first.WindowToRaise = [&window] { return &window; };
  // The same lock from a second open file, as another process would take it.
  TOneInstance later(name);
  later.RaisePriorInstance = true;
  bool existsRaised = false;
  later.ApplicationExists = [&](TOneInstance*) { existsRaised = true; };
  EXPECT_FALSE(later.detect());
  EXPECT_TRUE(existsRaised);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 5000));
  qunsetenv("XDG_RUNTIME_DIR");
}

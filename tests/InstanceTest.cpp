// Two real copies of the built program: one runs, a later one hands over its file and ends.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <thread>

#include "app/InstanceLock.h"
#include "app/OneInstance.h"
#include "prefs/Preferences.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"

namespace {
class InstanceTest : public ::testing::Test {
 protected:
  TempApp app;
  RuntimeFolder runtime{app};
  std::vector<std::unique_ptr<QProcess>> running;

  void SetUp() override {
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(TESSARY_EXE), app.path(executableFile(QStringLiteral("tessary")))));
  }
  void TearDown() override {
    for (auto& p : running) {
      p->kill();
      p->waitForFinished(5000);
    }
  }
  QProcess* start(const QString& name, const QStringList& args = {},
                  const QString& platform = QStringLiteral("offscreen")) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    RuntimeFolder::addTo(env, app);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), app.path(QStringLiteral("xdg-config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), app.path(QStringLiteral("xdg-data")));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(app.path(QString()));
    // Wine keeps QT_ variables from a Linux parent only: the option says it everywhere.
    p->start(app.path(executableFile(name)), QStringList{QStringLiteral("-platform"), platform} + args);
    running.push_back(std::move(p));
    return running.back().get();
  }
  // Whether a running copy holds the lock of this executable name.
  bool locked(const QString& name) {
    return InstanceLock::isHeld(runtime.path() + QLatin1Char('/') + executableFile(name) +
                                QStringLiteral(".lock"));
  }
  QString externalFile() {
    return ProfileFile::readText(app.paths().configIni(), QStringLiteral("Paths"),
                                 QStringLiteral("ExternalFile"), QStringLiteral("<absent>"));
  }
  QString history() {
    return QString::fromUtf8(readBytes(app.path(QStringLiteral("xdg-config/tessary/History.ini"))));
  }
  // What a failing test prints: the recent files, the key, the working copies, every
  // copy's state and words, and an exception record if one was written.
  std::string state() {
    QString text = QStringLiteral("history:\n") + history() + QStringLiteral("key: ") + externalFile() +
                   QStringLiteral("\nworking copies: ") +
                   QDir(app.paths().temp()).entryList(QDir::Files).join(QLatin1Char(' '));
    for (const auto& p : running)
      text += QStringLiteral("\ncopy %1: %2 %3, says: %4")
                  .arg(p->processId())
                  .arg(p->state() == QProcess::Running ? QStringLiteral("running") : QStringLiteral("ended"))
                  .arg(p->exitCode())
                  .arg(QString::fromLocal8Bit(p->readAllStandardError()));
    for (const QString& log : QDir(app.path(QString())).entryList({QStringLiteral("*.log")}, QDir::Files))
      text +=
          QStringLiteral("\n") + log + QStringLiteral(":\n") + QString::fromUtf8(readBytes(app.path(log)));
    return text.toStdString();
  }
};
}  // namespace

TEST_F(InstanceTest, ALaterCopyHandsItsFileToTheRunningOneAndEnds) {
  QProcess* first = start(QStringLiteral("tessary"));
  // Up and running: it holds the lock and its start has written its own (empty) argument.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return locked(QStringLiteral("tessary")) && externalFile() != QStringLiteral("<absent>"); },
      20000));
  const QString file = app.file(QStringLiteral("zone/handed.cfg"), "[Warbird]\nA=1\n");
  // A relative name, as a shell passes it: it names the file in the later copy's folder.
  QProcess* second = start(QStringLiteral("tessary"), {QStringLiteral("zone/handed.cfg")});
  ASSERT_TRUE(second->waitForFinished(20000));
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  // The running copy opens it (it enters the recent files) and empties the key.
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().contains(file); }, 10000))
      << history().toStdString() << "\nkey: " << externalFile().toStdString()
      << "\nfirst: " << first->readAllStandardError().toStdString()
      << "\nsecond: " << second->readAllStandardError().toStdString();
  EXPECT_EQ(externalFile(), QString());
  EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(InstanceTest, ACopyUnderAnotherNameRunsAsAFirstOneAndAKilledCopyLeavesNoLock) {
  ASSERT_TRUE(QFile::copy(app.path(executableFile(QStringLiteral("tessary"))),
                          app.path(executableFile(QStringLiteral("tessary2")))));
  QProcess* first = start(QStringLiteral("tessary"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return locked(QStringLiteral("tessary")); }, 20000));
  start(QStringLiteral("tessary2"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return locked(QStringLiteral("tessary2")); }, 20000));
  // kill -9 (TerminateProcess): the system releases the lock, and the next start is a first copy again.
  first->kill();
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_FALSE(locked(QStringLiteral("tessary")));
  QProcess* next = start(QStringLiteral("tessary"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return locked(QStringLiteral("tessary")); }, 20000));
  EXPECT_EQ(next->state(), QProcess::Running);
}

TEST(OneInstance, AFileHandedOverWhileTheFirstCopyStartsToListenIsHeard) {
  // A later copy that tries without pause connects while the first copy is
  // still making its socket (on Windows, between the pipes listen() makes, and
  // listen() announces such a copy at once): its file must still arrive.
  TempApp app;
  const RuntimeFolder runtime(app);
  for (int round = 0; round < 20; ++round) {
    const QString name = QStringLiteral("tessary-listen-%1").arg(round);
    const QString socketName =
        TOneInstance::runtimeFolder() + QStringLiteral("/") + name + QStringLiteral(".socket");
    const QString path = app.path(QStringLiteral("handed%1.cfg").arg(round));
    std::atomic<int> tries{0};
    std::atomic<bool> answered{false};
    std::atomic<bool> stop{false};
    std::unique_ptr<QThread> later(QThread::create([&] {
      QLocalSocket socket;
      for (;; ++tries) {
        if (stop) return;
        socket.connectToServer(socketName);
        if (socket.waitForConnected(100)) break;
        socket.abort();
      }
      socket.write("open " + AtomicFile::nativePath(path).toBase64() + '\n');
      socket.waitForBytesWritten(5000);
      QByteArray answer;
      while (!stop && !answer.contains('\n')) {
        socket.waitForReadyRead(100);
        answer += socket.readAll();
      }
      answered = answer.startsWith("ok");
    }));
    later->start();
    // The later copy is trying before the first one listens.
    ASSERT_TRUE(QTest::qWaitFor([&] { return tries > 0; }, 5000));
    TOneInstance first(name);
    QStringList received;
    ASSERT_TRUE(first.detect());
    first.setFileReceiver([&](const QString& p) { received.append(p); });
    const bool heard = QTest::qWaitFor([&] { return answered.load(); }, 5000);
    stop = true;
    later->wait();
    ASSERT_TRUE(heard) << "round " << round << " after " << tries << " tries";
    EXPECT_EQ(received, QStringList{path});
  }
}

TEST(OneInstance, ALaterCopyBringsTheFirstOnesWindowBackRestored) {
  TempApp app;
  const RuntimeFolder runtime(app);
  const QString name = QStringLiteral("tessary-instance-test");
  TOneInstance first(name);
  ASSERT_TRUE(first.detect());
  QWidget window;
  window.show();
  window.showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }, 5000));
  first.WindowToRaise = [&window] { return &window; };
  // The same lock from a second open file, as another process would take it: on
  // a thread of its own, as the first copy reads the request in its event loop
  // (on Windows a pipe is accepted there, so one thread could not be both ends).
  std::atomic<int> detected{-1};
  std::atomic<bool> existsRaised{false};
  std::unique_ptr<QThread> laterCopy(QThread::create([&] {
    TOneInstance later(name);
    later.RaisePriorInstance = true;
    later.ApplicationExists = [&](TOneInstance*) { existsRaised = true; };
    detected = later.detect() ? 1 : 0;
  }));
  laterCopy->start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return laterCopy->isFinished(); }, 10000));
  EXPECT_EQ(detected, 0);
  EXPECT_TRUE(existsRaised);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 5000));
}

TEST_F(InstanceTest, CopiesStartedTogetherOpenEveryFileOnce) {
  // No copy running: two start at the same moment, each with a file.
  const QString a = app.file(QStringLiteral("a.cfg"), "[Warbird]\nA=1\n");
  const QString b = app.file(QStringLiteral("b.cfg"), "[Warbird]\nA=2\n");
  start(QStringLiteral("tessary"), {a});
  start(QStringLiteral("tessary"), {b});
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().contains(a) && history().contains(b); }, 30000))
      << state();
  // Four more hand over at once to the copy that runs.
  QStringList more;
  std::vector<QProcess*> later;
  for (int i = 0; i < 4; ++i) {
    more.append(app.file(QStringLiteral("more%1.cfg").arg(i), "[Warbird]\nA=3\n"));
    later.push_back(start(QStringLiteral("tessary"), {more.back()}));
  }
  for (QProcess* p : later) {
    ASSERT_TRUE(p->waitForFinished(30000));
    EXPECT_EQ(p->exitCode(), 0);
  }
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return std::all_of(more.begin(), more.end(), [&](const QString& f) { return history().contains(f); });
      },
      30000))
      << state();
  // Each file once: one working copy per handed file in the working folder.
  const QStringList copies = QDir(app.paths().temp()).entryList(QDir::Files);
  EXPECT_EQ(copies.size(), 6) << copies.join(QLatin1Char(' ')).toStdString();
  // The one that runs holds the lock; every other copy ends.
  auto runningCopies = [&] {
    return std::count_if(running.begin(), running.end(),
                         [](const auto& p) { return p->state() == QProcess::Running; });
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return runningCopies() == 1; }, 20000)) << runningCopies();
}

TEST_F(InstanceTest, TheStartFileOpensWhenThePreferencesCannotBeWritten) {
  // A read-only preferences file: the hand-over key cannot carry the start file.
  Preferences(app.paths()).setStorageFolder(app.path(QString()));
  setModeOf(app.paths().configIni(), 0444);
  const QString a = app.file(QStringLiteral("start.cfg"), "[Warbird]\nA=1\n");
  start(QStringLiteral("tessary"), {a});
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().contains(a); }, 30000)) << state();
}

#ifdef _WIN32
namespace {
// The top-level windows of a process, thread by thread (the process may show
// them on a desktop of its own, which EnumWindows would not list).
std::vector<HWND> windowsOf(qint64 pid) {
  std::vector<HWND> windows;
  HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (threads == INVALID_HANDLE_VALUE) return windows;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry)) {
    if (entry.th32OwnerProcessID != static_cast<DWORD>(pid)) continue;
    EnumThreadWindows(
        entry.th32ThreadID,
        [](HWND window, LPARAM data) -> BOOL {
          reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
  }
  CloseHandle(threads);
  return windows;
}

// What Windows sends every top-level window of a program when the user logs off:
// may the session end, then that it ends.
void endSessionOf(const std::vector<HWND>& windows) {
  for (HWND window : windows) {
    DWORD_PTR mayEnd = 0;
    SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &mayEnd);
  }
  for (HWND window : windows)
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, nullptr);
}
}  // namespace
#endif

TEST_F(InstanceTest, ATerminationSignalEndsTheCopyKeepingOnlyUnsavedWork) {
  const QString a = app.file(QStringLiteral("a.cfg"), "[Warbird]\nA=1\n");
#ifdef _WIN32
  // The end of a Windows session: the messages reach real windows (Qt's windows platform).
  // Wine without an X display keeps each program's windows apart: no other program finds them.
  if (qEnvironmentVariableIsEmpty("DISPLAY"))
    GTEST_SKIP() << "no display: scripts/test-windows runs this test again on Xvfb";
  QProcess* first = start(QStringLiteral("tessary"), {a}, QStringLiteral("windows"));
#else
  QProcess* first = start(QStringLiteral("tessary"), {a});
#endif
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().contains(a); }, 30000));
  ASSERT_EQ(QDir(app.paths().temp()).entryList(QDir::Files).size(), 1);
#ifdef _WIN32
  std::vector<HWND> windows;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !(windows = windowsOf(first->processId())).empty(); }, 10000));
  endSessionOf(windows);
#else
  ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
#endif
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
  // The document had no unsaved edits: its working copy went with it.
  EXPECT_EQ(QDir(app.paths().temp()).entryList(QDir::Files), QStringList());
  EXPECT_FALSE(locked(QStringLiteral("tessary")));
}

TEST(OneInstance, TheLockLivesInAFolderOfTheUsersOwnAndFollowsNoLink) {
  SKIP_ON_WINDOWS("the XDG runtime folder and its fallbacks; the mutex needs no folder of its own");
#ifndef _WIN32
  TempApp app;
  const EnvGuard runtimeDir("XDG_RUNTIME_DIR", std::nullopt);
  const EnvGuard tmp("TMPDIR", app.path(QStringLiteral("tmp")).toLocal8Bit());
  const EnvGuard cache("XDG_CACHE_HOME", app.path(QStringLiteral("cache")).toLocal8Bit());
  QDir().mkpath(app.path(QStringLiteral("tmp")));
  const QString own = app.path(QStringLiteral("tmp/tessary-%1").arg(::geteuid()));
  // Free: made, mode 0700.
  EXPECT_EQ(TOneInstance::runtimeFolder(), own);
  struct stat st {};
  ::lstat(QFile::encodeName(own).constData(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // Open to others, or a link planted by someone: not used; the user's cache folder is.
  ::chmod(QFile::encodeName(own).constData(), 0777);
  QString why;
  EXPECT_EQ(TOneInstance::runtimeFolder(&why), app.path(QStringLiteral("cache/tessary")));
  QDir(own).removeRecursively();
  QDir().mkpath(app.path(QStringLiteral("elsewhere")));
  ASSERT_TRUE(QFile::link(app.path(QStringLiteral("elsewhere")), own));
  EXPECT_EQ(TOneInstance::runtimeFolder(), app.path(QStringLiteral("cache/tessary")));
  if (::geteuid() == 0) {
    // Another user's folder of that name.
    QFile::remove(own);
    QDir().mkpath(own);
    ::chmod(QFile::encodeName(own).constData(), 0700);
    ASSERT_EQ(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
    EXPECT_EQ(TOneInstance::runtimeFolder(), app.path(QStringLiteral("cache/tessary")));
  }
  // A lock file that is a link: never followed, no file made where it points.
  const QString runtime = app.path(QStringLiteral("run"));
  QDir().mkpath(runtime);
  ::chmod(QFile::encodeName(runtime).constData(), 0700);
  runtimeDir.set(runtime.toLocal8Bit());
  const QString target = app.path(QStringLiteral("victim"));
  ASSERT_TRUE(QFile::link(target, runtime + QStringLiteral("/linked.lock")));
  TOneInstance linked(QStringLiteral("linked"));
  QStringList errors;
  linked.OnError = [&](const QString& m) { errors.append(m); };
  EXPECT_FALSE(linked.detect());
  EXPECT_FALSE(QFileInfo::exists(target));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith(QStringLiteral(
      "Unable to verify that Mutex already exists! An Exception was raised with the message : ")));
#endif
}

TEST(OneInstance, ADuplicateIsAnErrorAndALaterCopyThatStaysIsWarned) {
  TempApp app;
  const RuntimeFolder runtime(app);
  QObject owner;
  owner.setObjectName(QStringLiteral("MainForm"));
  TOneInstance first(QStringLiteral("dup-test"), &owner);
  try {
    TOneInstance second(QStringLiteral("dup-test"), &owner);
    ADD_FAILURE() << "a second component of one owner was made";
  } catch (const TessaryError& e) {
    EXPECT_EQ(QString::fromUtf8(e.what()), QStringLiteral("OneInstance component duplicated in MainForm"));
  }
  ASSERT_TRUE(first.detect());
  TOneInstance later(QStringLiteral("dup-test"));
  later.Terminate = false;
  later.InformUser = true;
  QStringList warnings, errors;
  later.OnWarning = [&](const QString& m) { warnings.append(m); };
  later.OnError = [&](const QString& m) { errors.append(m); };
  EXPECT_FALSE(later.detect());
  EXPECT_EQ(warnings,
            QStringList{QStringLiteral("Another instance of this application appears to be running!")});
  EXPECT_TRUE(errors.isEmpty());
  // Files handed over before the window takes them wait for it, in order; the
  // later copy (a thread here, with the first copy's window thread turning) gets its answer.
  std::atomic<int> handed{-1};
  std::thread sender([&] {
    handed = later.handOver(QStringLiteral("/x/one.cfg")) && later.handOver(QStringLiteral("/x/two\n.cfg"))
                 ? 1
                 : 0;
  });
  const bool answered = QTest::qWaitFor([&] { return handed >= 0; }, 30000);
  sender.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(handed, 1);
  QStringList got;
  first.setFileReceiver([&](const QString& p) { got.append(p); });
  EXPECT_EQ(got, (QStringList{QStringLiteral("/x/one.cfg"), QStringLiteral("/x/two\n.cfg")}));
}

// Files and processes on Windows: what the POSIX tests check with permission
// bits, links and /proc, checked here with the system's own means.
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <chrono>
#include <thread>

#include "profile/AtomicFile.h"
#include "profile/ProcessIdentity.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "tests/CoreSupport.h"

namespace {
std::wstring wide(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

QStringList temporariesIn(const QString& folder) {
  return QDir(folder)
      .entryList(QDir::Files | QDir::Hidden | QDir::System)
      .filter(QStringLiteral(".tessary-"));
}
}  // namespace

TEST(WindowsFiles, AReadOnlyFileOrOneAnotherProgramHoldsIsRefusedAndStaysWhole) {
  TempApp app;
  const QString f = app.file(QStringLiteral("arena.cfg"), "[Misc]\r\nTeamMaxSize=4\r\n");
  // Read-only: refused by the program and by the command-line engine alike.
  ASSERT_TRUE(SetFileAttributesW(wide(f).c_str(), FILE_ATTRIBUTE_READONLY));
  try {
    AtomicFile::write(f, "replaced");
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const ProfileWriteError& e) {
    EXPECT_EQ(e.message(),
              QStringLiteral("Unable to write to ") + f + QStringLiteral(": the file is read-only"));
  }
  EXPECT_EQ(readBytes(f), QByteArray("[Misc]\r\nTeamMaxSize=4\r\n"));
  ASSERT_TRUE(SetFileAttributesW(wide(f).c_str(), FILE_ATTRIBUTE_NORMAL));

  // Held open by a program that lets others read it but not change it (as the
  // zone server may): the new content never half-replaces it, and no temporary
  // file is left.
  HANDLE held = CreateFileW(wide(f).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    ProfileFile::writeText(f, QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"), QStringLiteral("8"));
    ADD_FAILURE() << "a file held by another program was replaced";
  } catch (const ProfileWriteError& e) {
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Unable to write to ") + f))
        << e.message().toStdString();
  }
  // Nobody may even read it: that is said as such, never taken for an empty file.
  CloseHandle(held);
  HANDLE locked =
      CreateFileW(wide(f).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_THROW(ProfileFile{f}, ProfileReadError);
  CloseHandle(locked);
  EXPECT_EQ(readBytes(f), QByteArray("[Misc]\r\nTeamMaxSize=4\r\n"));
  EXPECT_EQ(temporariesIn(app.path(QString())), QStringList());
  // Let go, the same write goes through and keeps CR LF as found.
  ProfileFile::writeText(f, QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"), QStringLiteral("8"));
  EXPECT_EQ(readBytes(f), QByteArray("[Misc]\r\nTeamMaxSize=8\r\n"));
}

TEST(WindowsFiles, AReaderThatHoldsTheFileForAMomentDelaysAWriteButDoesNotFailIt) {
  // Most programs read without letting others delete the file meanwhile; a save
  // at that moment waits for them instead of failing.
  TempApp app;
  const QString f = app.path(QStringLiteral("arena.cfg"));
  writeBytes(f, "[Misc]\r\nTeamMaxSize=4\r\n");
  HANDLE reading = CreateFileW(wide(f).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reading, INVALID_HANDLE_VALUE);
  std::thread reader([reading] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CloseHandle(reading);
  });
  EXPECT_NO_THROW(
      ProfileFile::writeText(f, QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"), QStringLiteral("8")));
  reader.join();
  EXPECT_EQ(readBytes(f), QByteArray("[Misc]\r\nTeamMaxSize=8\r\n"));
  EXPECT_EQ(temporariesIn(app.path(QString())), QStringList());
}

TEST(WindowsFiles, NamesBeyondAsciiAndPathsBeyondTheOldLimitWork) {
  TempApp app;
  const QString odd =
      app.path(QStringLiteral("Zone \u00e9t\u00e9 \u65e5\u672c")) + QStringLiteral("/ar\u00e8na.cfg");
  ASSERT_TRUE(QDir().mkpath(QFileInfo(odd).absolutePath()));
  AtomicFile::write(odd, "[A]\r\nk=1\r\n");
  EXPECT_EQ(AtomicFile::read(odd).value_or(QByteArray()), QByteArray("[A]\r\nk=1\r\n"));
  ProfileFile::writeText(odd, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("2"));
  // Exactly that name, as the system lists it.
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(wide(odd).c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_EQ(QString::fromWCharArray(found.cFileName), QStringLiteral("ar\u00e8na.cfg"));
  EXPECT_EQ(readBytes(odd), QByteArray("[A]\r\nk=2\r\n"));

  // A folder deeper than the 260 characters of old programs.
  QString deep = app.path(QStringLiteral("long"));
  while (deep.size() < 300) deep += QStringLiteral("/a-folder-with-a-long-name");
  const QString file = deep + QStringLiteral("/arena.cfg");
  QString built;
  for (const QString& part : QDir::fromNativeSeparators(deep).split(QLatin1Char('/'))) {
    built += part + QLatin1Char('/');
    if (built.size() > 3)
      CreateDirectoryW((QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(built)).toStdWString().c_str(),
                       nullptr);
  }
  AtomicFile::write(file, "[A]\r\nk=1\r\n");
  EXPECT_EQ(AtomicFile::read(file).value_or(QByteArray()), QByteArray("[A]\r\nk=1\r\n"));
  ProfileFile::writeText(file, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("3"));
  EXPECT_EQ(ProfileFile(file).value("A", "k"), QByteArray("3"));
}

TEST(WindowsProcesses, AProcessIsKnownByItsIdAndCreationTime) {
  FILETIME created{}, exited{}, kernel{}, user{};
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
  const quint64 ticks = (static_cast<quint64>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  const qint64 own = QCoreApplication::applicationPid();
  EXPECT_EQ(ProcessIdentity::currentPid(), own);
  EXPECT_EQ(ProcessIdentity::startTimeOf(own), QString::number(ticks));
  EXPECT_TRUE(ProcessIdentity::isRunning(own));
  QProcess other;
  other.start(QCoreApplication::applicationFilePath(), sleeperArguments());
  ASSERT_TRUE(other.waitForStarted(10000));
  const qint64 pid = other.processId();
  EXPECT_TRUE(ProcessIdentity::isRunning(pid));
  EXPECT_NE(ProcessIdentity::startTimeOf(pid), QString());
  EXPECT_NE(ProcessIdentity::startTimeOf(pid), ProcessIdentity::startTimeOf(own));
  other.kill();
  ASSERT_TRUE(other.waitForFinished(10000));
  EXPECT_FALSE(ProcessIdentity::isRunning(pid));
  // The program's own file, as the system names it.
  EXPECT_EQ(QFileInfo(ProcessIdentity::ownExecutable()).canonicalFilePath(),
            QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
}

TEST(WindowsFiles, APathWithBackslashesIsAFileAndABareNameLivesInTheRoamingData) {
  TempApp app;
  const QString native = QDir::toNativeSeparators(app.path(QStringLiteral("zone.ini")));
  ProfileFile::writeText(native, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("1"));
  EXPECT_EQ(readBytes(app.path(QStringLiteral("zone.ini"))), QByteArray("[A]\nk=1\n"));
  // Without XDG_CONFIG_HOME, a bare name is a file of %APPDATA%\Tessary.
  const EnvGuard xdg("XDG_CONFIG_HOME", std::nullopt);
  const EnvGuard roaming("APPDATA",
                         QDir::toNativeSeparators(app.path(QStringLiteral("Roaming"))).toLocal8Bit());
  EXPECT_EQ(ProfileFile::configFolder(), app.path(QStringLiteral("Roaming/Tessary")));
}

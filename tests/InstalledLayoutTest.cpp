// Where a copy keeps its files: beside the executable (a build, an unpacked
// folder) or, installed by a package, in the user's data folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "prefs/AppPaths.h"
#include "prefs/UpdatesPage.h"
#include "tests/TestSupport.h"
#include "tests/TinyServer.h"

namespace {
// A package's layout under a prefix: bin/ and share/tessary/.
struct Prefix {
  TempApp root;
  QString bin() const { return root.path(QStringLiteral("usr/bin")); }
  QString share() const { return root.path(QStringLiteral("usr/share/tessary")); }
  QString home() const { return root.path(QStringLiteral("home/.local/share")); }
  Prefix() {
    QDir().mkpath(bin());
    QDir().mkpath(share() + QStringLiteral("/images"));
    writeBytes(share() + QStringLiteral("/svs.cfg"), "[Warbird]\nGravity=1\n");
    writeBytes(share() + QStringLiteral("/help.hlp"), "[Warbird]\nGravity=Pull\n");
  }
};
}  // namespace

TEST(AppPathsLayout, APackageReadsItsShippedFilesAndWritesOnlyIntoTheUsersDataFolder) {
  Prefix prefix;
  const AppPaths paths = AppPaths::fromFolder(prefix.bin(), QStringLiteral("tessary"), prefix.home());
  EXPECT_TRUE(paths.isInstalled());
  EXPECT_EQ(paths.data(), prefix.share());
  EXPECT_EQ(paths.helpFile(), prefix.share() + QStringLiteral("/help.hlp"));
  EXPECT_EQ(paths.rulesFile(), prefix.share() + QStringLiteral("/cfgcheck.cdu"));
  EXPECT_EQ(paths.standardArena(), prefix.share() + QStringLiteral("/svs.cfg"));
  const QString base = AppPaths::userBaseIn(prefix.home());
  EXPECT_EQ(paths.base(), base);
  EXPECT_EQ(paths.configIni(), base + QStringLiteral("/config.ini"));
  EXPECT_EQ(paths.logFolder(), base);
  // The first start makes the folder, with a sample arena of the user's own; a later one keeps what is there.
  ASSERT_TRUE(paths.prepare());
  for (const char* folder : {"temp", "updates", "backups"})
    EXPECT_TRUE(QFileInfo(base + QLatin1Char('/') + QLatin1String(folder)).isDir()) << folder;
#ifndef _WIN32  // private there by the access list of the user's own folder
  EXPECT_EQ(QFileInfo(paths.temp()).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
            QFileDevice::Permissions());
#endif
  EXPECT_EQ(readBytes(base + QStringLiteral("/svs.cfg")), QByteArray("[Warbird]\nGravity=1\n"));
  writeBytes(base + QStringLiteral("/svs.cfg"), "mine");
  ASSERT_TRUE(paths.prepare());
  EXPECT_EQ(readBytes(base + QStringLiteral("/svs.cfg")), QByteArray("mine"));
  // Nothing was written under the prefix.
  EXPECT_EQ(QDir(prefix.bin()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
  EXPECT_EQ(QDir(prefix.share()).entryList(QDir::Files), (QStringList{"help.hlp", "svs.cfg"}));
}

TEST(AppPathsLayout, ABuildOrAnUnpackedFolderKeepsEverythingBesideTheExecutable) {
  Prefix prefix;
  // base/ beside the executable wins over a share/ folder that happens to be there.
  QDir().mkpath(prefix.bin() + QStringLiteral("/base"));
  const AppPaths paths = AppPaths::fromFolder(prefix.bin(), QStringLiteral("tessary"), prefix.home());
  EXPECT_FALSE(paths.isInstalled());
  EXPECT_EQ(paths.base(), prefix.bin() + QStringLiteral("/base"));
  EXPECT_EQ(paths.data(), paths.base());
  EXPECT_EQ(paths.logFolder(), prefix.bin());
  EXPECT_EQ(paths.executable(), prefix.bin() + QStringLiteral("/tessary"));
  ASSERT_TRUE(paths.prepare());
  EXPECT_FALSE(QFileInfo::exists(prefix.home()));
  // With neither, the folder of the executable (the old behaviour).
  TempApp bare;
  EXPECT_FALSE(AppPaths::fromFolder(bare.path(QStringLiteral("x")), QStringLiteral("tessary"), prefix.home())
                   .isInstalled());
}

TEST(AppPathsLayout, AFolderTheInstallerFilledIsInstalledThoughTheUserMayWriteIt) {
  // A per-user install: base\ beside the program, writable, and the installer's uninstaller beside it.
  Prefix prefix;
  const QString beside = prefix.bin() + QStringLiteral("/base");
  QDir().mkpath(beside);
  writeBytes(beside + QStringLiteral("/svs.cfg"), "[Warbird]\nGravity=2\n");
  writeBytes(prefix.bin() + QLatin1Char('/') + QLatin1String(AppPaths::kInstallerMark), "MZ");
  const AppPaths paths = AppPaths::fromFolder(prefix.bin(), QStringLiteral("tessary"), prefix.home());
  EXPECT_TRUE(paths.isInstalled());
  EXPECT_EQ(paths.data(), beside);
  EXPECT_EQ(paths.base(), AppPaths::userBaseIn(prefix.home()));
  ASSERT_TRUE(paths.prepare());
  EXPECT_EQ(readBytes(paths.base() + QStringLiteral("/svs.cfg")), QByteArray("[Warbird]\nGravity=2\n"));
  EXPECT_EQ(QDir(beside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"svs.cfg"});
  // A folder named like the mark is no mark.
  QFile::remove(prefix.bin() + QLatin1Char('/') + QLatin1String(AppPaths::kInstallerMark));
  QDir().mkpath(prefix.bin() + QLatin1Char('/') + QLatin1String(AppPaths::kInstallerMark));
  EXPECT_FALSE(AppPaths::fromFolder(prefix.bin(), QStringLiteral("tessary"), prefix.home()).isInstalled());
}

TEST(AppPathsLayout, AnInstalledCopyLeavesItsUpdatesToThePackageManager) {
  Prefix prefix;
  TinyServer server;
  qputenv("TESSARY_UPDATE_URL", server.base().toUtf8());
  const AppPaths paths = AppPaths::fromFolder(prefix.bin(), QStringLiteral("tessary"), prefix.home());
  ASSERT_TRUE(paths.prepare());
  ScriptedPrompts prompts;
  UpdatesPage page(paths, prompts);
  page.initialise();
#ifdef _WIN32
  const QString said =
      QStringLiteral("Status: This copy is updated by running a newer Tessary setup, not from here...");
#else
  const QString said =
      QStringLiteral("Status: This copy is updated by the system's package manager (apt), not from here...");
#endif
  auto status = [&] { return page.findChild<QLabel*>(QStringLiteral("Label1"))->text(); };
  EXPECT_EQ(status(), said);
  EXPECT_FALSE(page.findChild<QPushButton*>(QStringLiteral("BitBtn5"))->isEnabled());
  // Neither a check (the menu command's two halves) nor an installation fetches or writes anything.
  writeBytes(paths.updates() + QStringLiteral("/update.cdu"),
             "[Info]\nFullUpdateVersion=99\n[Operations]\nFullUpdate=tessary\n[SHA256]\ntessary=00\n");
  page.beginCheck();
  page.finishCheck();
  page.BitBtn5Click();
  page.BitBtn6Click();
  EXPECT_TRUE(server.requests.isEmpty());
  EXPECT_EQ(status(), said);
  EXPECT_EQ(QDir(prefix.bin()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
  qunsetenv("TESSARY_UPDATE_URL");
}

TEST(CfgToolHelp, HelpAndVersionAnswerOnStandardOutput) {
  QProcess help;
  help.start(QStringLiteral(TESSARY_CFG_TOOL), {QStringLiteral("--help")});
  ASSERT_TRUE(help.waitForFinished(10000));
  EXPECT_EQ(help.exitCode(), 0);
  const QByteArray text = help.readAllStandardOutput();
  for (const char* command : {"get", "set", "sections", "keys", "lines", "check", "Exit status"})
    EXPECT_TRUE(text.contains(command)) << command;
  QProcess version;
  version.start(QStringLiteral(TESSARY_CFG_TOOL), {QStringLiteral("--version")});
  ASSERT_TRUE(version.waitForFinished(10000));
  EXPECT_EQ(version.exitCode(), 0);
  EXPECT_EQ(version.readAllStandardOutput(), QByteArray("tessary-cfg " TESSARY_VERSION "\n"));
}

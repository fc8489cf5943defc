#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "profile/AtomicFile.h"
#include "tests/CoreSupport.h"

namespace {
struct ToolRun {
  int code;
  QByteArray out;
  QByteArray err;
};

ToolRun run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(30000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}

ToolRun cfg(const QStringList& args) { return run(QStringLiteral(TESSARY_CFG_TOOL), args); }
}  // namespace

TEST(CfgTool, ReadsWithoutChangingTheFile) {
  TempApp app;
  const QByteArray content = "[Warbird]\r\nInitialEnergy=1500\r\nEmpty=\r\n[Misc]\r\nA=1\r\n";
  const QString f = app.file(QStringLiteral("a.cfg"), content);
  const QDateTime before = QFileInfo(f).lastModified();
  EXPECT_EQ(cfg({QStringLiteral("get"), f, QStringLiteral("warbird"), QStringLiteral("initialenergy")}).out,
            "1500\n");
  EXPECT_EQ(cfg({QStringLiteral("get"), f, QStringLiteral("Warbird"), QStringLiteral("Nope"),
                 QStringLiteral("N/A")})
                .out,
            "N/A\n");
  EXPECT_EQ(cfg({QStringLiteral("get"), f, QStringLiteral("Warbird"), QStringLiteral("Empty"),
                 QStringLiteral("N/A")})
                .out,
            "\n");
  EXPECT_EQ(cfg({QStringLiteral("sections"), f}).out, "Warbird\nMisc\n");
  EXPECT_EQ(cfg({QStringLiteral("keys"), f, QStringLiteral("Warbird")}).out, "InitialEnergy\nEmpty\n");
  EXPECT_EQ(cfg({QStringLiteral("lines"), f, QStringLiteral("Warbird")}).out, "InitialEnergy=1500\nEmpty=\n");
  EXPECT_EQ(readBytes(f), content);
  EXPECT_EQ(QFileInfo(f).lastModified(), before);
}

TEST(CfgTool, WritesInPlaceAndReportsFailures) {
  TempApp app;
  const QString f = app.file(QStringLiteral("a.cfg"), "[Warbird]\r\nInitialEnergy=1500\r\n");
  const ToolRun set = cfg({QStringLiteral("set"), f, QStringLiteral("Warbird"),
                           QStringLiteral("InitialEnergy"), QStringLiteral("1700")});
  EXPECT_EQ(set.code, 0);
  EXPECT_EQ(readBytes(f), QByteArray("[Warbird]\r\nInitialEnergy=1700\r\n"));
  // A folder that is a file: the write fails with the system's words.
  const QString bad = f + QStringLiteral("/a.cfg");
  const ToolRun failed =
      cfg({QStringLiteral("set"), bad, QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")});
  EXPECT_EQ(failed.code, 1);
  EXPECT_TRUE(
      failed.err.startsWith((QStringLiteral("Unable to write to ") + bad + QStringLiteral(": ")).toUtf8()))
      << failed.err.toStdString();
#ifndef _WIN32
  EXPECT_EQ(failed.err.trimmed(),
            (QStringLiteral("Unable to write to ") + bad + ": Not a directory").toUtf8());
#endif
  EXPECT_EQ(cfg({QStringLiteral("frobnicate"), f}).code, 2);
}

#ifndef _WIN32
namespace {
// Runs the tool through the shell, for byte-exact names and resource limits.
ToolRun shell(const QString& script, const QStringList& args = {}) {
  return run(QStringLiteral("/bin/sh"),
             QStringList{QStringLiteral("-c"), script, QStringLiteral(TESSARY_CFG_TOOL)} + args);
}
}  // namespace
#endif

TEST(CfgTool, RefusesWhatItCannotDoAndChangesNothing) {
  TempApp app;
  const QByteArray content = "[A]\nk=1\n";
  const QString f = app.file(QStringLiteral("a.cfg"), content);
  // Names the layout cannot hold: usage errors, nothing written.
  for (const auto& [section, key] :
       std::vector<std::pair<QString, QString>>{{QStringLiteral("A"), QStringLiteral("k=v")},
                                                {QStringLiteral("A"), QStringLiteral("#x")},
                                                {QStringLiteral("A"), QStringLiteral("[New")},
                                                {QStringLiteral("A"), QStringLiteral(";x")},
                                                {QStringLiteral("A"), QString()},
                                                {QStringLiteral("A]"), QStringLiteral("x")}}) {
    const ToolRun r = cfg({QStringLiteral("set"), f, section, key, QStringLiteral("5")});
    EXPECT_EQ(r.code, 2) << section.toStdString() << "/" << key.toStdString();
    EXPECT_FALSE(r.err.isEmpty());
  }
  EXPECT_EQ(readBytes(f), content);
  // A folder that does not exist is not made.
  const QString deep = app.path(QStringLiteral("no/such/a.cfg"));
  const ToolRun missing =
      cfg({QStringLiteral("set"), deep, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("1")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err.trimmed(),
            (QStringLiteral("Unable to write to ") + deep + ": " + missingFolderWords()).toUtf8());
  EXPECT_FALSE(QFileInfo::exists(app.path(QStringLiteral("no"))));
#ifndef _WIN32  // no FIFOs or /dev/zero on Windows
  // A pipe is refused at once instead of waiting for a writer.
  const QString fifo = app.path(QStringLiteral("pipe.cfg"));
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
  const ToolRun piped = cfg({QStringLiteral("sections"), fifo});
  EXPECT_EQ(piped.code, 1);
  EXPECT_TRUE(piped.err.startsWith("Unable to read " + fifo.toUtf8())) << piped.err.toStdString();
  EXPECT_EQ(
      cfg({QStringLiteral("get"), QStringLiteral("/dev/zero"), QStringLiteral("A"), QStringLiteral("k")})
          .code,
      1);
#endif
}

TEST(CfgTool, AFullDiskLeavesTheFileAndFails) {
  SKIP_ON_WINDOWS("ulimit -f of a POSIX shell stands in for a full disk");
#ifndef _WIN32
  TempApp app;
  QByteArray content = "[Warbird]\n";
  for (int i = 0; i < 600; ++i) content += "Setting" + QByteArray::number(i) + "=1000\n";
  ASSERT_GT(content.size(), 8192);
  ASSERT_LT(content.size(), 16384);
  const QString f = app.file(QStringLiteral("svs.cfg"), content);
  // Files may grow to 4 KB only; SIGXFSZ ignored so the write reports EFBIG.
  const ToolRun r =
      shell(QStringLiteral("trap '' XFSZ; ulimit -f 4; exec \"$0\" set \"$1\" Warbird Setting1 7"), {f});
  EXPECT_EQ(r.code, 1);
  // The system's words say why: the file size limit stands in for a full disk.
  EXPECT_EQ(r.err.trimmed(), (QStringLiteral("Unable to write to ") + f + ": File too large").toUtf8());
  EXPECT_EQ(readBytes(f), content);
  EXPECT_EQ(QDir(app.path(QString())).entryList(QDir::Files | QDir::Hidden).size(), 1);
#endif
}

TEST(CfgTool, AFileThatCannotBeReadIsNeverOverwritten) {
  SKIP_ON_WINDOWS("a write-only file needs permission bits");
#ifndef _WIN32
  TempApp app;
  const QString f = app.file(QStringLiteral("a.cfg"), "[A]\nk=1\nother=2\n");
  ::chmod(app.path(QString()).toLocal8Bit().constData(), 0777);
  ::chmod(f.toLocal8Bit().constData(), 0222);
  // A copy of the tool the unprivileged user can reach (the build folder may lie under /root).
  const QString tool = app.path(QStringLiteral("tessary-cfg"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(TESSARY_CFG_TOOL), tool));
  ::chmod(tool.toLocal8Bit().constData(), 0755);
  QProcess p;
  if (::geteuid() == 0)
    p.setChildProcessModifier([] {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    });
  p.start(tool, {QStringLiteral("set"), f, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("5")});
  p.waitForFinished(30000);
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_EQ(p.readAllStandardError().trimmed(), (QStringLiteral("Unable to read ") + f).toUtf8());
  ::chmod(f.toLocal8Bit().constData(), 0644);
  ::chmod(app.path(QString()).toLocal8Bit().constData(), 0700);
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=1\nother=2\n"));
#endif
}

TEST(CfgTool, ANameThatIsNotUtf8NamesThatVeryFile) {
  SKIP_ON_WINDOWS("names are UTF-16 there: none is not UTF-8");
#ifndef _WIN32
  TempApp app;
  const QByteArray folder = QFile::encodeName(app.path(QString()));
  const QByteArray odd = folder + "/caf\xE9.cfg";
  const ToolRun set = shell(QStringLiteral("exec \"$0\" set \"$1/$(printf 'caf\\351.cfg')\" A k 1"),
                            {QFile::decodeName(folder)});
  EXPECT_EQ(set.code, 0) << set.err.toStdString();
  const std::optional<QByteArray> written = AtomicFile::read(AtomicFile::decodePath(odd));
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(*written, QByteArray("[A]\nk=1\n"));
  const ToolRun get = shell(QStringLiteral("exec \"$0\" get \"$1/$(printf 'caf\\351.cfg')\" A k"),
                            {QFile::decodeName(folder)});
  EXPECT_EQ(get.out, "1\n");
  EXPECT_FALSE(AtomicFile::exists(QFile::decodeName(folder) + QStringLiteral("/caf\uFFFD.cfg")));
  AtomicFile::remove(AtomicFile::decodePath(odd));
#endif
}

TEST(CfgTool, AValueWithALineBreakIsRefusedAndTheFileStays) {
  TempApp app;
  const QByteArray content = "[Warbird]\nInitialEnergy=1500\n";
  const QString f = app.file(QStringLiteral("a.cfg"), content);
  for (const QString& value : {QStringLiteral("1\n[Evil]"), QStringLiteral("1\r2"), QStringLiteral("\n")}) {
    const ToolRun r =
        cfg({QStringLiteral("set"), f, QStringLiteral("Warbird"), QStringLiteral("InitialEnergy"), value});
    EXPECT_EQ(r.code, 2) << value.toStdString();
    EXPECT_EQ(r.err.trimmed(), QByteArray("A value cannot hold a line break."));
    EXPECT_EQ(readBytes(f), content);
  }
}

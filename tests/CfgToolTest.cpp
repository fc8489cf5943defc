#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include "tests/TestSupport.h"

namespace {
struct ToolRun {
  int code;
  QByteArray out;
  QByteArray err;
};

ToolRun cfg(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(TESSARY_CFG_TOOL), args);
  p.waitForFinished(30000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}
}  // namespace

TEST(CfgTool, ReadsWithoutChangingTheFile) {
  TempApp app;
  const QByteArray content = "[Warbird]\r\nInitialEnergy=1500\r\nEmpty=\r\n[Misc]\r\nA=1\r\n";
  const QString f = app.file(QStringLiteral("a.cfg"), content);
  const QDateTime before = QFileInfo(f).lastModified();
  EXPECT_EQ(cfg({QStringLiteral("get"), f, QStringLiteral("warbird"), QStringLiteral("initialenergy")}).out, "1500\n");
  EXPECT_EQ(cfg({QStringLiteral("get"), f, QStringLiteral("Warbird"), QStringLiteral("Nope"), QStringLiteral("N/A")}).out,
            "N/A\n");
  EXPECT_EQ(cfg({QStringLiteral("get"), f, QStringLiteral("Warbird"), QStringLiteral("Empty"), QStringLiteral("N/A")}).out,
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
  const ToolRun set = cfg({QStringLiteral("set"), f, QStringLiteral("Warbird"), QStringLiteral("InitialEnergy"),
                       QStringLiteral("1700")});
  EXPECT_EQ(set.code, 0);
  EXPECT_EQ(readBytes(f), QByteArray("[Warbird]\r\nInitialEnergy=1700\r\n"));
  const QString bad = QStringLiteral("/dev/null/a.cfg");
  const ToolRun failed = cfg({QStringLiteral("set"), bad, QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")});
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.err.trimmed(), QByteArray("Unable to write to /dev/null/a.cfg"));
  EXPECT_EQ(cfg({QStringLiteral("frobnicate"), f}).code, 2);
}

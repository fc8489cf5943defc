// The About box, the version block it reads from the executable file, and the credits panel.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>

#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "components/CRPanel.h"
#include "tests/TestSupport.h"
#include "update/VersionInfo.h"

namespace {
// A copy of an executable whose version block says another version.
QString patchedCopy(const TempApp& app, const QString& exe, const QString& name) {
  const QByteArray bytes = withFileVersion(readBytes(exe), "9.8.7.6");
  if (bytes.isEmpty()) return {};
  const QString copy = app.path(name);
  writeBytes(copy, bytes);
  QFile::setPermissions(copy, QFile::permissions(exe));
  return copy;
}
}  // namespace

TEST(VersionBlock, ReadFromTheFileOnDiskNotFromTheRunningCode) {
  TVersionInfo own;
  own.setFileName(QString());  // the running executable
  ASSERT_TRUE(own.hasBlock());
  EXPECT_EQ(own.fileVersion(), QStringLiteral(TESSARY_VERSION));
  ASSERT_EQ(own.translations().size(), 1);
  EXPECT_EQ(own.translations()[0], (QPair<quint16, quint16>(0x0409, 0x04b0)));
  EXPECT_EQ(own.value(9), QStringLiteral("Tessary"));  // ProductName
  EXPECT_EQ(own.value(12), QString());
  TempApp app;
  TVersionInfo copy;
  copy.setFileName(patchedCopy(app, QCoreApplication::applicationFilePath(), QStringLiteral("copy")));
  EXPECT_EQ(copy.fileVersion(), QStringLiteral("9.8.7.6"));
  TVersionInfo none;
  none.setFileName(app.file(QStringLiteral("plain.txt"), "no block here"));
  EXPECT_FALSE(none.hasBlock());
  EXPECT_EQ(none.fileVersion(), QString());
  none.setFileName(app.path(QStringLiteral("missing")));
  EXPECT_EQ(none.fileVersion(), QString());
}

TEST(VersionBlock, TheProgramPrintsItsOwnVersionAndHelpWithoutADisplay) {
  TempApp app;
  const QString copy = patchedCopy(app, QStringLiteral(TESSARY_EXE), QStringLiteral("tessary"));
  ASSERT_FALSE(copy.isEmpty());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));  // would fail if a window were made
  for (const auto& [exe, expected] :
       {std::pair{QStringLiteral(TESSARY_EXE), QByteArray("tessary " TESSARY_VERSION "\n")},
        std::pair{copy, QByteArray("tessary 9.8.7.6\n")}}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(exe, {QStringLiteral("--version")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput(), expected);
  }
  QProcess help;
  help.setProcessEnvironment(env);
  help.start(QStringLiteral(TESSARY_EXE), {QStringLiteral("--help")});
  ASSERT_TRUE(help.waitForFinished(30000));
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_TRUE(help.readAllStandardOutput().contains("--screenshot FILE"));
}

TEST(AboutBox, ShowsTheBuildReadAfreshAtEachActivation) {
  MainWindowFixture fx;
  fx.form->action(QStringLiteral("HelpAbout1"))->trigger();
  auto* about = fx.form->findChild<TAboutBox*>(QStringLiteral("TAboutBox"));
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_TRUE(about->isModal());
  EXPECT_EQ(about->windowTitle(), QStringLiteral("About"));
  auto* build = about->findChild<QLabel*>(QStringLiteral("BuildNumber"));
  EXPECT_EQ(build->text(), QStringLiteral(TESSARY_VERSION));
  build->setText(QStringLiteral("stale"));
  about->close();
  fx.form->action(QStringLiteral("HelpAbout1"))->trigger();
  EXPECT_EQ(build->text(), QStringLiteral(TESSARY_VERSION));
  EXPECT_EQ(TAboutBox::creditLines().size(), 26);
  EXPECT_EQ(TAboutBox::creditLines()[7].size(), 131);
  about->close();
}

TEST(CreditsPanel, GradientStepsTruncateTowardZero) {
  const QColor red(255, 0, 0), yellow(255, 255, 0);
  EXPECT_EQ(TCRPanel::gradientColour(red, yellow, 0, 10), red);
  EXPECT_EQ(TCRPanel::gradientColour(red, yellow, 10, 10), QColor(255, 250, 0));  // 255 div 10 = 25
  EXPECT_EQ(TCRPanel::gradientColour(red, yellow, 11, 10), QColor(255, 19, 0));   // 275 mod 256
  // Toward a smaller value the step truncates toward zero: (0 - 255) div 10 = -25.
  EXPECT_EQ(TCRPanel::gradientColour(QColor(255, 255, 255), QColor(0, 0, 0), 3, 10), QColor(180, 180, 180));
}

TEST(CreditsPanel, LinesEnterFromBelowInTheirRowColourAndStartOverAfterTheLast) {
  TCRPanel panel;
  panel.resize(269, 117);
  panel.setStrings({QStringLiteral("WWWW"), QStringLiteral("MMMM")});
  panel.UseGradient = true;
  panel.setBeginColor(Qt::red);
  panel.setEndColor(Qt::yellow);
  panel.setActive(true);
  EXPECT_EQ(panel.firstLine(), 0);
  EXPECT_EQ(panel.offset(), 117);
  const int h = panel.lineHeight();
  // Step until the first line stands at y = 40, then look at its colour.
  while (panel.offset() > 40) panel.step();
  panel.step();  // paints at 40
  const QColor expected = TCRPanel::gradientColour(Qt::red, Qt::yellow, 40 / h, panel.rows());
  bool found = false;
  const QImage picture = panel.picture();
  for (int y = 40; y < 40 + h && !found; ++y)
    for (int x = 0; x < picture.width() && !found; ++x) found = picture.pixelColor(x, y) == expected;
  EXPECT_TRUE(found) << "no pixel of the row colour " << expected.name().toStdString();
  // The first line leaves at the top, the second follows, then all starts over from below.
  int steps = 0;
  while (panel.firstLine() == 0 && steps++ < 1000) panel.step();
  EXPECT_EQ(panel.firstLine(), 1);
  EXPECT_EQ(panel.offset(), 0);
  while (panel.firstLine() == 1 && steps++ < 2000) panel.step();
  EXPECT_EQ(panel.firstLine(), 0);
  EXPECT_EQ(panel.offset(), 117);
  // Not active: only the background.
  panel.setActive(false);
  panel.step();
  EXPECT_EQ(panel.picture().pixelColor(134, 58), QColor(Qt::black));
}

TEST(AboutBox, EveryCreditLineOfWordsFitsThePanelWhole) {
  MainWindowFixture fx;
  fx.form->action(QStringLiteral("HelpAbout1"))->trigger();
  auto* about = fx.form->findChild<TAboutBox*>(QStringLiteral("TAboutBox"));
  auto* panel = about->findChild<TCRPanel*>();
  ASSERT_NE(panel, nullptr);
  const QFontMetrics metrics(panel->font());
  for (const QString& line : TAboutBox::creditLines())
    if (!line.contains(QStringLiteral("----")))
      EXPECT_LE(metrics.horizontalAdvance(line), panel->width()) << line.toStdString();
  // And the box holds the panel.
  EXPECT_LE(panel->width(), about->width());
  about->close();
}

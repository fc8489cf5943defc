#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include "documents/RangeCheck.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "tests/CoreSupport.h"

namespace {
QString shippedRules() { return sourceDir() + QStringLiteral("/base/cfgcheck.cdu"); }

QStringList texts(const QList<RangeCheck::Finding>& findings) {
  QStringList out;
  for (const auto& f : findings) out.append(f.text());
  return out;
}

const QByteArray kRules =
    "[Ships]\nGravity=1:Gravity:0:20000\nBulletSpeed=1 BulletSpeed 0 \"9000\" required\n"
    "[Misc]\nTeamMaxSize=2:Misc:TeamMaxSize:0:255\nName=2:\"Team Settings\":\"Max Per: Team\":1:8\n"
    "[ShipSections]\nWarbird=1\nShark=1\n[Revision]\n[Format]\n[Notes]\n[End]\n";
}  // namespace

TEST(RangeCheck, TheStandardArenaMeetsTheShippedRules) {
  const RangeCheck::Rules rules = RangeCheck::loadRules(shippedRules());
  EXPECT_GT(rules.rules.size(), 300);
  EXPECT_EQ(rules.shipSections.size(), 8);
  EXPECT_EQ(texts(RangeCheck::check(ProfileFile(sourceDir() + QStringLiteral("/base/svs.cfg")), rules)),
            QStringList());
}

TEST(RangeCheck, FindsValuesOutOfRangeNotNumbersAndMissingRequiredOnes) {
  TempApp app;
  const RangeCheck::Rules rules = RangeCheck::loadRules(app.file(QStringLiteral("r.cdu"), kRules));
  const QString cfg = app.file(QStringLiteral("a.cfg"),
                               "[Warbird]\nGravity=20000\nBulletSpeed=9001\n"
                               "[Shark]\nGravity=-1\n"
                               "[Misc]\nTeamMaxSize=abc\n"
                               "[Team Settings]\nMax Per: Team=9\n");
  EXPECT_EQ(texts(RangeCheck::check(ProfileFile(cfg), rules)),
            (QStringList{QStringLiteral("Shark - Gravity: -1 is below the minimum 0"),
                         QStringLiteral("Warbird - BulletSpeed: 9001 is above the maximum 9000"),
                         QStringLiteral("Shark - BulletSpeed: missing, a value is required"),
                         QStringLiteral("Misc - TeamMaxSize: \"abc\" is not a whole number"),
                         QStringLiteral("Team Settings - Max Per: Team: 9 is above the maximum 8")}));
}

TEST(RangeCheck, ARuleWithoutItsFieldsNamesItsSectionAndKey) {
  TempApp app;
  for (const QByteArray& bad : {QByteArray("Gravity=1:Gravity:0"), QByteArray("Gravity="),
                                QByteArray("Gravity=3:x:0:1"), QByteArray("Gravity=1:Gravity:zero:1")}) {
    const QString path =
        app.file(QStringLiteral("bad.cdu"), "[Ships]\n" + bad + "\n[A]\n[B]\n[C]\n[D]\n[E]\n");
    try {
      RangeCheck::loadRules(path);
      ADD_FAILURE() << bad.toStdString();
    } catch (const TessaryError& e) {
      EXPECT_TRUE(e.message().startsWith(QStringLiteral("The rule Ships - Gravity in ")))
          << e.message().toStdString();
    }
  }
  // The last five sections are never read as rules.
  const QString six = app.file(QStringLiteral("six.cdu"), "[A]\nx=junk\n[B]\n[C]\n[D]\n[E]\n[F]\n");
  EXPECT_THROW(RangeCheck::loadRules(six), TessaryError);
  const QString five = app.file(QStringLiteral("five.cdu"), "[A]\nx=junk\n[B]\n[C]\n[D]\n[E]\n");
  EXPECT_TRUE(RangeCheck::loadRules(five).rules.isEmpty());
}

TEST(RangeCheck, TheShippedRulesAreTheGeneratorsOutputOfTheSharedTable) {
  const QString table = sourceDir() + QStringLiteral("/../shared/data/settings-ranges.tsv");
  SKIP_ON_WINDOWS("the generator is a bash script; the Linux run checks the same committed file");
  if (!QFileInfo::exists(table)) GTEST_SKIP() << "no shared table beside the source";
  TempApp app;
  const QString out = app.path(QStringLiteral("cfgcheck.cdu"));
  QProcess p;
  p.start(QStringLiteral("bash"), {sourceDir() + QStringLiteral("/scripts/genrules"), table, out});
  ASSERT_TRUE(p.waitForFinished(30000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(readBytes(out), readBytes(shippedRules())) << "run scripts/genrules and commit base/cfgcheck.cdu";
}

TEST(RangeCheck, TheCommandLineCheckSaysWhatIsWrongAndExitsOneForFindings) {
  TempApp app;
  const QString rules = app.file(QStringLiteral("r.cdu"), kRules);
  auto run = [&](const QString& cfg) {
    QProcess p;
    p.start(QStringLiteral(TESSARY_CFG_TOOL), {QStringLiteral("check"), cfg, rules});
    p.waitForFinished(30000);
    return std::make_pair(p.exitCode(), p.readAllStandardOutput());
  };
  const auto clean =
      run(app.file(QStringLiteral("ok.cfg"), "[Warbird]\nBulletSpeed=10\n[Shark]\nBulletSpeed=10\n"));
  EXPECT_EQ(clean.first, 0);
  EXPECT_EQ(clean.second, QByteArray());
  const auto bad = run(
      app.file(QStringLiteral("bad.cfg"), "[Warbird]\nBulletSpeed=10\nGravity=x\n[Shark]\nBulletSpeed=10\n"));
  EXPECT_EQ(bad.first, 1);
  EXPECT_EQ(bad.second, QByteArray("Warbird - Gravity: \"x\" is not a whole number\n"));
}

TEST(RangeCheck, AMissingRulesOrConfigurationFileIsAnErrorNeverAPass) {
  TempApp app;
  const QString rules = app.file(QStringLiteral("r.cdu"), kRules);
  const QString ok =
      app.file(QStringLiteral("ok.cfg"), "[Warbird]\nBulletSpeed=10\n[Shark]\nBulletSpeed=10\n");
  auto run = [&](const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TESSARY_CFG_TOOL), QStringList{QStringLiteral("check")} + args);
    p.waitForFinished(30000);
    return std::make_tuple(p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError().trimmed());
  };
  const QString noRules = app.path(QStringLiteral("none.cdu"));
  EXPECT_EQ(run({ok, noRules}), std::make_tuple(2, QByteArray(), ("Unable to read " + noRules).toUtf8()));
  const QString noConfig = app.path(QStringLiteral("gone.cfg"));
  EXPECT_EQ(run({noConfig, rules}),
            std::make_tuple(1, QByteArray(), ("Unable to read " + noConfig).toUtf8()));
  EXPECT_THROW(RangeCheck::loadRules(noRules), ProfileReadError);
  // A folder where the rules should be is as unreadable as nothing.
  EXPECT_EQ(std::get<0>(run({ok, app.path(QStringLiteral("base"))})), 2);
}

TEST(RangeCheck, TheMinimumBoundIsABoundOfItsOwn) {
  const RangeCheck::Rules rules = [] {
    TempApp app;
    return RangeCheck::loadRules(
        app.file(QStringLiteral("r.cdu"),
                 "[Ships]\nGravity=1:Gravity:-5:100\n[A]\n[B]\n[C]\n[D]\n[ShipSections]\nWarbird=1\n"));
  }();
  auto found = [&](const QByteArray& value) {
    const ProfileFile f("[Warbird]\nGravity=" + value + "\n", ProfileFile::FromMemory{});
    QStringList out;
    for (const RangeCheck::Finding& x : RangeCheck::check(f, rules)) out.append(x.problem);
    return out;
  };
  EXPECT_EQ(found("-5"), QStringList());
  EXPECT_EQ(found("-6"), QStringList{QStringLiteral("-6 is below the minimum -5")});
  EXPECT_EQ(found("100"), QStringList());
  EXPECT_EQ(found("101"), QStringList{QStringLiteral("101 is above the maximum 100")});
}

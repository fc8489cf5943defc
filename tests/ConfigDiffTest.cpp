// The differences of two arenas: the engine's list and tessary-cfg diff.
#include <gtest/gtest.h>

#include <QProcess>

#include "documents/ConfigDiff.h"
#include "documents/DifferenceModel.h"
#include "profile/ProfileFile.h"
#include "tests/CompareArenas.h"
#include "tests/CoreSupport.h"

namespace {

QStringList lines(const QByteArray& a, const QByteArray& b) {
  QStringList out;
  for (const ConfigDiff::Difference& d : ConfigDiff::compare(ProfileFile(a, ProfileFile::FromMemory{}),
                                                             ProfileFile(b, ProfileFile::FromMemory{})))
    out.append(QString::fromUtf8(ConfigDiff::line(d)));
  return out;
}

struct ToolRun {
  int code;
  QByteArray out;
  QByteArray err;
};
ToolRun diff(const QString& a, const QString& b) {
  QProcess p;
  p.start(QStringLiteral(TESSARY_CFG_TOOL), {QStringLiteral("diff"), a, b});
  p.waitForFinished(30000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}
}  // namespace

TEST(ConfigDiff, ChangedAddedAndRemovedKeysAndSectionsLetterCaseAside) {
  EXPECT_EQ(lines(kOurs, kTheirs), (QStringList{
                                       "Warbird - BulletSpeed: 2000 | 2400",
                                       "Warbird - OnlyOurs: 5 | (missing)",
                                       "Javelin - New: (missing) | 7",
                                       "Misc - TeamMaxSize: 0 | ",
                                       "Gone - X: 1 | (missing)",
                                       "EmptyHere - [section]:  | (missing)",
                                       "Added - Y: (missing) | 2",
                                   }));
  EXPECT_EQ(lines(kOurs, kOurs), QStringList());
  // Only letter case and blanks differ: the same settings.
  EXPECT_EQ(lines("[Misc]\nTeamMaxSize = 3\n", "[MISC]\nteammaxsize=3\n"), QStringList());
}

TEST(ConfigDiff, TheCommandPrintsTheDifferencesAndSaysByItsExitStatus) {
  TempApp app;
  const QString ours = app.file(QStringLiteral("ours.cfg"), kOurs);
  const QString theirs = app.file(QStringLiteral("theirs.cfg"), kTheirs);
  const ToolRun differ = diff(ours, theirs);
  EXPECT_EQ(differ.code, 1);
  EXPECT_EQ(differ.out.split('\n').size(), 8);  // seven lines and the end
  EXPECT_TRUE(differ.out.startsWith("Warbird - BulletSpeed: 2000 | 2400\n")) << differ.out.toStdString();
  const ToolRun same = diff(ours, app.file(QStringLiteral("copy.cfg"), kOurs));
  EXPECT_EQ(same.code, 0);
  EXPECT_EQ(same.out, QByteArray());
  const ToolRun missing = diff(ours, app.path(QStringLiteral("nowhere.cfg")));
  EXPECT_EQ(missing.code, 2);
  EXPECT_TRUE(missing.err.contains("nowhere.cfg")) << missing.err.toStdString();
  EXPECT_EQ(diff(app.path(QString()), ours).code, 2);  // a folder cannot be read as a file
}

TEST(DifferenceList, GroupsBySectionAndItsFindBoxMatchesSettingOrSectionNames) {
  DifferenceModel model;
  model.setDifferences(ConfigDiff::compare(ProfileFile(kOurs, ProfileFile::FromMemory{}),
                                           ProfileFile(kTheirs, ProfileFile::FromMemory{})));
  // "[warbird]" on the other side is the same section: one group, in the document's spelling.
  ASSERT_EQ(model.sectionCount(), 6);
  EXPECT_EQ(model.differenceCount(), 7);
  const QModelIndex warbird = model.index(0, 0);
  EXPECT_EQ(warbird.data().toString(), QStringLiteral("Warbird (2)"));
  EXPECT_EQ(model.index(0, DifferenceModel::OtherColumn, warbird).data().toString(), QStringLiteral("2400"));
  // A setting the other file lacks has nothing to copy; one the document lacks shows "(missing)".
  const QModelIndex onlyOurs = model.indexOf(QStringLiteral("WARBIRD"), QStringLiteral("onlyours"));
  ASSERT_TRUE(onlyOurs.isValid());
  EXPECT_EQ(onlyOurs.parent(), warbird);
  EXPECT_FALSE(onlyOurs.data(DifferenceModel::OtherValueRole).isValid());
  const QModelIndex added = model.indexOf(QStringLiteral("Added"), QStringLiteral("Y"));
  EXPECT_EQ(added.siblingAtColumn(DifferenceModel::DocumentColumn).data().toString(),
            QString::fromLatin1(ConfigDiff::kMissing));
  EXPECT_EQ(added.data(DifferenceModel::OtherValueRole).toString(), QStringLiteral("2"));

  DifferenceFilter shown;
  shown.setSourceModel(&model);
  auto rows = [&] {
    QStringList out;
    for (int s = 0; s < shown.rowCount(); ++s)
      for (int r = 0; r < shown.rowCount(shown.index(s, 0)); ++r)
        out.append(shown.index(s, 0).data(DifferenceModel::SectionRole).toString() + QLatin1Char('/') +
                   shown.index(r, 0, shown.index(s, 0)).data().toString());
    return out;
  };
  // By setting name, letter case aside: only the settings that hold it, under their sections.
  shown.setText(QStringLiteral("bulletSPEED"));
  EXPECT_EQ(rows(), QStringList{QStringLiteral("Warbird/BulletSpeed")});
  // By section name: every setting of the section.
  shown.setText(QStringLiteral("misc"));
  EXPECT_EQ(rows(), QStringList{QStringLiteral("Misc/TeamMaxSize")});
  shown.setText(QStringLiteral("warb"));
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("Warbird/BulletSpeed"), QStringLiteral("Warbird/OnlyOurs")}));
  shown.setText(QStringLiteral("nothing like it"));
  EXPECT_EQ(shown.rowCount(), 0);
  shown.setText(QString());
  EXPECT_EQ(rows().size(), 7);
}

TEST(ConfigDiff, KeysInAnotherOrderOrRepeatedSectionsAreComparedByName) {
  // The same settings listed in another order, letter case aside, with one changed and one on each side only.
  const QByteArray a = "[Warbird]\nA=1\nB=2\nC=3\nd=4\nOnlyA=5\n\n[Misc]\nX=1\n[misc]\nY=2\n";
  const QByteArray b = "[WARBIRD]\nD=4\nc=30\na=1\nOnlyB=6\nb=2\n\n[Misc]\nY=2\nX=1\n";
  QStringList lines;
  for (const ConfigDiff::Difference& d : ConfigDiff::compare(ProfileFile(a, ProfileFile::FromMemory{}),
                                                             ProfileFile(b, ProfileFile::FromMemory{})))
    lines.append(QString::fromUtf8(ConfigDiff::line(d)));
  EXPECT_EQ(lines, (QStringList{"Warbird - C: 3 | 30", "Warbird - OnlyA: 5 | (missing)",
                                "Warbird - OnlyB: (missing) | 6"}));
}

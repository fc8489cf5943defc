#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "app/TessaryError.h"
#include "profile/ProfileFile.h"
#include "profile/TextCodec.h"
#include "tests/TestSupport.h"

namespace {
class ProfileFileTest : public ::testing::Test {
 protected:
  TempApp app;
  QString file(const QByteArray& content) { return app.file(QStringLiteral("t.ini"), content); }
};
}  // namespace

TEST_F(ProfileFileTest, ReadsIgnoringCaseBlanksAndGivesDefaults) {
  const QString f = file("; comment\n[Warbird]\n  InitialEnergy = 1500  \nEmpty=\n[ Misc ]\nKey=v\n");
  const ProfileFile p(f);
  EXPECT_EQ(p.value("WARBIRD", "initialenergy"), "1500");
  EXPECT_EQ(p.value("misc", "KEY"), "v");
  EXPECT_EQ(p.value("Warbird", "Missing", "N/A"), "N/A");
  EXPECT_EQ(p.value("NoSection", "Key", "N/A"), "N/A");
  // An empty value is present and empty, not the default.
  EXPECT_TRUE(p.hasKey("Warbird", "Empty"));
  EXPECT_EQ(p.value("Warbird", "Empty", "N/A"), "");
  EXPECT_EQ(p.sectionNames(), (QList<QByteArray>{"Warbird", "Misc"}));
  EXPECT_EQ(p.keyNames("warbird"), (QList<QByteArray>{"InitialEnergy", "Empty"}));
  EXPECT_EQ(p.sectionLines("Warbird"), (QList<QByteArray>{"InitialEnergy=1500", "Empty="}));
}

TEST_F(ProfileFileTest, MissingFileReadsAsDefaultsAndIsNotCreated) {
  const QString f = app.path(QStringLiteral("none.ini"));
  {
    const ProfileFile p(f);
    EXPECT_EQ(p.value("A", "B", "d"), "d");
    EXPECT_TRUE(p.sectionNames().isEmpty());
  }
  EXPECT_FALSE(QFileInfo::exists(f));
}

TEST_F(ProfileFileTest, RepeatedSectionsReadAsOneAndTheFirstKeyWins) {
  const QString f = file("[A]\nk=1\nk=2\n[B]\nx=0\n[a]\nk=3\nj=4\n");
  ProfileFile p(f);
  EXPECT_EQ(p.value("A", "k"), "1");
  EXPECT_EQ(p.value("A", "j"), "4");  // a key only a later copy holds is not hidden
  EXPECT_EQ(p.keyNames("A"), (QList<QByteArray>{"k", "j"}));
  EXPECT_EQ(p.sectionNames(), (QList<QByteArray>{"A", "B"}));
  EXPECT_TRUE(p.hasDuplicateSections());
  EXPECT_EQ(p.duplicateSectionNames(), (QList<QByteArray>{"A"}));
  // Writes go where the read came from, so the value read back is the one written.
  p.setValue("a", "j", "5");
  p.setValue("A", "k", "6");
  p.setValue("A", "new", "7");  // a new key goes to the first occurrence
  p.commit();
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=6\nk=2\nnew=7\n[B]\nx=0\n[a]\nk=3\nj=5\n"));
  EXPECT_EQ(ProfileFile(f).value("A", "j"), "5");
  EXPECT_FALSE(ProfileFile(file("[A]\n[B]\n")).hasDuplicateSections());
}

TEST_F(ProfileFileTest, UntouchedFilesRoundTripByteForByte) {
  const QList<QByteArray> samples = {
      "[A]\r\nx=1\r\n\r\n; note\r\n[B]\r\ny = 2 \r\n",
      "[A]\nx=1\n[B]\ny=2",                              // no final newline
      "\xEF\xBB\xBF[A]\nx=1\n",                          // byte-order mark
      "junk line\n[A]\nname=caf\xE9 \x93quoted\x94\n",  // Windows-1252 bytes
      "",
  };
  for (const QByteArray& s : samples) {
    const QString f = file(s);
    {
      ProfileFile p(f);
      EXPECT_EQ(p.content(), s);
      if (p.hasKey("A", "x")) p.setValue("A", "x", p.value("A", "x"));  // same value: nothing to write
      EXPECT_FALSE(p.isDirty());
    }
    EXPECT_EQ(readBytes(f), s);
  }
}

TEST_F(ProfileFileTest, WritesInPlaceAndLeavesEveryOtherByte) {
  const QByteArray before = "; top\r\n[Warbird]\r\nA = 1\r\nB=2\r\n\r\n; about shark\r\n[Shark]\r\nA=3";
  const QString f = file(before);
  {
    ProfileFile p(f);
    p.setValue("warbird", "a", "100");
    p.commit();
  }
  EXPECT_EQ(readBytes(f), QByteArray("; top\r\n[Warbird]\r\nA = 100\r\nB=2\r\n\r\n; about shark\r\n[Shark]\r\nA=3"));
}

TEST_F(ProfileFileTest, AppendsKeysAfterTheSectionsLastKeyAndSectionsAtTheEnd) {
  const QString f = file("[Warbird]\nA=1\n\n; shark next\n[Shark]\nA=3");
  {
    ProfileFile p(f);
    p.setValue("Warbird", "New", "5");
    p.setValue("Shark", "B", "");
    p.setValue("Owner", "Name", "Zone");
    // Writes are seen by reads of the same accessor before the commit.
    EXPECT_EQ(p.value("Owner", "Name"), "Zone");
    EXPECT_TRUE(p.hasKey("Shark", "B"));
  }
  EXPECT_EQ(readBytes(f), QByteArray("[Warbird]\nA=1\nNew=5\n\n; shark next\n[Shark]\nA=3\nB=\n\n[Owner]\nName=Zone\n"));
}

TEST_F(ProfileFileTest, CreatesOnlyTheConfigFolderOnFirstWrite) {
  // The program's own configuration folder is made when missing...
  ProfileFile::writeText(QStringLiteral("fresh.ini"), QStringLiteral("Paths"), QStringLiteral("ExternalFile"),
                         QString());
  EXPECT_EQ(readBytes(app.path(QStringLiteral("xdg-config/tessary/fresh.ini"))),
            QByteArray("[Paths]\nExternalFile=\n"));
  // ...any other missing folder is a mistyped path: nothing is created.
  const QString f = app.path(QStringLiteral("deep/er/new.ini"));
  try {
    ProfileFile::writeText(f, QStringLiteral("Paths"), QStringLiteral("ExternalFile"), QString());
    ADD_FAILURE() << "wrote into a folder that does not exist";
  } catch (const ProfileWriteError& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Unable to write to ") + f);
  }
  EXPECT_FALSE(QFileInfo::exists(app.path(QStringLiteral("deep"))));
}

TEST_F(ProfileFileTest, CommittedWriteIsSeenByTheNextAccessorAndDroppingCommits) {
  const QString f = file("[A]\nk=1\n");
  ProfileFile first(f);
  {
    ProfileFile writer(f);
    writer.setValue("A", "k", "2");
  }  // dropped: committed
  EXPECT_EQ(first.value("A", "k"), "1");  // an accessor reads once
  EXPECT_EQ(ProfileFile(f).value("A", "k"), "2");
}

TEST_F(ProfileFileTest, NoLengthLimitsAndNoLineBreaksInsideValues) {
  const QByteArray longValue(50000, 'x');
  const QString f = file("[A]\nk=" + longValue + "\n");
  ProfileFile p(f);
  EXPECT_EQ(p.value("A", "k").size(), 50000);
  p.setValue("A", "j", "one\ntwo\r\nthree");
  p.commit();
  EXPECT_EQ(ProfileFile(f).value("A", "j"), "one two  three");
  EXPECT_EQ(ProfileFile(f).keyNames("A"), (QList<QByteArray>{"k", "j"}));
}

TEST_F(ProfileFileTest, TextKeepsTheFilesEncoding) {
  const QString legacy = file("[A]\nname=caf\xE9\n");
  ProfileFile p(legacy);
  EXPECT_EQ(p.text(QStringLiteral("A"), QStringLiteral("name")), QStringLiteral("caf\u00e9"));
  p.setText(QStringLiteral("A"), QStringLiteral("name"), QStringLiteral("na\u00efve \u201cq\u201d"));
  p.commit();
  EXPECT_EQ(readBytes(legacy), QByteArray("[A]\nname=na\xEFve \x93q\x94\n"));

  const QString utf8 = app.file(QStringLiteral("u.ini"), "[A]\nname=caf\xC3\xA9\n");
  ProfileFile u(utf8);
  EXPECT_EQ(u.text(QStringLiteral("A"), QStringLiteral("name")), QStringLiteral("caf\u00e9"));
  u.setText(QStringLiteral("A"), QStringLiteral("name"), QStringLiteral("\u00e9t\u00e9"));
  u.commit();
  EXPECT_EQ(readBytes(utf8), QByteArray("[A]\nname=\xC3\xA9t\xC3\xA9\n"));
}

TEST_F(ProfileFileTest, BareNamesLiveInTheUserConfigFolder) {
  ProfileFile::writeText(QStringLiteral("History.ini"), QStringLiteral("History Files"), QStringLiteral("1"),
                         QStringLiteral("/x/a.cfg"));
  EXPECT_EQ(readBytes(app.path(QStringLiteral("xdg-config/tessary/History.ini"))),
            QByteArray("[History Files]\n1=/x/a.cfg\n"));
}

TEST_F(ProfileFileTest, FailedWriteRaisesAndKeepsTheOldFile) {
  QDir().mkpath(app.path(QStringLiteral("locked")));
  ::chmod(app.path(QString()).toLocal8Bit().constData(), 0755);
  const QString f = app.file(QStringLiteral("locked/t.ini"), "[A]\nk=1\n");
  ::chmod(f.toLocal8Bit().constData(), 0444);
  ::chmod(app.path(QStringLiteral("locked")).toLocal8Bit().constData(), 0555);
  auto attempt = [&]() -> int {
    try {
      ProfileFile p(f);
      if (!p.existed()) return 5;  // must fail at writing, not at reading
      p.setValue("A", "k", "2");
      p.commit();
      return 1;  // wrote although it should not be able to
    } catch (const ProfileWriteError& e) {
      return e.message() == QStringLiteral("Unable to write to ") + f ? 0 : 2;
    }
  };
  int result = 0;
  if (::geteuid() == 0) {
    // root writes anywhere: try it as an unprivileged user in a child process.
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      ::_exit(attempt());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result = WIFEXITED(status) ? WEXITSTATUS(status) : 4;
  } else {
    result = attempt();
  }
  ::chmod(app.path(QStringLiteral("locked")).toLocal8Bit().constData(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=1\n"));
}

TEST(TextCodec, DecodesUtf8ElseWindows1252) {
  EXPECT_EQ(TextCodec::decode("\xE2\x82\xAC"), QStringLiteral("\u20ac"));
  EXPECT_EQ(TextCodec::decode("\x80"), QStringLiteral("\u20ac"));
  EXPECT_EQ(TextCodec::encode(QStringLiteral("\u20ac"), true), QByteArray("\x80"));
  // A character the old code page lacks keeps the text intact as UTF-8.
  EXPECT_EQ(TextCodec::encode(QStringLiteral("\u4e2d"), true), QByteArray("\xE4\xB8\xAD"));
}

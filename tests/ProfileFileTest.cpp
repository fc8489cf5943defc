#include <gtest/gtest.h>
#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <random>

#include "profile/AtomicFile.h"
#include "profile/ByteScan.h"
#include "profile/ProfileFile.h"
#include "profile/TableMemory.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"
#include "tests/CoreSupport.h"

#ifndef _WIN32
namespace {
// Runs attempt as an unprivileged user in a child process when this one is
// root (root reads and writes anywhere); its result, or 3 and 4 for a child
// that could not drop its rights or did not end normally.
int asUnprivilegedUser(const std::function<int()>& attempt) {
  if (::geteuid() != 0) return attempt();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    ::_exit(attempt());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
}
}  // namespace
#endif

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
      "[A]\nx=1\n[B]\ny=2",                             // no final newline
      "\xEF\xBB\xBF[A]\nx=1\n",                         // byte-order mark
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
  EXPECT_EQ(readBytes(f),
            QByteArray("; top\r\n[Warbird]\r\nA = 100\r\nB=2\r\n\r\n; about shark\r\n[Shark]\r\nA=3"));
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
  EXPECT_EQ(readBytes(f),
            QByteArray("[Warbird]\nA=1\nNew=5\n\n; shark next\n[Shark]\nA=3\nB=\n\n[Owner]\nName=Zone\n"));
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
    EXPECT_EQ(e.message(),
              QStringLiteral("Unable to write to ") + f + QStringLiteral(": ") + missingFolderWords());
  }
  EXPECT_FALSE(QFileInfo::exists(app.path(QStringLiteral("deep"))));
}

TEST_F(ProfileFileTest, CommittedWriteIsSeenByTheNextAccessorAndDroppingCommits) {
  const QString f = file("[A]\nk=1\n");
  ProfileFile first(f);
  {
    ProfileFile writer(f);
    writer.setValue("A", "k", "2");
  }                                       // dropped: committed
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
  SKIP_ON_WINDOWS("a folder locked by its permission bits; the read-only file has its own test there");
#ifndef _WIN32
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
      return e.message() ==
                     QStringLiteral("Unable to write to ") + f + QStringLiteral(": the file is read-only")
                 ? 0
                 : 2;
    }
  };
  const int result = asUnprivilegedUser(attempt);
  ::chmod(app.path(QStringLiteral("locked")).toLocal8Bit().constData(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=1\n"));
#endif
}

TEST(TextCodec, DecodesUtf8ElseWindows1252) {
  EXPECT_EQ(TextCodec::decode("\xE2\x82\xAC"), QStringLiteral("\u20ac"));
  EXPECT_EQ(TextCodec::decode("\x80"), QStringLiteral("\u20ac"));
  EXPECT_EQ(TextCodec::encode(QStringLiteral("\u20ac"), true), QByteArray("\x80"));
  // A character the old code page lacks keeps the text intact as UTF-8.
  EXPECT_EQ(TextCodec::encode(QStringLiteral("\u4e2d"), true), QByteArray("\xE4\xB8\xAD"));
}

TEST_F(ProfileFileTest, ReadsEveryLineEndingAndKeepsEachLinesOwn) {
  // CR only: sections are seen, a set edits in place, a new key takes the file's ending.
  const QString cr = file("[A]\rk=1\r[B]\rx=2\r");
  ProfileFile p(cr);
  EXPECT_EQ(p.sectionNames(), (QList<QByteArray>{"A", "B"}));
  EXPECT_EQ(p.value("B", "x"), "2");
  p.setValue("A", "k", "5");
  p.setValue("A", "j", "6");
  p.commit();
  EXPECT_EQ(readBytes(cr), QByteArray("[A]\rk=5\rj=6\r[B]\rx=2\r"));
  // A last line ending in a bare CR keeps it; the appended key uses the file's CR LF.
  const QString mixed = app.file(QStringLiteral("m.ini"), "[A]\r\nk=1\r");
  ProfileFile m(mixed);
  m.setValue("A", "j", "2");
  m.setValue("C", "z", "3");
  m.commit();
  EXPECT_EQ(readBytes(mixed), QByteArray("[A]\r\nk=1\rj=2\r\n\r\n[C]\r\nz=3\r\n"));
  // A CR LF split as CR + LF is one line end, not two.
  EXPECT_EQ(ProfileFile(file("[A]\r\nk=1\r\n\r\n[B]\r\n")).sectionLines("A"), (QList<QByteArray>{"k=1"}));
}

TEST_F(ProfileFileTest, LinesReadAlikeWhereverTheyMeetTheScanBlocks) {
  // The line scan works in 64-byte blocks: shift every line end, "=" and high
  // byte across block boundaries and the file must read the same each time.
  for (int pad = 0; pad < 140; ++pad) {
    SCOPED_TRACE(pad);
    const QByteArray filler(pad, 'p');
    const QByteArray text = "[S]\r\n" + filler + "\r\n" +  // no "=": not a key, though the next line has one
                            "k" + filler + "=v1\r\n" +     // CR LF, maybe split over two blocks
                            "; c=" + filler + "\r" +       // a comment with "=", bare CR
                            "j=" + filler + "\n" +         // LF
                            "[T]\rlast=end";               // no final line end
    const ProfileFile p(text, ProfileFile::FromMemory{});
    EXPECT_EQ(p.sectionNames(), (QList<QByteArray>{"S", "T"}));
    EXPECT_EQ(p.keyNames("S"), (QList<QByteArray>{"k" + filler, "j"}));
    EXPECT_EQ(p.value("S", "k" + filler), "v1");
    EXPECT_EQ(p.value("S", "j"), filler);
    EXPECT_EQ(p.value("T", "last"), "end");
    EXPECT_EQ(p.content(), text);
    EXPECT_FALSE(p.isLegacyEncoded());
    // A byte that is not UTF-8, in whichever block it falls, marks the file.
    EXPECT_TRUE(ProfileFile(text + "\xE9", ProfileFile::FromMemory{}).isLegacyEncoded());
    EXPECT_TRUE(ProfileFile("\xE9" + text, ProfileFile::FromMemory{}).isLegacyEncoded());
    EXPECT_FALSE(ProfileFile(text + "caf\xC3\xA9", ProfileFile::FromMemory{}).isLegacyEncoded());
  }
  // Exactly one block, and the line end on its last byte.
  const QByteArray block = "[S]\nk=" + QByteArray(64 - 7, 'v') + "\n";
  ASSERT_EQ(block.size(), 64);
  EXPECT_EQ(ProfileFile(block, ProfileFile::FromMemory{}).value("S", "k"), QByteArray(57, 'v'));
}

TEST_F(ProfileFileTest, WholeSectionReadsMatchReadsByName) {
  // Small sections are searched one by one, larger ones through a table; both
  // with repeated keys, keys that differ only in letter case, and names that
  // differ in one bit outside the letters ("@" and "`", "[" and "{").
  for (const int extra : {0, 20}) {
    SCOPED_TRACE(extra);
    QByteArray text = "[A]\nK@=1\nK`=2\nk[=3\nK{=4\n dup = 5 \nDUP=6\nx=\n";
    for (int i = 0; i < extra; ++i) text += "more" + QByteArray::number(i) + "=m\n";
    text += "[B]\nb=1\nLongSettingName=2\nB=3\nlongsettingNAME=4\n";
    for (int i = 0; i < extra; ++i) text += "more" + QByteArray::number(i) + "=m\n";
    text += "[a]\nDup=7\nlater=8\n";
    ProfileFile p(text, ProfileFile::FromMemory{});
    const auto check = [&](const QByteArray& section) {
      const std::vector<ProfileFile::Entry> all = p.entries(section);
      QList<QByteArray> keys;
      for (const ProfileFile::Entry& e : all) {
        keys.append(e.key.toByteArray());
        EXPECT_EQ(e.value.toByteArray(), p.value(section, e.key.toByteArray()))
            << e.key.toByteArray().constData();
      }
      EXPECT_EQ(keys, p.keyNames(section));
      return keys;
    };
    const QList<QByteArray> keys = check("a");
    ASSERT_EQ(keys.size(), 7 + extra);
    EXPECT_EQ(keys.mid(0, 6), (QList<QByteArray>{"K@", "K`", "k[", "K{", "dup", "x"}));
    EXPECT_EQ(keys.last(), "later");
    EXPECT_EQ(p.value("A", "DUP"), "5");
    EXPECT_EQ(p.value("A", "k@"), "1");
    EXPECT_EQ(p.value("A", "k`"), "2");
    EXPECT_EQ(check("B").mid(0, 2), (QList<QByteArray>{"b", "LongSettingName"}));
    EXPECT_EQ(p.value("b", "LONGSETTINGNAME"), "2");
    EXPECT_TRUE(p.entries("none").empty());
    // After edits the views show the new values, in the same order.
    p.setValue("A", "K`", "changed");
    p.setValue("A", "added", "9");
    const QList<QByteArray> edited = check("A");
    EXPECT_EQ(edited.mid(0, 6), keys.mid(0, 6));
    EXPECT_TRUE(edited.contains("added"));
    EXPECT_EQ(p.value("A", "K`"), "changed");
  }
}

TEST_F(ProfileFileTest, RefusesNamesTheLayoutCannotHold) {
  const QByteArray content = "[A]\nk=1\n";
  const QString f = file(content);
  const std::vector<std::pair<QByteArray, QByteArray>> bad = {
      {"A", "k=v"}, {"A", "[New"}, {"A", ";c"}, {"A", "#c"},   {"A", ""},
      {"A", "  "},  {"A]", "k"},   {"", "k"},   {"A", "a\nb"}, {"A\rB", "k"}};
  for (const auto& [section, key] : bad) {
    ProfileFile p(f);
    EXPECT_FALSE(ProfileFile::nameProblem(section, key).isEmpty())
        << section.toStdString() << "/" << key.toStdString();
    EXPECT_THROW(p.setValue(section, key, "5"), ProfileNameError)
        << section.toStdString() << "/" << key.toStdString();
    p.commit();
  }
  EXPECT_EQ(readBytes(f), content);
  EXPECT_TRUE(ProfileFile::nameProblem("Team Settings", "Max Per Team").isEmpty());
  EXPECT_TRUE(ProfileFile::nameProblem("A", "k[1]").isEmpty());
}

TEST_F(ProfileFileTest, OnlyRegularFilesAreReadAndNothingElsePassesForEmpty) {
  QDir().mkpath(app.path(QStringLiteral("folder.ini")));
  EXPECT_THROW(ProfileFile(app.path(QStringLiteral("folder.ini"))), ProfileReadError);
  EXPECT_THROW(AtomicFile::write(app.path(QStringLiteral("folder.ini")), "x"), ProfileWriteError);
#ifndef _WIN32  // no FIFOs or devices among files there
  const QString fifo = app.path(QStringLiteral("pipe.ini"));
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
  EXPECT_THROW(ProfileFile{fifo}, ProfileReadError);  // at once: no writer ever comes
  EXPECT_THROW(ProfileFile(QStringLiteral("/dev/zero")), ProfileReadError);
  // Writing over a pipe or a folder is refused as well.
  EXPECT_THROW(AtomicFile::write(fifo, "x"), ProfileWriteError);
#endif
}

TEST_F(ProfileFileTest, AFileThatCannotBeReadIsAnErrorNotAnEmptyFile) {
  SKIP_ON_WINDOWS(
      "a write-only file needs permission bits; a file held by another program has its own test there");
#ifndef _WIN32
  const QString f = app.file(QStringLiteral("secret.ini"), "[A]\nk=1\nother=2\n");
  ::chmod(app.path(QString()).toLocal8Bit().constData(), 0755);
  ::chmod(f.toLocal8Bit().constData(), 0222);  // write-only
  auto attempt = [&]() -> int {
    try {
      ProfileFile p(f);
      p.setValue("A", "k", "2");
      p.commit();
      return 1;  // it took the file as empty
    } catch (const ProfileReadError& e) {
      return e.message() == QStringLiteral("Unable to read ") + f ? 0 : 2;
    }
  };
  const int result = asUnprivilegedUser(attempt);
  ::chmod(f.toLocal8Bit().constData(), 0644);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=1\nother=2\n"));
#endif
}

TEST_F(ProfileFileTest, AReplacedFileKeepsItsPermissionsAndLinks) {
  SKIP_ON_WINDOWS("permission bits and symbolic links; a read-only file has its own test there");
#ifndef _WIN32
  const QString f = file("[A]\nk=1\n");
  ::chmod(f.toLocal8Bit().constData(), 0640);
  ProfileFile::writeText(f, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("2"));
  EXPECT_EQ(QFileInfo(f).permissions() & 0x7777, QFileInfo(f).permissions() & 0x7777);
  struct stat st {};
  ::stat(f.toLocal8Bit().constData(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // A file its owner made read-only is not replaced, by the owner nor by root
  // (for whom the permission bits alone decide): "Unable to write to", file intact.
  ::chmod(f.toLocal8Bit().constData(), 0444);
  EXPECT_THROW(ProfileFile::writeText(f, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("3")),
               ProfileWriteError);
  EXPECT_THROW(AtomicFile::write(f, "replaced"), ProfileWriteError);
  ::stat(f.toLocal8Bit().constData(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=2\n"));
  ::chmod(f.toLocal8Bit().constData(), 0644);
  // Through a link: the link stays a link and the file it names changes.
  const QString link = app.path(QStringLiteral("link.ini"));
  QFile::link(f, link);
  ProfileFile::writeText(link, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("4"));
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=4\n"));
  // No temporary file is left beside it.
  EXPECT_EQ(QDir(app.path(QString()))
                .entryList(QDir::Files | QDir::Hidden | QDir::System)
                .filter(QStringLiteral("tessary-")),
            QStringList());
#endif
}

TEST_F(ProfileFileTest, AFullDiskLeavesTheOldFileWhole) {
  QByteArray big = "[A]\nk=1\n";
  for (int i = 0; i < 2000; ++i) big += "key" + QByteArray::number(i) + "=value\n";
  const QString f = file(big);
  for (qint64 room : {0LL, 10LL, 8192LL, static_cast<qint64>(big.size()) - 1}) {
    {
      const AtomicFile::Faults full({.writableBytes = room});
      ProfileFile p(f);
      p.setValue("A", "k", "2");
      EXPECT_THROW(p.commit(), ProfileWriteError) << room;
    }
    EXPECT_EQ(readBytes(f), big) << room;
  }
  EXPECT_EQ(QDir(app.path(QString())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(ProfileFileTest, AFailedSyncOrRenameIsAFailedWrite) {
  const QString f = file("[A]\nk=1\n");
  for (AtomicFile::Step step : {AtomicFile::Step::Sync, AtomicFile::Step::Rename}) {
    {
      const AtomicFile::Faults broken({.failStep = step});
      ProfileFile p(f);
      p.setValue("A", "k", "2");
      EXPECT_THROW(p.commit(), ProfileWriteError) << static_cast<int>(step);
    }
    EXPECT_EQ(readBytes(f), QByteArray("[A]\nk=1\n"));
    EXPECT_EQ(QDir(app.path(QString())).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }
}

TEST_F(ProfileFileTest, AnExceptionBetweenTwoWritesWritesNothing) {
  const QString f = file("[A]\nfrom=1\nto=1\n");
  try {
    ProfileFile p(f);
    p.setValue("A", "from", "0");
    throw std::runtime_error("the second half of the change failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nfrom=1\nto=1\n"));
  // Made while another exception is already in flight (a handler's clean-up): still commits when dropped.
  struct WritesOnUnwind {
    QString path;
    ~WritesOnUnwind() {
      ProfileFile p(path);
      p.setValue("A", "to", "2");
    }
  };
  try {
    WritesOnUnwind w{f};
    throw std::runtime_error("unwinding");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nfrom=1\nto=2\n"));
  // Dropped normally: committed, as always.
  {
    ProfileFile p(f);
    p.setValue("A", "from", "3");
  }
  EXPECT_EQ(readBytes(f), QByteArray("[A]\nfrom=3\nto=2\n"));
}

TEST_F(ProfileFileTest, TextValuesAndNamesRoundTripInTheirOwnEncoding) {
  // Windows-1252 names and values, one with the undefined bytes, and a UTF-8 value among them.
  const QString f = file("[A]\n\x81k\xE9y=\x81\x8D\x8F\x90\x9D\nutf=caf\xC3\xA9\nold=caf\xE9\n");
  ProfileFile p(f);
  const QString key = QStringLiteral("\u0081k\u00e9y");
  EXPECT_EQ(p.text(QStringLiteral("A"), key), QStringLiteral("\u0081\u008d\u008f\u0090\u009d"));
  p.setText(QStringLiteral("A"), key, QStringLiteral("\u0081\u20ac"));
  p.setText(QStringLiteral("A"), QStringLiteral("utf"), QStringLiteral("th\u00e9"));
  p.setText(QStringLiteral("A"), QStringLiteral("old"), QStringLiteral("th\u00e9"));
  p.commit();
  EXPECT_EQ(readBytes(f), QByteArray("[A]\n\x81k\xE9y=\x81\x80\nutf=th\xC3\xA9\nold=th\xE9\n"));
  // A byte-order mark stays first and is not part of the first name.
  const QString bom = app.file(QStringLiteral("bom.ini"), "\xEF\xBB\xBF[A]\nk=1\n");
  ProfileFile b(bom);
  EXPECT_EQ(b.sectionNames(), (QList<QByteArray>{"A"}));
  b.setValue("A", "k", "2");
  b.commit();
  EXPECT_EQ(readBytes(bom), QByteArray("\xEF\xBB\xBF[A]\nk=2\n"));
  const QString onlyBom = app.file(QStringLiteral("only.ini"), "\xEF\xBB\xBF");
  ProfileFile::writeText(onlyBom, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("1"));
  EXPECT_EQ(readBytes(onlyBom), QByteArray("\xEF\xBB\xBF[A]\nk=1\n"));
  // Two keys that decode to the same text, one in each encoding: a whole-section
  // read gives each row its own value.
  const ProfileFile twins("[A]\ncaf\xE9=old\ncaf\xC3\xA9=new\n", ProfileFile::FromMemory{});
  const ProfileFile::TextEntries rows = twins.textEntries(QStringLiteral("a"));
  EXPECT_EQ(rows.keys, (QStringList{QStringLiteral("caf\u00e9"), QStringLiteral("caf\u00e9")}));
  EXPECT_EQ(rows.values, (QStringList{QStringLiteral("old"), QStringLiteral("new")}));
}

TEST(TextCodec, EveryByteStringSurvivesDecodeAndEncode) {
  for (int b = 0; b < 256; ++b) {
    const QByteArray one(1, static_cast<char>(b));
    const QByteArray word = "x" + one + "y";
    EXPECT_EQ(TextCodec::encodeLike(TextCodec::decode(word), word, false), word) << b;
    EXPECT_EQ(TextCodec::encodeLike(TextCodec::decode(word), word, true), word) << b;
  }
  // Text that Windows-1252 would turn into valid UTF-8 is written as UTF-8 instead.
  const QString tricky = QStringLiteral("\u00c3\u00a9");
  EXPECT_EQ(TextCodec::decode(TextCodec::encode(tricky, true)), tricky);
}

TEST(AtomicFilePaths, NamesThatAreNotUtf8RoundTrip) {
  SKIP_ON_WINDOWS("names are UTF-16 there: none is not UTF-8; names beyond ASCII have their own test");
#ifndef _WIN32
  for (const QByteArray& name :
       {QByteArray("caf\xE9.cfg"), QByteArray("\xFF\xFE"), QByteArray("ok\xC3\xA9"),
        QByteArray("\xED\xA0\x80"), QByteArray("\xF0\x9F\x98\x80 \x80"), QByteArray()}) {
    EXPECT_EQ(AtomicFile::nativePath(AtomicFile::decodePath(name)), name) << name.toHex().toStdString();
  }
  EXPECT_EQ(AtomicFile::decodePath("ok\xC3\xA9"), QStringLiteral("ok\u00e9"));
  TempApp app;
  const QString odd = AtomicFile::decodePath(QFile::encodeName(app.path(QString())) + "/caf\xE9.cfg");
  AtomicFile::write(odd, "[A]\nk=1\n");
  // Exactly that name on disk (listed by the system: Qt cannot show it).
  QList<QByteArray> names;
  if (DIR* dir = ::opendir(QFile::encodeName(app.path(QString())).constData())) {
    while (const dirent* e = ::readdir(dir))
      if (e->d_type == DT_REG) names.append(QByteArray(e->d_name));
    ::closedir(dir);
  }
  EXPECT_EQ(names, QList<QByteArray>{"caf\xE9.cfg"});
  EXPECT_EQ(AtomicFile::read(odd).value_or(QByteArray()), QByteArray("[A]\nk=1\n"));
  EXPECT_TRUE(AtomicFile::exists(odd));
  EXPECT_TRUE(AtomicFile::remove(odd));
#endif
}

TEST(ByteScan, TheShapingBytesAreCountedAsOneByOneWithPairsAcrossBlockEdges) {
  // Line ends, "[" and "=" at random, many a CR LF split over two 64-byte blocks.
  std::mt19937 random(7);
  const char alphabet[] = {'\r', '\n', '[', '=', 'a', ']'};
  for (int round = 0; round < 200; ++round) {
    QByteArray data(static_cast<qsizetype>(random() % 300), 'x');
    for (char& c : data) c = alphabet[random() % sizeof alphabet];
    std::size_t lf = 0, cr = 0, crlf = 0, open = 0, equals = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
      lf += data[i] == '\n';
      cr += data[i] == '\r';
      crlf += data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n';
      open += data[i] == '[';
      equals += data[i] == '=';
    }
    const ByteCounts c = countShapingBytes(data.constData(), static_cast<std::size_t>(data.size()));
    ASSERT_EQ(c.lf, lf) << round;
    ASSERT_EQ(c.cr, cr) << round;
    ASSERT_EQ(c.crlf, crlf) << round;
    ASSERT_EQ(c.open, open) << round;
    ASSERT_EQ(c.equals, equals) << round;
  }
}

#ifdef __linux__
namespace {
// Whether the system gives large pages to memory that asks for them.
bool largePagesOnRequest() {
  const QByteArray mode = readBytes(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
  return mode.contains("[always]") || mode.contains("[madvise]");
}

// Bytes of the mapping that holds p which sit in large pages, from /proc/self/smaps
// (the advice splits a block's mapping: ask with an address well inside the block).
qint64 largePageBytesAround(const void* p) {
  const auto at = static_cast<qulonglong>(reinterpret_cast<std::uintptr_t>(p));
  bool inside = false;
  for (const QByteArray& line : readBytes(QStringLiteral("/proc/self/smaps")).split('\n')) {
    // A mapping starts with its range, "from-to perms ...", its figures follow as "Name: value kB".
    const QByteArray first = line.left(line.indexOf(' '));
    if (first.endsWith(':')) {
      if (inside && first == "AnonHugePages:")
        return line.mid(first.size()).trimmed().split(' ')[0].toLongLong() * 1024;
      continue;
    }
    const QList<QByteArray> range = first.split('-');
    bool ok1 = false, ok2 = false;
    if (range.size() == 2) {
      const qulonglong from = range[0].toULongLong(&ok1, 16), to = range[1].toULongLong(&ok2, 16);
      inside = ok1 && ok2 && from <= at && at < to;
    }
  }
  return -1;
}
}  // namespace

TEST(TableMemory, BigTablesAndFileBuffersAskForLargePages) {
  // A virtual machine's page faults cost more than a million sections' parse:
  // the big tables ask for 2 MB pages, and get them where the system offers them.
  if (!largePagesOnRequest()) GTEST_SKIP() << "this system gives no large pages on request";
  Table<std::uint32_t> table;
  table.resize((16u << 20) / sizeof(std::uint32_t), 1);
  EXPECT_GE(largePageBytesAround(table.data() + table.size() / 2), qint64{2} << 20);
  // The bytes of a file, read into a buffer that asked before the read filled it
  // (40 MB: more than the allocator ever keeps for reuse, so the buffer is fresh memory).
  TempApp app;
  const QString big = app.file(QStringLiteral("big.cfg"), QByteArray(40 << 20, 'x'));
  const QByteArray data = AtomicFile::read(big).value();
  EXPECT_GE(largePageBytesAround(data.constData() + data.size() / 2), qint64{2} << 20);
  // A small table stays as the allocator gives it (no page of 2 MB for a few bytes).
  Table<std::uint32_t> small(16, 1);
  EXPECT_EQ(small.size(), 16u);
}
#endif

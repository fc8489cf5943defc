#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>

#include "app/MainForm.h"
#include "components/HistoryFiles.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena = "[Warbird]\nA=1\n[Owner]\nName=Zed\n";

QString historyKey(int slot) {
  return ProfileFile::readText(QStringLiteral("History.ini"), QStringLiteral("History Files"),
                               QString::number(slot), QStringLiteral("<absent>"));
}

QStringList captions(const QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions())
    if (a->isVisible()) out.append(a->isSeparator() ? QStringLiteral("-") : a->text());
  return out;
}
}  // namespace

TEST(NewDocument, TemplateComesFromPreferencesOrTheStandardArena) {
  MainWindowFixture fx;
  Preferences prefs(fx.app.paths());
  prefs.setDefaultSettings(QString());  // empty: the standard arena
  TMDIChild* a = fx.form->NewDocument();
  EXPECT_EQ(a->fileName(), QStringLiteral("New1.cfg"));
  EXPECT_EQ(a->filePath(), fx.app.paths().tempFile(QStringLiteral("New1.cfg")));
  EXPECT_EQ(readBytes(a->workingCopy()), readBytes(fx.app.paths().standardArena()));
  EXPECT_GT(a->shipList(0)->rowCount(), 50);
  const QString templ = fx.app.file(QStringLiteral("t.cfg"), kArena);
  prefs.setDefaultSettings(templ);
  TMDIChild* b = fx.form->NewDocument();
  EXPECT_EQ(b->fileName(), QStringLiteral("New2.cfg"));
  EXPECT_EQ(b->shipList(0)->rowCount(), 1);
  EXPECT_TRUE(fx.form->action(QStringLiteral("Save1"))->isEnabled());
}

TEST(NewDocument, AbsentKeyNamesNoTemplateAndNamesAreNeverShared) {
  MainWindowFixture fx;
  TMDIChild* one = fx.form->NewDocument();  // no DefaultSettings key: "N/A" names no file
  EXPECT_EQ(one->shipList(0)->rowCount(), 0);
  Preferences(fx.app.paths()).setDefaultSettings(QString());
  fx.form->NewDocument();
  // Closing New1 and asking again must not make a second New2 sharing a working copy.
  fx.form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(one->parentWidget()));
  fx.form->FileClose1Execute();
  TMDIChild* third = fx.form->NewDocument();
  EXPECT_EQ(third->fileName(), QStringLiteral("New3.cfg"));
  QStringList copies;
  for (TMDIChild* c : fx.form->documents()) copies.append(c->workingCopy());
  copies.removeDuplicates();
  EXPECT_EQ(copies.size(), 2);
}

TEST(HandOver, TheTimerPicksUpTheKeyOnceAndEmptiesIt) {
  MainWindowFixture fx;
  for (int i = 0; i < 3; ++i) fx.form->NewDocument();
  const QString path = fx.app.file(QStringLiteral("in/handed.cfg"), kArena);
  Preferences(fx.app.paths()).setExternalFile(path);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.form->documents().size() == 4; }, 5000));
  EXPECT_EQ(fx.active()->filePath(), path);
  EXPECT_EQ(Preferences(fx.app.paths()).externalFile(), QString());
  EXPECT_EQ(historyKey(1), path);
}

TEST(HandOver, ANameThatFailsToOpenIsEmptiedFirstAndNotTriedAgain) {
  MainWindowFixture fx;
  // A folder cannot be opened as a document: the pickup ends in an error.
  const QString folder = fx.app.path(QStringLiteral("in"));
  QDir().mkpath(folder);
  Preferences(fx.app.paths()).setExternalFile(folder);
  EXPECT_THROW(fx.form->Timer3Timer(), TessaryError);
  EXPECT_EQ(Preferences(fx.app.paths()).externalFile(), QString());
  EXPECT_NO_THROW(fx.form->Timer3Timer());
  EXPECT_TRUE(fx.form->documents().isEmpty());
}

TEST(HandOver, PreferencesThatCannotBeReadOrWrittenKeepNoHandedFileClosed) {
  MainWindowFixture fx;
  const QString config = fx.app.paths().configIni();
  // Unreadable (a folder where the file was): the socket's file opens, and the
  // timer's ticks look at the key quietly instead of raising an error each time.
  const QString one = fx.app.file(QStringLiteral("in/one.cfg"), kArena);
  ASSERT_TRUE(QFile::remove(config));
  ASSERT_TRUE(QDir().mkpath(config));
  fx.form->receiveHandOver(one);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.form->documents().size() == 1; }, 5000));
  EXPECT_NO_THROW(fx.form->Timer3Timer());
  EXPECT_TRUE(fx.prompts.messages().isEmpty()) << fx.prompts.messages().join(QLatin1Char('\n')).toStdString();
  // Readable but not writable, its key naming a file a later copy handed over
  // both ways: the file opens once, though the key cannot be emptied.
  ASSERT_TRUE(QDir().rmdir(config));
  const QString two = fx.app.file(QStringLiteral("in/two.cfg"), kArena);
  Preferences(fx.app.paths()).setExternalFile(two);
  setModeOf(config, 0444);
  fx.form->receiveHandOver(two);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.form->documents().size() == 2; }, 5000));
  for (int tick = 0; tick < 3; ++tick) EXPECT_NO_THROW(fx.form->Timer3Timer());
  EXPECT_EQ(fx.form->documents().size(), 2);
  // The same by the key alone: one window, however many ticks.
  const QString three = fx.app.file(QStringLiteral("in/three.cfg"), kArena);
  setModeOf(config, 0644);
  Preferences(fx.app.paths()).setExternalFile(three);
  setModeOf(config, 0444);
  for (int tick = 0; tick < 3; ++tick) EXPECT_NO_THROW(fx.form->Timer3Timer());
  EXPECT_EQ(fx.form->documents().size(), 3);
  EXPECT_EQ(fx.active()->filePath(), three);
}

TEST(Closing, CloseOneResetsNothingCloseAllResetsEverything) {
  MainWindowFixture fx;
  fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), kArena));
  fx.form->OpenDocument(fx.app.file(QStringLiteral("b.cfg"), kArena));
  auto* setting = fx.form->findChild<QLabel*>(QStringLiteral("SettingValue"));
  fx.focusAndSelect(fx.active()->shipList(0), 0);
  EXPECT_EQ(setting->text(), QStringLiteral("A"));
  fx.form->FileClose1Execute();
  EXPECT_EQ(fx.form->documents().size(), 1);
  EXPECT_EQ(setting->text(), QStringLiteral("A"));
  EXPECT_EQ(fx.form->findChild<QLabel*>(QStringLiteral("Owner"))->text(), QStringLiteral("Owner: Zed"));
  fx.form->OpenDocument(fx.app.file(QStringLiteral("c.cfg"), kArena));
  fx.form->CloseAll1Execute();
  EXPECT_EQ(setting->text(), QStringLiteral("N/A"));
  EXPECT_FALSE(fx.form->action(QStringLiteral("Save1"))->isEnabled());
  EXPECT_FALSE(fx.form->action(QStringLiteral("CloseAll1"))->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.form->documents().isEmpty(); }, 5000));
}

namespace {
class HistoryTest : public ::testing::Test {
 protected:
  TempApp app;
  ScriptedPrompts prompts;
  QMenu menu;
  THistoryFiles history{&prompts};
  void SetUp() override {
    for (int i = 1; i <= 5; ++i) menu.addAction(QStringLiteral("File%1").arg(i))->setVisible(false);
    history.MaxItems = 10;
    history.setParentMenu(&menu);
    history.setPosition(5);
    history.ShowFullPath = false;
    history.FileMustExist = true;
    history.LocalPath = app.path(QString());
  }
  QString cfg(const QString& name) { return app.file(name, "[Warbird]\n"); }
};
}  // namespace

TEST_F(HistoryTest, AddMovesToTopWithCaseFoldingAndKeepsTheSpare) {
  history.RebuildMenu();
  EXPECT_TRUE(captions(&menu).isEmpty());
  QStringList files;
  for (int i = 1; i <= 12; ++i) files.append(cfg(QStringLiteral("f%1.cfg").arg(i)));
  history.AddFile(files[0]);
  EXPECT_EQ(historyKey(1), files[0]);
  EXPECT_EQ(historyKey(2), QString());
  EXPECT_EQ(historyKey(10), QString());
  EXPECT_EQ(historyKey(11), QStringLiteral("<absent>"));
  for (int i = 1; i < 11; ++i) history.AddFile(files[i]);
  EXPECT_EQ(historyKey(1), files[10]);
  EXPECT_EQ(historyKey(11), files[0]);  // fell off the shown list
  history.AddFile(files[11]);
  EXPECT_EQ(historyKey(11), files[1]);
  // The same name in other letter case (a-z) moves up instead of doubling.
  QString upper = files[5];
  upper.replace(QStringLiteral("f6.cfg"), QStringLiteral("F6.CFG"));
  cfg(QStringLiteral("F6.CFG"));  // the file system tells case apart; the list does not
  history.AddFile(upper);
  EXPECT_EQ(historyKey(1), upper);
  EXPECT_EQ(historyKey(2), files[11]);
  EXPECT_EQ(captions(&menu).size(), 10);
  EXPECT_EQ(captions(&menu).first(), QStringLiteral("&1 F6.CFG"));
  EXPECT_EQ(captions(&menu).last(), QStringLiteral("&10 f3.cfg"));  // the spare is not read back by an add
  EXPECT_EQ(historyKey(11), files[1]);
}

TEST_F(HistoryTest, BareNamesGapsAndDeletedFiles) {
  history.AddFile(QStringLiteral("bare.cfg"));
  EXPECT_EQ(historyKey(1), QString());  // does not exist: dropped again at once
  const QString a = cfg(QStringLiteral("a.cfg"));
  const QString b = cfg(QStringLiteral("b & c.cfg"));
  const QString c = cfg(QStringLiteral("c.cfg"));
  const QString ini = QStringLiteral("History.ini");
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("1"), a);
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("2"), QString());
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("3"), b);
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("4"),
                         app.path(QStringLiteral("x.cfg")));
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("5"),
                         app.path(QStringLiteral("y.cfg")));
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("6"), c);
  ProfileFile::writeText(ini, QStringLiteral("History Files"), QStringLiteral("11"), a);
  history.RebuildMenu();
  // Slot 2 keeps its gap; slots 4 and 5 (both missing) are removed and the rest move up.
  EXPECT_EQ(captions(&menu), (QStringList{QStringLiteral("&1 a.cfg"), QStringLiteral("&3 b && c.cfg"),
                                          QStringLiteral("&4 c.cfg"), QStringLiteral("&9 a.cfg")}));
  EXPECT_EQ(historyKey(4), c);
  EXPECT_EQ(historyKey(9), a);  // the spare moved up twice
  EXPECT_EQ(historyKey(11), QString());
  QString clicked;
  history.OnClickHistoryItem = [&](THistoryFiles*, QAction*, const QString& name) { clicked = name; };
  history.insertedItems()[1]->trigger();
  EXPECT_EQ(clicked, b);
}

TEST_F(HistoryTest, MenuErrorsAndSeparators) {
  THistoryFiles loose(&prompts);
  loose.RebuildMenu();
  loose.setPosition(99);  // no menu yet: nothing to check against
  loose.setParentMenu(&menu);
  EXPECT_EQ(loose.position(), 5);  // lowered silently
  loose.setPosition(7);
  EXPECT_EQ(loose.position(), 5);
  EXPECT_EQ(prompts.messages(), (QStringList{QStringLiteral("ParentMenu not assigned"),
                                             QStringLiteral("Position out of range")}));
  history.Separator = TSeparatorStyle::sepBoth;
  history.AddFile(cfg(QStringLiteral("a.cfg")));
  EXPECT_EQ(captions(&menu),
            (QStringList{QStringLiteral("-"), QStringLiteral("&1 a.cfg"), QStringLiteral("-")}));
}

TEST(HistoryWiring, RecentItemReopensItsFileAndMovesItUp) {
  MainWindowFixture fx;
  const QString a = fx.app.file(QStringLiteral("a.cfg"), kArena);
  const QString b = fx.app.file(QStringLiteral("b.cfg"), kArena);
  fx.form->OpenDocument(a);
  fx.form->OpenDocument(b);
  EXPECT_EQ(historyKey(1), b);
  auto* recent = fx.form->findChild<QMenu*>(QStringLiteral("RecentFiles1"));
  const QList<QAction*> items =
      fx.form->findChild<THistoryFiles*>(QStringLiteral("HistoryFiles"))->insertedItems();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(captions(recent), (QStringList{QStringLiteral("&1 b.cfg"), QStringLiteral("&2 a.cfg")}));
  items[1]->trigger();
  EXPECT_EQ(fx.form->documents().size(), 3);  // a second window on a.cfg
  EXPECT_EQ(fx.active()->filePath(), a);
  EXPECT_EQ(historyKey(1), a);
}

// The Options dialog, the preferences it sets, and the file association.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>

#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "prefs/FileAssociation.h"
#include "prefs/OptionsDialog.h"
#include "prefs/Preferences.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"

namespace {
const QString kWarning = QStringLiteral("Your Preferences Have Not Been Set!\nPlease Change Drive & Folder Paths");

QString key(const TempApp& app, const QString& name) {
  return ProfileFile::readText(app.paths().configIni(), QStringLiteral("Paths"), name, QStringLiteral("<absent>"));
}

class OptionsTest : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  TForm1* options() { return fx.form->adopted<TForm1>(QStringLiteral("TForm1")); }
  QLineEdit* box(const char* name) { return options()->findChild<QLineEdit*>(QString::fromLatin1(name)); }
  void click(const char* name) { options()->findChild<QPushButton*>(QString::fromLatin1(name))->click(); }
  void openOptions() {
    fx.form->action(QStringLiteral("Options1"))->trigger();
    ASSERT_TRUE(options()->isVisible());
  }
};
}  // namespace

TEST(OptionsStart, AFreshStartWarnsOnceAndShowsTheDialogBeforeTheMainWindow) {
  TempApp app;
  ScriptedPrompts prompts;
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {});
  auto* options = form->adopted<TForm1>(QStringLiteral("TForm1"));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(prompts.messages(), QStringList{kWarning});
  EXPECT_TRUE(options->isVisible());
  EXPECT_FALSE(form->isVisible());  // the main window is shown after this
  EXPECT_FALSE(form->isEnabled());  // ... and takes no input until the dialog closes
  EXPECT_EQ(options->findChild<QLineEdit*>(QStringLiteral("DefaultCfgEdit"))->text(), QStringLiteral("N/A"));
  EXPECT_EQ(options->findChild<QLineEdit*>(QStringLiteral("ContinuumEdit"))->text(), QString());
  form->show();
  options->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
  EXPECT_FALSE(options->isVisible());
  EXPECT_TRUE(form->isEnabled());
  // Shown again by its command: no second warning, and the main window waits again.
  form->action(QStringLiteral("Options1"))->trigger();
  EXPECT_TRUE(options->isVisible());
  EXPECT_FALSE(form->isEnabled());
  EXPECT_EQ(prompts.messages().size(), 1);
  options->close();
  EXPECT_TRUE(form->isEnabled());
}

TEST_F(OptionsTest, TheFileCommandsStoreWhatIsChosenAndCancelChangesNothing) {
  openOptions();
  const QString exe = fx.app.file(QStringLiteral("games/Continuum/Continuum.exe"), "MZ");
  fx.prompts.openAnswers = {exe};
  click("BitBtn4");
  EXPECT_EQ(fx.prompts.asked.back().title, QStringLiteral("Path To Continuum"));
  EXPECT_EQ(fx.prompts.asked.back().value, QStringLiteral("Continuum Execuatble (continuum.exe)"));
  EXPECT_EQ(key(fx.app, QStringLiteral("Continuum")), exe);
  EXPECT_EQ(box("ContinuumEdit")->text(), exe);  // in full right after the command
  options()->FormActivate();
  EXPECT_EQ(box("ContinuumEdit")->text(), fx.app.path(QStringLiteral("games/Continuum/")));  // its folder later
  // Cancel: nothing changes.
  fx.prompts.openAnswers = {std::nullopt};
  click("BitBtn22");
  EXPECT_EQ(fx.prompts.asked.back().title, QStringLiteral("Path To Default CFG"));
  EXPECT_EQ(fx.prompts.asked.back().text, exe);  // one dialog for both commands, offering its last file
  EXPECT_EQ(key(fx.app, QStringLiteral("DefaultSettings")), QStringLiteral("<absent>"));
  EXPECT_EQ(box("DefaultCfgEdit")->text(), QStringLiteral("N/A"));
  const QString templ = fx.app.file(QStringLiteral("t.cfg"), "[Warbird]\nA=1\n");
  fx.prompts.openAnswers = {templ};
  click("BitBtn22");
  EXPECT_EQ(key(fx.app, QStringLiteral("DefaultSettings")), templ);
  EXPECT_EQ(box("DefaultCfgEdit")->text(), templ);
  // The path boxes take no typing: nothing typed can be silently dropped.
  for (const char* name : {"ContinuumEdit", "DefaultCfgEdit", "StorageEdit", "BackupFolderEdit"})
    EXPECT_TRUE(box(name)->isReadOnly()) << name;
}

TEST_F(OptionsTest, TheFolderCommandsStoreWhatIsPickedAndAFailedWriteKeepsTheBox) {
  openOptions();
  const QString storage = fx.app.path(QStringLiteral("mine"));
  QDir().mkpath(storage);
  fx.prompts.folderAnswers = {storage, std::nullopt};
  click("BitBtn3");
  EXPECT_EQ(fx.prompts.asked.back().kind, QStringLiteral("folder"));
  EXPECT_EQ(fx.prompts.asked.back().title, QStringLiteral("Select a folder"));
  EXPECT_EQ(key(fx.app, QStringLiteral("cfgStorageDir")), storage);
  EXPECT_EQ(box("StorageEdit")->text(), storage);
  click("BitBtn3");  // cancelled
  EXPECT_EQ(box("StorageEdit")->text(), storage);
  options()->findChild<QTabWidget*>()->setCurrentIndex(1);
  const QString backups = fx.app.path(QStringLiteral("backups"));
  QDir().mkpath(backups);
  fx.prompts.folderAnswers = {backups};
  click("Button4");
  EXPECT_EQ(fx.prompts.asked.back().title, QStringLiteral("Select Backup Folder"));
  EXPECT_EQ(key(fx.app, QStringLiteral("BackupFolder")), backups);
  EXPECT_EQ(box("BackupFolderEdit")->text(), backups);
  // A preferences file that cannot be written: the error is reported, the box keeps its text.
  fx.prompts.folderAnswers = {fx.app.path(QStringLiteral("other"))};
  AtomicFile::failWritesAfterForTesting(0);
  click("BitBtn3");
  AtomicFile::failWritesAfterForTesting(-1);
  EXPECT_TRUE(fx.prompts.messages().back().startsWith(QStringLiteral("Unable to write to ") + fx.app.paths().configIni()))
      << fx.prompts.messages().back().toStdString();
  EXPECT_EQ(box("StorageEdit")->text(), storage);
  EXPECT_EQ(key(fx.app, QStringLiteral("cfgStorageDir")), storage);
}

TEST(OptionsStart, AStorageFolderThatIsGoneIsNamedAtStartAndAtActivation) {
  TempApp app;
  ScriptedPrompts prompts;
  const QString gone = app.path(QStringLiteral("removed-disk/cfgs"));
  Preferences(app.paths()).setStorageFolder(gone);
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {});
  const QString text = QStringLiteral("\n%1\nPath to myCFG Directory is Invalid.\nPlease Check/Change Drive & Folder "
                                      "Paths\nIn the Options/Prefrences Menu...")
                           .arg(gone);
  EXPECT_EQ(prompts.messages(), QStringList{text});
  auto* options = form->adopted<TForm1>(QStringLiteral("TForm1"));
  EXPECT_FALSE(options->isVisible());  // set, only not there: no start-up dialog
  form->action(QStringLiteral("Options1"))->trigger();
  EXPECT_EQ(prompts.messages(), (QStringList{text, text}));
}

TEST_F(OptionsTest, BackupOptionsDecideWhereTheReplacedContentGoes) {
  const QString source = fx.app.file(QStringLiteral("zone/arena.cfg"), "[Warbird]\nA=1\n");
  TMDIChild* doc = fx.form->OpenDocument(source);
  auto save = [&] {
    fx.prompts.saveAnswers = {source};
    fx.prompts.messageAnswers = {QMessageBox::Ok};
    fx.form->SaveDocument();
  };
  // Ticked (the default) with a backup folder that exists: the backup goes there.
  const QString backups = fx.app.path(QStringLiteral("backups"));
  QDir().mkpath(backups);
  Preferences(fx.app.paths()).setBackupFolder(backups);
  save();
  // Named after the whole source path, so another folder's arena.cfg keeps a backup of its own.
  QString named = QFileInfo(source).absoluteFilePath();
  named.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(QLatin1Char('/'), QStringLiteral("%2F"));
  EXPECT_EQ(readBytes(backups + QLatin1Char('/') + named + QLatin1Char('x')), QByteArray("[Warbird]\nA=1\n"));
  EXPECT_FALSE(QFileInfo::exists(source + QStringLiteral("x")));
  // Cleared: no backup at all.
  Preferences(fx.app.paths()).setBackupFolder(fx.app.path(QStringLiteral("gone")));
  openOptions();
  auto* check = options()->findChild<QCheckBox*>(QStringLiteral("BackupCheckBox"));
  EXPECT_TRUE(check->isChecked());
  check->click();
  options()->close();
  EXPECT_FALSE(Preferences(fx.app.paths()).createBackups());
  ReportList* list = doc->shipList(0);
  fx.focusAndSelect(list, 0);
  fx.prompts.textAnswers = {QStringLiteral("2")};
  doc->editValueIn(list);
  save();
  EXPECT_EQ(readBytes(source), QByteArray("[Warbird]\nA=2\n"));
  EXPECT_FALSE(QFileInfo::exists(source + QStringLiteral("x")));
}

namespace {
class AssociationTest : public ::testing::Test {
 protected:
  TempApp app;
  FileAssociation::Locations at;
  void SetUp() override {
    at = {app.path(QStringLiteral("xdg-data")), app.path(QStringLiteral("xdg-config"))};
    qputenv("XDG_DATA_HOME", at.dataHome.toLocal8Bit());
  }
  void TearDown() override { qunsetenv("XDG_DATA_HOME"); }
  void registerExec(const QString& exec) {
    QDir().mkpath(at.dataHome + QStringLiteral("/applications"));
    writeBytes(FileAssociation::desktopFilePath(at),
               "[Desktop Entry]\nType=Application\nName=X\nExec=" + exec.toUtf8() + "\n");
    ProfileFile::writeText(at.configHome + QStringLiteral("/mimeapps.list"), QStringLiteral("Default Applications"),
                           QStringLiteral("application/x-cfgfile"), QStringLiteral("tessary.desktop"));
  }
};
}  // namespace

TEST_F(AssociationTest, WritesTheTypeTheEntryTheIconAndTheUsersChoice) {
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), QString());
  const QString exe = QStringLiteral("/opt/my games/tessary");
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe, at);
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), exe);
  EXPECT_TRUE(readBytes(at.dataHome + QStringLiteral("/mime/packages/tessary-cfgfile.xml")).contains("*.cfg"));
  EXPECT_TRUE(QFileInfo::exists(at.dataHome + QStringLiteral("/icons/hicolor/32x32/apps/tessary.png")));
  EXPECT_TRUE(readBytes(at.configHome + QStringLiteral("/mimeapps.list")).contains("application/x-cfgfile=tessary.desktop"));
  // The entry passes the desktops' own check.
  const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  ASSERT_FALSE(validate.isEmpty()) << "desktop-file-utils is installed by scripts/deps.sh";
  QProcess p;
  p.start(validate, {FileAssociation::desktopFilePath(at)});
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString() << p.readAllStandardError().toStdString();
  // A folder that cannot be made stops the writing with the path that failed.
  writeBytes(app.path(QStringLiteral("blocked")), "a file, not a folder");
  try {
    FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe, {app.path(QStringLiteral("blocked")), at.configHome});
    ADD_FAILURE() << "wrote under a file";
  } catch (const TessaryError& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Failed to create key ") + app.path(QStringLiteral("blocked/mime/packages")));
  }
}

TEST_F(AssociationTest, TheBoxIsTickedByTheExecutablesFileNameLetterCaseIncluded) {
  registerExec(QStringLiteral("\"/somewhere/else/tessary\" %f"));
  EXPECT_TRUE(FileAssociation::isAssociatedWith(QStringLiteral("/usr/bin/tessary"), at));
  registerExec(QStringLiteral("/somewhere/else/tessary %f"));
  EXPECT_TRUE(FileAssociation::isAssociatedWith(QStringLiteral("/usr/bin/tessary"), at));
  registerExec(QStringLiteral("/somewhere/else/Tessary %f"));
  EXPECT_FALSE(FileAssociation::isAssociatedWith(QStringLiteral("/usr/bin/tessary"), at));
  registerExec(QStringLiteral("\"/unterminated %f"));
  EXPECT_FALSE(FileAssociation::isAssociatedWith(QStringLiteral("/usr/bin/tessary"), at));
}

TEST_F(AssociationTest, AtStartAnAssociationOfThisNameIsWrittenAgainForTheRunningCopy) {
  const QString running = QCoreApplication::applicationFilePath();
  registerExec(QStringLiteral("\"/moved/away/") + QFileInfo(running).fileName() + QStringLiteral("\" %f"));
  Preferences(app.paths()).setStorageFolder(app.path(QString()));
  ScriptedPrompts prompts;
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {});
  auto* box = form->adopted<TForm1>(QStringLiteral("TForm1"))->findChild<QCheckBox*>(QStringLiteral("CheckBox3"));
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), running);
  // Clearing the tick removes nothing.
  box->click();
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), running);
}

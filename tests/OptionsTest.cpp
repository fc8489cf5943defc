// The Options dialog, the preferences it sets, and the file association.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/MainForm.h"
#include "app/TessaryApp.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "prefs/FileAssociation.h"
#include "prefs/OptionsDialog.h"
#include "prefs/Preferences.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"

namespace {
const QString kWarning =
    QStringLiteral("Your Preferences Have Not Been Set!\nPlease Change Drive & Folder Paths");

QString key(const TempApp& app, const QString& name) {
  return ProfileFile::readText(app.paths().configIni(), QStringLiteral("Paths"), name,
                               QStringLiteral("<absent>"));
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
  EXPECT_EQ(box("ContinuumEdit")->text(),
            fx.app.path(QStringLiteral("games/Continuum/")));  // its folder later
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
  {
    const AtomicFile::Faults full({.writableBytes = 0});
    click("BitBtn3");
  }
  EXPECT_TRUE(fx.prompts.messages().back().startsWith(QStringLiteral("Unable to write to ") +
                                                      fx.app.paths().configIni()))
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
  const QString text = QStringLiteral(
                           "\n%1\nPath to myCFG Directory is Invalid.\nPlease Check/Change Drive & Folder "
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

#ifdef _WIN32
TEST(AssociationTest, TheFreedesktopEntriesOfLinux) {
  GTEST_SKIP() << "not on Windows: the association there is the registry's, tested in WindowsShellTest";
}
#else
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
    ProfileFile::writeText(at.configHome + QStringLiteral("/mimeapps.list"),
                           QStringLiteral("Default Applications"), QStringLiteral("application/x-cfgfile"),
                           QStringLiteral("tessary.desktop"));
  }
};
}  // namespace

TEST_F(AssociationTest, WritesTheTypeTheEntryTheIconAndTheUsersChoice) {
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), QString());
  const QString exe = QStringLiteral("/opt/my games/tessary");
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe, at);
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), exe);
  EXPECT_TRUE(
      readBytes(at.dataHome + QStringLiteral("/mime/packages/tessary-cfgfile.xml")).contains("*.cfg"));
  // Every size the package has, each the package's own picture.
  for (const char* size : {"16", "22", "24", "32", "48", "64", "128", "256"})
    EXPECT_EQ(
        readBytes(at.dataHome +
                  QStringLiteral("/icons/hicolor/%1x%1/apps/tessary.png").arg(QLatin1String(size))),
        readBytes(sourceDir() +
                  QStringLiteral("/packaging/icons/%1x%1/org.tessary.Tessary.png").arg(QLatin1String(size))))
        << size;
  EXPECT_EQ(readBytes(at.dataHome + QStringLiteral("/icons/hicolor/scalable/apps/tessary.svg")),
            readBytes(sourceDir() + QStringLiteral("/packaging/icons/scalable/org.tessary.Tessary.svg")));
  EXPECT_TRUE(readBytes(at.configHome + QStringLiteral("/mimeapps.list"))
                  .contains("application/x-cfgfile=tessary.desktop"));
  // The entry passes the desktops' own check.
  const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  ASSERT_FALSE(validate.isEmpty()) << "desktop-file-utils is installed by scripts/deps.sh";
  QProcess p;
  p.start(validate, {FileAssociation::desktopFilePath(at)});
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString()
                             << p.readAllStandardError().toStdString();
  // A folder that cannot be made stops the writing with the path that failed.
  writeBytes(app.path(QStringLiteral("blocked")), "a file, not a folder");
  try {
    FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe,
                                        {app.path(QStringLiteral("blocked")), at.configHome});
    ADD_FAILURE() << "wrote under a file";
  } catch (const TessaryError& e) {
    EXPECT_EQ(e.message(),
              QStringLiteral("Failed to create key ") + app.path(QStringLiteral("blocked/mime/packages")));
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
  auto* box =
      form->adopted<TForm1>(QStringLiteral("TForm1"))->findChild<QCheckBox*>(QStringLiteral("CheckBox3"));
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), running);
  // Clearing the tick removes nothing.
  box->click();
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), running);
}

TEST_F(AssociationTest, AnyPathIsWrittenAsTheDesktopEntryRulesAskAndReadBackTheSame) {
  const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  ASSERT_FALSE(validate.isEmpty());
  for (const QString& exe :
       {QStringLiteral("/opt/50% off/tessary"), QStringLiteral("/opt/my \"games\"/te$st`x`"),
        QStringLiteral("/opt/back\\slash/%f/tessary"), QStringLiteral("/opt/two\nlines/tessary")}) {
    FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe, at);
    EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), exe) << exe.toStdString();
    QProcess p;
    p.start(validate, {FileAssociation::desktopFilePath(at)});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << exe.toStdString() << p.readAllStandardOutput().toStdString();
    const QByteArray entry = readBytes(FileAssociation::desktopFilePath(at));
    EXPECT_EQ(entry.count("\nExec="), 1) << entry.toStdString();  // one line, whatever the path holds
  }
  const QByteArray written = readBytes(FileAssociation::desktopFilePath(at));
  EXPECT_TRUE(written.contains("Exec=\"/opt/two\\nlines/tessary\" %f\n")) << written.toStdString();
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), QStringLiteral("/opt/50% off/tessary"), at);
  EXPECT_TRUE(
      readBytes(FileAssociation::desktopFilePath(at)).contains("Exec=\"/opt/50%% off/tessary\" %f\n"));
  // Text editors stay offered for the type.
  EXPECT_TRUE(readBytes(at.dataHome + QStringLiteral("/mime/packages/tessary-cfgfile.xml"))
                  .contains("<sub-class-of type=\"text/plain\"/>"));
}

TEST_F(AssociationTest, TheUsersOwnEntryAndEarlierChoicesStay) {
  // An entry of that name that the user made, and the user's earlier choice for the type.
  QDir().mkpath(at.dataHome + QStringLiteral("/applications"));
  const QByteArray own = "[Desktop Entry]\nType=Application\nName=My own\nExec=/home/me/bin/mine %f\n";
  writeBytes(FileAssociation::desktopFilePath(at), own);
  ProfileFile::writeText(at.configHome + QStringLiteral("/mimeapps.list"),
                         QStringLiteral("Default Applications"), QStringLiteral("application/x-cfgfile"),
                         QStringLiteral("mousepad.desktop;gedit.desktop;"));
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), QStringLiteral("/opt/tessary"), at);
  EXPECT_EQ(readBytes(FileAssociation::desktopFilePath(at)), own);
  EXPECT_EQ(
      ProfileFile::readText(at.configHome + QStringLiteral("/mimeapps.list"),
                            QStringLiteral("Default Applications"), QStringLiteral("application/x-cfgfile")),
      QStringLiteral("tessary-association.desktop;mousepad.desktop;gedit.desktop;"));
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), QStringLiteral("/opt/tessary"));
  // Written again: still once in the list, and the entry of its own is replaced.
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), QStringLiteral("/opt/tessary2"), at);
  EXPECT_EQ(
      ProfileFile::readText(at.configHome + QStringLiteral("/mimeapps.list"),
                            QStringLiteral("Default Applications"), QStringLiteral("application/x-cfgfile")),
      QStringLiteral("tessary-association.desktop;mousepad.desktop;gedit.desktop;"));
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), QStringLiteral("/opt/tessary2"));
}

TEST_F(AssociationTest, ACopyThatStandsApartNeverChangesTheAssociation) {
  const QString running = QCoreApplication::applicationFilePath();
  const QString elsewhere = QStringLiteral("/moved/away/") + QFileInfo(running).fileName();
  registerExec(QLatin1Char('"') + elsewhere + QStringLiteral("\" %f"));
  const QByteArray list = readBytes(at.configHome + QStringLiteral("/mimeapps.list"));
  Preferences(app.paths()).setStorageFolder(app.path(QString()));
  ScriptedPrompts prompts;
  // As a screenshot run makes its windows.
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {}, false);
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), elsewhere);
  EXPECT_EQ(readBytes(at.configHome + QStringLiteral("/mimeapps.list")), list);
}

#endif

namespace {
// Answers the file dialog with a real modal dialog of its own, which takes the
// focus from the Options dialog and gives it back when it closes.
class RealModalPrompts : public ScriptedPrompts {
 public:
  QString answer;
  std::optional<QString> openFile(QWidget* parent, const QString&, const QString&, const QString&) override {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("StandInFileDialog"));
    QTimer::singleShot(0, &dialog, [&dialog] {
      (void)QTest::qWaitForWindowActive(&dialog, 2000);
      dialog.accept();
    });
    dialog.exec();
    return answer;
  }
};
}  // namespace

TEST(OptionsActivation, TheContinuumPathShowsWholeAfterItsFileDialogCloses) {
  TempApp app;
  Preferences(app.paths()).setStorageFolder(app.path(QString()));
  RealModalPrompts prompts;
  prompts.answer = app.file(QStringLiteral("games/Continuum/Continuum.exe"), "MZ");
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {});
  form->show();
  QApplication::setActiveWindow(form.get());
  QTest::keyClick(form.get(), Qt::Key_P, Qt::ControlModifier);
  auto* options = form->adopted<TForm1>(QStringLiteral("TForm1"));
  ASSERT_TRUE(QTest::qWaitForWindowActive(options, 5000));
  QTest::mouseClick(options->findChild<QPushButton*>(QStringLiteral("BitBtn4")), Qt::LeftButton);
  // The window manager gives the focus back to the dialog (offscreen, the test does);
  // that activation does not cut the path to its folder.
  options->activateWindow();
  QApplication::setActiveWindow(options);
  ASSERT_TRUE(QTest::qWaitForWindowActive(options, 5000));
  auto* box = options->findChild<QLineEdit*>(QStringLiteral("ContinuumEdit"));
  EXPECT_EQ(box->text(), prompts.answer);
  // Shown anew, the box shows the folder, as at every showing.
  options->close();
  form->action(QStringLiteral("Options1"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return options->isVisible(); }, 5000));
  EXPECT_EQ(box->text(), app.path(QStringLiteral("games/Continuum/")));
  options->close();
}

TEST(OptionsStart, TheStoredBackupFolderShowsAtStartAndCanBeCleared) {
  TempApp app;
  Preferences prefs(app.paths());
  prefs.setStorageFolder(app.path(QString()));
  const QString backups = app.path(QStringLiteral("backups"));
  QDir().mkpath(backups);
  prefs.setBackupFolder(backups);
  ScriptedPrompts prompts;
  std::unique_ptr<TMainForm> form = TessaryApp::createWindows(app.paths(), prompts, {});
  auto* options = form->adopted<TForm1>(QStringLiteral("TForm1"));
  auto* box = options->findChild<QLineEdit*>(QStringLiteral("BackupFolderEdit"));
  EXPECT_EQ(box->text(), backups);
  form->action(QStringLiteral("Options1"))->trigger();
  QTest::mouseClick(options->findChild<QPushButton*>(QStringLiteral("ClearBackupFolder")), Qt::LeftButton);
  EXPECT_EQ(box->text(), QString());
  const QString target = app.path(QStringLiteral("a.cfg"));
  EXPECT_EQ(prefs.backupPathFor(target), target + QStringLiteral("x"));
  options->close();
  form->action(QStringLiteral("Options1"))->trigger();
  EXPECT_EQ(box->text(), QString());
  options->close();
}

TEST(DialogFolders, DialogsOpenWhereTheUsersFilesAreNeverAmongTheWorkingCopies) {
  MainWindowFixture fx;
  const QString storage = fx.app.path(QStringLiteral("storage"));
  auto lastStart = [&] {
    const auto open = std::find_if(fx.prompts.asked.rbegin(), fx.prompts.asked.rend(),
                                   [](const auto& a) { return a.kind == QStringLiteral("open"); });
    return open == fx.prompts.asked.rend() ? QString() : open->text;
  };
  // F3: the storage folder.
  QTest::keyClick(fx.form.get(), Qt::Key_F3);
  EXPECT_EQ(lastStart(), storage + QLatin1Char('/'));
  // A new document's first save offers its name there too.
  TMDIChild* fresh = fx.form->NewDocument();
  ASSERT_NE(fresh, nullptr);
  fx.prompts.saveAnswers = {std::nullopt};
  fresh->saveWithDialog();
  const auto save = std::find_if(fx.prompts.asked.rbegin(), fx.prompts.asked.rend(),
                                 [](const auto& a) { return a.kind == QStringLiteral("save"); });
  ASSERT_NE(save, fx.prompts.asked.rend());
  EXPECT_TRUE(save->text.startsWith(storage + QLatin1Char('/'))) << save->text.toStdString();
  // A storage folder that is the working folder, or none: the folder of the last file, else home.
  Preferences prefs(fx.app.paths());
  prefs.setStorageFolder(fx.app.paths().temp());
  EXPECT_EQ(prefs.dialogFolder(), QDir::homePath());
  EXPECT_EQ(prefs.dialogFolder(fx.app.path(QStringLiteral("zone/a.cfg"))), QDir::homePath());  // not there
  QDir().mkpath(fx.app.path(QStringLiteral("zone")));
  EXPECT_EQ(prefs.dialogFolder(fx.app.path(QStringLiteral("zone/a.cfg"))),
            fx.app.path(QStringLiteral("zone")));
  EXPECT_EQ(prefs.dialogFolder(fx.app.paths().temp() + QStringLiteral("/a.cfg")), QDir::homePath());
  prefs.setStorageFolder(QString());
  QTest::keyClick(fx.form.get(), Qt::Key_F3);
  EXPECT_EQ(lastStart(), QDir::homePath() + QLatin1Char('/'));
  EXPECT_FALSE(lastStart().startsWith(fx.app.paths().temp()));
}

TEST(OptionsStart, TheDialogFitsTheScreenAndItsPagesAreNotAThirdEmpty) {
  MainWindowFixture fx;
  auto* options = fx.form->adopted<TForm1>(QStringLiteral("TForm1"));
  fx.form->action(QStringLiteral("Options1"))->trigger();
  const QRect screen = options->screen()->availableGeometry();
  EXPECT_LE(options->height(), screen.height());
  EXPECT_LE(options->width(), screen.width());
  auto* close = options->findChild<QPushButton*>(QStringLiteral("CloseButton"));
  EXPECT_TRUE(options->rect().contains(close->geometry()));
  // The lowest control of each page sits in its last third at least.
  auto* pages = options->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    QWidget* page = pages->widget(i);
    int lowest = 0;
    for (QWidget* child : page->findChildren<QWidget*>())
      if (child->isVisibleTo(page))
        lowest = std::max(lowest, child->mapTo(page, QPoint(0, child->height())).y());
    EXPECT_GT(lowest, page->height() * 2 / 3) << pages->tabText(i).toStdString();
  }
  options->close();
}

#ifndef _WIN32
TEST_F(AssociationTest, AnInstalledCopyCountsItsPackagesEntryAndTickingOnlyChoosesItAsTheDefault) {
  // The package's layout: bin/tessary and share/applications/org.tessary.Tessary.desktop.
  const QString exe = app.file(QStringLiteral("usr/bin/tessary"), "");
  EXPECT_TRUE(FileAssociation::packageEntry(exe).isEmpty());
  EXPECT_FALSE(FileAssociation::packageIsOpener(QStringLiteral("cfg"), exe, at));
  app.file(QStringLiteral("usr/share/applications/org.tessary.Tessary.desktop"),
           readBytes(sourceDir() + QStringLiteral("/packaging/org.tessary.Tessary.desktop")));
  EXPECT_EQ(FileAssociation::packageEntry(exe),
            app.path(QStringLiteral("usr/share/applications/org.tessary.Tessary.desktop")));
  // Installed, nothing else chosen: the package is the opener, so the box starts ticked.
  EXPECT_TRUE(FileAssociation::packageIsOpener(QStringLiteral("cfg"), exe, at));
  // The user chose another program: no longer.
  ProfileFile::writeText(at.configHome + QStringLiteral("/mimeapps.list"),
                         QStringLiteral("Default Applications"), QStringLiteral("application/x-cfgfile"),
                         QStringLiteral("other.desktop;"));
  EXPECT_FALSE(FileAssociation::packageIsOpener(QStringLiteral("cfg"), exe, at));
  // Ticking: the package's entry first, the earlier choice kept after it, and no entry of our own.
  FileAssociation::makePackageTheOpener(QStringLiteral("cfg"), at);
  EXPECT_TRUE(readBytes(at.configHome + QStringLiteral("/mimeapps.list"))
                  .contains("application/x-cfgfile=org.tessary.Tessary.desktop;other.desktop;"));
  EXPECT_TRUE(FileAssociation::packageIsOpener(QStringLiteral("cfg"), exe, at));
  EXPECT_FALSE(QFileInfo::exists(at.dataHome + QStringLiteral("/applications")));
  EXPECT_FALSE(QFileInfo::exists(at.dataHome + QStringLiteral("/mime")));
}
#endif

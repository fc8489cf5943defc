#include "prefs/OptionsDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "components/MainWindowLock.h"
#include "components/Pictures.h"
#include "components/Prompts.h"
#include "components/ScreenRoom.h"
#include "prefs/UpdatesPage.h"

QString folderPart(const QString& path) {
  if (path == QStringLiteral("N/A")) return {};  // the absent value names no folder
  const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char(':')));
  return cut < 0 ? QString() : path.left(cut + 1);
}

namespace {
QLineEdit* pathBox(const QString& name, QWidget* parent) {
  // Read-only, so nothing typed there is silently dropped; the text can still be selected and copied.
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  return box;
}

QPushButton* button(const QString& name, const QString& text, Picture picture, QWidget* parent) {
  auto* b = new QPushButton(Pictures::main(picture), text, parent);
  b->setObjectName(name);
  return b;
}
}  // namespace

TForm1::TForm1(const AppPaths& paths, Prompts& prompts, QWidget* mainWindow,
               std::function<void()> reportError)
    // No parent widget: the main window is disabled while this shows, and a child would be disabled with it.
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_paths(paths),
      m_prefs(paths),
      m_prompts(prompts),
      m_mainWindow(mainWindow),
      m_reportError(std::move(reportError)) {
  setObjectName(QStringLiteral("TForm1"));
  m_lock = new MainWindowLock(this, mainWindow);
  setWindowTitle(QStringLiteral("Options/Preferences"));
  auto* layout = new QVBoxLayout(this);
  m_pages = new QTabWidget(this);
  m_pages->setObjectName(QStringLiteral("PageControl1"));
  m_pages->addTab(buildPathsPage(), QStringLiteral("File/Folder Paths"));
  m_pages->addTab(buildFileOptionsPage(), QStringLiteral("File Options"));
  m_updates = new UpdatesPage(paths, prompts);
  m_pages->addTab(m_updates, QStringLiteral("Program Updates"));
  layout->addWidget(m_pages);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  close->setObjectName(QStringLiteral("CloseButton"));
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(close);
  // As tall as the fullest page needs, no taller: the change log takes what the
  // updates page has left, so the other pages are not a third empty.
  setFixedSize(std::max(470, sizeHint().width()), std::max(minimumSizeHint().height(), 440));
}

QWidget* TForm1::buildPathsPage() {
  auto* page = new QWidget();
  page->setObjectName(QStringLiteral("PathsPage"));
  auto* layout = new QVBoxLayout(page);
  auto group = [&](const QString& title, const QString& label, QLineEdit* box, QPushButton* set) {
    auto* g = new QGroupBox(title, page);
    auto* gl = new QVBoxLayout(g);
    gl->addWidget(new QLabel(label, g));
    gl->addWidget(box);
    gl->addWidget(set, 0, Qt::AlignRight);
    layout->addWidget(g);
  };
  m_continuum = pathBox(QStringLiteral("ContinuumEdit"), page);
  auto* setContinuum =
      button(QStringLiteral("BitBtn4"), QStringLiteral("Set Continuum Path"), Picture::Help, page);
  group(QStringLiteral("[ Continuum Path ]"),
        QStringLiteral("Game Folder for Downloads/Uploads ( Default CFG Directory )"), m_continuum,
        setContinuum);
  m_defaultCfg = pathBox(QStringLiteral("DefaultCfgEdit"), page);
  auto* setDefault =
      button(QStringLiteral("BitBtn22"), QStringLiteral("Set Default CFG File"), Picture::Open, page);
  group(QStringLiteral("[ Default CFG File/Directory ]"),
        QStringLiteral("Default/Base CFG For Creating New Settings From"), m_defaultCfg, setDefault);
  m_storage = pathBox(QStringLiteral("StorageEdit"), page);
  auto* setStorage =
      button(QStringLiteral("BitBtn3"), QStringLiteral("Set Storage Path"), Picture::RecentFiles, page);
  group(QStringLiteral("[ CFG Storeage ]"),
        QStringLiteral("Your CFG Directory ( Storeage Folder Outside Continnum )"), m_storage, setStorage);
  layout->addStretch(1);
  connect(setContinuum, &QPushButton::clicked, this, &TForm1::BitBtn4Click);
  connect(setDefault, &QPushButton::clicked, this, &TForm1::BitBtn22Click);
  connect(setStorage, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
  return page;
}

QWidget* TForm1::buildFileOptionsPage() {
  auto* page = new QWidget();
  page->setObjectName(QStringLiteral("FileOptionsPage"));
  auto* layout = new QVBoxLayout(page);
  auto* backup = new QGroupBox(QStringLiteral("[ Backup Options ]"), page);
  auto* bl = new QVBoxLayout(backup);
  m_createBackups =
      new QCheckBox(QStringLiteral("Create Backup Files of CFG's when saving changes?"), backup);
  m_createBackups->setObjectName(QStringLiteral("BackupCheckBox"));
  bl->addWidget(m_createBackups);
  bl->addWidget(new QLabel(QStringLiteral("Backup Folder Path"), backup));
  auto* row = new QHBoxLayout();
  m_backupFolder = pathBox(QStringLiteral("BackupFolderEdit"), backup);
  auto* set = button(QStringLiteral("Button4"), QStringLiteral("Set"), Picture::None, backup);
  set->setMaximumWidth(set->fontMetrics().horizontalAdvance(QStringLiteral("Set")) + 24);
  auto* clear = button(QStringLiteral("ClearBackupFolder"), QStringLiteral("Clear"), Picture::None, backup);
  clear->setMaximumWidth(clear->fontMetrics().horizontalAdvance(QStringLiteral("Clear")) + 24);
  clear->setToolTip(QStringLiteral("Backups go beside the saved file again"));
  row->addWidget(m_backupFolder, 1);
  row->addWidget(set);
  row->addWidget(clear);
  bl->addLayout(row);
  layout->addWidget(backup);
  layout->addStretch(1);  // the room the taller pages need is shared out between the groups
  auto* errors = new QGroupBox(QStringLiteral("[ Error Checking ]"), page);
  auto* el = new QVBoxLayout(errors);
  auto* check = new QCheckBox(QStringLiteral("Auotmaticly Check CFG For Errors When Saving?"), errors);
  check->setObjectName(QStringLiteral("ErrorCheckBox"));
  check->setChecked(m_prefs.checkOnSave());
  connect(check, &QCheckBox::clicked, this,
          [this](bool on) { guarded([&] { m_prefs.setCheckOnSave(on); }); });
  el->addWidget(check);
  layout->addWidget(errors);
  layout->addStretch(1);
  auto* assoc = new QGroupBox(QStringLiteral("[ File Associations ]"), page);
  auto* al = new QVBoxLayout(assoc);
  CheckBox3 = new QCheckBox(QStringLiteral("Associate CFG files with Config Editor ?"), assoc);
  CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
  al->addWidget(CheckBox3);
  layout->addWidget(assoc);
  layout->addStretch(1);
  connect(set, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(clear, &QPushButton::clicked, this, &TForm1::clearBackupFolder);
  connect(m_createBackups, &QCheckBox::clicked, this,
          [this](bool on) { guarded([&] { m_prefs.setCreateBackups(on); }); });
  // Ticking counts as a click, by the user or by the association check.
  connect(CheckBox3, &QCheckBox::toggled, this, [this](bool on) {
    if (on) CheckBox3Click();
  });
  return page;
}

template <typename F>
void TForm1::guarded(F&& work) {
  try {
    work();
  } catch (...) {
    if (m_reportError) m_reportError();
  }
}

void TForm1::showOptions() {
  fitScreen();
  if (m_mainWindow) {
    // Centred over the main window.
    const QRect main = m_mainWindow->frameGeometry();
    move(main.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
  activateWindow();
  FormActivate();
}

void TForm1::fitScreen() {
  // Never taller or wider than the screen at the scale in use: the change log gives way.
  const QSize room = roomOnScreen(this, m_mainWindow);
  if (room.isEmpty()) return;
  const QSize wanted(std::max(470, sizeHint().width()), std::max(minimumSizeHint().height(), 440));
  setFixedSize(wanted.boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room)));
}

void TForm1::FormCreate(bool startupCheck) {
  associationCheck();
  m_continuum->setText(folderPart(m_prefs.continuum()));
  m_defaultCfg->setText(m_prefs.defaultSettings());
  const QString storage = m_prefs.storageFolder();
  m_storage->setText(storage);
  m_createBackups->setChecked(m_prefs.createBackups());
  m_backupFolder->setText(shownBackupFolder());
  guarded([&] { m_updates->initialise(); });
  if (!startupCheck) return;
  if (storage.isEmpty()) {
    if (!m_warningShown) {
      m_prompts.message(
          m_mainWindow, QMessageBox::Warning, applicationTitle(),
          QStringLiteral("Your Preferences Have Not Been Set!\nPlease Change Drive & Folder Paths"));
      m_warningShown = true;
    }
    showOptions();
    return;
  }
  checkStorageFolder();
  m_storageWarned = false;  // named at start; the first showing names it again
}

void TForm1::FormActivate() {
  // A message box shown from here takes the activation and gives it back: no second round.
  if (m_activating) return;
  m_activating = true;
  const auto done = qScopeGuard([this] { m_activating = false; });
  (void)m_lock->takeActivation();  // this is the activation
  m_lock->lock();
  guarded([&] { m_updates->refresh(); });
  associationCheck();
  m_continuum->setText(folderPart(m_prefs.continuum()));
  m_defaultCfg->setText(m_prefs.defaultSettings());
  m_backupFolder->setText(shownBackupFolder());
  m_updates->showLastCheck();
  checkStorageFolder();
}

void TForm1::FormClose() { m_lock->release(); }

bool TForm1::event(QEvent* e) {
  // Not again when a file dialog or message box of this dialog closes: the boxes
  // keep what the command just put there.
  if (e->type() == QEvent::WindowActivate && isVisible() && !m_activating && m_lock->takeActivation())
    FormActivate();
  return QDialog::event(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
  FormClose();
  QDialog::closeEvent(e);
}

void TForm1::hideEvent(QHideEvent* e) {
  m_storageWarned = false;
  FormClose();
  QDialog::hideEvent(e);
}

void TForm1::checkStorageFolder() {
  // A stored folder that is not there (a removed disk, a typo in the file) is worth a word.
  const QString storage = m_prefs.storageFolder();
  if (storage.isEmpty() || QFileInfo(storage).isDir() || m_storageWarned) return;
  m_storageWarned = true;  // once per showing, not at every activation
  m_prompts.message(
      this, QMessageBox::Warning, applicationTitle(),
      QStringLiteral("\n%1\nPath to myCFG Directory is Invalid.\nPlease Check/Change Drive & Folder "
                     "Paths\nIn the Options/Prefrences Menu...")
          .arg(storage));
}

void TForm1::associationCheck() {
  if (associationInPlace && !CheckBox3->isChecked() && associationInPlace()) CheckBox3->setChecked(true);
}

void TForm1::CheckBox3Click() {
  if (CheckBox3->isChecked() && writeAssociation) guarded([&] { writeAssociation(); });
}

void TForm1::CheckForUpdates1Click() {
  guarded([&] {
    if (m_updates->isChecking()) {  // one check at a time: show the one that runs
      showOptions();
      m_pages->setCurrentWidget(m_updates);
      return;
    }
    m_updates->beginCheck();
    showOptions();
    m_pages->setCurrentWidget(m_updates);
    m_lock->lock();
    m_updates->finishCheck();
  });
}

void TForm1::BitBtn4Click() {
  const std::optional<QString> chosen =
      m_prompts.openFile(this, QStringLiteral("Path To Continuum"),
                         QStringLiteral("Continuum Execuatble (continuum.exe)"), startName());
  if (!chosen || chosen->isEmpty()) return;
  m_lastFileName = *chosen;
  guarded([&] {
    m_prefs.setContinuum(*chosen);
    m_continuum->setText(m_prefs.continuum());
  });
}

void TForm1::BitBtn22Click() {
  const std::optional<QString> chosen = m_prompts.openFile(this, QStringLiteral("Path To Default CFG"),
                                                           QStringLiteral("Arena CFG (*.cfg)"), startName());
  if (!chosen || chosen->isEmpty()) return;
  m_lastFileName = *chosen;
  guarded([&] {
    m_prefs.setDefaultSettings(*chosen);
    m_defaultCfg->setText(m_prefs.defaultSettings());
  });
}

void TForm1::BitBtn3Click() {
  const std::optional<QString> folder =
      m_prompts.pickFolder(this, QStringLiteral("Select a folder"), m_prefs.dialogFolder(m_storage->text()));
  if (!folder || folder->isEmpty()) return;
  guarded([&] {
    m_prefs.setStorageFolder(*folder);
    m_storage->setText(*folder);
  });
}

void TForm1::Button4Click() {
  const std::optional<QString> folder = m_prompts.pickFolder(
      this, QStringLiteral("Select Backup Folder"),
      m_backupFolder->text().isEmpty() ? m_prefs.dialogFolder() : m_backupFolder->text());
  if (!folder || folder->isEmpty()) return;
  guarded([&] {
    m_prefs.setBackupFolder(*folder);
    m_backupFolder->setText(shownBackupFolder());
  });
}

void TForm1::clearBackupFolder() {
  guarded([&] {
    m_prefs.setBackupFolder(QString());
    m_backupFolder->setText(shownBackupFolder());
  });
}

QString TForm1::startName() const {
  // The shared last file again; a first use opens where the user's files are.
  if (QDir::isAbsolutePath(m_lastFileName)) return m_lastFileName;
  return m_prefs.dialogFolder() + QLatin1Char('/');
}

QString TForm1::shownBackupFolder() const {
  const QString folder = m_prefs.backupFolder();
  return folder == QStringLiteral("N/A") ? QString() : folder;
}

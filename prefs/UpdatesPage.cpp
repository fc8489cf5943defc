#include "prefs/UpdatesPage.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "components/Labels.h"
#include "components/Pictures.h"
#include "components/Prompts.h"
#include "components/SegmentedProgressBar.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "update/HttpDownload.h"
#include "update/TransferSize.h"
#include "update/UpdateCheck.h"
#include "update/UpdateInstall.h"
#include "update/UpdateItems.h"
#include "update/UpdateRun.h"
#include "update/VersionInfo.h"

namespace {
#ifdef Q_OS_WIN
const QString kPackageManaged =
    QStringLiteral("Status: This copy is updated by running a newer Tessary setup, not from here...");
#else
const QString kPackageManaged =
    QStringLiteral("Status: This copy is updated by the system's package manager (apt), not from here...");
#endif

void optionsBar(TQProgressBar* bar, const QPalette& palette) {
  // The full width of its group: at least 347 pixels, 16 high.
  bar->setFixedHeight(16);
  bar->setMinimumWidth(347);
  bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  bar->setBarKind(TQProgressBar::BarKind::bkCylinder);
  bar->setRoundCorner(true);
  bar->setBackgroundColor(palette.color(QPalette::Light));
  bar->setShapeColor(QColor(160, 160, 164));
  bar->setBarColor(QColor(166, 202, 240));
  bar->setStartColor(QColor(166, 202, 240));
  bar->setFinalColor(QColor(0, 0, 128));
  bar->setBlockSize(10);
  bar->setSpaceSize(1);
  bar->setShowFullBlock(true);
  bar->setInactivePosColor(palette.color(QPalette::Button));
  bar->captionAlign = Qt::AlignHCenter;
  bar->ShowPosAsPct = true;
}
}  // namespace

UpdatesPage::UpdatesPage(const AppPaths& paths, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_paths(paths), m_prefs(paths), m_prompts(prompts), m_http(new HttpDownloader(this)) {
  setObjectName(QStringLiteral("ProgramUpdatesPage"));
  auto* layout = new QVBoxLayout(this);
  auto* info = new QGroupBox(QStringLiteral("[ Program Information ]"), this);
  info->setStyleSheet(
      QStringLiteral("QGroupBox { color: %1; }").arg(readableOn(QColor(Qt::blue), info->palette()).name()));
  auto* grid = new QGridLayout(info);
  grid->addWidget(new QLabel(QStringLiteral("Current Build:"), info), 0, 0);
  Label4 = boldLabel(QStringLiteral("N/A"), Qt::darkGreen, info, QStringLiteral("Label4"));
  grid->addWidget(Label4, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Latest Available Build:"), info), 1, 0);
  Label5 = boldLabel(QStringLiteral("N/A"), Qt::red, info, QStringLiteral("Label5"));
  grid->addWidget(Label5, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Last Update Check:"), info), 2, 0);
  Label7 = boldLabel(QStringLiteral("N/A"), Qt::blue, info, QStringLiteral("Label7"));
  // Room for a date and time from the start, so that a check does not squeeze the button beside it.
  Label7->setMinimumWidth(Label7->fontMetrics().horizontalAdvance(QStringLiteral("88/88/88 88:88:88 PM")));
  grid->addWidget(Label7, 2, 1);
  BitBtn5 = new QPushButton(QStringLiteral("Check For Updates"), info);
  BitBtn5->setObjectName(QStringLiteral("BitBtn5"));
  BitBtn6 = new QPushButton(info);
  BitBtn6->setObjectName(QStringLiteral("BitBtn6"));
  BitBtn6->hide();
  m_stop = new QPushButton(QStringLiteral("Stop"), info);
  m_stop->setObjectName(QStringLiteral("StopButton"));
  m_stop->setToolTip(QStringLiteral("Stop the download that is running"));
  m_stop->hide();
  grid->addWidget(m_stop, 3, 2);
  // One place, one size: wide enough for either caption with its picture.
  {
    QPushButton probe(QStringLiteral("Download Updates?"));
    probe.setIcon(Pictures::main(Picture::DownloadUpdates));
    const int width = std::max(probe.sizeHint().width(), BitBtn5->sizeHint().width());
    BitBtn5->setMinimumWidth(width);
    BitBtn6->setMinimumWidth(width);
  }
  grid->addWidget(BitBtn5, 0, 2, 3, 1);
  grid->addWidget(BitBtn6, 0, 2, 3, 1);  // the same place: one of the two shows
  grid->setColumnStretch(1, 1);
  layout->addWidget(info);

  auto* inner = new QTabWidget(this);
  auto* download = new QWidget();
  auto* dl = new QVBoxLayout(download);
  Label1 = boldLabel(QStringLiteral("Status: Idle..."), Qt::blue, download, QStringLiteral("Label1"));
  Label1->setFrameShape(QFrame::Panel);
  Label1->setWordWrap(true);  // a long failure text wraps rather than losing its end
  Label1->setFrameShadow(QFrame::Sunken);
  dl->addWidget(Label1);
  auto* transfer = new QGroupBox(download);
  auto* tl = new QGridLayout(transfer);
  tl->addWidget(new QLabel(QStringLiteral("Transferred:"), transfer), 0, 0);
  Label8 = new QLabel(QStringLiteral("0 KB"), transfer);
  Label8->setObjectName(QStringLiteral("Label8"));
  Label9 = new QLabel(QStringLiteral("of 0 KB..."), transfer);
  Label9->setObjectName(QStringLiteral("Label9"));
  tl->addWidget(Label8, 0, 1);
  tl->addWidget(Label9, 0, 2);
  QProgressBar1 = new TQProgressBar(transfer);
  QProgressBar1->setObjectName(QStringLiteral("QProgressBar1"));
  optionsBar(QProgressBar1, palette());
  tl->addWidget(QProgressBar1, 1, 0, 1, 3);
  tl->addWidget(new QLabel(QStringLiteral("Updates Completed:"), transfer), 2, 0);
  Label12 = new QLabel(QStringLiteral("0%"), transfer);
  Label12->setObjectName(QStringLiteral("Label12"));
  tl->addWidget(Label12, 2, 1);
  QProgressBar2 = new TQProgressBar(transfer);
  QProgressBar2->setObjectName(QStringLiteral("QProgressBar2"));
  optionsBar(QProgressBar2, palette());
  tl->addWidget(QProgressBar2, 3, 0, 1, 3);
  dl->addWidget(transfer);
  auto* log = new QGroupBox(QStringLiteral("[ Change Log ]"), download);
  log->setStyleSheet(
      QStringLiteral("QGroupBox { color: %1; }").arg(readableOn(QColor(Qt::red), log->palette()).name()));
  auto* ll = new QVBoxLayout(log);
  Memo1 = new QPlainTextEdit(log);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setStyleSheet(
      QStringLiteral("QPlainTextEdit { background: black; color: silver; font-weight: bold; }"));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ll->addWidget(Memo1);
  dl->addWidget(log, 1);
  inner->addTab(download, QStringLiteral("Download Information"));
  auto* options = new QWidget();
  auto* ol = new QVBoxLayout(options);
  ol->addWidget(new QGroupBox(QStringLiteral("[ Scheduling ]"), options));
  ol->addWidget(new QGroupBox(QStringLiteral("[ Proxy Connection ]"), options));
  inner->addTab(options, QStringLiteral("Update Options"));
  inner->setTabVisible(1, false);  // never shown
  layout->addWidget(inner, 1);

  // Whatever the server sends is shown as it is, never read as rich text.
  for (QLabel* label : findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);

  connect(BitBtn5, &QPushButton::clicked, this, &UpdatesPage::BitBtn5Click);
  connect(BitBtn6, &QPushButton::clicked, this, &UpdatesPage::BitBtn6Click);
  connect(m_stop, &QPushButton::clicked, m_http, &HttpDownloader::cancel);
  connect(m_http, &HttpDownloader::busyChanged, m_stop, &QWidget::setVisible);
  connect(m_http, &HttpDownloader::status, this, &UpdatesPage::setStatus);
  connect(m_http, &HttpDownloader::failed, this, [this](const QString& text) {
    setStatusColour(Qt::red);  // for the rest of the run
    setStatus(text);
    QProgressBar1->setPosition(0);
  });
  connect(m_http, &HttpDownloader::totalSize, this, [this](qint64 total) {
    QProgressBar1->setMaximum(static_cast<int>(std::min<qint64>(total, INT_MAX)));
    QProgressBar1->setPosition(0);
    Label9->setText(QStringLiteral("of ") +
                    FormatTransferSize(static_cast<qint32>(std::min<qint64>(total, INT_MAX))) +
                    QStringLiteral("..."));
  });
  connect(m_http, &HttpDownloader::received, this, [this](qint64 bytes) {
    const auto n = static_cast<qint32>(std::min<qint64>(bytes, INT_MAX));
    Label8->setText(FormatTransferSize(n));
    Label8->repaint();
    QProgressBar1->setPosition(n);
  });
}

QString UpdatesPage::currentBuild() const {
  TVersionInfo info;
  info.setFileName(QString());  // read afresh from the running executable's file
  return info.fileVersion();
}

QString UpdatesPage::latestVersion() const {
  return ProfileFile::readText(updatesFile(QStringLiteral("update.cdu")), QStringLiteral("Info"),
                               QStringLiteral("LatestVersion"));
}

void UpdatesPage::loadChangeLog() {
  if (const std::optional<QByteArray> log = AtomicFile::read(updatesFile(QStringLiteral("ChangeLog.txt"))))
    Memo1->setPlainText(QString::fromUtf8(*log));
}

void UpdatesPage::offerIfNewer(const QString& latest) {
  if (!UpdateCheck::isNewer(latest, currentBuild())) return;
  BitBtn6->setText(QStringLiteral("Download Updates?"));
  setStatus(QStringLiteral("Status: Updates Available..."));
  BitBtn6->setIcon(Pictures::main(Picture::DownloadUpdates));
  BitBtn6->show();
  BitBtn5->hide();
}

void UpdatesPage::setStatus(const QString& text) {
  Label1->setText(text);
  Label1->repaint();
}

void UpdatesPage::setStatusColour(const QColor& colour) {
  QPalette p = Label1->palette();
  p.setColor(QPalette::WindowText, readableOn(colour, p));
  Label1->setPalette(p);
}

bool UpdatesPage::updatedByPackageManager() {
  if (!m_paths.isInstalled()) return false;
  // A system package: its files are the package manager's, and this copy never writes beside them.
  BitBtn5->setEnabled(false);
  BitBtn5->setToolTip(kPackageManaged);
  BitBtn6->hide();
  BitBtn5->show();
  setStatus(kPackageManaged);
  return true;
}

void UpdatesPage::initialise() {
  BitBtn5->setIcon(Pictures::main(Picture::CheckForUpdates));
  if (updatedByPackageManager()) {
    Label4->setText(currentBuild());
    return;
  }
  const QString latest = latestVersion();
  Label4->setText(currentBuild());
  loadChangeLog();
  Label5->setText(latest.isEmpty() ? QStringLiteral("N/A") : latest);
  if (!latest.isEmpty()) offerIfNewer(latest);
}

void UpdatesPage::refresh() {
  BitBtn5->setIcon(Pictures::main(Picture::CheckForUpdates));
  if (updatedByPackageManager()) return;
  const QString latest = latestVersion();
  Label4->setText(currentBuild());
  loadChangeLog();
  // Files older than a check's few minutes go; what was read above still shows.
  const QDateTime checked = UpdateCheck::parseChecked(m_prefs.updatesChecked());
  if (UpdateCheck::cacheIsStale(checked, QDateTime::currentDateTime())) {
    AtomicFile::remove(updatesFile(QStringLiteral("ChangeLog.txt")));
    AtomicFile::remove(updatesFile(QStringLiteral("update.cdu")));
  }
  if (!latest.isEmpty()) {
    Label5->setText(latest);
    offerIfNewer(latest);
  }
}

void UpdatesPage::showLastCheck() {
  const QString stored = m_prefs.updatesChecked();
  if (stored.isEmpty()) return;
  const QDateTime checked = UpdateCheck::parseChecked(stored);
  Label7->setText(checked.isValid() ? UpdateCheck::monthFirst(checked) : QStringLiteral("N/A"));
}

void UpdatesPage::beginCheck() {
  if (m_checking || m_installing || updatedByPackageManager()) return;
  m_prefs.setUpdatesChecked(UpdateCheck::formatChecked(QDateTime::currentDateTime()));
  AtomicFile::remove(updatesFile(QStringLiteral("update.cdu")));
  AtomicFile::remove(updatesFile(QStringLiteral("ChangeLog.txt")));
}

bool UpdatesPage::pause(int ms) {
  // The windows keep working meanwhile. Only the end of the program stops the
  // wait early (it ends every event loop), and then nothing waits any more.
  if (m_ending) return false;
  QEventLoop wait;
  bool waited = false;
  QTimer::singleShot(m_instantPauses ? 0 : ms, &wait, [&] {
    waited = true;
    wait.quit();
  });
  wait.exec();
  if (!waited) m_ending = true;
  return waited;
}

void UpdatesPage::finishCheck() {
  // One check at a time: a second one would remove the files the first is fetching.
  if (m_checking || m_installing || updatedByPackageManager()) return;
  m_checking = true;
  BitBtn5->setEnabled(false);
  const auto done = qScopeGuard([this] {
    m_checking = false;
    BitBtn5->setEnabled(true);
  });
  QDir().mkpath(m_paths.updates());
  setStatus(QStringLiteral("Status: Retreiving Update Info..."));
  const QString base = UpdateCheck::baseUrl();
  m_http->DownloadUpdateFile(base, QStringLiteral("update.cdu"), m_paths.updates());
  if (AtomicFile::exists(updatesFile(QStringLiteral("update.cdu")))) {
    setStatus(QStringLiteral("Status: Retreiving Change Log..."));
    pause(900);
    m_http->DownloadUpdateFile(base, QStringLiteral("ChangeLog.txt"), m_paths.updates());
    const QString latest = latestVersion();
    Label4->setText(currentBuild());
    Label4->repaint();
    if (!latest.isEmpty()) {
      Label5->setText(latest);
      setStatus(QStringLiteral("Status: No Updates Available..."));
    }
    offerIfNewer(latest);
  }
  loadChangeLog();
  Label7->setText(UpdateCheck::dayFirst(QDateTime::currentDateTime()));
  Label7->repaint();
  Label8->setText(QStringLiteral("0 KB"));
  Label9->setText(QStringLiteral("of 0 KB..."));
  QProgressBar1->setPosition(0);
}

void UpdatesPage::BitBtn5Click() {
  if (m_checking || m_installing) return;
  beginCheck();
  finishCheck();
}

// ---- installation ---------------------------------------------------------------------------

void UpdatesPage::progressStep(qint64 n) {
  const int from = QProgressBar2->position();
  for (int step = 0; step <= 100; ++step) {
    QProgressBar2->setPosition(from + step);
    Label12->setText(UpdateItems::percentText(from + step, n));
    Label12->repaint();
    if (!pause(10)) {  // the program is ending: straight to the end of the step
      QProgressBar2->setPosition(from + 100);
      Label12->setText(UpdateItems::percentText(from + 100, n));
      return;
    }
  }
}

void UpdatesPage::BitBtn6Click() {
  if (m_checking || m_installing || updatedByPackageManager()) return;
  m_installing = true;
  BitBtn5->setEnabled(false);
  BitBtn6->setEnabled(false);
  const auto done = qScopeGuard([this] {
    m_installing = false;
    BitBtn5->setEnabled(true);
    BitBtn6->setEnabled(true);
  });
  setStatusColour(Qt::blue);
  UpdateRun::Reporter report;
  report.status = [this](const QString& text) { setStatus(text); };
  report.failed = [this](const QString& text) {
    setStatusColour(Qt::red);
    setStatus(text);
  };
  report.startProgress = [this](int maximum) {
    QProgressBar2->setMaximum(maximum);
    QProgressBar2->setPosition(0);
  };
  report.step = [this](qint64 n) { progressStep(n); };
  report.pause = [this](int ms) { return pause(ms); };
  report.ending = [this] { return m_ending; };
  UpdateRun run({m_paths.appFolder(), m_paths.updates(), m_paths.executable(), m_installFaults}, *m_http,
                currentBuild(), UpdateCheck::baseUrl(), std::move(report));
  switch (run.run()) {
    case UpdateRun::Outcome::NotNewer:
      setStatus(QStringLiteral("Status: Updates Failed Server Version Incorrect..."));
      BitBtn5->show();
      BitBtn6->hide();
      return;
    case UpdateRun::Outcome::Installed:
      break;
    case UpdateRun::Outcome::Failed:
    case UpdateRun::Outcome::Ending:  // the new build, if any, is in place for the next start
      return;
  }
  const QMessageBox::StandardButton answer =
      m_prompts.message(this, QMessageBox::Information, applicationTitle(),
                        QStringLiteral("Update Completed, Tessarine will now restart...\r"), QMessageBox::Ok);
  if (answer == QMessageBox::Ok) emit restartRequested(m_paths.executable());
}


#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/ExceptionLog.h"
#include "app/MainForm.h"
#include "app/OneInstance.h"
#include "app/Restart.h"
#include "app/ScreenshotRun.h"
#include "app/TerminationSignals.h"
#include "app/TessaryApp.h"
#include "app/TessaryApplication.h"
#include "components/Prompts.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "prefs/AppPaths.h"
#include "prefs/FileAssociation.h"
#include "prefs/OptionsDialog.h"
#include "prefs/Preferences.h"
#include "prefs/UpdatesPage.h"
#include "profile/AtomicFile.h"
#include "profile/ProcessIdentity.h"
#include "profile/TessaryError.h"
#include "tools/ValidationWindow.h"
#include "update/UpdateInstall.h"
#include "update/VersionInfo.h"

namespace {
// The build number of the executable file on disk, for --version.
QString ownVersion() {
  const QString self = ProcessIdentity::ownExecutable();
  if (self.isEmpty()) return {};
  TVersionInfo info;
  info.setFileName(self);
  return info.fileVersion();
}

// --install-desktop-entry: the association of the Options dialog, from the
// command line (the portable folder's install-desktop-entry). Needs no display.
int installDesktopEntry(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const FileAssociation::Locations at = FileAssociation::fromEnvironment();
  try {
    FileAssociation::AssociateExtension(QStringLiteral("cfg"), QCoreApplication::applicationFilePath(), at);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessary: %s\n", e.what());
    return 1;
  }
  std::printf("tessary: *.cfg files open with %s (%s)\n",
              QCoreApplication::applicationFilePath().toLocal8Bit().constData(),
              FileAssociation::whereWritten(QStringLiteral("cfg"), at).toLocal8Bit().constData());
  return 0;
}

// A name from the command line against the folder the program was started in.
QString absolute(const QString& name) {
  if (name.isEmpty()) return name;
#ifdef Q_OS_WIN
  // "\arenas\a.cfg" is on the drive the program was started on; the windows later
  // move the current folder, maybe to another drive, and the running copy that
  // receives a handed-over name has its own: the drive is written in now.
  const QString path = QDir::fromNativeSeparators(name);
  const QString current = QDir::currentPath();
  if (path.startsWith(QLatin1Char('/')) && !path.startsWith(QStringLiteral("//")) && current.size() >= 2 &&
      current[1] == QLatin1Char(':'))
    return QDir::cleanPath(current.left(2) + path);
#endif
  return QDir::isAbsolutePath(name) ? name : QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + name);
}
// --help, --version and --install-desktop-entry, answered before any window
// system is touched: they work without a display. Nothing: go on.
std::optional<int> answerWithoutWindows(int argc, char** argv) {
  const CommandLine early = CommandLine::parse(ProcessIdentity::arguments(argc, argv));
  if (early.help) {
    std::fputs(CommandLine::usage(), stdout);
    return 0;
  }
  if (early.version) {
    std::printf("tessary %s\n", ownVersion().toUtf8().constData());
    return 0;
  }
  if (early.installDesktopEntry) return installDesktopEntry(argc, argv);
  return std::nullopt;
}

using Report = std::function<void(const QString& message)>;

// An update cut short (a kill, a power cut) is put back before anything reads
// the folder. True when this process is the build that was taken back out: the
// restored one is started instead, and this one ends.
bool resumeInterruptedUpdate(const AppPaths& paths, std::unique_ptr<TOneInstance>& oneInstance) {
  if (paths.isInstalled()) return false;
  const UpdateInstall::Resumed resumed =
      UpdateInstall::resumeInterrupted({paths.appFolder(), paths.executable()});
  if (!resumed.problem.isEmpty())
    std::fprintf(stderr, "tessary: an interrupted update was left as it is: %s\n",
                 resumed.problem.toLocal8Bit().constData());
  else if (resumed.rolledBack)
    std::fprintf(stderr, "tessary: an interrupted update was rolled back\n");
  if (!resumed.executableRestored) return false;
  Restart::startNewCopy(oneInstance, paths.executable());
  return true;
}

// One copy per user: a later copy hands its file to the running one and ends
// without a window (nullptr). A screenshot run stands apart: it neither hands
// over nor locks (nullptr too, but it goes on: see the caller).
std::unique_ptr<TOneInstance> claimOneInstance(const CommandLine& line, const AppPaths& paths,
                                               const QString& exe, const Report& report) {
  auto oneInstance = std::make_unique<TOneInstance>(exe);
  oneInstance->RaisePriorInstance = true;
  // Started by a copy that installed an update: that copy may not have ended yet.
  if (line.restarted) oneInstance->WaitForLockMs = 10000;
  oneInstance->OnError = report;
  // The hand-over. A relative name is made absolute here: the running copy
  // would read it against its own working folder and open another file.
  oneInstance->ApplicationExists = [path = absolute(line.config), paths, report](TOneInstance* self) {
    if (path.isEmpty()) return;
    // The key first (other tools read and write it), then the socket, which
    // queues every file even when several copies hand over at the same moment.
    QString keyProblem;
    try {
      Preferences(paths).setExternalFile(path);
    } catch (const std::exception& e) {
      keyProblem = QString::fromUtf8(e.what());
    }
    if (!self->handOver(path) && !keyProblem.isEmpty())
      report(QStringLiteral("The file %1 could not be handed to the running copy of the program: %2")
                 .arg(path, keyProblem));
  };
  if (!oneInstance->detect()) return nullptr;
  return oneInstance;
}

// The windows, from the first one to the end of the event loop; the program's exit status.
int runWindows(TessaryApplication& app, const CommandLine& line, const AppPaths& paths, Prompts& prompts,
               const Report& report, std::unique_ptr<TOneInstance>& oneInstance) {
  const QString& screenshot = line.screenshot;
  const QStringList files = line.config.isEmpty() ? QStringList() : QStringList{line.config};
  // Made absolute now: the main window changes the working folder.
  const QString firstPath = absolute(line.config);
  // A log-out or a kill ends the program like Exit, without questions; unsaved
  // edits stay in their working copies. Heard from here on: the start may show a box.
  TMainForm* formForSignals = nullptr;
  bool terminated = false;
  TerminationSignals::install([&formForSignals, &terminated] {
    terminated = true;
    if (formForSignals)
      formForSignals->endWithoutQuestions();
    else
      QCoreApplication::exit(0);  // ends a box of the start (exec has not begun: quit() would not)
  });
  std::unique_ptr<TMainForm> main =
      TessaryApp::createWindows(paths, prompts, files, screenshot.isEmpty(), [&](TMainForm& made) {
        formForSignals = &made;
        if (!oneInstance) return;
        oneInstance->WindowToRaise = [&made] { return static_cast<QWidget*>(&made); };
        oneInstance->setFileReceiver([&made](const QString& path) { made.receiveHandOver(path); });
      });
  TMainForm& form = *main;
  if (terminated) return 0;  // told to end while the windows were being made
  form.show();
  // The Options dialog of a first start stays in front of the main window shown after it.
  if (auto* options = form.adopted<TForm1>(QStringLiteral("TForm1")); options && options->isVisible()) {
    options->raise();
    options->activateWindow();
  }
  ScreenshotRun* shot = nullptr;
  if (!screenshot.isEmpty()) (shot = new ScreenshotRun(form, line, firstPath, report))->start();
  // Unsaved edits that an ended copy left behind (a crash, a kill, a power cut) are offered back.
  if (screenshot.isEmpty()) QTimer::singleShot(0, &form, &TMainForm::offerRecovery);
  const int status = app.exec();
  if (shot && shot->exitCode() != 0) return shot->exitCode();
  const QString restart = form.restartExecutable();
  if (!restart.isEmpty() && oneInstance) {
    // The windows go first, then the lock; only then does the new build start.
    formForSignals = nullptr;
    main.reset();
    Restart::startNewCopy(oneInstance, restart);
  }
  return status;
}
}  // namespace

int main(int argc, char** argv) {
  ProcessIdentity::useBinaryStandardStreams();
  if (const std::optional<int> answered = answerWithoutWindows(argc, argv)) return *answered;
  TessaryApplication app(argc, argv);  // takes the window system's own options (-platform ...) out of argv
  CommandLine line = CommandLine::parse(ProcessIdentity::arguments(argc, argv));
  // Every name is read against the folder the program was started in, before anything changes it.
  line.screenshot = absolute(line.screenshot);
  line.config = absolute(line.config);
  if (!line.error.isEmpty()) {
    std::fprintf(stderr, "tessary: %s\n", line.error.toLocal8Bit().constData());
    std::fputs(CommandLine::usage(), stderr);
    return 2;
  }
  const AppPaths paths = AppPaths::fromExecutable();
  const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  // An installed copy writes into the user's data folder, never beside its executable.
  QString notPrepared;
  const bool prepared = paths.prepare(&notPrepared);
  const QString logPath = ExceptionLog::logPathFor(paths.logFolder() + QLatin1Char('/') + exe);
  ExceptionLog::installSignalHandlers(logPath, exe);
  app.setLogPath(logPath);

  // A scripted run (a screenshot) has nobody to answer a box: questions go to standard error.
  QtPrompts boxes;
  ConsolePrompts console;
  const bool scripted = !line.screenshot.isEmpty();
  Prompts& prompts = scripted ? static_cast<Prompts&>(console) : static_cast<Prompts&>(boxes);
  ExceptionReporter startReporter(logPath, exe, &prompts);
  const Report report = [&startReporter](const QString& message) {
    try {
      throw TessaryError(message);
    } catch (...) {
      startReporter.reportCurrent();
    }
  };

  if (!prepared) {
    // Nowhere to keep preferences, working copies or backups: said once, and the program ends.
    const QString text =
        notPrepared + QStringLiteral("\n\nTessary needs a folder it can write to and ends now.");
    prompts.message(nullptr, QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok);
    return 1;
  }
  std::unique_ptr<TOneInstance> oneInstance;
  if (!scripted) {
    oneInstance = claimOneInstance(line, paths, exe, report);
    if (!oneInstance) return 0;  // handed over to the running copy
    if (resumeInterruptedUpdate(paths, oneInstance)) return 0;
    if (line.restarted)
      std::fprintf(stderr, "tessary %s: started after an update\n", ownVersion().toUtf8().constData());
  }
  return runWindows(app, line, paths, prompts, report, oneInstance);
}

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/AboutBox.h"
#include "app/ExceptionLog.h"
#include "app/MainForm.h"
#include "app/OneInstance.h"
#include "app/TerminationSignals.h"
#include "app/TessaryApp.h"
#include "app/TessaryApplication.h"
#include "components/Prompts.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "prefs/AppPaths.h"
#include "prefs/OptionsDialog.h"
#include "prefs/Preferences.h"
#include "prefs/UpdatesPage.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"
#include "tools/ValidationWindow.h"
#include "update/VersionInfo.h"

namespace {
const char kUsage[] =
    "usage: tessary [CONFIG]\n"
    "       tessary --screenshot FILE [--side-page General|Calculators|Tools]\n"
    "               [--options-page \"File/Folder Paths\"|\"File Options\"|\"Program Updates\"]\n"
    "               [--check-document] [--about] [--check-updates] [CONFIG]\n"
    "       tessary --version | --help\n"
    "\n"
    "  CONFIG             an arena configuration file to open (a running copy opens it)\n"
    "  --screenshot FILE  save a picture of the window once CONFIG is shown, then end\n"
    "  --side-page PAGE   with --screenshot: the side panel's page to show\n"
    "  --options-page P   with --screenshot: a picture of that page of the Options dialog\n"
    "  --check-document   with --screenshot: the validation window after checking CONFIG\n"
    "  --about            with --screenshot: the About box\n"
    "  --check-updates    with --options-page: check for updates first ($TESSARY_UPDATE_URL)\n"
    "  --version          print the build number from the executable's version block\n"
    "  --help             print this text\n";

void usage(FILE* to) { std::fputs(kUsage, to); }

// The build number of the executable file on disk, for --version.
QString ownVersion() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  TVersionInfo info;
  info.setFileName(AtomicFile::decodePath(QByteArray(self, static_cast<qsizetype>(n))));
  return info.fileVersion();
}
}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is touched: they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tessary %s\n", ownVersion().toUtf8().constData());
      return 0;
    }
  }
  TessaryApplication app(argc, argv);
  // From the bytes, not app.arguments(): a file name that is not UTF-8 must still name its file.
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(AtomicFile::decodePath(QByteArray(argv[i])));
  QString screenshot;
  QString sidePage;
  QString optionsPage;
  bool checkDocument = false;
  bool aboutBox = false;      // with --screenshot: the About box
  bool checkUpdates = false;  // with --options-page "Program Updates": a check first  // with --screenshot:
                              // the validation window after checking the document  // with --screenshot: a
                              // picture of this page of the Options dialog
  for (qsizetype i = 0; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--screenshot")) {
      if (i + 1 >= args.size()) {
        usage(stderr);
        return 2;
      }
      screenshot = args[i + 1];
      args.remove(i, 2);
      --i;
    } else if (args[i] == QStringLiteral("--options-page") && i + 1 < args.size()) {
      optionsPage = args[i + 1];
      args.remove(i, 2);
      --i;
    } else if (args[i] == QStringLiteral("--check-updates")) {
      checkUpdates = true;
      args.remove(i);
      --i;
    } else if (args[i] == QStringLiteral("--about")) {
      aboutBox = true;
      args.remove(i);
      --i;
    } else if (args[i] == QStringLiteral("--check-document")) {
      checkDocument = true;
      args.remove(i);
      --i;
    } else if (args[i] == QStringLiteral("--side-page") && i + 1 < args.size()) {
      sidePage = args[i + 1];
      args.remove(i, 2);
      --i;
    }
  }
  const AppPaths paths = AppPaths::fromExecutable();
  const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  ExceptionLog::installSignalHandlers(ExceptionLog::logPathFor(QCoreApplication::applicationFilePath()), exe);

  QtPrompts prompts;
  ExceptionReporter startReporter(ExceptionLog::logPathFor(QCoreApplication::applicationFilePath()), exe,
                                  &prompts);
  auto report = [&startReporter](const QString& message) {
    try {
      throw TessaryError(message);
    } catch (...) {
      startReporter.reportCurrent();
    }
  };

  // One copy per user: a later copy hands its file to the running one and ends
  // without a window. A screenshot run stands apart: it neither hands over nor locks.
  std::unique_ptr<TOneInstance> oneInstance;
  if (screenshot.isEmpty()) {
    oneInstance = std::make_unique<TOneInstance>(exe);
    oneInstance->RaisePriorInstance = true;
    oneInstance->OnError = report;
    oneInstance->ApplicationExists = [&](TOneInstance*) {
      // The hand-over. A relative name is made absolute here: the running copy
      // would read it against its own working folder and open another file.
      const QString first = args.value(0);
      if (first.isEmpty()) return;
      const QString path = QDir::isAbsolutePath(first)
                               ? first
                               : QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + first);
      // The key first (other tools read and write it), then the socket, which
      // queues every file even when several copies hand over at the same moment.
      QString keyProblem;
      try {
        Preferences(paths).setExternalFile(path);
      } catch (const std::exception& e) {
        keyProblem = QString::fromUtf8(e.what());
      }
      if (!oneInstance->handOver(path) && !keyProblem.isEmpty())
        report(QStringLiteral("The file %1 could not be handed to the running copy of the program: %2")
                   .arg(path, keyProblem));
    };
    if (!oneInstance->detect()) return 0;
  }

  // Made absolute now: the main window changes the working folder.
  const QString first = args.value(0);
  const QString firstPath = first.isEmpty() || QDir::isAbsolutePath(first)
                                ? first
                                : QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + first);
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
  const std::unique_ptr<TMainForm> main =
      TessaryApp::createWindows(paths, prompts, args, screenshot.isEmpty(), [&](TMainForm& made) {
        formForSignals = &made;
        if (!oneInstance) return;
        oneInstance->WindowToRaise = [&made] { return static_cast<QWidget*>(&made); };
        oneInstance->setFileReceiver([&made](const QString& path) { made.receiveHandOver(path); });
      });
  TMainForm& form = *main;
  if (terminated)
    return 0;  // told to end while the windows were being made  // told to end while the windows were being
               // made
  form.show();
  // The Options dialog of a first start stays in front of the main window shown after it.
  if (auto* options = form.adopted<TForm1>(QStringLiteral("TForm1")); options && options->isVisible()) {
    options->raise();
    options->activateWindow();
  }
  if (!screenshot.isEmpty() && !args.isEmpty()) {
    try {
      form.OpenDocument(firstPath);
    } catch (const std::exception& e) {
      report(QString::fromUtf8(e.what()));
    }
  }
  if (!sidePage.isEmpty())
    if (auto* pages = form.findChild<QTabWidget*>(QStringLiteral("SidePages")))
      for (int i = 0; i < pages->count(); ++i)
        if (pages->tabText(i).trimmed() == sidePage) pages->setCurrentIndex(i);

  QWidget* pictured = &form;
  if (!optionsPage.isEmpty()) {
    if (auto* options = form.adopted<TForm1>(QStringLiteral("TForm1"))) {
      options->showOptions();
      if (auto* pages = options->findChild<QTabWidget*>())
        for (int i = 0; i < pages->count(); ++i)
          if (pages->tabText(i) == optionsPage) pages->setCurrentIndex(i);
      pictured = options;
    }
  }

  auto checked = std::make_shared<bool>(!checkDocument && !aboutBox && !checkUpdates);
  if (checkUpdates) {
    if (auto* options = form.adopted<TForm1>(QStringLiteral("TForm1"))) {
      QTimer::singleShot(500, options, [options, checked] {
        options->updatesPage()->BitBtn5Click();
        *checked = true;
      });
    }
  }
  if (aboutBox) {
    if (auto* about = form.findChild<TAboutBox*>(QStringLiteral("TAboutBox"))) {
      about->showAbout();
      pictured = about;
      // Time for the credits to scroll into view.
      QTimer::singleShot(3500, about, [checked] { *checked = true; });
    }
  }
  if (checkDocument) {
    if (auto* validation = form.adopted<TForm3>(QStringLiteral("TForm3"))) {
      validation->showValidation();
      // After the window has settled: its activation empties the results.
      QTimer::singleShot(1000, validation, [validation, checked] {
        validation->checkOpenDocument();
        *checked = true;
      });
      pictured = validation;
    }
  }

  if (!screenshot.isEmpty()) {
    // Take the picture once the named configuration is shown (at most 5 s), then end normally.
    const bool waitForDocument = !args.isEmpty();
    auto* clock = new QElapsedTimer();
    clock->start();
    auto* poll = new QTimer(&form);
    QObject::connect(
        poll, &QTimer::timeout, &form, [&form, pictured, poll, clock, screenshot, waitForDocument, checked] {
          TMDIChild* child = form.activeChild();
          const bool shown = child && child->pages()->isVisible() && *checked;
          if (waitForDocument && !shown && clock->elapsed() < 5000) return;
          poll->stop();
          delete clock;
          const bool saved = pictured->grab().save(screenshot);
          std::fprintf(stderr, saved ? "Screenshot saved to %s\n" : "Could not save the screenshot %s\n",
                       screenshot.toLocal8Bit().constData());
          if (pictured != &form) pictured->close();
          form.close();
        });
    poll->start(waitForDocument ? 50 : 300);
  }
  return app.exec();
}

#include "app/TessaryApp.h"

#include <QAction>
#include <QCoreApplication>

#include "app/AboutBox.h"
#include "app/Actions.h"
#include "app/MainForm.h"
#include "documents/MDIChild.h"
#include "prefs/FileAssociation.h"
#include "prefs/OptionsDialog.h"
#include "prefs/UpdatesPage.h"
#include "tools/CompareWindow.h"
#include "tools/MultifireTool.h"
#include "tools/ValidationWindow.h"

namespace {
void showOnTop(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}
}  // namespace

namespace TessaryApp {

std::unique_ptr<TMainForm> createWindows(const AppPaths& paths, Prompts& prompts,
                                         const QStringList& arguments, bool handOver,
                                         const std::function<void(TMainForm&)>& mainWindowMade) {
  auto main = std::make_unique<TMainForm>(paths, prompts, arguments, handOver);
  TMainForm* form = main.get();
  if (mainWindowMade) mainWindowMade(*form);

  auto* multifireTool = new TForm2(form);
  QObject::connect(form->action(Command::MultifireTool1), &QAction::triggered, form,
                   [multifireTool] { showOnTop(multifireTool); });

  // Options: made right after the main window; its start-up check may show it at once,
  // above the main window (which needs its native window for that).
  (void)form->winId();
  auto* options = new TForm1(paths, prompts, form, [form] { form->reportException(); });
  const QString exe = QCoreApplication::applicationFilePath();
  // An installed copy opens files through its package's desktop entry: that is
  // its association, and ticking the box only makes it the user's default.
  const bool packaged = paths.isInstalled() && !FileAssociation::packageEntry(exe).isEmpty();
  options->associationInPlace = [exe, packaged] {
    const FileAssociation::Locations at = FileAssociation::fromEnvironment();
    return packaged ? FileAssociation::packageIsOpener(QStringLiteral("cfg"), exe, at)
                    : FileAssociation::isAssociatedWith(exe, at);
  };
  // A copy that stands apart (a screenshot run) never changes the user's association.
  if (handOver)
    options->writeAssociation = [exe, packaged] {
      const FileAssociation::Locations at = FileAssociation::fromEnvironment();
      if (packaged) {
        // Already the opener (the box was ticked for it at start): the user's list stays untouched.
        if (!FileAssociation::packageIsOpener(QStringLiteral("cfg"), exe, at))
          FileAssociation::makePackageTheOpener(QStringLiteral("cfg"), at);
      } else
        FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe, at);
    };
  form->adoptWindow(options);
  QObject::connect(form->action(Command::Options1), &QAction::triggered, options, &TForm1::showOptions);
  QObject::connect(form->action(Command::CheckForUpdates1), &QAction::triggered, options,
                   &TForm1::CheckForUpdates1Click);
  QObject::connect(options->updatesPage(), &UpdatesPage::restartRequested, form,
                   [form](const QString& executable) { form->restartInto(executable); });
  // A copy that stands apart (a screenshot run) asks nothing at start.
  options->FormCreate(handOver);

  auto* about = new TAboutBox(form);
  QObject::connect(form->action(Command::HelpAbout1), &QAction::triggered, about, &TAboutBox::showAbout);

  TForm3::Host host;
  host.mainWindow = form;
  host.documentWorkingCopy = [form] {
    TMDIChild* doc = form->activeChild();
    return doc ? doc->workingCopy() : QString();
  };
  host.documentName = [form] {
    TMDIChild* doc = form->activeChild();
    return doc ? doc->fileName() : QString();
  };
  host.selectSetting = [form](const QString& section, const QString& key) {
    if (TMDIChild* doc = form->activeChild()) doc->selectSetting(section, key);
  };
  host.reportError = [form] { form->reportException(); };
  auto* validation = new TForm3(paths, prompts, host);
  form->adoptWindow(validation);
  QObject::connect(form->action(Command::ErrorCheckCFG1), &QAction::triggered, validation,
                   &TForm3::showValidation);

  TCompareWindow::Host compareHost;
  compareHost.activeDocument = [form] { return form->activeChild(); };
  compareHost.reportError = [form] { form->reportException(); };
  auto* compare = new TCompareWindow(prompts, compareHost, form);
  QObject::connect(form->action(Command::CompareWith1), &QAction::triggered, compare,
                   &TCompareWindow::compareWith);
  QObject::connect(form, &TMainForm::compareRequested, compare, &TCompareWindow::compare);
  return main;
}

}  // namespace TessaryApp

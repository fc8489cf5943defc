#include "app/TessaryApp.h"

#include <QAction>

#include "app/MainForm.h"
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

std::unique_ptr<TMainForm> createWindows(const AppPaths& paths, Prompts& prompts, const QStringList& arguments,
                                         bool handOver) {
  auto main = std::make_unique<TMainForm>(paths, prompts, arguments, handOver);
  TMainForm* form = main.get();

  auto* multifireTool = new TForm2(form);
  QObject::connect(form->action(QStringLiteral("MultifireTool1")), &QAction::triggered, form,
                   [multifireTool] { showOnTop(multifireTool); });

  auto* validation = new TForm3(form);
  QObject::connect(form->action(QStringLiteral("ErrorCheckCFG1")), &QAction::triggered, form,
                   [validation] { showOnTop(validation); });
  return main;
}

}  // namespace TessaryApp

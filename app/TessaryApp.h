#pragma once
#include <QStringList>
#include <functional>
#include <memory>

#include "prefs/AppPaths.h"

class Prompts;
class TMainForm;

// handOver false: a copy that stands apart (a screenshot run): no hand-over, no start-up questions.
// Where the program's windows are made and joined: the main window first, then
// the windows it opens (each a class of its own, owned by the main window),
// each wired here to the command that shows it. A new window is added here.
namespace TessaryApp {
// mainWindowMade runs as soon as the main window exists, before any start-up
// question: what it joins (handed-over files, signals) works while one is open.
std::unique_ptr<TMainForm> createWindows(const AppPaths& paths, Prompts& prompts,
                                         const QStringList& arguments, bool handOver = true,
                                         const std::function<void(TMainForm&)>& mainWindowMade = {});
}  // namespace TessaryApp

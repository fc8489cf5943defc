// The ends of a Windows session: a log-off or shut-down asks the program
// through the session manager (WM_QUERYENDSESSION, then WM_ENDSESSION), a
// console's Ctrl+C or close through its control handler. Each ends the program
// as Exit does, without questions; unsaved edits stay in their working copies.
#include <windows.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>

#include "app/TerminationSignals.h"

namespace {
std::function<void()>* g_handler = nullptr;
bool g_ended = false;

void endOnce() {
  if (g_ended || !g_handler) return;
  g_ended = true;
  (*g_handler)();
}

BOOL WINAPI onConsoleEvent(DWORD) {
  // Another thread: the window thread does the work.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] { endOnce(); }, Qt::QueuedConnection);
  return TRUE;
}
}  // namespace

namespace TerminationSignals {

void install(std::function<void()> handler) {
  if (g_handler) return;
  g_handler = new std::function<void()>(std::move(handler));
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // The session ends for good once this returns without cancelling: the
    // working copies and their records are left in place now, no box asks anything.
    QObject::connect(
        app, &QGuiApplication::commitDataRequest, app,
        [](QSessionManager& manager) {
          manager.release();
          endOnce();
        },
        Qt::DirectConnection);
  }
}

}  // namespace TerminationSignals

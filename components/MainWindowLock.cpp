#include "components/MainWindowLock.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

MainWindowLock::MainWindowLock(QWidget* window, QWidget* mainWindow)
    : QObject(window), m_window(window), m_main(mainWindow) {
  window->installEventFilter(this);
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &MainWindowLock::noteFocusWindow);
}

void MainWindowLock::noteFocusWindow(QWindow* now) {
  if (!now || !m_window->isVisible()) return;  // no window of ours: another application
  for (QWindow* w = now; w; w = w->transientParent())
    if (w == m_window->windowHandle()) return;  // this window or a box of its own
  m_freshActivation = true;
}

bool MainWindowLock::takeActivation() {
  const bool fresh = m_freshActivation;
  m_freshActivation = false;
  return fresh;
}

void MainWindowLock::makeTransient() {
  if (!m_main) return;
  // Both native windows must exist; the window's own is made at its first show.
  QWindow* own = m_window->windowHandle();
  QWindow* main = m_main->window()->windowHandle();
  if (own && main && own->transientParent() != main) own->setTransientParent(main);
}

bool MainWindowLock::isTransientForMain() const {
  const QWindow* own = m_window->windowHandle();
  if (!own || !m_main || own->transientParent() != m_main->window()->windowHandle()) return false;
  // X11 writes WM_TRANSIENT_FOR only for these kinds of window, never for a plain one.
  switch (own->type()) {
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Tool:
      return true;
    default:
      return false;
  }
}

void MainWindowLock::lock() {
  if (!m_main || !m_window->isVisible()) return;
  m_main->setEnabled(false);
}

void MainWindowLock::release() {
  if (m_main) m_main->setEnabled(true);
}

bool MainWindowLock::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_window) {
    switch (event->type()) {
      case QEvent::Show:
        m_freshActivation = true;
        // Sent before the native window is mapped: the window manager learns it
        // together with the window itself, and keeps it above the main window.
        makeTransient();
        break;
      case QEvent::Hide:
        release();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

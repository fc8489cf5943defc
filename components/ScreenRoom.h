#pragma once
#include <QScreen>
#include <QSize>
#include <QWidget>

// The room a top-level window has on the screen its owner shows on (the main
// window's, else its own), less a window manager's frame: what a window must
// fit into at the scale in use. An empty size when there is no screen.
inline QSize roomOnScreen(const QWidget* window, const QWidget* owner) {
  const QScreen* screen = owner ? owner->screen() : window->screen();
  if (!screen) return {};
  return screen->availableGeometry().size() - QSize(16, 48);
}

#include "app/KeyMap.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

KeyOwnership::KeyOwnership(QWidget* window, QList<QAction*> owners)
    : QObject(window), m_window(window), m_owners(std::move(owners)) {
  qApp->installEventFilter(this);
}

KeyOwnership::~KeyOwnership() { qApp->removeEventFilter(this); }

QAction* KeyOwnership::addKeyTwin(QWidget* window, QAction* hidden, std::function<void()> run) {
  auto* twin = new QAction(window);
  twin->setObjectName(hidden->objectName() + QStringLiteral("Key"));
  twin->setShortcut(hidden->shortcut());
  twin->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(twin, &QAction::triggered, window, std::move(run));
  window->addAction(twin);
  hidden->setProperty("ownedKey", hidden->shortcut());
  hidden->setShortcut({});
  return twin;
}

bool KeyOwnership::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::ShortcutOverride && e->type() != QEvent::KeyPress) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != m_window) return false;
  const QKeySequence seq(static_cast<QKeyEvent*>(e)->keyCombination());
  for (QAction* owner : std::as_const(m_owners)) {
    const QKeySequence owned =
        owner->shortcut().isEmpty() ? owner->property("ownedKey").value<QKeySequence>() : owner->shortcut();
    if (!owned.isEmpty() && owned == seq) return true;
  }
  return false;
}

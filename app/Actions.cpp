#include "app/Actions.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QWidget>

#include "components/Pictures.h"

QList<QAction*> buildActions(QWidget* window, const QList<ActionSpec>& table) {
  QList<QAction*> made;
  for (const ActionSpec& s : table) {
    auto* a = new QAction(Pictures::main(s.picture), QString::fromUtf8(s.caption), window);
    a->setObjectName(QString::fromLatin1(s.name));
    if (!s.key.isEmpty()) {
      a->setShortcut(s.key);
      a->setShortcutContext(Qt::WindowShortcut);
    }
    if (s.hint) {
      const QString hint = QString::fromUtf8(s.hint);
      const qsizetype bar = hint.indexOf(QLatin1Char('|'));
      a->setToolTip(bar < 0 ? hint : hint.left(bar));
      a->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
    }
    a->setEnabled(s.enabled);
    a->setVisible(s.visible);
    if (s.handler) QObject::connect(a, &QAction::triggered, window, s.handler);
    made.append(a);
  }
  return made;
}

namespace {
QAction* named(QWidget* window, const char* name) {
  return window->findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}
}  // namespace

void fillMenu(QMenu* menu, QWidget* window, const QList<EntrySpec>& entries) {
  for (const EntrySpec& e : entries) {
    const QByteArray name(e.action);
    if (name == "-") {
      menu->addSeparator();
    } else if (name == "-hidden") {
      menu->addSeparator()->setVisible(false);
    } else if (QAction* a = named(window, e.action)) {
      menu->addAction(a);
    }
  }
}

void fillToolBar(QToolBar* bar, QWidget* window, const QList<EntrySpec>& entries) {
  for (const EntrySpec& e : entries) {
    const QByteArray name(e.action);
    if (name == "-") {
      bar->addSeparator();
    } else if (QAction* a = named(window, e.action)) {
      bar->addAction(a);
      if (QWidget* w = bar->widgetForAction(a); w && e.buttonName)
        w->setObjectName(QString::fromLatin1(e.buttonName));
    }
  }
}

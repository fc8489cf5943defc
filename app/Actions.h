#pragma once
#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QToolBar;
class QWidget;

// One command of the main window: its menu item, its tool button and its key.
struct ActionSpec {
  const char* name;     // objectName, also the name tests and the key map use
  const char* caption;  // menu text, "&" marks the access key
  int picture;          // position in the main picture list, -1 for none
  QKeySequence key;
  const char* hint;  // "tool tip|status text", or one text for both
  bool enabled;
  bool visible;
  std::function<void()> handler;
};

// Makes the actions of a table, owned by window and found by objectName.
QList<QAction*> buildActions(QWidget* window, const QList<ActionSpec>& table);

// A menu or tool bar entry: an action's name, "-" for a separator, "-hidden"
// for a separator that stays hidden.
struct EntrySpec {
  const char* action;
  const char* buttonName = nullptr;  // objectName of the tool button (tool bars only)
};
void fillMenu(QMenu* menu, QWidget* window, const QList<EntrySpec>& entries);
void fillToolBar(QToolBar* bar, QWidget* window, const QList<EntrySpec>& entries);

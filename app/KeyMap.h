#pragma once
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <functional>

class QAction;
class QWidget;

// The menu owns its keys: a key of a menu item reaches that item from anywhere
// in the window, text fields included (Ctrl+X ends the program, it does not
// cut), and a disabled owner swallows its key.
class KeyOwnership : public QObject {
  Q_OBJECT
 public:
  KeyOwnership(QWidget* window, QList<QAction*> owners);
  ~KeyOwnership() override;

  // A hidden QAction answers no key (Qt also reports it disabled), so a hidden
  // menu item whose key must work gets a twin in the window that runs it.
  static QAction* addKeyTwin(QWidget* window, QAction* hidden, std::function<void()> run);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* m_window;
  QList<QAction*> m_owners;
};

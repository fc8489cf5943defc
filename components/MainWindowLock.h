#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

class QWindow;

// A top-level window that takes the main window's input away while it shows
// (Options/Preferences, the validation window). It has no parent widget, since
// a child would be disabled with the main window, so the window manager has to
// be told that it belongs above the main window: it is made transient for it.
// Whatever makes the window go away (Escape, its close box, Alt+F4, a button,
// code that hides it) gives the main window back; nothing can leave the user
// in front of a disabled main window with nothing else on screen.
class MainWindowLock : public QObject {
  Q_OBJECT

 public:
  // The lock lives as long as window (it is the lock's parent).
  MainWindowLock(QWidget* window, QWidget* mainWindow);

  // Takes the main window's input away, while the window shows (again at activations).
  void lock();
  // Gives it back.
  void release();
  // Whether the window manager is told that the window belongs to the main window:
  // a transient parent is set, and the window is of a kind the system passes it on for.
  bool isTransientForMain() const;

  // Whether an activation of the window is a new one, to be handled as such: the
  // first after it shows, or one after another window of the program had the
  // focus. Coming back from a dialog of its own (a file dialog, a message box)
  // or from another application is not. Call at each WindowActivate.
  bool takeActivation();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void makeTransient();
  void noteFocusWindow(QWindow* now);

  QWidget* m_window;
  QPointer<QWidget> m_main;
  bool m_freshActivation = true;
};

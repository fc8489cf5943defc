#pragma once
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QWidget;

// One running copy per user and executable file name. The first copy holds an
// flock()ed lock file named after the executable's file name (in
// $XDG_RUNTIME_DIR, else the temp folder), which the kernel releases when the
// process ends, however it ends. A later copy finds the lock taken, raises
// ApplicationExists, asks the first copy (through a local socket named after
// the executable and the user) to bring its last active window to the front,
// and ends.
class TOneInstance : public QObject {
  Q_OBJECT
 public:
  // executableName: the file name of the running executable, extension included.
  explicit TOneInstance(const QString& executableName, QObject* parent = nullptr);
  ~TOneInstance() override;

  bool Terminate = true;
  bool InformUser = false;
  bool RaisePriorInstance = false;
  std::function<void(TOneInstance* sender)> ApplicationExists;
  // How an error is reported (the program's exception log); by default standard error.
  std::function<void(const QString& message)> OnError;
  // The window to bring to the front when a later copy asks (the first copy's main window).
  std::function<QWidget*()> WindowToRaise;

  // Detection. True in the first copy; in a later copy ApplicationExists has run
  // (and the first copy was asked to come to the front) and the caller ends.
  bool detect();
  bool isFirstInstance() const { return m_owner; }
  QString lockPath() const { return m_lockPath; }
  QString serverName() const { return m_serverName; }

 private:
  void raiseOnRequest();
  void askPriorToRaise();
  void fail(const QString& step, const QString& why);

  QString m_lockPath;
  QString m_serverName;
  int m_fd = -1;
  bool m_owner = false;
  QLocalServer* m_server = nullptr;
};

#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QLocalServer;
class InstanceLock;
class QWidget;

// One running copy per user and executable file name. The first copy holds a
// lock file named after the executable's file name (InstanceLock), which the
// system releases when the process ends, however it ends, and listens on a local
// socket beside it. A later copy finds the lock taken, raises ApplicationExists,
// hands its file to the first copy through the socket (which queues what it
// receives), asks it to bring its last active window to the front, and ends.
//
// The lock and the socket live in one folder of the user's own
// (runtimeFolder()), never in a folder where another user could take the names.
class TOneInstance : public QObject {
  Q_OBJECT
 public:
  // executableName: the file name of the running executable, extension included.
  // owner: the window the component belongs to; a second one for the same owner
  // throws TessaryError "OneInstance component duplicated in <owner's name>".
  explicit TOneInstance(const QString& executableName, QObject* owner = nullptr);
  ~TOneInstance() override;

  bool Terminate = true;
  bool InformUser = false;
  bool RaisePriorInstance = false;
  // How long detect() waits for a taken lock before it decides that another
  // copy runs: a copy started by the one that is ending (after an update) waits.
  int WaitForLockMs = 0;
  std::function<void(TOneInstance* sender)> ApplicationExists;
  // How an error is reported (the program's exception log); by default standard error.
  std::function<void(const QString& message)> OnError;
  // The warning of a later copy that goes on running (Terminate unset, InformUser set);
  // by default a message box.
  std::function<void(const QString& message)> OnWarning;
  // The window to bring to the front when a later copy asks (the first copy's main window).
  std::function<QWidget*()> WindowToRaise;

  // Detection. True in the first copy; in a later copy ApplicationExists has run
  // (and the first copy was asked to come to the front) and the caller ends
  // when Terminate is set.
  bool detect();
  bool isFirstInstance() const { return m_owner; }
  QString lockPath() const { return m_lockPath; }
  QString serverName() const { return m_serverName; }

  // In a later copy: gives path to the first copy through its socket, waiting a
  // while for the first copy to listen (it may be starting at this very moment).
  // True once the first copy has confirmed that it queued the file.
  bool handOver(const QString& path);
  // In the first copy: where handed-over files go. Files that came before a
  // receiver was set are given to it at once, in the order they came.
  void setFileReceiver(std::function<void(const QString& path)> receiver);

  // The folder of the lock and the socket: $XDG_RUNTIME_DIR when it is a folder
  // of this user's alone; else <temp>/tessary-<uid>, made mode 0700 and taken
  // only when it is a real folder (no symbolic link) owned by this user with no
  // access for others; else the same under the user's cache folder. Empty (with
  // the reason in *why) when none will do.
  static QString runtimeFolder(QString* why = nullptr);

 private:
  void acceptConnections();
  void askPriorToRaise();
  void fail(const QString& step, const QString& why);
  void received(const QString& path);

  QString m_executableName;
  QString m_lockPath;
  QString m_serverName;
  std::unique_ptr<InstanceLock> m_lock;
  bool m_owner = false;
  QLocalServer* m_server = nullptr;
  QStringList m_pending;  // handed over before a receiver was set
  std::function<void(const QString& path)> m_receiver;
};

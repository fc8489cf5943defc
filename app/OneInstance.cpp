#include "app/OneInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QWidget>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"

namespace {
const QByteArray kRaise = "raise";
const QByteArray kOpen = "open ";
const QByteArray kOk = "ok\n";
constexpr qsizetype kMaxLine = 64 * 1024;
constexpr int kHandOverMs = 10000;  // a first copy may still be starting, or busy for a moment

// A folder that only this user can use: a real folder (not a link), owned by
// the user, with no access for group or others.
bool isPrivateFolder(const QByteArray& path, QString* why) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) {
    *why = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(path),
                                        QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = QStringLiteral("%1 is not a folder").arg(QString::fromLocal8Bit(path));
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    *why = QStringLiteral("%1 belongs to another user").arg(QString::fromLocal8Bit(path));
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    *why = QStringLiteral("%1 is open to other users").arg(QString::fromLocal8Bit(path));
    return false;
  }
  return true;
}

// Makes (or finds) a private folder of this user's at path.
bool privateFolder(const QByteArray& path, QString* why) {
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
    *why = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(path),
                                        QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  return isPrivateFolder(path, why);
}

// Brings a window to the front as the user left it: restored if minimised, a modal dialog first.
void bringToFront(QWidget* window) {
  if (!window) return;
  if (window->isMinimized()) window->showNormal();
  window->raise();
  window->activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (modal->isMinimized()) modal->showNormal();
    modal->raise();
    modal->activateWindow();
  }
}

QObject* checkedOwner(QObject* owner) {
  if (owner)
    for (QObject* child : owner->children())
      if (qobject_cast<TOneInstance*>(child))
        throw TessaryError(QStringLiteral("OneInstance component duplicated in ") + owner->objectName());
  return owner;
}
}  // namespace

QString TOneInstance::runtimeFolder(QString* why) {
  QString reasons;
  QString reason;
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) {
    if (isPrivateFolder(runtime, &reason)) return AtomicFile::decodePath(runtime);
    reasons += reason + QLatin1Char('\n');
  }
  const QByteArray tmp =
      AtomicFile::nativePath(QDir::tempPath()) + "/tessary-" + QByteArray::number(::geteuid());
  if (privateFolder(tmp, &reason)) return AtomicFile::decodePath(tmp);
  reasons += reason + QLatin1Char('\n');
  QByteArray cache = qgetenv("XDG_CACHE_HOME");
  if (cache.isEmpty()) cache = qgetenv("HOME") + "/.cache";
  if (::mkdir(cache.constData(), 0700) == 0 || errno == EEXIST) {
    const QByteArray own = cache + "/tessary";
    if (privateFolder(own, &reason)) return AtomicFile::decodePath(own);
    reasons += reason;
  }
  if (why) *why = reasons.trimmed();
  return {};
}

TOneInstance::TOneInstance(const QString& executableName, QObject* owner)
    : QObject(checkedOwner(owner)), m_executableName(executableName) {
  setObjectName(QStringLiteral("OneInstance1"));
  OnError = [](const QString& message) { std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData()); };
  OnWarning = [](const QString& message) {
    QMessageBox::warning(nullptr, QApplication::applicationName(), message, QMessageBox::Ok);
  };
}

TOneInstance::~TOneInstance() {
  // The first copy releases its lock; the kernel would do it at exit anyway.
  if (m_fd >= 0) {
    if (::close(m_fd) != 0)
      fail(QStringLiteral("Unable to close Mutex!"), QString::fromLocal8Bit(std::strerror(errno)));
  }
}

void TOneInstance::fail(const QString& step, const QString& why) {
  if (OnError)
    OnError(step + QStringLiteral(" An Exception was raised ") + QStringLiteral("with the message : ") + why);
}

bool TOneInstance::detect() {
  QString why;
  const QString folder = runtimeFolder(&why);
  if (folder.isEmpty()) {
    // After a failed check this copy behaves as a later one; the user is told why.
    fail(QStringLiteral("Unable to verify that Mutex already exists!"), why);
  } else {
    m_lockPath = folder + QLatin1Char('/') + m_executableName + QStringLiteral(".lock");
    m_serverName = folder + QLatin1Char('/') + m_executableName + QStringLiteral(".socket");
    // Never through a link: nobody may point this program's lock at a file of their choosing.
    m_fd = ::open(AtomicFile::nativePath(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                  0600);
    struct stat st {};
    if (m_fd < 0) {
      fail(QStringLiteral("Unable to verify that Mutex already exists!"),
           QString::fromLocal8Bit(std::strerror(errno)));
    } else if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      ::close(m_fd);
      m_fd = -1;
      fail(QStringLiteral("Unable to verify that Mutex already exists!"),
           QStringLiteral("%1 is not a file of this user's").arg(m_lockPath));
    } else if (takeLock()) {
      m_owner = true;
      // The first copy listens for later copies handing over files or asking it to come to the front.
      m_server = new QLocalServer(this);
      m_server->setSocketOptions(QLocalServer::UserAccessOption);
      QLocalServer::removeServer(m_serverName);  // a socket left by a copy that was killed
      if (!m_server->listen(m_serverName))
        fail(QStringLiteral("Unable to create Mutex!"), m_server->errorString());
      connect(m_server, &QLocalServer::newConnection, this, &TOneInstance::acceptConnections);
      return true;
    } else {
      const int err = errno;
      ::close(m_fd);
      m_fd = -1;
      if (err != EWOULDBLOCK)
        fail(QStringLiteral("Unable to verify that Mutex already exists!"),
             QString::fromLocal8Bit(std::strerror(err)));
    }
  }
  m_owner = false;
  if (ApplicationExists) ApplicationExists(this);
  if (Terminate && InformUser && OnError)
    OnError(
        QStringLiteral("Another instance of this application appears to be running. You must \r\n"
                       "close any previous instances before continuing. "));
  if (!Terminate && InformUser && OnWarning)
    OnWarning(QStringLiteral("Another instance of this application appears to be running!"));
  if (RaisePriorInstance) askPriorToRaise();
  return false;
}

bool TOneInstance::takeLock() {
  if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK || WaitForLockMs <= 0) return false;
  // The copy that started this one is still ending: its lock goes with it.
  std::fprintf(stderr, "%s: waiting for the running copy to end\n",
               m_executableName.toLocal8Bit().constData());
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < WaitForLockMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK) return false;
  }
  errno = EWOULDBLOCK;
  return false;
}

bool TOneInstance::handOver(const QString& path) {
  if (m_serverName.isEmpty() || path.isEmpty()) return false;
  QElapsedTimer clock;
  clock.start();
  QLocalSocket socket;
  // The first copy takes the lock a moment before it listens: try again for a while.
  for (;;) {
    socket.connectToServer(m_serverName);
    if (socket.waitForConnected(1000)) break;
    socket.abort();
    if (clock.elapsed() > kHandOverMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  socket.write(kOpen + AtomicFile::nativePath(path).toBase64() + '\n');
  if (!socket.waitForBytesWritten(kHandOverMs)) return false;
  QByteArray answer;
  while (!answer.contains('\n') && clock.elapsed() < 2 * kHandOverMs) {
    if (!socket.waitForReadyRead(1000) && socket.state() != QLocalSocket::ConnectedState) break;
    answer += socket.readAll();
  }
  socket.disconnectFromServer();
  return answer.startsWith(kOk);
}

void TOneInstance::askPriorToRaise() {
  if (m_serverName.isEmpty()) return;
  QLocalSocket socket;
  socket.connectToServer(m_serverName);
  if (!socket.waitForConnected(1000)) return;
  socket.write(kRaise + '\n');
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
}

void TOneInstance::setFileReceiver(std::function<void(const QString& path)> receiver) {
  m_receiver = std::move(receiver);
  const QStringList pending = std::exchange(m_pending, {});
  for (const QString& path : pending) received(path);
}

void TOneInstance::received(const QString& path) {
  if (m_receiver)
    m_receiver(path);
  else
    m_pending.append(path);
}

void TOneInstance::acceptConnections() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // What this connection has sent so far; each line is one request.
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      *buffer += socket->readAll();
      for (qsizetype end = buffer->indexOf('\n'); end >= 0; end = buffer->indexOf('\n')) {
        const QByteArray line = buffer->left(end).trimmed();
        buffer->remove(0, end + 1);
        if (line == kRaise) {
          if (WindowToRaise) bringToFront(WindowToRaise());
        } else if (line.startsWith(kOpen)) {
          const QByteArray native = QByteArray::fromBase64(line.mid(kOpen.size()));
          if (!native.isEmpty()) {
            received(AtomicFile::decodePath(native));
            socket->write(kOk);
          }
        }
      }
      if (buffer->size() > kMaxLine) socket->abort();  // no line is that long
    });
  }
}

#include "app/OneInstance.h"

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

#include "app/InstanceLock.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"

namespace {
const QByteArray kRaise = "raise";
const QByteArray kOpen = "open ";
const QByteArray kOk = "ok\n";
constexpr qsizetype kMaxLine = 64 * 1024;
constexpr int kHandOverMs = 10000;  // a first copy may still be starting, or busy for a moment

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

QString TOneInstance::runtimeFolder(QString* why) { return InstanceLock::runtimeFolder(why); }

TOneInstance::TOneInstance(const QString& executableName, QObject* owner)
    : QObject(checkedOwner(owner)),
      m_executableName(executableName),
      m_lock(std::make_unique<InstanceLock>()) {
  setObjectName(QStringLiteral("OneInstance1"));
  OnError = [](const QString& message) { std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData()); };
  OnWarning = [](const QString& message) {
    QMessageBox::warning(nullptr, QApplication::applicationName(), message, QMessageBox::Ok);
  };
}

TOneInstance::~TOneInstance() {
  // The first copy releases its lock; the system would do it at exit anyway.
  QString why;
  if (m_lock->held() && !m_lock->release(&why)) fail(QStringLiteral("Unable to close Mutex!"), why);
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
    const InstanceLock::Result taken = m_lock->take(m_lockPath, WaitForLockMs, m_executableName, &why);
    if (taken == InstanceLock::Result::Failed) {
      fail(QStringLiteral("Unable to verify that Mutex already exists!"), why);
    } else if (taken == InstanceLock::Result::Taken) {
      m_owner = true;
      // The first copy listens for later copies handing over files or asking it to come to the front.
      m_server = new QLocalServer(this);
      m_server->setSocketOptions(QLocalServer::UserAccessOption);
      // Heard before listening: on Windows listen() itself announces a later copy
      // that connected while the pipe was being made, and a copy not heard then
      // waits for an answer that never comes.
      connect(m_server, &QLocalServer::newConnection, this, &TOneInstance::acceptConnections);
      QLocalServer::removeServer(m_serverName);  // a socket left by a copy that was killed
      if (!m_server->listen(m_serverName))
        fail(QStringLiteral("Unable to create Mutex!"), m_server->errorString());
      return true;
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

#include "app/OneInstance.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "profile/AtomicFile.h"

namespace {
const QByteArray kRaise = "raise\n";

QString runtimeFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QDir(runtime).exists() ? runtime : QDir::tempPath();
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
}  // namespace

TOneInstance::TOneInstance(const QString& executableName, QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("OneInstance1"));
  m_lockPath = runtimeFolder() + QLatin1Char('/') + executableName + QStringLiteral(".lock");
  m_serverName = executableName + QStringLiteral("-") + QString::number(::getuid());
  OnError = [](const QString& message) { std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData()); };
}

TOneInstance::~TOneInstance() {
  // The first copy releases its lock; the kernel would do it at exit anyway.
  if (m_fd >= 0) {
    if (::close(m_fd) != 0) fail(QStringLiteral("Unable to close Mutex!"), QString::fromLocal8Bit(std::strerror(errno)));
  }
}

void TOneInstance::fail(const QString& step, const QString& why) {
  if (OnError) OnError(step + QStringLiteral(" An Exception was raised ") + QStringLiteral("with the message : ") + why);
}

bool TOneInstance::detect() {
  m_fd = ::open(AtomicFile::nativePath(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_fd < 0) {
    // After a failed check this copy behaves as a later one.
    fail(QStringLiteral("Unable to verify that Mutex already exists!"), QString::fromLocal8Bit(std::strerror(errno)));
  } else if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
    m_owner = true;
    // The first copy listens for later copies asking it to come to the front.
    m_server = new QLocalServer(this);
    QLocalServer::removeServer(m_serverName);  // a socket left by a copy that was killed
    if (!m_server->listen(m_serverName))
      fail(QStringLiteral("Unable to create Mutex!"), m_server->errorString());
    connect(m_server, &QLocalServer::newConnection, this, &TOneInstance::raiseOnRequest);
    return true;
  } else {
    const int err = errno;
    ::close(m_fd);
    m_fd = -1;
    if (err != EWOULDBLOCK)
      fail(QStringLiteral("Unable to verify that Mutex already exists!"), QString::fromLocal8Bit(std::strerror(err)));
  }
  m_owner = false;
  if (ApplicationExists) ApplicationExists(this);
  if (Terminate && InformUser)
    if (OnError)
      OnError(QStringLiteral("Another instance of this application appears to be running. You must \r\n"
                             "close any previous instances before continuing. "));
  if (RaisePriorInstance) askPriorToRaise();
  return false;
}

void TOneInstance::askPriorToRaise() {
  QLocalSocket socket;
  socket.connectToServer(m_serverName);
  if (!socket.waitForConnected(1000)) return;
  socket.write(kRaise);
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
}

void TOneInstance::raiseOnRequest() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (socket->readAll().contains("raise") && WindowToRaise) bringToFront(WindowToRaise());
    });
  }
}

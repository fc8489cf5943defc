#pragma once
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <utility>

// Answers each request from a table of paths; records what it was sent.
class TinyServer : public QObject {
 public:
  struct Answer {
    QByteArray statusLine;  // "200 OK"
    QByteArray headers;     // extra header lines, each ending in \r\n
    QByteArray body;
  };
  QHash<QByteArray, Answer> answers;
  QList<QByteArray> requests;

  explicit TinyServer(quint16 port = 0) {
    server.listen(QHostAddress::LocalHost, port);
    connect(&server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = server.nextPendingConnection()) {
        // What this connection has sent so far: it lives and dies with the connection, so
        // a new connection that the system gives the same address never sees an old request.
        auto pending = std::make_shared<QByteArray>();
        connect(s, &QTcpSocket::readyRead, this, [this, s, pending] {
          *pending += s->readAll();
          if (!pending->contains("\r\n\r\n")) return;
          const QByteArray request = std::exchange(*pending, QByteArray());
          requests.append(request);
          const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
          const bool head = first.value(0) == "HEAD";
          const Answer a = answers.value(first.value(1), Answer{"404 Not Found", {}, "missing"});
          QByteArray out = "HTTP/1.0 " + a.statusLine + "\r\n" + a.headers;
          if (!a.headers.contains("Content-Length") && !a.headers.contains("X-No-Length"))
            out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
          out += "\r\n";
          if (!head) out += a.body;
          s->write(out);
          s->disconnectFromHost();
        });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      }
    });
  }
  QString base() const {
    return QStringLiteral("http://127.0.0.1:%1/velkor/Tessaryv2/update/").arg(server.serverPort());
  }
  quint16 port() const { return server.serverPort(); }
  bool listening() const { return server.isListening(); }

 private:
  QTcpServer server;
};

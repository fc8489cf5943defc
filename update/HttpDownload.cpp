#include "update/HttpDownload.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <curl/curl.h>

#include <poll.h>

#include <thread>

#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"

namespace {
const char kAccept[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
const char kAgent[] = "User-Agent: Mozilla/4.0 (compatible; ICS)";

struct Exchange {
  HttpDownloader* owner = nullptr;
  std::atomic<bool>* abandon = nullptr;
  QList<QByteArray> headers;  // of the final answer
  QByteArray body;
  bool emitProgress = false;
  long code = 0;
  QByteArray reason;
  CURLcode result = CURLE_OK;
};


// Waits until the socket can be read or written, at most a second, so an
// abandoned transfer is noticed soon.
bool waitFor(CURL* curl, bool forRead) {
  curl_socket_t sock = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &sock) != CURLE_OK || sock == CURL_SOCKET_BAD) return false;
  pollfd p{static_cast<int>(sock), static_cast<short>(forRead ? POLLIN : POLLOUT), 0};
  return ::poll(&p, 1, 1000) >= 0;
}

// One request and its answer on a connection of its own. libcurl makes the
// connection (name lookup, TCP, TLS for https); the request bytes are written
// here, so the lines go out exactly in the updater's order.
void exchangeOnce(const QUrl& url, bool head, Exchange* ex) {
  ex->headers.clear();
  ex->body.clear();
  ex->code = 0;
  ex->reason.clear();
  CURL* curl = curl_easy_init();
  if (!curl) {
    ex->result = CURLE_FAILED_INIT;
    return;
  }
  const int defaultPort = url.scheme() == QStringLiteral("https") ? 443 : 80;
  const QByteArray origin =
      (url.scheme() + QStringLiteral("://") + url.host() + QLatin1Char(':') + QString::number(url.port(defaultPort)) + QLatin1Char('/')).toUtf8();
  curl_easy_setopt(curl, CURLOPT_URL, origin.constData());
  curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  ex->result = curl_easy_perform(curl);
  if (ex->result != CURLE_OK) {
    curl_easy_cleanup(curl);
    return;
  }
  QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
  if (path.isEmpty()) path = "/";
  if (url.hasQuery()) path += '?' + url.query(QUrl::FullyEncoded).toUtf8();
  QByteArray request = (head ? "HEAD " : "GET ") + path + " HTTP/1.0\r\n";
  request += QByteArray(kAccept) + "\r\n" + kAgent + "\r\n";
  request += "Host: " + url.host().toUtf8() + (url.port(defaultPort) != 80 ? ":" + QByteArray::number(url.port(defaultPort)) : QByteArray()) + "\r\n";
  request += "Pragma: no-cache\r\n\r\n";
  size_t sent = 0;
  while (sent < static_cast<size_t>(request.size()) && !ex->abandon->load()) {
    size_t n = 0;
    const CURLcode rc = curl_easy_send(curl, request.constData() + sent, static_cast<size_t>(request.size()) - sent, &n);
    if (rc == CURLE_AGAIN) {
      waitFor(curl, false);
      continue;
    }
    if (rc != CURLE_OK) {
      ex->result = rc;
      curl_easy_cleanup(curl);
      return;
    }
    sent += n;
  }
  // The answer: HTTP/1.0, so it ends when the server closes the connection.
  QByteArray answer;
  qsizetype bodyStart = -1;
  char buffer[16384];
  while (!ex->abandon->load()) {
    size_t n = 0;
    const CURLcode rc = curl_easy_recv(curl, buffer, sizeof buffer, &n);
    if (rc == CURLE_AGAIN) {
      waitFor(curl, true);
      continue;
    }
    if (rc != CURLE_OK || n == 0) break;
    answer.append(buffer, static_cast<qsizetype>(n));
    if (bodyStart < 0) {
      const qsizetype end = answer.indexOf("\r\n\r\n");
      if (end >= 0) bodyStart = end + 4;
      if (head && bodyStart >= 0) break;
    }
    if (bodyStart >= 0 && ex->emitProgress) {
      const qint64 soFar = answer.size() - bodyStart;
      QMetaObject::invokeMethod(ex->owner, [owner = ex->owner, soFar] { Q_EMIT owner->received(soFar); },
                                Qt::QueuedConnection);
    }
  }
  curl_easy_cleanup(curl);
  const qsizetype headerEnd = bodyStart >= 0 ? bodyStart - 4 : answer.size();
  const QList<QByteArray> lines = answer.left(headerEnd).split('\n');
  if (lines.isEmpty() || !lines[0].startsWith("HTTP/")) {
    ex->result = CURLE_RECV_ERROR;  // no answer that can be read
    return;
  }
  const QByteArray status = lines[0].trimmed();
  const QList<QByteArray> parts = status.split(' ');
  ex->code = parts.value(1).toLong();
  ex->reason = parts.size() > 2 ? status.mid(parts[0].size() + parts[1].size() + 2) : QByteArray();
  for (qsizetype i = 1; i < lines.size(); ++i)
    if (!lines[i].trimmed().isEmpty()) ex->headers.append(lines[i].trimmed());
  ex->body = bodyStart >= 0 ? answer.mid(bodyStart) : QByteArray();
  ex->result = CURLE_OK;
}

// A request with its redirections: at most five changes of location.
void perform(const QUrl& start, bool head, Exchange* ex) {
  QUrl url = start;
  for (int changes = 0;; ++changes) {
    exchangeOnce(url, head, ex);
    if (ex->result != CURLE_OK || ex->code < 300 || ex->code >= 400 || changes == 5) return;
    QByteArray location;
    for (const QByteArray& line : std::as_const(ex->headers))
      if (line.toLower().startsWith("location:")) location = line.mid(9).trimmed();
    if (location.isEmpty()) return;
    url = url.resolved(QUrl::fromEncoded(location));
  }
}

// Runs a request without blocking the windows: a worker thread and a local event loop.
void run(const QUrl& url, bool head, Exchange* ex) {
  QEventLoop loop;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    perform(url, head, ex);
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  // Left early: the program is ending. The request is abandoned, not waited for.
  if (!finished) ex->abandon->store(true);
  worker.join();
}

// The failure rule: 400 and above except 401 and 407, or no answer at all.
// A redirection chain that ran out counts as an answer; other errors are ignored.
QString failureOf(const Exchange& ex) {
  if (ex.result == CURLE_COULDNT_RESOLVE_HOST || ex.result == CURLE_COULDNT_RESOLVE_PROXY)
    return QStringLiteral("can't resolve hostname to IP address");
  if (ex.code == 0 && ex.result != CURLE_OK)
    return QString::fromUtf8(curl_easy_strerror(ex.result)) + QStringLiteral(" (Error #%1)").arg(ex.result);
  if (ex.code >= 400 && ex.code != 401 && ex.code != 407) return QString::fromUtf8(ex.reason);
  return {};
}
}  // namespace

HttpDownloader::HttpDownloader(QObject* parent) : QObject(parent) { curl_global_init(CURL_GLOBAL_DEFAULT); }

HttpDownloader::~HttpDownloader() { m_abandon = true; }

bool HttpDownloader::DownloadUpdateFile(const QString& baseUrl, const QString& fileName, const QString& folder) {
  auto fail = [&](const QString& reason) {
    Q_EMIT failed(QStringLiteral("Update Failed: %1 %2...").arg(fileName, reason));
    Q_EMIT received(0);
    return false;
  };
  if (m_busy) return fail(QStringLiteral("another download is running"));
  m_busy = true;
  m_abandon = false;
  struct Done {
    bool* busy;
    ~Done() { *busy = false; }
  } done{&m_busy};
  // Nothing added or encoded: the name as the manifest lists it.
  const QUrl url(baseUrl + fileName, QUrl::TolerantMode);

  Exchange head;
  head.owner = this;
  head.abandon = &m_abandon;
  run(url, true, &head);
  if (m_abandon) return false;
  if (const QString why = failureOf(head); !why.isEmpty()) return fail(why);
  for (const QByteArray& line : std::as_const(head.headers)) {
    if (!line.contains("Content-Length")) continue;
    static const QRegularExpression separators(QStringLiteral("[:\\s]+"));
    const QStringList parts = QString::fromLatin1(line).split(separators, Qt::SkipEmptyParts);
    bool ok = false;
    const qint64 total = parts.value(1).toLongLong(&ok);
    if (!ok) throw TessaryError(QStringLiteral("The size of %1 is not a whole number: %2").arg(fileName, QString::fromLatin1(line)));
    Q_EMIT totalSize(total);
  }
  const QString target = folder + QLatin1Char('/') + fileName;
  if (!QDir().mkpath(folder)) throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(target));
  Q_EMIT status(QStringLiteral("Status: Downloading %1... ").arg(fileName));

  Exchange get;
  get.owner = this;
  get.abandon = &m_abandon;
  get.emitProgress = true;
  run(url, false, &get);
  if (m_abandon) return false;
  if (const QString why = failureOf(get); !why.isEmpty()) return fail(why);
  // Complete: only now does it replace the old file.
  AtomicFile::write(target, get.body);
  Q_EMIT received(get.body.size());
  Q_EMIT status(QStringLiteral("Status: Downloading Completed..."));
  return true;
}

#include "update/HttpDownload.h"

#include <curl/curl.h>
#include <poll.h>

#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
#include <QUrl>
#include <memory>
#include <optional>

#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"

namespace {
const char kAccept[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
const char kAgent[] = "User-Agent: Mozilla/4.0 (compatible; ICS)";

// How often a waiting worker looks whether it was told to stop: well inside the
// second a closing program gives it.
constexpr int kPollMs = 100;

std::atomic<qint64> g_connectMs{HttpDownloader::kConnectTimeout.count()};
std::atomic<qint64> g_idleMs{HttpDownloader::kIdleTimeout.count()};
std::atomic<qint64> g_maxBytes{HttpDownloader::kMaxBytes};

using Clock = std::chrono::steady_clock;

QString sizeText(qint64 bytes) {
  return bytes % (1024 * 1024) == 0 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024))
                                    : QStringLiteral("%1 bytes").arg(bytes);
}
}  // namespace

// One request's answer, filled on the worker thread and read on the window
// thread once the worker is done.
struct HttpDownloader::Exchange {
  bool head = false;
  AtomicFile::Writer* sink = nullptr;  // GET: where the body goes
  QList<QByteArray> headers;           // of the final answer
  long code = 0;
  QByteArray reason;
  QString problem;  // set when the answer cannot be taken (cut short, too big, silent ...)
  CURLcode result = CURLE_OK;
  qint64 bodyBytes = 0;
  std::optional<QString> writeError;  // the sink refused a piece
};

namespace {
struct Context {
  HttpDownloader* owner;
  std::atomic<bool>* abandon;
  std::atomic<bool>* cancel;
  std::atomic<qint64>* progress;
  bool stopped() const { return abandon->load() || cancel->load(); }
};

// libcurl asks this during name look-up and connection: a stop ends them at once.
int onProgress(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Context*>(clientp)->stopped() ? 1 : 0;
}

// Waits until the socket can be read or written, a short while at most, so a
// stop is noticed soon.
void waitFor(CURL* curl, bool forRead) {
  curl_socket_t sock = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &sock) != CURLE_OK || sock == CURL_SOCKET_BAD) return;
  pollfd p{static_cast<int>(sock), static_cast<short>(forRead ? POLLIN : POLLOUT), 0};
  (void)::poll(&p, 1, kPollMs);
}

// The header block ends at the first empty line (CR LF CR LF, or LF LF from a
// careless server). Only the bytes new since the last look are searched.
qsizetype headerEnd(const QByteArray& answer, qsizetype searchedUpTo, qsizetype* bodyStart) {
  const qsizetype from = std::max<qsizetype>(0, searchedUpTo - 3);
  for (qsizetype i = answer.indexOf('\n', from); i >= 0; i = answer.indexOf('\n', i + 1)) {
    if (i + 1 < answer.size() && answer[i + 1] == '\n') {
      *bodyStart = i + 2;
      return i;
    }
    if (i + 2 < answer.size() && answer[i + 1] == '\r' && answer[i + 2] == '\n') {
      *bodyStart = i + 3;
      return i;
    }
  }
  return -1;
}

// The status line: "HTTP/x.y NNN [reason]". False when there is none.
bool readStatus(const QByteArray& line, long* code, QByteArray* reason) {
  const QByteArray status = line.trimmed();
  if (!status.startsWith("HTTP/")) return false;
  const qsizetype space = status.indexOf(' ');
  if (space < 0) return false;
  const QByteArray rest = status.mid(space + 1).trimmed();
  const qsizetype end = rest.indexOf(' ');
  const QByteArray digits = end < 0 ? rest : rest.left(end);
  bool ok = false;
  const long n = digits.toLong(&ok);
  if (!ok || digits.size() != 3 || n < 100) return false;
  *code = n;
  *reason = end < 0 ? QByteArray() : rest.mid(end + 1).trimmed();
  return true;
}

// One request and its answer on a connection of its own. libcurl makes the
// connection (name lookup, TCP, TLS for https); the request bytes are written
// here, so the lines go out exactly in the updater's order.
void exchangeOnce(const QUrl& url, bool mayRedirect, HttpDownloader::Exchange* ex, Context* ctx) {
  ex->headers.clear();
  ex->code = 0;
  ex->reason.clear();
  ex->problem.clear();
  ex->bodyBytes = 0;
  CURL* curl = curl_easy_init();
  if (!curl) {
    ex->result = CURLE_FAILED_INIT;
    return;
  }
  struct Cleanup {
    CURL* c;
    ~Cleanup() { curl_easy_cleanup(c); }
  } cleanup{curl};
  const int defaultPort = url.scheme() == QStringLiteral("https") ? 443 : 80;
  const QByteArray origin = (url.scheme() + QStringLiteral("://") + url.host(QUrl::FullyEncoded) +
                             QLatin1Char(':') + QString::number(url.port(defaultPort)) + QLatin1Char('/'))
                                .toUtf8();
  curl_easy_setopt(curl, CURLOPT_URL, origin.constData());
  curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connectMs.load()));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, ctx);
  ex->result = curl_easy_perform(curl);
  if (ex->result == CURLE_OPERATION_TIMEDOUT)
    ex->problem = QStringLiteral("no connection within %1 seconds").arg(g_connectMs.load() / 1000.0);
  if (ex->result != CURLE_OK) return;

  QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
  if (path.isEmpty()) path = "/";
  if (url.hasQuery()) path += '?' + url.query(QUrl::FullyEncoded).toUtf8();
  QByteArray request = (ex->head ? "HEAD " : "GET ") + path + " HTTP/1.0\r\n";
  request += QByteArray(kAccept) + "\r\n" + kAgent + "\r\n";
  request += "Host: " + url.host(QUrl::FullyEncoded).toUtf8() +
             (url.port(defaultPort) != 80 ? ":" + QByteArray::number(url.port(defaultPort)) : QByteArray()) +
             "\r\n";
  request += "Pragma: no-cache\r\n\r\n";

  const auto idle = std::chrono::milliseconds(g_idleMs.load());
  auto lastByte = Clock::now();
  auto silent = [&] {
    if (Clock::now() - lastByte < idle) return false;
    ex->problem = QStringLiteral("nothing received for %1 seconds").arg(idle.count() / 1000.0);
    return true;
  };
  size_t sent = 0;
  while (sent < static_cast<size_t>(request.size())) {
    if (ctx->stopped() || silent()) return;
    size_t n = 0;
    const CURLcode rc =
        curl_easy_send(curl, request.constData() + sent, static_cast<size_t>(request.size()) - sent, &n);
    if (rc == CURLE_AGAIN) {
      waitFor(curl, false);
      continue;
    }
    if (rc != CURLE_OK) {
      ex->result = rc;
      return;
    }
    sent += n;
    lastByte = Clock::now();
  }

  // The answer: HTTP/1.0, so it ends at its Content-Length or when the server
  // closes the connection. Only the header block is kept in memory.
  QByteArray answer;
  qsizetype bodyStart = -1;
  qint64 expected = -1;  // the answer's Content-Length, once known
  const qint64 maxBytes = g_maxBytes.load();
  char buffer[16384];
  auto takeBody = [&](const char* data, qint64 size) {
    if (expected >= 0) size = std::min(size, expected - ex->bodyBytes);  // nothing past the stated end
    if (ex->bodyBytes + size > maxBytes) {
      ex->problem = QStringLiteral("larger than the limit of %1").arg(sizeText(maxBytes));
      return false;
    }
    if (ex->sink && size > 0) {
      try {
        ex->sink->append(data, size);
      } catch (const TessaryError& e) {
        ex->writeError = QString::fromUtf8(e.what());
        return false;
      }
    }
    ex->bodyBytes += size;
    if (ex->sink && ctx->progress->exchange(ex->bodyBytes) < 0) {
      // One queued report at a time; it reads the newest count when it runs.
      QMetaObject::invokeMethod(
          ctx->owner,
          [owner = ctx->owner, progress = ctx->progress] {
            const qint64 soFar = progress->exchange(-1);
            if (soFar >= 0) Q_EMIT owner->received(soFar);
          },
          Qt::QueuedConnection);
    }
    return true;
  };
  bool closed = false;
  for (;;) {
    if (ctx->stopped()) return;
    if (bodyStart >= 0 && expected >= 0 && ex->bodyBytes >= expected) break;  // all there
    size_t n = 0;
    const CURLcode rc = curl_easy_recv(curl, buffer, sizeof buffer, &n);
    if (rc == CURLE_AGAIN) {
      if (silent()) return;
      waitFor(curl, true);
      continue;
    }
    if (rc != CURLE_OK) {
      // A reset: what came so far is not the whole answer.
      ex->problem =
          QStringLiteral("the connection broke off: %1").arg(QString::fromUtf8(curl_easy_strerror(rc)));
      return;
    }
    if (n == 0) {
      closed = true;
      break;
    }
    lastByte = Clock::now();
    if (bodyStart >= 0) {
      if (!takeBody(buffer, static_cast<qint64>(n))) return;
      continue;
    }
    const qsizetype searched = answer.size();
    answer.append(buffer, static_cast<qsizetype>(n));
    qsizetype start = -1;
    const qsizetype end = headerEnd(answer, searched, &start);
    if (end < 0) {
      if (answer.size() > HttpDownloader::kMaxHeaderBytes) {
        ex->problem = QStringLiteral("the server's header is longer than %1 KiB")
                          .arg(HttpDownloader::kMaxHeaderBytes / 1024);
        return;
      }
      continue;
    }
    if (end > HttpDownloader::kMaxHeaderBytes) {
      ex->problem = QStringLiteral("the server's header is longer than %1 KiB")
                        .arg(HttpDownloader::kMaxHeaderBytes / 1024);
      return;
    }
    bodyStart = start;
    const QList<QByteArray> lines = answer.left(end).split('\n');
    if (!readStatus(lines[0], &ex->code, &ex->reason)) {
      ex->problem = QStringLiteral("the server's answer has no status line");
      return;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const QByteArray line = lines[i].trimmed();
      if (line.isEmpty()) continue;
      ex->headers.append(line);
      if (line.toLower().startsWith("content-length:")) {
        bool ok = false;
        const qint64 length = line.mid(15).trimmed().toLongLong(&ok);
        if (ok && length >= 0) expected = length;
      }
    }
    if (ex->head) return;  // a HEAD answer has no body to wait for
    // A redirection that will be followed: its body is not the file.
    if (mayRedirect && ex->code >= 300 && ex->code < 400)
      for (const QByteArray& h : std::as_const(ex->headers))
        if (h.toLower().startsWith("location:")) return;
    if (expected > maxBytes && (ex->code < 300 || ex->code >= 400)) {
      ex->problem = QStringLiteral("larger than the limit of %1").arg(sizeText(maxBytes));
      return;
    }
    if (!takeBody(answer.constData() + bodyStart, answer.size() - bodyStart)) return;
  }
  if (bodyStart < 0) {
    ex->problem = closed && answer.isEmpty()
                      ? QStringLiteral("the server closed the connection without an answer")
                      : QStringLiteral("the server's answer has no status line");
    return;
  }
  if (expected >= 0 && ex->bodyBytes < expected)
    ex->problem = QStringLiteral("the transfer ended after %1 of %2 bytes").arg(ex->bodyBytes).arg(expected);
}

// A request with its redirections: at most five changes of location.
void perform(const QUrl& start, HttpDownloader::Exchange* ex, Context* ctx) {
  QUrl url = start;
  for (int changes = 0;; ++changes) {
    exchangeOnce(url, changes < 5, ex, ctx);
    if (ex->result != CURLE_OK || !ex->problem.isEmpty() || ex->code < 300 || ex->code >= 400 || changes == 5)
      return;
    QByteArray location;
    for (const QByteArray& line : std::as_const(ex->headers))
      if (line.toLower().startsWith("location:")) location = line.mid(9).trimmed();
    if (location.isEmpty()) return;
    url = url.resolved(QUrl::fromEncoded(location));
  }
}

// A reason phrase as a line of text: no control characters, not endless.
QString readableReason(const QByteArray& reason) {
  QString text = QString::fromUtf8(reason.left(200));
  for (QChar& c : text)
    if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
  return text.simplified();
}

// The failure rule: 400 and above except 401 and 407, or no answer at all.
// A redirection chain that ran out counts as an answer; other errors are ignored.
// Beyond the rule, an answer that cannot be taken whole (cut short, too big, no
// status line, silent) fails too. Empty: no failure.
QString failureOf(const HttpDownloader::Exchange& ex, bool cancelled) {
  if (cancelled) return QStringLiteral("stopped");
  if (ex.writeError) return {};  // reported as an error of its own
  if (!ex.problem.isEmpty()) return ex.problem;
  if (ex.result == CURLE_COULDNT_RESOLVE_HOST || ex.result == CURLE_COULDNT_RESOLVE_PROXY)
    return QStringLiteral("can't resolve hostname to IP address");
  if (ex.code == 0 && ex.result != CURLE_OK)
    return QString::fromUtf8(curl_easy_strerror(ex.result)) + QStringLiteral(" (Error #%1)").arg(ex.result);
  if (ex.code >= 400 && ex.code != 401 && ex.code != 407)
    return ex.reason.isEmpty() ? QStringLiteral("HTTP %1").arg(ex.code) : readableReason(ex.reason);
  return {};
}
}  // namespace

HttpDownloader::HttpDownloader(QObject* parent) : QObject(parent) { curl_global_init(CURL_GLOBAL_DEFAULT); }

HttpDownloader::~HttpDownloader() {
  m_abandon = true;
  if (m_worker.joinable()) m_worker.join();
}

void HttpDownloader::cancel() {
  if (m_busy) m_cancel = true;
}

void HttpDownloader::setLimitsForTesting(std::chrono::milliseconds connect, std::chrono::milliseconds idle,
                                         qint64 maxBytes) {
  g_connectMs = connect.count() > 0 ? connect.count() : kConnectTimeout.count();
  g_idleMs = idle.count() > 0 ? idle.count() : kIdleTimeout.count();
  g_maxBytes = maxBytes > 0 ? maxBytes : kMaxBytes;
}

bool HttpDownloader::isPlainFileName(const QString& name) { return AtomicFile::isPlainFileName(name); }

// Runs a request without blocking the windows: a worker thread and a local event loop.
void HttpDownloader::run(const QString& url, Exchange* ex) {
  QEventLoop loop;
  std::atomic<bool> finished{false};
  Context ctx{this, &m_abandon, &m_cancel, &m_progress};
  m_worker = std::thread([&, parsed = QUrl(url, QUrl::TolerantMode)] {
    perform(parsed, ex, &ctx);
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  // Left early: the program is ending. The request is abandoned, not waited for
  // beyond the worker's next look at the flag.
  if (!finished) m_abandon = true;
  m_worker.join();
}

bool HttpDownloader::DownloadUpdateFile(const QString& baseUrl, const QString& fileName,
                                        const QString& folder) {
  auto fail = [&](const QString& reason) {
    m_progress = -1;  // a report still on its way shows nothing after this
    Q_EMIT failed(QStringLiteral("Update Failed: %1 %2...").arg(fileName, reason));
    Q_EMIT received(0);
    return false;
  };
  if (m_busy) return fail(QStringLiteral("another download is running"));
  // The name comes from the server's manifest: it must not lead out of the folder.
  if (!isPlainFileName(fileName)) return fail(QStringLiteral("not a plain file name"));
  m_busy = true;
  m_abandon = false;
  m_cancel = false;
  m_progress = -1;
  Q_EMIT busyChanged(true);
  struct Done {
    HttpDownloader* self;
    ~Done() {
      self->m_busy = false;
      Q_EMIT self->busyChanged(false);
    }
  } done{this};
  // Nothing added or encoded: the name as the manifest lists it.
  const QString url = baseUrl + fileName;

  Exchange head;
  head.head = true;
  run(url, &head);
  if (m_abandon) return false;
  if (const QString why = failureOf(head, m_cancel); !why.isEmpty()) return fail(why);
  for (const QByteArray& line : std::as_const(head.headers)) {
    if (!line.contains("Content-Length")) continue;
    static const QRegularExpression separators(QStringLiteral("[:\\s]+"));
    const QStringList parts = QString::fromLatin1(line).split(separators, Qt::SkipEmptyParts);
    bool ok = false;
    const qint64 total = parts.value(1).toLongLong(&ok);
    if (!ok || total < 0)
      throw TessaryError(QStringLiteral("The size of %1 is not a whole number: %2")
                             .arg(fileName, QString::fromLatin1(line)));
    Q_EMIT totalSize(total);
  }
  const QString target = folder + QLatin1Char('/') + fileName;
  if (!QDir().mkpath(folder)) throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(target));
  // The body streams into a temporary file that replaces the old one only when complete.
  AtomicFile::Writer file(target);
  Q_EMIT status(QStringLiteral("Status: Downloading %1... ").arg(fileName));

  Exchange get;
  get.sink = &file;
  run(url, &get);
  if (m_abandon) return false;
  if (get.writeError) throw ProfileWriteError(*get.writeError);
  if (const QString why = failureOf(get, m_cancel); !why.isEmpty()) return fail(why);
  file.commit();
  m_progress = -1;
  Q_EMIT received(get.bodyBytes);
  Q_EMIT status(QStringLiteral("Status: Downloading Completed..."));
  return true;
}

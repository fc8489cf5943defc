#include "update/HttpDownload.h"

#include <curl/curl.h>
#ifdef _WIN32
#include <winsock2.h>  // WSAPoll: the same call under Windows' name
#else
#include <poll.h>
#endif

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
  HttpDownloader::Limits limits;  // the worker's own copy
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
  pollfd p{};
  p.fd = sock;
  p.events = static_cast<short>(forRead ? POLLIN : POLLOUT);
#ifdef _WIN32
  (void)WSAPoll(&p, 1, kPollMs);
#else
  (void)::poll(&p, 1, kPollMs);
#endif
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

// The request line and headers, in the updater's fixed order.
QByteArray requestFor(const QUrl& url, bool head, int defaultPort) {
  QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
  if (path.isEmpty()) path = "/";
  if (url.hasQuery()) path += '?' + url.query(QUrl::FullyEncoded).toUtf8();
  QByteArray request = (head ? "HEAD " : "GET ") + path + " HTTP/1.0\r\n";
  request += QByteArray(kAccept) + "\r\n" + kAgent + "\r\n";
  request += "Host: " + url.host(QUrl::FullyEncoded).toUtf8() +
             (url.port(defaultPort) != 80 ? ":" + QByteArray::number(url.port(defaultPort)) : QByteArray()) +
             "\r\n";
  request += "Pragma: no-cache\r\n\r\n";
  return request;
}

// One request and its answer on a connection of its own. libcurl makes the
// connection (name lookup, TCP, TLS for https); the request bytes are written
// here, so the lines go out exactly in the updater's order. The answer is
// HTTP/1.0: it ends at its Content-Length or when the server closes the
// connection, and only its header block is kept in memory.
class OneExchange {
 public:
  OneExchange(const QUrl& url, bool mayRedirect, HttpDownloader::Exchange* ex, Context* ctx)
      : m_url(url), m_mayRedirect(mayRedirect), m_ex(ex), m_ctx(ctx) {}
  ~OneExchange() {
    if (m_curl) curl_easy_cleanup(m_curl);
  }
  OneExchange(const OneExchange&) = delete;
  OneExchange& operator=(const OneExchange&) = delete;

  void run() {
    m_ex->headers.clear();
    m_ex->code = 0;
    m_ex->reason.clear();
    m_ex->problem.clear();
    m_ex->bodyBytes = 0;
    if (!connect() || !send(requestFor(m_url, m_ex->head, defaultPort()))) return;
    receive();
  }

 private:
  enum class Header { More, Done, Stop };

  int defaultPort() const { return m_url.scheme() == QStringLiteral("https") ? 443 : 80; }

  bool connect() {
    m_curl = curl_easy_init();
    if (!m_curl) {
      m_ex->result = CURLE_FAILED_INIT;
      return false;
    }
    const QByteArray origin =
        (m_url.scheme() + QStringLiteral("://") + m_url.host(QUrl::FullyEncoded) + QLatin1Char(':') +
         QString::number(m_url.port(defaultPort())) + QLatin1Char('/'))
            .toUtf8();
    curl_easy_setopt(m_curl, CURLOPT_URL, origin.constData());
    curl_easy_setopt(m_curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_ctx->limits.connect.count()));
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, m_ctx);
    m_ex->result = curl_easy_perform(m_curl);
    if (m_ex->result == CURLE_OPERATION_TIMEDOUT)
      m_ex->problem =
          QStringLiteral("no connection within %1 seconds").arg(m_ctx->limits.connect.count() / 1000.0);
    m_lastByte = Clock::now();
    return m_ex->result == CURLE_OK;
  }

  // No byte for the idle time: the exchange has failed.
  bool silent() {
    const auto idle = m_ctx->limits.idle;
    if (Clock::now() - m_lastByte < idle) return false;
    m_ex->problem = QStringLiteral("nothing received for %1 seconds").arg(idle.count() / 1000.0);
    return true;
  }

  bool send(const QByteArray& request) {
    size_t sent = 0;
    while (sent < static_cast<size_t>(request.size())) {
      if (m_ctx->stopped() || silent()) return false;
      size_t n = 0;
      const CURLcode rc =
          curl_easy_send(m_curl, request.constData() + sent, static_cast<size_t>(request.size()) - sent, &n);
      if (rc == CURLE_AGAIN) {
        waitFor(m_curl, false);
        continue;
      }
      if (rc != CURLE_OK) {
        m_ex->result = rc;
        return false;
      }
      sent += n;
      m_lastByte = Clock::now();
    }
    return true;
  }

  // Body bytes to the sink, within the limit and never past the stated end.
  bool takeBody(const char* data, qint64 size) {
    if (m_expected >= 0) size = std::min(size, m_expected - m_ex->bodyBytes);
    if (m_ex->bodyBytes + size > m_ctx->limits.maxBytes) {
      m_ex->problem = QStringLiteral("larger than the limit of %1").arg(sizeText(m_ctx->limits.maxBytes));
      return false;
    }
    if (m_ex->sink && size > 0) {
      try {
        m_ex->sink->append(data, size);
      } catch (const TessaryError& e) {
        m_ex->writeError = QString::fromUtf8(e.what());
        return false;
      }
    }
    m_ex->bodyBytes += size;
    if (m_ex->sink && m_ctx->progress->exchange(m_ex->bodyBytes) < 0) {
      // One queued report at a time; it reads the newest count when it runs.
      QMetaObject::invokeMethod(
          m_ctx->owner,
          [owner = m_ctx->owner, progress = m_ctx->progress] {
            const qint64 soFar = progress->exchange(-1);
            if (soFar >= 0) Q_EMIT owner->received(soFar);
          },
          Qt::QueuedConnection);
    }
    return true;
  }

  bool headerTooLong(qsizetype bytes) {
    if (bytes <= HttpDownloader::kMaxHeaderBytes) return false;
    m_ex->problem = QStringLiteral("the server's header is longer than %1 KiB")
                        .arg(HttpDownloader::kMaxHeaderBytes / 1024);
    return true;
  }

  // The bytes received so far hold the whole header block? Then its status line
  // and headers are read, and what follows it is the first of the body.
  Header readHeader(qsizetype searched) {
    qsizetype start = -1;
    const qsizetype end = headerEnd(m_answer, searched, &start);
    if (end < 0) return headerTooLong(m_answer.size()) ? Header::Stop : Header::More;
    if (headerTooLong(end)) return Header::Stop;
    m_bodyStart = start;
    const QList<QByteArray> lines = m_answer.left(end).split('\n');
    if (!readStatus(lines[0], &m_ex->code, &m_ex->reason)) {
      m_ex->problem = QStringLiteral("the server's answer has no status line");
      return Header::Stop;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const QByteArray line = lines[i].trimmed();
      if (line.isEmpty()) continue;
      m_ex->headers.append(line);
      if (line.toLower().startsWith("content-length:")) {
        bool ok = false;
        const qint64 length = line.mid(15).trimmed().toLongLong(&ok);
        if (ok && length >= 0) m_expected = length;
      }
    }
    if (m_ex->head) return Header::Stop;  // a HEAD answer has no body to wait for
    // A redirection that will be followed: its body is not the file.
    if (m_mayRedirect && m_ex->code >= 300 && m_ex->code < 400)
      for (const QByteArray& h : std::as_const(m_ex->headers))
        if (h.toLower().startsWith("location:")) return Header::Stop;
    if (m_expected > m_ctx->limits.maxBytes && (m_ex->code < 300 || m_ex->code >= 400)) {
      m_ex->problem = QStringLiteral("larger than the limit of %1").arg(sizeText(m_ctx->limits.maxBytes));
      return Header::Stop;
    }
    return takeBody(m_answer.constData() + m_bodyStart, m_answer.size() - m_bodyStart) ? Header::Done
                                                                                       : Header::Stop;
  }

  void receive() {
    char buffer[16384];
    bool closed = false;
    for (;;) {
      if (m_ctx->stopped()) return;
      if (m_bodyStart >= 0 && m_expected >= 0 && m_ex->bodyBytes >= m_expected) break;  // all there
      size_t n = 0;
      const CURLcode rc = curl_easy_recv(m_curl, buffer, sizeof buffer, &n);
      if (rc == CURLE_AGAIN) {
        if (silent()) return;
        waitFor(m_curl, true);
        continue;
      }
      if (rc != CURLE_OK) {
        // A reset: what came so far is not the whole answer.
        m_ex->problem =
            QStringLiteral("the connection broke off: %1").arg(QString::fromUtf8(curl_easy_strerror(rc)));
        return;
      }
      if (n == 0) {
        closed = true;
        break;
      }
      m_lastByte = Clock::now();
      if (m_bodyStart >= 0) {
        if (!takeBody(buffer, static_cast<qint64>(n))) return;
        continue;
      }
      const qsizetype searched = m_answer.size();
      m_answer.append(buffer, static_cast<qsizetype>(n));
      const Header header = readHeader(searched);
      if (header == Header::Stop) return;
    }
    finish(closed);
  }

  // The connection ended or the stated length arrived: a whole answer, or why not.
  void finish(bool closed) {
    if (m_bodyStart < 0) {
      m_ex->problem = closed && m_answer.isEmpty()
                          ? QStringLiteral("the server closed the connection without an answer")
                          : QStringLiteral("the server's answer has no status line");
      return;
    }
    if (m_expected >= 0 && m_ex->bodyBytes < m_expected)
      m_ex->problem =
          QStringLiteral("the transfer ended after %1 of %2 bytes").arg(m_ex->bodyBytes).arg(m_expected);
  }

  const QUrl& m_url;
  bool m_mayRedirect;
  HttpDownloader::Exchange* m_ex;
  Context* m_ctx;
  CURL* m_curl = nullptr;
  Clock::time_point m_lastByte = Clock::now();
  QByteArray m_answer;  // the header block and the first body bytes after it
  qsizetype m_bodyStart = -1;
  qint64 m_expected = -1;  // the answer's Content-Length, once known
};

void exchangeOnce(const QUrl& url, bool mayRedirect, HttpDownloader::Exchange* ex, Context* ctx) {
  OneExchange(url, mayRedirect, ex, ctx).run();
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

bool HttpDownloader::isPlainFileName(const QString& name) { return AtomicFile::isPlainFileName(name); }

// Runs a request without blocking the windows: a worker thread and a local event loop.
void HttpDownloader::run(const QString& url, Exchange* ex) {
  QEventLoop loop;
  std::atomic<bool> finished{false};
  Context ctx{this, m_limits, &m_abandon, &m_cancel, &m_progress};
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

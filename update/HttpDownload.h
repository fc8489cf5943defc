#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <thread>

// The update client's one HTTP download: HEAD, then GET, over HTTP/1.0 with the
// fixed request lines of the updater, into a folder. The transfer runs on a
// worker thread (libcurl); progress comes back as queued signals, and the call
// waits in a local event loop, so the windows stay responsive. One download at
// a time; a second one fails at once.
//
// Nothing the server sends is trusted: the answer must carry a status line, a
// body must be as long as its Content-Length says, the header block and the
// body are bounded, a silent server times out, and the file only replaces the
// old one when it is complete.
class HttpDownloader : public QObject {
  Q_OBJECT
 public:
  // The largest file the updater takes; an update file is far smaller.
  static constexpr qint64 kMaxBytes = 64LL * 1024 * 1024;
  static constexpr qint64 kMaxHeaderBytes = 64 * 1024;
  static constexpr std::chrono::milliseconds kConnectTimeout{15000};
  static constexpr std::chrono::milliseconds kIdleTimeout{30000};

  explicit HttpDownloader(QObject* parent = nullptr);
  ~HttpDownloader() override;  // abandons a running transfer and waits for its thread

  // Fetches baseUrl + fileName into folder/fileName. The file is replaced only
  // by a complete download; on failure the old one stays. True on success.
  // fileName must be a plain file name (isPlainFileName); anything else fails
  // before any request.
  bool DownloadUpdateFile(const QString& baseUrl, const QString& fileName, const QString& folder);
  bool isBusy() const { return m_busy; }
  // The user stops the running download: it fails with a status text.
  void cancel();
  // The program is closing: the running request is abandoned without a word.
  void abandon() { m_abandon = true; }

  // A name that stays inside the folder it is written to: not empty, no "/" or
  // "\", no "..", no control characters.
  static bool isPlainFileName(const QString& name);

  // How long a connection and a silence may last and how big a file may be;
  // the defaults unless a caller (a test) sets other ones for this downloader.
  struct Limits {
    std::chrono::milliseconds connect = kConnectTimeout;
    std::chrono::milliseconds idle = kIdleTimeout;
    qint64 maxBytes = kMaxBytes;
  };
  void setLimits(const Limits& limits) { m_limits = limits; }
  const Limits& limits() const { return m_limits; }

 Q_SIGNALS:
  void status(const QString& text);  // "Status: Downloading <name>... " and so on
  void failed(const QString& text);  // "Update Failed: <name> <reason>..."
  void totalSize(qint64 bytes);      // from the HEAD answer's Content-Length
  void received(qint64 bytes);       // body bytes so far in the GET
  void busyChanged(bool busy);       // a download started or ended

 public:
  struct Exchange;  // one request's answer (the worker's side)

 private:
  void run(const QString& url, Exchange* ex);

  std::atomic<bool> m_abandon{false};
  std::atomic<bool> m_cancel{false};
  std::atomic<qint64> m_progress{-1};  // the latest count not yet reported; -1: none waiting
  std::thread m_worker;
  bool m_busy = false;
  Limits m_limits;
};

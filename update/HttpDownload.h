#pragma once
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

// The update client's one HTTP download: HEAD, then GET, over HTTP/1.0 with the
// fixed request lines of the updater, into a folder. The transfer runs on a
// worker thread (libcurl); progress comes back as queued signals, and the call
// waits in a local event loop, so the windows stay responsive. One download at
// a time; a second one fails at once.
class HttpDownloader : public QObject {
  Q_OBJECT
 public:
  explicit HttpDownloader(QObject* parent = nullptr);
  ~HttpDownloader() override;

  // Fetches baseUrl + fileName into folder/fileName. The file is replaced only
  // by a complete download; on failure the old one stays. True on success.
  bool DownloadUpdateFile(const QString& baseUrl, const QString& fileName, const QString& folder);
  bool isBusy() const { return m_busy; }
  // The program is closing: the running request is abandoned.
  void abandon() { m_abandon = true; }

 Q_SIGNALS:
  void status(const QString& text);       // "Status: Downloading <name>... " and so on
  void failed(const QString& text);       // "Update Failed: <name> <reason>..."
  void totalSize(qint64 bytes);           // from the HEAD answer's Content-Length
  void received(qint64 bytes);            // body bytes so far in the GET

 private:
  std::atomic<bool> m_abandon{false};
  bool m_busy = false;
};

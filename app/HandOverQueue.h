#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

// The files later copies hand over, waiting to be opened, one at a time. A
// later copy both writes the hand-over key and sends the name through the
// socket: whichever way comes first opens it, and the same name coming the
// other way within kWindowMs is not opened again. No window and no wall clock
// of its own: the clock is given, so a test can move it.
class HandOverQueue {
 public:
  static constexpr qint64 kWindowMs = 30000;
  using Clock = std::function<qint64()>;  // milliseconds, any steady origin
  explicit HandOverQueue(Clock clock = {});

  void append(const QString& path) { m_waiting.append(path); }
  bool isEmpty() const { return m_waiting.isEmpty(); }
  QString takeFirst() { return m_waiting.takeFirst(); }
  // The key's way opened path (or will open it).
  void openedByKey(const QString& path);
  // Whether the key's way opened path lately; the record is used up, so a
  // later hand-over of the same file opens it again.
  bool takeOpenedByKey(const QString& path);

 private:
  Clock m_clock;
  QStringList m_waiting;
  std::vector<std::pair<QString, qint64>> m_byKey;
};

// What every platform's file code shares: plain file names and the fault plan
// of the tests.
#include "profile/AtomicFile.h"

#include <algorithm>
#include <atomic>

#include "profile/AtomicFileFaults.h"

namespace {
std::atomic<qint64> g_room{-1};  // bytes the disk still takes; negative: no plan
std::atomic<int> g_failStep{0};  // AtomicFile::Step: the next write fails there once
}  // namespace

namespace AtomicFile {

bool isPlainFileName(const QString& name) {
  if (name.isEmpty() || name == QStringLiteral(".") || name.contains(QStringLiteral(".."))) return false;
  for (const QChar c : name)
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F ||
        c.category() == QChar::Other_Control)
      return false;
  return true;
}

Faults::Faults(const FaultPlan& plan) {
  g_room.store(plan.writableBytes);
  g_failStep.store(static_cast<int>(plan.failStep));
}

Faults::~Faults() {
  g_room.store(-1);
  g_failStep.store(0);
}

namespace Detail {
bool failsAt(Step step) {
  int expected = static_cast<int>(step);
  return step != Step::None && g_failStep.compare_exchange_strong(expected, 0);
}

qint64 roomFor(qint64 chunk) {
  const qint64 room = g_room.load();
  if (room < 0) return chunk;
  const qint64 taken = std::min(chunk, room);
  g_room.store(room - taken);
  return taken;
}
}  // namespace Detail

}  // namespace AtomicFile

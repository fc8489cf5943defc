#include "app/HandOverQueue.h"

#include <QDateTime>
#include <algorithm>

HandOverQueue::HandOverQueue(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); })) {}

void HandOverQueue::openedByKey(const QString& path) { m_byKey.emplace_back(path, m_clock()); }

bool HandOverQueue::takeOpenedByKey(const QString& path) {
  const qint64 now = m_clock();
  std::erase_if(m_byKey, [now](const auto& pick) { return now - pick.second > kWindowMs; });
  const auto it =
      std::find_if(m_byKey.begin(), m_byKey.end(), [&](const auto& pick) { return pick.first == path; });
  if (it == m_byKey.end()) return false;
  m_byKey.erase(it);
  return true;
}

#include "components/ShipBars.h"

#include <QHash>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kIcon = 12;
constexpr int kGap = 4;
const QColor kBar(96, 140, 200);
const QColor kOutlier(230, 140, 40);
}  // namespace

ShipBars::ShipBars(const QList<QIcon>& icons, QWidget* parent) : QWidget(parent), m_icons(icons) {
  setObjectName(QStringLiteral("ShipBars"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setValues(QStringList(static_cast<int>(m_icons.size()), QStringLiteral("0")));
}

void ShipBars::setValues(const QStringList& values) {
  m_values = values;
  m_numbers.clear();
  m_min = m_max = 0;
  QHash<QString, int> counts;
  int best = 0;
  for (const QString& v : values) {
    bool ok = false;
    const double n = v.trimmed().toDouble(&ok);
    m_numbers.append(ok && std::isfinite(n) ? std::optional<double>(n) : std::nullopt);
    if (ok && std::isfinite(n)) {
      m_min = std::min(m_min, n);
      m_max = std::max(m_max, n);
    }
    const int c = ++counts[v.trimmed()];
    if (c > best) {
      best = c;
      m_common = v.trimmed();
    }
  }
  if (best <= 1) m_common.clear();  // all different: none stands out more than another
  update();
}

bool ShipBars::standsOut(int row) const {
  return row >= 0 && row < m_values.size() && !m_common.isNull() && m_values[row].trimmed() != m_common;
}

ShipBars::Layout ShipBars::layoutFor(int width) const {
  // Room for the longest value text at the right.
  int text = fontMetrics().horizontalAdvance(QStringLiteral("00000"));
  for (const QString& v : m_values) text = std::max(text, fontMetrics().horizontalAdvance(v));
  Layout l{};
  l.barLeft = kIcon + kGap;
  l.barWidth = std::max(0, width - l.barLeft - kGap - text - 2);
  const double span = m_max - m_min;
  l.zeroX = l.barLeft + (span > 0 ? static_cast<int>(std::lround(-m_min / span * l.barWidth)) : 0);
  return l;
}

QRect ShipBars::barRect(int row) const {
  if (row < 0 || row >= m_numbers.size() || !m_numbers[row]) return {};
  const double span = m_max - m_min;
  if (span <= 0) return {};
  const Layout l = layoutFor(width());
  const int end = l.barLeft + static_cast<int>(std::lround((*m_numbers[row] - m_min) / span * l.barWidth));
  const int left = std::min(l.zeroX, end);
  const int right = std::max(l.zeroX, end);
  if (right == left) return {};
  return QRect(left, row * kRowHeight + 2, right - left, kRowHeight - 4);
}

QSize ShipBars::sizeHint() const { return QSize(160, static_cast<int>(m_icons.size()) * kRowHeight + 1); }
QSize ShipBars::minimumSizeHint() const { return QSize(80, sizeHint().height()); }

void ShipBars::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  const Layout l = layoutFor(width());
  p.setPen(palette().mid().color());
  p.drawLine(l.zeroX, 0, l.zeroX, height() - 1);
  for (int row = 0; row < m_values.size(); ++row) {
    const int y = row * kRowHeight;
    if (row < m_icons.size()) m_icons[row].paint(&p, QRect(0, y + 1, kIcon, kIcon));
    const QRect bar = barRect(row);
    if (!bar.isEmpty()) p.fillRect(bar, standsOut(row) ? kOutlier : kBar);
    p.setPen(palette().text().color());
    const int textX = std::max(bar.isEmpty() ? l.zeroX : bar.right(), l.zeroX) + kGap;
    p.drawText(QRect(textX, y, width() - textX, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter, m_values[row]);
  }
}

#include "components/SegmentedProgressBar.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cstring>

using namespace ProgressTables;

namespace {
Rgb rgb(const QColor& c) { return {c.red(), c.green(), c.blue()}; }
QRgb qrgb(const Rgb& c) { return qRgb(c.r, c.g, c.b); }
}  // namespace

TQProgressBar::TQProgressBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TQProgressBar"));
  resize(64, 16);
  m_margin = 2;
  rebuild();
}

int TQProgressBar::across() const { return m_orientation == Orientation::boHorizontal ? height() : width(); }

int TQProgressBar::length() const {
  const int along = m_orientation == Orientation::boHorizontal ? width() : height();
  return along - 2 * m_margin;
}

void TQProgressBar::rebuild() {
  if (m_holdRebuild) return;
  const int b = 2 * m_margin;
  const int L = std::max(length(), 0);
  m_blocks = blocks(L, m_blockSize, m_spaceSize);
  const int n = across() - b + 1;
  const bool cylinder = m_kind == BarKind::bkCylinder;
  const Look look = m_look == BarLook::blMetal ? Look::Metal : Look::Glass;
  m_active.assign(static_cast<size_t>(L) + 1, {});
  for (int i = 0; i <= L; ++i)
    m_active[static_cast<size_t>(i)] = column(colourAt(i, L, rgb(m_start), rgb(m_final)), n, cylinder, look);
  m_inactiveColumn = across() > b ? column(rgb(m_inactive), n, cylinder, look, m_invertInactive)
                                  : std::vector<Rgb>(1, rgb(m_inactive));
  update();
}

void TQProgressBar::setOrientation(Orientation o) {
  if (o == m_orientation) return;
  m_holdRebuild = true;  // one rebuild at the end, not one per size change
  m_orientation = o;
  if ((o == Orientation::boVertical && width() > height()) ||
      (o == Orientation::boHorizontal && height() > width()))
    resize(height(), width());
  m_margin = across() > 9 ? 2 : 1;
  m_holdRebuild = false;
  rebuild();
  setPosition(m_position);
}

void TQProgressBar::setBarKind(BarKind k) {
  m_kind = k;
  rebuild();
}
void TQProgressBar::setBarLook(BarLook l) {
  m_look = l;
  rebuild();
}
void TQProgressBar::setRoundCorner(bool on) {
  m_roundCorner = on;
  m_frameDirty = true;
  update();
}
void TQProgressBar::setShaped(bool on) {
  m_shaped = on;
  m_frameDirty = true;
  update();
}
void TQProgressBar::setBackgroundColor(const QColor& c) {
  m_background = c;
  m_frameDirty = true;
  rebuild();
}
void TQProgressBar::setShapeColor(const QColor& c) {
  m_shape = c;
  m_frameDirty = true;
  rebuild();
}
void TQProgressBar::setBarColor(const QColor& c) {
  m_start = c;
  m_final = c;
  rebuild();
}
void TQProgressBar::setStartColor(const QColor& c) {
  m_start = c;
  rebuild();
}
void TQProgressBar::setFinalColor(const QColor& c) {
  m_final = c;
  rebuild();
}
void TQProgressBar::setShowFullBlock(bool on) {
  m_showFullBlock = on;
  update();
}
void TQProgressBar::setShowInactivePos(bool on) {
  m_showInactive = on;
  update();
}
void TQProgressBar::setInactivePosColor(const QColor& c) {
  m_inactive = c;
  rebuild();
}
void TQProgressBar::setInvertInactPos(bool on) {
  m_invertInactive = on;
  rebuild();
}

void TQProgressBar::setBlockSize(int size) {
  size = std::abs(size);
  if (size > length()) return;  // a block longer than the bar is ignored
  m_blockSize = size;
  rebuild();
}

void TQProgressBar::setSpaceSize(int size) {
  size = std::abs(size);
  if (size > length()) return;
  m_spaceSize = size;
  rebuild();
}

void TQProgressBar::setMaximum(int maximum) {
  // The fill follows at the next position change.
  m_maximum = std::max(maximum, 0);
  update();
}

void TQProgressBar::setCaption(const QString& text) {
  m_caption = text;
  update();
}

void TQProgressBar::setPosition(int value) {
  m_position = value;
  if (m_maximum != 0) {
    const int clamped = std::min(value, m_maximum);
    m_percent = value <= 0 ? 0 : static_cast<double>(clamped) * 100.0 / m_maximum;
    m_fill = ProgressTables::fill(value, m_maximum, std::max(length(), 0), 2 * m_margin + 1);
    if (AutoHint && value > 0)
      setToolTip(ShowPosAsPct ? QString::number(m_percent) + QStringLiteral(" %") : QString::number(value));
    if (hideOnTerminate && clamped == m_maximum) QTimer::singleShot(100, this, &QWidget::hide);
  }
  update();
}

void TQProgressBar::resizeEvent(QResizeEvent*) {
  m_margin = across() > 9 ? 2 : 1;
  rebuild();
  setPosition(m_position);
}

void TQProgressBar::paintOn(QImage& image) {
  // The frame is drawn once per change of its look; each paint starts from a copy of it.
  if (m_frame.size() != size() || m_frameDirty) {
    m_frame = QImage(size(), QImage::Format_ARGB32);
    m_frame.fill(Qt::transparent);
    if (m_shaped) {
      QPainter p(&m_frame);
      p.setPen(m_shape);
      p.setBrush(m_background);
      const int radius = m_roundCorner ? 5 : 0;
      p.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), radius, radius);
    }
    m_frameDirty = false;
  }
  if (image.size() != m_frame.size() || image.format() != m_frame.format())
    image = m_frame.copy();
  else
    std::memcpy(image.bits(), m_frame.constBits(), static_cast<size_t>(m_frame.sizeInBytes()));
  const int b = 2 * m_margin;
  const int L = std::max(length(), 0);
  const bool segmented = !m_blocks.empty();
  auto drawColumn = [&](int pos, const std::vector<Rgb>& col) {
    for (int c = b - 1; c <= across() - b; ++c) {
      const Rgb& colour = col[std::min(static_cast<size_t>(std::max(c, 0)), col.size() - 1)];
      const int x = m_orientation == Orientation::boHorizontal ? pos : c;
      const int y = m_orientation == Orientation::boHorizontal ? c : height() - 1 - pos;
      if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = qrgb(colour);
    }
  };
  for (int pos = b - 1; pos <= m_fill && pos <= L; ++pos) {
    if (!segmented) {
      drawColumn(pos, m_active[static_cast<size_t>(pos)]);
      continue;
    }
    const Block& blk = m_blocks[static_cast<size_t>(pos)];
    if (!blk.inBlock) continue;
    if (!m_showFullBlock || m_fill >= blk.end)
      drawColumn(pos, m_active[static_cast<size_t>(pos)]);
    else if (m_showInactive)
      drawColumn(pos, m_inactiveColumn);
  }
  if (m_showInactive)
    for (int pos = std::max(m_fill + 1, 3); pos <= L; ++pos)
      if (!segmented || m_blocks[static_cast<size_t>(pos)].inBlock) drawColumn(pos, m_inactiveColumn);
  if (AutoCaption)
    m_caption = ShowPosAsPct ? QString::number(m_percent) + QStringLiteral("%") : QString::number(m_position);
  if (!m_caption.isEmpty()) {
    QPainter t(&image);
    t.setFont(font());
    t.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics fm = t.fontMetrics();
    const int y = (height() - fm.height()) / 2;
    int x = 0;
    if (captionAlign & Qt::AlignHCenter) x = (width() - fm.horizontalAdvance(m_caption)) / 2;
    if (captionAlign & Qt::AlignRight) x = width() - fm.horizontalAdvance(m_caption) - 1;
    t.drawText(x, y + fm.ascent(), m_caption);
  }
}

QImage TQProgressBar::picture() {
  paintOn(m_picture);
  return m_picture;
}

void TQProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, picture());
}

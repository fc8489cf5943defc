#include "components/CRPanel.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

TCRPanel::TCRPanel(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this)) {
  setObjectName(QStringLiteral("CRPanel"));
  m_timer->setInterval(m_interval);
  connect(m_timer, &QTimer::timeout, this, &TCRPanel::step);
  reset();
}

void TCRPanel::setStrings(const QStringList& lines) {
  m_strings = lines;
  reset();
}

void TCRPanel::setActive(bool on) {
  m_active = on;
  if (on)
    m_timer->start();
  else
    m_timer->stop();
  reset();
}

void TCRPanel::setInterval(int ms) {
  m_interval = ms;
  m_timer->setInterval(ms);
}

void TCRPanel::setBeginColor(const QColor& c) {
  m_begin = c;
  reset();
}

void TCRPanel::setEndColor(const QColor& c) {
  m_end = c;
  reset();
}

void TCRPanel::reset() {
  m_lineHeight = std::max(1, fontMetrics().boundingRect(QStringLiteral("W")).height());
  m_rows = height() / (m_lineHeight + 3) + 5;
  m_first = 0;
  m_offset = height();
  m_picture = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  m_picture.fill(Background);
  update();
}

QColor TCRPanel::gradientColour(const QColor& begin, const QColor& end, int s, int n) {
  auto channel = [&](int b, int e) {
    const int stepSize = n == 0 ? 0 : (e - b) / n;  // truncated toward zero: the steps stay whole numbers
    return ((b + s * stepSize) % 256 + 256) % 256;
  };
  return QColor(channel(begin.red(), end.red()), channel(begin.green(), end.green()),
                channel(begin.blue(), end.blue()));
}

void TCRPanel::paintPicture() {
  QPainter p(&m_picture);
  if (DrawGlyph && !Glyph.isNull()) {
    if (GlyphDraw == GlyphDrawType::dgStrech)
      p.drawImage(m_picture.rect(), Glyph);
    else
      p.drawTiledPixmap(m_picture.rect(), QPixmap::fromImage(Glyph));
  } else {
    p.fillRect(m_picture.rect(), Background);
  }
  if (!m_active) return;
  p.setFont(font());
  const QFontMetrics fm = p.fontMetrics();
  for (int r = 0; r <= m_rows && m_first + r < m_strings.size(); ++r) {
    const QString& line = m_strings[m_first + r];
    const int s = r + m_offset / m_lineHeight;
    p.setPen(UseGradient ? gradientColour(m_begin, m_end, s, m_rows) : palette().color(QPalette::WindowText));
    const int width = fm.horizontalAdvance(line);
    int x = 0;
    if (Alignment & Qt::AlignHCenter)
      x = m_picture.width() / 2 - width / 2;
    else if (Alignment & Qt::AlignRight)
      x = m_picture.width() - width;
    p.drawText(x, r * m_lineHeight + m_offset + fm.ascent(), line);
  }
}

void TCRPanel::step() {
  if (m_painting) return;  // the previous step is still painting
  m_painting = true;
  paintPicture();
  update();
  --m_offset;
  if (m_offset < -m_lineHeight) {
    ++m_first;
    m_offset = 0;
  }
  if (m_first >= m_strings.size()) {
    m_first = 0;
    m_offset = height();
  }
  m_painting = false;
}

void TCRPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, m_picture);
}

void TCRPanel::resizeEvent(QResizeEvent*) { reset(); }

void TCRPanel::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) reset();
  QWidget::changeEvent(e);
}

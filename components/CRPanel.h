#pragma once
#include <QColor>
#include <QImage>
#include <QStringList>
#include <QWidget>

class QTimer;

// A panel of scrolling credits: the lines move up one pixel a step, painted
// from an off-screen picture of the panel's size, each line coloured from a
// gradient by its row, or in the font colour.
class TCRPanel : public QWidget {
  Q_OBJECT
 public:
  enum class GlyphDrawType { dgStrech, dgTile };

  explicit TCRPanel(QWidget* parent = nullptr);

  QStringList Strings() const { return m_strings; }
  void setStrings(const QStringList& lines);
  bool Active() const { return m_active; }
  void setActive(bool on);
  int Interval() const { return m_interval; }
  void setInterval(int ms);
  bool UseGradient = false;
  QColor BeginColor() const { return m_begin; }
  void setBeginColor(const QColor& c);
  QColor EndColor() const { return m_end; }
  void setEndColor(const QColor& c);
  bool DrawGlyph = false;
  QImage Glyph;
  GlyphDrawType GlyphDraw = GlyphDrawType::dgStrech;
  QColor Background = Qt::black;
  Qt::Alignment Alignment = Qt::AlignHCenter;

  // The scroll: line height h, rows n, first line f, offset y.
  int lineHeight() const { return m_lineHeight; }
  int rows() const { return m_rows; }
  int firstLine() const { return m_first; }
  int offset() const { return m_offset; }
  void reset();
  // One scroll step: paint the picture, then move (what each timer tick does).
  void step();
  QImage picture() const { return m_picture; }

  // The gradient colour of step s over n rows; the steps truncate, so the last row stops short of the end
  // colour.
  static QColor gradientColour(const QColor& begin, const QColor& end, int s, int n);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void paintPicture();

  QStringList m_strings;
  bool m_active = false;
  int m_interval = 1;
  QColor m_begin = QColor(0x71, 0x71, 0xFF);  // "$00FF7171" in blue-green-red order
  QColor m_end = QColor(0xFF, 0xFF, 0x80);    // "$0080FFFF"
  QTimer* m_timer;
  QImage m_picture;
  int m_lineHeight = 0;
  int m_rows = 0;
  int m_first = 0;
  int m_offset = 0;
  bool m_painting = false;
};

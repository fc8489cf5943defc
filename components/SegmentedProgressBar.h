#pragma once
#include <QColor>
#include <QImage>
#include <QWidget>
#include <vector>

#include "components/ProgressTables.h"

// The program's own progress bar: a rounded frame filled from the left (or the
// bottom) with whole blocks whose colour runs from startColor to finalColor and
// is shaded across the bar like a metal cylinder. Every pixel's colour is
// computed when a property or the size changes; painting only looks them up.
class TQProgressBar : public QWidget {
  Q_OBJECT
 public:
  enum class Orientation { boHorizontal, boVertical };
  enum class BarKind { bkFlat, bkCylinder };
  enum class BarLook { blMetal, blGlass };

  explicit TQProgressBar(QWidget* parent = nullptr);

  void setOrientation(Orientation o);
  Orientation orientation() const { return m_orientation; }
  void setBarKind(BarKind k);
  void setBarLook(BarLook l);
  void setRoundCorner(bool on);
  void setShaped(bool on);
  void setBackgroundColor(const QColor& c);
  void setShapeColor(const QColor& c);
  void setBarColor(const QColor& c);  // start and final at once
  void setStartColor(const QColor& c);
  void setFinalColor(const QColor& c);
  void setBlockSize(int size);
  void setSpaceSize(int size);
  int blockSize() const { return m_blockSize; }
  int spaceSize() const { return m_spaceSize; }
  void setShowFullBlock(bool on);
  void setShowInactivePos(bool on);
  void setInactivePosColor(const QColor& c);
  void setInvertInactPos(bool on);
  void setMaximum(int maximum);
  int maximum() const { return m_maximum; }
  void setPosition(int value);
  int position() const { return m_position; }
  bool hideOnTerminate = false;
  void setCaption(const QString& text);
  QString caption() const { return m_caption; }
  Qt::Alignment captionAlign = Qt::AlignLeft;
  bool AutoCaption = false;
  bool AutoHint = false;
  bool ShowPosAsPct = false;

  // Derived, for checks.
  int margin() const { return m_margin; }
  int length() const;
  int fill() const { return m_fill; }
  QImage picture();  // the bar as painted

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rebuild();
  void paintOn(QImage& image);
  int across() const;

  Orientation m_orientation = Orientation::boHorizontal;
  BarKind m_kind = BarKind::bkFlat;
  BarLook m_look = BarLook::blMetal;
  bool m_roundCorner = false;
  bool m_shaped = true;
  QColor m_background = Qt::white;
  QColor m_shape = QColor(0, 60, 116);
  QColor m_start = Qt::green;
  QColor m_final = Qt::green;
  int m_blockSize = 0;
  int m_spaceSize = 0;
  bool m_showFullBlock = false;
  bool m_showInactive = false;
  QColor m_inactive = QColor(128, 128, 128);
  bool m_invertInactive = false;
  int m_maximum = 100;
  int m_position = 0;
  int m_fill = 0;
  double m_percent = 0;
  QString m_caption;
  int m_margin = 2;
  bool m_holdRebuild = false;
  std::vector<ProgressTables::Block> m_blocks;
  std::vector<std::vector<ProgressTables::Rgb>> m_active;  // per position, per cross pixel
  std::vector<ProgressTables::Rgb> m_inactiveColumn;
  QImage m_frame;  // frame and background, drawn once per change of their look
  bool m_frameDirty = true;
  QImage m_picture;  // the last painted picture, reused
};

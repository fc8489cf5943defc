#pragma once
#include <QImage>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QSlider;

// The multifire angle preview: a 200x200 picture of space with the ship in the
// middle and the two bullet lines (blue right, red left), a slider and a box
// for the angle in MultiFireAngle units. The slider position is the only state.
class MultifireView : public QWidget {
  Q_OBJECT
 public:
  explicit MultifireView(QWidget* parent = nullptr);

  // Where the background comes from at each redraw; the default is the built-in picture.
  void setBackgroundLoader(std::function<QImage()> loader) { m_loadBackground = std::move(loader); }
  void setShipPicture(const QImage& picture);
  QImage shipPicture() const { return m_shipImage; }
  QImage picture() const { return m_picture; }  // the preview as shown: background and lines

  int angle() const;
  void setAngle(int value);  // clamped to 0..40000
  QSlider* slider() const { return TrackBar1; }
  QLineEdit* edit() const { return Edit1; }

  void TrackBar1Change();
  void Edit1Change();
  void DrawMultifireLines();
  void reloadBackground();

 private:
  void showPicture();

  QLabel* m_preview;
  QLabel* m_ship;
  QSlider* TrackBar1;
  QLineEdit* Edit1;
  QImage m_picture;
  QImage m_shipImage;
  std::function<QImage()> m_loadBackground;
};

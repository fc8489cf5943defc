#pragma once
#include <QIcon>
#include <QList>
#include <QStringList>
#include <QWidget>
#include <optional>

// One setting across the eight ships as a small bar chart, a row per ship
// (its picture, a bar from zero, the value written beside it), drawn to the
// width it is given. Bars of values that differ from the most common one are
// drawn in a colour of their own, so the ship that stands out shows at once.
// A value that is not a number draws no bar; its text still shows.
class ShipBars : public QWidget {
  Q_OBJECT
 public:
  ShipBars(const QList<QIcon>& icons, QWidget* parent = nullptr);

  void setValues(const QStringList& values);
  QStringList values() const { return m_values; }
  // Where a row's bar lies (empty for none): tests measure the bars with it.
  QRect barRect(int row) const;
  bool standsOut(int row) const;
  static constexpr int kRowHeight = 14;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Layout {
    int barLeft;
    int barWidth;
    int zeroX;
  };
  Layout layoutFor(int width) const;

  QList<QIcon> m_icons;
  QStringList m_values;
  QList<std::optional<double>> m_numbers;
  double m_min = 0;
  double m_max = 0;
  QString m_common;  // the value most ships have
};

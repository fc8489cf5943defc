#pragma once
#include <QPoint>

// End points of the two multifire lines on the 200x200 preview, for an angle in
// MultiFireAngle units (40000 = a full turn). Both start at the centre (100, 100)
// and reach far past the border, where painting clips them.
struct MultifireLines {
  QPoint centre{100, 100};
  QPoint right;  // blue: the right bullet
  QPoint left;   // red: the left bullet
};

MultifireLines multifireLines(int angle);

#include "tools/MultifireGeometry.h"

#include <cfenv>
#include <cmath>
#include <numbers>

MultifireLines multifireLines(int angle) {
  const double a = angle * 0.009 * std::numbers::pi / 180.0;
  std::fesetround(FE_TONEAREST);  // halves go to the even neighbour
  const int s = static_cast<int>(std::nearbyint(10000.0 * std::sin(a)));
  const int c = static_cast<int>(std::nearbyint(10000.0 * std::cos(a)));
  MultifireLines lines;
  lines.right = QPoint(100 + s, 100 - c);
  lines.left = QPoint(100 - s, 100 - c);
  return lines;
}

#pragma once
#include <QIcon>
#include <QImage>

// The program's pictures, drawn in code so they stay crisp and consistent.
namespace Pictures {
constexpr int kMainCount = 45;
constexpr int kShipIconCount = 10;  // the eight ships, then the "Other" page at 8
// The main picture list: 16x16 pictures of menus, buttons and tabs.
QIcon main(int index);
QPixmap mainPixmap(int index);
// The ship icon list: ships 0 to 7 in ship order, the "Other" page at 8.
QIcon ship(int index);
// A ship seen from above, nose up, on a transparent background.
QImage shipImage(int ship, int size = 36);
// Black space with a few stars and a green circle round the centre, 200x200.
QImage multifireBackground();
}  // namespace Pictures

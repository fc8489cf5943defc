#pragma once
#include <QIcon>
#include <QImage>
#include <QString>

// The program's pictures, shipped as PNG files in the program's resources
// (resources/pictures, drawn by scripts/genimages.cpp at 16, 24 and 32 pixels).
namespace Pictures {
constexpr int kMainCount = 45;
constexpr int kShipIconCount = 10;  // the eight ships, then the "Other" page at 8 and 9
// The name of a position of the main picture list, empty for a position no command uses.
QString mainName(int index);
// The main picture list: pictures of menus, buttons and tabs, all of one set.
QIcon main(int index);
// The ship icon list: ships 0 to 7 in ship order, the "Other" page at 8.
QIcon ship(int index);
// A ship seen from above, nose up, 36x36 on a transparent background.
QImage shipImage(int ship);
// Black space with a few stars and a green circle round the centre, 200x200.
QImage multifireBackground();
}  // namespace Pictures

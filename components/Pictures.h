#pragma once
#include <QIcon>
#include <QImage>
#include <QString>

// The program's pictures, shipped as PNG files in the program's resources
// (resources/pictures, drawn by scripts/genimages.cpp at 16, 24 and 32 pixels).
namespace Pictures {
constexpr int kMainCount = 45;
constexpr int kShipIconCount = 10;  // the eight ships, then the "Other" page at 8 and 9
// The positions of the main picture list, by what they show: a misspelt one is
// a compile error, where a wrong number would show another picture.
enum class Picture : int {
  None = -1,
  New = 0,
  RecentFiles = 1,
  Open = 2,
  Cascade = 3,
  MaximizeAll = 4,
  MinimizeAll = 5,
  Tile = 6,
  Print = 7,
  Find = 8,
  Calculators = 9,
  Properties = 10,
  CloseAll = 11,
  Close = 12,
  Exit = 13,
  Undo = 14,
  Redo = 15,
  Information = 16,
  Import = 17,
  Copy = 18,
  Save = 19,
  SaveAs = 20,
  Paste = 21,
  Export = 22,
  ReRead = 23,
  NewServer = 24,
  ShowSidePanel = 25,
  HideSidePanel = 26,
  Tools = 27,
  Compare = 28,
  Notes = 29,
  Help = 30,
  Scan = 31,
  Validation = 32,
  ErrorItem = 34,
  CheckForUpdates = 42,
  DownloadUpdates = 44,
};
// The name of a position of the main picture list, empty for a position no command uses.
QString mainName(int index);
// The main picture list: pictures of menus, buttons and tabs, all of one set.
QIcon main(Picture picture);
// The ship icon list: ships 0 to 7 in ship order, the "Other" page at 8.
QIcon ship(int index);
// A ship seen from above, nose up, 36x36 on a transparent background.
QImage shipImage(int ship);
// Black space with a few stars and a green circle round the centre, 200x200.
QImage multifireBackground();
}  // namespace Pictures

// Used everywhere the program names a picture.
using Picture = Pictures::Picture;

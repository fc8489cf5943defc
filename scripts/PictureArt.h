#pragma once
#include <QByteArray>
#include <QImage>

// The drawings behind the program's pictures. Only the picture generator uses
// them: the program loads the pictures it draws from files (resources/).
namespace PictureArt {
// A picture of the main list on a 16-unit grid, drawn at size x size pixels.
QImage mainImage(int index, int size);
// A ship seen from above, nose up, on a transparent background; 8 is the "Other" gear.
QImage shipImage(int ship, int size = 36);
// The program's icon, size x size pixels, and the same drawing as SVG text.
QImage appIcon(int size);
QByteArray appIconSvg();
// Black space with a few stars and a green circle round the centre, 200x200.
QImage multifireBackground();
}  // namespace PictureArt

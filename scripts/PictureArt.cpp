#include "scripts/PictureArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <vector>

namespace {

const QColor kInk(40, 48, 64);

QPainterPath shipPath(int ship) {
  // Outlines in a 36x36 box, nose up.
  QPainterPath p;
  auto poly = [&](std::initializer_list<QPointF> pts) {
    p.addPolygon(QPolygonF(QList<QPointF>(pts)));
    p.closeSubpath();
  };
  switch (ship) {
    case 0:  // Warbird: slim fighter with swept wings
      poly({{18, 2},
            {21, 12},
            {33, 26},
            {33, 30},
            {21, 26},
            {20, 33},
            {16, 33},
            {15, 26},
            {3, 30},
            {3, 26},
            {15, 12}});
      break;
    case 1:  // Javelin: long dart with tail fins
      poly({{18, 1}, {20, 8}, {20, 24}, {27, 33}, {20, 31}, {18, 35}, {16, 31}, {9, 33}, {16, 24}, {16, 8}});
      break;
    case 2:  // Spider: round hull with four legs
      p.addEllipse(QPointF(18, 19), 8, 9);
      poly({{17, 2}, {19, 2}, {19, 11}, {17, 11}});
      poly({{10, 14}, {2, 8}, {3, 6}, {11, 12}});
      poly({{26, 14}, {34, 8}, {33, 6}, {25, 12}});
      poly({{10, 24}, {2, 32}, {4, 33}, {12, 26}});
      poly({{26, 24}, {34, 32}, {32, 33}, {24, 26}});
      break;
    case 3:  // Leviathan: heavy wide hull with a gun
      poly({{16, 2},
            {20, 2},
            {20, 8},
            {28, 10},
            {34, 20},
            {34, 30},
            {26, 34},
            {10, 34},
            {2, 30},
            {2, 20},
            {8, 10},
            {16, 8}});
      break;
    case 4:  // Terrier: small body with two forward prongs
      poly({{8, 3}, {12, 3}, {13, 14}, {23, 14}, {24, 3}, {28, 3}, {30, 22}, {24, 32}, {12, 32}, {6, 22}});
      break;
    case 5:  // Weasel: thin hull with wide rear wings
      poly({{18, 3}, {20, 16}, {31, 30}, {20, 27}, {19, 34}, {17, 34}, {16, 27}, {5, 30}, {16, 16}});
      break;
    case 6:  // Lancaster: broad delta
      poly({{18, 3}, {34, 32}, {24, 29}, {18, 34}, {12, 29}, {2, 32}});
      break;
    case 7:  // Shark: rounded nose, fins along the sides
      p.moveTo(18, 2);
      p.cubicTo(24, 6, 24, 16, 22, 22);
      p.lineTo(30, 26);
      p.lineTo(21, 27);
      p.lineTo(24, 34);
      p.lineTo(18, 30);
      p.lineTo(12, 34);
      p.lineTo(15, 27);
      p.lineTo(6, 26);
      p.lineTo(14, 22);
      p.cubicTo(12, 16, 12, 6, 18, 2);
      p.closeSubpath();
      break;
    default:
      break;
  }
  return p;
}

const QColor kShipColours[8] = {QColor(220, 200, 60),  QColor(80, 200, 230), QColor(200, 90, 220),
                                QColor(120, 200, 90),  QColor(240, 140, 60), QColor(230, 70, 70),
                                QColor(110, 130, 240), QColor(170, 170, 190)};

void page(QPainter& p, const QColor& fill = Qt::white) {
  QPainterPath path;
  path.moveTo(3, 1);
  path.lineTo(10, 1);
  path.lineTo(13, 4);
  path.lineTo(13, 15);
  path.lineTo(3, 15);
  path.closeSubpath();
  p.setPen(QPen(kInk, 1));
  p.setBrush(fill);
  p.drawPath(path);
  p.drawLine(QPointF(10, 1), QPointF(10, 4));
  p.drawLine(QPointF(10, 4), QPointF(13, 4));
}

void lines(QPainter& p, int x0, int x1, std::initializer_list<int> ys, const QColor& c) {
  p.setPen(QPen(c, 1));
  for (int y : ys) p.drawLine(x0, y, x1, y);
}

void folder(QPainter& p) {
  p.setPen(QPen(QColor(150, 110, 20), 1));
  p.setBrush(QColor(250, 205, 80));
  p.drawRect(QRectF(1.5, 4.5, 13, 10));
  p.drawRect(QRectF(1.5, 2.5, 5, 2));
}

void disk(QPainter& p, const QColor& body) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(body);
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4.5, 1.5, 7, 5));
  p.setBrush(QColor(200, 200, 200));
  p.drawRect(QRectF(4.5, 9.5, 7, 5));
}

void window(QPainter& p, const QRectF& r, const QColor& title = QColor(40, 90, 200)) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
  p.fillRect(QRectF(r.x() + 0.5, r.y() + 0.5, r.width() - 0.5, 2.5), title);
}

void cross(QPainter& p, const QColor& c) {
  p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(4, 4), QPointF(12, 12));
  p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
  p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
  const QPointF d = (to - from) / std::max(1.0, std::hypot((to - from).x(), (to - from).y()));
  const QPointF n(-d.y(), d.x());
  p.setBrush(c);
  p.setPen(Qt::NoPen);
  p.drawPolygon(QPolygonF({to + d * 2, to - d * 3 + n * 3, to - d * 3 - n * 3}));
}

void star(QPainter& p, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(12, 4), 3, 3);
}

void drawMain(QPainter& p, int index) {
  switch (index) {
    case 0:  // new
      page(p);
      star(p, QColor(255, 190, 0));
      break;
    case 1:  // recent files
      page(p);
      p.setPen(QPen(QColor(30, 120, 30), 1.5));
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(9, 10), 4.5, 4.5);
      p.drawLine(QPointF(9, 10), QPointF(9, 7));
      p.drawLine(QPointF(9, 10), QPointF(11, 11));
      break;
    case 2:  // open
      folder(p);
      arrow(p, QPointF(8, 12), QPointF(12, 6), QColor(30, 130, 30));
      break;
    case 3:  // cascade
      window(p, QRectF(1.5, 1.5, 9, 8));
      window(p, QRectF(5.5, 6.5, 9, 8));
      break;
    case 4:  // maximize / restore all
      window(p, QRectF(1.5, 1.5, 13, 13));
      arrow(p, QPointF(5, 12), QPointF(11, 6), QColor(30, 130, 30));
      break;
    case 5:  // minimize all
      window(p, QRectF(1.5, 1.5, 13, 13));
      p.fillRect(QRectF(4, 11, 8, 2), kInk);
      break;
    case 6:  // tile
      window(p, QRectF(1.5, 1.5, 6, 13));
      window(p, QRectF(8.5, 1.5, 6, 13));
      break;
    case 7:  // print
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(190, 190, 200));
      p.drawRect(QRectF(1.5, 6.5, 13, 6));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 1.5, 7, 5));
      p.drawRect(QRectF(4.5, 10.5, 7, 4));
      break;
    case 8:  // find
      p.setPen(QPen(kInk, 2));
      p.setBrush(QColor(200, 230, 255));
      p.drawEllipse(QPointF(6.5, 6.5), 4, 4);
      p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
      break;
    case 9:  // calculators
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(90, 100, 120));
      p.drawRoundedRect(QRectF(2.5, 0.5, 11, 15), 1.5, 1.5);
      p.fillRect(QRectF(4, 2, 8, 3), QColor(170, 230, 170));
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
          p.fillRect(QRectF(4 + c * 3, 7 + r * 3, 2, 2), r == 2 && c == 2 ? QColor(240, 130, 40) : Qt::white);
      break;
    case 10:  // properties
      page(p);
      lines(p, 5, 11, {7, 9, 11, 13}, QColor(60, 60, 160));
      break;
    case 11:  // close all
      window(p, QRectF(0.5, 0.5, 10, 9));
      window(p, QRectF(4.5, 5.5, 11, 10));
      p.setPen(QPen(QColor(200, 30, 30), 1.8, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7.5, 9.5), QPointF(12.5, 14));
      p.drawLine(QPointF(12.5, 9.5), QPointF(7.5, 14));
      break;
    case 12:  // close
      page(p);
      cross(p, QColor(200, 30, 30));
      break;
    case 13:  // exit
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(160, 110, 60));
      p.drawRect(QRectF(2.5, 1.5, 8, 13));
      arrow(p, QPointF(7, 8), QPointF(14, 8), QColor(200, 30, 30));
      break;
    case 14:  // undo
      arrow(p, QPointF(12, 11), QPointF(4, 6), QColor(40, 90, 200));
      break;
    case 15:  // redo
      arrow(p, QPointF(4, 11), QPointF(12, 6), QColor(40, 90, 200));
      break;
    case 16:  // information (general, about)
      p.setPen(QPen(QColor(20, 60, 160), 1));
      p.setBrush(QColor(60, 120, 230));
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.fillRect(QRectF(7, 7, 2, 5), Qt::white);
      p.fillRect(QRectF(7, 4, 2, 2), Qt::white);
      break;
    case 17:  // import / copy to
      page(p);
      arrow(p, QPointF(1, 9), QPointF(8, 9), QColor(30, 130, 30));
      break;
    case 18:  // copy
      page(p, QColor(230, 230, 230));
      p.translate(2, 2);
      page(p);
      p.translate(-2, -2);
      break;
    case 19:  // save
      disk(p, QColor(40, 90, 200));
      break;
    case 20:  // save as
      disk(p, QColor(40, 90, 200));
      star(p, QColor(255, 190, 0));
      break;
    case 21:  // paste
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(200, 150, 80));
      p.drawRect(QRectF(2.5, 2.5, 11, 13));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5.5, 5.5, 6, 8));
      break;
    case 22:  // export
      page(p);
      arrow(p, QPointF(8, 9), QPointF(15, 9), QColor(200, 100, 20));
      break;
    case 23:  // re-read / copy & swap
      p.setPen(QPen(QColor(30, 130, 30), 2, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(2, 2, 12, 12), 30 * 16, 160 * 16);
      p.setPen(QPen(QColor(40, 90, 200), 2, Qt::SolidLine, Qt::RoundCap));
      p.drawArc(QRectF(2, 2, 12, 12), 210 * 16, 160 * 16);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 130, 30));
      p.drawPolygon(QPolygonF({{1, 6}, {6, 6}, {3, 10}}));
      p.setBrush(QColor(40, 90, 200));
      p.drawPolygon(QPolygonF({{15, 10}, {10, 10}, {13, 6}}));
      break;
    case 24:  // new server
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(170, 175, 190));
      p.drawRect(QRectF(3.5, 1.5, 9, 13));
      lines(p, 5, 11, {4, 6, 8}, kInk);
      star(p, QColor(255, 190, 0));
      break;
    case 25:  // show side panel
      window(p, QRectF(1.5, 1.5, 13, 13));
      arrow(p, QPointF(4, 9), QPointF(11, 9), QColor(30, 130, 30));
      break;
    case 26:  // hide side panel
      window(p, QRectF(1.5, 1.5, 13, 13));
      p.fillRect(QRectF(2, 4, 4, 10), QColor(180, 200, 230));
      arrow(p, QPointF(12, 9), QPointF(5, 9), QColor(200, 30, 30));
      break;
    case 27:  // tools / options
      p.setPen(QPen(QColor(90, 90, 100), 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4, 12), QPointF(11, 5));
      p.setPen(QPen(QColor(90, 90, 100), 1.5));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(11.5, 4.5), 3, 3);
      break;
    case 28:  // compare
      window(p, QRectF(0.5, 1.5, 7, 13));
      window(p, QRectF(8.5, 1.5, 7, 13));
      lines(p, 2, 6, {7, 9, 11}, QColor(30, 130, 30));
      lines(p, 10, 14, {7, 9, 11}, QColor(200, 30, 30));
      break;
    case 29:  // notes
      p.setPen(QPen(QColor(170, 150, 40), 1));
      p.setBrush(QColor(255, 240, 130));
      p.drawRect(QRectF(1.5, 1.5, 13, 13));
      lines(p, 4, 12, {5, 8, 11}, QColor(120, 100, 30));
      break;
    case 30:  // help
      p.setPen(QPen(QColor(20, 60, 160), 1));
      p.setBrush(QColor(60, 120, 230));
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.setPen(Qt::white);
      p.setFont(QFont(QStringLiteral("DejaVu Sans"), 8, QFont::Bold));
      p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
      break;
    case 31:  // scan: magnifying glass over a page
      page(p);
      p.setPen(QPen(kInk, 1.6));
      p.setBrush(QColor(200, 230, 255));
      p.drawEllipse(QPointF(7, 7), 3.5, 3.5);
      p.drawLine(QPointF(9.6, 9.6), QPointF(14, 14));
      break;
    case 34: {  // a found error: green beetle with a yellow warning sign
      p.setPen(QPen(QColor(20, 80, 20), 1));
      p.setBrush(QColor(60, 170, 60));
      p.drawEllipse(QRectF(2, 3, 8, 11));
      p.drawLine(QPointF(2, 6), QPointF(0, 5));
      p.drawLine(QPointF(2, 11), QPointF(0, 12));
      p.drawLine(QPointF(6, 3), QPointF(6, 14));
      p.setPen(QPen(QColor(150, 110, 0), 1));
      p.setBrush(QColor(255, 210, 0));
      p.drawPolygon(QPolygonF({{12, 5}, {16, 13}, {8, 13}}));
      p.fillRect(QRectF(11.5, 7.5, 1, 3), kInk);
      p.fillRect(QRectF(11.5, 11.2, 1, 1), kInk);
      break;
    }
    case 32:  // validation: page with a check mark
      page(p);
      p.setPen(QPen(QColor(30, 150, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4.5, 9), QPointF(7, 12));
      p.drawLine(QPointF(7, 12), QPointF(12.5, 5));
      break;
    case 42: {  // check for updates: globe with arrow
      p.setPen(QPen(QColor(20, 80, 150), 1));
      p.setBrush(QColor(90, 170, 240));
      p.drawEllipse(QRectF(1, 1, 13, 13));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(4.5, 1, 6, 13));
      p.drawLine(QPointF(1, 7.5), QPointF(14, 7.5));
      arrow(p, QPointF(12, 15), QPointF(12, 9), QColor(30, 130, 30));
      break;
    }
    case 44:  // download updates: an arrow down into a tray
      p.setPen(QPen(QColor(60, 60, 70), 1.2));
      p.setBrush(QColor(205, 210, 220));
      p.drawRoundedRect(QRectF(1.5, 11, 13, 3.5), 1, 1);
      arrow(p, QPointF(8, 1), QPointF(8, 10.5), QColor(30, 130, 30));
      break;
    default: {
      // Pictures the menus do not use yet: coloured tiles of one family.
      const QColor c = QColor::fromHsv((index * 47) % 360, 140, 210);
      p.setPen(QPen(c.darker(160), 1));
      p.setBrush(c);
      p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
      p.setPen(Qt::white);
      p.setFont(QFont(QStringLiteral("DejaVu Sans"), 6, QFont::Bold));
      p.drawText(QRectF(2, 2, 12, 12), Qt::AlignCenter, QString::number(index));
      break;
    }
  }
}

}  // namespace

namespace PictureArt {

QImage mainImage(int index, int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // Drawn on a 16-unit grid; larger sizes are drawn anew, not scaled up from 16 pixels.
  p.scale(size / 16.0, size / 16.0);
  drawMain(p, index);
  p.end();
  return img;
}

QImage shipImage(int ship, int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 36.0, size / 36.0);
  if (ship >= 0 && ship < 8) {
    const QColor c = kShipColours[ship];
    QLinearGradient g(0, 0, 36, 0);
    g.setColorAt(0, c.darker(140));
    g.setColorAt(0.5, c.lighter(130));
    g.setColorAt(1, c.darker(140));
    p.setPen(QPen(c.darker(220), size <= 16 ? 2.0 : 1.2));
    p.setBrush(g);
    p.drawPath(shipPath(ship));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 40, 70));
    p.drawEllipse(QPointF(18, ship == 4 ? 22 : ship == 3 ? 16 : 13), 2.2, 3);  // cockpit
  } else {
    // "Other": a gear.
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.setBrush(QColor(160, 165, 180));
    QPainterPath gear;
    for (int i = 0; i < 8; ++i) {
      p.save();
      p.translate(18, 18);
      p.rotate(i * 45);
      p.drawRect(QRectF(-3, -16, 6, 8));
      p.restore();
    }
    p.drawEllipse(QPointF(18, 18), 11, 11);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(18, 18), 4, 4);
  }
  p.end();
  return img;
}

QImage multifireBackground() {
  QImage img(200, 200, QImage::Format_RGB32);
  img.fill(Qt::black);
  QPainter p(&img);
  // A fixed scatter of stars so the picture is the same on every run.
  quint32 seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int i = 0; i < 60; ++i) {
    const int x = static_cast<int>(next() % 200), y = static_cast<int>(next() % 200);
    const int b = 120 + static_cast<int>(next() % 136);
    img.setPixelColor(x, y, QColor(b, b, b));
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 200, 0), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(100, 100), 90, 90);
  p.end();
  return img;
}

// The program's icon on a 48-unit grid: a Warbird climbing out of deep space.
// Drawn twice from the same numbers: with QPainter (the PNG sizes) and as SVG
// (the scalable icon), so the two cannot drift apart.
namespace {
const QPointF kStars[] = {{9, 10}, {38, 8}, {41, 20}, {7, 33}, {37, 39}, {13, 21}, {30, 14}};
const QPointF kFlame[] = {{22.6, 36.2}, {25.4, 36.2}, {24, 44}};
const QPointF kShipAt(6, 3);  // where the 36-unit ship box sits
}  // namespace

QImage appIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 48.0, size / 48.0);
  QLinearGradient sky(0, 2, 0, 46);
  sky.setColorAt(0, QColor(0x1d, 0x2b, 0x53));
  sky.setColorAt(1, QColor(0x0b, 0x10, 0x24));
  p.setPen(QPen(QColor(0x0a, 0x0f, 0x1f), 1));
  p.setBrush(sky);
  p.drawRoundedRect(QRectF(2, 2, 44, 44), 9, 9);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xdf, 0xe7, 0xff));
  for (const QPointF& star : kStars) p.drawEllipse(star, 0.9, 0.9);
  p.setBrush(QColor(0xff, 0xb2, 0x3f));
  p.drawPolygon(kFlame, 3);
  p.translate(kShipAt);
  QLinearGradient hull(0, 0, 36, 0);
  hull.setColorAt(0, QColor(0x7f, 0xc4, 0xff));
  hull.setColorAt(0.5, QColor(0xe8, 0xf4, 0xff));
  hull.setColorAt(1, QColor(0x7f, 0xc4, 0xff));
  p.setPen(QPen(QColor(0x0c, 0x2d, 0x57), 1.2));
  p.setBrush(hull);
  p.drawPath(shipPath(0));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1e, 0x28, 0x46));
  p.drawEllipse(QPointF(18, 13), 2.2, 3);
  p.end();
  return img;
}

QByteArray appIconSvg() {
  auto num = [](qreal v) { return QByteArray::number(v, 'g', 6); };
  QByteArray ship;
  const QPainterPath path = shipPath(0);
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    ship += (e.isMoveTo() ? "M" : "L") + num(e.x) + " " + num(e.y) + " ";
  }
  QByteArray stars;
  for (const QPointF& s : kStars)
    stars += "    <circle cx=\"" + num(s.x()) + "\" cy=\"" + num(s.y()) + "\" r=\"0.9\"/>\n";
  QByteArray flame;
  for (const QPointF& f : kFlame) flame += num(f.x()) + "," + num(f.y()) + " ";
  ship += "Z";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!-- Written by scripts/genimages.cpp -->\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">\n"
         "  <defs>\n"
         "    <linearGradient id=\"sky\" x1=\"0\" y1=\"2\" x2=\"0\" y2=\"46\" "
         "gradientUnits=\"userSpaceOnUse\">\n"
         "      <stop offset=\"0\" stop-color=\"#1d2b53\"/><stop offset=\"1\" stop-color=\"#0b1024\"/>\n"
         "    </linearGradient>\n"
         "    <linearGradient id=\"hull\" x1=\"0\" y1=\"0\" x2=\"36\" y2=\"0\" "
         "gradientUnits=\"userSpaceOnUse\">\n"
         "      <stop offset=\"0\" stop-color=\"#7fc4ff\"/><stop offset=\"0.5\" stop-color=\"#e8f4ff\"/>"
         "<stop offset=\"1\" stop-color=\"#7fc4ff\"/>\n"
         "    </linearGradient>\n"
         "  </defs>\n"
         "  <rect x=\"2\" y=\"2\" width=\"44\" height=\"44\" rx=\"9\" fill=\"url(#sky)\" "
         "stroke=\"#0a0f1f\"/>\n"
         "  <g fill=\"#dfe7ff\">\n" +
         stars + "  </g>\n  <polygon points=\"" + flame.trimmed() + "\" fill=\"#ffb23f\"/>\n" +
         "  <g transform=\"translate(" + num(kShipAt.x()) + " " + num(kShipAt.y()) + ")\">\n" +
         "    <path d=\"" + ship +
         "\" fill=\"url(#hull)\" stroke=\"#0c2d57\" stroke-width=\"1.2\" stroke-linejoin=\"round\"/>\n"
         "    <ellipse cx=\"18\" cy=\"13\" rx=\"2.2\" ry=\"3\" fill=\"#1e2846\"/>\n"
         "  </g>\n"
         "</svg>\n";
}

}  // namespace PictureArt

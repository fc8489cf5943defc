// Draws the program's pictures: the PNG files of resources/pictures (with the
// resource list resources/pictures.qrc) and the BMP files shipped under
// base/images. Run: tessary-genimages <source folder>, e.g.
//   cmake --build build --target tessary-genimages && build/tessary-genimages .
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "components/Pictures.h"
#include "documents/ConfigModel.h"
#include "scripts/PictureArt.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fputs("usage: tessary-genimages SOURCE_FOLDER\n", stderr);
    return 2;
  }
  const QString source = QString::fromLocal8Bit(argv[1]);
  const QString pictures = source + QStringLiteral("/resources/pictures");
  const QString images = source + QStringLiteral("/base/images");
  QDir().mkpath(pictures);
  QDir().mkpath(images + QStringLiteral("/ships"));
  QStringList files;
  bool ok = true;
  auto save = [&](const QImage& image, const QString& name) {
    ok = image.save(pictures + QLatin1Char('/') + name, "PNG") && ok;
    files.append(QStringLiteral("pictures/") + name);
  };
  for (int i = 0; i < Pictures::kMainCount; ++i) {
    const QString name = Pictures::mainName(i);
    if (name.isEmpty()) continue;
    for (int size : {16, 24, 32})
      save(PictureArt::mainImage(i, size), QStringLiteral("%1-%2.png").arg(name).arg(size));
  }
  for (int ship = 0; ship <= 8; ++ship) {
    for (int size : {16, 24, 32})
      save(PictureArt::shipImage(ship, size), QStringLiteral("ship-%1-%2.png").arg(ship).arg(size));
    if (ship < 8) save(PictureArt::shipImage(ship, 36), QStringLiteral("ship-%1-36.png").arg(ship));
  }
  save(PictureArt::multifireBackground(), QStringLiteral("multifire-background.png"));

  QFile qrc(source + QStringLiteral("/resources/pictures.qrc"));
  if (qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    QByteArray text =
        "<!DOCTYPE RCC>\n<!-- Written by scripts/genimages.cpp -->\n<RCC version=\"1.0\">\n<qresource "
        "prefix=\"/\">\n";
    for (const QString& f : files) text += "  <file>" + f.toUtf8() + "</file>\n";
    text += "</qresource>\n</RCC>\n";
    ok = qrc.write(text) == text.size() && ok;
  } else {
    ok = false;
  }

  ok = PictureArt::multifireBackground().save(images + QStringLiteral("/multifire.bmp"), "BMP") && ok;

  // The desktop's icon of the program, in the hicolor theme's sizes and as SVG.
  const QString icons = source + QStringLiteral("/packaging/icons");
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = icons + QStringLiteral("/%1x%1").arg(size);
    QDir().mkpath(folder);
    ok = PictureArt::appIcon(size).save(folder + QStringLiteral("/org.tessary.Tessary.png"), "PNG") && ok;
  }
  QDir().mkpath(icons + QStringLiteral("/scalable"));
  QFile svg(icons + QStringLiteral("/scalable/org.tessary.Tessary.svg"));
  const QByteArray svgText = PictureArt::appIconSvg();
  ok = svg.open(QIODevice::WriteOnly | QIODevice::Truncate) && svg.write(svgText) == svgText.size() && ok;
  for (int i = 0; i < Ships::kCount; ++i) {
    // BMP has no transparency: ships sit on black space like the preview's background.
    QImage img(36, 36, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    p.drawImage(0, 0, PictureArt::shipImage(i, 36));
    p.end();
    ok = img.save(images + QStringLiteral("/ships/") + Ships::names()[static_cast<size_t>(i)] +
                      QStringLiteral(".bmp"),
                  "BMP") &&
         ok;
  }
  return ok ? 0 : 1;
}

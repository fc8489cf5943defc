// Draws the pictures shipped under base/images: the multifire background and
// one 36x36 picture per ship. Run: tessary-genimages <base/images folder>.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

#include "app/Pictures.h"
#include "documents/ConfigModel.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fputs("usage: tessary-genimages IMAGES_FOLDER\n", stderr);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder + QStringLiteral("/ships"));
  bool ok = Pictures::multifireBackground().save(folder + QStringLiteral("/multifire.bmp"), "BMP");
  for (int i = 0; i < Ships::kCount; ++i) {
    // BMP has no transparency: ships sit on black space like the preview's background.
    QImage img(36, 36, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    p.drawImage(0, 0, Pictures::shipImage(i, 36));
    p.end();
    ok = img.save(folder + QStringLiteral("/ships/") + Ships::names()[static_cast<size_t>(i)] + QStringLiteral(".bmp"),
                  "BMP") && ok;
  }
  return ok ? 0 : 1;
}

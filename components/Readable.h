#pragma once
#include <QColor>
#include <QPalette>

// The program's fixed text colours (blue status lines, green and red builds,
// black captions) on the palette it follows: unchanged on a light window, where
// users know them; on a dark one the hue stays, so blue still means "working"
// and red "failed", and the colour is lightened until it reads (black and greys
// become the palette's own text colour).
inline QColor readableOn(const QColor& wanted, const QPalette& palette,
                         QPalette::ColorRole background = QPalette::Window) {
  const QColor back = palette.color(background);
  if (back.lightness() >= 128) return wanted;
  const QColor hsl = wanted.toHsl();
  if (hsl.hslSaturation() < 40) return palette.color(QPalette::WindowText);
  if (hsl.lightness() >= 170) return wanted;
  return QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), 170);
}

// Grid lines: a fifth of the way from the base colour to the text colour, so
// they show on a light and a dark list alike (about #d0d0d0 on white).
inline QColor gridLineOn(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base);
  const QColor text = palette.color(QPalette::Text);
  auto mix = [](int a, int b) { return a + (b - a) / 5; };
  return QColor(mix(base.red(), text.red()), mix(base.green(), text.green()), mix(base.blue(), text.blue()));
}

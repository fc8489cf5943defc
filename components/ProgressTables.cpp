#include "components/ProgressTables.h"

#include <algorithm>
#include <cmath>

namespace ProgressTables {

namespace {
constexpr int kHlsMax = 240;
constexpr int kRgbMax = 255;
constexpr int kUndefinedHue = kHlsMax * 2 / 3;

int hueToRgb(int m1, int m2, int h) {
  if (h < 0) h += kHlsMax;
  if (h > kHlsMax) h -= kHlsMax;
  if (h < kHlsMax / 6) return m1 + ((m2 - m1) * h + kHlsMax / 12) / (kHlsMax / 6);
  if (h < kHlsMax / 2) return m2;
  if (h < kHlsMax * 2 / 3) return m1 + ((m2 - m1) * (kHlsMax * 2 / 3 - h) + kHlsMax / 12) / (kHlsMax / 6);
  return m1;
}
}  // namespace

Hls rgbToHls(Rgb c) {
  const int mx = std::max({c.r, c.g, c.b});
  const int mn = std::min({c.r, c.g, c.b});
  Hls out;
  out.l = ((mx + mn) * kHlsMax + kRgbMax) / (2 * kRgbMax);
  if (mx == mn) {
    out.s = 0;
    out.h = kUndefinedHue;
    return out;
  }
  if (out.l <= kHlsMax / 2)
    out.s = ((mx - mn) * kHlsMax + (mx + mn) / 2) / (mx + mn);
  else
    out.s = ((mx - mn) * kHlsMax + (2 * kRgbMax - mx - mn) / 2) / (2 * kRgbMax - mx - mn);
  const int d = mx - mn;
  const int rd = ((mx - c.r) * (kHlsMax / 6) + d / 2) / d;
  const int gd = ((mx - c.g) * (kHlsMax / 6) + d / 2) / d;
  const int bd = ((mx - c.b) * (kHlsMax / 6) + d / 2) / d;
  if (c.r == mx)
    out.h = bd - gd;
  else if (c.g == mx)
    out.h = kHlsMax / 3 + rd - bd;
  else
    out.h = kHlsMax * 2 / 3 + gd - rd;
  if (out.h < 0) out.h += kHlsMax;
  if (out.h > kHlsMax) out.h -= kHlsMax;
  return out;
}

Rgb hlsToRgb(Hls c) {
  if (c.s == 0) {
    const int v = c.l * kRgbMax / kHlsMax;
    return {v, v, v};
  }
  const int m2 = c.l <= kHlsMax / 2 ? (c.l * (kHlsMax + c.s) + kHlsMax / 2) / kHlsMax
                                    : c.l + c.s - (c.l * c.s + kHlsMax / 2) / kHlsMax;
  const int m1 = 2 * c.l - m2;
  auto channel = [&](int h) { return (hueToRgb(m1, m2, h) * kRgbMax + kHlsMax / 2) / kHlsMax; };
  return {channel(c.h + kHlsMax / 3), channel(c.h), channel(c.h - kHlsMax / 3)};
}

double profile(double x) {
  return -4342.9 * std::pow(x, 5) + 10543 * std::pow(x, 4) - 8216 * std::pow(x, 3) + 2018.1 * x * x +
         11.096 * x + 164.6;
}

std::vector<Rgb> column(Rgb colour, int n, bool cylinder, Look look, bool inverted) {
  std::vector<Rgb> out(static_cast<size_t>(std::max(n, 0)), colour);
  if (!cylinder || n <= 0) return out;
  const Hls base = rgbToHls(colour);
  for (int k = 0; k < n; ++k) {
    const double p = profile(static_cast<double>(k) / n);
    Hls shaded = base;
    if (look == Look::Metal)
      shaded.l = std::clamp(static_cast<int>(std::trunc(p)) + base.l - 212, 0, kHlsMax);
    else
      shaded.l = std::clamp(static_cast<int>(std::nearbyint(p)), 0, kHlsMax);
    if (inverted) shaded.l = kHlsMax - shaded.l;
    out[static_cast<size_t>(k)] = hlsToRgb(shaded);
  }
  return out;
}

Rgb colourAt(int i, int length, Rgb start, Rgb final) {
  if (start == final || i <= 0) return start;
  if (i >= length) return final;
  auto channel = [&](int s, int f) {
    if (f > s) return s + static_cast<int>(std::trunc(static_cast<double>(f - s) * i / length));
    return s - static_cast<int>(std::trunc(static_cast<double>(s - f) * i / length));
  };
  return {channel(start.r, final.r), channel(start.g, final.g), channel(start.b, final.b)};
}

std::vector<Block> blocks(int length, int blockSize, int spaceSize) {
  if (blockSize <= 0 || spaceSize <= 0 || length <= 0) return {};
  std::vector<Block> table(static_cast<size_t>(length) + 1);
  // Blocks from 3 on: blockSize positions, then spaceSize gap positions.
  std::vector<std::pair<int, int>> spans;
  for (int start = 3; start <= length; start += blockSize + spaceSize)
    spans.emplace_back(start, std::min(start + blockSize - 1, length));
  size_t next = 0;
  for (int p = 0; p <= length; ++p) {
    while (next < spans.size() && spans[next].second < p) ++next;
    Block& b = table[static_cast<size_t>(p)];
    if (next < spans.size()) {
      b.inBlock = p >= spans[next].first && p <= spans[next].second;
      b.end = spans[next].second;
    } else {
      b.inBlock = false;
      b.end = length;
    }
  }
  table[0].inBlock = false;
  return table;
}

int fill(long long value, long long maximum, int length, int minimumFill) {
  if (value <= 0 || maximum <= 0) return 0;
  const long long v = std::min(value, maximum);
  const double percent = static_cast<double>(v) * 100.0 / static_cast<double>(maximum);
  const double f = length * percent / 100.0;
  if (f > 0 && f < minimumFill) return minimumFill;
  if (f > length) return length;
  return static_cast<int>(std::nearbyint(f));  // the default rounding mode: halves to even
}

}  // namespace ProgressTables

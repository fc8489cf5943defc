#pragma once
#include <vector>

// The arithmetic of the segmented progress bar, kept apart from painting so it
// can be checked value by value: colour conversion, block table, fill, colours.
namespace ProgressTables {

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
struct Hls {
  int h = 0, l = 0, s = 0;
  bool operator==(const Hls&) const = default;
};

// The integer conversion of the colour dialogs, HLSMAX 240 and RGBMAX 255.
Hls rgbToHls(Rgb c);
Rgb hlsToRgb(Hls c);

// The shading profile across a cylinder bar, x from 0 to 1.
double profile(double x);

enum class Look { Metal, Glass };
// One column across the bar: n entries shading colour (flat when cylinder is false).
std::vector<Rgb> column(Rgb colour, int n, bool cylinder, Look look, bool inverted = false);

// The colour of position i of 0..length between start and final.
Rgb colourAt(int i, int length, Rgb start, Rgb final);

struct Block {
  bool inBlock = false;  // the position is part of a block (not a gap)
  int end = 0;           // the end of the block it belongs to or that follows it
};
// Positions 0..length; empty when the bar is continuous (a size of 0).
std::vector<Block> blocks(int length, int blockSize, int spaceSize);

// The positions the value covers: 0 for v <= 0, at least minimumFill once above
// 0, at most length, else rounded to the nearest with halves to even.
int fill(long long value, long long maximum, int length, int minimumFill);

}  // namespace ProgressTables

// The segmented progress bar: its arithmetic value by value, and its pixels.
#include <gtest/gtest.h>

#include "components/ProgressTables.h"
#include "components/SegmentedProgressBar.h"

using namespace ProgressTables;

namespace {
// The bars of the Options dialog's update page.
void optionsLook(TQProgressBar& bar) {
  bar.resize(347, 16);
  bar.setBarKind(TQProgressBar::BarKind::bkCylinder);
  bar.setRoundCorner(true);
  bar.setShapeColor(QColor(160, 160, 164));
  bar.setBarColor(QColor(166, 202, 240));
  bar.setStartColor(QColor(166, 202, 240));
  bar.setFinalColor(QColor(0, 0, 128));
  bar.setBlockSize(10);
  bar.setSpaceSize(1);
  bar.setShowFullBlock(true);
}
}  // namespace

TEST(ProgressTables, ColourConversionIsTheIntegerOneOfTheColourDialogs) {
  EXPECT_EQ(rgbToHls({255, 0, 0}), (Hls{0, 120, 240}));
  EXPECT_EQ(rgbToHls({0, 0, 128}), (Hls{160, 60, 240}));
  EXPECT_EQ(rgbToHls({128, 128, 128}), (Hls{160, 120, 0}));
  // Sky blue, worked by hand: L = 97695 div 510, S = 17812 div 104, H = 160 + 21 - 40.
  EXPECT_EQ(rgbToHls({166, 202, 240}), (Hls{141, 191, 171}));
  for (const Rgb c : {Rgb{255, 0, 0}, Rgb{0, 0, 128}, Rgb{0, 255, 0}}) EXPECT_EQ(hlsToRgb(rgbToHls(c)), c);
  // The integer arithmetic is not exact everywhere: grey 128 comes back as 127.
  EXPECT_EQ(hlsToRgb(rgbToHls({128, 128, 128})), (Rgb{127, 127, 127}));
  // A hue that needs wrapping stays in range.
  const Hls magenta = rgbToHls({255, 0, 128});
  EXPECT_GE(magenta.h, 0);
  EXPECT_LE(magenta.h, 240);
}

TEST(ProgressTables, BlocksFillAndColoursAlongTheBar) {
  const std::vector<Block> table = blocks(343, 10, 1);
  ASSERT_EQ(table.size(), 344u);
  EXPECT_FALSE(table[0].inBlock);
  EXPECT_FALSE(table[2].inBlock);
  EXPECT_EQ(table[2].end, 12);  // before the first block: the end of the one that follows
  EXPECT_TRUE(table[3].inBlock);
  EXPECT_EQ(table[3].end, 12);
  EXPECT_TRUE(table[12].inBlock);
  EXPECT_FALSE(table[13].inBlock);  // one-pixel gap
  EXPECT_TRUE(table[14].inBlock);
  EXPECT_EQ(table[14].end, 23);
  EXPECT_TRUE(table[342].inBlock);
  EXPECT_EQ(table[333].end, 342);
  EXPECT_FALSE(table[343].inBlock);
  EXPECT_TRUE(blocks(343, 0, 1).empty());  // continuous
  // Fill: the minimum, rounding with halves to even, the end.
  EXPECT_EQ(fill(1, 100, 343, 5), 5);     // 3.43 -> the minimum 5
  EXPECT_EQ(fill(3, 100, 343, 5), 10);    // 10.29
  EXPECT_EQ(fill(4, 100, 343, 5), 14);    // 13.72
  EXPECT_EQ(fill(50, 100, 343, 5), 172);  // 171.5 -> even
  EXPECT_EQ(fill(1, 4, 10, 1), 2);        // 2.5 -> even, not up
  EXPECT_EQ(fill(3, 4, 10, 1), 8);        // 7.5 -> even
  EXPECT_EQ(fill(100, 100, 343, 5), 343);
  EXPECT_EQ(fill(500, 100, 343, 5), 343);
  EXPECT_EQ(fill(0, 100, 343, 5), 0);
  EXPECT_EQ(fill(-3, 100, 343, 5), 0);
  // Colours from sky blue to navy, truncated.
  const Rgb sky{166, 202, 240}, navy{0, 0, 128};
  EXPECT_EQ(colourAt(0, 343, sky, navy), sky);
  EXPECT_EQ(colourAt(343, 343, sky, navy), navy);
  EXPECT_EQ(colourAt(100, 343, sky, navy), (Rgb{166 - 48, 202 - 58, 240 - 32}));
  EXPECT_EQ(colourAt(100, 343, sky, sky), sky);
}

TEST(ProgressBar, OnlyWholeBlocksAppearAndTheLastPositionStaysBackground) {
  TQProgressBar bar;
  optionsLook(bar);
  EXPECT_EQ(bar.length(), 343);
  const QColor background = Qt::white;
  auto at = [&](int x, int y) { return bar.picture().pixelColor(x, y); };
  bar.setPosition(3);  // fill 10: the first block (3..12) is not complete
  EXPECT_EQ(bar.fill(), 10);
  EXPECT_EQ(at(5, 8), background);
  bar.setPosition(4);  // fill 14: it is
  EXPECT_EQ(bar.fill(), 14);
  EXPECT_NE(at(5, 8), background);
  EXPECT_EQ(at(13, 8), background);  // the gap
  bar.setPosition(100);
  EXPECT_NE(at(342, 8), background);
  EXPECT_EQ(at(343, 8), background);  // belongs to no block
  // Shaded across: the highlight near the top differs from the band below the middle.
  EXPECT_NE(at(100, 4), at(100, 10));
  // A position above the maximum draws a full bar and reads back as set.
  bar.setPosition(150);
  EXPECT_EQ(bar.position(), 150);
  EXPECT_EQ(bar.fill(), 343);
  // Maximum 0 leaves the fill as it was.
  bar.setMaximum(0);
  bar.setPosition(1);
  EXPECT_EQ(bar.fill(), 343);
  // Position 0 shows the frame only.
  bar.setMaximum(100);
  bar.setPosition(0);
  EXPECT_EQ(at(5, 8), background);
}

TEST(ProgressBar, SizesBeyondTheBarAreIgnoredAndCaptionsFollowThePosition) {
  TQProgressBar bar;
  bar.resize(64, 16);
  bar.setBlockSize(100);
  EXPECT_EQ(bar.blockSize(), 0);
  bar.setBlockSize(-8);
  EXPECT_EQ(bar.blockSize(), 8);
  bar.AutoCaption = true;
  bar.AutoHint = true;
  bar.ShowPosAsPct = true;
  bar.setPosition(25);
  (void)bar.picture();
  EXPECT_EQ(bar.caption(), QStringLiteral("25%"));
  EXPECT_EQ(bar.toolTip(), QStringLiteral("25 %"));
  bar.ShowPosAsPct = false;
  bar.setPosition(7);
  (void)bar.picture();
  EXPECT_EQ(bar.caption(), QStringLiteral("7"));
  // Vertical on a wide bar swaps its size first.
  bar.setOrientation(TQProgressBar::Orientation::boVertical);
  EXPECT_EQ(bar.size(), QSize(16, 64));
}

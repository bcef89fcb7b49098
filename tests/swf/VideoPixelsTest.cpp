// The player's steps after the codec: colour conversion of 4:2:0 pictures
// and the Sorenson deblocking post-filter.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "swf/VideoPixels.h"

namespace quenloft::swf {
namespace {

std::uint32_t OnePixel(std::uint8_t Y, std::uint8_t U, std::uint8_t V)
{
  std::uint32_t out = 0;
  YuvToArgb({1, 1, {&Y, 1}, {&U, 1}, {&V, 1}, {}}, {&out, 1});
  return out;
}

TEST(VideoPixels, StudioRangeBt601ToRgb)
{
  struct Case {
    std::uint8_t Y, U, V;
    std::uint32_t Argb;
  };
  const Case cases[] = {
      {16, 128, 128, 0xFF000000},  // black
      {15, 128, 128, 0xFF000000},  // below black clamps
      {17, 128, 128, 0xFF010101},
      {235, 128, 128, 0xFFFFFFFF}, // white
      {255, 128, 128, 0xFFFFFFFF}, // above white clamps
      {234, 128, 128, 0xFFFEFEFE},
      {125, 128, 128, 0xFF7F7F7F}, // either side of middle grey
      {126, 128, 128, 0xFF808080},
      {81, 90, 240, 0xFFFE0000},   // red, as the weights round it
      {145, 54, 34, 0xFF00FF01},   // green
      {41, 240, 110, 0xFF0000FF},  // blue
  };
  for (const Case& c : cases)
    EXPECT_EQ(OnePixel(c.Y, c.U, c.V), c.Argb) << int(c.Y) << ' ' << int(c.U) << ' ' << int(c.V);
}

TEST(VideoPixels, EachChromaSampleCoversItsTwoByTwoPixels)
{
  // 3 x 3: red chroma on the left and top, green on the right and bottom;
  // the middle row and column take the first samples, nothing is blended.
  const std::array<std::uint8_t, 9> y{81, 81, 145, 81, 81, 145, 145, 145, 145};
  const std::array<std::uint8_t, 4> u{90, 54, 54, 54};
  const std::array<std::uint8_t, 4> v{240, 34, 34, 34};
  std::array<std::uint32_t, 9> out{};
  YuvToArgb({3, 3, {y.data(), 3}, {u.data(), 2}, {v.data(), 2}, {}}, out);
  const std::uint32_t red = 0xFFFE0000, green = 0xFF00FF01;
  EXPECT_EQ(out, (std::array<std::uint32_t, 9>{red, red, green, red, red, green, green, green, green}));
}

TEST(VideoPixels, ColourWithAlphaStaysWithinIt)
{
  const std::uint8_t y[2] = {235, 126}, u = 128, v = 128, a[2] = {0x40, 0xFF};
  std::array<std::uint32_t, 2> out{};
  YuvToArgb({2, 1, {y, 2}, {&u, 1}, {&v, 1}, VideoPlane{a, 2}}, out);
  EXPECT_EQ(out[0], 0x40404040u); // white, premultiplied by a quarter
  EXPECT_EQ(out[1], 0xFF808080u);
}

// A column of ten samples: the only edge is between rows 7 and 8.
std::array<std::uint8_t, 4> AcrossEdge(std::array<std::uint8_t, 4> Abcd, int Strength)
{
  std::vector<std::uint8_t> column{9, 9, 9, 9, 9, 9, Abcd[0], Abcd[1], Abcd[2], Abcd[3]};
  DeblockPlane(column, 1, 10, Strength);
  EXPECT_EQ(column[0], 9); // inside the block: untouched
  return {column[6], column[7], column[8], column[9]};
}

TEST(VideoPixels, DeblockingSmoothsSmallStepsAndKeepsRealEdges)
{
  struct Case {
    std::array<std::uint8_t, 4> In;
    int Strength;
    std::array<std::uint8_t, 4> Out;
  };
  const Case cases[] = {
      {{0, 0, 1, 1}, 12, {0, 0, 1, 1}},          // too small a step to touch
      {{0, 0, 4, 4}, 1, {0, 1, 3, 4}},           // smoothed
      {{0, 0, 6, 6}, 1, {0, 0, 6, 6}},           // too large for the strength
      {{0, 0, 6, 6}, 2, {1, 2, 4, 5}},
      {{0, 0, 8, 8}, 2, {0, 1, 7, 8}},           // on the falling side of the ramp
      {{0, 0, 20, 20}, 5, {1, 3, 17, 19}},
      {{0, 0, 20, 20}, 12, {3, 7, 13, 17}},
      {{0, 0, 100, 100}, 12, {0, 0, 100, 100}},  // a real edge of the picture
      {{0, 80, 160, 240}, 12, {5, 90, 150, 235}}, // a ramp is flattened a little
      {{0, 10, 5, 15}, 4, {2, 7, 8, 13}},        // a step of -4.375 rounds down to -5
      {{0, 40, 40, 80}, 10, {5, 30, 50, 75}},
      {{250, 250, 255, 255}, 12, {250, 251, 254, 255}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AcrossEdge(c.In, c.Strength), c.Out) << int(c.In[0]) << ' ' << c.Strength;
}

TEST(VideoPixels, DeblockingRowsFirstThenColumnsAndNotAtTheBorder)
{
  // 10 x 10: a block of 0 with 8 on its right and below. The vertical
  // pass sees what the horizontal pass made of the corner.
  std::vector<std::uint8_t> p(100, 0);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      p[y * 10 + x] = (x >= 8 || y >= 8) ? 8 : 0;
  DeblockPlane(p, 10, 10, 2);
  EXPECT_EQ(p[0 * 10 + 6], 0);
  EXPECT_EQ(p[0 * 10 + 7], 1); // the vertical edge in the first row
  EXPECT_EQ(p[0 * 10 + 8], 7);
  EXPECT_EQ(p[7 * 10 + 0], 1); // the horizontal edge in the first column
  EXPECT_EQ(p[8 * 10 + 0], 7);
  EXPECT_EQ(p[9 * 10 + 9], 8);
  // A 9-sample plane has no room past its edge at 8: nothing changes.
  std::vector<std::uint8_t> narrow(9 * 9, 0);
  narrow[8] = 50;
  const auto before = narrow;
  DeblockPlane(narrow, 9, 9, 12);
  EXPECT_EQ(narrow, before);
  EXPECT_EQ(DeblockingStrength(1), 1);
  EXPECT_EQ(DeblockingStrength(31), 12);
  EXPECT_EQ(DeblockingStrength(40), 0);
}

} // namespace
} // namespace quenloft::swf

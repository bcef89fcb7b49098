// The fast box blur against a plain weighted sum, tap by tap.
#include "swf/render/BoxBlur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace quenloft::swf::render {
namespace {

// One pass in one direction the slow way: every output a sum over its
// taps, divided by the sum of the weights.
std::vector<std::uint8_t> SlowPass(const std::vector<std::uint8_t>& In, int W, int H, int N, double Size,
                                   bool Across)
{
  if (!(Size > 1))
    return In;
  const double radius = (std::min(Size, 255.0) - 1) / 2;
  const int whole = static_cast<int>(std::ceil(radius)) - 1;
  const int edge = static_cast<int>(std::floor((radius - whole) * 255)) * 256 / 255;
  const int norm = (2 * whole + 1) * 256 + 2 * edge;
  std::vector<std::uint8_t> out(In.size());
  const auto at = [&](int X, int Y, int C) {
    return X < 0 || Y < 0 || X >= W || Y >= H ? 0 : int{In[(static_cast<std::size_t>(Y) * W + X) * N + C]};
  };
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < N; ++c) {
        long total = 0;
        for (int k = -whole - 1; k <= whole + 1; ++k) {
          const int weight = std::abs(k) == whole + 1 ? edge : 256;
          total += static_cast<long>(weight) * (Across ? at(x + k, y, c) : at(x, y + k, c));
        }
        out[(static_cast<std::size_t>(y) * W + x) * N + c] = static_cast<std::uint8_t>(total / norm);
      }
  return out;
}

TEST(BlurBytes, EqualsTheTapByTapSumForEverySizeAndChannelCount)
{
  struct Case {
    int Channels;
    double Width, Height;
    int Passes;
  } cases[] = {
      {4, 8, 8, 3}, {4, 2.5, 7.25, 2}, {1, 3, 1, 1}, {1, 1, 5.5, 4}, {4, 40, 33, 1}, {1, 255, 300, 1},
      {4, 9.9, 0, 2},
  };
  std::mt19937 random(7);
  for (const Case& c : cases) {
    const int w = 37;
    const int h = 29;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * c.Channels);
    for (std::size_t i = 0; i < pixels.size(); i += c.Channels) {
      const auto a = static_cast<std::uint8_t>(random() % 3 == 0 ? 0 : random() % 256);
      for (int k = 0; k < c.Channels; ++k) // colours premultiplied: never above alpha
        pixels[i + k] = k == c.Channels - 1 ? a : static_cast<std::uint8_t>(a ? random() % (a + 1) : 0);
    }
    std::vector<std::uint8_t> expected = pixels;
    for (int p = 0; p < c.Passes; ++p) {
      expected = SlowPass(expected, w, h, c.Channels, c.Width, true);
      expected = SlowPass(expected, w, h, c.Channels, c.Height, false);
    }
    BlurBytes(pixels.data(), w, h, static_cast<std::ptrdiff_t>(w) * c.Channels, c.Channels, c.Width, c.Height,
              c.Passes);
    EXPECT_EQ(pixels, expected) << c.Channels << " channels, " << c.Width << " x " << c.Height;
    for (std::size_t i = 0; c.Channels == 4 && i < pixels.size(); i += 4) {
      ASSERT_LE(pixels[i], pixels[i + 3]) << "a colour above its alpha at " << i / 4;
    }
  }
}

TEST(BlurBytes, KeepsAFullAreaFullAtEveryBoxSizeAndLeavesBytesPastTheRowAlone)
{
  // A solid area sums to exactly the weights: the division must give back
  // 255, not 254, whatever the box.
  for (const int channels : {1, 4}) {
    const int w = 600;
    const int bytes = w * channels;
    const int stride = bytes + 8;
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(stride) * 3, 255);
    for (int y = 0; y < 3; ++y)
      std::fill_n(plane.begin() + y * stride + bytes, 8, std::uint8_t{9});
    for (double size = 1.5; size <= 256; size += 0.75) {
      std::vector<std::uint8_t> p = plane;
      BlurBytes(p.data(), w, 3, stride, channels, size, 1, 1);
      ASSERT_EQ(p[bytes / 2], 255) << channels << " channels, size " << size;
      ASSERT_EQ(p[bytes + 2], 9) << channels << " channels, size " << size;
      ASSERT_LT(p[0], 255) << "the edge takes in the zeros outside, size " << size;
    }
  }
}

TEST(BlurBytes, IgnoresWhatItCannotBlur)
{
  std::vector<std::uint8_t> bytes(12, 200);
  BlurBytes(bytes.data(), 3, 1, 12, 3, 5, 5, 1); // three channels: not a layout it knows
  BlurBytes(bytes.data(), 3, 1, 12, 4, 5, 5, 0);
  BlurBytes(nullptr, 3, 1, 12, 4, 5, 5, 1);
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(12, 200));
}

} // namespace
} // namespace quenloft::swf::render

#include "swf/render/BoxBlur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quenloft::swf::render {
namespace {

constexpr double MaxBlur = 255;

// A box of Size pixels: 2 Whole + 1 taps of weight 256 and one more on each
// side of weight Edge, dividing by Norm, the sum of the weights.
struct Box {
  int Whole = 0;
  std::int32_t Edge = 0;
  std::int32_t Norm = 256;
  bool Blurs = false;
};

// Total / Norm for the sums a box of bytes reaches: all below 2^24, so
// exact as floats; the product with the reciprocal is at most a step off,
// and the two comparisons set it right.
[[gnu::always_inline]] inline std::uint8_t Quotient(float Total, float Norm, float Reciprocal)
{
  const auto q = static_cast<float>(static_cast<std::int32_t>(Total * Reciprocal));
  const float rest = Total - q * Norm;
  const float exact = q + (static_cast<float>(rest >= Norm) - static_cast<float>(rest < 0.0f));
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(exact));
}

Box BoxOf(double Size)
{
  Box b;
  const double full = std::min(Size, MaxBlur);
  if (!(full > 1))
    return b;
  const double radius = (full - 1) / 2;
  // Not floor: a whole radius takes its last tap as the edge, at weight 1.
  const double whole = std::ceil(radius) - 1;
  b.Whole = static_cast<int>(whole);
  b.Edge = static_cast<std::int32_t>(std::floor((radius - whole) * 255)) * 256 / 255;
  b.Norm = (2 * b.Whole + 1) * 256 + 2 * b.Edge;
  b.Blurs = true;
  return b;
}

// One vertical pass: sums of whole rows carried down the picture. A row is
// written over once the sums have passed it, so the rows the box still
// needs after that (Whole + 2 of them) wait in a ring of copies.
// Built twice, the wider build picked where the processor has it: the
// loop over a row's bytes is what the whole blur spends its time in.
// Not under the sanitizers: the run-time pick happens before they start.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QUENLOFT_BLUR_SANITIZED 1
#endif
#endif
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && \
    !defined(QUENLOFT_BLUR_SANITIZED)
[[gnu::target_clones("avx2", "default")]]
#endif
void BlurColumns(std::uint8_t* Data, int Bytes, int H, std::ptrdiff_t Stride, const Box& B,
                 std::vector<std::uint8_t>& Ring, std::vector<std::int32_t>& Sums)
{
  const auto width = static_cast<std::size_t>(Bytes);
  const int kept = B.Whole + 2;
  // The ring's last row stays zero and stands for every row outside.
  Ring.assign(width * static_cast<std::size_t>(kept + 1), 0);
  const std::uint8_t* const zero = Ring.data() + width * static_cast<std::size_t>(kept);
  const auto saved = [&](int Y) {
    return Y < 0 ? zero : Ring.data() + width * static_cast<std::size_t>(Y % kept);
  };
  const auto ahead = [&](int Y) { return Y >= H ? zero : Data + Y * Stride; };
  Sums.assign(width, 0);
  std::int32_t* __restrict sums = Sums.data();
  for (int k = 0; k <= B.Whole; ++k) {
    const std::uint8_t* __restrict r = ahead(k);
    for (std::size_t i = 0; i < width; ++i)
      sums[i] += r[i];
  }
  const auto edge = static_cast<float>(B.Edge);
  const auto norm = static_cast<float>(B.Norm);
  const float reciprocal = 1.0f / norm;
  for (int y = 0; y < H; ++y) {
    std::uint8_t* __restrict out = Data + y * Stride;
    std::copy(out, out + Bytes, Ring.data() + width * static_cast<std::size_t>(y % kept));
    const std::uint8_t* __restrict above = saved(y - B.Whole - 1);
    const std::uint8_t* __restrict leaving = saved(y - B.Whole);
    const std::uint8_t* __restrict below = ahead(y + B.Whole + 1);
    for (std::size_t i = 0; i < width; ++i) {
      const float total = static_cast<float>(sums[i] << 8) + edge * static_cast<float>(above[i] + below[i]);
      out[i] = Quotient(total, norm, reciprocal);
      sums[i] += below[i] - leaving[i];
    }
  }
}

// Element (X, Y) of a picture of W x H elements of type T (rows Stride
// bytes apart) to element (Y, X) of To, rows ToStride bytes apart; in tiles
// so that both sides stay in the cache.
template <typename T>
void Transpose(const std::uint8_t* From, int W, int H, std::ptrdiff_t Stride, std::uint8_t* To,
               std::ptrdiff_t ToStride)
{
  constexpr int Tile = 32;
  for (int y0 = 0; y0 < H; y0 += Tile) {
    const int y1 = std::min(H, y0 + Tile);
    for (int x0 = 0; x0 < W; x0 += Tile) {
      const int x1 = std::min(W, x0 + Tile);
      for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = From + y * Stride;
        for (int x = x0; x < x1; ++x)
          std::memcpy(To + x * ToStride + static_cast<std::ptrdiff_t>(y) * sizeof(T),
                      row + static_cast<std::ptrdiff_t>(x) * sizeof(T), sizeof(T));
      }
    }
  }
}

// One horizontal pass: the picture turned on its side, its columns blurred
// as rows are, and turned back.
void BlurRows(std::uint8_t* Data, int W, int H, std::ptrdiff_t Stride, int Channels, const Box& B,
              std::vector<std::uint8_t>& Turned, std::vector<std::uint8_t>& Ring, std::vector<std::int32_t>& Sums)
{
  const std::ptrdiff_t turnedStride = static_cast<std::ptrdiff_t>(H) * Channels;
  Turned.resize(static_cast<std::size_t>(turnedStride) * W);
  if (Channels == 4) {
    Transpose<std::uint32_t>(Data, W, H, Stride, Turned.data(), turnedStride);
    BlurColumns(Turned.data(), H * 4, W, turnedStride, B, Ring, Sums);
    Transpose<std::uint32_t>(Turned.data(), H, W, turnedStride, Data, Stride);
  } else {
    Transpose<std::uint8_t>(Data, W, H, Stride, Turned.data(), turnedStride);
    BlurColumns(Turned.data(), H, W, turnedStride, B, Ring, Sums);
    Transpose<std::uint8_t>(Turned.data(), H, W, turnedStride, Data, Stride);
  }
}

} // namespace

void BlurBytes(std::uint8_t* Data, int Width, int Height, std::ptrdiff_t Stride, int Channels, double BlurWidth,
               double BlurHeight, int Passes)
{
  if (!Data || Width <= 0 || Height <= 0 || (Channels != 1 && Channels != 4))
    return;
  const Box across = BoxOf(BlurWidth);
  const Box down = BoxOf(BlurHeight);
  std::vector<std::uint8_t> turned;
  std::vector<std::uint8_t> ring;
  std::vector<std::int32_t> sums;
  for (int i = 0; i < std::clamp(Passes, 0, 15); ++i) {
    if (across.Blurs)
      BlurRows(Data, Width, Height, Stride, Channels, across, turned, ring, sums);
    if (down.Blurs)
      BlurColumns(Data, Width * Channels, Height, Stride, down, ring, sums);
  }
}

} // namespace quenloft::swf::render

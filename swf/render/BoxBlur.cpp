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

// Four channels of a pixel side by side (GCC and Clang vectors).
using Lanes = float __attribute__((vector_size(16)));
using IntLanes = std::int32_t __attribute__((vector_size(16)));
using ByteLanes = std::uint8_t __attribute__((vector_size(4)));

IntLanes Load(const std::uint8_t* P)
{
  ByteLanes b;
  std::memcpy(&b, P, sizeof b);
  return __builtin_convertvector(b, IntLanes);
}

// One horizontal pass over every row. Each row is copied into Line with
// Whole + 1 zero pixels on either side, so no tap needs a bounds test.
// The running sums stay below 2^24 and are exact as floats.
void BlurRows4(std::uint8_t* Data, int W, int H, std::ptrdiff_t Stride, const Box& B, std::vector<std::uint8_t>& Line)
{
  const int pad = B.Whole + 1;
  const auto edge = static_cast<float>(B.Edge);
  const auto norm = static_cast<float>(B.Norm);
  const float reciprocal = 1.0f / norm;
  Line.assign(static_cast<std::size_t>(W + 2 * pad) * 4, 0);
  const std::uint8_t* const line = Line.data();
  for (int y = 0; y < H; ++y) {
    std::uint8_t* row = Data + y * Stride;
    std::copy(row, row + static_cast<std::ptrdiff_t>(W) * 4, Line.data() + pad * 4);
    IntLanes sum{};
    for (int k = 1; k <= 2 * B.Whole + 1; ++k)
      sum += Load(line + k * 4);
    const std::uint8_t* leftEdge = line;
    const std::uint8_t* rightEdge = line + 2 * pad * 4;
    for (int x = 0; x < W; ++x) {
      const IntLanes right = Load(rightEdge);
      const Lanes total = __builtin_convertvector(sum << 8, Lanes) +
                          edge * __builtin_convertvector(Load(leftEdge) + right, Lanes);
      const Lanes q = __builtin_convertvector(__builtin_convertvector(total * reciprocal, IntLanes), Lanes);
      const Lanes rest = total - q * norm;
      // A true comparison is -1 in every bit of its lane.
      const IntLanes exact = __builtin_convertvector(q, IntLanes) - (rest >= norm) + (rest < 0.0f);
      const ByteLanes bytes = __builtin_convertvector(exact, ByteLanes);
      std::memcpy(row, &bytes, sizeof bytes);
      sum += right - Load(leftEdge + 4);
      row += 4;
      leftEdge += 4;
      rightEdge += 4;
    }
  }
}

// The same for a plane of one channel.
void BlurRows1(std::uint8_t* Data, int W, int H, std::ptrdiff_t Stride, const Box& B, std::vector<std::uint8_t>& Line)
{
  const int pad = B.Whole + 1;
  const auto norm = static_cast<float>(B.Norm);
  const float reciprocal = 1.0f / norm;
  Line.assign(static_cast<std::size_t>(W + 2 * pad), 0);
  const std::uint8_t* const line = Line.data();
  for (int y = 0; y < H; ++y) {
    std::uint8_t* row = Data + y * Stride;
    std::copy(row, row + W, Line.data() + pad);
    std::int32_t sum = 0;
    for (int k = 1; k <= 2 * B.Whole + 1; ++k)
      sum += line[k];
    for (int x = 0; x < W; ++x) {
      row[x] = Quotient(static_cast<float>(sum * 256 + B.Edge * (line[x] + line[x + 2 * pad])), norm, reciprocal);
      sum += line[x + 2 * pad] - line[x + 1];
    }
  }
}

// One vertical pass: sums of whole rows carried down the picture. A row is
// written over once the sums have passed it, so the rows the box still
// needs after that (Whole + 2 of them) wait in a ring of copies.
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

} // namespace

void BlurBytes(std::uint8_t* Data, int Width, int Height, std::ptrdiff_t Stride, int Channels, double BlurWidth,
               double BlurHeight, int Passes)
{
  if (!Data || Width <= 0 || Height <= 0 || (Channels != 1 && Channels != 4))
    return;
  const Box across = BoxOf(BlurWidth);
  const Box down = BoxOf(BlurHeight);
  std::vector<std::uint8_t> scratch;
  std::vector<std::int32_t> sums;
  for (int i = 0; i < std::clamp(Passes, 0, 15); ++i) {
    if (across.Blurs) {
      if (Channels == 4)
        BlurRows4(Data, Width, Height, Stride, across, scratch);
      else
        BlurRows1(Data, Width, Height, Stride, across, scratch);
    }
    if (down.Blurs)
      BlurColumns(Data, Width * Channels, Height, Stride, down, scratch, sums);
  }
}

} // namespace quenloft::swf::render

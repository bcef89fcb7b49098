#include "swf/VideoPixels.h"

#include <algorithm>
#include <cstdlib>

namespace quenloft::swf {

namespace {

// Studio range to full range in 16.16 fixed point: luma scaled by
// 255/219, colour differences by 255/224 and the BT.601 weights.
constexpr std::int32_t LumaScale = 76309;  // 255/219
constexpr std::int32_t CrToRed = 104597;   // 255/224 * 1.402
constexpr std::int32_t CrToGreen = -53279; // -255/224 * 1.402 * 0.299/0.587
constexpr std::int32_t CbToGreen = -25675; // -255/224 * 1.772 * 0.114/0.587
constexpr std::int32_t CbToBlue = 132201;  // 255/224 * 1.772
constexpr std::int32_t Half = 1 << 15;

std::uint32_t Channel(std::int32_t Fixed)
{
  return static_cast<std::uint32_t>(std::clamp(Fixed >> 16, 0, 255));
}

// Figure J.2 of H.263: the correction follows the step d up to the
// strength, falls back to zero at twice the strength and stays there, so
// real edges of the picture are left alone.
int Ramp(int D, int Strength)
{
  const int a = std::abs(D);
  const int v = std::max(a - std::max(2 * (a - Strength), 0), 0);
  return D < 0 ? -v : v;
}

// Samples A B | C D across one block edge. The divisions are arithmetic
// shifts: they round down, also below zero.
void Filter(std::uint8_t& A, std::uint8_t& B, std::uint8_t& C, std::uint8_t& D, int Strength)
{
  const int a = A, b = B, c = C, d = D;
  const int d1 = Ramp((a - 4 * b + 4 * c - d) >> 3, Strength);
  const int limit = std::abs(d1 >> 1);
  const int d2 = std::clamp((a - d) >> 2, -limit, limit);
  A = static_cast<std::uint8_t>(a - d2);
  B = static_cast<std::uint8_t>(std::clamp(b + d1, 0, 255));
  C = static_cast<std::uint8_t>(std::clamp(c - d1, 0, 255));
  D = static_cast<std::uint8_t>(d + d2);
}

} // namespace

void YuvToArgb(const YuvPicture& In, std::span<std::uint32_t> Out)
{
  const std::size_t w = In.Width;
  if (Out.size() < w * In.Height)
    return;
  for (std::uint32_t y = 0; y < In.Height; ++y) {
    const std::uint8_t* luma = In.Y.Data + std::size_t{y} * In.Y.Stride;
    const std::uint8_t* cb = In.U.Data + std::size_t{y / 2} * In.U.Stride;
    const std::uint8_t* cr = In.V.Data + std::size_t{y / 2} * In.V.Stride;
    const std::uint8_t* alpha = In.Alpha ? In.Alpha->Data + std::size_t{y} * In.Alpha->Stride : nullptr;
    std::uint32_t* row = Out.data() + y * w;
    for (std::size_t x = 0; x < w; ++x) {
      const std::int32_t g = (luma[x] - 16) * LumaScale + Half;
      const std::int32_t u = cb[x / 2] - 128;
      const std::int32_t v = cr[x / 2] - 128;
      std::uint32_t r = Channel(g + CrToRed * v);
      std::uint32_t gr = Channel(g + CrToGreen * v + CbToGreen * u);
      std::uint32_t b = Channel(g + CbToBlue * u);
      std::uint32_t a = 255;
      if (alpha) {
        // Premultiplied colour cannot exceed its alpha; the codec's
        // rounding sometimes says otherwise.
        a = alpha[x];
        r = std::min(r, a);
        gr = std::min(gr, a);
        b = std::min(b, a);
      }
      row[x] = (a << 24) | (r << 16) | (gr << 8) | b;
    }
  }
}

int DeblockingStrength(int Quantizer)
{
  // Table J.2 of H.263.
  static constexpr std::uint8_t Strength[32] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 7,
                                                7, 8, 8, 8, 9, 9, 9, 10, 10, 10, 11, 11, 11, 12, 12, 12};
  return Quantizer >= 0 && Quantizer < 32 ? Strength[Quantizer] : 0;
}

void DeblockPlane(std::span<std::uint8_t> P, std::uint32_t Width, std::uint32_t Height, int Strength)
{
  const std::size_t w = Width;
  if (Strength <= 0 || P.size() < w * Height)
    return;
  // Horizontal edges: rows edge - 2 .. edge + 1.
  for (std::size_t edge = 8; edge + 2 <= Height; edge += 8) {
    std::uint8_t* a = P.data() + (edge - 2) * w;
    for (std::size_t x = 0; x < w; ++x)
      Filter(a[x], a[x + w], a[x + 2 * w], a[x + 3 * w], Strength);
  }
  // Vertical edges, on the horizontally filtered samples.
  for (std::size_t y = 0; y < Height; ++y) {
    std::uint8_t* row = P.data() + y * w;
    for (std::size_t edge = 8; edge + 2 <= w; edge += 8)
      Filter(row[edge - 2], row[edge - 1], row[edge], row[edge + 1], Strength);
  }
}

} // namespace quenloft::swf

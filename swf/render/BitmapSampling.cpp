#include "swf/render/BitmapSampling.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quenloft::swf::render {
namespace {

// Texel index I of a bitmap N texels wide: wrapped, or held at the edge.
inline int Texel(long long I, int N, bool Repeating)
{
  if (I >= 0 && I < N)
    return static_cast<int>(I);
  if (Repeating) {
    const long long m = I % N;
    return static_cast<int>(m < 0 ? m + N : m);
  }
  return static_cast<int>(std::clamp<long long>(I, 0, N - 1));
}

// Positions along a row in 32.32 fixed point, so that stepping from pixel
// to pixel stays exact to far below a 256th of a texel.
constexpr double FixedOne = 4294967296.0;
// Past this many texels from the bitmap's origin a position is not drawn.
constexpr double MaxTexelPosition = 1e8;

// A fixed-point position (texel centres at whole numbers + 0.5) as the
// lower texel and the upper one's weight, rounded to 256ths.
struct Tap {
  long long Index;
  int Weight;
};

Tap TapAt(long long Fixed)
{
  const long long g = Fixed - (1LL << 31) + (1LL << 23);
  return {g >> 32, static_cast<int>((g >> 24) & 0xFF)};
}

// The four texels weighed, per channel, in 65536ths of a unit (0..255).
inline std::array<std::uint32_t, 4> Weighed(QRgb C00, QRgb C10, QRgb C01, QRgb C11, int Wx, int Wy)
{
  const std::uint32_t w00 = static_cast<std::uint32_t>((256 - Wx) * (256 - Wy));
  const std::uint32_t w10 = static_cast<std::uint32_t>(Wx * (256 - Wy));
  const std::uint32_t w01 = static_cast<std::uint32_t>((256 - Wx) * Wy);
  const std::uint32_t w11 = static_cast<std::uint32_t>(Wx * Wy);
  std::array<std::uint32_t, 4> out{};
  for (int k = 0; k < 4; ++k) {
    const int shift = k == 3 ? 24 : 16 - 8 * k; // red, green, blue, alpha
    out[static_cast<std::size_t>(k)] = ((C00 >> shift) & 0xFF) * w00 + ((C10 >> shift) & 0xFF) * w10 +
                                       ((C01 >> shift) & 0xFF) * w01 + ((C11 >> shift) & 0xFF) * w11;
  }
  return out;
}

inline std::uint32_t Unit(float V)
{
  return static_cast<std::uint32_t>(std::clamp(V, 0.0f, 1.0f) * 255 + 0.5f);
}

} // namespace

QImage SampleSmoothBitmap(const QImage& Source, const QTransform& BitmapToDevice, const QRect& Box,
                          bool Repeating, const ColorTransform& Ct)
{
  if (Source.isNull() || Box.isEmpty() || qsizetype{Box.width()} * Box.height() > MaxSampledPixels)
    return {};
  bool invertible = false;
  const QTransform toBitmap = BitmapToDevice.inverted(&invertible);
  if (!invertible)
    return {};
  const QImage texels = Source.format() == QImage::Format_ARGB32_Premultiplied
                            ? Source
                            : Source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int w = texels.width(), h = texels.height();
  const uchar* bits = texels.constBits();
  const qsizetype stride = texels.bytesPerLine();
  const std::array<float, 4> mul{static_cast<float>(Ct.RMul), static_cast<float>(Ct.GMul),
                                 static_cast<float>(Ct.BMul), static_cast<float>(Ct.AMul)};
  const std::array<float, 4> add{static_cast<float>(Ct.RAdd / 255), static_cast<float>(Ct.GAdd / 255),
                                 static_cast<float>(Ct.BAdd / 255), static_cast<float>(Ct.AAdd / 255)};
  const bool tinted = !Ct.IsIdentity();
  QImage out(Box.size(), QImage::Format_ARGB32_Premultiplied);
  if (out.isNull())
    return {};
  for (int y = 0; y < Box.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    // Along a row the bitmap position moves by a fixed step.
    const QPointF first = toBitmap.map(QPointF(Box.left() + 0.5, Box.top() + y + 0.5));
    const QPointF last = first + QPointF(toBitmap.m11(), toBitmap.m12()) * (Box.width() - 1);
    const auto inRange = [](const QPointF& P) {
      return std::abs(P.x()) < MaxTexelPosition && std::abs(P.y()) < MaxTexelPosition;
    };
    if (!inRange(first) || !inRange(last)) {
      std::fill(row, row + Box.width(), QRgb{0});
      continue;
    }
    const long long startX = std::llround(first.x() * FixedOne), startY = std::llround(first.y() * FixedOne);
    const long long stepX = std::llround(toBitmap.m11() * FixedOne),
                    stepY = std::llround(toBitmap.m12() * FixedOne);
    for (int x = 0; x < Box.width(); ++x) {
      const Tap u = TapAt(startX + stepX * x), v = TapAt(startY + stepY * x);
      const int x0 = Texel(u.Index, w, Repeating), x1 = Texel(u.Index + 1, w, Repeating);
      const auto* line0 = reinterpret_cast<const QRgb*>(bits + stride * Texel(v.Index, h, Repeating));
      const auto* line1 = reinterpret_cast<const QRgb*>(bits + stride * Texel(v.Index + 1, h, Repeating));
      const auto sum = Weighed(line0[x0], line0[x1], line1[x0], line1[x1], u.Weight, v.Weight);
      if (!tinted || sum[3] == 0) {
        const auto channel = [](std::uint32_t S) { return (S + 32768) >> 16; };
        row[x] = (channel(sum[3]) << 24) | (channel(sum[0]) << 16) | (channel(sum[1]) << 8) | channel(sum[2]);
        continue;
      }
      // Unmultiplied, transformed, clamped, multiplied again.
      std::array<float, 4> c{};
      for (std::size_t k = 0; k < 4; ++k)
        c[k] = static_cast<float>(sum[k]) / (65536.0f * 255.0f);
      const float a = c[3];
      for (std::size_t k = 0; k < 3; ++k)
        c[k] /= a;
      for (std::size_t k = 0; k < 4; ++k)
        c[k] = std::clamp(c[k] * mul[k] + add[k], 0.0f, 1.0f);
      for (std::size_t k = 0; k < 3; ++k)
        c[k] *= c[3];
      row[x] = (Unit(c[3]) << 24) | (Unit(c[0]) << 16) | (Unit(c[1]) << 8) | Unit(c[2]);
    }
  }
  return out;
}

} // namespace quenloft::swf::render

#include "swf/render/BitmapSampling.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quenloft::swf::render {
namespace {

// Texel index I of a bitmap N texels wide: wrapped, or held at the edge.
int Texel(long long I, int N, bool Repeating)
{
  if (Repeating) {
    const long long m = I % N;
    return static_cast<int>(m < 0 ? m + N : m);
  }
  return static_cast<int>(std::clamp<long long>(I, 0, N - 1));
}

// Position P (texel centres at whole numbers + 0.5) as the lower texel and
// the upper one's weight in 256ths.
struct Tap {
  long long Index;
  float Weight;
};

Tap TapAt(double P)
{
  const double q = P - 0.5;
  const double base = std::floor(q);
  const double fraction = std::round((q - base) * 256) / 256;
  return {static_cast<long long>(base), static_cast<float>(fraction)};
}

std::array<float, 4> Channels(QRgb P)
{
  return {static_cast<float>(qRed(P)), static_cast<float>(qGreen(P)), static_cast<float>(qBlue(P)),
          static_cast<float>(qAlpha(P))};
}

std::uint32_t Unit(float V)
{
  return static_cast<std::uint32_t>(std::lround(std::clamp(V, 0.0f, 1.0f) * 255));
}

} // namespace

QImage SampleSmoothBitmap(const QImage& Source, const QTransform& BitmapToDevice, const QRect& Box, bool Repeating,
                          const ColorTransform& Ct)
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
    for (int x = 0; x < Box.width(); ++x) {
      const QPointF at = toBitmap.map(QPointF(Box.left() + x + 0.5, Box.top() + y + 0.5));
      if (!std::isfinite(at.x()) || !std::isfinite(at.y()) || std::abs(at.x()) > 1e15 || std::abs(at.y()) > 1e15) {
        row[x] = 0;
        continue;
      }
      const Tap u = TapAt(at.x()), v = TapAt(at.y());
      const int x0 = Texel(u.Index, w, Repeating), x1 = Texel(u.Index + 1, w, Repeating);
      const auto* line0 = reinterpret_cast<const QRgb*>(texels.constScanLine(Texel(v.Index, h, Repeating)));
      const auto* line1 = reinterpret_cast<const QRgb*>(texels.constScanLine(Texel(v.Index + 1, h, Repeating)));
      const auto c00 = Channels(line0[x0]), c10 = Channels(line0[x1]);
      const auto c01 = Channels(line1[x0]), c11 = Channels(line1[x1]);
      std::array<float, 4> c{};
      for (int k = 0; k < 4; ++k) {
        const float top = c00[k] + (c10[k] - c00[k]) * u.Weight;
        const float bottom = c01[k] + (c11[k] - c01[k]) * u.Weight;
        c[k] = (top + (bottom - top) * v.Weight) / 255;
      }
      if (tinted && c[3] > 0) {
        // Unmultiplied, transformed, clamped, multiplied again.
        const float a = c[3];
        for (int k = 0; k < 3; ++k)
          c[k] /= a;
        for (int k = 0; k < 4; ++k)
          c[k] = std::clamp(c[k] * mul[k] + add[k], 0.0f, 1.0f);
        for (int k = 0; k < 3; ++k)
          c[k] *= c[3];
      }
      row[x] = (Unit(c[3]) << 24) | (Unit(c[0]) << 16) | (Unit(c[1]) << 8) | Unit(c[2]);
    }
  }
  return out;
}

} // namespace quenloft::swf::render

#include "swf/render/TintCache.h"

#include <algorithm>
#include <array>

namespace quenloft::swf::render {
namespace {

// Copies kept at most, and the pixels they may hold together.
constexpr std::size_t MaxEntries = 64;
constexpr std::int64_t MaxPixels = 16ll << 20;

std::int64_t PixelsOf(const QImage& I)
{
  return std::int64_t{I.width()} * I.height();
}

} // namespace

QImage TintedImage(const QImage& Source, const ColorTransform& Ct)
{
  std::array<std::array<std::uint8_t, 256>, 4> table{};
  for (int v = 0; v < 256; ++v) {
    const auto c = static_cast<std::uint8_t>(v);
    const Rgba out = Ct.Apply({c, c, c, c});
    const auto i = static_cast<std::size_t>(v);
    table[0][i] = out.R;
    table[1][i] = out.G;
    table[2][i] = out.B;
    table[3][i] = out.A;
  }
  QImage out = Source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p = row[x];
      row[x] = qRgba(table[0][static_cast<std::size_t>(qRed(p))], table[1][static_cast<std::size_t>(qGreen(p))],
                     table[2][static_cast<std::size_t>(qBlue(p))], table[3][static_cast<std::size_t>(qAlpha(p))]);
    }
  }
  return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

const QImage& TintCache::Get(const QImage& Source, const ColorTransform& Ct)
{
  const qint64 key = Source.cacheKey();
  for (Entry& e : FEntries) {
    if (e.Source == key && e.Color == Ct) {
      e.Frame = FFrame;
      return e.Image;
    }
  }
  QImage image = TintedImage(Source, Ct);
  // Room is made by dropping the copies used longest ago.
  std::int64_t pixels = PixelsOf(image);
  for (const Entry& e : FEntries)
    pixels += PixelsOf(e.Image);
  std::sort(FEntries.begin(), FEntries.end(), [](const Entry& A, const Entry& B) { return A.Frame > B.Frame; });
  while (!FEntries.empty() && (FEntries.size() >= MaxEntries || pixels > MaxPixels)) {
    pixels -= PixelsOf(FEntries.back().Image);
    FEntries.pop_back();
  }
  FEntries.push_back({key, Ct, std::move(image), FFrame});
  return FEntries.back().Image;
}

void TintCache::NextFrame()
{
  std::erase_if(FEntries, [this](const Entry& E) { return E.Frame < FFrame; });
  ++FFrame;
}

} // namespace quenloft::swf::render

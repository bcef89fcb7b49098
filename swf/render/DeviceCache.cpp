#include "swf/render/DeviceCache.h"

#include <bit>
#include <cmath>

namespace quenloft::swf::render {
namespace {

// Shape draws whose device outlines are kept between frames.
constexpr std::size_t MaxDeviceEntries = 20000;

// Translations are keyed in steps of 2^-40 pixel up to 2^20 pixels out;
// past that, by their exact value.
constexpr int FractionBits = 40;
constexpr double StepsPerPixel = static_cast<double>(std::int64_t{1} << FractionBits);
constexpr double FarOut = 1 << 20;

// The pixels all kept rasters may hold.
constexpr std::int64_t MaxRasterPixels = 16ll << 20;

std::int64_t PixelsOf(const DeviceCache::Raster& R)
{
  return std::int64_t{R.Image.width()} * R.Image.height();
}

} // namespace

DeviceCache::Key DeviceCache::KeyOf(CharacterHandle Shape, const QTransform& T, QPoint& Offset)
{
  Key key{Shape, {T.m11(), T.m12(), T.m21(), T.m22()}, {0, 0}};
  int whole[2] = {0, 0};
  const double move[2] = {T.dx(), T.dy()};
  for (int i = 0; i < 2; ++i) {
    if (std::abs(move[i]) < FarOut) {
      // The translation in steps far below anything the rasterizer sees:
      // two moves that differ by less than a step share their areas.
      const auto steps = static_cast<std::int64_t>(std::llround(move[i] * StepsPerPixel));
      whole[i] = static_cast<int>(steps >> FractionBits);
      key.Fraction[i] = steps & ((std::int64_t{1} << FractionBits) - 1);
    } else {
      key.Fraction[i] = std::bit_cast<std::int64_t>(move[i]);
    }
  }
  Offset = QPoint(whole[0], whole[1]);
  return key;
}

bool DeviceCache::Inside(const std::vector<Area>& Areas, QPoint Shift) const
{
  // A pixel of room on every side: coverage reaches the pixels an edge
  // touches.
  const QRectF room = QRectF(QPointF(0, 0), QSizeF(FSize)).adjusted(1, 1, -1, -1);
  for (const Area& a : Areas) {
    if (a.Path.isEmpty())
      continue;
    if (!room.contains(a.Path.controlPointRect().translated(Shift)))
      return false;
  }
  return true;
}

std::size_t DeviceCache::Hash::operator()(const Key& K) const
{
  std::size_t h = std::hash<CharacterHandle>()(K.Shape);
  for (double v : K.M)
    h = h * 1000003u ^ std::hash<double>()(v);
  for (std::int64_t v : K.Fraction)
    h = h * 1000003u ^ std::hash<std::int64_t>()(v);
  return h;
}

void DeviceCache::Clear()
{
  FEntries.clear();
  FFiltered.clear();
  FRasterPixels = 0;
}

const DeviceCache::Filtered* DeviceCache::FindFiltered(std::uint64_t Id)
{
  const auto it = FFiltered.find(Id);
  if (it == FFiltered.end())
    return nullptr;
  it->second.Frame = FFrame;
  return &it->second.Pixels;
}

void DeviceCache::KeepFiltered(std::uint64_t Id, Filtered F)
{
  const std::int64_t pixels = static_cast<std::int64_t>(F.Image.width()) * F.Image.height();
  if (FFiltered.count(Id) || FRasterPixels + pixels > MaxRasterPixels)
    return;
  FRasterPixels += pixels;
  FFiltered.emplace(Id, FilteredEntry{std::move(F), FFrame});
}

void DeviceCache::Target(QSize Size, int Grid)
{
  if (Size == FSize && Grid == FGrid)
    return;
  Clear();
  FSize = Size;
  FGrid = Grid;
}

std::vector<DeviceCache::Area>* DeviceCache::Find(CharacterHandle Shape, const QTransform& T)
{
  QPoint offset;
  const auto it = FEntries.find(KeyOf(Shape, T, offset));
  if (it == FEntries.end())
    return nullptr;
  Entry& e = it->second;
  if (e.Offset != offset) {
    const QPoint shift = offset - e.Offset;
    if (!e.Whole || !Inside(e.Areas, shift))
      return nullptr;
    for (Area& a : e.Areas) {
      a.Path.translate(shift);
      if (!a.Cover.Image.isNull())
        a.Cover.At += shift;
      for (Span& span : a.Spans) {
        span.Y += shift.y();
        span.X0 += shift.x();
        span.X1 += shift.x();
      }
    }
    e.Offset = offset;
  }
  e.Frame = FFrame;
  return &e.Areas;
}

const std::vector<DeviceCache::Area>& DeviceCache::Keep(CharacterHandle Shape, const QTransform& T,
                                                        std::vector<Area> Areas)
{
  if (FEntries.size() >= MaxDeviceEntries) {
    FUncached = std::move(Areas);
    return FUncached;
  }
  QPoint offset;
  Entry& e = FEntries[KeyOf(Shape, T, offset)];
  e.Areas = std::move(Areas);
  e.Offset = offset;
  e.Whole = Inside(e.Areas, {});
  e.Frame = FFrame;
  return e.Areas;
}

DeviceCache::Raster* DeviceCache::FindRaster(CharacterHandle Shape, const QTransform& T)
{
  QPoint offset;
  const auto it = FEntries.find(KeyOf(Shape, T, offset));
  if (it == FEntries.end() || !it->second.Pixels || it->second.PixelsOffset != offset)
    return nullptr;
  it->second.Frame = FFrame;
  return &*it->second.Pixels;
}

void DeviceCache::KeepRaster(CharacterHandle Shape, const QTransform& T, Raster R)
{
  QPoint offset;
  const auto it = FEntries.find(KeyOf(Shape, T, offset));
  if (it == FEntries.end())
    return;
  if (it->second.Pixels)
    FRasterPixels -= PixelsOf(*it->second.Pixels);
  it->second.Pixels.reset();
  if (FRasterPixels + PixelsOf(R) > MaxRasterPixels)
    return;
  FRasterPixels += PixelsOf(R);
  it->second.Pixels = std::move(R);
  it->second.PixelsOffset = offset;
}

void DeviceCache::NextFrame()
{
  // Keep what the frame just drawn used; the next one usually draws it again.
  std::erase_if(FEntries, [this](const auto& E) {
    if (E.second.Frame >= FFrame)
      return false;
    if (E.second.Pixels)
      FRasterPixels -= PixelsOf(*E.second.Pixels);
    return true;
  });
  std::erase_if(FFiltered, [this](const auto& E) {
    if (E.second.Frame >= FFrame)
      return false;
    FRasterPixels -= static_cast<std::int64_t>(E.second.Pixels.Image.width()) * E.second.Pixels.Image.height();
    return true;
  });
  ++FFrame;
}

} // namespace quenloft::swf::render

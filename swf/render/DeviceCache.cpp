#include "swf/render/DeviceCache.h"

namespace quenloft::swf::render {
namespace {

// Shape draws whose device outlines are kept between frames.
constexpr std::size_t MaxDeviceEntries = 20000;

// The pixels all kept rasters may hold.
constexpr std::int64_t MaxRasterPixels = 16ll << 20;

std::int64_t PixelsOf(const DeviceCache::Raster& R)
{
  return std::int64_t{R.Image.width()} * R.Image.height();
}

} // namespace

DeviceCache::Key DeviceCache::KeyOf(CharacterHandle Shape, const QTransform& T)
{
  return {Shape, {T.m11(), T.m12(), T.m21(), T.m22(), T.dx(), T.dy()}};
}

std::size_t DeviceCache::Hash::operator()(const Key& K) const
{
  std::size_t h = std::hash<CharacterHandle>()(K.Shape);
  for (double v : K.M)
    h = h * 1000003u ^ std::hash<double>()(v);
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
  const auto it = FEntries.find(KeyOf(Shape, T));
  if (it == FEntries.end())
    return nullptr;
  it->second.Frame = FFrame;
  return &it->second.Areas;
}

const std::vector<DeviceCache::Area>& DeviceCache::Keep(CharacterHandle Shape, const QTransform& T,
                                                        std::vector<Area> Areas)
{
  if (FEntries.size() >= MaxDeviceEntries) {
    FUncached = std::move(Areas);
    return FUncached;
  }
  Entry& e = FEntries[KeyOf(Shape, T)];
  e.Areas = std::move(Areas);
  e.Frame = FFrame;
  return e.Areas;
}

DeviceCache::Raster* DeviceCache::FindRaster(CharacterHandle Shape, const QTransform& T)
{
  const auto it = FEntries.find(KeyOf(Shape, T));
  if (it == FEntries.end() || !it->second.Pixels)
    return nullptr;
  it->second.Frame = FFrame;
  return &*it->second.Pixels;
}

void DeviceCache::KeepRaster(CharacterHandle Shape, const QTransform& T, Raster R)
{
  const auto it = FEntries.find(KeyOf(Shape, T));
  if (it == FEntries.end())
    return;
  if (it->second.Pixels)
    FRasterPixels -= PixelsOf(*it->second.Pixels);
  it->second.Pixels.reset();
  if (FRasterPixels + PixelsOf(R) > MaxRasterPixels)
    return;
  FRasterPixels += PixelsOf(R);
  it->second.Pixels = std::move(R);
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

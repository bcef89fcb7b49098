// What the painter keeps of the shapes it drew lately, between frames.
//
// Entries are keyed by the shape's handle (CharacterHandle) and the
// transform to the device: a shape whose contents change gets a new handle
// and so never meets what was kept of its old contents; entries not used in
// a frame are dropped after it, so a shape that went leaves nothing behind.
// The areas of a shape moved by whole pixels are the same areas moved: an
// entry is found by the transform's scale, rotation and the fraction of a
// pixel of its translation, and its areas are moved to where they are
// asked for, as long as the target cut nothing off them there or here.
// Rasters are kept for the one place they were drawn at.
//
// Threads: the thread of the renderer that owns it.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPoint>
#include <QSize>
#include <QTransform>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "swf/Movie.h"
#include "swf/render/AliasedSpans.h"

namespace quenloft::swf::render {

// One part (fill or line) of a shape on the device.
struct DeviceArea {
  QPainterPath Path;       // what the part covers, curves flattened
  std::vector<Span> Spans; // the same as pixel spans, without anti-aliasing
  Coverage Cover;          // the same as coverage, with anti-aliasing
};

class DeviceCache {
public:
  using Area = DeviceArea;

  // Says what is drawn on: the target's Size and Grid (anti-aliasing cells
  // per pixel side, 0 without). A change of either empties the cache.
  void Target(QSize Size, int Grid);
  // The areas of the shape's parts under T, or null when not cached.
  std::vector<Area>* Find(CharacterHandle Shape, const QTransform& T);
  // Keeps Areas unless the cache is full; returns what to draw from.
  const std::vector<Area>& Keep(CharacterHandle Shape, const QTransform& T, std::vector<Area> Areas);

  // A complex shape drawn once, kept as pixels for the frames that draw it
  // again under the same transform and colour transform.
  struct Raster {
    QImage Image; // premultiplied, transparent around the shape
    QPoint At;    // where its top left goes on the target
    ColorTransform Color;
    std::uint64_t Content = 0; // what else it was drawn from (its bitmaps)
  };
  Raster* FindRaster(CharacterHandle Shape, const QTransform& T);
  // Kept only beside the shape's areas (after Keep) and within the pixel
  // budget.
  void KeepRaster(CharacterHandle Shape, const QTransform& T, Raster R);

  // A filtered (or cached-as-bitmap) object's finished pixels, by the key
  // of everything they depend on (FilteredKey.h): laid down again while
  // the object stays the same; dropped after a frame that did not use them.
  struct Filtered {
    QImage Image; // premultiplied; null when the object drew nothing
    QPoint At;    // where its top left goes on the target
  };
  const Filtered* FindFiltered(std::uint64_t Id);
  // Kept within the pixel budget it shares with the rasters.
  void KeepFiltered(std::uint64_t Id, Filtered F);
  std::size_t FilteredCount() const { return FFiltered.size(); }

  // Called before each frame: drops what the frame before did not use.
  void NextFrame();
  void Clear();
  std::size_t Size() const { return FEntries.size(); }

private:
  struct Key {
    CharacterHandle Shape;
    double M[4];
    std::int64_t Fraction[2]; // of a pixel, or the whole translation far out
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct Hash {
    std::size_t operator()(const Key& K) const;
  };
  struct Entry {
    std::vector<Area> Areas;
    QPoint Offset;      // the whole pixels the areas are moved by now
    bool Whole = false; // the target cut nothing off the areas
    std::optional<Raster> Pixels;
    QPoint PixelsOffset; // where the raster was drawn
    std::uint64_t Frame = 0;
  };
  static Key KeyOf(CharacterHandle Shape, const QTransform& T, QPoint& Offset);
  bool Inside(const std::vector<Area>& Areas, QPoint Shift) const;

  std::unordered_map<Key, Entry, Hash> FEntries;
  struct FilteredEntry {
    Filtered Pixels;
    std::uint64_t Frame = 0;
  };
  std::unordered_map<std::uint64_t, FilteredEntry> FFiltered;
  std::uint64_t FFrame = 0;
  std::int64_t FRasterPixels = 0;
  QSize FSize;
  int FGrid = 0;
  std::vector<Area> FUncached;
};

} // namespace quenloft::swf::render

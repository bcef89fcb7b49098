// Colour-transformed copies of bitmaps and video pictures.
//
// TintedImage applies a colour transform to every pixel of a premultiplied
// image through one table per channel (a channel's result depends on that
// channel alone), so a transform that changes every frame stays cheap.
// TintCache keeps the copies a frame made for the next ones: a bitmap shown
// under the same transform again is not worked out again. Copies are keyed
// by the source image's cache key, which changes with its pixels; a copy
// not asked for during a frame is dropped after it.
//
// Threads: the thread of the renderer that owns the cache.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

#include "swf/Movie.h"

namespace quenloft::swf::render {

// Source (premultiplied ARGB32 or any format QImage converts) under Ct, as
// premultiplied ARGB32. Ct applies to the unpremultiplied colour.
QImage TintedImage(const QImage& Source, const ColorTransform& Ct);

class TintCache {
public:
  // Source under Ct; valid until the next call of Get or NextFrame.
  const QImage& Get(const QImage& Source, const ColorTransform& Ct);
  // Called before each frame: drops the copies the frame before did not use.
  void NextFrame();
  std::size_t Size() const { return FEntries.size(); }

private:
  struct Entry {
    qint64 Source = 0;
    ColorTransform Color;
    QImage Image;
    std::uint64_t Frame = 0;
  };
  std::vector<Entry> FEntries;
  std::uint64_t FFrame = 0;
};

} // namespace quenloft::swf::render

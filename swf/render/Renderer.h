// Draws a frame of a movie: the stage background and a display list.
//
// The renderer needs QtGui only (QImage, QPainter), never a window or an
// application object, so it runs headless (quenloft-cli render, tests).
// It keeps the shapes' paths and the decoded bitmaps between frames, keyed
// by the characters' handles, so drawing changes the renderer (its methods
// that draw are not const).
//
// Errors: RenderFrame raises ERenderError for a size it refuses.
//
// Threads: one thread at a time per Renderer (its caches are not locked);
// the Movie may be shared with Timelines on other threads.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QRegion>
#include <QSize>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/Classes.h"
#include "swf/Movie.h"
#include "swf/Timeline.h"

namespace quenloft::swf::render {

// The player's stage quality: Low draws without anti-aliasing and without
// smoothing bitmaps; Medium anti-aliases; High and Best also smooth the
// bitmaps that ask for it.
enum class Quality { Low, Medium, High, Best };

struct PaintOptions;

class ERenderError : public Exception {
public:
  using Exception::Exception;
};

// The largest image RenderFrame makes.
inline constexpr int MaxFrameSide = 8192;
inline constexpr std::int64_t MaxFramePixels = 32ll << 20; // 128 MiB of pixels

class Renderer {
public:
  explicit Renderer(std::shared_ptr<const Movie> Movie);
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Draws the stage background and the display list, the stage scaled to
  // fill Target (aspect kept by the caller), anti-aliased per Q. Nothing is
  // drawn outside Target.
  void Draw(const DisplayList& List, QPainter& Painter, const QRectF& Target, Quality Q);

  // The frame at Size pixels, ARGB32_Premultiplied. Sizes of zero, below
  // zero or above MaxFrameSide per side or MaxFramePixels in all raise
  // ERenderError.
  QImage RenderFrame(const DisplayList& List, QSize Size, Quality Q);

  // Brings Frame up to List, drawing only the pixels that can differ from
  // what the call before drew into it, and returns those pixels (empty when
  // nothing changed). Frame must be ARGB32_Premultiplied and not null;
  // anything else than what the call before left in it at the same size
  // and quality (a new image, one drawn on meanwhile) is drawn whole. The
  // result equals RenderFrame's at Frame's size.
  QRegion Update(const DisplayList& List, QImage& Frame, Quality Q);

  // The frame in a window of Size pixels: the stage scaled to fit it whole
  // with its aspect kept and centred, the margins in the stage's colour,
  // with whatever lies beyond the stage showing there. Sizes as for
  // RenderFrame.
  QImage RenderViewport(const DisplayList& List, QSize Size, Quality Q);

  // The stage in whole pixels (at least 1 x 1), for callers that draw at
  // stage size.
  QSize StageSize() const;

private:
  struct Caches;
  struct Kept;
  // The stage scaled by StageToImage, or stretched over the image when none.
  PaintOptions OptionsFor(QSize Size, Quality Q, const std::optional<QTransform>& StageToImage = std::nullopt) const;
  // Draws only the pixels of Only (all when empty).
  void Paint(const DisplayList& List, QImage& Image, Quality Q, const QRegion& Only = {},
             const std::optional<QTransform>& StageToImage = std::nullopt);
  QImage NewFrame(QSize Size) const;

  std::shared_ptr<const Movie> FMovie;
  std::unique_ptr<Caches> FCaches;
  std::unique_ptr<Kept> FKept; // what Update drew last
};

} // namespace quenloft::swf::render

#include "swf/render/Renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

#include "swf/render/BitmapImages.h"
#include "swf/render/DrawCommands.h"
#include "swf/render/FrameChanges.h"
#include "swf/render/PainterBackend.h"
#include "swf/render/ShapePaths.h"
#include "swf/VideoDecoder.h"

namespace quenloft::swf::render {

namespace {

QImage VideoImage(const VideoPicture* P)
{
  if (!P || P->Width == 0 || P->Height == 0)
    return {};
  QImage image(static_cast<int>(P->Width), static_cast<int>(P->Height), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull())
    return {};
  for (std::uint32_t y = 0; y < P->Height; ++y)
    std::memcpy(image.scanLine(static_cast<int>(y)), P->Pixels.data() + std::size_t{y} * P->Width,
                std::size_t{P->Width} * sizeof(std::uint32_t));
  return image;
}

} // namespace

struct Renderer::Kept {
  std::unique_ptr<FrameChanges> Changes;
  Quality Q = Quality::High;
  qint64 FrameKey = 0; // the frame's cache key after it was drawn
  QImage Scratch;      // where the changed pixels are drawn
};

struct Renderer::Caches {
  FrameChanges::Extents Extents;
  ShapeCache Shapes;
  DeviceCache Devices;
  TintCache Tints;
  // Decoded once per handle; a bitmap that does not decode is kept as a
  // null image.
  struct Decoded {
    CharacterHandle Handle = 0;
    QImage Image;
  };
  std::unordered_map<CharacterId, Decoded> Bitmaps;
  // A decoder per video, with the picture it showed last.
  struct Video {
    std::unique_ptr<VideoDecoder> Decoder;
    std::optional<std::uint16_t> Frame;
    QImage Picture;
  };
  std::unordered_map<CharacterId, Video> Videos;
};

Renderer::Renderer(std::shared_ptr<const Movie> Movie)
    : FMovie(std::move(Movie)), FCaches(std::make_unique<Caches>()), FKept(std::make_unique<Kept>())
{
  if (!FMovie)
    throw ERenderError("no movie to render");
}

Renderer::~Renderer() = default;

QRegion Renderer::Update(const DisplayList& List, QImage& Frame, Quality Q)
{
  if (Frame.isNull() || Frame.format() != QImage::Format_ARGB32_Premultiplied)
    throw ERenderError("Update draws into a premultiplied ARGB32 frame only");
  const PaintOptions options = OptionsFor(Frame.size(), Q);
  auto now = std::make_unique<FrameChanges>(FCaches->Shapes, FCaches->Extents, Frame.size(),
                                            options.StageToDevice, options.PixelsPerTwip);
  EmitDisplayList(*FMovie, List, FCaches->Shapes, *now);
  Kept& kept = *FKept;
  const QRect all = Frame.rect();
  QRegion changed = all;
  if (kept.Changes && kept.Q == Q && kept.FrameKey == Frame.cacheKey())
    changed = now->Since(*kept.Changes).intersected(all);
  if (changed == QRegion(all)) {
    Paint(List, Frame, Q);
  } else if (!changed.isEmpty()) {
    // Drawn apart and copied: blend modes write past the clip.
    if (kept.Scratch.size() != Frame.size())
      kept.Scratch = QImage(Frame.size(), QImage::Format_ARGB32_Premultiplied);
    if (kept.Scratch.isNull())
      throw ERenderError("out of memory for a frame");
    Paint(List, kept.Scratch, Q, changed);
    QPainter p(&Frame);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : changed)
      p.drawImage(r.topLeft(), kept.Scratch, r);
  }
  kept.Changes = std::move(now);
  kept.Q = Q;
  kept.FrameKey = Frame.cacheKey();
  return changed;
}

QSize Renderer::StageSize() const
{
  const Rect& s = FMovie->Stage;
  const auto side = [](std::int64_t Twips) {
    return static_cast<int>(std::clamp<std::int64_t>(Twips / 20, 1, MaxFrameSide));
  };
  return {side(std::int64_t{s.XMax} - s.XMin), side(std::int64_t{s.YMax} - s.YMin)};
}

void Renderer::Draw(const DisplayList& List, QPainter& Painter, const QRectF& Target, Quality Q)
{
  const QRect device = Painter.worldTransform().mapRect(Target).toAlignedRect();
  if (device.isEmpty())
    return;
  const QSize size(std::min(device.width(), MaxFrameSide), std::min(device.height(), MaxFrameSide));
  QImage frame(size, QImage::Format_ARGB32_Premultiplied);
  if (frame.isNull())
    return;
  Paint(List, frame, Q);
  Painter.save();
  Painter.setRenderHint(QPainter::SmoothPixmapTransform, Q != Quality::Low);
  Painter.drawImage(Target, frame);
  Painter.restore();
}

QImage Renderer::RenderFrame(const DisplayList& List, QSize Size, Quality Q)
{
  QImage frame = NewFrame(Size);
  Paint(List, frame, Q);
  return frame;
}

QImage Renderer::RenderViewport(const DisplayList& List, QSize Size, Quality Q)
{
  QImage frame = NewFrame(Size);
  const Rect& s = FMovie->Stage;
  const double w = static_cast<double>(s.XMax) - s.XMin;
  const double h = static_cast<double>(s.YMax) - s.YMin;
  if (!(w > 0 && h > 0)) {
    Paint(List, frame, Q);
    return frame;
  }
  const double scale = std::min(Size.width() / w, Size.height() / h);
  const QTransform view = QTransform::fromTranslate(-s.XMin, -s.YMin) * QTransform::fromScale(scale, scale) *
                          QTransform::fromTranslate((Size.width() - w * scale) / 2, (Size.height() - h * scale) / 2);
  Paint(List, frame, Q, {}, view);
  return frame;
}

QImage Renderer::NewFrame(QSize Size) const
{
  if (Size.width() <= 0 || Size.height() <= 0)
    throw ERenderError("cannot render a frame of " + std::to_string(Size.width()) + " x " +
                       std::to_string(Size.height()) + " pixels");
  if (Size.width() > MaxFrameSide || Size.height() > MaxFrameSide ||
      std::int64_t{Size.width()} * Size.height() > MaxFramePixels)
    throw ERenderError("a frame of " + std::to_string(Size.width()) + " x " + std::to_string(Size.height()) +
                       " pixels is larger than the renderer's limit (" + std::to_string(MaxFrameSide) +
                       " pixels per side, " + std::to_string(MaxFramePixels >> 20) + " Mpixel in all)");
  QImage frame(Size, QImage::Format_ARGB32_Premultiplied);
  if (frame.isNull())
    throw ERenderError("out of memory for a frame of " + std::to_string(Size.width()) + " x " +
                       std::to_string(Size.height()) + " pixels");
  return frame;
}

PaintOptions Renderer::OptionsFor(QSize Size, Quality Q, const std::optional<QTransform>& StageToImage) const
{
  PaintOptions options;
  const Rect& s = FMovie->Stage;
  const double w = static_cast<double>(s.XMax) - s.XMin;
  const double h = static_cast<double>(s.YMax) - s.YMin;
  const double sx = w > 0 ? Size.width() / w : 0;
  const double sy = h > 0 ? Size.height() / h : 0;
  options.StageToDevice = QTransform::fromTranslate(-s.XMin, -s.YMin) * QTransform::fromScale(sx, sy);
  if (StageToImage)
    options.StageToDevice = *StageToImage;
  options.PixelsPerTwip = (options.StageToDevice.m11() + options.StageToDevice.m22()) / 2;
  options.Antialias = Q != Quality::Low;
  // The player anti-aliases on a grid of 2 x 2 cells per pixel at medium
  // quality and of 4 x 4 above.
  options.Grid = Q == Quality::Medium ? 2 : 4;
  // A bitmap fill that asks to be smoothed is filtered at every quality,
  // as the reference renderings show, from version 8 on; older movies
  // always show their bitmap fills' pixels as they are.
  options.SmoothBitmaps = FMovie->Version >= 8;
  using Smoothing = PaintOptions::VideoSmoothing;
  if (Q == Quality::Low)
    options.SmoothVideos = Smoothing::Never;
  else if (FMovie->Version >= 8)
    options.SmoothVideos = Smoothing::ByFlag;
  else
    options.SmoothVideos = Q == Quality::Medium ? Smoothing::Never
                           : Q == Quality::High ? Smoothing::SinglePicture
                                                : Smoothing::Always;
  return options;
}

void Renderer::Paint(const DisplayList& List, QImage& Image, Quality Q, const QRegion& Only,
                     const std::optional<QTransform>& StageToImage)
{
  const Rgba bg = FMovie->Background;
  const QColor stage(bg.R, bg.G, bg.B); // the stage itself is always opaque
  if (Only.isEmpty()) {
    Image.fill(stage);
  } else {
    QPainter p(&Image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : Only)
      p.fillRect(r, stage);
  }

  const Rect& s = FMovie->Stage;
  if (!(static_cast<double>(s.XMax) - s.XMin > 0 && static_cast<double>(s.YMax) - s.YMin > 0))
    return;
  PaintOptions options = OptionsFor(Image.size(), Q, StageToImage);
  options.Only = Only;

  Caches& caches = *FCaches;
  caches.Shapes.Trim();
  caches.Devices.NextFrame();
  caches.Tints.NextFrame();
  const Movie& movie = *FMovie;
  BitmapSource bitmaps = [&caches, &movie](CharacterId Id) -> const QImage* {
    const Character* ch = movie.Find(Id);
    const auto* bitmap = ch ? std::get_if<swf::Bitmap>(ch) : nullptr;
    if (!bitmap) {
      caches.Bitmaps.erase(Id); // gone, or no longer a bitmap
      return nullptr;
    }
    Caches::Decoded& d = caches.Bitmaps[Id];
    if (d.Handle != bitmap->Handle)
      d = {bitmap->Handle, DecodeBitmapImage(movie, *bitmap)};
    return d.Image.isNull() ? nullptr : &d.Image;
  };
  PainterBackend backend(Image, options, caches.Shapes, caches.Devices, bitmaps);
  backend.SetTints(caches.Tints);
  backend.SetVideos([&caches](const VideoStream& Stream, std::uint16_t Frame) -> const QImage* {
    Caches::Video& v = caches.Videos[Stream.Id];
    if (!v.Decoder)
      v.Decoder = std::make_unique<VideoDecoder>(Stream);
    if (v.Frame != Frame) {
      v.Frame = Frame;
      v.Picture = VideoImage(v.Decoder->Picture(Frame));
    }
    return v.Picture.isNull() ? nullptr : &v.Picture;
  });
  EmitDisplayList(movie, List, caches.Shapes, backend);
}

} // namespace quenloft::swf::render

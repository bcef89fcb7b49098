#include "swf/render/PainterBackend.h"

#include "swf/render/DeviceText.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <cmath>

#include "swf/render/AliasedSpans.h"
#include "swf/render/DevicePaths.h"
#include "swf/render/Paint.h"
#include "swf/render/ShapePaths.h"

namespace quenloft::swf::render {
namespace {

// Shapes of this many parts or more are kept as pixels between frames.
constexpr std::size_t RasterParts = 64;

// A gradient or bitmap fill, or a gradient line: its colours are worked
// out for every pixel.
bool SampledPerPixel(const ShapePart& Part)
{
  const auto gradient = [](const FillStyle& F) { return F.Kind != FillKind::Solid && F.Kind != FillKind::Bitmap; };
  if (Part.Type == ShapePart::Kind::Fill)
    return Part.Fill.Kind != FillKind::Solid;
  return Part.Line.Fill && gradient(*Part.Line.Fill);
}

} // namespace

PainterBackend::PainterBackend(QImage& Target, const PaintOptions& Options, ShapeCache& Shapes,
                               DeviceCache& Devices, BitmapSource Bitmaps)
    : FTarget(Target), FOptions(Options), FShapes(Shapes), FDevices(Devices), FBitmaps(std::move(Bitmaps))
{
  FDevices.Target(FTarget.size(), FOptions.Antialias ? FOptions.Grid : 0);
  Layer root;
  root.Painter = std::make_unique<QPainter>(&FTarget);
  SetUp(*root.Painter);
  if (!FOptions.Only.isEmpty())
    root.Painter->setClipRegion(FOptions.Only);
  FLayers.push_back(std::move(root));
}

PainterBackend::~PainterBackend()
{
  // Unbalanced commands (a walk cut short): close what is open.
  while (FLayers.size() > 1)
    EndLayer();
  Painter().end();
}

void PainterBackend::SetUp(QPainter& P)
{
  P.setRenderHint(QPainter::Antialiasing, FOptions.Antialias);
  P.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void PainterBackend::ApplyClip(Layer& L)
{
  QPainter& p = *L.Painter;
  p.resetTransform();
  SetClip(p, L);
}

void PainterBackend::SetClip(QPainter& P, const Layer& L)
{
  if (L.Regions.empty())
    P.setClipping(false);
  else
    P.setClipRegion(L.Regions.back(), Qt::ReplaceClip);
}

bool PainterBackend::Needed(const std::vector<DeviceCache::Area>& Areas) const
{
  if (FOptions.Only.isEmpty())
    return true;
  // Filters spread what they draw beyond it.
  if (std::any_of(FLayers.begin(), FLayers.end(), [](const Layer& L) { return L.Filters != nullptr; }))
    return true;
  return FOptions.Only.intersects(Bounds(Areas));
}

QRect PainterBackend::Bounds(const std::vector<DeviceCache::Area>& Areas)
{
  QRectF bounds;
  for (const DeviceCache::Area& a : Areas)
    bounds |= a.Path.controlPointRect();
  return bounds.toAlignedRect().adjusted(-1, -1, 1, 1);
}

void PainterBackend::Touch(const QRect& R)
{
  Layer& top = Top();
  if (top.Image)
    top.Used |= R.intersected(top.Image->rect());
}

void PainterBackend::FillArea(QPainter& p, const DeviceCache::Area& Area, const QBrush& Brush)
{
  if (FOptions.Antialias && Brush.style() == Qt::SolidPattern) {
    // A plain colour needs no painting: the tile is the colour times the
    // coverage.
    const Coverage& cover = Area.Cover;
    if (cover.Image.isNull())
      return;
    const QRgb colour = Brush.color().rgba();
    const int alpha = qAlpha(colour);
    // The premultiplied pixel for each of the 256 coverage levels.
    std::array<QRgb, 256> byCover;
    for (int c = 0; c < 256; ++c) {
      const int a = c * alpha;
      byCover[static_cast<std::size_t>(c)] =
          qRgba((qRed(colour) * a + 32512) / 65025, (qGreen(colour) * a + 32512) / 65025,
                (qBlue(colour) * a + 32512) / 65025, (a + 127) / 255);
    }
    QImage tile(cover.Image.size(), QImage::Format_ARGB32_Premultiplied);
    const int width = tile.width();
    for (int y = 0; y < tile.height(); ++y) {
      const uchar* c = cover.Image.constScanLine(y);
      auto* row = reinterpret_cast<QRgb*>(tile.scanLine(y));
      for (int x = 0; x < width; ++x)
        row[x] = byCover[c[x]];
    }
    p.setWorldTransform(FBase);
    p.drawImage(cover.At, tile);
    return;
  }
  if (FOptions.Antialias) {
    PaintCovered(p, Area, [&Area, &Brush](QPainter& Tile) {
      Tile.fillRect(QRect(Area.Cover.At, Area.Cover.Image.size()), Brush);
    });
    return;
  }
  p.setWorldTransform(FBase);
  for (const Span& s : Area.Spans)
    p.fillRect(QRect(s.X0, s.Y, s.X1 - s.X0, 1), Brush);
}

void PainterBackend::PaintCovered(QPainter& p, const DeviceCache::Area& Area,
                                  const std::function<void(QPainter&)>& Draw)
{
  const Coverage& cover = Area.Cover;
  if (cover.Image.isNull())
    return;
  // The paint is laid on a tile of the covered pixels, cut by the coverage
  // and then drawn over what is there.
  QImage tile(cover.Image.size(), QImage::Format_ARGB32_Premultiplied);
  tile.fill(Qt::transparent);
  {
    QPainter t(&tile);
    t.setRenderHint(QPainter::SmoothPixmapTransform, p.testRenderHint(QPainter::SmoothPixmapTransform));
    t.translate(-cover.At);
    Draw(t);
    t.resetTransform();
    t.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    t.drawImage(QPoint(0, 0), cover.Image);
  }
  p.setWorldTransform(FBase);
  p.drawImage(cover.At, tile);
}

const std::vector<DeviceCache::Area>& PainterBackend::Areas(const Shape& S, const QTransform& T)
{
  const int grid = FOptions.Antialias ? FOptions.Grid : 0;
  if (auto* cached = FDevices.Find(S.Handle, T))
    return *cached;
  return FDevices.Keep(S.Handle, T, DeviceAreas(FShapes.Geometry(S), T, FOptions.PixelsPerTwip, FTarget.rect(), grid));
}

void PainterBackend::DrawShape(const ShapeDraw& Draw)
{
  if (!Draw.Shape)
    return;
  if (FCollecting)
    Collect(Draw);
  else if (!Top().Ignored)
    Paint(Draw);
}

void PainterBackend::DrawDeviceText(const DeviceTextDraw& Draw)
{
  if (!Draw.Text || !Draw.Text->Device || FCollecting || Top().Ignored || !QGuiApplication::instance())
    return;
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice * FSnap;
  if (!Drawable(t))
    return;
  const Rect& b = Draw.Text->Bounds;
  const QRectF box(b.XMin, b.YMin, static_cast<double>(b.XMax) - b.XMin, static_cast<double>(b.YMax) - b.YMin);
  QPainter& p = Painter();
  p.save();
  p.setWorldTransform(t * FBase);
  p.setRenderHint(QPainter::TextAntialiasing, FOptions.Antialias);
  p.setRenderHint(QPainter::Antialiasing, FOptions.Antialias);
  PaintDeviceText(p, *Draw.Text->Device, box, Draw.Color, FOptions.Antialias);
  p.restore();
  Touch(FTarget.rect());
}

void PainterBackend::DrawVideo(const VideoDraw& Draw)
{
  if (!Draw.Stream || !FVideos || FCollecting || Top().Ignored)
    return;
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice;
  if (!Drawable(t))
    return;
  const QImage* picture = FVideos(*Draw.Stream, Draw.Frame);
  if (!picture || picture->isNull())
    return;
  const QImage tinted = Draw.Color.IsIdentity() ? QImage() : TintedImage(*picture, Draw.Color);
  QPainter& p = Painter();
  p.save();
  using Smoothing = PaintOptions::VideoSmoothing;
  const Smoothing rule = FOptions.SmoothVideos;
  const bool smooth = rule == Smoothing::Always || (rule == Smoothing::ByFlag && Draw.Stream->Smoothing) ||
                      (rule == Smoothing::SinglePicture && Draw.Stream->Packets.size() == 1);
  p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
  p.setWorldTransform(t * FBase);
  const QRectF box(0, 0, Draw.Stream->Width * 20.0, Draw.Stream->Height * 20.0);
  p.drawImage(box, tinted.isNull() ? *picture : tinted);
  p.restore();
  Touch(t.mapRect(box).toAlignedRect().adjusted(-1, -1, 1, 1));
}

void PainterBackend::Collect(const ShapeDraw& Draw)
{
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice * FSnap;
  if (!Drawable(t))
    return;
  Mask& mask = FMasks[*FCollecting];
  const auto& parts = FShapes.Geometry(*Draw.Shape).Parts;
  const auto& areas = Areas(*Draw.Shape, t);
  std::optional<QPainter> cover;
  for (std::size_t i = 0; i < parts.size() && i < areas.size(); ++i) {
    // A mask is the area of its fills; its lines do not widen it.
    if (parts[i].Type != ShapePart::Kind::Fill)
      continue;
    const DeviceCache::Area& piece = areas[i];
    if (!FOptions.Antialias) {
      mask.AreaRegion += SpansRegion(piece.Spans);
      continue;
    }
    if (!mask.Coverage)
      continue;
    if (!cover) {
      cover.emplace(mask.Coverage.get());
      SetUp(*cover);
    }
    FillArea(*cover, piece, QBrush(Qt::white));
    if (!piece.Cover.Image.isNull())
      mask.Bounds |= QRect(piece.Cover.At, piece.Cover.Image.size());
  }
}

void PainterBackend::Paint(const ShapeDraw& Draw)
{
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice * FSnap;
  if (!Drawable(t))
    return;
  const auto& parts = FShapes.Geometry(*Draw.Shape).Parts;
  if (!Needed(Areas(*Draw.Shape, t)))
    return;
  if (parts.size() < RasterParts && !std::any_of(parts.begin(), parts.end(), SampledPerPixel)) {
    const auto& areas = Areas(*Draw.Shape, t);
    PaintParts(Painter(), Draw, t, areas);
    Touch(Bounds(areas));
    return;
  }
  // A shape of many parts (a traced picture) or with a gradient or bitmap,
  // whose colours are worked out pixel by pixel, is drawn once into pixels
  // and then copied while it stays where it is.
  // The pixels of the bitmaps the shape shows are part of what it looks
  // like: a bitmap decoded again (or replaced) draws the shape again.
  std::uint64_t content = 0;
  for (const ShapePart& part : parts) {
    if (part.Type == ShapePart::Kind::Fill && part.Fill.Kind == FillKind::Bitmap) {
      const QImage* image = FBitmaps ? FBitmaps(part.Fill.BitmapId) : nullptr;
      content = content * 1000003u ^ static_cast<std::uint64_t>(image ? image->cacheKey() : 0);
    }
  }
  DeviceCache::Raster* raster = FDevices.FindRaster(Draw.Shape->Handle, t);
  if (!raster || raster->Color != Draw.Color || raster->Content != content) {
    const auto& areas = Areas(*Draw.Shape, t);
    QRectF bounds;
    for (const DeviceCache::Area& a : areas)
      bounds |= a.Path.controlPointRect();
    const QRect box = bounds.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(FTarget.rect());
    if (box.isEmpty())
      return;
    DeviceCache::Raster r{QImage(box.size(), QImage::Format_ARGB32_Premultiplied), box.topLeft(), Draw.Color,
                          content};
    r.Image.fill(Qt::transparent);
    {
      QPainter p(&r.Image);
      SetUp(p);
      FBase = QTransform::fromTranslate(-box.left(), -box.top());
      PaintParts(p, Draw, t, areas);
      FBase = QTransform();
    }
    FDevices.KeepRaster(Draw.Shape->Handle, t, std::move(r));
    raster = FDevices.FindRaster(Draw.Shape->Handle, t);
    if (!raster)
      return;
  }
  QPainter& p = Painter();
  p.resetTransform();
  p.drawImage(raster->At, raster->Image);
  Touch(QRect(raster->At, raster->Image.size()));
}

void PainterBackend::PaintParts(QPainter& P, const ShapeDraw& Draw, const QTransform& T,
                                const std::vector<DeviceCache::Area>& Areas)
{
  const auto& parts = FShapes.Geometry(*Draw.Shape).Parts;
  for (std::size_t i = 0; i < parts.size() && i < Areas.size(); ++i) {
    const ShapePart& part = parts[i];
    if (part.Type == ShapePart::Kind::Fill) {
      if (part.Fill.Kind == FillKind::Bitmap) {
        FillBitmap(P, part.Fill, Areas[i], T, Draw.Color);
        continue;
      }
      FillArea(P, Areas[i], Brush(part.Fill, Draw.Color, T, Areas[i]));
      continue;
    }
    QBrush brush(TransformedColor(part.Line.Color, Draw.Color));
    if (part.Line.Fill && part.Line.Fill->Kind != FillKind::Bitmap)
      brush = Brush(*part.Line.Fill, Draw.Color, T, Areas[i]);
    FillArea(P, Areas[i], brush);
  }
}

QBrush PainterBackend::Brush(const FillStyle& Fill, const ColorTransform& Ct, const QTransform& T,
                             const DeviceCache::Area& Area) const
{
  if (Fill.Kind == FillKind::Solid)
    return GradientOrSolidBrush(Fill, Ct);
  // Gradients are sampled here, once per pixel of the area, rather than by
  // Qt, whose colour table and spreading differ from the player's.
  const QRect box = Area.Path.controlPointRect().toAlignedRect().intersected(FTarget.rect());
  QImage colours = GradientImage(Fill, Ct, T, box, !FOptions.Antialias);
  if (colours.isNull())
    return Qt::NoBrush;
  QBrush brush(std::move(colours));
  brush.setTransform(QTransform::fromTranslate(box.left(), box.top()));
  return brush;
}

void PainterBackend::FillBitmap(QPainter& p, const FillStyle& Fill, const DeviceCache::Area& Area,
                                const QTransform& ToDevice, const ColorTransform& Ct)
{
  const QImage* image = Bitmap(Fill.BitmapId, Ct);
  if (!image || image->isNull())
    return;
  const QTransform bitmap = ToQTransform(Fill.BitmapTransform);
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform, FOptions.SmoothBitmaps && Fill.Smoothed);
  if (Fill.Repeating) {
    QBrush brush(*image);
    brush.setTransform(bitmap * ToDevice);
    FillArea(p, Area, brush);
  } else if (FOptions.Antialias) {
    // A clipped fill shows the bitmap once; outside it the shape stays empty.
    PaintCovered(p, Area, [&](QPainter& Tile) {
      Tile.setWorldTransform(bitmap * ToDevice, true);
      Tile.drawImage(QPointF(0, 0), *image);
    });
  } else {
    p.setWorldTransform(FBase);
    p.setClipRegion(SpansRegion(Area.Spans), Qt::IntersectClip);
    p.setWorldTransform(bitmap * ToDevice * FBase);
    p.drawImage(QPointF(0, 0), *image);
  }
  p.restore();
}

const QImage* PainterBackend::Bitmap(CharacterId Id, const ColorTransform& Ct)
{
  const QImage* source = FBitmaps ? FBitmaps(Id) : nullptr;
  if (!source || Ct.IsIdentity())
    return source;
  return &FTints->Get(*source, Ct);
}

} // namespace quenloft::swf::render

#include "swf/render/PainterBackend.h"

#include "swf/render/DeviceText.h"

#include <QGuiApplication>
#include <QPainterPathStroker>

#include <algorithm>
#include <array>
#include <cmath>

#include "swf/render/AliasedSpans.h"
#include "swf/render/Paint.h"
#include "swf/render/ShapePaths.h"

namespace quenloft::swf::render {
namespace {

// A transform past this scale (or not finite) draws nothing: nested
// sprites can multiply their scales beyond anything a rasterizer handles.
constexpr double MaxScale = 1e6;

// A line wider than this (in pixels, at its widest) is drawn at the
// device's own scale instead of in the shape's space.
constexpr double MaxLinePixels = 1e5;
// QPen takes widths below 32768 only: wider lines are outlined on the device.
constexpr double MaxLocalWidth = 30000;

// Shape draws whose device outlines are kept between frames.
constexpr std::size_t MaxDeviceEntries = 20000;

// Shapes of this many parts or more are kept as pixels between frames.
constexpr std::size_t RasterParts = 64;
// The pixels all such shapes may keep.
constexpr std::int64_t MaxRasterPixels = 16ll << 20;

// Colour-transformed bitmap copies kept per frame.
constexpr std::size_t MaxTinted = 32;

// A gradient fill or line: its colours are worked out for every pixel.
bool SampledPerPixel(const ShapePart& Part)
{
  const auto gradient = [](const FillStyle& F) { return F.Kind != FillKind::Solid && F.Kind != FillKind::Bitmap; };
  if (Part.Type == ShapePart::Kind::Fill)
    return gradient(Part.Fill);
  return Part.Line.Fill && gradient(*Part.Line.Fill);
}

bool Drawable(const QTransform& T)
{
  for (double v : {T.m11(), T.m12(), T.m21(), T.m22(), T.dx(), T.dy()}) {
    if (!std::isfinite(v) || std::abs(v) > MaxScale * 1e3)
      return false;
  }
  return std::abs(T.m11()) + std::abs(T.m12()) + std::abs(T.m21()) + std::abs(T.m22()) < MaxScale;
}

std::optional<QPainter::CompositionMode> QtMode(BlendMode Mode)
{
  switch (Mode) {
  case BlendMode::Normal:
  case BlendMode::Layer: return QPainter::CompositionMode_SourceOver;
  case BlendMode::Multiply: return QPainter::CompositionMode_Multiply;
  case BlendMode::Screen: return QPainter::CompositionMode_Screen;
  case BlendMode::Lighten: return QPainter::CompositionMode_Lighten;
  case BlendMode::Darken: return QPainter::CompositionMode_Darken;
  case BlendMode::Difference: return QPainter::CompositionMode_Difference;
  case BlendMode::Add: return QPainter::CompositionMode_Plus;
  case BlendMode::Overlay: return QPainter::CompositionMode_Overlay;
  case BlendMode::HardLight: return QPainter::CompositionMode_HardLight;
  case BlendMode::Subtract:
  case BlendMode::Invert:
  case BlendMode::Alpha:
  case BlendMode::Erase: break;
  }
  return std::nullopt;
}

// Curves are flattened here rather than by Qt, whose flattening differs
// from the player's and moves aliased edges: to segments that stray at most
// this far from the curve in the shape's units, and at most this far in
// device pixels.
constexpr double ShapeFlatness = 2;
constexpr double DeviceFlatness = 0.25;
constexpr double OutlineFlatness = 1.0 / 32;

// Path mapped to the device with its curves as fine line segments.
QPainterPath DevicePath(const QPainterPath& Path, const QTransform& T)
{
  QPainterPath out;
  out.setFillRule(Path.fillRule());
  const int n = Path.elementCount();
  QPointF last;
  for (int i = 0; i < n; ++i) {
    const QPainterPath::Element& e = Path.elementAt(i);
    const QPointF p = T.map(QPointF(e.x, e.y));
    switch (e.type) {
    case QPainterPath::MoveToElement:
      out.moveTo(p);
      last = p;
      break;
    case QPainterPath::LineToElement:
      out.lineTo(p);
      last = p;
      break;
    case QPainterPath::CurveToElement: {
      if (i < 1 || i + 2 >= n)
        return out;
      // The file's curves are quadratic (stored by Qt as cubics): recover
      // the control point, all in the shape's own units. Outlines of lines
      // have true cubics (round caps and joins).
      const QPointF a0(Path.elementAt(i - 1).x, Path.elementAt(i - 1).y);
      const QPointF a1(e.x, e.y);
      const QPointF a2(Path.elementAt(i + 1).x, Path.elementAt(i + 1).y);
      const QPointF a3(Path.elementAt(i + 2).x, Path.elementAt(i + 2).y);
      const QPointF control = (a1 * 3 - a0) / 2;
      const QPointF off = a2 - (control * 2 + a3) / 3;
      const bool quadratic =
          std::abs(off.x()) + std::abs(off.y()) <= 1e-9 * (1 + std::abs(a3.x()) + std::abs(a3.y()));
      // A quadratic strays |P0 - 2C + P2| / 4 from its chord (a cubic at
      // most 3/4 of its larger second difference); n equal steps cut that by
      // n squared. The player flattens its curves to about two units of the
      // shape's space (twips); a shape shown much larger gets steps fine on
      // the device too.
      const QPointF bend = quadratic ? a0 - control * 2 + a3 : a0 - a1 * 2 + a2;
      const QPointF bend2 = a1 - a2 * 2 + a3;
      const double stray =
          quadratic ? std::hypot(bend.x(), bend.y()) / 4
                    : 0.75 * std::max(std::hypot(bend.x(), bend.y()), std::hypot(bend2.x(), bend2.y()));
      const double scale = std::sqrt(std::abs(T.determinant()));
      // Outlines of lines (round caps and joins) are flattened finely.
      const double steps =
          quadratic ? std::max(std::sqrt(stray / ShapeFlatness), std::sqrt(stray * scale / DeviceFlatness))
                    : std::sqrt(stray * scale / OutlineFlatness);
      const int count = std::clamp(static_cast<int>(std::ceil(steps)), 1, 256);
      for (int k = 1; k < count; ++k) {
        const double t = static_cast<double>(k) / count;
        const double u = 1 - t;
        if (quadratic) {
          const QPointF pt = a0 * (u * u) + control * (2 * u * t) + a3 * (t * t);
          // Points along the curve land on whole units, as the player's do:
          // its integer arithmetic rounds halves upwards (towards +infinity),
          // not away from zero.
          out.lineTo(T.map(QPointF(std::floor(pt.x() + 0.5), std::floor(pt.y() + 0.5))));
        } else {
          out.lineTo(
              T.map(a0 * (u * u * u) + a1 * (3 * u * u * t) + a2 * (3 * u * t * t) + a3 * (t * t * t)));
        }
      }
      out.lineTo(T.map(a3));
      last = T.map(a3);
      i += 2;
      break;
    }
    case QPainterPath::CurveToDataElement: break;
    }
  }
  return out;
}

QImage Tinted(const QImage& Source, const ColorTransform& Ct)
{
  QImage out = Source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p = row[x];
      const Rgba c = Ct.Apply({static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                               static_cast<std::uint8_t>(qBlue(p)), static_cast<std::uint8_t>(qAlpha(p))});
      row[x] = qRgba(c.R, c.G, c.B, c.A);
    }
  }
  return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

PainterBackend::PainterBackend(QImage& Target, const PaintOptions& Options, ShapeCache& Shapes,
                               DeviceCache& Devices, BitmapSource Bitmaps)
    : FTarget(Target), FOptions(Options), FShapes(Shapes), FDevices(Devices), FBitmaps(std::move(Bitmaps))
{
  Layer root;
  root.Painter = std::make_unique<QPainter>(&FTarget);
  SetUp(*root.Painter);
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
  if (auto* cached = FDevices.Find(S, T, FTarget.size(), FOptions.Antialias ? FOptions.Grid : 0))
    return *cached;
  std::vector<DeviceCache::Area> areas;
  const auto& parts = FShapes.Geometry(S).Parts;
  areas.reserve(parts.size());
  // The smallest singular value: how much the transform squashes at most.
  const double a = T.m11() * T.m11() + T.m12() * T.m12();
  const double c = T.m21() * T.m21() + T.m22() * T.m22();
  const double b = T.m11() * T.m21() + T.m12() * T.m22();
  const double minScale = std::sqrt(std::max(0.0, (a + c - std::hypot(a - c, 2 * b)) / 2));
  for (const ShapePart& part : parts) {
    DeviceCache::Area area;
    if (part.Type == ShapePart::Kind::Fill) {
      area.Path = DevicePath(part.Path, T);
    } else {
      const QPen pen = DevicePen(part.Line, {}, T, FOptions.PixelsPerTwip);
      const bool scales = part.Line.ScaleHorizontal && part.Line.ScaleVertical;
      const bool fixed = !part.Line.ScaleHorizontal && !part.Line.ScaleVertical;
      // A line that keeps its width is outlined in the shape's space too,
      // as wide as its width on the stage where the transform squashes
      // most: stretched one way, it widens that way.
      double localWidth = part.Line.Width;
      if (fixed && minScale > 0)
        localWidth = part.Line.Width * FOptions.PixelsPerTwip / minScale;
      localWidth = std::max(localWidth, 1 / minScale);
      if ((scales || fixed) && minScale > 0 && localWidth < MaxLocalWidth &&
          localWidth * std::sqrt(std::max(a, c)) < MaxLinePixels) {
        // A line that scales is outlined in the shape's space and
        // transformed with it, as in the player: a squashed shape has
        // squashed lines, at least a pixel across where they are thinnest.
        QPen local = pen;
        local.setWidthF(localWidth);
        // The centre line is flattened as a fill's edges are, then
        // outlined: the player strokes the segments it draws.
        const QPainterPath centre = T.inverted().map(DevicePath(part.Path, T));
        area.Path = DevicePath(QPainterPathStroker(local).createStroke(centre), T);
      } else {
        area.Path = DevicePath(QPainterPathStroker(pen).createStroke(DevicePath(part.Path, T)), {});
      }
    }
    if (FOptions.Antialias)
      area.Cover = GridCoverage(area.Path, FTarget.rect(), FOptions.Grid);
    else
      area.Spans = AliasedSpans(area.Path, FTarget.rect());
    areas.push_back(std::move(area));
  }
  return FDevices.Keep(S, T, std::move(areas));
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
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice;
  if (!Drawable(t))
    return;
  const Rect& b = Draw.Text->Bounds;
  const QRectF box(b.XMin, b.YMin, static_cast<double>(b.XMax) - b.XMin, static_cast<double>(b.YMax) - b.YMin);
  QPainter& p = Painter();
  p.save();
  p.setWorldTransform(t * FBase);
  p.setRenderHint(QPainter::TextAntialiasing, FOptions.Antialias);
  p.setRenderHint(QPainter::Antialiasing, FOptions.Antialias);
  PaintDeviceText(p, *Draw.Text->Device, box, Draw.Color);
  p.restore();
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
  const QImage tinted = Draw.Color.IsIdentity() ? QImage() : Tinted(*picture, Draw.Color);
  QPainter& p = Painter();
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform, FOptions.SmoothBitmaps && Draw.Stream->Smoothing);
  p.setWorldTransform(t * FBase);
  p.drawImage(QRectF(0, 0, Draw.Stream->Width * 20.0, Draw.Stream->Height * 20.0),
              tinted.isNull() ? *picture : tinted);
  p.restore();
}

void PainterBackend::Collect(const ShapeDraw& Draw)
{
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice;
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
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice;
  if (!Drawable(t))
    return;
  const auto& parts = FShapes.Geometry(*Draw.Shape).Parts;
  if (parts.size() < RasterParts && !std::any_of(parts.begin(), parts.end(), SampledPerPixel)) {
    PaintParts(Painter(), Draw, t, Areas(*Draw.Shape, t));
    return;
  }
  // A shape of many parts (a traced picture) or with a gradient, whose
  // colours are worked out pixel by pixel, is drawn once into pixels and
  // then copied while it stays where it is.
  DeviceCache::Raster* raster = FDevices.FindRaster(*Draw.Shape, t);
  if (!raster || raster->Color != Draw.Color) {
    const auto& areas = Areas(*Draw.Shape, t);
    QRectF bounds;
    for (const DeviceCache::Area& a : areas)
      bounds |= a.Path.controlPointRect();
    const QRect box = bounds.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(FTarget.rect());
    if (box.isEmpty())
      return;
    DeviceCache::Raster r{QImage(box.size(), QImage::Format_ARGB32_Premultiplied), box.topLeft(), Draw.Color};
    r.Image.fill(Qt::transparent);
    {
      QPainter p(&r.Image);
      SetUp(p);
      FBase = QTransform::fromTranslate(-box.left(), -box.top());
      PaintParts(p, Draw, t, areas);
      FBase = QTransform();
    }
    FDevices.KeepRaster(*Draw.Shape, t, std::move(r));
    raster = FDevices.FindRaster(*Draw.Shape, t);
    if (!raster)
      return;
  }
  QPainter& p = Painter();
  p.resetTransform();
  p.drawImage(raster->At, raster->Image);
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
  for (const auto& [key, image] : FTinted) {
    if (key.first == Id && key.second == Ct)
      return &image;
  }
  if (FTinted.size() >= MaxTinted)
    FTinted.erase(FTinted.begin());
  FTinted.push_back({{Id, Ct}, Tinted(*source, Ct)});
  return &FTinted.back().second;
}

void PainterBackend::PushMask()
{
  Mask m;
  m.LayerIndex = FLayers.size() - 1;
  m.Ignored = FCollecting.has_value() || Top().Ignored;
  if (!m.Ignored && FOptions.Antialias) {
    m.Coverage = std::make_unique<QImage>(FTarget.size(), QImage::Format_ARGB32_Premultiplied);
    m.Coverage->fill(Qt::transparent);
  }
  FMasks.push_back(std::move(m));
  if (!FMasks.back().Ignored)
    FCollecting = FMasks.size() - 1;
}

void PainterBackend::ActivateMask()
{
  if (FMasks.empty() || FMasks.back().Ignored)
    return;
  FCollecting.reset();
  Mask& m = FMasks.back();
  if (FOptions.Antialias) {
    // What the mask cuts is drawn apart, then cut by the coverage.
    Layer l;
    l.Image = std::make_unique<QImage>(FTarget.size(), QImage::Format_ARGB32_Premultiplied);
    l.Image->fill(Qt::transparent);
    l.Painter = std::make_unique<QPainter>(l.Image.get());
    SetUp(*l.Painter);
    l.MaskIndex = FMasks.size() - 1;
    FLayers.push_back(std::move(l));
    return;
  }
  Layer& l = FLayers[m.LayerIndex];
  l.Regions.push_back(l.Regions.empty() ? m.AreaRegion : l.Regions.back().intersected(m.AreaRegion));
  m.AreaRegion = QRegion();
  ApplyClip(l);
}

void PainterBackend::DeactivateMask()
{
  // The clip stays until PopMask; nothing is drawn in between.
}

void PainterBackend::PopMask()
{
  if (FMasks.empty())
    return;
  if (FCollecting && *FCollecting == FMasks.size() - 1) {
    FCollecting.reset(); // popped before it was activated
    FMasks.pop_back();
    return;
  }
  if (!FMasks.back().Ignored && FOptions.Antialias) {
    // Layers left open inside the masked items are closed first.
    while (FLayers.size() > 1 && FLayers.back().MaskIndex != FMasks.size() - 1)
      EndLayer();
    if (FLayers.size() > 1)
      EndMaskLayer();
    FMasks.pop_back();
    return;
  }
  const Mask m = std::move(FMasks.back());
  FMasks.pop_back();
  if (m.Ignored)
    return;
  if (m.LayerIndex < FLayers.size()) {
    Layer& l = FLayers[m.LayerIndex];
    if (!l.Regions.empty())
      l.Regions.pop_back();
    ApplyClip(l);
  }
}

void PainterBackend::EndMaskLayer()
{
  Layer child = std::move(FLayers.back());
  FLayers.pop_back();
  const Mask& m = FMasks[*child.MaskIndex];
  QPainter& p = *child.Painter;
  // Outside the mask's pixels nothing shows: only those are cut and laid
  // down.
  const QRect area = m.Bounds.intersected(child.Image->rect());
  if (area.isEmpty())
    return;
  p.resetTransform();
  p.setClipping(false);
  p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  p.drawImage(area.topLeft(), *m.Coverage, area);
  p.end();
  QPainter& under = Painter();
  under.save();
  under.resetTransform();
  under.drawImage(area.topLeft(), *child.Image, area);
  under.restore();
}

void PainterBackend::BeginLayer(BlendMode Mode)
{
  Layer l;
  l.Mode = Mode;
  l.Ignored = FCollecting.has_value() || Top().Ignored;
  if (!l.Ignored) {
    l.Image = std::make_unique<QImage>(FTarget.size(), QImage::Format_ARGB32_Premultiplied);
    l.Image->fill(Qt::transparent);
    l.Painter = std::make_unique<QPainter>(l.Image.get());
    SetUp(*l.Painter);
  }
  FLayers.push_back(std::move(l));
}

void PainterBackend::EndLayer()
{
  if (FLayers.size() <= 1)
    return;
  if (FLayers.back().MaskIndex) {
    EndMaskLayer(); // a walk cut short inside a mask
    return;
  }
  Layer child = std::move(FLayers.back());
  FLayers.pop_back();
  if (child.Ignored)
    return;
  child.Painter->end();
  Composite(child, Top());
}

void PainterBackend::Composite(Layer& Child, Layer& Parent)
{
  const BlendMode mode = Child.Mode;
  // Alpha and Erase change only the alpha of the layer under them; drawn
  // straight onto the stage, which is opaque whatever its alpha, they show
  // nothing.
  if ((mode == BlendMode::Alpha || mode == BlendMode::Erase) && !Parent.Image)
    return;
  QPainter& p = *Parent.Painter;
  if (const auto qt = QtMode(mode)) {
    p.save();
    p.resetTransform();
    p.setCompositionMode(*qt);
    p.drawImage(QPoint(0, 0), *Child.Image);
    p.restore();
    return;
  }
  QImage* under = Parent.Image ? Parent.Image.get() : &FTarget;
  if (!Parent.Regions.empty()) {
    // The masks in force cut the layer before it is blended.
    QImage cut(Child.Image->size(), QImage::Format_ARGB32_Premultiplied);
    cut.fill(Qt::transparent);
    QPainter c(&cut);
    c.setRenderHint(QPainter::Antialiasing, FOptions.Antialias);
    SetClip(c, Parent);
    c.drawImage(QPoint(0, 0), *Child.Image);
    c.end();
    *Child.Image = std::move(cut);
  }
  BlendPixels(*under, *Child.Image, mode);
}

DeviceCache::Key DeviceCache::KeyOf(const Shape& S, const QTransform& T)
{
  return {&S, {T.m11(), T.m12(), T.m21(), T.m22(), T.dx(), T.dy()}};
}

std::size_t DeviceCache::Hash::operator()(const Key& K) const
{
  std::size_t h = std::hash<const void*>()(K.S);
  for (double v : K.M)
    h = h * 1000003u ^ std::hash<double>()(v);
  return h;
}

std::vector<DeviceCache::Area>* DeviceCache::Find(const Shape& S, const QTransform& T, QSize Size, int Grid)
{
  if (Size != FSize || Grid != FGrid) {
    Clear();
    FSize = Size;
    FGrid = Grid;
  }
  const auto it = FEntries.find(KeyOf(S, T));
  if (it == FEntries.end())
    return nullptr;
  it->second.Frame = FFrame;
  return &it->second.Areas;
}

const std::vector<DeviceCache::Area>& DeviceCache::Keep(const Shape& S, const QTransform& T,
                                                        std::vector<Area> Areas)
{
  if (FEntries.size() >= MaxDeviceEntries) {
    FUncached = std::move(Areas);
    return FUncached;
  }
  Entry& e = FEntries[KeyOf(S, T)];
  e.Areas = std::move(Areas);
  e.Frame = FFrame;
  return e.Areas;
}

DeviceCache::Raster* DeviceCache::FindRaster(const Shape& S, const QTransform& T)
{
  const auto it = FEntries.find(KeyOf(S, T));
  if (it == FEntries.end() || !it->second.Pixels)
    return nullptr;
  it->second.Frame = FFrame;
  return &*it->second.Pixels;
}

void DeviceCache::KeepRaster(const Shape& S, const QTransform& T, Raster R)
{
  const auto it = FEntries.find(KeyOf(S, T));
  if (it == FEntries.end())
    return;
  const std::int64_t pixels = std::int64_t{R.Image.width()} * R.Image.height();
  if (it->second.Pixels)
    FRasterPixels -= std::int64_t{it->second.Pixels->Image.width()} * it->second.Pixels->Image.height();
  if (FRasterPixels + pixels > MaxRasterPixels) {
    it->second.Pixels.reset();
    return;
  }
  FRasterPixels += pixels;
  it->second.Pixels = std::move(R);
}

void DeviceCache::NextFrame()
{
  // Keep what the frame just drawn used; the next one usually draws it again.
  std::erase_if(FEntries, [this](const auto& E) {
    if (E.second.Frame >= FFrame)
      return false;
    if (E.second.Pixels)
      FRasterPixels -= std::int64_t{E.second.Pixels->Image.width()} * E.second.Pixels->Image.height();
    return true;
  });
  ++FFrame;
}

void BlendPixels(QImage& Under, const QImage& Layer, BlendMode Mode)
{
  if (Under.size() != Layer.size() || Under.format() != QImage::Format_ARGB32_Premultiplied ||
      Layer.format() != QImage::Format_ARGB32_Premultiplied)
    return;
  for (int y = 0; y < Under.height(); ++y) {
    auto* d = reinterpret_cast<QRgb*>(Under.scanLine(y));
    const auto* s = reinterpret_cast<const QRgb*>(Layer.constScanLine(y));
    for (int x = 0; x < Under.width(); ++x) {
      const int sa = qAlpha(s[x]);
      if (sa == 0)
        continue;
      const QRgb dp = d[x];
      const int da = qAlpha(dp);
      const int dc[3] = {qRed(dp), qGreen(dp), qBlue(dp)};
      const int sc[3] = {qRed(s[x]), qGreen(s[x]), qBlue(s[x])};
      int out[4] = {0, 0, 0, 0}; // r, g, b, a premultiplied
      switch (Mode) {
      case BlendMode::Alpha:
        for (int i = 0; i < 3; ++i)
          out[i] = dc[i] * sa / 255;
        out[3] = da * sa / 255;
        break;
      case BlendMode::Erase:
        for (int i = 0; i < 3; ++i)
          out[i] = dc[i] * (255 - sa) / 255;
        out[3] = da * (255 - sa) / 255;
        break;
      case BlendMode::Subtract:
        // Each colour under loses the layer's colour, as far as the layer
        // covers it (its colours are premultiplied).
        for (int i = 0; i < 3; ++i)
          out[i] = std::max(0, dc[i] - sc[i]);
        out[3] = sa + da * (255 - sa) / 255;
        break;
      case BlendMode::Invert:
        // The layer's colour is not used: its area inverts what is under it.
        for (int i = 0; i < 3; ++i)
          out[i] = (dc[i] * (255 - sa) + (da - dc[i]) * sa + 127) / 255;
        out[3] = da;
        break;
      default: return;
      }
      for (int& v : out)
        v = std::clamp(v, 0, 255);
      d[x] = qRgba(std::min(out[0], out[3]), std::min(out[1], out[3]), std::min(out[2], out[3]), out[3]);
    }
  }
}

} // namespace quenloft::swf::render

#include "swf/render/PainterBackend.h"

#include "swf/render/DeviceText.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <cmath>
#include <bitset>

#include "swf/render/AliasedSpans.h"
#include "swf/render/BitmapSampling.h"
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

// The premultiplied pixels of a colour at each coverage level, worked out
// for the levels met (a grid of 4 x 4 cells has 17 of them).
class CoveredColour {
public:
  explicit CoveredColour(QRgb Colour) : FColour(Colour) {}
  QRgb operator()(uchar C)
  {
    if (!FKnown[C]) {
      const int a = C * qAlpha(FColour);
      FTable[C] = qRgba((qRed(FColour) * a + 32512) / 65025, (qGreen(FColour) * a + 32512) / 65025,
                        (qBlue(FColour) * a + 32512) / 65025, (a + 127) / 255);
      FKnown[C] = true;
    }
    return FTable[C];
  }

private:
  QRgb FColour;
  std::array<QRgb, 256> FTable;
  std::bitset<256> FKnown;
};

// Adds Colour over Cover onto Tile, whose top left is the target's pixel
// TileAt, each channel stopping at 255.
void AddCovered(QImage& Tile, QPoint TileAt, const Coverage& Cover, CoveredColour& Colour)
{
  const QRect area = QRect(Cover.At - TileAt, Cover.Image.size()).intersected(Tile.rect());
  const QPoint from = area.topLeft() + TileAt - Cover.At;
  const bool rows = Cover.Rows.size() == static_cast<std::size_t>(Cover.Image.height());
  for (int y = 0; y < area.height(); ++y) {
    const int source = from.y() + y;
    const uchar* c = Cover.Image.constScanLine(source) + from.x();
    auto* row = reinterpret_cast<QRgb*>(Tile.scanLine(area.top() + y)) + area.left();
    // Parts spread over a large box leave most of each row empty.
    int x0 = 0, x1 = area.width();
    if (rows) {
      x0 = std::max(0, Cover.Rows[static_cast<std::size_t>(source)].first - from.x());
      x1 = std::min(x1, Cover.Rows[static_cast<std::size_t>(source)].second - from.x());
    }
    for (int x = x0; x < x1; ++x) {
      if (c[x] == 0)
        continue;
      const QRgb a = row[x], b = Colour(c[x]);
      row[x] = qRgba(std::min(qRed(a) + qRed(b), 255), std::min(qGreen(a) + qGreen(b), 255),
                     std::min(qBlue(a) + qBlue(b), 255), std::min(qAlpha(a) + qAlpha(b), 255));
    }
  }
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

void PainterBackend::FillArea(QPainter& P, const DeviceCache::Area& Area, const QBrush& Brush)
{
  if (FOptions.Antialias && Brush.style() == Qt::SolidPattern) {
    // A plain colour needs no painting: the tile is the colour times the
    // coverage.
    const Coverage& cover = Area.Cover;
    if (cover.Image.isNull())
      return;
    CoveredColour colour(Brush.color().rgba());
    if (FAdding && P.device() == FAdding) {
      AddCovered(*FAdding, FAddingAt, cover, colour);
      return;
    }
    QImage tile(cover.Image.size(), QImage::Format_ARGB32_Premultiplied);
    const int width = tile.width();
    for (int y = 0; y < tile.height(); ++y) {
      const uchar* c = cover.Image.constScanLine(y);
      auto* row = reinterpret_cast<QRgb*>(tile.scanLine(y));
      for (int x = 0; x < width; ++x)
        row[x] = colour(c[x]);
    }
    P.setWorldTransform(FBase);
    P.drawImage(cover.At, tile);
    return;
  }
  if (FOptions.Antialias) {
    PaintCovered(P, Area, [&Area, &Brush](QPainter& Tile) {
      Tile.fillRect(QRect(Area.Cover.At, Area.Cover.Image.size()), Brush);
    });
    return;
  }
  P.setWorldTransform(FBase);
  for (const Span& s : Area.Spans)
    P.fillRect(QRect(s.X0, s.Y, s.X1 - s.X0, 1), Brush);
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
  if (FRecording) {
    FRecording->DrawShape(Draw);
    return;
  }
  if (!Draw.Shape)
    return;
  if (FCollecting)
    Collect(Draw);
  else if (!Top().Ignored)
    Paint(Draw);
}

void PainterBackend::DrawDeviceText(const DeviceTextDraw& Draw)
{
  if (FRecording) {
    FRecording->DrawDeviceText(Draw);
    return;
  }
  if (!Draw.Text || !Draw.Text->Device || FCollecting || Top().Ignored || !QGuiApplication::instance())
    return;
  const QTransform t = ToQTransform(Draw.Transform) * FOptions.StageToDevice * FSnap;
  if (!Drawable(t))
    return;
  const Rect& b = Draw.Text->Bounds;
  const QRectF box(b.XMin, b.YMin, static_cast<double>(b.XMax) - b.XMin, static_cast<double>(b.YMax) - b.YMin);
  // Glyphs are filled as shapes are, cut at the field's box.
  const QRect clip = t.mapRect(box).toAlignedRect() & FTarget.rect();
  if (clip.isEmpty())
    return;
  QPainterPath boxPath;
  boxPath.addRect(box);
  QPainter& p = Painter();
  p.save();
  for (TextOutline& piece : DeviceTextOutlines(*Draw.Text->Device, box, Draw.Color)) {
    if (!box.contains(piece.Path.boundingRect()))
      piece.Path = piece.Path.intersected(boxPath);
    DeviceCache::Area area;
    area.Path = DevicePath(piece.Path, t);
    if (FOptions.Antialias)
      area.Cover = GridCoverage(area.Path, clip, FOptions.Grid);
    else
      area.Spans = AliasedSpans(area.Path, clip);
    FillArea(p, area, QBrush(piece.Color));
  }
  p.restore();
  Touch(FTarget.rect());
}

void PainterBackend::DrawVideo(const VideoDraw& Draw)
{
  if (FRecording) {
    FRecording->DrawVideo(Draw);
    return;
  }
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
  // A mask is the area of its fills; its lines do not widen it.
  if (!FOptions.Antialias) {
    for (std::size_t i = 0; i < parts.size() && i < areas.size(); ++i) {
      if (parts[i].Type == ShapePart::Kind::Fill)
        mask.AreaRegion += SpansRegion(areas[i].Spans);
    }
    return;
  }
  if (!mask.Coverage)
    return;
  QPainter cover(mask.Coverage.get());
  SetUp(cover);
  for (const auto& group : FillGroups(FShapes.Geometry(*Draw.Shape))) {
    const std::size_t first = group.first;
    const std::size_t last = std::min(group.second, areas.size());
    const QRect box = CoveredBox(areas, first, last);
    PaintAdded(cover, box, [&](QPainter& Tile) {
      for (std::size_t k = first; k < last; ++k)
        FillArea(Tile, areas[k], QBrush(Qt::white));
    });
    mask.Bounds |= box;
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

void PainterBackend::PaintAdded(QPainter& P, const QRect& Box, const std::function<void(QPainter&)>& Draw)
{
  if (Box.isEmpty())
    return;
  QImage tile(Box.size(), QImage::Format_ARGB32_Premultiplied);
  if (tile.isNull())
    return;
  tile.fill(Qt::transparent);
  const QTransform base = FBase;
  QImage* adding = FAdding;
  {
    QPainter t(&tile);
    SetUp(t);
    t.setCompositionMode(QPainter::CompositionMode_Plus);
    FBase = QTransform::fromTranslate(-Box.left(), -Box.top());
    FAdding = &tile;
    FAddingAt = Box.topLeft();
    Draw(t);
  }
  FBase = base;
  FAdding = adding;
  P.setWorldTransform(FBase);
  P.drawImage(Box.topLeft(), tile);
}

QRect PainterBackend::CoveredBox(const std::vector<DeviceCache::Area>& Areas, std::size_t First, std::size_t Last)
{
  QRect box;
  for (std::size_t i = First; i < Last && i < Areas.size(); ++i) {
    if (!Areas[i].Cover.Image.isNull())
      box |= QRect(Areas[i].Cover.At, Areas[i].Cover.Image.size());
  }
  return box;
}

void PainterBackend::PaintParts(QPainter& P, const ShapeDraw& Draw, const QTransform& T,
                                const std::vector<DeviceCache::Area>& Areas)
{
  const ShapeGeometry& geometry = FShapes.Geometry(*Draw.Shape);
  const auto& parts = geometry.Parts;
  const auto fill = [&](QPainter& On, std::size_t I) {
    if (parts[I].Fill.Kind == FillKind::Bitmap)
      FillBitmap(On, parts[I].Fill, Areas[I], T, Draw.Color);
    else
      FillArea(On, Areas[I], Brush(parts[I].Fill, Draw.Color, T, Areas[I]));
  };
  const auto groups = FOptions.Antialias ? FillGroups(geometry) : decltype(FillGroups(geometry)){};
  std::size_t group = 0;
  for (std::size_t i = 0; i < parts.size() && i < Areas.size(); ++i) {
    const ShapePart& part = parts[i];
    if (part.Type == ShapePart::Kind::Fill) {
      while (group < groups.size() && groups[group].second <= i)
        ++group;
      if (group < groups.size() && groups[group].first == i && groups[group].second - i > 1) {
        // Fills that meet edge to edge are added up first (see FillGroups).
        const std::size_t last = std::min(groups[group].second, Areas.size());
        PaintAdded(P, CoveredBox(Areas, i, last), [&](QPainter& Tile) {
          for (std::size_t k = i; k < last; ++k)
            fill(Tile, k);
        });
        i = last - 1;
        continue;
      }
      fill(P, i);
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
  const QTransform bitmap = ToQTransform(Fill.BitmapTransform);
  if (FOptions.SmoothBitmaps && Fill.Smoothed) {
    FillSmoothBitmap(p, Fill, Area, bitmap * ToDevice, Ct);
    return;
  }
  const QImage* image = Bitmap(Fill.BitmapId, Ct);
  if (!image || image->isNull())
    return;
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

void PainterBackend::FillSmoothBitmap(QPainter& p, const FillStyle& Fill, const DeviceCache::Area& Area,
                                      const QTransform& BitmapToDevice, const ColorTransform& Ct)
{
  const QImage* source = FBitmaps ? FBitmaps(Fill.BitmapId) : nullptr;
  if (!source || source->isNull())
    return;
  QRect box;
  if (FOptions.Antialias) {
    if (Area.Cover.Image.isNull())
      return;
    box = QRect(Area.Cover.At, Area.Cover.Image.size());
  } else {
    for (const Span& s : Area.Spans)
      box |= QRect(s.X0, s.Y, s.X1 - s.X0, 1);
  }
  bool invertible = false;
  const QTransform toStage = FBase.inverted(&invertible);
  if (invertible && p.device())
    box &= toStage.mapRect(QRect(0, 0, p.device()->width(), p.device()->height()));
  const QImage sampled = SampleSmoothBitmap(*source, BitmapToDevice, box, Fill.Repeating, Ct);
  if (sampled.isNull())
    return;
  p.save();
  if (FOptions.Antialias) {
    PaintCovered(p, Area, [&](QPainter& Tile) { Tile.drawImage(box.topLeft(), sampled); });
  } else {
    p.setWorldTransform(FBase);
    p.setClipRegion(SpansRegion(Area.Spans), Qt::IntersectClip);
    p.drawImage(box.topLeft(), sampled);
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

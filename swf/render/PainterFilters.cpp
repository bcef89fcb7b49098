// PainterBackend's filtered objects: drawn on a layer, then through their
// filters onto what is under them (see PainterBackend.h).
#include "swf/render/PainterBackend.h"

#include "swf/render/FilterPixels.h"

#include <cmath>
#include <cstdint>

namespace quenloft::swf::render {
namespace {

// The player applies no filter whose image would be larger than its
// biggest bitmap: this many pixels per side, and in all.
constexpr int MaxFilteredSide = 8191;
constexpr std::int64_t MaxFilteredPixels = 16'777'215;

// The smallest rectangle holding every pixel of Image that is not
// transparent.
QRect DrawnBounds(const QImage& Image)
{
  int left = Image.width();
  int right = -1;
  int top = -1;
  int bottom = -1;
  for (int y = 0; y < Image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(Image.constScanLine(y));
    int first = -1;
    int last = -1;
    for (int x = 0; x < Image.width(); ++x) {
      if (qAlpha(row[x]) != 0) {
        if (first < 0)
          first = x;
        last = x;
      }
    }
    if (first < 0)
      continue;
    if (top < 0)
      top = y;
    bottom = y;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  if (top < 0)
    return {};
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

void PainterBackend::BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner)
{
  BeginLayer(BlendMode::Normal);
  Layer& l = Top();
  l.Filters = &Filters;
  l.Color = Color;
  l.Shift = FSnap;
  const QPointF corner = (FOptions.StageToDevice * FSnap).map(QPointF(Corner.X, Corner.Y));
  if (std::isfinite(corner.x()) && std::isfinite(corner.y()))
    FSnap *= QTransform::fromTranslate(std::floor(corner.x() + 0.5) - corner.x(),
                                       std::floor(corner.y() + 0.5) - corner.y());
}

void PainterBackend::EndFilters()
{
  if (FLayers.size() > 1 && Top().Filters)
    FSnap = Top().Shift;
  EndLayer();
}

void PainterBackend::CompositeFiltered(Layer& Child, Layer& Parent)
{
  QRect area = DrawnBounds(*Child.Image);
  if (area.isEmpty())
    return;
  // Blurs and distances follow the stage's scale (twips to pixels at 1:20).
  const double sx = FOptions.StageToDevice.m11() * 20;
  const double sy = FOptions.StageToDevice.m22() * 20;
  std::vector<Filter> filters;
  for (const Filter& f : *Child.Filters) {
    Filter scaled = ScaledFilter(f, sx, sy);
    if (!Potent(scaled))
      continue;
    area = area.marginsAdded(FilterGrowth(scaled));
    filters.push_back(std::move(scaled));
  }
  if (area.width() > MaxFilteredSide || area.height() > MaxFilteredSide ||
      std::int64_t{area.width()} * area.height() > MaxFilteredPixels)
    filters.clear(); // drawn as it is
  // What lies beyond the target is neither drawn nor shown.
  area = area.intersected(Child.Image->rect());
  if (area.isEmpty())
    return;
  QImage pixels = Child.Image->copy(area);
  for (const Filter& f : filters)
    ApplyFilter(pixels, f);
  TransformColors(pixels, Child.Color);
  QPainter& p = *Parent.Painter;
  p.save();
  p.resetTransform();
  p.drawImage(area.topLeft(), pixels);
  p.restore();
}

} // namespace quenloft::swf::render

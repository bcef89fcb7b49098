#include "swf/render/DevicePaths.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

#include "swf/render/Paint.h"

namespace quenloft::swf::render {
namespace {

// A transform past this scale (or not finite) draws nothing.
constexpr double MaxScale = 1e6;

// A line wider than this (in pixels, at its widest) is drawn at the
// device's own scale instead of in the shape's space.
constexpr double MaxLinePixels = 1e5;
// QPen takes widths below 32768 only: wider lines are outlined on the device.
constexpr double MaxLocalWidth = 30000;

// Curves are flattened here rather than by Qt, whose flattening differs
// from the player's and moves aliased edges: to segments that stray at most
// this far from the curve in the shape's units, and at most this far in
// device pixels.
constexpr double ShapeFlatness = 2;
constexpr double DeviceFlatness = 0.25;
constexpr double OutlineFlatness = 1.0 / 32;

} // namespace

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

bool Drawable(const QTransform& T)
{
  for (double v : {T.m11(), T.m12(), T.m21(), T.m22(), T.dx(), T.dy()}) {
    if (!std::isfinite(v) || std::abs(v) > MaxScale * 1e3)
      return false;
  }
  return std::abs(T.m11()) + std::abs(T.m12()) + std::abs(T.m21()) + std::abs(T.m22()) < MaxScale;
}

std::vector<DeviceArea> DeviceAreas(const ShapeGeometry& Geometry, const QTransform& T, double PixelsPerTwip,
                                    const QRect& Target, int Grid)
{
  std::vector<DeviceArea> areas;
  const auto& parts = Geometry.Parts;
  areas.reserve(parts.size());
  // The smallest singular value: how much the transform squashes at most.
  const double a = T.m11() * T.m11() + T.m12() * T.m12();
  const double c = T.m21() * T.m21() + T.m22() * T.m22();
  const double b = T.m11() * T.m21() + T.m12() * T.m22();
  const double minScale = std::sqrt(std::max(0.0, (a + c - std::hypot(a - c, 2 * b)) / 2));
  for (const ShapePart& part : parts) {
    DeviceArea area;
    if (part.Type == ShapePart::Kind::Fill) {
      area.Path = DevicePath(part.Path, T);
    } else {
      const QPen pen = DevicePen(part.Line, {}, T, PixelsPerTwip);
      const bool scales = part.Line.ScaleHorizontal && part.Line.ScaleVertical;
      const bool fixed = !part.Line.ScaleHorizontal && !part.Line.ScaleVertical;
      // A line that keeps its width is outlined in the shape's space too,
      // as wide as its width on the stage where the transform squashes
      // most: stretched one way, it widens that way.
      double localWidth = part.Line.Width;
      if (fixed && minScale > 0)
        localWidth = part.Line.Width * PixelsPerTwip / minScale;
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
    if (Grid > 0)
      area.Cover = GridCoverage(area.Path, Target, Grid);
    else
      area.Spans = AliasedSpans(area.Path, Target);
    areas.push_back(std::move(area));
  }
  return areas;
}

} // namespace quenloft::swf::render

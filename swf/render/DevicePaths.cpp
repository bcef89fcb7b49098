#include "swf/render/DevicePaths.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <vector>

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
// from the player's and moves aliased edges. Outlines of lines (round caps
// and joins, true cubics) stray at most this far in device pixels.
constexpr double OutlineFlatness = 1.0 / 32;

// The quadratic P0 C P2 (twips) as segments, in single precision on the
// shape's own pixels: the curve is mapped onto the parabola y = x^2, whose
// approximate arc-length integral spreads the cuts so that each segment
// strays at most a tenth of a pixel of the shape's space from the curve
// (Raph Levien, "Flattening quadratic Beziers", 2019). Aliased edges then
// fall on the pixels the reference renderings show, also for shapes shown
// several times their size; past forty times, segments stay within four
// device pixels.
constexpr float FillTolerance = 0.1f;

// The centre lines of lines are flattened as fills are, but never coarser
// than this in device pixels: a curved line shown many times its size
// stays round where a fill's outline shows its segments.
constexpr double StrokeTolerance = 0.25;

float ParabolaIntegral(float X)
{
  constexpr float d = 0.67f;
  return X / (1.0f - d + std::sqrt(std::sqrt(d * d * d * d + 0.25f * X * X)));
}

float ParabolaInverseIntegral(float X)
{
  constexpr float b = 0.39f;
  return X * (1.0f - b + std::sqrt(b * b + 0.25f * X * X));
}

void FlattenQuadratic(QPainterPath& Out, QPointF P0, QPointF C, QPointF P2, const QTransform& T, double Tolerance)
{
  // An edge two fills share is flattened once for both, whichever way
  // each runs along it: the same points, so no pixel falls between them.
  const bool reversed = P2.x() < P0.x() || (P2.x() == P0.x() && P2.y() < P0.y());
  if (reversed)
    std::swap(P0, P2);
  std::vector<QPointF> points;
  const float fx = static_cast<float>(P0.x() / 20), fy = static_cast<float>(P0.y() / 20);
  const float cx = static_cast<float>(C.x() / 20), cy = static_cast<float>(C.y() / 20);
  const float tx = static_cast<float>(P2.x() / 20), ty = static_cast<float>(P2.y() / 20);
  const float ddx = 2 * cx - fx - tx, ddy = 2 * cy - fy - ty;
  const float cross = (tx - fx) * ddy - (ty - fy) * ddx;
  const float from = ((cx - fx) * ddx + (cy - fy) * ddy) / cross;
  const float to = ((tx - cx) * ddx + (ty - cy) * ddy) / cross;
  const float scale = std::abs(cross) / (std::sqrt(ddx * ddx + ddy * ddy) * std::abs(to - from));
  const double zoom = 20 * std::sqrt(std::abs(T.determinant()));
  float tolerance = zoom > 40 ? static_cast<float>(4 / zoom) : FillTolerance;
  if (Tolerance > 0 && zoom > 0)
    tolerance = std::min(tolerance, static_cast<float>(Tolerance / zoom));
  const float integralFrom = ParabolaIntegral(from);
  const float integralDiff = ParabolaIntegral(to) - integralFrom;
  const float inverseFrom = ParabolaInverseIntegral(integralFrom);
  const float inverseScale = 1.0f / (ParabolaInverseIntegral(integralFrom + integralDiff) - inverseFrom);
  // A straight curve gives no finite count: one segment.
  float count = std::ceil(0.5f * std::abs(integralDiff) * std::sqrt(scale / tolerance));
  if (!std::isfinite(count))
    count = 0;
  count = std::min(count, 1024.0f);
  const float step = integralDiff / count;
  for (int k = 1; k < static_cast<int>(count); ++k) {
    const float t = (ParabolaInverseIntegral(integralFrom + step * static_cast<float>(k)) - inverseFrom) * inverseScale;
    const float u = 1 - t, u2 = u * u, t2 = t * t;
    const float x = fx * u2 + cx * 2 * u * t + tx * t2;
    const float y = fy * u2 + cy * 2 * u * t + ty * t2;
    points.push_back(T.map(QPointF(static_cast<double>(x) * 20, static_cast<double>(y) * 20)));
  }
  if (reversed)
    std::reverse(points.begin(), points.end());
  for (const QPointF& p : points)
    Out.lineTo(p);
}

// A thin line longer than this many pixels along its main direction is
// left out (far larger than any device).
constexpr double MaxHairlineRows = 1 << 16;

// The width of a line on the device where the transform widens it most.
double WidestPixels(const LineStyle& Line, const QTransform& T, double Widest, double PixelsPerTwip)
{
  if (Line.ScaleHorizontal && Line.ScaleVertical)
    return Line.Width * Widest;
  if (Line.ScaleHorizontal)
    return Line.Width * std::hypot(T.m11(), T.m12());
  if (Line.ScaleVertical)
    return Line.Width * std::hypot(T.m21(), T.m22());
  return Line.Width * PixelsPerTwip;
}

} // namespace

QPainterPath HairlineOutline(const QPainterPath& Centre)
{
  QPainterPath out;
  out.setFillRule(Qt::WindingFill);
  // Rows (or columns) whose centre the segment spans, a pixel across
  // around where it crosses that centre.
  const auto cross = [&out](double A0, double B0, double A1, double B1, bool Steep) {
    const double lo = std::min(A0, A1), hi = std::max(A0, A1);
    const double first = std::ceil(lo - 0.5), last = std::ceil(hi - 0.5);
    if (!(last - first < MaxHairlineRows))
      return;
    for (double r = first; r < last; ++r) {
      const double b = B0 + (r + 0.5 - A0) * (B1 - B0) / (A1 - A0);
      out.addRect(Steep ? QRectF(b - 0.5, r, 1, 1) : QRectF(r, b - 0.5, 1, 1));
    }
  };
  QPointF last;
  for (int i = 0; i < Centre.elementCount(); ++i) {
    const QPainterPath::Element& e = Centre.elementAt(i);
    const QPointF p(e.x, e.y);
    if (e.type != QPainterPath::MoveToElement && p != last) {
      if (std::abs(p.y() - last.y()) >= std::abs(p.x() - last.x()))
        cross(last.y(), last.x(), p.y(), p.x(), true);
      else
        cross(last.x(), last.y(), p.x(), p.y(), false);
    }
    last = p;
  }
  return out;
}

QPainterPath DevicePath(const QPainterPath& Path, const QTransform& T, double Tolerance)
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
      if (quadratic) {
        FlattenQuadratic(out, a0, control, a3, T, Tolerance);
      } else {
        // A cubic strays at most 3/4 of its larger second difference from
        // its chord; n equal steps cut that by n squared.
        const QPointF bend = a0 - a1 * 2 + a2;
        const QPointF bend2 = a1 - a2 * 2 + a3;
        const double stray = 0.75 * std::max(std::hypot(bend.x(), bend.y()), std::hypot(bend2.x(), bend2.y()));
        const double scale = std::sqrt(std::abs(T.determinant()));
        const int count = std::clamp(static_cast<int>(std::ceil(std::sqrt(stray * scale / OutlineFlatness))), 1, 256);
        for (int k = 1; k < count; ++k) {
          const double t = static_cast<double>(k) / count;
          const double u = 1 - t;
          out.lineTo(T.map(a0 * (u * u * u) + a1 * (3 * u * u * t) + a2 * (3 * u * t * t) + a3 * (t * t * t)));
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

std::vector<std::pair<std::size_t, std::size_t>> FillGroups(const ShapeGeometry& Geometry)
{
  std::vector<std::pair<std::size_t, std::size_t>> groups;
  const auto& parts = Geometry.Parts;
  for (std::size_t i = 0; i < parts.size();) {
    if (parts[i].Type != ShapePart::Kind::Fill) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < parts.size() && parts[end].Type == ShapePart::Kind::Fill && parts[end].Set == parts[i].Set)
      ++end;
    groups.emplace_back(i, end);
    i = end;
  }
  return groups;
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
  const double maxScale = std::sqrt(std::max(0.0, (a + c + std::hypot(a - c, 2 * b)) / 2));
  for (const ShapePart& part : parts) {
    DeviceArea area;
    if (part.Type == ShapePart::Kind::Fill) {
      area.Path = DevicePath(part.Path, T);
    } else if (Grid > 0 && WidestPixels(part.Line, T, maxScale, PixelsPerTwip) <= 1) {
      // Without anti-aliasing the outline below covers the pixels the
      // player's thin lines cover, corners included.
      area.Path = HairlineOutline(DevicePath(part.Path, T, StrokeTolerance));
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
        const QPainterPath centre = T.inverted().map(DevicePath(part.Path, T, StrokeTolerance));
        area.Path = DevicePath(QPainterPathStroker(local).createStroke(centre), T);
      } else {
        area.Path = DevicePath(QPainterPathStroker(pen).createStroke(DevicePath(part.Path, T, StrokeTolerance)), {});
      }
    }
    if (Grid == 0)
      area.Spans = AliasedSpans(area.Path, Target);
    else if (part.Type != ShapePart::Kind::Fill)
      area.Cover = GridCoverage(area.Path, Target, Grid);
    areas.push_back(std::move(area));
  }
  if (Grid == 0)
    return areas;
  // The fills of one style set share their edges' cells (see FillGroups).
  for (const auto& [first, last] : FillGroups(Geometry)) {
    std::vector<const QPainterPath*> paths;
    for (std::size_t i = first; i < last; ++i)
      paths.push_back(&areas[i].Path);
    std::vector<Coverage> covers = SharedCoverage(paths, Target, Grid);
    for (std::size_t i = first; i < last; ++i)
      areas[i].Cover = std::move(covers[i - first]);
  }
  return areas;
}

} // namespace quenloft::swf::render

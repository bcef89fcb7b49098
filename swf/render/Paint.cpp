#include "swf/render/Paint.h"

#include <QGradient>
#include <QLinearGradient>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quenloft::swf::render {
namespace {

// The widest pen QPen accepts, less a margin.
constexpr double MaxPenWidth = 30000;

// Gradients live in the square -16384..16384 twips of their own space.
constexpr double GradientHalfSize = 16384.0;

double SrgbToLinear(double C)
{
  return C <= 0.04045 ? C / 12.92 : std::pow((C + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double C)
{
  return C <= 0.0031308 ? C * 12.92 : 1.055 * std::pow(C, 1 / 2.4) - 0.055;
}

QGradient::Spread QtSpread(SpreadMode Mode)
{
  switch (Mode) {
  case SpreadMode::Reflect: return QGradient::ReflectSpread;
  case SpreadMode::Repeat: return QGradient::RepeatSpread;
  case SpreadMode::Pad: break;
  }
  return QGradient::PadSpread;
}

} // namespace

QTransform ToQTransform(const Matrix& M)
{
  return QTransform(M.A, M.B, M.C, M.D, M.Tx, M.Ty);
}

QColor TransformedColor(Rgba C, const ColorTransform& Ct)
{
  const Rgba t = Ct.IsIdentity() ? C : Ct.Apply(C);
  return QColor(t.R, t.G, t.B, t.A);
}

// The ramp with Steps entries per unit of ratio: entry e holds the colour at
// ratio e / Steps.
std::vector<QRgb> FineRamp(const Gradient& G, const ColorTransform& Ct, int Steps)
{
  std::vector<QRgb> ramp(static_cast<std::size_t>(255 * Steps + 1), 0);
  if (G.Stops.empty())
    return ramp;
  std::vector<GradientStop> stops = G.Stops;
  for (GradientStop& s : stops)
    s.Color = Ct.IsIdentity() ? s.Color : Ct.Apply(s.Color);

  const bool linear = G.Interpolation == InterpolationMode::LinearRgb;
  auto channel = [linear](std::uint8_t A, std::uint8_t B, double T) {
    if (!linear)
      return static_cast<std::uint8_t>(std::floor(A + (B - A) * T + 1e-9));
    const double a = SrgbToLinear(A / 255.0);
    const double b = SrgbToLinear(B / 255.0);
    return static_cast<std::uint8_t>(std::lround(LinearToSrgb(a + (b - a) * T) * 255.0));
  };
  auto put = [&ramp](int I, Rgba C) { ramp[static_cast<std::size_t>(I)] = qRgba(C.R, C.G, C.B, C.A); };

  // As the player builds its ramp: stops in file order, each pair with a
  // rising ratio paints from where the ramp has got to up to its end,
  // interpolating between the two stops' own ratios; a stop on the same
  // ratio as the one before takes the next ratio step on its own, so a run
  // of equal stops shows each colour in turn; a pair whose ratio falls
  // paints nothing. Before the first stop is its colour, after the furthest
  // painted ratio the colour of the file's last stop.
  int filled = stops.front().Ratio * Steps;
  for (int i = 0; i <= filled; ++i)
    put(i, stops.front().Color);
  for (std::size_t i = 0; i + 1 < stops.size(); ++i) {
    const GradientStop& a = stops[i];
    const GradientStop& b = stops[i + 1];
    if (b.Ratio == a.Ratio) {
      for (int e = filled + 1; e <= std::min(filled + Steps, 255 * Steps); ++e)
        put(e, b.Color);
      filled = std::min(filled + Steps, 255 * Steps);
      continue;
    }
    if (b.Ratio < a.Ratio || b.Ratio * Steps <= filled)
      continue;
    for (int e = std::max<int>(filled + 1, a.Ratio * Steps); e <= b.Ratio * Steps; ++e) {
      const double t = static_cast<double>(e - a.Ratio * Steps) / ((b.Ratio - a.Ratio) * Steps);
      put(e, {channel(a.Color.R, b.Color.R, t), channel(a.Color.G, b.Color.G, t),
              channel(a.Color.B, b.Color.B, t),
              static_cast<std::uint8_t>(std::lround(a.Color.A + (b.Color.A - a.Color.A) * t))});
    }
    filled = b.Ratio * Steps;
  }
  for (int i = filled + 1; i <= 255 * Steps; ++i)
    put(i, stops.back().Color);
  return ramp;
}

std::array<QRgb, 256> GradientRamp(const Gradient& G, const ColorTransform& Ct)
{
  const std::vector<QRgb> fine = FineRamp(G, Ct, 1);
  std::array<QRgb, 256> ramp{};
  std::copy(fine.begin(), fine.end(), ramp.begin());
  return ramp;
}

QImage GradientImage(const FillStyle& Fill, const ColorTransform& Ct, const QTransform& ToDevice,
                     const QRect& Box, bool Filtered)
{
  const bool radial = Fill.Kind == FillKind::RadialGradient || Fill.Kind == FillKind::FocalGradient;
  if ((Fill.Kind != FillKind::LinearGradient && !radial) || Box.isEmpty())
    return {};
  const Gradient& g = Fill.Gradient;
  bool invertible = false;
  const QTransform back = (ToQTransform(g.Transform) * ToDevice).inverted(&invertible);
  if (!invertible)
    return {};
  // Positions between two of the ramp's ratios take the colour between
  // them, to a sixteenth of a ratio; equal ratios stay a hard edge.
  constexpr int Steps = 16;
  std::vector<QRgb> ramp = FineRamp(g, Ct, Steps);
  for (QRgb& c : ramp)
    c = qPremultiply(c);
  // The focal point sits on the x axis, inside the circle.
  const double focal = Fill.Kind == FillKind::FocalGradient ? std::clamp(g.FocalPoint, -0.98, 0.98) : 0.0;
  auto position = [&](double X, double Y) {
    if (!radial)
      return (X + GradientHalfSize) / (2 * GradientHalfSize);
    const double x = X / GradientHalfSize - focal;
    const double y = Y / GradientHalfSize;
    if (focal == 0)
      return std::sqrt(x * x + y * y);
    // The ray from the focal point through (X, Y) meets the unit circle
    // at focal + s * d; the position is 1 / s along it.
    const double dd = x * x + y * y;
    if (dd == 0)
      return 0.0;
    const double fd = focal * x;
    const double s = (-fd + std::sqrt(fd * fd - dd * (focal * focal - 1))) / dd;
    return 1 / s;
  };
  auto spread = [&g](double T) {
    if (!std::isfinite(T))
      return 1.0;
    switch (g.Spread) {
    case SpreadMode::Pad: break;
    case SpreadMode::Repeat: return T - std::floor(T);
    case SpreadMode::Reflect: {
      const double r = T - 2 * std::floor(T / 2);
      return r > 1 ? 2 - r : r;
    }
    }
    return std::clamp(T, 0.0, 1.0);
  };

  QImage out(Box.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < Box.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    // Along a row the position in the gradient's square moves by a fixed step.
    const QPointF start = back.map(QPointF(Box.left() + 0.5, Box.top() + y + 0.5));
    const QPointF step(back.m11(), back.m12());
    for (int x = 0; x < Box.width(); ++x) {
      const QPointF p = start + step * x;
      // Filtered, ratio r's colour sits at (r + 0.5) / 256 along the
      // gradient, as in a 256-texel texture read with linear filtering;
      // else each 1/256 of the gradient shows one entry, except that an
      // unfiltered radial fill reaches entry r at radius r / 255 (where the
      // player's rings lie in its renderings).
      const double along = spread(position(p.x(), p.y())) * (radial && !Filtered ? 255 : 256);
      const double at = Filtered ? std::clamp(along - 0.5, 0.0, 255.0) : std::min(255.0, std::floor(along));
      row[x] = ramp[static_cast<std::size_t>(at * Steps + 0.5)];
    }
  }
  return out;
}

QBrush GradientOrSolidBrush(const FillStyle& Fill, const ColorTransform& Ct)
{
  if (Fill.Kind == FillKind::Solid)
    return QBrush(TransformedColor(Fill.Color, Ct));
  if (Fill.Kind == FillKind::Bitmap)
    return QBrush(Qt::NoBrush);

  const Gradient& g = Fill.Gradient;
  QGradientStops stops;
  const auto ramp = GradientRamp(g, Ct);
  // The player looks a pixel's colour up in its 256-entry ramp without
  // blending neighbouring entries: each entry is a flat band of 1/256.
  for (int i = 0; i < 256; ++i) {
    stops.append({i / 256.0, QColor::fromRgba(ramp[i])});
    stops.append({(i + 1) / 256.0 - 1e-6, QColor::fromRgba(ramp[i])});
  }

  QBrush brush;
  if (Fill.Kind == FillKind::LinearGradient) {
    QLinearGradient lg(-GradientHalfSize, 0, GradientHalfSize, 0);
    lg.setStops(stops);
    lg.setSpread(QtSpread(g.Spread));
    brush = QBrush(lg);
  } else {
    const double focal = Fill.Kind == FillKind::FocalGradient ? std::clamp(g.FocalPoint, -0.98, 0.98) : 0.0;
    QRadialGradient rg(QPointF(0, 0), GradientHalfSize, QPointF(focal * GradientHalfSize, 0));
    rg.setStops(stops);
    rg.setSpread(QtSpread(g.Spread));
    brush = QBrush(rg);
  }
  brush.setTransform(ToQTransform(g.Transform));
  return brush;
}

double LineWidthPixels(const LineStyle& Line, const QTransform& ToDevice, double PixelsPerTwip)
{
  const double sx = std::hypot(ToDevice.m11(), ToDevice.m12());
  const double sy = std::hypot(ToDevice.m21(), ToDevice.m22());
  double scale = PixelsPerTwip;
  if (Line.ScaleHorizontal && Line.ScaleVertical)
    scale = (sx + sy) / 2;
  else if (Line.ScaleHorizontal)
    scale = sx;
  else if (Line.ScaleVertical)
    scale = sy;
  const double width = Line.Width * scale;
  // Past a width the device could show the line covers everything anyway;
  // QPen takes widths below 32768 only.
  return std::isfinite(width) ? std::clamp(width, 1.0, MaxPenWidth) : 1.0;
}

QPen DevicePen(const LineStyle& Line, const ColorTransform& Ct, const QTransform& ToDevice,
               double PixelsPerTwip)
{
  QPen pen(TransformedColor(Line.Color, Ct));
  pen.setWidthF(LineWidthPixels(Line, ToDevice, PixelsPerTwip));
  // Qt pens have one cap for both ends: the start cap is the one used.
  switch (Line.StartCap) {
  case CapStyle::None: pen.setCapStyle(Qt::FlatCap); break;
  case CapStyle::Square: pen.setCapStyle(Qt::SquareCap); break;
  case CapStyle::Round: pen.setCapStyle(Qt::RoundCap); break;
  }
  switch (Line.Join) {
  case JoinStyle::Bevel: pen.setJoinStyle(Qt::BevelJoin); break;
  case JoinStyle::Miter:
    pen.setJoinStyle(Qt::SvgMiterJoin);
    pen.setMiterLimit(std::max(1.0, Line.MiterLimit));
    break;
  case JoinStyle::Round: pen.setJoinStyle(Qt::RoundJoin); break;
  }
  return pen;
}

} // namespace quenloft::swf::render

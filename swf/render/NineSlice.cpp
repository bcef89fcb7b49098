#include "swf/render/NineSlice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace quenloft::swf::render {
namespace {

// Sliced coordinates are kept well inside the range of the records' 32-bit
// deltas.
constexpr double MaxCoordinate = 1 << 29;

struct Piece {
  Point From;
  Point Control;
  Point To;
};

Point Lerp(Point A, Point B, double T)
{
  return {A.X + (B.X - A.X) * T, A.Y + (B.Y - A.Y) * T};
}

// Where the quadratic through A, B, C (one coordinate) meets Line, for T
// strictly between 0 and 1.
void Crossings(double A, double B, double C, double Line, std::vector<double>& Out)
{
  constexpr double Eps = 1e-9;
  const double a = A - 2 * B + C;
  const double b = 2 * (B - A);
  const double c = A - Line;
  const auto keep = [&Out](double T) {
    if (T > Eps && T < 1 - Eps)
      Out.push_back(T);
  };
  if (std::abs(a) < Eps) {
    if (std::abs(b) > Eps)
      keep(-c / b);
    return;
  }
  const double disc = b * b - 4 * a * c;
  if (disc < 0)
    return;
  const double root = std::sqrt(disc);
  keep((-b - root) / (2 * a));
  keep((-b + root) / (2 * a));
}

std::int64_t Whole(double V)
{
  return static_cast<std::int64_t>(std::llround(std::clamp(V, -MaxCoordinate, MaxCoordinate)));
}

void Stretch(FillStyle& F, const Matrix& By)
{
  F.Gradient.Transform = By * F.Gradient.Transform;
  F.BitmapTransform = By * F.BitmapTransform;
}

void Stretch(ShapeStyles& S, const Matrix& By)
{
  for (FillStyle& f : S.Fills)
    Stretch(f, By);
  for (LineStyle& l : S.Lines)
    if (l.Fill)
      Stretch(*l.Fill, By);
}

} // namespace

int NineSlice::Axis::Region(double V) const
{
  return V < GridLo ? 0 : V > GridHi ? 2 : 1;
}

double NineSlice::Axis::Map(double V, int InRegion) const
{
  const double fixed = (GridLo - Lo) + (Hi - GridHi);
  const double size = (Hi - Lo) * Scale;
  // Borders wider than the whole shrink together until they meet.
  const double k = fixed > size ? size / fixed : 1;
  if (InRegion == 0)
    return Lo * Scale + (V - Lo) * k;
  if (InRegion == 2)
    return Hi * Scale - (Hi - V) * k;
  const double middle = GridHi - GridLo;
  const double stretch = middle > 0 ? (size - k * fixed) / middle : 0;
  return Lo * Scale + (GridLo - Lo) * k + (V - GridLo) * stretch;
}

std::optional<NineSlice> NineSlice::Make(const Rect& Grid, const Rect& Bounds, const Matrix& Transform)
{
  if (Transform.B != 0 || Transform.C != 0)
    return std::nullopt;
  for (double v : {Transform.A, Transform.D, Transform.Tx, Transform.Ty})
    if (!std::isfinite(v))
      return std::nullopt;
  if (Grid.XMax <= Grid.XMin || Grid.YMax <= Grid.YMin || Bounds.XMax <= Bounds.XMin ||
      Bounds.YMax <= Bounds.YMin)
    return std::nullopt;
  const auto axis = [](double Lo, double Hi, double GridLo, double GridHi, double Scale) {
    Axis a;
    a.Lo = Lo;
    a.Hi = Hi;
    a.GridLo = std::clamp(GridLo, Lo, Hi);
    a.GridHi = std::clamp(GridHi, a.GridLo, Hi);
    a.Scale = std::abs(Scale);
    return a;
  };
  NineSlice s;
  s.FX = axis(Bounds.XMin, Bounds.XMax, Grid.XMin, Grid.XMax, Transform.A);
  s.FY = axis(Bounds.YMin, Bounds.YMax, Grid.YMin, Grid.YMax, Transform.D);
  s.FDraw.A = Transform.A > 0 ? 1 : Transform.A < 0 ? -1 : 0;
  s.FDraw.D = Transform.D > 0 ? 1 : Transform.D < 0 ? -1 : 0;
  s.FDraw.Tx = Transform.Tx;
  s.FDraw.Ty = Transform.Ty;
  return s;
}

Point NineSlice::Map(Point P) const
{
  return {FX.Map(P.X, FX.Region(P.X)), FY.Map(P.Y, FY.Region(P.Y))};
}

std::array<double, 10> NineSlice::Key() const
{
  return {FX.Lo, FX.GridLo, FX.GridHi, FX.Hi, FX.Scale, FY.Lo, FY.GridLo, FY.GridHi, FY.Hi, FY.Scale};
}

Shape NineSlice::Slice(const Shape& S, const Matrix& Place) const
{
  Shape out;
  out.Id = S.Id;
  out.Version = S.Version;
  out.NonZeroWinding = S.NonZeroWinding;
  Matrix stretch;
  stretch.A = FX.Scale;
  stretch.D = FY.Scale;
  const Matrix fills = stretch * Place;
  out.Styles = S.Styles;
  Stretch(out.Styles, fills);
  out.NewStyles = S.NewStyles;
  for (ShapeStyles& set : out.NewStyles)
    Stretch(set, fills);

  const auto box = [&](const Rect& R) {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const Point& p : {Point{double(R.XMin), double(R.YMin)}, Point{double(R.XMax), double(R.YMin)},
                           Point{double(R.XMin), double(R.YMax)}, Point{double(R.XMax), double(R.YMax)}}) {
      const Point q = Map(Place.Apply(p));
      x0 = std::min(x0, q.X);
      y0 = std::min(y0, q.Y);
      x1 = std::max(x1, q.X);
      y1 = std::max(y1, q.Y);
    }
    return Rect{
        static_cast<std::int32_t>(Whole(std::floor(x0))), static_cast<std::int32_t>(Whole(std::ceil(x1))),
        static_cast<std::int32_t>(Whole(std::floor(y0))), static_cast<std::int32_t>(Whole(std::ceil(y1)))};
  };
  out.Bounds = box(S.Bounds);
  out.EdgeBounds = box(S.EdgeBounds);

  std::vector<double> cuts;
  std::vector<Piece> pieces;
  std::int64_t penX = 0, penY = 0; // in S's records
  std::int64_t atX = 0, atY = 0;   // in the sliced records
  out.Records.reserve(S.Records.size());
  const auto edge = [&](std::int64_t ToX, std::int64_t ToY, bool Curved, std::int64_t ControlX,
                        std::int64_t ControlY) {
    ShapeRecord r;
    r.Type = Curved ? ShapeRecord::Kind::CurvedEdge : ShapeRecord::Kind::StraightEdge;
    r.AnchorDx = static_cast<std::int32_t>(ToX - atX);
    r.AnchorDy = static_cast<std::int32_t>(ToY - atY);
    if (Curved) {
      r.ControlDx = static_cast<std::int32_t>(ControlX - atX);
      r.ControlDy = static_cast<std::int32_t>(ControlY - atY);
    }
    out.Records.push_back(r);
    atX = ToX;
    atY = ToY;
  };

  for (const ShapeRecord& r : S.Records) {
    if (r.Type == ShapeRecord::Kind::StyleChange) {
      ShapeRecord c = r;
      if (r.HasMove) {
        penX = r.MoveX;
        penY = r.MoveY;
        const Point q = Map(Place.Apply({double(penX), double(penY)}));
        atX = Whole(q.X);
        atY = Whole(q.Y);
        c.MoveX = static_cast<std::int32_t>(atX);
        c.MoveY = static_cast<std::int32_t>(atY);
      }
      out.Records.push_back(c);
      continue;
    }
    const bool curved = r.Type == ShapeRecord::Kind::CurvedEdge;
    const Point from = Place.Apply({double(penX), double(penY)});
    const Point to = Place.Apply({double(penX + r.AnchorDx), double(penY + r.AnchorDy)});
    const Point control =
        curved ? Place.Apply({double(penX + r.ControlDx), double(penY + r.ControlDy)}) : Lerp(from, to, 0.5);
    penX += r.AnchorDx;
    penY += r.AnchorDy;

    cuts.clear();
    for (double line : {FX.GridLo, FX.GridHi})
      Crossings(from.X, control.X, to.X, line, cuts);
    for (double line : {FY.GridLo, FY.GridHi})
      Crossings(from.Y, control.Y, to.Y, line, cuts);
    std::sort(cuts.begin(), cuts.end());
    pieces.clear();
    Piece rest{from, control, to};
    double done = 0;
    for (double t : cuts) {
      const double local = (t - done) / (1 - done);
      const Point a = Lerp(rest.From, rest.Control, local);
      const Point b = Lerp(rest.Control, rest.To, local);
      const Point split = Lerp(a, b, local);
      pieces.push_back({rest.From, a, split});
      rest = {split, b, rest.To};
      done = t;
    }
    pieces.push_back(rest);

    for (const Piece& p : pieces) {
      // The piece's middle names its region; its ends may sit on a line.
      const Point middle = Lerp(Lerp(p.From, p.Control, 0.5), Lerp(p.Control, p.To, 0.5), 0.5);
      const int rx = FX.Region(middle.X);
      const int ry = FY.Region(middle.Y);
      const std::int64_t x0 = Whole(FX.Map(p.From.X, rx)), y0 = Whole(FY.Map(p.From.Y, ry));
      const std::int64_t x1 = Whole(FX.Map(p.To.X, rx)), y1 = Whole(FY.Map(p.To.Y, ry));
      // A middle of no width opens a gap between the regions beside it:
      // an edge across keeps the outline closed.
      if (x0 != atX || y0 != atY)
        edge(x0, y0, false, 0, 0);
      if (x1 == atX && y1 == atY && !curved)
        continue;
      edge(x1, y1, curved, Whole(FX.Map(p.Control.X, rx)), Whole(FY.Map(p.Control.Y, ry)));
    }
  }
  return out;
}

} // namespace quenloft::swf::render

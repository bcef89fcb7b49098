#include "swf/Movie.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace quenloft::swf {

CharacterHandle NewCharacterHandle()
{
  static std::atomic<CharacterHandle> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

Matrix Matrix::operator*(const Matrix& Inner) const
{
  Matrix m;
  m.A = A * Inner.A + C * Inner.B;
  m.B = B * Inner.A + D * Inner.B;
  m.C = A * Inner.C + C * Inner.D;
  m.D = B * Inner.C + D * Inner.D;
  m.Tx = A * Inner.Tx + C * Inner.Ty + Tx;
  m.Ty = B * Inner.Tx + D * Inner.Ty + Ty;
  return m;
}

Point Matrix::Apply(Point P) const
{
  return Point{A * P.X + C * P.Y + Tx, B * P.X + D * P.Y + Ty};
}

ColorTransform ColorTransform::operator*(const ColorTransform& Inner) const
{
  // Outer(Inner(c)) = (c * im + ia) * om + oa = c * (im * om) + (ia * om + oa).
  ColorTransform c;
  c.RMul = Inner.RMul * RMul;
  c.GMul = Inner.GMul * GMul;
  c.BMul = Inner.BMul * BMul;
  c.AMul = Inner.AMul * AMul;
  c.RAdd = Inner.RAdd * RMul + RAdd;
  c.GAdd = Inner.GAdd * GMul + GAdd;
  c.BAdd = Inner.BAdd * BMul + BAdd;
  c.AAdd = Inner.AAdd * AMul + AAdd;
  return c;
}

namespace {

std::uint8_t Channel(std::uint8_t V, double Mul, double Add)
{
  const double r = V * Mul + Add;
  return static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
}

double Mix(double A, double B, double T)
{
  return A + (B - A) * T;
}

std::int32_t MixInt(std::int32_t A, std::int32_t B, double T)
{
  return static_cast<std::int32_t>(std::lround(Mix(A, B, T)));
}

// Colours and gradient ratios of a morph are cut to whole steps, not
// rounded (a tween between two colours reaches the end colour only at its
// end).
std::uint8_t MixByte(std::uint8_t A, std::uint8_t B, double T)
{
  return static_cast<std::uint8_t>(std::clamp(std::floor(Mix(A, B, T) + 1e-9), 0.0, 255.0));
}

Rgba MixColor(Rgba A, Rgba B, double T)
{
  return Rgba{MixByte(A.R, B.R, T), MixByte(A.G, B.G, T), MixByte(A.B, B.B, T), MixByte(A.A, B.A, T)};
}

Matrix MixMatrix(const Matrix& A, const Matrix& B, double T)
{
  return Matrix{Mix(A.A, B.A, T), Mix(A.B, B.B, T),   Mix(A.C, B.C, T),
                Mix(A.D, B.D, T), Mix(A.Tx, B.Tx, T), Mix(A.Ty, B.Ty, T)};
}

FillStyle MixFill(const FillStyle& A, const FillStyle& B, double T)
{
  FillStyle f = A;
  f.Color = MixColor(A.Color, B.Color, T);
  f.Gradient.Transform = MixMatrix(A.Gradient.Transform, B.Gradient.Transform, T);
  f.Gradient.FocalPoint = Mix(A.Gradient.FocalPoint, B.Gradient.FocalPoint, T);
  const std::size_t n = std::min(A.Gradient.Stops.size(), B.Gradient.Stops.size());
  f.Gradient.Stops.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const GradientStop& a = A.Gradient.Stops[i];
    const GradientStop& b = B.Gradient.Stops[i];
    f.Gradient.Stops[i] = GradientStop{MixByte(a.Ratio, b.Ratio, T), MixColor(a.Color, b.Color, T)};
  }
  f.BitmapTransform = MixMatrix(A.BitmapTransform, B.BitmapTransform, T);
  return f;
}

Rect MixRect(const Rect& A, const Rect& B, double T)
{
  return Rect{MixInt(A.XMin, B.XMin, T), MixInt(A.XMax, B.XMax, T), MixInt(A.YMin, B.YMin, T),
              MixInt(A.YMax, B.YMax, T)};
}

} // namespace

Rgba ColorTransform::Apply(Rgba C) const
{
  return Rgba{Channel(C.R, RMul, RAdd), Channel(C.G, GMul, GAdd), Channel(C.B, BMul, BAdd),
              Channel(C.A, AMul, AAdd)};
}

bool ColorTransform::IsIdentity() const
{
  return *this == ColorTransform{};
}

const Character* Movie::Find(CharacterId Id) const
{
  const auto it = Dictionary.find(Id);
  return it == Dictionary.end() ? nullptr : &it->second;
}

Shape MorphShape::At(std::uint16_t Ratio) const
{
  const double t = Ratio / 65535.0;
  Shape s;
  s.Id = Id;
  s.Version = Version >= 2 ? 4 : 3;
  s.Bounds = MixRect(StartBounds, EndBounds, t);
  s.EdgeBounds = s.Bounds;
  s.Styles.Fills.reserve(Fills.size());
  for (const MorphFillStyle& f : Fills)
    s.Styles.Fills.push_back(MixFill(f.Start, f.End, t));
  s.Styles.Lines.reserve(Lines.size());
  for (const MorphLineStyle& l : Lines) {
    LineStyle line = l.Start;
    line.Width = static_cast<std::uint16_t>(std::lround(Mix(l.Start.Width, l.End.Width, t)));
    line.Color = MixColor(l.Start.Color, l.End.Color, t);
    if (l.Start.Fill && l.End.Fill)
      line.Fill = MixFill(*l.Start.Fill, *l.End.Fill, t);
    s.Styles.Lines.push_back(std::move(line));
  }
  // Both sides are walked with their own pens, so a side that does not
  // move keeps its pen where its last edge ended.
  const std::size_t n = std::min(StartRecords.size(), EndRecords.size());
  s.Records.reserve(n);
  std::int64_t sx = 0, sy = 0, ex = 0, ey = 0;
  std::int32_t px = 0, py = 0; // the mixed pen
  for (std::size_t i = 0; i < n; ++i) {
    const ShapeRecord& a = StartRecords[i];
    const ShapeRecord& b = EndRecords[i];
    if (a.Type == ShapeRecord::Kind::StyleChange) {
      ShapeRecord r = a;
      if (a.HasMove) {
        sx = a.MoveX;
        sy = a.MoveY;
      }
      if (b.HasMove) {
        ex = b.MoveX;
        ey = b.MoveY;
      }
      r.HasMove = a.HasMove || b.HasMove;
      r.MoveX =
          static_cast<std::int32_t>(std::lround(Mix(static_cast<double>(sx), static_cast<double>(ex), t)));
      r.MoveY =
          static_cast<std::int32_t>(std::lround(Mix(static_cast<double>(sy), static_cast<double>(ey), t)));
      r.NewStyles.reset();
      if (r.HasMove) {
        px = r.MoveX;
        py = r.MoveY;
      }
      s.Records.push_back(std::move(r));
      continue;
    }
    // Each side's end point is mixed, then the edge is taken from the
    // mixed pen so rounding never drifts along the outline.
    const double ax = Mix(static_cast<double>(sx + a.AnchorDx), static_cast<double>(ex + b.AnchorDx), t);
    const double ay = Mix(static_cast<double>(sy + a.AnchorDy), static_cast<double>(ey + b.AnchorDy), t);
    const double cx = Mix(static_cast<double>(sx + a.ControlDx), static_cast<double>(ex + b.ControlDx), t);
    const double cy = Mix(static_cast<double>(sy + a.ControlDy), static_cast<double>(ey + b.ControlDy), t);
    ShapeRecord r;
    r.Type = a.Type;
    r.AnchorDx = static_cast<std::int32_t>(std::lround(ax)) - px;
    r.AnchorDy = static_cast<std::int32_t>(std::lround(ay)) - py;
    if (a.Type == ShapeRecord::Kind::CurvedEdge) {
      r.ControlDx = static_cast<std::int32_t>(std::lround(cx)) - px;
      r.ControlDy = static_cast<std::int32_t>(std::lround(cy)) - py;
    }
    px += r.AnchorDx;
    py += r.AnchorDy;
    sx += a.AnchorDx;
    sy += a.AnchorDy;
    ex += b.AnchorDx;
    ey += b.AnchorDy;
    s.Records.push_back(std::move(r));
  }
  return s;
}

} // namespace quenloft::swf

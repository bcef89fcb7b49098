#include "swf/avm1/ClipGeometry.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace quenloft::swf::avm1 {

void Box::Add(Point P)
{
  if (Empty) {
    XMin = XMax = P.X;
    YMin = YMax = P.Y;
    Empty = false;
    return;
  }
  XMin = std::min(XMin, P.X);
  XMax = std::max(XMax, P.X);
  YMin = std::min(YMin, P.Y);
  YMax = std::max(YMax, P.Y);
}

void Box::Add(const Box& B)
{
  if (B.Empty)
    return;
  Add(Point{B.XMin, B.YMin});
  Add(Point{B.XMax, B.YMax});
}

Box Box::Transformed(const Matrix& M) const
{
  Box out;
  if (Empty)
    return out;
  out.Add(M.Apply({XMin, YMin}));
  out.Add(M.Apply({XMax, YMin}));
  out.Add(M.Apply({XMin, YMax}));
  out.Add(M.Apply({XMax, YMax}));
  return out;
}

bool Box::Intersects(const Box& B) const
{
  return !Empty && !B.Empty && XMin <= B.XMax && B.XMin <= XMax && YMin <= B.YMax && B.YMin <= YMax;
}

namespace {

Box FromRect(const Rect& R)
{
  Box b;
  b.Add(Point{static_cast<double>(R.XMin), static_cast<double>(R.YMin)});
  b.Add(Point{static_cast<double>(R.XMax), static_cast<double>(R.YMax)});
  return b;
}

// Shapes nest inside buttons; buttons and sprites never nest without a
// clip between, but a damaged movie may try: stop somewhere.
constexpr int MaxDepth = 64;

Box CharacterBounds(const Movie& Movie, CharacterId Id, std::uint16_t Ratio, int Depth)
{
  const Character* c = Movie.Find(Id);
  if (!c || Depth > MaxDepth)
    return {};
  if (const auto* s = std::get_if<Shape>(c))
    return FromRect(s->Bounds);
  if (const auto* m = std::get_if<MorphShape>(c)) {
    const double t = Ratio / 65535.0;
    Box b;
    b.Add(Point{m->StartBounds.XMin + (m->EndBounds.XMin - m->StartBounds.XMin) * t,
                m->StartBounds.YMin + (m->EndBounds.YMin - m->StartBounds.YMin) * t});
    b.Add(Point{m->StartBounds.XMax + (m->EndBounds.XMax - m->StartBounds.XMax) * t,
                m->StartBounds.YMax + (m->EndBounds.YMax - m->StartBounds.YMax) * t});
    return b;
  }
  if (const auto* t = std::get_if<Text>(c))
    return FromRect(t->Bounds);
  if (const auto* bm = std::get_if<Bitmap>(c)) {
    Box b;
    b.Add(Point{0, 0});
    b.Add(Point{bm->Width * 20.0, bm->Height * 20.0});
    return b;
  }
  if (const auto* bt = std::get_if<Button>(c)) {
    Box b;
    for (const ButtonRecord& r : bt->Records)
      if (r.States & ButtonRecord::Up)
        b.Add(CharacterBounds(Movie, r.Character, 0, Depth + 1).Transformed(r.Transform));
    return b;
  }
  return {};
}

} // namespace

bool Invert(const Matrix& M, Matrix& Out)
{
  const double det = M.A * M.D - M.B * M.C;
  if (det == 0 || !std::isfinite(det))
    return false;
  Out.A = M.D / det;
  Out.B = -M.B / det;
  Out.C = -M.C / det;
  Out.D = M.A / det;
  Out.Tx = -(Out.A * M.Tx + Out.C * M.Ty);
  Out.Ty = -(Out.B * M.Tx + Out.D * M.Ty);
  return true;
}

namespace {

// Adds the crossings of the ray from P towards +x with the segment A-B.
int Crossing(Point A, Point B, Point P)
{
  if ((A.Y > P.Y) == (B.Y > P.Y))
    return 0;
  const double x = A.X + (P.Y - A.Y) * (B.X - A.X) / (B.Y - A.Y);
  if (x <= P.X)
    return 0;
  return B.Y > A.Y ? 1 : -1;
}

double DistanceSquared(Point A, Point B, Point P)
{
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double len = dx * dx + dy * dy;
  double t = len > 0 ? ((P.X - A.X) * dx + (P.Y - A.Y) * dy) / len : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double x = A.X + t * dx - P.X, y = A.Y + t * dy - P.Y;
  return x * x + y * y;
}

bool CharacterHits(const Movie& Movie, CharacterId Id, std::uint16_t Ratio, Point P, int Depth);

} // namespace

Box ObjectBounds(const Movie& Movie, const DisplayObject& O)
{
  // A field script changed or made shows its own box.
  Box inner = O.Sprite  ? ContentBounds(Movie, *O.Sprite)
              : O.Shown ? FromRect(O.Shown->Bounds)
                        : CharacterBounds(Movie, O.Character, O.Ratio, 0);
  return inner.Transformed(O.Transform);
}

Box ContentBounds(const Movie& Movie, const SpriteInstance& S)
{
  Box b;
  int depth = 0;
  for (const SpriteInstance* p = S.Parent; p; p = p->Parent)
    ++depth;
  if (depth > MaxDepth)
    return b;
  if (S.Drawing)
    b.Add(FromRect(S.Drawing->Bounds));
  for (const DisplayObject& o : S.List)
    b.Add(ObjectBounds(Movie, o));
  return b;
}

DisplayObject* PlacementOf(const SpriteInstance& S)
{
  if (!S.Parent)
    return nullptr;
  for (DisplayObject& o : S.Parent->List)
    if (o.Sprite.get() == &S)
      return &o;
  return nullptr;
}

Matrix StageMatrix(const SpriteInstance& S)
{
  Matrix m;
  for (const SpriteInstance* s = &S; s; s = s->Parent)
    if (const DisplayObject* o = PlacementOf(*s))
      m = o->Transform * m;
  return m;
}

bool ShapeHits(const Shape& S, Point P)
{
  // Each fill (of each style set) keeps its own winding count: the point is
  // in the shape when one of them encloses it.
  std::map<std::pair<std::uint32_t, std::uint32_t>, int> winding;
  std::uint32_t set = 0, fill0 = 0, fill1 = 0, line = 0;
  const ShapeStyles* styles = &S.Styles;
  Point pen{0, 0};
  bool onLine = false;
  auto edge = [&](Point A, Point B) {
    const int c = Crossing(A, B, P);
    if (c != 0) {
      if (fill0)
        winding[{set, fill0}] += c;
      if (fill1)
        winding[{set, fill1}] -= c;
    }
    if (line && line <= styles->Lines.size() && !onLine) {
      const double half = std::max(styles->Lines[line - 1].Width / 2.0, 10.0);
      onLine = DistanceSquared(A, B, P) <= half * half;
    }
  };
  for (const ShapeRecord& r : S.Records) {
    switch (r.Type) {
    case ShapeRecord::Kind::StyleChange:
      if (r.NewStyles && *r.NewStyles < S.NewStyles.size()) {
        set = *r.NewStyles + 1;
        styles = &S.NewStyles[*r.NewStyles];
        fill0 = fill1 = line = 0;
      }
      if (r.HasMove)
        pen = Point{static_cast<double>(r.MoveX), static_cast<double>(r.MoveY)};
      if (r.Fill0)
        fill0 = *r.Fill0;
      if (r.Fill1)
        fill1 = *r.Fill1;
      if (r.Line)
        line = *r.Line;
      break;
    case ShapeRecord::Kind::StraightEdge: {
      const Point to{pen.X + r.AnchorDx, pen.Y + r.AnchorDy};
      edge(pen, to);
      pen = to;
      break;
    }
    case ShapeRecord::Kind::CurvedEdge: {
      const Point ctl{pen.X + r.ControlDx, pen.Y + r.ControlDy};
      const Point to{pen.X + r.AnchorDx, pen.Y + r.AnchorDy};
      Point from = pen;
      constexpr int Steps = 16;
      for (int i = 1; i <= Steps; ++i) {
        const double t = static_cast<double>(i) / Steps, u = 1 - t;
        const Point at{u * u * pen.X + 2 * u * t * ctl.X + t * t * to.X,
                       u * u * pen.Y + 2 * u * t * ctl.Y + t * t * to.Y};
        edge(from, at);
        from = at;
      }
      pen = to;
      break;
    }
    }
  }
  if (onLine)
    return true;
  for (const auto& [fill, count] : winding)
    if (S.NonZeroWinding ? count != 0 : (count & 1) != 0)
      return true;
  return false;
}

namespace {

bool CharacterHits(const Movie& Movie, CharacterId Id, std::uint16_t Ratio, Point P, int Depth)
{
  const Character* c = Movie.Find(Id);
  if (!c || Depth > MaxDepth)
    return false;
  if (const auto* s = std::get_if<Shape>(c))
    return FromRect(s->Bounds).Contains(P) && ShapeHits(*s, P);
  if (const auto* m = std::get_if<MorphShape>(c)) {
    if (!CharacterBounds(Movie, Id, Ratio, Depth).Contains(P))
      return false;
    return ShapeHits(m->At(Ratio), P);
  }
  if (const auto* bt = std::get_if<Button>(c)) {
    for (const ButtonRecord& r : bt->Records) {
      Matrix inv;
      if ((r.States & ButtonRecord::HitTest) && Invert(r.Transform, inv) &&
          CharacterHits(Movie, r.Character, 0, inv.Apply(P), Depth + 1))
        return true;
    }
    return false;
  }
  return CharacterBounds(Movie, Id, Ratio, Depth).Contains(P);
}

} // namespace

bool ContentHits(const Movie& Movie, const SpriteInstance& S, Point P)
{
  if (S.Drawing && FromRect(S.Drawing->Bounds).Contains(P) && ShapeHits(*S.Drawing, P))
    return true;
  for (const DisplayObject& o : S.List) {
    Matrix inv;
    if (o.ClipDepth || !Invert(o.Transform, inv))
      continue;
    const Point local = inv.Apply(P);
    if (o.Sprite ? ContentHits(Movie, *o.Sprite, local) : CharacterHits(Movie, o.Character, o.Ratio, local, 0))
      return true;
  }
  return false;
}

} // namespace quenloft::swf::avm1

// Hand-built shapes for the renderer tests.
#pragma once

#include <initializer_list>
#include <utility>

#include "swf/Movie.h"
#include "swf/Timeline.h"

namespace quenloft::swf::render::testing {

inline FillStyle Solid(Rgba C)
{
  FillStyle f;
  f.Kind = FillKind::Solid;
  f.Color = C;
  return f;
}

inline ShapeRecord Style(std::int32_t X, std::int32_t Y, std::optional<std::uint32_t> Fill0,
                         std::optional<std::uint32_t> Fill1, std::optional<std::uint32_t> Line = {})
{
  ShapeRecord r;
  r.Type = ShapeRecord::Kind::StyleChange;
  r.HasMove = true;
  r.MoveX = X;
  r.MoveY = Y;
  r.Fill0 = Fill0;
  r.Fill1 = Fill1;
  r.Line = Line;
  return r;
}

inline ShapeRecord Line(std::int32_t Dx, std::int32_t Dy)
{
  ShapeRecord r;
  r.Type = ShapeRecord::Kind::StraightEdge;
  r.AnchorDx = Dx;
  r.AnchorDy = Dy;
  return r;
}

// Straight edges from (X, Y) through the given deltas.
inline void Polygon(Shape& S, std::int32_t X, std::int32_t Y, std::optional<std::uint32_t> Fill0,
                    std::optional<std::uint32_t> Fill1,
                    std::initializer_list<std::pair<std::int32_t, std::int32_t>> Deltas,
                    std::optional<std::uint32_t> LineStyle = {})
{
  S.Records.push_back(Style(X, Y, Fill0, Fill1, LineStyle));
  for (auto [dx, dy] : Deltas)
    S.Records.push_back(Line(dx, dy));
}

// A Size x Size square at (X, Y), clockwise on screen, its inside on the
// right of every edge: fill1.
inline void Square(Shape& S, std::int32_t X, std::int32_t Y, std::int32_t Size, std::uint32_t Fill1)
{
  Polygon(S, X, Y, 0, Fill1, {{Size, 0}, {0, Size}, {-Size, 0}, {0, -Size}});
}

inline Shape SquareShape(CharacterId Id, Rgba C, std::int32_t Size = 2000)
{
  Shape s;
  s.Id = Id;
  s.Styles.Fills.push_back(Solid(C));
  Square(s, 0, 0, Size, 1);
  return s;
}

// Character Id placed at depth D, moved by (Tx, Ty) twips.
inline DisplayObject Placed(Depth D, CharacterId Id, double Tx = 0, double Ty = 0)
{
  DisplayObject o;
  o.Depth = D;
  o.Character = Id;
  o.Transform.Tx = Tx;
  o.Transform.Ty = Ty;
  return o;
}

} // namespace quenloft::swf::render::testing

// Where a clip's content lies: the bounds of what a display list shows and
// whether a point falls on it, for _width, getBounds, hitTest and their
// kin. Everything is in twips.
//
// Threads: pure functions of the movie and the display list; the caller's
// thread.
#pragma once

#include "swf/Movie.h"
#include "swf/Timeline.h"

namespace quenloft::swf::avm1 {

// An axis-aligned box; Empty until a point is added.
struct Box {
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  bool Empty = true;

  void Add(Point P);
  void Add(const Box& B);
  // The box around this one after M.
  Box Transformed(const Matrix& M) const;
  bool Contains(Point P) const { return !Empty && P.X >= XMin && P.X <= XMax && P.Y >= YMin && P.Y <= YMax; }
  bool Intersects(const Box& B) const;
};

// The bounds of one placed object in its parent's space.
Box ObjectBounds(const Movie& Movie, const DisplayObject& O);
// The bounds of what a clip shows, in the clip's own space.
Box ContentBounds(const Movie& Movie, const SpriteInstance& S);

// The matrix from a clip's space to the stage (the root's space), and the
// placement that holds the clip in its parent (nullptr for the root).
Matrix StageMatrix(const SpriteInstance& S);
DisplayObject* PlacementOf(const SpriteInstance& S);

// The inverse of M; false when M flattens the plane.
bool Invert(const Matrix& M, Matrix& Out);

// True when P (in the clip's own space) falls on something the clip shows:
// a fill or a line of its shapes, the box of its texts and bitmaps.
bool ContentHits(const Movie& Movie, const SpriteInstance& S, Point P);
// True when P (in the shape's space) falls inside a fill or on a line.
bool ShapeHits(const Shape& S, Point P);

} // namespace quenloft::swf::avm1

// 9-slice scaling: a sprite or button with a scaling grid keeps the parts
// of its shapes outside the grid's middle at their own size.
//
// The grid's four lines cut the object's bounds into nine regions. Drawn
// at a scale, the corners keep their size, the top and bottom middles
// stretch across only, the left and right middles down only, and the
// middle takes up what is left. When the object comes out smaller than its
// fixed borders, the borders shrink by the same factor until they meet and
// the middle vanishes. The player slices only the shapes the object holds
// itself (its drawing and the shapes placed directly in it); nested clips,
// text and video scale as usual, and a rotated or skewed object is not
// sliced at all.
//
// Slicing cuts every edge of a shape where it crosses a grid line, so each
// piece lies in one region, and moves each piece's points by that region's
// scale. The result lives in the object's space scaled by the draw's own
// scale, so it is drawn with DrawMatrix (signs and offset only): its line
// widths stay as the file says, and its gradients and bitmap fills stretch
// with the object as they would unsliced.
//
// Threads: plain values and pure functions.
#pragma once

#include <array>
#include <optional>

#include "swf/Movie.h"

namespace quenloft::swf::render {

class NineSlice {
public:
  // Grid and Bounds: in twips of the object's own space. Transform: the
  // object's space to stage twips. None when the grid does not apply: a
  // rotated or skewed Transform, an empty Grid or Bounds, or values that
  // are not finite.
  static std::optional<NineSlice> Make(const Rect& Grid, const Rect& Bounds, const Matrix& Transform);

  // Where a point of the object's space lands in the sliced space.
  Point Map(Point P) const;

  // S placed by Place (its shape space to the object's space), sliced.
  Shape Slice(const Shape& S, const Matrix& Place) const;

  // The sliced space to stage twips.
  const Matrix& DrawMatrix() const { return FDraw; }

  // What the slicing depends on, to key a cache of sliced shapes.
  std::array<double, 10> Key() const;

  struct Axis {
    double Lo = 0, GridLo = 0, GridHi = 0, Hi = 0; // object space
    double Scale = 1;                              // the draw's absolute scale along the axis
    // 0: before the grid, 1: inside, 2: after.
    int Region(double V) const;
    double Map(double V, int InRegion) const;
  };

private:
  NineSlice() = default;
  Axis FX;
  Axis FY;
  Matrix FDraw;
};

} // namespace quenloft::swf::render

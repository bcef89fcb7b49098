// Shape records to drawable paths.
//
// A shape's edge list names, for every edge, the fill on its left (fill0)
// and on its right (fill1) and the line that strokes it. Drawing needs the
// opposite view: for every fill style one closed outline, for every line
// style one set of polylines. ShapeGeometry is that view, in the shape's own
// space (twips), in the order the player paints it: each style set's fills,
// then its lines, set after set.
//
// Threads: BuildGeometry is pure; a ShapeCache belongs to one thread (the
// renderer that owns it).
#pragma once

#include <QPainterPath>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

#include "swf/Movie.h"
#include "swf/render/NineSlice.h"

namespace quenloft::swf::render {

struct ShapePart {
  enum class Kind : std::uint8_t { Fill, Stroke };
  Kind Type = Kind::Fill;
  // The style set the part belongs to (0 for the shape's own styles, one
  // more for each set of new styles): the fills of one set meet edge to
  // edge, those of later sets lie on top.
  std::uint32_t Set = 0;
  // Fill parts use Fill; stroke parts use Line.
  FillStyle Fill;
  LineStyle Line;
  // Closed contours (fills, with the shape's fill rule) or polylines
  // (strokes; a polyline that ends where it began is closed, so its ends
  // meet in a join rather than two caps).
  QPainterPath Path;
};

struct ShapeGeometry {
  std::vector<ShapePart> Parts;
};

// Resolves fill0/fill1 into closed outlines per fill style and collects the
// stroked edges per line style. A style index beyond the styles in force
// (or a NewStyles index beyond the shape's) is ignored: those edges draw
// nothing.
ShapeGeometry BuildGeometry(const Shape& Shape);

// Geometry per shape, built on first use and keyed by the shape's handle,
// so a shape whose contents change (and get a new handle) is built anew;
// morph shapes by the morph's handle and the ratio, with the shape at that
// ratio kept here.
class ShapeCache {
public:
  const ShapeGeometry& Geometry(const Shape& Shape);
  // The morph shape at Ratio, kept until a Trim drops it.
  const Shape& Morph(const MorphShape& Morph, std::uint16_t Ratio);
  // Shape placed by Place in a 9-slice object, sliced by Slice; kept until
  // a Trim drops it.
  const Shape& Sliced(const Shape& Shape, const Matrix& Place, const NineSlice& Slice);
  // Between frames: drops the geometry of shapes not drawn for a while and
  // the morph and sliced shapes when many were asked for, so neither a long
  // morph animation, an object whose scale changes every frame, nor shapes
  // that script replaces grow the cache without end. What Geometry, Morph
  // and Sliced returned stays valid until then.
  void Trim();
  std::size_t Size() const { return FGeometry.size(); }

private:
  struct Entry {
    std::unique_ptr<ShapeGeometry> Geometry;
    std::uint64_t Used = 0; // the Trim count when it was last asked for
  };
  std::unordered_map<CharacterHandle, Entry> FGeometry;
  std::map<std::pair<CharacterHandle, std::uint16_t>, std::unique_ptr<Shape>> FMorphs;
  using SliceKey = std::pair<CharacterHandle, std::array<double, 16>>;
  std::map<SliceKey, std::unique_ptr<Shape>> FSliced;
  std::uint64_t FTrims = 0;
};

} // namespace quenloft::swf::render

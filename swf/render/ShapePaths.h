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

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

#include "swf/Movie.h"

namespace quenloft::swf::render {

struct ShapePart {
  enum class Kind : std::uint8_t { Fill, Stroke };
  Kind Type = Kind::Fill;
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

// Geometry per shape, built on first use. Shapes of the movie are keyed by
// address (a Movie never changes once read); morph shapes by character and
// ratio, with the shape at that ratio kept here.
class ShapeCache {
public:
  const ShapeGeometry& Geometry(const Shape& Shape);
  // The morph shape at Ratio, kept until the next Trim.
  const Shape& Morph(const MorphShape& Morph, std::uint16_t Ratio);
  // Between frames: drops the morph shapes when many ratios were asked for,
  // so a long morph animation does not grow the cache without end. True
  // when shapes were dropped (their addresses may come back for others).
  bool Trim();

private:
  std::unordered_map<const Shape*, std::unique_ptr<ShapeGeometry>> FGeometry;
  std::map<std::pair<const MorphShape*, std::uint16_t>, std::unique_ptr<Shape>> FMorphs;
};

} // namespace quenloft::swf::render

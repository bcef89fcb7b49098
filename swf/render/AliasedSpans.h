// Filling without anti-aliasing, pixel by pixel as the player does.
//
// A pixel is filled when its centre is inside the path; a centre exactly on
// an edge belongs to the shape on the edge's right or lower side (the
// top-left rule of graphics hardware). Vertices are first snapped to
// 1/256 pixel and the tests are exact. Qt's aliased rasterizer breaks those ties the other way and
// works on 1/64 pixel, so edges of shapes drawn on the twip grid land one
// pixel off; this filler gives the spans and the painter backend paints
// them.
//
// Threads: pure; any thread.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QRect>
#include <QRegion>

#include <utility>
#include <vector>

namespace quenloft::swf::render {

struct Span {
  int Y = 0;
  int X0 = 0; // first pixel
  int X1 = 0; // one past the last
};

// The spans of Path (device pixels, straight segments only: curves are
// taken by their control polygon, so flatten them first), within Clip.
std::vector<Span> AliasedSpans(const QPainterPath& Path, const QRect& Clip);

// Anti-aliasing as the player does it: each pixel is cut into Grid x Grid
// cells, and the pixel's coverage is the share of cell centres inside Path
// (by the rule above). The coverage of the pixels Path touches within Clip,
// as an Alpha8 image placed at At; a null image when it touches none.
struct Coverage {
  QImage Image;
  QPoint At;
  // Per row of Image, the columns [first, second) that hold any coverage.
  std::vector<std::pair<int, int>> Rows;
};
Coverage GridCoverage(const QPainterPath& Path, const QRect& Clip, int Grid);

// The coverage of several paths that make up one picture (the fills of a
// shape): a cell inside more than one goes to the last of them, so along
// an edge two of them share the cells split between the two and nothing
// behind shows through once they are added up.
std::vector<Coverage> SharedCoverage(const std::vector<const QPainterPath*>& Paths, const QRect& Clip, int Grid);

// The same area as a region (for clipping).
QRegion SpansRegion(const std::vector<Span>& Spans);

} // namespace quenloft::swf::render

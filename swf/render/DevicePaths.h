// Shapes on the device: their parts' outlines in device pixels, with
// curves flattened as the player flattens them and lines outlined, and the
// pixels each covers (spans without anti-aliasing, coverage with it).
//
// Threads: pure functions, any thread.
#pragma once

#include <QPainterPath>
#include <QRect>
#include <QTransform>

#include <utility>
#include <vector>

#include "swf/render/DeviceCache.h"
#include "swf/render/ShapePaths.h"

namespace quenloft::swf::render {

// Path mapped to the device with its curves as fine line segments: the
// file's quadratic curves (of fills and of the centre lines of strokes) are
// cut where a parabola's arc length says, to a tenth of a pixel of the
// shape's own space; with a Tolerance (device pixels), never coarser than it.
QPainterPath DevicePath(const QPainterPath& Path, const QTransform& T, double Tolerance = 0);

// A line a pixel or less wide, as the player draws it with anti-aliasing:
// a steep segment of Centre (device pixels) covers, in each pixel row whose
// centre it spans, one pixel's width centred where it crosses that centre;
// a flat one the same per column. No caps or joins.
QPainterPath HairlineOutline(const QPainterPath& Centre);

// The areas of Geometry's parts under T (shape twips to device pixels),
// clipped to Target: with anti-aliasing on a grid of Grid x Grid cells per
// pixel, without it (Grid 0) as spans. PixelsPerTwip is the stage's scale,
// for lines that keep their width.
std::vector<DeviceArea> DeviceAreas(const ShapeGeometry& Geometry, const QTransform& T, double PixelsPerTwip,
                                    const QRect& Target, int Grid);

// The runs [first, last) of Geometry's parts that are fills of one style
// set, in order. With anti-aliasing such a run is drawn as one picture:
// each cell of a pixel goes to one fill (the last one over it), the fills'
// colours are added up by their share of the pixel and the sum laid over
// what is there, so where two fills meet nothing behind them shows through.
std::vector<std::pair<std::size_t, std::size_t>> FillGroups(const ShapeGeometry& Geometry);

// False for a transform too large or not finite to draw with: nested
// sprites can multiply their scales beyond anything a rasterizer handles.
bool Drawable(const QTransform& T);

} // namespace quenloft::swf::render

// Fill and line styles to Qt brushes and pens.
//
// Styles are in the shape's space (twips); a brush made here is meant for a
// painter whose world transform maps that space to the device. Colour
// transforms are applied here, to the style's colours, as the player does
// for every shape on its own.
//
// Threads: pure functions; any thread.
#pragma once

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QPen>
#include <QTransform>

#include <array>

#include "swf/Movie.h"

namespace quenloft::swf::render {

QTransform ToQTransform(const Matrix& M);

// A colour after a colour transform, as a QColor (straight alpha).
QColor TransformedColor(Rgba C, const ColorTransform& Ct);

// The 256 colours along a gradient (straight ARGB), after the colour
// transform: what the player samples while it fills. Stops are taken in
// file order; a stop whose ratio falls below the one before it paints
// nothing, a stop on the same ratio as the one before takes the next ratio
// step on its own (a hard edge); linear-RGB gradients are interpolated on
// linear light and stored back as sRGB.
std::array<QRgb, 256> GradientRamp(const Gradient& G, const ColorTransform& Ct);

// A brush for a solid or gradient fill (bitmap fills are drawn by the
// painter backend, which owns the decoded images).
QBrush GradientOrSolidBrush(const FillStyle& Fill, const ColorTransform& Ct);

// The gradient fill's colours over Box (device pixels) as the player
// samples them: each pixel's centre is mapped back through ToDevice (shape
// space to device) into the gradient's square, its position along the
// gradient is spread (pad, reflect, repeat) onto 0..1 and looked up in the
// ramp: Filtered (the player's low quality) mixes the two nearest entries,
// else the entry whose 1/256 it falls in is taken (what the player's
// anti-aliased qualities show). Premultiplied; null for a fill that is not
// a gradient or a transform that cannot be inverted.
QImage GradientImage(const FillStyle& Fill, const ColorTransform& Ct, const QTransform& ToDevice,
                     const QRect& Box, bool Filtered);

// The width of a line in device pixels under ToDevice (shape space to
// device), as the style's scale flags ask; a hairline (width 0) and any line
// thinner than a pixel draw one pixel wide. PixelsPerTwip is the stage's own
// scale, which even a line that does not scale follows.
double LineWidthPixels(const LineStyle& Line, const QTransform& ToDevice, double PixelsPerTwip);

// A pen in device pixels for a path already mapped to the device.
QPen DevicePen(const LineStyle& Line, const ColorTransform& Ct, const QTransform& ToDevice,
               double PixelsPerTwip);

} // namespace quenloft::swf::render

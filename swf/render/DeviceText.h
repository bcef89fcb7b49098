// Edit fields shown in the system's fonts: laid out with Qt's text layout,
// paragraph by paragraph, inside the field's box less the player's gutter
// of two pixels, and drawn as glyph outlines cut at the box.
//
// Threads: the thread that owns the painter; the fonts need a running
// QGuiApplication.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QPainterPath>

#include <vector>

#include "swf/Movie.h"

namespace quenloft::swf::render {

// The glyphs of one colour on one line, as outlines in the field's space
// (twips).
struct TextOutline {
  QPainterPath Path;
  QColor Color;
};

// Text laid out in Box (the field's space, twips), its colours under Ct:
// lines broken by Qt's layout, glyphs placed as the player places them
// (whole-pixel advances, the baseline at the font's ascent cut to twips).
std::vector<TextOutline> DeviceTextOutlines(const DeviceText& Text, const QRectF& Box, const ColorTransform& Ct);

// Fills those outlines with P (under its transform and render hints), cut
// at Box.
void PaintDeviceText(QPainter& P, const DeviceText& Text, const QRectF& Box, const ColorTransform& Ct);

} // namespace quenloft::swf::render

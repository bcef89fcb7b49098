// Edit fields shown in the system's fonts: laid out with Qt's text layout,
// paragraph by paragraph, inside the field's box less the player's gutter
// of two pixels, and cut at the box.
//
// Threads: the thread that owns the painter; the fonts need a running
// QGuiApplication.
#pragma once

#include <QPainter>
#include <QRectF>

#include "swf/Movie.h"

namespace quenloft::swf::render {

// Draws Text into Box (the field's space, twips, under the painter's
// transform), its colours under Ct, with smoothed edges or hard ones.
void PaintDeviceText(QPainter& P, const DeviceText& Text, const QRectF& Box, const ColorTransform& Ct,
                     bool Antialias);

} // namespace quenloft::swf::render

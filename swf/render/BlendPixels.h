// Blend modes in pixels: the ones QPainter has a composition mode for, and
// per-pixel code for the ones it lacks.
//
// Threads: pure functions, any thread.
#pragma once

#include <QImage>
#include <QPainter>

#include <optional>

#include "swf/Movie.h"

namespace quenloft::swf::render {

// QPainter's composition mode for Mode; none for Subtract, Invert, Alpha
// and Erase.
std::optional<QPainter::CompositionMode> QtMode(BlendMode Mode);

// Blends Layer onto Under pixel by pixel for the modes QPainter lacks
// (Subtract, Invert, Alpha, Erase); both premultiplied ARGB32 of one size.
// Only the pixels within Area, when it is given.
void BlendPixels(QImage& Under, const QImage& Layer, BlendMode Mode, const QRect& Area = {});

} // namespace quenloft::swf::render

// Bitmaps of a movie as QImages for the painter.
//
// Threads: pure; any thread.
#pragma once

#include <QImage>

#include "swf/Movie.h"

namespace quenloft::swf::render {

// The decoded bitmap as ARGB32_Premultiplied, or a null image when it does
// not decode (broken data, a size beyond the player's limits).
QImage DecodeBitmapImage(const Movie& Movie, const Bitmap& Bitmap);

} // namespace quenloft::swf::render

// Smoothed bitmap fills sampled as graphics hardware samples a texture.
//
// Qt's bilinear filter weighs its four texels in sixteenths when it scales
// an image down, which moves the soft edges of a bitmap's alpha by several
// steps. Here each device pixel's centre is mapped into the bitmap, the
// four nearest texels are weighed in 256ths (what the hardware does), and
// the colour transform is applied to the filtered colour, unmultiplied, in
// floating point, as the player's shader does.
//
// Threads: pure; any thread.
#pragma once

#include <QImage>
#include <QRect>
#include <QTransform>

#include "swf/Movie.h"

namespace quenloft::swf::render {

// The pixels of Box (device) of a smoothed bitmap fill of Source under
// BitmapToDevice (bitmap pixels to device pixels). A repeating fill wraps
// around the bitmap; a clipped one stretches its edge texels outwards.
// Premultiplied; null when Source is empty, Box is empty or larger than
// MaxSampledPixels, or the transform cannot be inverted.
QImage SampleSmoothBitmap(const QImage& Source, const QTransform& BitmapToDevice, const QRect& Box,
                          bool Repeating, const ColorTransform& Ct);

constexpr qsizetype MaxSampledPixels = qsizetype{1} << 26;

} // namespace quenloft::swf::render

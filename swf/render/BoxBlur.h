// The player's box blur on bytes: Passes passes, each a horizontal box of
// Width pixels and then a vertical one of Height, the box's two end taps
// weighted by the fraction of a pixel the size passes a whole odd number.
// Everything outside the picture counts as zero. Channels of one pixel
// (1 for a lone alpha plane, 4 for premultiplied RGBA) are blurred together
// but never mix.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenloft::swf::render {

// Blurs Height rows of Width pixels of Channels bytes each (1 or 4), rows
// Stride bytes apart, in place. Sizes up to 1 leave a direction alone;
// sizes past 255 blur 255; Passes is kept to 0..15.
void BlurBytes(std::uint8_t* Data, int Width, int Height, std::ptrdiff_t Stride, int Channels, double BlurWidth,
               double BlurHeight, int Passes);

} // namespace quenloft::swf::render

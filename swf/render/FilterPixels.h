// Filters drawn in pixels: an object's own bitmap through its filter list,
// as the player draws them.
//
// Every filter but the colour matrix and the convolution starts from a blur
// of the object's alpha: Passes box blurs, each BlurX wide and then BlurY
// high, the box's two end taps weighted by the fraction of a pixel the size
// passes a whole odd number. Shadows, glows and bevels then colour that
// blurred alpha (Strength times it, at most 1) around the object (outer),
// inside it (inner) or both (bevels on top), and lay it under the object,
// over it, or alone (knockout, hidden object).
//
// Threads: pure functions, any thread.
#pragma once

#include <QImage>
#include <QMargins>

#include "swf/Filters.h"

namespace quenloft::swf::render {

// The filter with its sizes at a stage scale of Sx by Sy (the player
// scales blurs and distances with the stage only, never with the object's
// own transform).
Filter ScaledFilter(const Filter& F, double Sx, double Sy);

// False for a filter that leaves every bitmap as it is.
bool Potent(const Filter& F);

// How far (whole pixels) F, already scaled, lets what it draws reach
// beyond the object's bitmap on each side.
QMargins FilterGrowth(const Filter& F);

// Applies F (scaled) to Image: premultiplied ARGB32 with room around the
// object for what F grows. Bounded in time and memory whatever F says (a
// convolution too large to work out in time leaves Image as it is).
void ApplyFilter(QImage& Image, const Filter& F);

// Colour-transforms Image (premultiplied ARGB32) in place.
void TransformColors(QImage& Image, const ColorTransform& Color);

// Passes box blurs of Image (premultiplied ARGB32), all four channels.
void BoxBlur(QImage& Image, double Width, double Height, int Passes);

} // namespace quenloft::swf::render

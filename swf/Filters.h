// The filters a placed object is drawn through (PlaceObject3, and later
// the filters script sets): plain data, in the order they apply.
//
// Units: blur sizes and distances in pixels of the object's own bitmap at
// a stage scale of 1; angles in radians; colours straight RGBA.
//
// Threads: plain data.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "swf/Movie.h"

namespace quenloft::swf {

struct Filter {
  enum class Kind : std::uint8_t {
    DropShadow,
    Blur,
    Glow,
    Bevel,
    GradientGlow,
    Convolution,
    ColorMatrix,
    GradientBevel,
  };
  Kind Type = Kind::Blur;

  // Every kind but convolution and colour matrix blurs the object's alpha:
  // Passes box blurs of BlurX by BlurY pixels.
  double BlurX = 4;
  double BlurY = 4;
  int Passes = 1; // 0 draws the object unfiltered
  // Drop shadow, bevel and the gradient kinds: the light's direction and
  // how far the shadow falls.
  double Angle = 0;
  double Distance = 0;
  double Strength = 1;     // multiplies the blurred alpha
  bool Inner = false;      // inside the object's shape rather than around it
  bool Knockout = false;   // the object itself is cut out of the result
  bool Composite = true;   // the object is drawn with its effect (false: hidden)
  bool OnTop = false;      // bevels: both inside and outside
  Rgba Color{0, 0, 0, 255}; // drop shadow and glow; the bevel's shadow
  Rgba Highlight{255, 255, 255, 255}; // bevel
  std::vector<GradientStop> Gradient; // gradient glow and bevel

  // Convolution: a Columns x Rows matrix, row by row.
  std::uint8_t Columns = 0;
  std::uint8_t Rows = 0;
  float Divisor = 1;
  float Bias = 0;
  std::vector<float> Matrix;
  Rgba Outside{0, 0, 0, 0}; // what lies beyond the edges unless Clamp
  bool Clamp = true;         // beyond the edges repeats the edge pixels
  bool PreserveAlpha = true; // the alpha is kept, only colours convolve

  // Colour matrix: four rows of five (red, green, blue, alpha, offset).
  std::array<float, 20> Colors{1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
};

} // namespace quenloft::swf

// What the player does to a decoded video picture before it is drawn: the
// Sorenson deblocking post-filter (H.263 Annex J's filter, run once over the
// finished picture rather than inside the decoding loop) and the conversion
// of studio-range BT.601 4:2:0 to RGB, with each chroma sample used as is
// for its 2 x 2 pixels.
//
// Both are integer arithmetic: the same planes give the same pixels on
// every machine. Pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quenloft::swf {

// One 8-bit plane, rows top to bottom, Stride bytes apart.
struct VideoPlane {
  const std::uint8_t* Data = nullptr;
  std::uint32_t Stride = 0;
};

// A 4:2:0 picture: chroma planes of (Width + 1) / 2 x (Height + 1) / 2
// samples; Alpha (full size) only for streams that carry it, and then the
// colour planes hold colour already multiplied by it.
struct YuvPicture {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  VideoPlane Y, U, V;
  std::optional<VideoPlane> Alpha;
};

// The picture as premultiplied 0xAARRGGBB, Width x Height, rows top to
// bottom. Opaque unless the picture has alpha; colour then never exceeds
// its alpha.
void YuvToArgb(const YuvPicture& In, std::span<std::uint32_t> Out);

// The filter's strength for a picture quantizer of 1..31 (0 for none).
int DeblockingStrength(int Quantizer);

// Smooths the edges of the 8 x 8 blocks of a tightly packed plane in
// place: first every horizontal edge, then every vertical one. Edges with
// fewer than two samples beyond them are left alone; Strength 1..12.
void DeblockPlane(std::span<std::uint8_t> Plane, std::uint32_t Width, std::uint32_t Height, int Strength);

} // namespace quenloft::swf

// Turns a Bitmap as the file stores it into pixels: JPEG through
// libjpeg-turbo (with the movie's JPEGTables, the old erroneous
// "FF D9 FF D8" header, and the zlib alpha plane of DefineBitsJPEG3/4) and
// the zlib-compressed lossless formats (8-bit colormap, 15-bit, 32-bit).
//
// The pixels are premultiplied 32-bit ARGB in native byte order
// (0xAARRGGBB as a std::uint32_t), the layout of
// QImage::Format_ARGB32_Premultiplied, so a renderer can wrap them without
// copying.
//
// PNG and GIF images stored in DefineBitsJPEG2/3/4 are not decoded here:
// the result then has Container set and no pixels, and the caller decodes
// Bitmap::Data itself (QImage reads both).
//
// Bounds: an image wider or taller than MaxBitmapSide or larger than
// MaxBitmapPixels is refused before any pixel memory is taken, whatever
// its data claims; a JPEG is refused on the size its header gives, and
// libjpeg's errors come back as EBitmapError, never as an abort.
//
// Threads: stateless free functions, any thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "swf/Movie.h"
#include "swf/MovieReader.h"

namespace quenloft::swf {

class EBitmapError : public EMovieError {
public:
  using EMovieError::EMovieError;
};

inline constexpr std::uint32_t MaxBitmapSide = 8191;
inline constexpr std::uint32_t MaxBitmapPixels = 16777215;

enum class ImageContainer : std::uint8_t { Jpeg, Png, Gif, Unknown };

// What the bytes of a DefineBitsJPEG tag hold, by their signature.
ImageContainer DetectContainer(std::span<const std::uint8_t> Data);

struct DecodedBitmap {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::vector<std::uint32_t> Pixels; // Width * Height, rows top to bottom
  // Png or Gif: left to the caller, Pixels empty.
  ImageContainer Container = ImageContainer::Jpeg;
};

// Raises EBitmapError with a clear text when the bitmap cannot be decoded.
DecodedBitmap DecodeBitmap(const Bitmap& B, std::span<const std::uint8_t> JpegTables);

inline DecodedBitmap DecodeBitmap(const Movie& M, const Bitmap& B)
{
  return DecodeBitmap(B, M.JpegTables);
}

// Premultiplies a straight colour: each channel times alpha / 255, rounded.
std::uint32_t Premultiply(std::uint8_t R, std::uint8_t G, std::uint8_t B, std::uint8_t A);

} // namespace quenloft::swf

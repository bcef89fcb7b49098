#include "swf/render/BitmapImages.h"

#include <cstring>

#include "swf/BitmapDecoder.h"

namespace quenloft::swf::render {

QImage DecodeBitmapImage(const Movie& Movie, const Bitmap& Bitmap)
{
  try {
    DecodedBitmap d = DecodeBitmap(Movie, Bitmap);
    if (d.Container == ImageContainer::Png || d.Container == ImageContainer::Gif) {
      // PNG and GIF inside a DefineBitsJPEG tag: Qt's own readers, within
      // the same size limits as the decoder's.
      QImage image = QImage::fromData(Bitmap.Data.data(), static_cast<int>(Bitmap.Data.size()));
      if (image.isNull() || static_cast<std::uint32_t>(image.width()) > MaxBitmapSide ||
          static_cast<std::uint32_t>(image.height()) > MaxBitmapSide)
        return {};
      return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (d.Width == 0 || d.Height == 0 || d.Pixels.size() != std::size_t{d.Width} * d.Height)
      return {};
    QImage image(static_cast<int>(d.Width), static_cast<int>(d.Height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
      return {};
    for (std::uint32_t y = 0; y < d.Height; ++y)
      std::memcpy(image.scanLine(static_cast<int>(y)), d.Pixels.data() + std::size_t{y} * d.Width,
                  std::size_t{d.Width} * sizeof(std::uint32_t));
    return image;
  } catch (const EMovieError&) {
    return {}; // a bitmap that does not decode draws nothing
  }
}

} // namespace quenloft::swf::render

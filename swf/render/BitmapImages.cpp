#include "swf/render/BitmapImages.h"

namespace quenloft::swf::render {

QImage DecodeBitmapImage(const Movie&, const Bitmap&)
{
  return {}; // TEMPORARY until the decoder lands
}

} // namespace quenloft::swf::render

#include "swf/render/BlendPixels.h"

#include <algorithm>

namespace quenloft::swf::render {

std::optional<QPainter::CompositionMode> QtMode(BlendMode Mode)
{
  switch (Mode) {
  case BlendMode::Normal:
  case BlendMode::Layer: return QPainter::CompositionMode_SourceOver;
  case BlendMode::Multiply: return QPainter::CompositionMode_Multiply;
  case BlendMode::Screen: return QPainter::CompositionMode_Screen;
  case BlendMode::Lighten: return QPainter::CompositionMode_Lighten;
  case BlendMode::Darken: return QPainter::CompositionMode_Darken;
  case BlendMode::Difference: return QPainter::CompositionMode_Difference;
  case BlendMode::Add: return QPainter::CompositionMode_Plus;
  case BlendMode::Overlay: return QPainter::CompositionMode_Overlay;
  case BlendMode::HardLight: return QPainter::CompositionMode_HardLight;
  case BlendMode::Subtract:
  case BlendMode::Invert:
  case BlendMode::Alpha:
  case BlendMode::Erase: break;
  }
  return std::nullopt;
}

void BlendPixels(QImage& Under, const QImage& Layer, BlendMode Mode, const QRect& Area)
{
  if (Under.size() != Layer.size() || Under.format() != QImage::Format_ARGB32_Premultiplied ||
      Layer.format() != QImage::Format_ARGB32_Premultiplied)
    return;
  const QRect area = Area.isNull() ? Under.rect() : Area.intersected(Under.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* d = reinterpret_cast<QRgb*>(Under.scanLine(y));
    const auto* s = reinterpret_cast<const QRgb*>(Layer.constScanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) {
      const int sa = qAlpha(s[x]);
      if (sa == 0)
        continue;
      const QRgb dp = d[x];
      const int da = qAlpha(dp);
      const int dc[3] = {qRed(dp), qGreen(dp), qBlue(dp)};
      const int sc[3] = {qRed(s[x]), qGreen(s[x]), qBlue(s[x])};
      int out[4] = {0, 0, 0, 0}; // r, g, b, a premultiplied
      switch (Mode) {
      case BlendMode::Alpha:
        for (int i = 0; i < 3; ++i)
          out[i] = dc[i] * sa / 255;
        out[3] = da * sa / 255;
        break;
      case BlendMode::Erase:
        for (int i = 0; i < 3; ++i)
          out[i] = dc[i] * (255 - sa) / 255;
        out[3] = da * (255 - sa) / 255;
        break;
      case BlendMode::Subtract:
        // Each colour under loses the layer's colour, as far as the layer
        // covers it (its colours are premultiplied).
        for (int i = 0; i < 3; ++i)
          out[i] = std::max(0, dc[i] - sc[i]);
        out[3] = sa + da * (255 - sa) / 255;
        break;
      case BlendMode::Invert:
        // The layer's colour is not used: its area inverts what is under it.
        for (int i = 0; i < 3; ++i)
          out[i] = (dc[i] * (255 - sa) + (da - dc[i]) * sa + 127) / 255;
        out[3] = da;
        break;
      default: return;
      }
      for (int& v : out)
        v = std::clamp(v, 0, 255);
      d[x] = qRgba(std::min(out[0], out[3]), std::min(out[1], out[3]), std::min(out[2], out[3]), out[3]);
    }
  }
}

} // namespace quenloft::swf::render

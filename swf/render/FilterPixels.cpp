#include "swf/render/FilterPixels.h"

#include "swf/render/BoxBlur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace quenloft::swf::render {
namespace {

// The player blurs at most this many pixels per pass.
constexpr double MaxBlur = 255;
// How far the blurred area reaches per blur size, by the number of passes
// (the passes add up, a little less than linearly).
constexpr std::array<double, 15> PassReach = {1.0, 2.1, 2.7, 3.1, 3.5, 3.8, 4.0, 4.2,
                                              4.4, 4.6, 5.0, 6.0, 6.0, 7.0, 7.0};
// A convolution costs its taps times the pixels: past this it is not drawn.
constexpr std::int64_t MaxConvolutionWork = 64ll << 20;

// One channel of an image, a byte per pixel.
struct Plane {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Values;
  std::uint8_t At(int X, int Y) const
  {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height)
      return 0;
    return Values[static_cast<std::size_t>(Y) * Width + X];
  }
};

void BlurPlane(Plane& P, double Width, double Height, int Passes)
{
  BlurBytes(P.Values.data(), P.Width, P.Height, P.Width, 1, Width, Height, Passes);
}

Plane Channel(const QImage& Image, int Shift)
{
  Plane p{Image.width(), Image.height(), {}};
  p.Values.resize(static_cast<std::size_t>(p.Width) * p.Height);
  for (int y = 0; y < p.Height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(Image.constScanLine(y));
    for (int x = 0; x < p.Width; ++x)
      p.Values[static_cast<std::size_t>(y) * p.Width + x] = static_cast<std::uint8_t>(row[x] >> Shift);
  }
  return p;
}

// A colour as premultiplied components from 0 to 1.
struct Paint4 {
  double R = 0, G = 0, B = 0, A = 0;
  Paint4 operator*(double K) const { return {R * K, G * K, B * K, A * K}; }
  Paint4 operator+(const Paint4& O) const { return {R + O.R, G + O.G, B + O.B, A + O.A}; }
};

Paint4 Premultiplied(Rgba C)
{
  const double a = C.A / 255.0;
  return {C.R / 255.0 * a, C.G / 255.0 * a, C.B / 255.0 * a, a};
}

Paint4 Unpack(QRgb P)
{
  return {qRed(P) / 255.0, qGreen(P) / 255.0, qBlue(P) / 255.0, qAlpha(P) / 255.0};
}

QRgb Pack(const Paint4& P)
{
  const auto byte = [](double V) { return static_cast<int>(std::clamp(V, 0.0, 1.0) * 255 + 0.5); };
  const int a = byte(P.A);
  return qRgba(std::min(byte(P.R), a), std::min(byte(P.G), a), std::min(byte(P.B), a), a);
}

double Saturate(double V)
{
  return std::clamp(V, 0.0, 1.0);
}

// The gradient of a gradient glow or bevel as 256 premultiplied colours.
std::array<Paint4, 256> Ramp(const std::vector<GradientStop>& Stops)
{
  std::array<Paint4, 256> ramp{};
  if (Stops.empty())
    return ramp;
  for (int i = 0; i < 256; ++i) {
    std::size_t k = 0;
    while (k < Stops.size() && Stops[k].Ratio < i)
      ++k;
    if (k == 0 || k == Stops.size()) {
      ramp[static_cast<std::size_t>(i)] = Premultiplied(Stops[k == 0 ? 0 : Stops.size() - 1].Color);
      continue;
    }
    const GradientStop& a = Stops[k - 1];
    const GradientStop& b = Stops[k];
    const double t = b.Ratio == a.Ratio ? 1 : (i - a.Ratio) / static_cast<double>(b.Ratio - a.Ratio);
    ramp[static_cast<std::size_t>(i)] = Premultiplied(a.Color) * (1 - t) + Premultiplied(b.Color) * t;
  }
  return ramp;
}

Paint4 RampAt(const std::array<Paint4, 256>& Ramp, double V)
{
  return Ramp[static_cast<std::size_t>(std::lround(Saturate(V) * 255))];
}

// Shadows and glows (plain or gradient): the blurred alpha, moved by the
// light's offset, coloured and laid with the object.
void Glow(QImage& Image, const Filter& F)
{
  Plane blurred = Channel(Image, 24);
  BlurPlane(blurred, F.BlurX, F.BlurY, F.Passes);
  const bool gradient = F.Type == Filter::Kind::GradientGlow;
  const bool shifted = F.Type != Filter::Kind::Glow;
  const int dx = shifted ? static_cast<int>(std::lround(std::cos(F.Angle) * F.Distance)) : 0;
  const int dy = shifted ? static_cast<int>(std::lround(std::sin(F.Angle) * F.Distance)) : 0;
  const Paint4 colour = Premultiplied(F.Color);
  const auto ramp = Ramp(F.Gradient);
  for (int y = 0; y < Image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(Image.scanLine(y));
    for (int x = 0; x < Image.width(); ++x) {
      const Paint4 dest = Unpack(row[x]);
      const double blur = blurred.At(x - dx, y - dy) / 255.0;
      const double amount = Saturate((F.Inner ? 1 - blur : blur) * F.Strength);
      const Paint4 glow = gradient ? RampAt(ramp, amount) : colour * amount;
      Paint4 out;
      if (F.Inner)
        out = F.Composite && !F.Knockout ? glow * dest.A + dest * (1 - glow.A) : glow * dest.A;
      else if (F.Knockout)
        out = glow * (1 - dest.A);
      else
        out = F.Composite ? glow * (1 - dest.A) + dest : glow;
      row[x] = Pack(out);
    }
  }
}

// Bevels (plain or gradient): the blurred alpha seen from the light and
// from the other side; where the first is larger the highlight shows,
// where the second is, the shadow.
void Bevel(QImage& Image, const Filter& F)
{
  Plane blurred = Channel(Image, 24);
  BlurPlane(blurred, F.BlurX, F.BlurY, F.Passes);
  const int dx = static_cast<int>(std::lround(std::cos(F.Angle) * F.Distance));
  const int dy = static_cast<int>(std::lround(std::sin(F.Angle) * F.Distance));
  const Paint4 highlight = Premultiplied(F.Highlight);
  const Paint4 shadow = Premultiplied(F.Color);
  const bool gradient = F.Type == Filter::Kind::GradientBevel;
  const auto ramp = Ramp(F.Gradient);
  const bool inner = F.OnTop || F.Inner;
  const bool outer = F.OnTop || !F.Inner;
  for (int y = 0; y < Image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(Image.scanLine(y));
    for (int x = 0; x < Image.width(); ++x) {
      const Paint4 dest = Unpack(row[x]);
      const double lit = (blurred.At(x + dx, y + dy) - blurred.At(x - dx, y - dy)) / 255.0 * F.Strength;
      const Paint4 glow = gradient ? RampAt(ramp, 0.5 - std::clamp(lit, -1.0, 1.0) / 2)
                                   : highlight * Saturate(lit) + shadow * Saturate(-lit);
      Paint4 out;
      if (inner && outer)
        out = F.Knockout ? glow : dest * (1 - glow.A) + glow;
      else if (inner)
        out = F.Knockout ? glow * dest.A : glow * dest.A + dest * (1 - glow.A);
      else
        out = F.Knockout ? glow * (1 - dest.A) : dest + glow * (1 - dest.A);
      row[x] = Pack(out);
    }
  }
}

void Blur(QImage& Image, const Filter& F)
{
  BoxBlur(Image, F.BlurX, F.BlurY, F.Passes);
}

void ColorMatrix(QImage& Image, const Filter& F)
{
  std::array<double, 20> m{};
  for (std::size_t i = 0; i < m.size(); ++i)
    m[i] = std::isfinite(F.Colors[i]) ? F.Colors[i] : 0; // what is no number adds nothing
  for (int y = 0; y < Image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(Image.scanLine(y));
    for (int x = 0; x < Image.width(); ++x) {
      const QRgb straight = qUnpremultiply(row[x]);
      const double in[4] = {double(qRed(straight)), double(qGreen(straight)), double(qBlue(straight)),
                            double(qAlpha(straight))};
      int out[4];
      for (std::size_t c = 0; c < 4; ++c) {
        const double* r = &m[c * 5];
        const double v = r[0] * in[0] + r[1] * in[1] + r[2] * in[2] + r[3] * in[3] + r[4];
        out[c] = std::isfinite(v) ? static_cast<int>(std::clamp(v, 0.0, 255.0) + 0.5) : 0;
      }
      row[x] = qPremultiply(qRgba(out[0], out[1], out[2], out[3]));
    }
  }
}

void Convolution(QImage& Image, const Filter& F)
{
  const int cols = F.Columns;
  const int rows = F.Rows;
  if (cols == 0 || rows == 0 || F.Matrix.size() < static_cast<std::size_t>(cols) * rows)
    return;
  struct Tap {
    int Dx, Dy;
    double Weight;
  };
  std::vector<Tap> taps;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < cols; ++i) {
      const double w = F.Matrix[static_cast<std::size_t>(j) * cols + i];
      if (w != 0 && std::isfinite(w))
        taps.push_back({i - cols / 2, j - rows / 2, w});
    }
  }
  if (static_cast<std::int64_t>(taps.size()) * Image.width() * Image.height() > MaxConvolutionWork)
    return;
  const double divisor = F.Divisor != 0 && std::isfinite(F.Divisor) ? F.Divisor : 1;
  const double bias = std::isfinite(F.Bias) ? F.Bias : 0;
  const QImage source = Image.convertToFormat(QImage::Format_ARGB32);
  const QRgb outside = qRgba(F.Outside.R, F.Outside.G, F.Outside.B, F.Outside.A);
  const int w = source.width();
  const int h = source.height();
  const auto pixel = [&](int X, int Y) {
    if (X < 0 || Y < 0 || X >= w || Y >= h) {
      if (!F.Clamp)
        return outside;
      X = std::clamp(X, 0, w - 1);
      Y = std::clamp(Y, 0, h - 1);
    }
    return reinterpret_cast<const QRgb*>(source.constScanLine(Y))[X];
  };
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(Image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      double sum[4] = {0, 0, 0, 0};
      for (const Tap& t : taps) {
        const QRgb p = pixel(x + t.Dx, y + t.Dy);
        sum[0] += t.Weight * qRed(p);
        sum[1] += t.Weight * qGreen(p);
        sum[2] += t.Weight * qBlue(p);
        sum[3] += t.Weight * qAlpha(p);
      }
      int out[4];
      for (int c = 0; c < 4; ++c) {
        const double v = sum[c] / divisor + bias;
        out[c] = std::isfinite(v) ? static_cast<int>(std::clamp(v, 0.0, 255.0) + 0.5) : 0;
      }
      if (F.PreserveAlpha)
        out[3] = qAlpha(reinterpret_cast<const QRgb*>(source.constScanLine(y))[x]);
      row[x] = qPremultiply(qRgba(out[0], out[1], out[2], out[3]));
    }
  }
}

double ScaledBlur(double Blur, double Scale)
{
  // The blur's first pixel is the pixel itself; the rest scale.
  return (Blur - 1) * Scale + 1;
}

} // namespace

Filter ScaledFilter(const Filter& F, double Sx, double Sy)
{
  Filter f = F;
  if (!std::isfinite(Sx) || !std::isfinite(Sy))
    Sx = Sy = 1;
  f.BlurX = std::clamp(std::isfinite(F.BlurX) ? ScaledBlur(F.BlurX, Sx) : 0.0, 0.0, MaxBlur);
  f.BlurY = std::clamp(std::isfinite(F.BlurY) ? ScaledBlur(F.BlurY, Sy) : 0.0, 0.0, MaxBlur);
  f.Distance = std::isfinite(F.Distance) ? std::clamp(F.Distance * Sy, -1e4, 1e4) : 0;
  f.Angle = std::isfinite(F.Angle) ? F.Angle : 0;
  f.Strength = std::isfinite(F.Strength) ? F.Strength : 0;
  f.Passes = std::clamp(F.Passes, 0, 15);
  return f;
}

bool Potent(const Filter& F)
{
  switch (F.Type) {
  case Filter::Kind::Blur: return F.Passes > 0 && (F.BlurX > 1 || F.BlurY > 1);
  case Filter::Kind::ColorMatrix:
    return F.Colors != std::array<float, 20>{1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
  default: return true;
  }
}

QMargins FilterGrowth(const Filter& F)
{
  switch (F.Type) {
  case Filter::Kind::ColorMatrix:
  case Filter::Kind::Convolution: return {};
  default: break;
  }
  const double reach = PassReach[static_cast<std::size_t>(std::clamp(F.Passes, 1, 15) - 1)];
  const int x = static_cast<int>(std::ceil(std::max(0.0, reach * F.BlurX)));
  const int y = static_cast<int>(std::ceil(std::max(0.0, reach * F.BlurY)));
  QMargins m(x, y, x, y);
  if (F.Type == Filter::Kind::Blur || F.Type == Filter::Kind::Glow)
    return m;
  const int dx = static_cast<int>(std::ceil(std::abs(std::cos(F.Angle) * F.Distance)));
  const int dy = static_cast<int>(std::ceil(std::abs(std::sin(F.Angle) * F.Distance)));
  if (F.Type != Filter::Kind::DropShadow && F.Type != Filter::Kind::GradientGlow)
    return m + QMargins(dx, dy, dx, dy); // lit from both sides
  const double ox = std::cos(F.Angle) * F.Distance;
  const double oy = std::sin(F.Angle) * F.Distance;
  return m + QMargins(ox < 0 ? dx : 0, oy < 0 ? dy : 0, ox > 0 ? dx : 0, oy > 0 ? dy : 0);
}

void BoxBlur(QImage& Image, double Width, double Height, int Passes)
{
  if (Image.isNull() || Image.format() != QImage::Format_ARGB32_Premultiplied)
    return;
  // The same weights on every channel keep each colour at most its alpha.
  BlurBytes(Image.bits(), Image.width(), Image.height(), Image.bytesPerLine(), 4, Width, Height, Passes);
}

void TransformColors(QImage& Image, const ColorTransform& Color)
{
  if (Color.IsIdentity() || Image.format() != QImage::Format_ARGB32_Premultiplied)
    return;
  for (int y = 0; y < Image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(Image.scanLine(y));
    for (int x = 0; x < Image.width(); ++x) {
      const QRgb p = qUnpremultiply(row[x]);
      const Rgba c = Color.Apply({static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                                  static_cast<std::uint8_t>(qBlue(p)), static_cast<std::uint8_t>(qAlpha(p))});
      row[x] = qPremultiply(qRgba(c.R, c.G, c.B, c.A));
    }
  }
}

void ApplyFilter(QImage& Image, const Filter& F)
{
  if (Image.isNull() || Image.format() != QImage::Format_ARGB32_Premultiplied || !Potent(F))
    return;
  switch (F.Type) {
  case Filter::Kind::Blur: Blur(Image, F); break;
  case Filter::Kind::DropShadow:
  case Filter::Kind::Glow:
  case Filter::Kind::GradientGlow: Glow(Image, F); break;
  case Filter::Kind::Bevel:
  case Filter::Kind::GradientBevel: Bevel(Image, F); break;
  case Filter::Kind::Convolution: Convolution(Image, F); break;
  case Filter::Kind::ColorMatrix: ColorMatrix(Image, F); break;
  }
}

} // namespace quenloft::swf::render

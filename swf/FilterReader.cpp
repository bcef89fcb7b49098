#include "swf/FilterReader.h"

#include <bit>
#include <string>
#include <variant>

namespace quenloft::swf {
namespace {

float F32(TTagReader& R)
{
  return std::bit_cast<float>(R.U32());
}

// Blur sizes and distances of 16.16 fixed point in pixels.
void ReadBlur(TTagReader& R, Filter& F)
{
  F.BlurX = R.Fixed16();
  F.BlurY = R.Fixed16();
}

void ReadLight(TTagReader& R, Filter& F)
{
  F.Angle = R.Fixed16();
  F.Distance = R.Fixed16();
}

// The flags byte of the shadows and glows: inner, knockout, composite and
// the passes in the low bits (4 of them when bit 4 says "on top").
void ReadFlags(TTagReader& R, Filter& F, bool WithOnTop)
{
  const std::uint8_t flags = R.U8();
  F.Inner = flags & 0x80;
  F.Knockout = flags & 0x40;
  F.Composite = flags & 0x20;
  F.OnTop = WithOnTop && (flags & 0x10);
  F.Passes = flags & (WithOnTop ? 0x0f : 0x1f);
}

void ReadGradient(TTagReader& R, Filter& F)
{
  const std::uint8_t count = R.U8();
  std::vector<Rgba> colors;
  for (int i = 0; i < count; ++i)
    colors.push_back(R.ReadRgba());
  for (const Rgba& c : colors)
    F.Gradient.push_back({R.U8(), c});
  ReadBlur(R, F);
  ReadLight(R, F);
  F.Strength = R.Fixed8();
  ReadFlags(R, F, true);
}

} // namespace

FilterList ReadFilters(TTagReader& R)
{
  FilterList list;
  const std::uint8_t count = R.U8();
  for (int i = 0; i < count; ++i) {
    Filter f;
    const std::uint8_t kind = R.U8();
    if (kind > 7)
      throw ETagError("unknown filter " + std::to_string(kind));
    f.Type = static_cast<Filter::Kind>(kind);
    switch (f.Type) {
    case Filter::Kind::DropShadow:
      f.Color = R.ReadRgba();
      ReadBlur(R, f);
      ReadLight(R, f);
      f.Strength = R.Fixed8();
      ReadFlags(R, f, false);
      break;
    case Filter::Kind::Blur:
      ReadBlur(R, f);
      f.Passes = R.U8() >> 3;
      break;
    case Filter::Kind::Glow:
      f.Color = R.ReadRgba();
      ReadBlur(R, f);
      f.Strength = R.Fixed8();
      ReadFlags(R, f, false);
      break;
    case Filter::Kind::Bevel:
      // The highlight comes first in the file, whatever the format's
      // description says.
      f.Highlight = R.ReadRgba();
      f.Color = R.ReadRgba();
      ReadBlur(R, f);
      ReadLight(R, f);
      f.Strength = R.Fixed8();
      ReadFlags(R, f, true);
      break;
    case Filter::Kind::GradientGlow:
    case Filter::Kind::GradientBevel: ReadGradient(R, f); break;
    case Filter::Kind::Convolution: {
      f.Columns = R.U8();
      f.Rows = R.U8();
      f.Divisor = F32(R);
      f.Bias = F32(R);
      const std::size_t n = std::size_t{f.Columns} * f.Rows;
      f.Matrix.reserve(n);
      for (std::size_t k = 0; k < n; ++k)
        f.Matrix.push_back(F32(R));
      f.Outside = R.ReadRgba();
      const std::uint8_t flags = R.U8();
      f.Clamp = flags & 0x02;
      f.PreserveAlpha = flags & 0x01;
      break;
    }
    case Filter::Kind::ColorMatrix:
      for (float& v : f.Colors)
        v = F32(R);
      break;
    }
    list.push_back(std::move(f));
  }
  return list;
}

namespace {

std::size_t CountIn(const Sprite& S)
{
  std::size_t n = 0;
  for (const Frame& f : S.Frames) {
    for (const auto& change : f.Changes) {
      const auto* place = std::get_if<PlaceObject>(&change);
      if (place && place->Filters)
        n += place->Filters->size();
    }
  }
  return n;
}

} // namespace

std::size_t CountFilters(const Movie& M)
{
  std::size_t n = CountIn(M.Root);
  for (const auto& [id, character] : M.Dictionary) {
    if (const auto* sprite = std::get_if<Sprite>(&character))
      n += CountIn(*sprite);
  }
  return n;
}

} // namespace quenloft::swf

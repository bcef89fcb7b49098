#include "swf/render/FilteredKey.h"

#include <cstring>

namespace quenloft::swf::render {
namespace {

void MixMatrix(KeyMixer& K, const Matrix& M)
{
  for (const double v : {M.A, M.B, M.C, M.D, M.Tx, M.Ty})
    K.Number(v);
}

void MixColor(KeyMixer& K, const ColorTransform& C)
{
  for (const double v : {C.RMul, C.GMul, C.BMul, C.AMul, C.RAdd, C.GAdd, C.BAdd, C.AAdd})
    K.Number(v);
}

void MixRgba(KeyMixer& K, Rgba C)
{
  K.Integer((std::uint64_t{C.R} << 24) | (std::uint64_t{C.G} << 16) | (std::uint64_t{C.B} << 8) | C.A);
}

void MixFilter(KeyMixer& K, const Filter& F)
{
  K.Integer(static_cast<std::uint64_t>(F.Type));
  for (const double v : {F.BlurX, F.BlurY, F.Angle, F.Distance, F.Strength})
    K.Number(v);
  K.Integer(static_cast<std::uint64_t>(F.Passes));
  K.Integer((F.Inner ? 1u : 0u) | (F.Knockout ? 2u : 0u) | (F.Composite ? 4u : 0u) | (F.OnTop ? 8u : 0u) |
            (F.Clamp ? 16u : 0u) | (F.PreserveAlpha ? 32u : 0u));
  MixRgba(K, F.Color);
  MixRgba(K, F.Highlight);
  MixRgba(K, F.Outside);
  K.Integer(F.Gradient.size());
  for (const GradientStop& s : F.Gradient) {
    K.Integer(s.Ratio);
    MixRgba(K, s.Color);
  }
  K.Integer((std::uint64_t{F.Columns} << 8) | F.Rows);
  K.Number(F.Divisor);
  K.Number(F.Bias);
  K.Integer(F.Matrix.size());
  for (const float v : F.Matrix)
    K.Number(v);
  for (const float v : F.Colors)
    K.Number(v);
}

void MixText(KeyMixer& K, const DeviceText& T)
{
  K.Integer(T.WordWrap);
  K.Integer(T.Runs.size());
  for (const TextRun& r : T.Runs) {
    const TextFormat& f = r.Format;
    K.Integer(f.Face.size());
    K.Bytes(f.Face.data(), f.Face.size());
    for (const std::int64_t v : {std::int64_t{f.Size}, std::int64_t{f.LetterSpacing}, std::int64_t{f.LeftMargin},
                                 std::int64_t{f.RightMargin}, std::int64_t{f.Indent}, std::int64_t{f.Leading}})
      K.Integer(static_cast<std::uint64_t>(v));
    K.Integer((f.Bold ? 1u : 0u) | (f.Italic ? 2u : 0u) | (f.Kerning ? 4u : 0u) |
              (static_cast<unsigned>(f.Align) << 3));
    MixRgba(K, f.Color);
    K.Integer(r.Text.size());
    K.Bytes(r.Text.data(), r.Text.size() * sizeof(char32_t));
  }
}

} // namespace

void KeyMixer::Bytes(const void* Data, std::size_t Size)
{
  const auto* p = static_cast<const unsigned char*>(Data);
  for (std::size_t i = 0; i < Size; ++i) {
    FValue ^= p[i];
    FValue *= 1099511628211ull;
  }
}

void KeyMixer::Number(double V)
{
  if (V == 0)
    V = 0; // one zero, whatever its sign
  std::uint64_t bits = 0;
  std::memcpy(&bits, &V, sizeof bits);
  Integer(bits);
}

std::uint64_t FilteredKey(const std::vector<CommandRecorder::Command>& Commands, KeyMixer K)
{
  using Kind = CommandRecorder::Command::Kind;
  K.Integer(Commands.size());
  for (const CommandRecorder::Command& c : Commands) {
    K.Integer(static_cast<std::uint64_t>(c.Type));
    switch (c.Type) {
    case Kind::Shape:
      K.Integer(c.Draw.Shape ? c.Draw.Shape->Handle : 0);
      MixMatrix(K, c.Draw.Transform);
      MixColor(K, c.Draw.Color);
      break;
    case Kind::DeviceText:
      K.Integer(c.Text.Text ? reinterpret_cast<std::uintptr_t>(c.Text.Text) : 0);
      if (c.Text.Text) {
        const Rect& b = c.Text.Text->Bounds;
        for (const std::int64_t v : {std::int64_t{b.XMin}, std::int64_t{b.YMin}, std::int64_t{b.XMax},
                                     std::int64_t{b.YMax}})
          K.Integer(static_cast<std::uint64_t>(v));
        if (c.Text.Text->Device)
          MixText(K, *c.Text.Text->Device);
      }
      MixMatrix(K, c.Text.Transform);
      MixColor(K, c.Text.Color);
      break;
    case Kind::Video:
      K.Integer(reinterpret_cast<std::uintptr_t>(c.Video.Stream));
      K.Integer(c.Video.Frame);
      MixMatrix(K, c.Video.Transform);
      MixColor(K, c.Video.Color);
      break;
    case Kind::BeginLayer: K.Integer(static_cast<std::uint64_t>(c.Mode)); break;
    case Kind::BeginFilters:
      K.Number(c.Corner.X);
      K.Number(c.Corner.Y);
      MixColor(K, c.Draw.Color);
      K.Integer(c.Filters ? c.Filters->size() : 0);
      if (c.Filters)
        for (const Filter& f : *c.Filters)
          MixFilter(K, f);
      break;
    default: break;
    }
  }
  return K.Value();
}

} // namespace quenloft::swf::render

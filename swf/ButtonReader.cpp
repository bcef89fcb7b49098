#include "swf/ButtonReader.h"

#include "swf/FilterReader.h"

namespace quenloft::swf {
namespace {

BlendMode BlendOf(std::uint8_t V)
{
  // 0 and 1 are both normal; unknown values draw as normal too.
  if (V < 2 || V > 14)
    return BlendMode::Normal;
  return static_cast<BlendMode>(V - 1);
}

} // namespace

Button ReadButton(TTagReader& R, Tag TagCode)
{
  Button b;
  b.Id = R.U16();
  const bool two = TagCode == Tag::DefineButton2;
  if (two) {
    b.TrackAsMenu = R.U8() & 0x01;
    R.U16(); // where the actions start: they follow the records anyway
  }
  for (;;) {
    const std::uint8_t flags = R.U8();
    if (flags == 0)
      break;
    ButtonRecord r;
    r.States = flags & 0x0f;
    r.Character = R.U16();
    r.Depth = R.U16();
    r.Transform = R.ReadMatrix();
    if (two) {
      r.Color = R.ReadColorTransform(true);
      if (flags & 0x10)
        r.Filters = std::make_shared<const FilterList>(ReadFilters(R));
      if (flags & 0x20)
        r.Blend = BlendOf(R.U8());
    }
    b.Records.push_back(std::move(r));
  }
  return b;
}

void ReadButtonCxform(TTagReader& R, Movie& Into)
{
  const CharacterId id = R.U16();
  const ColorTransform color = R.ReadColorTransform(false);
  const auto it = Into.Dictionary.find(id);
  auto* button = it == Into.Dictionary.end() ? nullptr : std::get_if<Button>(&it->second);
  if (!button)
    return;
  for (ButtonRecord& r : button->Records)
    r.Color = color;
}

} // namespace quenloft::swf

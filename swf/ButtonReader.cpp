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

ActionBytes Copy(std::span<const std::uint8_t> Bytes)
{
  return std::make_shared<const std::vector<std::uint8_t>>(Bytes.begin(), Bytes.end());
}

// DefineButton: one block run on release. DefineButton2: condition records,
// each with the size of the record up to the next one (0 for the last).
void ReadButtonActions(TTagReader& R, bool Two, bool HasActions, std::vector<ButtonAction>& Into)
{
  if (!Two) {
    if (!R.AtEnd())
      Into.push_back({1u << 3, 0, Copy(R.Rest())});
    return;
  }
  if (!HasActions)
    return;
  while (R.Remaining() >= 4) {
    const std::uint16_t size = R.U16();
    // The first flag byte holds the transitions 7..0, high bit first; the
    // second the key (its high seven bits) and over down->idle (bit 0).
    const std::uint8_t first = R.U8();
    const std::uint8_t second = R.U8();
    ButtonAction a;
    a.Conditions = static_cast<std::uint16_t>(first | ((second & 1u) << 8));
    a.KeyCode = static_cast<std::uint8_t>(second >> 1);
    if (size == 0) {
      a.Actions = Copy(R.Rest());
      Into.push_back(std::move(a));
      return;
    }
    // A damaged record ends the list; the button still draws.
    if (size < 4 || size - 4u > R.Remaining())
      return;
    a.Actions = Copy(R.Bytes(size - 4u));
    Into.push_back(std::move(a));
  }
}

} // namespace

Button ReadButton(TTagReader& R, Tag TagCode)
{
  Button b;
  b.Id = R.U16();
  const bool two = TagCode == Tag::DefineButton2;
  std::uint16_t actionOffset = 0;
  if (two) {
    b.TrackAsMenu = R.U8() & 0x01;
    actionOffset = R.U16(); // the actions follow the records anyway
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
  ReadButtonActions(R, two, actionOffset != 0, b.Actions);
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

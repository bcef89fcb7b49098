// DoAction: the plain timeline actions the player obeys without running
// script (stop, play, next and previous frame, go to a frame or a label,
// and a go-to whose target is a pushed constant); everything else is
// counted and marks the movie as driven by script.
#include "swf/ActionReader.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace quenloft::swf {

void ReadDoAction(TTagReader& R, Frame& Into, Movie& Owner)
{
  std::vector<FrameAction> actions;
  bool branches = false;
  bool other = false;
  // A constant pushed just before GotoFrame2 is the one form of it that
  // needs no script to run: gotoAndPlay(5) or gotoAndStop("label").
  std::optional<std::string> pushedText;
  std::optional<double> pushedNumber;
  while (!R.AtEnd()) {
    const std::uint8_t code = R.U8();
    if (code == 0)
      break;
    TTagReader data(std::span<const std::uint8_t>{});
    if (code >= 0x80)
      data = R.Sub(R.U16());
    const bool wasPush = pushedText || pushedNumber;
    std::optional<std::string> text;
    std::optional<double> number;
    FrameAction a;
    switch (code) {
    case 0x07:
      a.Type = FrameAction::Kind::Stop;
      actions.push_back(a);
      break;
    case 0x06:
      a.Type = FrameAction::Kind::Play;
      actions.push_back(a);
      break;
    case 0x04:
      a.Type = FrameAction::Kind::NextFrame;
      actions.push_back(a);
      break;
    case 0x05:
      a.Type = FrameAction::Kind::PreviousFrame;
      actions.push_back(a);
      break;
    case 0x81:
      a.Type = FrameAction::Kind::GotoFrame;
      a.Frame = data.U16();
      actions.push_back(a);
      break;
    case 0x8C:
      a.Type = FrameAction::Kind::GotoLabel;
      a.Label = data.String();
      actions.push_back(a);
      break;
    case 0x96: {
      // One value of type string (0), float (1), double (6) or integer (7).
      const std::uint8_t type = data.AtEnd() ? 0xFF : data.U8();
      if (type == 0)
        text = data.String();
      else if (type == 7)
        number = static_cast<std::int32_t>(data.U32());
      else if (type == 6) {
        // A double stored as two little-endian words, high word first.
        const std::uint64_t hi = data.U32();
        const std::uint64_t lo = data.U32();
        const std::uint64_t bits = hi << 32 | lo;
        double d;
        static_assert(sizeof d == sizeof bits);
        std::memcpy(&d, &bits, sizeof d);
        number = d;
      }
      if ((!text && !number) || !data.AtEnd()) {
        text.reset();
        number.reset();
        other = true;
        ++Owner.SkippedTags["DoAction: action 0x96"];
      }
      break;
    }
    case 0x9F: {
      const std::uint8_t flags = data.U8();
      if (!wasPush || (flags & 0x02)) {
        other = true;
        ++Owner.SkippedTags["DoAction: action 0x9f"];
        break;
      }
      a.AndPlay = flags & 0x01;
      if (pushedNumber && *pushedNumber >= 1 && *pushedNumber <= 65536) {
        a.Type = FrameAction::Kind::GotoFrame;
        a.Frame = static_cast<std::uint32_t>(*pushedNumber) - 1; // the number counts from 1
      } else if (pushedText) {
        a.Type = FrameAction::Kind::GotoLabel;
        a.Label = *pushedText;
      } else {
        other = true;
        break;
      }
      actions.push_back(a);
      break;
    }
    default: {
      if (code == 0x99 || code == 0x9D || code == 0x9B || code == 0x8E || code == 0x8A || code == 0x8D)
        branches = true;
      char key[32];
      std::snprintf(key, sizeof key, "DoAction: action 0x%02x", code);
      ++Owner.SkippedTags[key];
      other = true;
      break;
    }
    }
    // A push that no GotoFrame2 took was script of its own.
    if (wasPush && code != 0x9F) {
      other = true;
    }
    pushedText = std::move(text);
    pushedNumber = number;
  }
  if (pushedText || pushedNumber)
    other = true;
  if (other)
    Owner.Scripted = true;
  // Jumps and branches make the plain actions conditional: then none is
  // obeyed rather than the wrong ones.
  if (branches)
    return;
  for (FrameAction& a : actions)
    Into.Actions.push_back(std::move(a));
}

} // namespace quenloft::swf

// The Call action (`call(frame)`): runs the scripts of another frame of a
// clip at once, as a block of their own, without moving its playhead.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Interpreter.h"
#include "swf/avm1/PlayerImpl.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace quenloft::swf::avm1 {

namespace {

// A frame label of S's timeline (without regard to case), from 0.
std::optional<std::uint32_t> LabelFrame(const SpriteInstance& S, std::string_view Label)
{
  for (const auto& [name, frame] : S.Definition->Labels)
    if (std::equal(name.begin(), name.end(), Label.begin(), Label.end(), [](char A, char B) {
          return std::tolower(static_cast<unsigned char>(A)) == std::tolower(static_cast<unsigned char>(B));
        }))
      return frame;
  return std::nullopt;
}

} // namespace

void Interpreter::CallFrame(Activation& A, Value Frame)
{
  // A number is a frame of the current target; text is "frame", "label" or
  // "path:frame".
  auto* clip = dynamic_cast<ClipObject*>(CurrentClip(A));
  std::optional<std::uint32_t> frame; // from 0
  if (Frame.IsNumber()) {
    const auto n = static_cast<std::uint32_t>(NumberToInt32(Frame.AsNumber()));
    if (n != 0)
      frame = n - 1;
  } else {
    const std::string text = Frame.ToText(FM);
    std::string_view name = text;
    const std::size_t cut = text.find_last_of(":.");
    if (cut != std::string::npos) {
      clip = dynamic_cast<ClipObject*>(ResolveTarget(A, CurrentClip(A), std::string_view(text).substr(0, cut)));
      name = std::string_view(text).substr(cut + 1);
    }
    if (clip && clip->Instance()) {
      const double n = TextToNumber(name, A.Version);
      if (!name.empty() && !std::isnan(n) && n == std::trunc(n)) {
        const auto f = static_cast<std::uint32_t>(NumberToInt32(n));
        if (f != 0)
          frame = f - 1;
      } else {
        frame = LabelFrame(*clip->Instance(), name);
      }
    }
  }
  SpriteInstance* s = clip ? clip->Instance() : nullptr;
  if (!s || !frame || *frame >= s->Definition->Frames.size()) {
    FM.GetHost().Log("call(" + Frame.ToText(FM) + "): no such frame");
    return;
  }
  PlayerImpl& player = clip->Player();
  const int version = player.Timeline().MovieOf(s).Version;
  RunContext context;
  context.Clip = clip;
  for (const ActionBytes& script : s->Definition->Frames[*frame].Scripts) {
    if (!script)
      continue;
    const auto block = Decode(*script, FM.Atoms(), version);
    FM.RunBlock(block, context);
  }
}

} // namespace quenloft::swf::avm1

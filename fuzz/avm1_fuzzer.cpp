// Fuzzes the script machine with arbitrary action bytes: the first byte picks
// the SWF version and the mode, the rest is one action block. Decoding must
// end cleanly on any input, and running it must end (a small action budget
// stands in for the player's) without crashing, however the block jumps,
// recurses, throws or grows strings and arrays.
//
// With the first byte's top bit clear the block runs twice on a bare
// machine and the heap is collected afterwards. With it set the block is
// the frame script of a small movie, both on its root and in a clip placed
// there (named "mc", whose library symbol "clip" script can attach), so it
// reaches the display API: attachMovie, duplicateMovieClip,
// createEmptyMovieClip, removeMovieClip, swapDepths, the drawing methods,
// text fields and gotos. The movie plays a few frames with the pointer
// moving, pressing and a key typed between them, and is drawn nowhere.
// A clip that duplicates itself every frame must stay within the player's
// depth and instance limits; a frame's scripts share one action budget so
// that an input costs well under a second.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "swf/MovieReader.h"
#include "swf/avm1/Decoder.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/Player.h"
#include "swf/Timeline.h"
#include "tests/swf/MovieBuilder.h"

namespace {

using namespace quenloft::swf::test;

class QuietHost final : public quenloft::swf::avm1::Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view) override {}
};

TBytes ScriptMovie(int Version, std::span<const std::uint8_t> Script)
{
  const TBytes script(Script.begin(), Script.end());
  // Sprite 2: a 20 x 20 pixel square and the script, two frames; exported
  // as "clip" and placed on the root as "mc".
  const TBytes sprite = SpriteTag(2, 2, Join({Place2(1, 1), DoAction(script), ShowFrame(), ShowFrame(), End()}));
  TBitWriter exports;
  exports.U16(1).U16(2).Str("clip");
  TBitWriter named;
  named.U8(0x22).U16(1).U16(2).Str("mc");
  return MovieFile(Join({RectShape(1, 400, 400), sprite, Tag(56, exports.Out), Tag(26, named.Out),
                         DoAction(script), ShowFrame(), ShowFrame(), End()}),
                   'F', 2, 100, 100, static_cast<std::uint8_t>(Version));
}

void RunMachine(int Version, std::span<const std::uint8_t> Script)
{
  using namespace quenloft::swf::avm1;
  QuietHost host;
  Machine machine(Version, host);
  machine.SetBlockBudget(200'000);
  const auto block = Decode(Script, machine.Atoms(), Version);
  if (block->Actions.empty())
    __builtin_trap(); // the end of the block is always an action
  RunContext context;
  machine.RunBlock(block, context);
  machine.Collect();
  // Again, over what the first run left behind.
  machine.RunBlock(block, context);
  machine.Collect();
}

void RunMovie(int Version, std::span<const std::uint8_t> Script)
{
  using namespace quenloft::swf;
  std::shared_ptr<Movie> movie;
  try {
    movie = ReadMovie(ScriptMovie(Version, Script));
  } catch (const std::exception&) {
    return; // a block the reader refuses never reaches the player
  }
  avm1::PlayerOutput output;
  // One frame's scripts together run a few thousand actions, however many
  // clips the script made run them: on the display API an action can be
  // dear (a duplicate shifts every clip above it in the display list).
  output.BlockBudget = 5'000;
  output.FrameBudget = 5'000;
  avm1::Player player(movie, output);
  constexpr int Frames = 6;
  for (int i = 0; i < Frames; ++i) {
    const double at = 10.0 + 15.0 * i;
    player.MouseMove(at, at);
    if (i % 2 == 0)
      player.MouseDown(at, at);
    else
      player.MouseUp(at, at);
    player.KeyDown(65, U'a');
    player.TextInput(U'a');
    player.KeyUp(65, U'a');
    (void)player.Shape();
    player.Advance();
  }
  // Every clip the script made is bounded by the timeline's instance cap.
  std::size_t clips = 0;
  std::vector<const SpriteInstance*> open{&player.Timeline().Root()};
  while (!open.empty()) {
    const SpriteInstance* s = open.back();
    open.pop_back();
    for (const DisplayObject& o : s->List)
      if (o.Sprite) {
        ++clips;
        open.push_back(o.Sprite.get());
      }
  }
  if (clips > Timeline::MaxInstances)
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  if (Size == 0)
    return 0;
  const int version = 4 + (Data[0] & 0x7F) % 7;
  const std::span<const std::uint8_t> script(Data + 1, Size - 1);
  if (Data[0] & 0x80)
    RunMovie(version, script);
  else
    RunMachine(version, script);
  return 0;
}

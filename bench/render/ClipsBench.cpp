// A movie that moves 1,000 clips by script every frame, at 30 frames a
// second on a 550 x 400 stage: its first frame attaches 1,000 copies of a
// small square from the library in a loop, and its onEnterFrame moves each
// of them. One frame is the script's part (Advance: the onEnterFrame loop
// over the clips) and the drawing of the stage at high quality; the goal is
// both together under 20 ms, well inside the 33 ms a frame has. The
// counters give the two apart (script_ms, draw_ms) and their sum.
#include <benchmark/benchmark.h>

#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"
#include "swf/render/Renderer.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/avm1/ActionBuilder.h"

#include <QImage>

#include <chrono>

namespace quenloft {
namespace {

using namespace swf::test;
using swf::avm1::testing::TActions;

constexpr int Clips = 1000;
constexpr std::uint8_t Less2 = 0x48, Not = 0x12, Add2 = 0x47, Modulo = 0x3F, GetMember = 0x4E,
                       SetMember = 0x4F, GetVariable = 0x1C, SetVariable = 0x1D, DefineLocal = 0x3C,
                       CallMethod = 0x52, Pop = 0x17;
constexpr std::uint8_t If = 0x9D, Jump = 0x99;
constexpr int BranchSize = 5;

// for (Counter = 0; Counter < Count; ++Counter) Body, with Counter a
// variable (Local: a local one of the function).
TActions Loop(const std::string& Counter, int Count, const TActions& Body, bool Local)
{
  TActions code;
  code.Str(Counter).Int(0).Op(Local ? DefineLocal : SetVariable);
  TActions cond;
  cond.GetVar(Counter).Int(Count).Op(Less2).Op(Not);
  TActions step;
  step.Str(Counter).GetVar(Counter).Int(1).Op(Add2).Op(SetVariable);
  const auto bodySize = static_cast<std::int16_t>(Body.Bytes.size() + step.Bytes.size());
  code.Bytes.insert(code.Bytes.end(), cond.Bytes.begin(), cond.Bytes.end());
  code.Branch(If, static_cast<std::int16_t>(bodySize + BranchSize));
  code.Bytes.insert(code.Bytes.end(), Body.Bytes.begin(), Body.Bytes.end());
  code.Bytes.insert(code.Bytes.end(), step.Bytes.begin(), step.Bytes.end());
  code.Branch(Jump, static_cast<std::int16_t>(-(static_cast<int>(cond.Bytes.size()) + BranchSize + bodySize +
                                                 BranchSize)));
  return code;
}

// Pushes the clip named "d" + i.
TActions& PushClip(TActions& Code)
{
  return Code.Str("d").GetVar("i").Op(Add2).Op(GetVariable);
}

// clip[Property] = (clip[Property] + Step) % Range
TActions Move(const std::string& Property, int Step, int Range)
{
  TActions code;
  PushClip(code).Str(Property);
  PushClip(code).Str(Property).Op(GetMember).Int(Step).Op(Add2).Int(Range).Op(Modulo);
  code.Op(SetMember);
  return code;
}

swf::test::TBytes ClipsMovie()
{
  // attachMovie("dot", "d" + i, i) on the root, each placed on a grid.
  TActions attach;
  attach.GetVar("i").Str("d").GetVar("i").Op(Add2).Str("dot").Int(3).Str("_root").Op(GetVariable);
  attach.Str("attachMovie").Op(CallMethod).Op(Pop);
  TActions place;
  PushClip(place).Str("_x").GetVar("i").Int(25).Op(Modulo).Int(22).Op(0x0C /* Multiply */).Op(SetMember);
  PushClip(place).Str("_y").GetVar("i").Int(10).Op(0x0D /* Divide */).Int(400).Op(Modulo).Op(SetMember);
  TActions setup = attach;
  setup.Bytes.insert(setup.Bytes.end(), place.Bytes.begin(), place.Bytes.end());
  TActions frame = Loop("i", Clips, setup, false);

  TActions move = Move("_x", 3, 550);
  const TActions down = Move("_y", 2, 400);
  move.Bytes.insert(move.Bytes.end(), down.Bytes.begin(), down.Bytes.end());
  const TActions onEnterFrame = Loop("i", Clips, move, true);
  frame.Str("onEnterFrame").Function("", onEnterFrame).Op(SetVariable);

  // ExportAssets: sprite 2 as "dot".
  TBitWriter exports;
  exports.U16(1).U16(2).Str("dot");
  TBytes file = MovieFile(Join({RectShape(1, 200, 200, 40, 120, 200),
                                SpriteTag(2, 1, Join({Place2(1, 1), ShowFrame(), End()})),
                                Tag(56, exports.Out), DoAction(frame.Bytes), ShowFrame(), End()}),
                          'F', 1, 550, 400, 8);
  file[22] = 30; // 30 frames a second (the rate's whole part, after the 13-byte stage rectangle)
  return file;
}

void BM_ScriptMovesThousandClips(benchmark::State& State)
{
  std::shared_ptr<swf::Movie> movie = swf::ReadMovie(ClipsMovie());
  swf::avm1::Player player(movie, {});
  if (player.List().size() < Clips) {
    State.SkipWithError("the clips were not attached");
    return;
  }
  swf::render::Renderer renderer(movie);
  const QSize size = renderer.StageSize();
  using Clock = std::chrono::steady_clock;
  double script = 0, draw = 0;
  for (auto _ : State) {
    const auto t0 = Clock::now();
    player.Advance();
    const auto t1 = Clock::now();
    QImage frame = renderer.RenderFrame(player.List(), size, swf::render::Quality::High);
    benchmark::DoNotOptimize(frame.constBits());
    const auto t2 = Clock::now();
    script += std::chrono::duration<double, std::milli>(t1 - t0).count();
    draw += std::chrono::duration<double, std::milli>(t2 - t1).count();
  }
  const auto n = static_cast<double>(State.iterations());
  State.counters["script_ms"] = script / n;
  State.counters["draw_ms"] = draw / n;
  State.counters["frame_ms"] = (script + draw) / n;
  State.counters["clips"] = static_cast<double>(player.List().size());
}
BENCHMARK(BM_ScriptMovesThousandClips)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quenloft

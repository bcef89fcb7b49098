// The player on small movies: the order frame scripts run in, names and
// paths of clips, timeline control from script and the bare timeline kept
// for --no-script.
#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/avm1/ActionBuilder.h"

#include <gtest/gtest.h>

using namespace quenloft::swf;
using namespace quenloft::swf::test;
using quenloft::swf::avm1::testing::TActions;

namespace {

TBytes Script(const TActions& A)
{
  return DoAction(A.Bytes);
}

TBytes TraceOf(const std::string& Text)
{
  return Script(TActions().Str(Text).Trace());
}

// PlaceObject2 of Character at Depth with an instance name.
TBytes PlaceNamed(std::uint16_t Depth, std::uint16_t Character, const std::string& Name)
{
  TBitWriter w;
  w.U8(0x02 | 0x04 | 0x20).U16(Depth).U16(Character).Matrix(0, 0).Str(Name);
  return Tag(26, w.Out);
}

std::string Play(const TBytes& Tags, std::uint16_t Frames, int Advances, std::uint8_t Version = 8)
{
  std::string out;
  avm1::PlayerOutput output;
  output.Trace = [&out](std::string_view Line) { out += std::string(Line) + "\n"; };
  avm1::Player player(ReadMovie(MovieFile(Tags, 'F', Frames, 100, 100, Version)), output);
  for (int i = 0; i < Advances; ++i)
    player.Advance();
  return out;
}

} // namespace

TEST(PlayerTest, RunsFramesInThePlayersOrder)
{
  const TBytes child = SpriteTag(1, 2, Join({TraceOf("child 1"), ShowFrame(), TraceOf("child 2"), ShowFrame()}));
  const struct {
    const char* What;
    TBytes Tags;
    std::uint16_t Frames;
    int Advances;
    const char* Lines;
  } rows[] = {
      {"a script before the placement first on the first frame, children first after",
       Join({child, TraceOf("root 1"), Place2(1, 1), ShowFrame(), TraceOf("root 2"), ShowFrame()}), 2, 1,
       "root 1\nchild 1\nchild 2\nroot 2\n"},
      {"a new clip's first frame where its PlaceObject is among the scripts",
       Join({child, TraceOf("root a"), Place2(1, 1), TraceOf("root b"), ShowFrame()}), 1, 0,
       "root a\nchild 1\nroot b\n"},
      {"stop holds the root",
       Join({Script(TActions().Op(0x07)), TraceOf("one"), ShowFrame(), TraceOf("two"), ShowFrame()}), 2, 3,
       "one\n"},
      {"a goto runs the frame it lands on",
       Join({Script(TActions().Op(0x81, {2, 0})), TraceOf("one"), ShowFrame(), TraceOf("two"), ShowFrame(),
             Script(TActions().Op(0x07)), TraceOf("three"), ShowFrame()}),
       3, 0, "one\nthree\n"},
      {"named and unnamed clips by path",
       Join({child,
             Script(TActions().GetVar("_root.kid").Trace().GetVar("/kid:_name").Trace().GetVar("instance1").Trace()),
             PlaceNamed(1, 1, "kid"), Place2(2, 1), ShowFrame()}),
       1, 0, "_level0.kid\nkid\n_level0.instance1\nchild 1\nchild 1\n"},
      {"a removed clip's scripts stop",
       Join({child, PlaceNamed(1, 1, "kid"), ShowFrame(), Remove2(1), TraceOf("gone"), ShowFrame()}), 2, 1,
       "child 1\ngone\n"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Play(r.Tags, r.Frames, r.Advances), r.Lines) << r.What;
}

TEST(PlayerTest, KeepsTheBareTimelineAndTellsWhetherScriptRuns)
{
  const TBytes tags = Join({Script(TActions().Op(0x07)), ShowFrame(), ShowFrame()});
  const auto movie = ReadMovie(MovieFile(tags, 'F', 2));
  ASSERT_EQ(movie->Root.Frames.size(), 2u);
  EXPECT_EQ(movie->Root.Frames[0].Scripts.size(), 1u);
  EXPECT_EQ(movie->Root.Frames[0].Actions.size(), 1u) << "stop() stays a plain action";
  EXPECT_TRUE(avm1::RunsScript(*movie));
  const auto as3 = ReadMovie(MovieFile(Join({Tag(82, TBytes(8, 0)), ShowFrame()}), 'F', 1));
  EXPECT_FALSE(avm1::RunsScript(*as3));
  // Trace lines of a movie that is played with script.
  avm1::Player player(movie, {});
  player.Advance();
  EXPECT_EQ(player.Timeline().CurrentFrame(), 0u);
}

namespace {

TActions Scale9Of(const std::string& Clip)
{
  return TActions().GetVar(Clip).Str("scale9Grid").Op(0x4E).Trace();
}

} // namespace

TEST(PlayerTest, Scale9GridComesFromTheFileAndScriptSetsOrClearsIt)
{
  // Sprite 2 (a 100 px square) has a grid 10 px in from its edges; sprite
  // 3 has none.
  const TBytes sprite = SpriteTag(2, 1, Join({Place2(1, 1), ShowFrame(), End()}));
  const TBytes plain = SpriteTag(3, 1, Join({Place2(1, 1), ShowFrame(), End()}));
  const TBytes grid = Tag(78, TBitWriter().U16(2).Rect(200, 1800, 200, 1800).Out);
  TActions a = Scale9Of("kid");
  const TActions other = Scale9Of("other");
  a.Bytes.insert(a.Bytes.end(), other.Bytes.begin(), other.Bytes.end());
  // kid.scale9Grid = undefined
  a.GetVar("kid").Str("scale9Grid").Undefined().Op(0x4F);
  const TActions cleared = Scale9Of("kid");
  a.Bytes.insert(a.Bytes.end(), cleared.Bytes.begin(), cleared.Bytes.end());
  // kid.scale9Grid = new flash.geom.Rectangle(1, 2, 3, 4)
  a.GetVar("kid").Str("scale9Grid").Int(4).Int(3).Int(2).Int(1).Int(4).GetVar("flash").Str("geom").Op(0x4E);
  a.Str("Rectangle").Op(0x53).Op(0x4F);
  a.Bytes.insert(a.Bytes.end(), cleared.Bytes.begin(), cleared.Bytes.end());
  const TBytes tags = Join({RectShape(1, 2000, 2000), sprite, plain, grid, PlaceNamed(1, 2, "kid"),
                            PlaceNamed(2, 3, "other"), Script(a), ShowFrame()});
  EXPECT_EQ(Play(tags, 1, 1), "(x=10, y=10, w=80, h=80)\nundefined\nundefined\n(x=1, y=2, w=3, h=4)\n");
  // Before version 8 clips have no such property.
  EXPECT_EQ(Play(tags, 1, 1, 7).substr(0, 10), "undefined\n");
}

TEST(PlayerTest, AFrameBudgetSkipsTheBlocksPastItUntilTheNextFrame)
{
  // Frame 1 runs two blocks, frame 2 one.
  const TBytes tags = Join({TraceOf("a"), TraceOf("b"), ShowFrame(), TraceOf("c"), ShowFrame()});
  for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{2}}) {
    std::string out;
    avm1::PlayerOutput output;
    output.Trace = [&out](std::string_view Line) { out += std::string(Line) + "\n"; };
    output.FrameBudget = budget;
    avm1::Player player(ReadMovie(MovieFile(tags, 'F', 2, 100, 100, 8)), output);
    player.Advance();
    // The first block (three actions) spends the whole budget of 2: the
    // second never runs.
    EXPECT_EQ(out, budget == 0 ? "a\nb\nc\n" : "a\nc\n") << budget;
  }
}

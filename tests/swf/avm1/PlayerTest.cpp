// The player on small movies: the order frame scripts run in, names and
// paths of clips, timeline control from script and the bare timeline kept
// for --no-script.
#include "swf/Filters.h"
#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/avm1/ActionBuilder.h"

#include <gtest/gtest.h>

#include <functional>

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

// cacheAsBitmap reaches the clip's placement, which the renderer reads;
// before SWF 8 the property is not there.
TEST(PlayerTest, CacheAsBitmapReachesTheRenderer)
{
  const TBytes child = SpriteTag(1, 1, ShowFrame());
  TActions script;
  script.GetVar("kid").Str("cacheAsBitmap").Op(0x4E).Trace(); // read, set, read
  script.GetVar("kid").Str("cacheAsBitmap").Int(1).Op(0x4F);
  script.GetVar("kid").Str("cacheAsBitmap").Op(0x4E).Trace();
  struct Row {
    std::uint8_t Version;
    const char* Lines;
    bool Cached;
  } rows[] = {{8, "false\ntrue\n", true}, {7, "undefined\n1\n", false}};
  for (const Row& r : rows) {
    std::string out;
    avm1::PlayerOutput output;
    output.Trace = [&out](std::string_view Line) { out += std::string(Line) + "\n"; };
    const TBytes tags = Join({child, PlaceNamed(1, 1, "kid"), Script(script), ShowFrame()});
    avm1::Player player(ReadMovie(MovieFile(tags, 'F', 1, 100, 100, r.Version)), output);
    EXPECT_EQ(out, r.Lines) << int{r.Version};
    ASSERT_EQ(player.List().size(), 1u);
    EXPECT_EQ(player.List()[0].CacheAsBitmap, r.Cached) << int{r.Version};
  }
}

// kid.filters = [new flash.filters.GlowFilter(0x00FF00, 1, 8, 8, 2, 3)]
// reaches the renderer as a glow; reading gives copies; an empty list
// clears it.
TEST(PlayerTest, FiltersSetByScriptReachTheRenderer)
{
  const TBytes child = SpriteTag(1, 1, ShowFrame());
  TActions glow;
  glow.GetVar("kid").Str("filters");
  glow.Int(3).Int(2).Int(8).Int(8).Int(1).Int(0x00FF00).Int(6); // arguments last to first, then their count
  glow.GetVar("flash").Str("filters").Op(0x4E).Str("GlowFilter").Op(0x53); // new
  glow.Int(1).Op(0x42).Op(0x4F); // [it], set
  glow.GetVar("kid").Str("filters").Op(0x4E).Str("0").Op(0x4E).Str("blurX").Op(0x4E).Trace();
  glow.GetVar("kid").Str("filters").Op(0x4E).Str("0").Op(0x4E).Str("blurX").Int(20).Op(0x4F); // a copy
  glow.GetVar("kid").Str("filters").Op(0x4E).Str("0").Op(0x4E).Str("blurX").Op(0x4E).Trace();
  std::string out;
  avm1::PlayerOutput output;
  output.Trace = [&out](std::string_view Line) { out += std::string(Line) + "\n"; };
  TActions clear;
  clear.GetVar("kid").Str("filters").Int(0).Op(0x42).Op(0x4F);
  avm1::Player player(ReadMovie(MovieFile(Join({child, PlaceNamed(1, 1, "kid"), Script(glow), ShowFrame(),
                                                Script(clear), ShowFrame()}),
                                          'F', 2, 100, 100, 8)),
                      output); // plays the first frame
  EXPECT_EQ(out, "8\n8\n");
  ASSERT_EQ(player.List().size(), 1u);
  ASSERT_TRUE(player.List()[0].Filters);
  ASSERT_EQ(player.List()[0].Filters->size(), 1u);
  const Filter& f = player.List()[0].Filters->front();
  EXPECT_EQ(f.Type, Filter::Kind::Glow);
  EXPECT_EQ(f.Color, (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(f.BlurX, 8);
  EXPECT_EQ(f.Strength, 2);
  EXPECT_EQ(f.Passes, 3);
  player.Advance();
  ASSERT_EQ(player.List().size(), 1u);
  EXPECT_FALSE(player.List()[0].Filters);
}

// Each kind's settings as the renderer reads them.
TEST(PlayerTest, ScriptFiltersOfEachKindKeepTheirSettings)
{
  struct Row {
    const char* Class;
    TActions Arguments; // last to first, then their count
    std::function<void(const Filter&)> Check;
  } rows[] = {
      {"DropShadowFilter", TActions().Int(1).Int(1).Int(0).Int(2).Int(1).Int(6).Int(4).Int(1).Int(0xFF).Int(90).Int(5).Int(11),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::DropShadow);
         EXPECT_EQ(F.Distance, 5);
         EXPECT_NEAR(F.Angle, 1.5707963, 1e-6);
         EXPECT_EQ(F.Color, (Rgba{0, 0, 255, 255}));
         EXPECT_EQ(F.BlurY, 6);
         EXPECT_EQ(F.Passes, 2);
         EXPECT_TRUE(F.Knockout);
         EXPECT_FALSE(F.Composite); // hideObject
       }},
      {"BevelFilter",
       TActions().Str("full").Int(1).Int(1).Int(2).Int(2).Int(0).Int(0x00FF00).Int(1).Int(0xFF0000).Int(0).Int(3).Int(11),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::Bevel);
         EXPECT_EQ(F.Highlight, (Rgba{255, 0, 0, 255}));
         EXPECT_EQ(F.Color, (Rgba{0, 255, 0, 0}));
         EXPECT_TRUE(F.OnTop);
         EXPECT_FALSE(F.Inner);
       }},
      {"BlurFilter", TActions().Int(3).Int(12).Int(10).Int(3),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::Blur);
         EXPECT_EQ(F.BlurX, 10);
         EXPECT_EQ(F.BlurY, 12);
         EXPECT_EQ(F.Passes, 3);
       }},
      {"ConvolutionFilter", TActions().Int(4).Int(1).Int(2).Int(1).Int(3).Op(0x42).Int(1).Int(3).Int(4),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::Convolution);
         EXPECT_EQ(F.Columns, 3);
         EXPECT_EQ(F.Rows, 1);
         EXPECT_EQ(F.Matrix, (std::vector<float>{1, 2, 1}));
         EXPECT_EQ(F.Divisor, 4);
       }},
  };
  for (const Row& r : rows) {
    TActions script;
    script.GetVar("kid").Str("filters");
    script.Bytes.insert(script.Bytes.end(), r.Arguments.Bytes.begin(), r.Arguments.Bytes.end());
    script.GetVar("flash").Str("filters").Op(0x4E).Str(r.Class).Op(0x53);
    script.Int(1).Op(0x42).Op(0x4F);
    avm1::Player player(
        ReadMovie(MovieFile(Join({SpriteTag(1, 1, ShowFrame()), PlaceNamed(1, 1, "kid"), Script(script), ShowFrame()}),
                            'F', 1, 100, 100, 8)),
        {});
    ASSERT_EQ(player.List().size(), 1u) << r.Class;
    ASSERT_TRUE(player.List()[0].Filters) << r.Class;
    ASSERT_EQ(player.List()[0].Filters->size(), 1u) << r.Class;
    SCOPED_TRACE(r.Class);
    r.Check(player.List()[0].Filters->front());
  }
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

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

// depth:character@x for each object, in drawing order.
std::string Describe(const DisplayList& L)
{
  std::string s;
  for (const DisplayObject& o : L) {
    s += (s.empty() ? "" : " ") + std::to_string(o.Depth) + ":" + std::to_string(o.Character);
    if (o.Transform.Tx != 0)
      s += "@" + std::to_string(static_cast<int>(o.Transform.Tx));
    if (o.Sprite)
      s += "[f" + std::to_string(o.Sprite->CurrentFrame) + " " + Describe(o.Sprite->List) + "]";
  }
  return s;
}

std::shared_ptr<Movie> Read(const TBytes& Tags, std::uint16_t Frames = 1)
{
  auto m = ReadMovie(MovieFile(Join({RectShape(1, 20, 20), RectShape(2, 20, 20), Tags, End()}), 'F', Frames));
  if (!m->ReadError.empty())
    throw std::runtime_error(m->ReadError);
  return m;
}

TEST(Timeline, DisplayListChangesFrameByFrame)
{
  TBitWriter replace; // PlaceObject2, move + character: depth 1 shows character 2
  replace.U8(0x03).U16(1).U16(2);
  const auto m = Read(Join({Place2(1, 1, 100), Place2(3, 2), ShowFrame(),           // 0
                            Place2(1, -1, 200, 0, true), Place2(2, 1), ShowFrame(), // 1: modify, place
                            Tag(26, replace.Out), Remove2(3), ShowFrame(),          // 2: replace, remove
                            Place2(2, 2, 50), Place2(9, 77), Tag(26, {0x03, 5, 0, 2, 0}),
                            ShowFrame()}), // 3: place over, unknown id, replace nothing
                      4);
  // Placing on a taken depth and replacing at a free one change nothing.
  const char* expected[] = {"1:1@100 3:2", "1:1@200 2:1 3:2", "1:2@200 2:1", "1:2@200 2:1"};
  Timeline t(m);
  for (int frame = 0; frame < 4; ++frame) {
    EXPECT_EQ(t.CurrentFrame(), static_cast<std::uint32_t>(frame));
    EXPECT_EQ(Describe(t.List()), expected[frame]) << frame;
    t.Advance();
  }
  EXPECT_EQ(Describe(t.List()), expected[0]) << "the root loops";
  // Seeking in any order gives the same lists; past the end is the last.
  for (const std::uint32_t f : {3u, 1u, 2u, 0u, 99u}) {
    t.GotoFrame(f);
    EXPECT_EQ(Describe(t.List()), expected[std::min(f, 3u)]) << f;
  }
}

TEST(Timeline, SpritesStepWithTheRootAndSeekingReplaysThem)
{
  // Sprite 10: three frames moving character 1; the root places it in
  // frame 0, keeps it through a modify in frame 2, then places a second
  // copy in frame 3 which starts at its own first frame.
  const TBytes sprite = SpriteTag(10, 3,
                                  Join({Place2(1, 1, 1), ShowFrame(), Place2(1, -1, 2, 0, true), ShowFrame(),
                                        Place2(1, -1, 3, 0, true), ShowFrame(), End()}));
  const auto m = Read(Join({sprite, Place2(1, 10), ShowFrame(), ShowFrame(), Place2(1, -1, 500, 0, true),
                            ShowFrame(), Place2(2, 10), ShowFrame(), ShowFrame()}),
                      5);
  const char* expected[] = {
      "1:10[f0 1:1@1]",
      "1:10[f1 1:1@2]",
      "1:10@500[f2 1:1@3]",
      "1:10@500[f0 1:1@1] 2:10[f0 1:1@1]",
      "1:10@500[f1 1:1@2] 2:10[f1 1:1@2]",
  };
  Timeline played(m);
  for (std::uint32_t f = 0; f < 5; ++f) {
    EXPECT_EQ(Describe(played.List()), expected[f]) << f;
    Timeline seeker(m);
    seeker.GotoFrame(4);
    seeker.GotoFrame(f);
    EXPECT_EQ(Describe(seeker.List()), expected[f]) << "seek " << f;
    played.Advance();
  }
  // Looping back keeps the sprite placed in frame 0 and its playhead.
  EXPECT_EQ(Describe(played.List()), "1:10[f2 1:1@3]");
}

TEST(Timeline, FrameActions)
{
  struct Case {
    const char* Name;
    TBytes Frame1Actions;
    std::vector<std::uint32_t> Frames; // after each of five ticks
    bool Playing;
  };
  const Case cases[] = {
      {"stop holds", {0x07}, {1, 1, 1, 1, 1}, false},
      {"goto 3 and play", {0x81, 2, 0, 3, 0, 0x06}, {3, 0, 3, 0, 3}, true},
      {"goto label and stop", {0x8C, 4, 0, 'e', 'n', 'd', 0}, {3, 3, 3, 3, 3}, false},
      {"previous frame", {0x05}, {0, 0, 0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto m = Read(Join({ShowFrame(), DoAction(c.Frame1Actions), ShowFrame(), ShowFrame(),
                              Tag(43, {'e', 'n', 'd', 0}), ShowFrame()}),
                        4);
    Timeline t(m);
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < 5; ++i) {
      t.Advance();
      seen.push_back(t.CurrentFrame());
    }
    EXPECT_EQ(seen, c.Frames);
    EXPECT_EQ(t.Playing(), c.Playing);
  }
}

TEST(Timeline, ReplaceAndRewindFollowThePlayer)
{
  const TBytes sprite = SpriteTag(10, 3, Join({Place2(1, 1), ShowFrame(), ShowFrame(), ShowFrame(), End()}));
  TBitWriter toShape; // replace the sprite at depth 1 with shape 2
  toShape.U8(0x03).U16(1).U16(2);
  struct Case {
    const char* Name;
    TBytes Frame1;
    const char* AfterLoop; // root frame 0 again, after two ticks
  };
  const Case cases[] = {
      // A sprite is not replaced by a shape; it survives the loop and
      // plays on (placed at f0, then stepped by each tick).
      {"replace keeps a sprite", Tag(26, toShape.Out), "1:10[f2 1:1]"},
      {"unchanged sprite survives", {}, "1:10[f2 1:1]"},
      // A ratio other than the rebuilt one makes a new instance, which
      // shows its first frame.
      {"ratio change restarts it", Place2(1, -1, 0, 0, true, 5), "1:10[f0 1:1]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto m = Read(Join({sprite, Place2(1, 10), ShowFrame(), c.Frame1, ShowFrame()}), 2);
    Timeline t(m);
    t.Advance();
    EXPECT_EQ(t.List().at(0).Character, 10);
    const SpriteInstance* before = t.List().at(0).Sprite.get();
    t.Advance();
    EXPECT_EQ(Describe(t.List()), c.AfterLoop);
    EXPECT_EQ(t.List().at(0).Sprite.get() == before, std::string(c.Name) != "ratio change restarts it");
  }
}

TEST(Timeline, GotoPastTheEndRunsNoActions)
{
  // Frame 1 goes to frame 100 of 3: the last frame shows, and its play()
  // does not run.
  const auto m =
      Read(Join({ShowFrame(), DoAction({0x81, 2, 0, 99, 0}), ShowFrame(), DoAction({0x06}), ShowFrame()}), 3);
  Timeline t(m);
  for (int i = 0; i < 3; ++i)
    t.Advance();
  EXPECT_EQ(t.CurrentFrame(), 2u);
  EXPECT_FALSE(t.Playing());
}

TEST(Timeline, SelfPlacingSpritesStayBounded)
{
  // Sprites 11 and 12 place each other: the chain stops at the nesting
  // limit.
  const auto cycle =
      Read(Join({SpriteTag(11, 1, Join({Place2(1, 12), ShowFrame(), End()})),
                 SpriteTag(12, 1, Join({Place2(1, 11), ShowFrame(), End()})), Place2(1, 11), ShowFrame()}));
  Timeline t(cycle);
  t.Advance();
  int depth = 0;
  for (const SpriteInstance* s = t.List().at(0).Sprite.get(); s; s = s->List.at(0).Sprite.get())
    ++depth;
  EXPECT_EQ(depth, Timeline::MaxNesting);
  EXPECT_EQ(t.RefusedInstances(), 1u);
  // Sprite 10 places itself twice, a tree that would double at each
  // level: the instance cap stops it.
  const auto tree = Read(Join({SpriteTag(10, 1, Join({Place2(1, 10), Place2(2, 10), ShowFrame(), End()})),
                               Place2(1, 10), ShowFrame()}));
  Timeline u(tree);
  u.Advance();
  EXPECT_GT(u.RefusedInstances(), 0u);
}

TEST(Timeline, SimpleLoopFixture)
{
  const char* env = std::getenv("QUENLOFT_FIXTURES");
  const std::filesystem::path file =
      std::filesystem::path(env && *env ? env : QUENLOFT_SOURCE_DIR "/../shared/fixtures") /
      "ruffle/from_gnash__misc-ming.all__loop__simple_loop_test/test.swf";
  if (!std::filesystem::exists(file))
    GTEST_SKIP() << "fixtures absent";
  const auto m = ReadMovieFile(file.string());
  Timeline t(m);
  ASSERT_EQ(t.TotalFrames(), 4u);
  EXPECT_TRUE(t.List().empty()) << "the first frame is empty";
  // Playing on and seeking agree for every frame of two rounds, and each
  // later frame shows more than the one before.
  std::size_t last = 0;
  for (std::uint32_t tick = 1; tick < 8; ++tick) {
    t.Advance();
    Timeline seeker(m);
    seeker.GotoFrame(3);
    seeker.GotoFrame(tick % 4);
    EXPECT_EQ(Describe(t.List()), Describe(seeker.List())) << tick;
    if (tick % 4 != 0) {
      EXPECT_GT(t.List().size(), last) << tick;
    }
    last = tick % 4 == 0 ? 0 : t.List().size();
  }
}

TEST(Timeline, SeekingAgreesWithPlayingInEveryFixture)
{
  const char* env = std::getenv("QUENLOFT_FIXTURES");
  const std::filesystem::path root =
      std::filesystem::path(env && *env ? env : QUENLOFT_SOURCE_DIR "/../shared/fixtures") / "ruffle";
  if (!std::filesystem::exists(root))
    GTEST_SKIP() << "fixtures absent";
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    const auto file = entry.path() / "test.swf";
    if (!std::filesystem::exists(file))
      continue;
    const auto m = ReadMovieFile(file.string());
    // Root actions would stop or divert playing, which seeking ignores.
    const bool rootActs = std::any_of(m->Root.Frames.begin(), m->Root.Frames.end(),
                                      [](const Frame& F) { return !F.Actions.empty(); });
    if (rootActs || m->Root.Frames.size() < 2)
      continue;
    SCOPED_TRACE(entry.path().filename().string());
    Timeline played(m);
    Timeline seeker(m);
    const std::uint32_t n = played.TotalFrames();
    for (std::uint32_t tick = 1; tick < 2 * n; ++tick) {
      played.Advance();
      // Backwards from the last frame, then forwards from the first.
      seeker.GotoFrame(tick % 2 ? n - 1 : 0);
      seeker.GotoFrame(tick % n);
      // A root that looped has its sprites further on than a seek from the
      // start, so only the first round compares the sprites too.
      if (tick < n) {
        ASSERT_EQ(Describe(seeker.List()), Describe(played.List())) << tick;
      }
      ASSERT_EQ(seeker.List().size(), played.List().size()) << tick;
    }
    ++compared;
  }
  EXPECT_GE(compared, 3);
}

} // namespace
} // namespace quenloft::swf

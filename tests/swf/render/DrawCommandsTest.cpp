// The commands a display list turns into: masks, layers, nesting.
#include "swf/render/DrawCommands.h"
#include "swf/render/ShapePaths.h"

#include <gtest/gtest.h>

#include "tests/swf/render/Shapes.h"

namespace quenloft::swf::render {
namespace {

using namespace testing;

DisplayObject Placed(Depth D, CharacterId Id, double Tx = 0, double Ty = 0)
{
  DisplayObject o;
  o.Depth = D;
  o.Character = Id;
  o.Transform.Tx = Tx;
  o.Transform.Ty = Ty;
  return o;
}

class Commands : public ::testing::Test {
protected:
  Commands()
  {
    for (CharacterId id = 1; id <= 6; ++id)
      M.Dictionary.emplace(id, SquareShape(id, {}));
    Sprite s;
    s.Id = 10;
    M.Dictionary.emplace(10, s);
  }

  std::vector<std::string> Words(const DisplayList& L)
  {
    Recorder = {};
    EmitDisplayList(M, L, Cache, Recorder);
    return Recorder.Words();
  }

  DisplayObject SpriteOf(Depth D, DisplayList Children, double Tx = 0)
  {
    DisplayObject o = Placed(D, 10, Tx);
    o.Sprite = std::make_shared<SpriteInstance>();
    o.Sprite->List = std::move(Children);
    return o;
  }

  Movie M;
  ShapeCache Cache;
  CommandRecorder Recorder;
};

TEST_F(Commands, ClipDepthMasksTheDepthsUpToIt)
{
  struct Case {
    const char* Name;
    DisplayList List;
    std::vector<std::string> Expected;
  };
  DisplayObject mask = Placed(1, 1);
  mask.ClipDepth = 3;
  DisplayObject inner = Placed(2, 2);
  inner.ClipDepth = 2; // a mask that cuts nothing
  DisplayObject hidden = Placed(3, 3);
  hidden.Visible = false;
  DisplayObject multiply = Placed(2, 4);
  multiply.Blend = BlendMode::Multiply;
  const Case cases[] = {
      {"mask, two inside, one above",
       {mask, Placed(2, 2), Placed(3, 3), Placed(4, 4)},
       {"push", "shape 1", "activate", "shape 2", "shape 3", "deactivate", "pop", "shape 4"}},
      {"a mask still open at the end is closed",
       {mask, Placed(2, 2)},
       {"push", "shape 1", "activate", "shape 2", "deactivate", "pop"}},
      {"an empty mask and a hidden object",
       {mask, inner, hidden, Placed(4, 4)},
       {"push", "shape 1", "activate", "push", "shape 2", "activate", "deactivate", "pop", "deactivate",
        "pop", "shape 4"}},
      {"a blend mode draws on a layer", {multiply}, {"layer 2", "shape 4", "end"}},
      {"a sprite with a mask inside a mask",
       {mask, SpriteOf(2, {mask, Placed(2, 5)}), Placed(4, 6)},
       {"push", "shape 1", "activate", "push", "shape 1", "activate", "shape 5", "deactivate", "pop",
        "deactivate", "pop", "shape 6"}},
      {"an unknown character draws nothing", {Placed(1, 99), Placed(2, 2)}, {"shape 2"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Words(c.List), c.Expected) << c.Name;
}

TEST_F(Commands, MatricesAndColourTransformsMultiplyDownTheTree)
{
  DisplayObject child = Placed(1, 2, 0, 50);
  child.Transform.A = 2;
  child.Color.RAdd = 10;
  DisplayObject parent = SpriteOf(1, {child}, 100);
  parent.Color.RMul = 0.5;
  Words({parent});
  ASSERT_EQ(Recorder.Commands().size(), 1u);
  const ShapeDraw& d = Recorder.Commands()[0].Draw;
  EXPECT_EQ(d.Transform.A, 2);
  EXPECT_EQ(d.Transform.Tx, 100);
  EXPECT_EQ(d.Transform.Ty, 50);
  // The child's add comes first, the parent's multiply after it.
  EXPECT_EQ(d.Color.Apply({100, 0, 0, 255}).R, 55);
}

TEST_F(Commands, NestingIsBounded)
{
  DisplayObject o = Placed(1, 2);
  for (int i = 0; i < MaxNesting + 10; ++i)
    o = SpriteOf(1, {o});
  EXPECT_TRUE(Words({o}).empty());
}

TEST_F(Commands, StaticTextDrawsEachGlyphInTheRecordColour)
{
  Font f;
  f.Id = 20;
  f.Version = 3;
  f.Glyphs = {SquareShape(0, {}, 1024 * 20)};
  M.Dictionary.emplace(20, f);
  Text t;
  t.Id = 21;
  t.Transform.Tx = 1000;
  TextRecord r;
  r.FontId = 20;
  r.Color = {0, 128, 0, 255};
  r.Height = 400;
  r.X = 100;
  r.Glyphs = {{0, 300}, {0, 300}, {5, 300}}; // the last glyph does not exist
  t.Records = {r};
  M.Dictionary.emplace(21, t);
  EXPECT_EQ(Words({Placed(1, 21)}), (std::vector<std::string>{"shape 21", "shape 21"}));
  const ShapeDraw& second = Recorder.Commands()[1].Draw;
  EXPECT_DOUBLE_EQ(second.Transform.A, 400.0 / 20480);
  EXPECT_DOUBLE_EQ(second.Transform.Tx, 1000 + 100 + 300);
  EXPECT_EQ(second.Color.Apply({255, 255, 255, 255}), (Rgba{0, 128, 0, 255}));

  // Placed at a third of its size, each glyph's origin lands on a whole
  // twip of the stage: 1000 + (1000 + 100 + 300) / 3 = 1466.7 gives 1467.
  DisplayObject small = Placed(1, 21);
  small.Transform.A = small.Transform.D = 1.0 / 3;
  small.Transform.Tx = 1000;
  Words({small});
  EXPECT_DOUBLE_EQ(Recorder.Commands().at(1).Draw.Transform.Tx, 1467);
}

TEST_F(Commands, AVideoShowsItsPlacementsFrameAndCutsNothingAsAMask)
{
  VideoStream v;
  v.Id = 20;
  M.Dictionary.emplace(20, v);
  DisplayObject video = Placed(2, 20);
  video.Ratio = 7;
  DisplayObject asMask = Placed(1, 20);
  asMask.ClipDepth = 3;
  EXPECT_EQ(Words({video}), (std::vector<std::string>{"video 20@7"}));
  EXPECT_EQ(Words({asMask, Placed(3, 3)}),
            (std::vector<std::string>{"push", "activate", "shape 3", "deactivate", "pop"}));
}

} // namespace
} // namespace quenloft::swf::render

// The commands a display list turns into: masks, layers, nesting.
#include "swf/render/DrawCommands.h"
#include "swf/render/ShapePaths.h"

#include <gtest/gtest.h>

#include "swf/EditText.h"

#include "tests/swf/render/Shapes.h"

namespace quenloft::swf::render {
namespace {

using namespace testing;

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

TEST_F(Commands, FiltersWrapTheObjectInsideItsBlendLayerAndTakeItsColour)
{
  const auto blur = std::make_shared<const FilterList>(FilterList{Filter{}, Filter{}});
  DisplayObject child = Placed(1, 2);
  child.Color.RAdd = 10;
  DisplayObject filtered = SpriteOf(3, {child}, 100);
  filtered.Filters = blur;
  filtered.Blend = BlendMode::Multiply;
  filtered.Color.RMul = 0.5;
  DisplayObject mask = filtered;
  mask.ClipDepth = 4;
  DisplayObject none = Placed(5, 6);
  none.Filters = std::make_shared<const FilterList>();
  EXPECT_EQ(Words({filtered}), (std::vector<std::string>{"layer 2", "filters 2", "shape 2", "end filters", "end"}));
  // The filters get the object's colour; what is inside keeps only its own.
  const auto& commands = Recorder.Commands();
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(commands[1].Draw.Color.Apply({100, 0, 0, 255}).R, 50);
  EXPECT_EQ(commands[2].Draw.Color.Apply({100, 0, 0, 255}).R, 110);
  EXPECT_EQ(Words({mask, Placed(4, 5), none}),
            (std::vector<std::string>{"push", "shape 2", "activate", "shape 5", "deactivate", "pop", "shape 6"}));
}

// Cached as a bitmap: drawn as a filtered object without filters (its own
// bitmap, its colour applied to that), except as a mask.
TEST_F(Commands, AnObjectCachedAsABitmapIsDrawnAsOneWithNoFilters)
{
  DisplayObject cached = Placed(1, 2);
  cached.CacheAsBitmap = true;
  cached.Color.RMul = 0.5;
  EXPECT_EQ(Words({cached}), (std::vector<std::string>{"filters 0", "shape 2", "end filters"}));
  const auto& commands = Recorder.Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].Draw.Color.Apply({100, 0, 0, 255}).R, 50);
  EXPECT_EQ(commands[1].Draw.Color.Apply({100, 0, 0, 255}).R, 100);
  DisplayObject mask = cached;
  mask.ClipDepth = 4;
  EXPECT_EQ(Words({mask, Placed(4, 5)}),
            (std::vector<std::string>{"push", "shape 2", "activate", "shape 5", "deactivate", "pop"}));
}

TEST_F(Commands, AButtonShowsItsUpStateByDepthAndItsSpritesFirstFrame)
{
  const auto record = [](std::uint8_t States, CharacterId Id, Depth D) {
    ButtonRecord r;
    r.States = States;
    r.Character = Id;
    r.Depth = D;
    r.Color.RAdd = 20;
    return r;
  };
  Sprite inner; // places shape 4, then in its second frame shape 5
  inner.Id = 11;
  PlaceObject first;
  first.Depth = 1;
  first.Character = 4;
  PlaceObject second = first;
  second.Character = 5;
  second.Depth = 2;
  inner.Frames.resize(2);
  inner.Frames[0].Changes = {first};
  inner.Frames[1].Changes = {second};
  M.Dictionary.emplace(11, inner);
  Button b;
  b.Id = 20;
  b.Records = {record(ButtonRecord::Up, 3, 5), record(ButtonRecord::Over | ButtonRecord::HitTest, 2, 1),
               record(ButtonRecord::Up | ButtonRecord::Down, 1, 2), record(ButtonRecord::Up, 11, 9)};
  M.Dictionary.emplace(20, b);
  EXPECT_EQ(Words({Placed(1, 20, 100)}), (std::vector<std::string>{"shape 1", "shape 3", "shape 4"}));
  ASSERT_EQ(Recorder.Commands().size(), 3u);
  EXPECT_EQ(Recorder.Commands()[0].Draw.Transform.Tx, 100);
  EXPECT_EQ(Recorder.Commands()[0].Draw.Color.Apply({0, 0, 0, 255}).R, 20);

  // A sprite a button shows that places itself twice: bounded, not doubled
  // at every level.
  Sprite self;
  self.Id = 12;
  PlaceObject again;
  again.Character = 12;
  PlaceObject shape = again;
  shape.Character = 1;
  shape.Depth = 3;
  again.Depth = 1;
  PlaceObject twice = again;
  twice.Depth = 2;
  self.Frames.resize(1);
  self.Frames[0].Changes = {again, twice, shape};
  M.Dictionary.emplace(12, self);
  Button loop;
  loop.Records = {record(ButtonRecord::Up, 12, 1)};
  M.Dictionary.emplace(21, loop);
  const auto words = Words({Placed(1, 21)});
  EXPECT_FALSE(words.empty());
  EXPECT_LT(words.size(), 30000u);
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

TEST_F(Commands, AnEditFieldsGlyphsTakeItsColourThroughAFixedPointMultiplier)
{
  Font f;
  f.Id = 20;
  f.Version = 3;
  f.Glyphs = {SquareShape(0, {}, 1024 * 20)};
  M.Dictionary.emplace(20, f);
  struct Case {
    Rgba Field, Drawn;
  } cases[] = {
      {{255, 153, 204, 255}, {255, 152, 203, 255}},
      {{0, 1, 128, 255}, {0, 0, 127, 255}},
      {{254, 2, 100, 128}, {253, 1, 99, 127}},
  };
  for (const Case& c : cases) {
    Text t;
    t.Id = 22;
    t.Edit = std::make_shared<EditTextField>();
    TextRecord r;
    r.FontId = 20;
    r.Color = c.Field;
    r.Height = 400;
    r.Glyphs = {{0, 300}};
    t.Records = {r};
    M.Dictionary.insert_or_assign(22, t);
    ASSERT_EQ(Words({Placed(1, 22)}), (std::vector<std::string>{"shape 22"}));
    EXPECT_EQ(Recorder.Commands()[0].Draw.Color.Apply({255, 255, 255, 255}), c.Drawn);
  }
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

TEST_F(Commands, ANestedObjectsOffsetLandsOnWholeTwips)
{
  struct Case {
    const char* Name;
    double Scale, ParentTx, ChildTx;
    double Tx; // of the shape drawn
  };
  const Case cases[] = {
      {"a scaled-down child: 2847 - 96.72 rounds down", 0.214935302734375, 2847, -450, 2750},
      {"137.56 rounds to the twip above", 0.214935302734375, 2613, 640, 2751},
      {"a half goes to the even twip", 0.5, 0, 5, 2},
      {"the other half also to the even one", 0.5, 0, 7, 4},
      {"negative half", 0.5, 100, -5, 98},
      {"unscaled offsets stay exact", 1, 10, 33, 43},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    DisplayObject parent = SpriteOf(1, {Placed(1, 1, c.ChildTx, c.ChildTx)}, c.ParentTx);
    parent.Transform.A = parent.Transform.D = c.Scale;
    parent.Transform.Ty = c.ParentTx;
    ASSERT_EQ(Words({parent}), (std::vector<std::string>{"shape 1"}));
    const Matrix& t = Recorder.Commands()[0].Draw.Transform;
    EXPECT_EQ(t.Tx, c.Tx);
    EXPECT_EQ(t.Ty, c.Tx);
    EXPECT_DOUBLE_EQ(t.A, c.Scale);
  }
}

} // namespace
} // namespace quenloft::swf::render

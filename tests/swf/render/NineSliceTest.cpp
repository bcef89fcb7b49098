// 9-slice scaling: movies written here, read, played and drawn, probed
// where the fixed borders must keep their size; and the slicing's own map.
#include "swf/render/NineSlice.h"
#include "swf/render/Renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf::render {
namespace {

using namespace quenloft::swf::test;

constexpr int Scale1 = 0x10000;

// A sprite (id 10) holding a black 100 px square with a white 80 px square
// inside it: a frame 10 px wide. Grid: the frame's inner edge.
TBytes FramedSprite(bool Grid, const TBytes& Extra = {})
{
  const TBytes inner = Join(
      {Place2(1, 1), Tag(26, TBitWriter().U8(0x06).U16(2).U16(2).Matrix(200, 200).Out), Extra, ShowFrame()});
  TBytes tags = Join({RectShape(1, 2000, 2000, 0, 0, 0), RectShape(2, 1600, 1600, 255, 255, 255),
                      SpriteTag(10, 1, Join({inner, End()}))});
  if (Grid)
    tags = Join({tags, Tag(78, TBitWriter().U16(10).Rect(200, 1800, 200, 1800).Out)});
  return tags;
}

// PlaceObject2 of Id at depth 1 with a scale (16.16) and offset (twips).
TBytes PlaceScaled(int Id, std::int32_t ScaleX, std::int32_t ScaleY, std::int32_t Tx = 0, std::int32_t Ty = 0)
{
  return Tag(
      26,
      TBitWriter().U8(0x06).U16(1).U16(static_cast<std::uint16_t>(Id)).Matrix(Tx, Ty, ScaleX, ScaleY).Out);
}

QImage Frame(const TBytes& Tags)
{
  const TBytes file = MovieFile(Join({Tags, ShowFrame(), End()}), 'F', 1, 400, 300);
  std::shared_ptr<Movie> movie = ReadMovie(std::span(file.data(), file.size()), 1 << 20);
  Timeline timeline(movie);
  return Renderer(movie).RenderFrame(timeline.List(), {400, 300}, Quality::Low);
}

bool Black(const QImage& I, int X, int Y)
{
  return I.pixel(X, Y) == qRgb(0, 0, 0);
}

TEST(NineSlice, TheBordersKeepTheirSizeWhereverTheObjectScales)
{
  struct Case {
    const char* Name;
    std::int32_t ScaleX, ScaleY;
    // Probes: (x, y, black?).
    std::vector<std::tuple<int, int, bool>> Probes;
  };
  const Case cases[] = {
      // 300 x 200 px: the frame stays 10 px on every side.
      {"stretched",
       3 * Scale1,
       2 * Scale1,
       {{5, 100, true},
        {15, 100, false},
        {285, 100, false},
        {295, 100, true},
        {150, 5, true},
        {150, 15, false},
        {150, 185, false},
        {150, 195, true},
        {305, 100, false}}},
      // 50 x 50 px: still 10 px.
      {"shrunk",
       Scale1 / 2,
       Scale1 / 2,
       {{5, 25, true}, {15, 25, false}, {35, 25, false}, {45, 25, true}, {25, 45, true}}},
      // 10 px across, narrower than both borders: they halve and meet.
      {"below the borders",
       Scale1 / 10,
       Scale1,
       {{2, 50, true}, {7, 50, true}, {5, 5, true}, {5, 15, true}, {12, 50, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const QImage sliced = Frame(Join({FramedSprite(true), PlaceScaled(10, c.ScaleX, c.ScaleY)}));
    const QImage plain = Frame(Join({FramedSprite(false), PlaceScaled(10, c.ScaleX, c.ScaleY)}));
    bool differs = false;
    for (const auto& [x, y, black] : c.Probes) {
      EXPECT_EQ(Black(sliced, x, y), black) << x << "," << y;
      differs = differs || Black(plain, x, y) != black;
    }
    // The probes tell slicing from plain scaling.
    EXPECT_TRUE(differs);
  }
}

TEST(NineSlice, RotatedObjectsNestedClipsAndButtonsWithoutAGridScaleAsUsual)
{
  // A quarter turn, stretched: the grid does not apply.
  TBitWriter w;
  w.U8(0x06).U16(1).U16(10).Align();
  // Rotate 90 degrees and stretch 3 times along the sprite's x.
  w.Bits(1, 1).Bits(20, 5).SBits(0, 20).SBits(0, 20);
  w.Bits(1, 1).Bits(20, 5).SBits(3 * Scale1, 20).SBits(-Scale1, 20);
  w.Bits(16, 5).SBits(6000, 16).SBits(0, 16).Align();
  const TBytes rotated = Tag(26, w.Out);
  EXPECT_TRUE(Frame(Join({FramedSprite(true), rotated})) == Frame(Join({FramedSprite(false), rotated})));

  // A clip nested in a sliced clip scales with it, unsliced: sprite 11
  // holds sprite 12 (the same frame), and only 11 has a grid.
  const TBytes nested =
      Join({RectShape(1, 2000, 2000, 0, 0, 0), RectShape(2, 1600, 1600, 255, 255, 255),
            SpriteTag(12, 1,
                      Join({Place2(1, 1), Tag(26, TBitWriter().U8(0x06).U16(2).U16(2).Matrix(200, 200).Out),
                            ShowFrame(), End()})),
            SpriteTag(11, 1, Join({Place2(1, 12), ShowFrame(), End()}))});
  const TBytes grid = Tag(78, TBitWriter().U16(11).Rect(200, 1800, 200, 1800).Out);
  EXPECT_TRUE(Frame(Join({nested, grid, PlaceScaled(11, 3 * Scale1, 2 * Scale1)})) ==
              Frame(Join({nested, PlaceScaled(11, 3 * Scale1, 2 * Scale1)})));
}

TEST(NineSlice, AButtonsShapesAreSliced)
{
  // Button 20 shows the two squares in its up state.
  TBitWriter b;
  b.U16(20).U8(0).U16(0);
  b.U8(0x01).U16(1).U16(1).Matrix(0, 0).U8(0);
  b.U8(0x01).U16(2).U16(2).Matrix(200, 200).U8(0);
  b.U8(0);
  const TBytes shapes = Join({RectShape(1, 2000, 2000, 0, 0, 0), RectShape(2, 1600, 1600, 255, 255, 255)});
  const TBytes grid = Tag(78, TBitWriter().U16(20).Rect(200, 1800, 200, 1800).Out);
  const QImage sliced =
      Frame(Join({shapes, Tag(34, b.Out), grid, PlaceScaled(20, 3 * Scale1, Scale1, 400, 0)}));
  EXPECT_TRUE(Black(sliced, 25, 50));
  EXPECT_FALSE(Black(sliced, 35, 50));
  EXPECT_FALSE(Black(sliced, 305, 50));
  EXPECT_TRUE(Black(sliced, 315, 50));
}

TEST(NineSlice, CurvesCutAtTheGridLinesStayJoined)
{
  // A circle-like outline of curves crossing every grid line: sliced, each
  // piece's ends meet the next piece's.
  Shape s;
  s.Bounds = {-1000, 1000, -1000, 1000};
  s.EdgeBounds = s.Bounds;
  s.Styles.Fills.push_back({});
  ShapeRecord move;
  move.HasMove = true;
  move.MoveX = 1000;
  move.Fill1 = 1;
  s.Records.push_back(move);
  const int pts[4][4] = {
      {0, 1000, -1000, 1000}, {-1000, 0, -1000, -1000}, {0, -1000, 1000, -1000}, {1000, 0, 1000, 1000}};
  for (const auto& p : pts) {
    ShapeRecord e;
    e.Type = ShapeRecord::Kind::CurvedEdge;
    e.ControlDx = p[0];
    e.ControlDy = p[1];
    e.AnchorDx = p[2];
    e.AnchorDy = p[3];
    s.Records.push_back(e);
  }
  Matrix m;
  m.A = 4;
  m.D = 0.25;
  const std::optional<NineSlice> slice = NineSlice::Make({-500, 500, -500, 500}, s.Bounds, m);
  ASSERT_TRUE(slice);
  const Shape out = slice->Slice(s, {});
  // Each quarter crosses two grid lines: three pieces each.
  EXPECT_EQ(out.Records.size(), 1u + 4 * 3);
  std::int64_t x = out.Records[0].MoveX, y = out.Records[0].MoveY;
  for (std::size_t i = 1; i < out.Records.size(); ++i) {
    x += out.Records[i].AnchorDx;
    y += out.Records[i].AnchorDy;
  }
  // Closed: back where it started; the right end stays 1000 twips from
  // the middle's end, at 4 x 1000.
  EXPECT_EQ(x, out.Records[0].MoveX);
  EXPECT_EQ(y, out.Records[0].MoveY);
  EXPECT_EQ(out.Records[0].MoveX, 4000);
  // Vertically the object is 500 twips: the 1000 of borders halve.
  EXPECT_DOUBLE_EQ(slice->Map({0, -1000}).Y, -250);
  EXPECT_DOUBLE_EQ(slice->Map({0, -500}).Y, 0);
  EXPECT_DOUBLE_EQ(slice->Map({0, 500}).Y, 0);
  EXPECT_DOUBLE_EQ(slice->Map({-1000, 0}).X, -4000);
  EXPECT_DOUBLE_EQ(slice->Map({-500, 0}).X, -3500);
  EXPECT_DOUBLE_EQ(slice->Map({250, 0}).X, 1750);
  // Skewed, empty or not finite: no slicing.
  Matrix skew = m;
  skew.C = 0.1;
  EXPECT_FALSE(NineSlice::Make({-500, 500, -500, 500}, s.Bounds, skew));
  EXPECT_FALSE(NineSlice::Make({500, -500, -500, 500}, s.Bounds, m));
  Matrix bad = m;
  bad.A = NAN;
  EXPECT_FALSE(NineSlice::Make({-500, 500, -500, 500}, s.Bounds, bad));
}

} // namespace
} // namespace quenloft::swf::render

// Bounds and hit tests of what clips show, with shapes made by the drawing
// methods.
#include "swf/avm1/ClipDrawing.h"
#include "swf/avm1/ClipGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quenloft::swf::avm1 {
namespace {

// A 100x100 pixel square at the origin (twips), with a 40x40 square hole
// in its middle drawn in the same fill.
std::shared_ptr<const Shape> SquareWithHole(bool Curved)
{
  ClipDrawing d;
  d.BeginFill(FillStyle{});
  d.LineTo({2000, 0});
  if (Curved)
    d.CurveTo({2400, 1000}, {2000, 2000});
  else
    d.LineTo({2000, 2000});
  d.LineTo({0, 2000});
  d.LineTo({0, 0});
  d.MoveTo({600, 600});
  d.LineTo({1400, 600});
  d.LineTo({1400, 1400});
  d.LineTo({600, 1400});
  d.EndFill();
  return d.Made();
}

TEST(ClipGeometry, DrawnShapesAreHitInsideTheirFillsOnly)
{
  struct Case {
    bool Curved;
    Point At;
    bool Hit;
  } cases[] = {
      {false, {100, 100}, true},   {false, {1000, 1000}, false}, // in the hole
      {false, {2100, 1000}, false}, {false, {-10, 500}, false},
      {true, {2100, 1000}, true},   // inside the bulge of the curve
      {true, {2300, 100}, false},
  };
  for (const Case& c : cases) {
    const auto shape = SquareWithHole(c.Curved);
    ASSERT_TRUE(shape);
    EXPECT_EQ(ShapeHits(*shape, c.At), c.Hit) << c.Curved << " " << c.At.X << "," << c.At.Y;
  }
}

TEST(ClipGeometry, DrawingBoundsFollowTheEdgesAndTheLineWidth)
{
  ClipDrawing d;
  EXPECT_EQ(d.Made(), nullptr);
  LineStyle line;
  line.Width = 40;
  d.SetLine(line);
  d.MoveTo({100, 200});
  d.LineTo({300, 500});
  const auto shape = d.Made();
  ASSERT_TRUE(shape);
  EXPECT_EQ(shape->Bounds, (Rect{80, 320, 180, 520}));
  d.Clear();
  EXPECT_EQ(d.Made(), nullptr);
}

TEST(ClipGeometry, BoxesTransformAndIntersect)
{
  Box b;
  b.Add(Point{0, 0});
  b.Add(Point{100, 50});
  Matrix quarterTurn;
  quarterTurn.A = 0;
  quarterTurn.B = 1;
  quarterTurn.C = -1;
  quarterTurn.D = 0;
  quarterTurn.Tx = 10;
  const Box turned = b.Transformed(quarterTurn);
  EXPECT_DOUBLE_EQ(turned.XMin, -40);
  EXPECT_DOUBLE_EQ(turned.XMax, 10);
  EXPECT_DOUBLE_EQ(turned.YMax, 100);
  EXPECT_TRUE(turned.Intersects(b));
  EXPECT_FALSE(Box{}.Intersects(b));
  Matrix back;
  ASSERT_TRUE(Invert(quarterTurn, back));
  const Point p = back.Apply(quarterTurn.Apply({7, 3}));
  EXPECT_NEAR(p.X, 7, 1e-9);
  EXPECT_NEAR(p.Y, 3, 1e-9);
  Matrix flat;
  flat.D = 0;
  EXPECT_FALSE(Invert(flat, back));
}

TEST(ClipGeometry, ContentCoversDrawingAndPlacedChildren)
{
  Movie movie;
  SpriteInstance parent, child;
  child.Parent = &parent;
  child.Drawing = SquareWithHole(false);
  DisplayObject placed;
  placed.Transform.Tx = 1000;
  placed.Sprite = std::shared_ptr<SpriteInstance>(&child, [](SpriteInstance*) {});
  parent.List.push_back(placed);
  const Box b = ContentBounds(movie, parent);
  EXPECT_DOUBLE_EQ(b.XMin, 1000);
  EXPECT_DOUBLE_EQ(b.XMax, 3000);
  EXPECT_TRUE(ContentHits(movie, parent, {1100, 100}));
  EXPECT_FALSE(ContentHits(movie, parent, {100, 100}));
  EXPECT_EQ(StageMatrix(child).Tx, 1000);
  EXPECT_EQ(PlacementOf(child), &parent.List[0]);
}

} // namespace
} // namespace quenloft::swf::avm1

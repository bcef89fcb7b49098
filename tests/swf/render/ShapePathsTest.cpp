// Shape records to closed fill outlines and stroke polylines.
#include "swf/render/ShapePaths.h"

#include <QPainterPathStroker>

#include <gtest/gtest.h>

#include "tests/swf/render/Shapes.h"

namespace quenloft::swf::render {
namespace {

using namespace testing;

const Rgba Red{255, 0, 0, 255};
const Rgba Blue{0, 0, 255, 255};

// Two squares side by side; the edge between them has A on its right
// (fill1) and B on its left (fill0).
Shape SharedEdge()
{
  Shape s;
  s.Styles.Fills = {Solid(Red), Solid(Blue)};
  Polygon(s, 0, 0, 0, 1, {{200, 0}});
  s.Records.push_back(Style(200, 0, 2, 1));
  s.Records.push_back(Line(0, 200));
  s.Records.push_back(Style(200, 200, 0, 1));
  s.Records.push_back(Line(-200, 0));
  s.Records.push_back(Line(0, -200));
  Polygon(s, 200, 0, 0, 2, {{200, 0}, {0, 200}, {-200, 0}});
  return s;
}

// The same square drawn counter-clockwise, so its inside is on the left.
Shape Fill0Square()
{
  Shape s;
  s.Styles.Fills = {Solid(Red)};
  Polygon(s, 0, 0, 1, 0, {{0, 200}, {200, 0}, {0, -200}, {-200, 0}});
  return s;
}

Shape Overlapping(bool NonZero)
{
  Shape s;
  s.NonZeroWinding = NonZero;
  s.Styles.Fills = {Solid(Red)};
  Square(s, 0, 0, 200, 1);
  Square(s, 100, 100, 200, 1);
  return s;
}

struct FillCase {
  const char* Name;
  Shape Input;
  std::size_t Part;
  QPointF Inside;
  QPointF Outside;
};

TEST(ShapePaths, FillsResolveToClosedOutlinesOnTheirSide)
{
  const FillCase cases[] = {
      {"fill1 only", SquareShape(1, Red, 200), 0, {100, 100}, {300, 100}},
      {"fill0 only", Fill0Square(), 0, {100, 100}, {-50, 100}},
      {"shared edge, left fill", SharedEdge(), 0, {100, 100}, {300, 100}},
      {"shared edge, right fill", SharedEdge(), 1, {300, 100}, {100, 100}},
      {"even-odd overlap is a hole", Overlapping(false), 0, {50, 50}, {150, 150}},
      {"non-zero overlap is filled", Overlapping(true), 0, {150, 150}, {350, 350}},
  };
  for (const FillCase& c : cases) {
    const ShapeGeometry g = BuildGeometry(c.Input);
    ASSERT_GT(g.Parts.size(), c.Part) << c.Name;
    const ShapePart& part = g.Parts[c.Part];
    EXPECT_EQ(part.Type, ShapePart::Kind::Fill) << c.Name;
    EXPECT_TRUE(part.Path.contains(c.Inside)) << c.Name;
    EXPECT_FALSE(part.Path.contains(c.Outside)) << c.Name;
  }
}

TEST(ShapePaths, SharedEdgeGivesEachFillOneContour)
{
  const ShapeGeometry g = BuildGeometry(SharedEdge());
  ASSERT_EQ(g.Parts.size(), 2u);
  for (const ShapePart& part : g.Parts) {
    const auto polygons = part.Path.toSubpathPolygons();
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0].boundingRect().width(), 200);
  }
}

TEST(ShapePaths, StylesOutOfRangeDrawNothing)
{
  Shape s;
  s.Styles.Fills = {Solid(Red)};
  Polygon(s, 0, 0, 7, 9, {{200, 0}, {0, 200}, {-200, 0}, {0, -200}}, 3);
  s.Records.push_back(Style(0, 0, 0, 1));
  s.Records.back().NewStyles = 4; // no such style set
  s.Records.push_back(Line(10, 10));
  EXPECT_TRUE(BuildGeometry(s).Parts.empty());
}

TEST(ShapePaths, NewStyleSetsPaintAfterTheEarlierSet)
{
  Shape s;
  s.Styles.Fills = {Solid(Red)};
  Square(s, 0, 0, 200, 1);
  s.NewStyles.push_back({{Solid(Blue)}, {}});
  ShapeRecord change = Style(0, 0, {}, {});
  change.NewStyles = 0;
  s.Records.push_back(change);
  Square(s, 100, 0, 200, 1);
  const ShapeGeometry g = BuildGeometry(s);
  ASSERT_EQ(g.Parts.size(), 2u);
  EXPECT_EQ(g.Parts[0].Fill.Color, Red);
  EXPECT_EQ(g.Parts[1].Fill.Color, Blue);
  EXPECT_TRUE(g.Parts[1].Path.contains(QPointF(250, 100)));
}

TEST(ShapePaths, StrokesStayOpenUnlessTheyReturnToTheirStart)
{
  struct Case {
    const char* Name;
    std::initializer_list<std::pair<std::int32_t, std::int32_t>> Deltas;
    bool NoClose;
    bool Closed;
  } cases[] = {
      {"three sides", {{200, 0}, {0, 200}, {-200, 0}}, false, false},
      {"four sides", {{200, 0}, {0, 200}, {-200, 0}, {0, -200}}, false, true},
  };
  for (const Case& c : cases) {
    Shape s;
    LineStyle line;
    line.Width = 20;
    line.NoClose = c.NoClose;
    s.Styles.Lines = {line};
    Polygon(s, 0, 0, 0, 0, c.Deltas, 1);
    const ShapeGeometry g = BuildGeometry(s);
    ASSERT_EQ(g.Parts.size(), 1u) << c.Name;
    EXPECT_EQ(g.Parts[0].Type, ShapePart::Kind::Stroke);
    // With flat caps and mitred joins, the outer corner at the start is
    // covered only when the polyline is closed there.
    QPainterPathStroker stroker;
    stroker.setWidth(20);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    const bool closed = stroker.createStroke(g.Parts[0].Path).contains(QPointF(-5, -5));
    EXPECT_EQ(closed, c.Closed) << c.Name;
  }
}

TEST(ShapePaths, CurvesMeasureTheirAnchorFromThePen)
{
  Shape s;
  s.Styles.Fills = {Solid(Red)};
  s.Records.push_back(Style(0, 0, 0, 1));
  ShapeRecord curve;
  curve.Type = ShapeRecord::Kind::CurvedEdge;
  curve.ControlDx = 100;
  curve.ControlDy = -100;
  curve.AnchorDx = 200;
  curve.AnchorDy = 0;
  s.Records.push_back(curve);
  s.Records.push_back(Line(0, 200));
  s.Records.push_back(Line(-200, 0));
  s.Records.push_back(Line(0, -200));
  const QRectF box = BuildGeometry(s).Parts.at(0).Path.boundingRect();
  EXPECT_DOUBLE_EQ(box.right(), 200);
  EXPECT_LT(box.top(), 0); // the curve bulges above the square
}

TEST(ShapeCache, KeepsOneGeometryPerShape)
{
  const Shape s = SquareShape(1, Red, 200);
  ShapeCache cache;
  EXPECT_EQ(&cache.Geometry(s), &cache.Geometry(s));
}

} // namespace
} // namespace quenloft::swf::render

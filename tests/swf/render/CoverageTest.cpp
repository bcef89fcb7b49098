// Anti-aliased coverage counted on the player's grid of cells per pixel.
#include "swf/render/AliasedSpans.h"

#include <gtest/gtest.h>

namespace quenloft::swf::render {
namespace {

// The coverage of pixel (X, 0) for the rectangle from x = 0 to Right,
// rows 0 to 1 fully covered.
int CoverageAt(double Right, int Grid, int X)
{
  QPainterPath path;
  path.addRect(QRectF(0, 0, Right, 1));
  const Coverage c = GridCoverage(path, QRect(0, 0, 8, 8), Grid);
  const QPoint at = QPoint(X, 0) - c.At;
  if (c.Image.isNull() || !c.Image.rect().contains(at))
    return 0;
  return c.Image.pixelColor(at).alpha();
}

TEST(GridCoverage, CountsCellCentresInsideThePath)
{
  struct Case {
    double Right;
    int Grid;
    int X;
    int Alpha;
  } cases[] = {
      {2.95, 4, 2, 255}, // every cell centre of the pixel is left of 2.95
      {2.45, 4, 2, 128}, // two of four columns
      {2.10, 4, 2, 0},   // none: the first centre is at 2.125
      {2.125, 4, 2, 0},  // a centre on the right edge belongs outside
      {2.20, 2, 2, 0},   // on 2 x 2 cells the centres are at 2.25 and 2.75
      {2.30, 2, 2, 128}, {2.80, 2, 2, 255}, {3.00, 4, 1, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Right << " on " << c.Grid);
    EXPECT_EQ(CoverageAt(c.Right, c.Grid, c.X), c.Alpha);
  }
}

TEST(GridCoverage, NothingInsideGivesANullImage)
{
  QPainterPath path;
  path.addRect(QRectF(20, 20, 5, 5));
  EXPECT_TRUE(GridCoverage(path, QRect(0, 0, 8, 8), 4).Image.isNull());
}

} // namespace
} // namespace quenloft::swf::render

// Anti-aliased coverage counted on the player's grid of cells per pixel.
#include "swf/render/AliasedSpans.h"
#include "swf/render/DevicePaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

TEST(DevicePath, QuadraticCurvesStayWithinATenthOfAShapePixel)
{
  struct Case {
    QPointF From, Control, To; // twips
    double Scale;              // twips to device
    int MinSegments, MaxSegments;
  };
  const Case cases[] = {
      {{0, 0}, {2000, 0}, {2000, 2000}, 0.05, 15, 20},  // a bend of 100 px
      {{0, 0}, {2000, 0}, {2000, 2000}, 0.2, 15, 20},   // the same shown 4 times larger: cut the same
      {{0, 0}, {200, 0}, {200, 200}, 0.05, 4, 7},       // 10 px: fewer cuts
      {{0, 0}, {1000, 1000}, {2000, 2000}, 0.05, 1, 1}, // straight: one segment
      {{0, 0}, {2000, 0}, {2000, 2000}, 5, 20, 200},    // 100 times larger: finer on the device
  };
  for (const Case& c : cases) {
    QPainterPath curve(c.From);
    curve.quadTo(c.Control, c.To);
    const QTransform t = QTransform::fromScale(c.Scale, c.Scale);
    const QPainterPath flat = DevicePath(curve, t);
    const int segments = flat.elementCount() - 1;
    EXPECT_GE(segments, c.MinSegments) << c.Scale;
    EXPECT_LE(segments, c.MaxSegments) << c.Scale;
    // Every segment's middle lies near the curve: the closest of many
    // points of it, in twips.
    const double limit = c.Scale > 1 ? 4 / c.Scale + 1 : 2.1;
    for (int i = 1; i < flat.elementCount(); ++i) {
      const QPointF mid = (QPointF(flat.elementAt(i - 1)) + QPointF(flat.elementAt(i))) / 2 / c.Scale;
      double nearest = 1e9;
      for (int k = 0; k <= 4000; ++k) {
        const double u = k / 4000.0, v = 1 - u;
        const QPointF p = c.From * (v * v) + c.Control * (2 * u * v) + c.To * (u * u);
        nearest = std::min(nearest, std::hypot(p.x() - mid.x(), p.y() - mid.y()));
      }
      EXPECT_LE(nearest, limit) << "segment " << i << " at scale " << c.Scale;
    }
    EXPECT_EQ(QPointF(flat.elementAt(flat.elementCount() - 1)), t.map(c.To));
  }
}

} // namespace
} // namespace quenloft::swf::render

// Anti-aliased coverage counted on the player's grid of cells per pixel.
#include "swf/render/AliasedSpans.h"
#include "swf/render/DevicePaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

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

TEST(SharedCoverage, EachCellGoesToTheLastPathOverIt)
{
  // Two rectangles over rows 0 to 1: the first from x = 0 to Split, the
  // second from Start to 6; what pixel 2 gets of each.
  struct Case {
    double Split, Start;
    int First, Second;
  } cases[] = {
      {2.3, 2.3, 64, 191},   // meeting inside the pixel: their shares add up to it
      {2.5, 2.5, 128, 128},  // meeting at its middle
      {4.0, 2.3, 64, 191},   // overlapping: the second keeps what it covers
      {2.3, 2.8, 64, 64},    // apart: the gap stays empty
      {4.0, 1.0, 0, 255},    // the first wholly under the second there
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Split << " " << c.Start);
    QPainterPath first, second;
    first.addRect(QRectF(0, 0, c.Split, 1));
    second.addRect(QRectF(c.Start, 0, 6 - c.Start, 1));
    const std::vector<Coverage> covers = SharedCoverage({&first, &second}, QRect(0, 0, 8, 8), 4);
    ASSERT_EQ(covers.size(), 2u);
    const auto at = [](const Coverage& C, int X) {
      const QPoint p = QPoint(X, 0) - C.At;
      return C.Image.isNull() || !C.Image.rect().contains(p) ? 0 : C.Image.pixelColor(p).alpha();
    };
    EXPECT_EQ(at(covers[0], 2), c.First);
    EXPECT_EQ(at(covers[1], 2), c.Second);
    EXPECT_EQ(at(covers[1], 5), 255);
  }
}

TEST(GridCoverage, RowsBoundWhatEachRowCovers)
{
  // Two pieces far apart and a triangle: rows of different reach.
  QPainterPath path;
  path.addRect(QRectF(1.3, 1.2, 2, 3));
  path.addRect(QRectF(30.6, 3.5, 1, 6));
  path.moveTo(5, 10);
  path.lineTo(25, 10);
  path.lineTo(5, 20);
  path.closeSubpath();
  for (int grid : {1, 4, 16}) {
    SCOPED_TRACE(grid);
    const Coverage c = GridCoverage(path, QRect(0, 0, 40, 40), grid);
    ASSERT_EQ(c.Rows.size(), static_cast<std::size_t>(c.Image.height()));
    for (int y = 0; y < c.Image.height(); ++y) {
      int first = c.Image.width(), end = 0;
      for (int x = 0; x < c.Image.width(); ++x) {
        if (c.Image.pixelColor(x, y).alpha() > 0) {
          first = std::min(first, x);
          end = x + 1;
        }
      }
      const auto [from, to] = c.Rows[static_cast<std::size_t>(y)];
      if (end == 0) {
        EXPECT_GE(from, to) << y;
        continue;
      }
      EXPECT_EQ(from, first) << y;
      EXPECT_EQ(to, end) << y;
    }
  }
}

TEST(DevicePath, ASharedCurveGivesTheSamePointsBothWays)
{
  const QPointF from(17, 3), control(1013, 41), to(1999, 1207);
  QPainterPath forward(from), backward(to);
  forward.quadTo(control, to);
  backward.quadTo(control, from);
  const QTransform t(0.0517, 0.013, -0.021, 0.049, 3.3, 7.1);
  const QPainterPath a = DevicePath(forward, t), b = DevicePath(backward, t);
  ASSERT_EQ(a.elementCount(), b.elementCount());
  ASSERT_GT(a.elementCount(), 3);
  for (int i = 0; i < a.elementCount(); ++i)
    EXPECT_EQ(QPointF(a.elementAt(i)), QPointF(b.elementAt(b.elementCount() - 1 - i))) << i;
}

TEST(DevicePath, ATolerancePutsALowerBoundOnTheCutsOfALargeCurve)
{
  // A quarter circle of 10 shape pixels shown 20 times its size: cut for
  // the shape's own pixels it strays pixels from the curve; with a
  // quarter-pixel tolerance it stays within that.
  QPainterPath curve(QPointF(200, 0));
  curve.quadTo(QPointF(200, 200), QPointF(0, 200));
  const QTransform t = QTransform::fromScale(1, 1);
  struct Case {
    double Tolerance;
    double MaxStray; // device pixels
  } cases[] = {{0, 8}, {0.25, 0.3}};
  double strays[2] = {0, 0};
  for (std::size_t k = 0; k < 2; ++k) {
    const QPainterPath flat = DevicePath(curve, t, cases[k].Tolerance);
    for (int i = 1; i < flat.elementCount(); ++i) {
      const QPointF mid = (QPointF(flat.elementAt(i - 1)) + QPointF(flat.elementAt(i))) / 2;
      double nearest = 1e9;
      for (int j = 0; j <= 4000; ++j) {
        const double u = j / 4000.0, v = 1 - u;
        const QPointF p = QPointF(200, 0) * (v * v) + QPointF(200, 200) * (2 * u * v) + QPointF(0, 200) * (u * u);
        nearest = std::min(nearest, std::hypot(p.x() - mid.x(), p.y() - mid.y()));
      }
      strays[k] = std::max(strays[k], nearest);
    }
    EXPECT_LE(strays[k], cases[k].MaxStray) << cases[k].Tolerance;
  }
  EXPECT_GT(strays[0], 1.0); // the fill's own rule is coarse at this size
}

TEST(HairlineOutline, CoversOnePixelAcrossPerRowOrColumn)
{
  struct Case {
    const char* Name;
    QPointF From, To;
    bool Steep;
  } cases[] = {
      {"vertical on a pixel centre", {4.5, 1}, {4.5, 9}, true},
      {"vertical between pixels", {4, 1}, {4, 9}, true},
      {"steep", {2.3, 0.7}, {6.1, 9.4}, true},
      {"diagonal", {1, 1}, {9, 9}, true},
      {"flat", {0.6, 3.2}, {9.7, 5.9}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    QPainterPath centre(c.From);
    centre.lineTo(c.To);
    const Coverage cover = GridCoverage(HairlineOutline(centre), QRect(0, 0, 12, 12), 4);
    ASSERT_FALSE(cover.Image.isNull());
    // Every row (steep) or column (flat) the line crosses holds one pixel
    // of coverage in all, however it falls between pixels.
    std::vector<int> sums(12, 0);
    for (int y = 0; y < cover.Image.height(); ++y) {
      for (int x = 0; x < cover.Image.width(); ++x) {
        const int alpha = cover.Image.pixelColor(x, y).alpha();
        sums[static_cast<std::size_t>(c.Steep ? y + cover.At.y() : x + cover.At.x())] += alpha;
      }
    }
    const double lo = c.Steep ? std::min(c.From.y(), c.To.y()) : std::min(c.From.x(), c.To.x());
    const double hi = c.Steep ? std::max(c.From.y(), c.To.y()) : std::max(c.From.x(), c.To.x());
    for (int r = 0; r < 12; ++r) {
      const bool crossed = r + 0.5 >= lo && r + 0.5 < hi;
      EXPECT_NEAR(sums[static_cast<std::size_t>(r)], crossed ? 255 : 0, 2) << r;
    }
  }
  // A vertical line on the pixel centres fills one column whole.
  QPainterPath line(QPointF(4.5, 1));
  line.lineTo(QPointF(4.5, 9));
  const Coverage cover = GridCoverage(HairlineOutline(line), QRect(0, 0, 12, 12), 4);
  EXPECT_EQ(cover.Image.pixelColor(QPoint(4, 5) - cover.At).alpha(), 255);
}

} // namespace
} // namespace quenloft::swf::render

// Filters on small hand-made bitmaps.
#include "swf/render/FilterPixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace quenloft::swf::render {
namespace {

// A W x H transparent image with an opaque square of Colour from (X, Y),
// Side pixels across.
QImage Square(int W, int H, int X, int Y, int Side, QRgb Colour = qRgb(0, 0, 255))
{
  QImage image(W, H, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  for (int y = Y; y < Y + Side; ++y)
    for (int x = X; x < X + Side; ++x)
      image.setPixel(x, y, Colour);
  return image;
}

Filter Glow(Filter::Kind Kind, bool Inner = false, bool Knockout = false, bool Composite = true)
{
  Filter f;
  f.Type = Kind;
  f.Color = {255, 0, 0, 255};
  f.BlurX = f.BlurY = 4;
  f.Strength = 2;
  f.Inner = Inner;
  f.Knockout = Knockout;
  f.Composite = Composite;
  return f;
}

TEST(BoxBlur, SpreadsAPixelOverTheBoxWithFractionalEnds)
{
  struct Case {
    double Width;
    int Passes;
    std::vector<int> Alphas; // from the lit pixel outwards
  } cases[] = {
      {5, 1, {51, 51, 51, 0}},      // five taps of a fifth
      {4, 1, {63, 63, 31, 0}},      // a half tap at each end
      {1, 1, {255, 0}},             // a pixel wide blurs nothing
      {3, 2, {85, 56, 28, 0}},      // two passes: a triangle over five pixels
      {0.5, 3, {255, 0}},
  };
  for (const Case& c : cases) {
    QImage image = Square(21, 1, 10, 0, 1, qRgb(255, 255, 255));
    BoxBlur(image, c.Width, 1, c.Passes);
    for (std::size_t i = 0; i < c.Alphas.size(); ++i) {
      EXPECT_NEAR(qAlpha(image.pixel(10 + static_cast<int>(i), 0)), c.Alphas[i], 1)
          << "width " << c.Width << " passes " << c.Passes << " at " << i;
      EXPECT_EQ(image.pixel(10 + static_cast<int>(i), 0), image.pixel(10 - static_cast<int>(i), 0));
    }
  }
}

TEST(GlowFilter, ModesDecideWhereTheGlowAndTheObjectShow)
{
  const QRgb blue = qRgb(0, 0, 255);
  struct Case {
    const char* Name;
    Filter F;
    QRgb Centre;   // inside the object, far from its edges
    bool EdgeRed;  // just inside the edge: some red
    bool OutsideRed; // just outside the edge: some red
    bool ObjectShows; // the object's blue inside the edge
  } cases[] = {
      {"outer", Glow(Filter::Kind::Glow), blue, false, true, true},
      {"outer knockout", Glow(Filter::Kind::Glow, false, true), 0, false, true, false},
      {"inner", Glow(Filter::Kind::Glow, true), blue, true, false, true},
      {"inner knockout", Glow(Filter::Kind::Glow, true, true), 0, true, false, false},
      {"hidden object", Glow(Filter::Kind::DropShadow, false, false, false), qRgb(255, 0, 0), true, true, false},
  };
  for (const Case& c : cases) {
    QImage image = Square(40, 40, 10, 10, 20);
    ApplyFilter(image, c.F);
    const QRgb edge = image.pixel(10, 20);
    const QRgb outside = image.pixel(9, 20);
    EXPECT_EQ(image.pixel(20, 20), c.Centre) << c.Name;
    EXPECT_EQ(qRed(edge) > 0, c.EdgeRed) << c.Name;
    EXPECT_EQ(qRed(outside) > 0, c.OutsideRed) << c.Name;
    EXPECT_EQ(qBlue(edge) > 0, c.ObjectShows) << c.Name;
    EXPECT_EQ(image.pixel(0, 0), 0u) << c.Name; // beyond the glow's reach
  }
}

TEST(DropShadowFilter, FallsAwayFromTheLightAndGrowsTheBoundsOnlyThatWay)
{
  Filter f = Glow(Filter::Kind::DropShadow);
  f.Distance = 6;
  struct Case {
    double Angle;
    QPoint Shadowed;
    QPoint Clear;
  } cases[] = {
      {0, {33, 20}, {6, 20}},
      {std::numbers::pi / 2, {20, 33}, {20, 6}},
      {std::numbers::pi, {6, 20}, {33, 20}},
  };
  for (const Case& c : cases) {
    f.Angle = c.Angle;
    QImage image = Square(40, 40, 10, 10, 20);
    ApplyFilter(image, f);
    EXPECT_GT(qRed(image.pixel(c.Shadowed)), 0) << c.Angle;
    EXPECT_EQ(image.pixel(c.Clear), 0u) << c.Angle;
  }
  f.Angle = 0;
  const QMargins grown = FilterGrowth(f);
  EXPECT_EQ(grown.left(), grown.top());
  EXPECT_EQ(grown.right(), grown.left() + 6);
}

TEST(BevelFilter, LightsTheSideTheLightComesFrom)
{
  Filter f;
  f.Type = Filter::Kind::Bevel;
  f.Highlight = {255, 255, 255, 255};
  f.Color = {0, 0, 0, 255};
  f.Angle = std::numbers::pi / 4;
  f.Distance = 3;
  f.BlurX = f.BlurY = 4;
  f.Inner = true;
  f.Knockout = true;
  QImage image = Square(40, 40, 10, 10, 20);
  ApplyFilter(image, f);
  const QRgb lit = image.pixel(11, 11);
  const QRgb shaded = image.pixel(28, 28);
  EXPECT_GT(qAlpha(lit), 0);
  EXPECT_EQ(qRed(lit), qAlpha(lit)); // white
  EXPECT_GT(qAlpha(shaded), 0);
  EXPECT_EQ(qRed(shaded), 0); // black
  EXPECT_EQ(image.pixel(5, 5), 0u); // inner: nothing outside the object
}

TEST(ColorMatrixFilter, MixesStraightColoursAndTakesNumbersThatAreNoneAsZero)
{
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* Name;
    std::array<float, 20> M;
    QRgb In;
    QRgb Out;
  } cases[] = {
      {"red and blue swapped", {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}, qRgb(200, 10, 50),
       qRgb(50, 10, 200)},
      {"half alpha, straight colour kept", {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0.5f, 0},
       qRgb(200, 100, 0), qPremultiply(qRgba(200, 100, 0, 128))},
      {"offsets clamp", {1, 0, 0, 0, 100, 0, 1, 0, 0, -300, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0}, qRgb(200, 100, 0),
       qRgb(255, 0, 0)},
      {"NaN everywhere", {nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan, nan,
                          nan, nan},
       qRgb(200, 100, 0), 0},
  };
  for (const Case& c : cases) {
    Filter f;
    f.Type = Filter::Kind::ColorMatrix;
    f.Colors = c.M;
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.setPixel(0, 0, c.In);
    ApplyFilter(image, f);
    EXPECT_NEAR(qRed(image.pixel(0, 0)), qRed(c.Out), 1) << c.Name;
    EXPECT_NEAR(qGreen(image.pixel(0, 0)), qGreen(c.Out), 1) << c.Name;
    EXPECT_NEAR(qBlue(image.pixel(0, 0)), qBlue(c.Out), 1) << c.Name;
    EXPECT_NEAR(qAlpha(image.pixel(0, 0)), qAlpha(c.Out), 1) << c.Name;
  }
}

TEST(ConvolutionFilter, WeighsNeighboursAndLeavesWorkPastItsBudgetUndone)
{
  Filter f;
  f.Type = Filter::Kind::Convolution;
  f.Columns = 3;
  f.Rows = 1;
  f.Matrix = {1, 0, 1}; // the left and right neighbours
  f.Divisor = 2;
  f.PreserveAlpha = false;
  QImage image = Square(5, 1, 2, 0, 1, qRgb(200, 200, 200));
  ApplyFilter(image, f);
  EXPECT_EQ(image.pixel(1, 0), qPremultiply(qRgba(100, 100, 100, 128)));
  EXPECT_EQ(image.pixel(2, 0), 0u);

  Filter huge = f;
  huge.Columns = huge.Rows = 255;
  huge.Matrix.assign(255 * 255, 1);
  QImage big = Square(1200, 1200, 2, 2, 4);
  const QImage before = big;
  ApplyFilter(big, huge);
  EXPECT_EQ(big, before);
}

TEST(ScaledFilter, BlursGrowWithTheStageBeyondTheirFirstPixel)
{
  Filter f = Glow(Filter::Kind::DropShadow);
  f.BlurX = 5;
  f.BlurY = 1;
  f.Distance = 4;
  const Filter twice = ScaledFilter(f, 2, 3);
  EXPECT_DOUBLE_EQ(twice.BlurX, 9);
  EXPECT_DOUBLE_EQ(twice.BlurY, 1);
  EXPECT_DOUBLE_EQ(twice.Distance, 12);
  f.BlurX = 200;
  EXPECT_DOUBLE_EQ(ScaledFilter(f, 4, 4).BlurX, 255); // the player's largest
}

} // namespace
} // namespace quenloft::swf::render

// Smoothed bitmap fills: texel weights, edges and colour transforms.
#include "swf/render/BitmapSampling.h"

#include <gtest/gtest.h>

#include <vector>

namespace quenloft::swf::render {
namespace {

// A row of premultiplied texels.
QImage Row(const std::vector<QRgb>& Texels)
{
  QImage image(static_cast<int>(Texels.size()), 1, QImage::Format_ARGB32_Premultiplied);
  for (int x = 0; x < image.width(); ++x)
    image.setPixel(x, 0, Texels[static_cast<std::size_t>(x)]);
  return image;
}

std::vector<int> Alphas(const QImage& Image)
{
  std::vector<int> out;
  for (int x = 0; x < Image.width(); ++x)
    out.push_back(qAlpha(Image.pixel(x, 0)));
  return out;
}

TEST(SmoothBitmap, WeighsTheTwoNearestTexelsInSteps256)
{
  struct Case {
    const char* Name;
    double Scale;
    bool Repeating;
    std::vector<int> Alpha; // of device pixels 0..7
  };
  // A transparent texel, then an opaque one.
  const QImage bitmap = Row({qRgba(0, 0, 0, 0), qRgba(255, 255, 255, 255)});
  const Case cases[] = {
      // Pixel 2's centre falls 1/8 past texel 0's centre: 32/256 of texel 1.
      {"four times larger, clipped: the edge texels stretch out",
       4,
       false,
       {0, 0, 32, 96, 159, 223, 255, 255}},
      {"four times larger, repeating: texel 1 blends into the next copy's texel 0",
       4,
       true,
       {96, 32, 32, 96, 159, 223, 223, 159}},
      // Pixel centres 0.5 apart from 0.25: a third of the way is 85.33/256.
      {"twice as large", 2, false, {0, 64, 191, 255, 255, 255, 255, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const QImage out =
        SampleSmoothBitmap(bitmap, QTransform::fromScale(c.Scale, 1), QRect(0, 0, 8, 1), c.Repeating, {});
    ASSERT_FALSE(out.isNull());
    EXPECT_EQ(Alphas(out), c.Alpha);
  }
}

TEST(SmoothBitmap, AppliesTheColourTransformToTheFilteredColour)
{
  struct Case {
    const char* Name;
    ColorTransform Ct;
    QRgb Expected; // premultiplied, at the point halfway between the texels
  };
  ColorTransform noRed;
  noRed.RMul = 0;
  ColorTransform addBlue;
  addBlue.BAdd = 255;
  ColorTransform halfAlpha;
  halfAlpha.AMul = 0.5;
  const Case cases[] = {
      // Half of opaque white over a transparent texel: white at half alpha.
      {"none", {}, qRgba(128, 128, 128, 128)},
      {"red taken away", noRed, qRgba(0, 128, 128, 128)},
      {"blue added stays within the alpha", addBlue, qRgba(128, 128, 128, 128)},
      {"alpha halved takes the colour with it", halfAlpha, qRgba(64, 64, 64, 64)},
  };
  const QImage bitmap = Row({qRgba(0, 0, 0, 0), qRgba(255, 255, 255, 255)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    // Pixel 1's centre (1.5) falls on 1.0, halfway between the centres.
    const QImage out =
        SampleSmoothBitmap(bitmap, QTransform::fromTranslate(0.5, 0), QRect(1, 0, 1, 1), false, c.Ct);
    ASSERT_FALSE(out.isNull());
    EXPECT_EQ(out.pixel(0, 0), c.Expected);
  }
  ColorTransform addAll;
  addAll.RAdd = addAll.AAdd = 255;
  const QImage clear = SampleSmoothBitmap(Row({qRgba(0, 0, 0, 0)}), {}, QRect(0, 0, 1, 1), false, addAll);
  EXPECT_EQ(clear.pixel(0, 0), qRgba(0, 0, 0, 0)) << "a transparent texel stays transparent";
}

TEST(SmoothBitmap, DrawsNothingItCannotMap)
{
  const QImage bitmap = Row({qRgba(255, 0, 0, 255)});
  EXPECT_TRUE(SampleSmoothBitmap(bitmap, QTransform::fromScale(0, 1), QRect(0, 0, 4, 4), false, {}).isNull());
  EXPECT_TRUE(SampleSmoothBitmap(QImage(), {}, QRect(0, 0, 4, 4), false, {}).isNull());
  EXPECT_TRUE(SampleSmoothBitmap(bitmap, {}, QRect(0, 0, 1 << 14, 1 << 14), false, {}).isNull());
}

} // namespace
} // namespace quenloft::swf::render

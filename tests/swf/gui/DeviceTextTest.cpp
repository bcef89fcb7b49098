// An edit field in a device font, drawn by the renderer with the system's
// fonts (which need the application that a window has).
#include "swf/EditText.h"
#include "swf/render/Renderer.h"
#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

#include <QFontDatabase>

namespace quenloft::swf {
namespace {

TEST(DeviceText, ShowsInTheSystemsFontInsideTheFieldOnly)
{
  testing::QtAppGuard guard;
  if (QFontDatabase::families().isEmpty())
    GTEST_SKIP() << "no fonts on this system";
  auto movie = std::make_shared<Movie>();
  movie->Stage = {0, 4000, 0, 2000}; // 200 x 100 pixels
  Font sans;
  sans.Id = 1;
  sans.Name = "_sans";
  movie->Dictionary.emplace(1, sans);
  EditTextField field;
  field.Id = 2;
  field.Bounds = {1000, 3000, 400, 1400}; // 50..150 x 20..70 pixels
  field.FontId = 1;
  field.Height = 600;
  field.Color = {255, 0, 0, 255};
  field.Html = true;
  field.Initial = "<p align='center'>WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW</p><p>MMMMMMMM</p>";
  auto text = LayOutEditText(field, *movie);
  ASSERT_TRUE(text && text->Device && text->Records.empty());
  movie->Dictionary.emplace(2, std::move(*text));
  DisplayObject placed;
  placed.Depth = 1;
  placed.Character = 2;

  const QImage image = render::Renderer(movie).RenderFrame({placed}, {200, 100}, render::Quality::High);
  int inside = 0;
  int outside = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (p == qRgb(255, 255, 255))
        continue;
      EXPECT_GT(qRed(p), qGreen(p)) << "a pixel not of the text's colour at " << x << "," << y;
      (x >= 50 && x < 150 && y >= 20 && y < 70 ? inside : outside) += 1;
    }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0) << "text spilled out of its field";
}

} // namespace
} // namespace quenloft::swf

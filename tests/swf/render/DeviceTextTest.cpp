// Edit fields in the system's fonts: edges by quality.
#include "swf/render/DeviceText.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace quenloft::swf::render {
namespace {

// Device fonts need the application's font database.
void EnsureApplication()
{
  if (QGuiApplication::instance())
    return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "test_swf_render";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

TEST(DeviceText, HardEdgedAtLowQualitySmoothOtherwise)
{
  EnsureApplication();
  DeviceText text;
  TextRun run;
  run.Format.Size = 400; // twenty pixels
  run.Format.Color = {0, 0, 0, 255};
  run.Text = U"Knockout";
  text.Runs = {run};
  for (const bool smooth : {false, true}) {
    QImage image(120, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing, smooth);
      p.setRenderHint(QPainter::TextAntialiasing, smooth);
      p.scale(1.0 / 20, 1.0 / 20);
      PaintDeviceText(p, text, QRectF(0, 0, 2400, 800), ColorTransform{}, smooth);
    }
    int solid = 0;
    int partial = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const int a = qAlpha(image.pixel(x, y));
        solid += a == 255;
        partial += a > 0 && a < 255;
      }
    EXPECT_GT(solid, 50) << "smooth " << smooth;
    if (smooth)
      EXPECT_GT(partial, 20);
    else
      EXPECT_EQ(partial, 0);
  }
}

} // namespace
} // namespace quenloft::swf::render

// Edit fields in the system's fonts: edges by quality.
#include "swf/render/DeviceText.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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
      PaintDeviceText(p, text, QRectF(0, 0, 2400, 800), ColorTransform{});
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

DeviceText OneRun(const std::u32string& Chars, std::int32_t Size, const std::string& Face = "_sans")
{
  DeviceText text;
  TextRun run;
  run.Format.Size = Size;
  run.Format.Face = Face;
  run.Text = Chars;
  text.Runs = {run};
  return text;
}

// Glyphs step by whole pixels and sit on the ascent cut to twips, whatever
// the size; a font the system lacks is drawn in the sans.
TEST(DeviceText, GlyphsStepByWholePixels)
{
  EnsureApplication();
  const QRectF box(0, 0, 20000, 2000);
  for (const std::int32_t size : {200, 250, 333, 580}) {
    const auto lines = DeviceTextOutlines(OneRun(U"llll", size), box, ColorTransform{});
    ASSERT_EQ(lines.size(), 1u) << size;
    const QPainterPath& path = lines[0].Path;
    // Each 'l' is one closed outline: their left edges, one by one.
    std::vector<qreal> lefts;
    for (const QPolygonF& outline : path.toSubpathPolygons())
      lefts.push_back(outline.boundingRect().left());
    ASSERT_EQ(lefts.size(), 4u) << size;
    std::sort(lefts.begin(), lefts.end());
    for (std::size_t i = 1; i < lefts.size(); ++i) {
      const qreal step = lefts[i] - lefts[i - 1];
      EXPECT_NEAR(step, std::round(step / 20) * 20, 1e-6) << size;
      EXPECT_GT(step, 0) << size;
    }
    // The glyphs' feet on the baseline: the gutter plus the ascent, in whole twips.
    const qreal foot = path.boundingRect().bottom() - 40;
    EXPECT_NEAR(foot, std::trunc(foot), 1e-3) << size;
    EXPECT_GT(foot, size * 0.8) << size;
  }
  const auto named = DeviceTextOutlines(OneRun(U"Ag", 400, "No Such Font Anywhere"), box, ColorTransform{});
  const auto sans = DeviceTextOutlines(OneRun(U"Ag", 400), box, ColorTransform{});
  ASSERT_EQ(named.size(), 1u);
  ASSERT_EQ(sans.size(), 1u);
  EXPECT_EQ(named[0].Path.boundingRect(), sans[0].Path.boundingRect());
}

// Colours by run, alignment by the whole-pixel width.
TEST(DeviceText, RunsKeepTheirColoursAndLinesAlign)
{
  EnsureApplication();
  DeviceText text = OneRun(U"ab", 400);
  TextRun second = text.Runs[0];
  second.Text = U"cd";
  second.Format.Color = {255, 0, 0, 255};
  text.Runs.push_back(second);
  const QRectF box(0, 0, 4000, 800);
  const auto left = DeviceTextOutlines(text, box, ColorTransform{});
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].Color, QColor(0, 0, 0));
  EXPECT_EQ(left[1].Color, QColor(255, 0, 0));
  EXPECT_LT(left[0].Path.boundingRect().right(), left[1].Path.boundingRect().left());
  struct Row {
    TextAlign Align;
    double Share; // of the room left on the line
  };
  for (const Row& r : {Row{TextAlign::Right, 1.0}, Row{TextAlign::Center, 0.5}}) {
    for (TextRun& run : text.Runs)
      run.Format.Align = r.Align;
    const auto aligned = DeviceTextOutlines(text, box, ColorTransform{});
    ASSERT_EQ(aligned.size(), 2u);
    const qreal moved = aligned[0].Path.boundingRect().left() - left[0].Path.boundingRect().left();
    // Every glyph moves alike, by a share of the room.
    EXPECT_NEAR(aligned[1].Path.boundingRect().left() - left[1].Path.boundingRect().left(), moved, 1e-6);
    EXPECT_GT(moved, 0);
    EXPECT_LT(moved, (box.width() - 80) * r.Share);
  }
}

} // namespace
} // namespace quenloft::swf::render

// Gradient ramps, spread modes, bitmap fills and line widths, drawn through
// the painter backend onto small images.
#include "swf/render/DevicePaths.h"
#include "swf/render/Paint.h"
#include "swf/render/PainterBackend.h"
#include "swf/render/ShapePaths.h"

#include <gtest/gtest.h>

#include "tests/swf/render/Shapes.h"

namespace quenloft::swf::render {
namespace {

using namespace testing;

const Rgba Black{0, 0, 0, 255};
const Rgba White{255, 255, 255, 255};
const Rgba Red{255, 0, 0, 255};
const Rgba Blue{0, 0, 255, 255};

Gradient Ramp(std::initializer_list<GradientStop> Stops, InterpolationMode Mode = InterpolationMode::Rgb)
{
  Gradient g;
  g.Stops = Stops;
  g.Interpolation = Mode;
  return g;
}

TEST(GradientRamp, SamplesStopsAsThePlayerDoes)
{
  struct Case {
    const char* Name;
    Gradient G;
    ColorTransform Ct;
    int Index;
    QRgb Expected;
  } cases[] = {
      {"halfway", Ramp({{0, Black}, {255, White}}), {}, 128, qRgb(128, 128, 128)},
      {"before the first stop", Ramp({{64, Red}, {255, Blue}}), {}, 10, qRgb(255, 0, 0)},
      {"after the last stop", Ramp({{0, Red}, {100, Blue}}), {}, 200, qRgb(0, 0, 255)},
      {"linear light",
       Ramp({{0, Black}, {255, White}}, InterpolationMode::LinearRgb),
       {},
       128,
       qRgb(188, 188, 188)},
      {"equal ratios, before the edge",
       Ramp({{0, Red}, {128, Red}, {128, Blue}, {255, Blue}}),
       {},
       127,
       qRgb(255, 0, 0)},
      {"equal ratios, at the edge",
       Ramp({{0, Red}, {128, Red}, {128, Blue}, {255, Blue}}),
       {},
       128,
       qRgb(255, 0, 0)},
      {"equal ratios, after the edge",
       Ramp({{0, Red}, {128, Red}, {128, Blue}, {255, Blue}}),
       {},
       129,
       qRgb(0, 0, 255)},
      {"a run of equal ratios shows each stop in turn",
       Ramp({{0, Black}, {100, Red}, {100, Blue}, {100, White}, {255, Black}}),
       {},
       102,
       qRgb(255, 255, 255)},
      {"after a run, the next pair blends from its own ratio",
       Ramp({{0, Red}, {100, Red}, {100, Blue}, {100, Black}, {200, White}}),
       {},
       104,
       qRgb(10, 10, 10)},
      {"a falling ratio paints nothing", Ramp({{255, Blue}, {0, Red}}), {}, 0, qRgb(0, 0, 255)},
      {"a pair after a fall paints on from the furthest ratio",
       Ramp({{0, Red}, {100, Black}, {50, White}, {150, Blue}}),
       {},
       125,
       qRgb(64, 64, 255)},
      {"beyond the furthest ratio, the last stop",
       Ramp({{0, Red}, {200, Blue}, {100, White}}),
       {},
       230,
       qRgb(255, 255, 255)},
      {"colour transform",
       Ramp({{0, White}, {255, White}}),
       {0.5, 1, 0, 1, 0, 0, 10, 0},
       50,
       qRgb(128, 255, 10)},
  };
  for (const Case& c : cases) {
    const QRgb got = GradientRamp(c.G, c.Ct)[c.Index];
    EXPECT_NEAR(qRed(got), qRed(c.Expected), 1) << c.Name;
    EXPECT_NEAR(qGreen(got), qGreen(c.Expected), 1) << c.Name;
    EXPECT_NEAR(qBlue(got), qBlue(c.Expected), 1) << c.Name;
  }
}

TEST(LineWidth, FollowsTheScaleFlagsWithAOnePixelFloor)
{
  struct Case {
    const char* Name;
    std::uint16_t Width;
    bool ScaleX, ScaleY;
    QTransform ToDevice;
    double Pixels;
  } cases[] = {
      {"hairline", 0, true, true, QTransform::fromScale(0.05, 0.05), 1},
      {"scaled", 40, true, true, QTransform::fromScale(0.1, 0.1), 4},
      {"thinner than a pixel", 4, true, true, QTransform::fromScale(0.05, 0.05), 1},
      {"not scaled", 40, false, false, QTransform::fromScale(1, 1), 2},
      {"horizontal only", 40, true, false, QTransform::fromScale(0.2, 0.05), 8},
      {"vertical only", 40, false, true, QTransform::fromScale(0.2, 0.05), 2},
  };
  for (const Case& c : cases) {
    LineStyle l;
    l.Width = c.Width;
    l.ScaleHorizontal = c.ScaleX;
    l.ScaleVertical = c.ScaleY;
    EXPECT_DOUBLE_EQ(LineWidthPixels(l, c.ToDevice, 0.05), c.Pixels) << c.Name;
  }
}

// Draws Fill over a 100 x 20 pixel rectangle (twips, 1:20) without
// anti-aliasing, with Bitmap as the only bitmap (id 1).
QImage DrawFill(const FillStyle& Fill, const QImage& Bitmap = {})
{
  Shape s;
  s.Styles.Fills = {Fill};
  Polygon(s, 0, 0, 0, 1, {{2000, 0}, {0, 400}, {-2000, 0}, {0, -400}});
  QImage image(100, 20, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  PaintOptions options;
  options.StageToDevice = QTransform::fromScale(0.05, 0.05);
  options.Antialias = false;
  ShapeCache cache;
  DeviceCache devices;
  {
    PainterBackend backend(image, options, cache, devices,
                           [&](CharacterId Id) { return Id == 1 && !Bitmap.isNull() ? &Bitmap : nullptr; });
    backend.DrawShape({1, &s, {}, {}});
  }
  return image;
}

TEST(GradientFill, SpreadModesContinueBeyondTheGradientSquare)
{
  // Black to white over the first 10 pixels (200 twips) of the rectangle.
  FillStyle f;
  f.Kind = FillKind::LinearGradient;
  f.Gradient = Ramp({{0, Black}, {255, White}});
  f.Gradient.Transform.A = 200.0 / 32768;
  f.Gradient.Transform.Tx = 100;
  struct Case {
    SpreadMode Mode;
    int X;
    int Gray;
  } cases[] = {
      // A pixel's centre at x + 0.5 sits at (x + 0.5) / 10 of the ramp.
      {SpreadMode::Pad, 1, 38},      {SpreadMode::Pad, 15, 255},    {SpreadMode::Pad, 95, 255},
      {SpreadMode::Repeat, 11, 38},  {SpreadMode::Repeat, 41, 38},  {SpreadMode::Reflect, 11, 217},
      {SpreadMode::Reflect, 21, 38}, {SpreadMode::Reflect, 18, 38},
  };
  for (const Case& c : cases) {
    f.Gradient.Spread = c.Mode;
    const QImage image = DrawFill(f);
    EXPECT_NEAR(qRed(image.pixel(c.X, 10)), c.Gray, 8)
        << "spread " << static_cast<int>(c.Mode) << " at x " << c.X;
  }
}

TEST(GradientFill, LowQualityMixesNeighbouringEntriesAndKeepsHardStops)
{
  // The gradient square over 512 pixels: pixel x's centre is at (x + 0.5) / 2
  // ramp entries.
  FillStyle f;
  f.Kind = FillKind::LinearGradient;
  f.Gradient.Transform.Tx = 256;
  f.Gradient.Transform.A = 512.0 / 32768;
  struct Case {
    const char* Name;
    Gradient G;
    int X;
    bool Filtered;
    QRgb Expected;
  } cases[] = {
      // Entry 0 black, entries from 1 white: at 0.75 of an entry, a quarter
      // of the way between the entries' centres; mixed colours are cut down
      // to whole steps like the ramp's own.
      {"filtered mixes", Ramp({{0, Black}, {1, White}}), 1, true, qRgb(63, 63, 63)},
      {"unfiltered takes one entry", Ramp({{0, Black}, {1, White}}), 1, false, qRgb(0, 0, 0)},
      {"filtered keeps a hard stop", Ramp({{0, Red}, {128, Red}, {128, Blue}, {255, Blue}}), 257, true,
       qRgb(0, 0, 255)},
      {"filtered before a hard stop", Ramp({{0, Red}, {128, Red}, {128, Blue}, {255, Blue}}), 256, true,
       qRgb(255, 0, 0)},
  };
  for (const Case& c : cases) {
    f.Gradient.Stops = c.G.Stops;
    const QImage image = GradientImage(f, {}, QTransform(), QRect(0, 0, 512, 1), c.Filtered);
    ASSERT_FALSE(image.isNull()) << c.Name;
    EXPECT_EQ(image.pixel(c.X, 0), c.Expected) << c.Name;
  }
}

TEST(Coverage, AntiAliasedEdgesCountSamplesNotArea)
{
  // A rectangle from x = 0.3 to 2.3 pixels: pixel 0 holds 3 of its 4 sample
  // columns (75%, where the exact area is 70%), pixel 2 one (25%, not 30%).
  Shape s;
  s.Styles.Fills = {Solid(Black)};
  Polygon(s, 6, 0, 0, 1, {{40, 0}, {0, 80}, {-40, 0}, {0, -80}});
  struct Case {
    int Grid;
    int X;
    int Coverage;
  } cases[] = {{4, 0, 191}, {4, 1, 255}, {4, 2, 64}, {2, 0, 128}, {2, 2, 128}};
  for (const Case& c : cases) {
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    PaintOptions options;
    options.StageToDevice = QTransform::fromScale(0.05, 0.05);
    options.Grid = c.Grid;
    ShapeCache cache;
    DeviceCache devices;
    {
      PainterBackend backend(image, options, cache, devices, {});
      backend.DrawShape({1, &s, {}, {}});
    }
    EXPECT_NEAR(qAlpha(image.pixel(c.X, 1)), c.Coverage, 1) << c.Grid << "x" << c.Grid << " at x " << c.X;
  }
}

TEST(BitmapFill, ClippedShowsTheBitmapOnceRepeatingTilesIt)
{
  // A 2 x 2 bitmap of red and blue columns, scaled to 10 pixels a texel.
  QImage bitmap(2, 2, QImage::Format_ARGB32_Premultiplied);
  bitmap.setPixel(0, 0, qRgb(255, 0, 0));
  bitmap.setPixel(0, 1, qRgb(255, 0, 0));
  bitmap.setPixel(1, 0, qRgb(0, 0, 255));
  bitmap.setPixel(1, 1, qRgb(0, 0, 255));
  FillStyle f;
  f.Kind = FillKind::Bitmap;
  f.BitmapId = 1;
  f.BitmapTransform.A = f.BitmapTransform.D = 200;
  f.Smoothed = false;
  struct Case {
    bool Repeating;
    int X;
    QRgb Expected;
  } cases[] = {
      {true, 5, qRgb(255, 0, 0)},       {true, 15, qRgb(0, 0, 255)}, {true, 25, qRgb(255, 0, 0)},
      {true, 75, qRgb(0, 0, 255)},      {false, 5, qRgb(255, 0, 0)}, {false, 15, qRgb(0, 0, 255)},
      {false, 25, qRgb(255, 255, 255)},
  };
  for (const Case& c : cases) {
    f.Repeating = c.Repeating;
    EXPECT_EQ(DrawFill(f, bitmap).pixel(c.X, 5), c.Expected)
        << (c.Repeating ? "repeating" : "clipped") << " at x " << c.X;
  }
}

TEST(BitmapFill, AnUnknownBitmapDrawsNothing)
{
  FillStyle f;
  f.Kind = FillKind::Bitmap;
  f.BitmapId = 0xFFFF;
  EXPECT_EQ(DrawFill(f).pixel(50, 10), qRgb(255, 255, 255));
}

TEST(DeviceCache, KeepsWhatTheLastFrameUsedAndNothingOfOtherHandles)
{
  DeviceCache cache;
  cache.Target({10, 10}, 4);
  const QTransform at = QTransform::fromTranslate(3, 4);
  cache.Keep(1, at, {});
  cache.Keep(2, at, {});
  cache.NextFrame();
  ASSERT_NE(cache.Find(1, at), nullptr); // used in this frame
  EXPECT_EQ(cache.Find(3, at), nullptr); // another handle at the same place
  EXPECT_EQ(cache.Find(1, QTransform::fromTranslate(3, 4.5)), nullptr); // half a pixel off
  cache.NextFrame();
  EXPECT_EQ(cache.Size(), 1u); // 2 went unused for a frame
  EXPECT_EQ(cache.Find(2, at), nullptr);
  cache.Target({10, 11}, 4); // another target size
  EXPECT_EQ(cache.Find(1, at), nullptr);
}

// A filtered object drawn the same in the next frame comes from the cache
// (one entry, the same pixels); one frame without it drops the entry; one
// that draws inside it a shape of another handle gets an entry of its own.
TEST(DeviceCache, KeepsAFilteredObjectWhileItIsDrawnTheSame)
{
  Shape red = SquareShape(1, {255, 0, 0, 255}, 400);
  Shape blue = SquareShape(2, {0, 0, 255, 255}, 400);
  Filter blur;
  blur.BlurX = blur.BlurY = 4;
  const FilterList filters{blur};
  PaintOptions options;
  options.StageToDevice = QTransform::fromScale(0.05, 0.05);
  ShapeCache cache;
  DeviceCache devices;
  const auto frame = [&](const Shape* S) {
    devices.NextFrame();
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    PainterBackend backend(image, options, cache, devices, {});
    if (S) {
      Matrix at;
      at.Tx = at.Ty = 200;
      backend.BeginFilters(filters, {}, {200, 200});
      backend.DrawShape({S->Id, S, at, {}});
      backend.EndFilters();
    }
    return image;
  };
  const QImage first = frame(&red);
  EXPECT_EQ(devices.FilteredCount(), 1u);
  EXPECT_NE(first.pixel(15, 15), qRgb(255, 255, 255));
  EXPECT_EQ(frame(&red), first);
  EXPECT_EQ(devices.FilteredCount(), 1u);
  const QImage other = frame(&blue);
  EXPECT_NE(other, first);
  EXPECT_EQ(devices.FilteredCount(), 2u); // the red one used a frame ago
  frame(nullptr);
  frame(nullptr);
  EXPECT_EQ(devices.FilteredCount(), 0u);
}

TEST(DeviceCache, AreasMovedByWholePixelsAreTheAreasDrawnThere)
{
  // A 15 px square with a corner cut off, so its edges cross pixels.
  Shape s;
  s.Styles.Fills.push_back(Solid({255, 0, 0, 255}));
  Polygon(s, 0, 0, 0, 1, {{300, 0}, {0, 300}, {-150, 0}, {-150, -150}, {0, -150}});
  const ShapeGeometry geometry = BuildGeometry(s);
  const QTransform first = QTransform::fromScale(1.0 / 20, 1.0 / 20) * QTransform::fromTranslate(2.3, 1.6);
  struct Case {
    double Dx, Dy;
    bool Reused;
  } cases[] = {
      {3, 2, true},     {-1, 5, true},     {40, 40, true},
      {90, 0, false},   // cut off by the target there
      {-3, 0, false},   // and here
      {3.25, 2, false}, // another fraction of a pixel
  };
  for (int grid : {0, 4}) {
    for (const Case& c : cases) {
      DeviceCache cache;
      cache.Target({100, 80}, grid);
      cache.Keep(7, first, DeviceAreas(geometry, first, 0.05, QRect(0, 0, 100, 80), grid));
      const QTransform moved = first * QTransform::fromTranslate(c.Dx, c.Dy);
      const auto* found = cache.Find(7, moved);
      ASSERT_EQ(found != nullptr, c.Reused) << "grid " << grid << " by " << c.Dx << ", " << c.Dy;
      if (!found)
        continue;
      const auto fresh = DeviceAreas(geometry, moved, 0.05, QRect(0, 0, 100, 80), grid);
      ASSERT_EQ(found->size(), fresh.size());
      for (std::size_t i = 0; i < fresh.size(); ++i) {
        EXPECT_EQ((*found)[i].Cover.At, fresh[i].Cover.At);
        EXPECT_EQ((*found)[i].Cover.Image, fresh[i].Cover.Image);
        ASSERT_EQ((*found)[i].Spans.size(), fresh[i].Spans.size());
        for (std::size_t k = 0; k < fresh[i].Spans.size(); ++k) {
          EXPECT_EQ((*found)[i].Spans[k].Y, fresh[i].Spans[k].Y);
          EXPECT_EQ((*found)[i].Spans[k].X0, fresh[i].Spans[k].X0);
        }
      }
    }
  }
}

} // namespace
} // namespace quenloft::swf::render

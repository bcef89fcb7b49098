// Frames brought up to date by drawing only what changed must equal frames
// drawn whole; colour-transformed bitmaps through their tables must equal
// the transform applied pixel by pixel.
#include "swf/render/Renderer.h"
#include "swf/render/TintCache.h"
#include "swf/Filters.h"
#include "swf/MovieReader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/swf/render/Shapes.h"

namespace quenloft::swf::render {
namespace {

using namespace testing;

class Changes : public ::testing::Test {
protected:
  Changes()
  {
    M->Stage = {0, 2000, 0, 2000}; // 100 x 100 pixels
    M->Background = {255, 255, 255, 255};
    M->Dictionary.emplace(1, SquareShape(1, {255, 0, 0, 255}));       // 100 px
    M->Dictionary.emplace(2, SquareShape(2, {0, 0, 255, 255}, 1000)); // 50 px
    M->Dictionary.emplace(3, SquareShape(3, {0, 255, 0, 160}, 300));  // 15 px, see-through
    Sprite s;
    s.Id = 10;
    M->Dictionary.emplace(10, s);
  }

  static DisplayObject Group(Depth D, DisplayList Children, BlendMode Mode = BlendMode::Normal)
  {
    DisplayObject o = Placed(D, 10);
    o.Sprite = std::make_shared<SpriteInstance>();
    o.Sprite->List = std::move(Children);
    o.Blend = Mode;
    return o;
  }

  std::shared_ptr<Movie> M = std::make_shared<Movie>();
};

TEST_F(Changes, FramesDrawnByTheirChangesEqualFramesDrawnWhole)
{
  DisplayObject mask = Placed(3, 2, 250, 250);
  mask.ClipDepth = 5;
  DisplayObject tinted = Placed(4, 3, 710, 330);
  tinted.Color.RMul = 0.5;
  tinted.Color.BAdd = 90;
  DisplayObject turned = Placed(4, 3, 700, 300);
  turned.Transform.B = 0.4;
  turned.Transform.C = -0.4;
  Filter glow;
  glow.Type = Filter::Kind::Glow;
  glow.Color = {255, 0, 0, 255};
  glow.BlurX = glow.BlurY = 4;
  glow.Strength = 2;
  DisplayObject glowing = Placed(4, 3, 300, 1500);
  glowing.Filters = std::make_shared<const FilterList>(FilterList{glow});
  const DisplayObject background = Placed(1, 1);
  // Each frame after the one before: moves by whole and part pixels, a
  // colour change, a mask and what it cuts, depths swapped, blend modes
  // (Alpha cuts the layer under it where it is empty too), filters.
  const DisplayList frames[] = {
      {background, Placed(4, 3, 100, 100)},
      {background, Placed(4, 3, 100, 100)},
      {background, Placed(4, 3, 120, 100)},
      {background, Placed(4, 3, 127, 113)},
      {background, Placed(2, 2, 400, 400), Placed(4, 3, 127, 113)},
      {background, Placed(2, 3, 127, 113), Placed(4, 2, 400, 400)},
      {background, Placed(2, 3, 127, 113), Placed(4, 3, 710, 330)},
      {background, Placed(2, 3, 127, 113), tinted},
      {background, Placed(2, 3, 127, 113), turned},
      {background, mask, Placed(4, 3, 300, 300), Placed(6, 3, 1500, 1500)},
      {background, mask, Placed(4, 3, 360, 300), Placed(6, 3, 1500, 1500)},
      {background, Placed(3, 2, 250, 250), Placed(4, 3, 360, 300), Placed(6, 3, 1500, 1500)},
      {background, Group(3, {Placed(1, 2), Placed(2, 3, 200, 200)}, BlendMode::Multiply)},
      {background, Group(3, {Placed(1, 2), Placed(2, 3, 260, 200)}, BlendMode::Multiply)},
      {Group(1, {background, Placed(2, 3, 500, 500)}, BlendMode::Layer)},
      {Group(1, {background, Group(2, {Placed(1, 3, 500, 500)}, BlendMode::Erase)}, BlendMode::Layer)},
      {Group(1, {background, Group(2, {Placed(1, 3, 500, 500)}, BlendMode::Alpha)}, BlendMode::Layer)},
      {Group(1, {background, Group(2, {Placed(1, 3, 540, 500)}, BlendMode::Subtract)}, BlendMode::Layer)},
      {background, glowing},
      {background, glowing, Placed(6, 3, 1700, 100)},
      {background, glowing, Placed(6, 3, 1700, 140)},
      {},
  };
  for (Quality q : {Quality::Low, Quality::High}) {
    Renderer updated(M);
    QImage frame(100, 100, QImage::Format_ARGB32_Premultiplied);
    int partial = 0;
    for (std::size_t i = 0; i < std::size(frames); ++i) {
      const QRegion changed = updated.Update(frames[i], frame, q);
      EXPECT_EQ(frame, Renderer(M).RenderFrame(frames[i], {100, 100}, q)) << "frame " << i;
      if (i == 1) {
        EXPECT_TRUE(changed.isEmpty()) << "nothing changed";
      }
      if (!changed.isEmpty() && changed != QRegion(frame.rect()))
        ++partial;
    }
    EXPECT_GE(partial, 8) << "most frames change only a part";
  }
}

// A layer is blended where it was drawn on, whichever way that was.
TEST_F(Changes, ALayerBlendsEverythingDrawnOnIt)
{
  Shape graded = SquareShape(4, {0, 0, 255, 255}, 1000);
  FillStyle& f = graded.Styles.Fills[0];
  f.Kind = FillKind::LinearGradient;
  f.Gradient.Stops = {{0, {0, 0, 255, 255}}, {255, {0, 0, 255, 255}}};
  f.Gradient.Transform.A = f.Gradient.Transform.D = 1000.0 / 32768;
  M->Dictionary.emplace(4, graded);
  DisplayObject mask = Placed(1, 2, 500, 500);
  mask.ClipDepth = 3;
  const DisplayObject square = Placed(2, 2, 500, 500);
  struct Case {
    const char* Name;
    DisplayObject Content;
  } cases[] = {
      {"shape", Group(1, {square})},
      {"layer in the layer", Group(1, {Group(1, {square}, BlendMode::Layer)})},
      {"masked", Group(1, {mask, square})},
      {"kept as pixels", Group(1, {Placed(1, 4, 500, 500)})},
  };
  for (Quality q : {Quality::Low, Quality::High}) {
    for (const Case& c : cases) {
      for (auto [mode, expected] : {std::pair{BlendMode::Difference, qRgb(255, 0, 255)},
                                    std::pair{BlendMode::Invert, qRgb(0, 255, 255)}}) {
        DisplayObject layer = c.Content;
        layer.Depth = 2;
        layer.Blend = mode;
        const QImage image = Renderer(M).RenderFrame({Placed(1, 1), layer}, {100, 100}, q);
        EXPECT_EQ(image.pixel(50, 50), expected) << c.Name << ", mode " << static_cast<int>(mode);
        EXPECT_EQ(image.pixel(10, 10), qRgb(255, 0, 0)) << c.Name << ", outside";
      }
    }
  }
}

TEST_F(Changes, AFrameDrawnOnByAnyoneElseIsDrawnWhole)
{
  Renderer renderer(M);
  QImage frame(100, 100, QImage::Format_ARGB32_Premultiplied);
  const DisplayList list{Placed(1, 2, 500, 500)};
  EXPECT_EQ(renderer.Update(list, frame, Quality::High), QRegion(frame.rect()));
  EXPECT_TRUE(renderer.Update(list, frame, Quality::High).isEmpty());
  frame.fill(Qt::black);
  EXPECT_EQ(renderer.Update(list, frame, Quality::High), QRegion(frame.rect()));
  EXPECT_EQ(renderer.Update(list, frame, Quality::Low), QRegion(frame.rect())) << "another quality";
  QImage other(100, 100, QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(renderer.Update(list, other, Quality::Low), QRegion(other.rect())) << "another image";
  EXPECT_EQ(other, renderer.RenderFrame(list, {100, 100}, Quality::Low));
  QImage wrong(100, 100, QImage::Format_RGB32);
  EXPECT_THROW(renderer.Update(list, wrong, Quality::Low), ERenderError);
}

TEST(TintedImage, EqualsTheColourTransformAppliedToEveryPixel)
{
  QImage source(4, 1, QImage::Format_ARGB32);
  source.setPixel(0, 0, qRgba(255, 128, 0, 255));
  source.setPixel(1, 0, qRgba(10, 200, 90, 128));
  source.setPixel(2, 0, qRgba(0, 0, 0, 0));
  source.setPixel(3, 0, qRgba(250, 250, 250, 20));
  ColorTransform halve;
  halve.RMul = 0.5;
  ColorTransform clamps;
  clamps.GMul = 3;
  clamps.BAdd = -300;
  clamps.AAdd = 100;
  ColorTransform fade;
  fade.AMul = 0.25;
  fade.RAdd = 40;
  for (const ColorTransform& ct : {halve, clamps, fade}) {
    const QImage premultiplied = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage tinted = TintedImage(premultiplied, ct).convertToFormat(QImage::Format_ARGB32);
    const QImage straight = premultiplied.convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < source.width(); ++x) {
      const QRgb p = straight.pixel(x, 0);
      const Rgba want = ct.Apply({static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                                  static_cast<std::uint8_t>(qBlue(p)), static_cast<std::uint8_t>(qAlpha(p))});
      const QRgb got = tinted.pixel(x, 0);
      EXPECT_EQ(qAlpha(got), want.A) << "pixel " << x;
      if (want.A == 255) {
        EXPECT_EQ(got, qRgba(want.R, want.G, want.B, 255)) << "pixel " << x;
      }
    }
  }
}

TEST(TintCache, KeepsACopyWhileItIsUsedAndFollowsTheSourcesPixels)
{
  QImage source(2, 2, QImage::Format_ARGB32_Premultiplied);
  source.fill(qRgba(100, 100, 100, 255));
  ColorTransform ct;
  ct.RAdd = 50;
  TintCache cache;
  const qint64 first = cache.Get(source, ct).cacheKey();
  cache.NextFrame();
  EXPECT_EQ(cache.Get(source, ct).cacheKey(), first) << "used again: kept";
  EXPECT_EQ(qRed(cache.Get(source, ct).pixel(0, 0)), 150);
  source.fill(qRgba(0, 0, 0, 255)); // new pixels: a new cache key
  EXPECT_EQ(qRed(cache.Get(source, ct).pixel(0, 0)), 50);
  cache.NextFrame();
  cache.NextFrame();
  EXPECT_EQ(cache.Size(), 0u) << "a frame that used nothing drops everything";
}

// The reference movies (skipped without them), played at high quality.
TEST(ChangesOfReferenceMovies, EqualFramesDrawnWhole)
{
  const std::filesystem::path root = std::filesystem::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures" / "ruffle";
  if (!std::filesystem::exists(root))
    GTEST_SKIP() << "no reference movies at " << root;
  for (const char* name : {"from_shumway__acid__acid-blend", "from_shumway__acid__acid-small",
                           "from_shumway__acid__acid-clip", "from_shumway__acid__acid-color-0",
                           "from_shumway__acid__acid-text-6"}) {
    const auto file = root / name / "test.swf";
    if (!std::filesystem::exists(file))
      continue;
    const std::shared_ptr<Movie> movie = ReadMovieFile(file.string());
    Renderer updated(movie);
    Renderer whole(movie);
    QImage frame(updated.StageSize(), QImage::Format_ARGB32_Premultiplied);
    Timeline timeline(movie);
    for (int i = 0; i < 24; ++i) {
      if (i > 0)
        timeline.Advance();
      updated.Update(timeline.List(), frame, Quality::High);
      ASSERT_EQ(frame, whole.RenderFrame(timeline.List(), frame.size(), Quality::High)) << name << " frame " << i;
    }
  }
}

} // namespace
} // namespace quenloft::swf::render

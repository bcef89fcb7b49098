// Whole frames drawn from hand-built display lists.
#include "swf/render/PainterBackend.h"
#include "swf/render/Renderer.h"
#include "swf/Filters.h"

#include <gtest/gtest.h>
#include <functional>
#include <zlib.h>

#include "tests/swf/render/Shapes.h"

namespace quenloft::swf::render {
namespace {

using namespace testing;

const Rgba Red{255, 0, 0, 255};
const Rgba Green{0, 255, 0, 255};
const Rgba Blue{0, 0, 255, 255};

class Frames : public ::testing::Test {
protected:
  Frames()
  {
    M->Stage = {0, 2000, 0, 2000}; // 100 x 100 pixels
    M->Background = {255, 255, 255, 255};
    M->Dictionary.emplace(1, SquareShape(1, Red));        // 100 px
    M->Dictionary.emplace(2, SquareShape(2, Blue, 1000)); // 50 px
    M->Dictionary.emplace(3, SquareShape(3, Green, 1000));
    Sprite s;
    s.Id = 10;
    M->Dictionary.emplace(10, s);
  }

  static DisplayObject SpriteOf(Depth D, DisplayList Children)
  {
    DisplayObject o = Placed(D, 10);
    o.Sprite = std::make_shared<SpriteInstance>();
    o.Sprite->List = std::move(Children);
    return o;
  }

  QImage Draw(const DisplayList& L, Quality Q = Quality::Low)
  {
    return Renderer(M).RenderFrame(L, {100, 100}, Q);
  }

  std::shared_ptr<Movie> M = std::make_shared<Movie>();
};

TEST_F(Frames, ColourTransformsNestFromTheInsideOut)
{
  DisplayObject shape = Placed(1, 1);
  shape.Color.RMul = 0.5; // 255 -> 128
  shape.Color.GAdd = 40;  // 0 -> 40
  DisplayObject inner = SpriteOf(1, {shape});
  inner.Color.GMul = 2; // 40 -> 80
  DisplayObject outer = SpriteOf(1, {inner});
  outer.Color.RAdd = -28; // 128 -> 100
  outer.Color.AMul = 0.5; // half over the white stage
  const QRgb p = Draw({outer}).pixel(50, 50);
  EXPECT_NEAR(qRed(p), (100 + 255) / 2, 2);
  EXPECT_NEAR(qGreen(p), (80 + 255) / 2, 2);
  EXPECT_NEAR(qBlue(p), (0 + 255) / 2, 2);
}

TEST_F(Frames, AMaskShowsOnlyWhatItCovers)
{
  DisplayObject mask = Placed(1, 2, 500, 500); // 25..75 px
  mask.ClipDepth = 2;
  const QImage image = Draw({mask, Placed(2, 1), Placed(3, 3)});
  EXPECT_EQ(image.pixel(90, 10), qRgb(255, 255, 255)); // outside the mask
  EXPECT_EQ(image.pixel(70, 70), qRgb(255, 0, 0));     // masked red
  EXPECT_EQ(image.pixel(10, 40), qRgb(0, 255, 0));     // above the mask's depths
}

// A gradient shape is kept as pixels between frames: whatever the frame
// before drew, a frame must equal what a fresh renderer draws.
TEST_F(Frames, AGradientShapeKeptBetweenFramesFollowsItsMovesAndColours)
{
  Shape s = SquareShape(4, Red, 1000);
  FillStyle& f = s.Styles.Fills[0];
  f.Kind = FillKind::LinearGradient;
  f.Gradient.Stops = {{0, Red}, {255, Blue}};
  f.Gradient.Transform.A = f.Gradient.Transform.D = 1000.0 / 32768;
  f.Gradient.Transform.Tx = f.Gradient.Transform.Ty = 500;
  M->Dictionary.emplace(4, s);
  DisplayObject tinted = Placed(1, 4);
  tinted.Color.RMul = 0.5;
  const DisplayList frames[] = {{Placed(1, 4)}, {Placed(1, 4)}, {Placed(1, 4, 600, 200)}, {tinted}, {Placed(1, 4)}};
  for (Quality q : {Quality::Low, Quality::High}) {
    Renderer kept(M);
    for (std::size_t i = 0; i < std::size(frames); ++i)
      EXPECT_EQ(kept.RenderFrame(frames[i], {100, 100}, q), Draw(frames[i], q)) << "frame " << i;
  }
}

TEST_F(Frames, AMaskEdgeCoversAsTheGridOfTheQualitySays)
{
  // The mask's left edge at 25.3 px: of the cell centres of pixel 25, the
  // one at 25.5 is inside on Low, one of two on Medium, three of four
  // columns on High.
  struct Case {
    Quality Q;
    int Green; // of red over white, where the mask cuts pixel 25
  } cases[] = {{Quality::Low, 0}, {Quality::Medium, 128}, {Quality::High, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Q));
    DisplayObject mask = Placed(1, 2, 506, 500);
    mask.ClipDepth = 2;
    const QImage image = Draw({mask, Placed(2, 1)}, c.Q);
    EXPECT_NEAR(qGreen(image.pixel(25, 50)), c.Green, 1);
    EXPECT_EQ(image.pixel(50, 50), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(20, 50), qRgb(255, 255, 255));
  }
}

TEST_F(Frames, FillsThatMeetLetNothingBehindThemThroughTheirEdge)
{
  // A red and a blue triangle share the diagonal of a square, over a black
  // stage: with anti-aliasing the diagonal's pixels are red and blue in
  // parts that make up the whole pixel, never the stage's black.
  M->Background = {0, 0, 0, 255};
  Shape s;
  s.Id = 5;
  s.Styles.Fills = {Solid(Red), Solid(Blue)};
  Polygon(s, 0, 0, 0, 1, {{2000, 0}});
  Polygon(s, 2000, 0, 2, 1, {{-2000, 1990}});
  Polygon(s, 0, 1990, 0, 1, {{0, -1990}});
  Polygon(s, 2000, 0, 0, 2, {{0, 1990}, {-2000, 0}});
  M->Dictionary.emplace(5, s);
  for (Quality q : {Quality::Medium, Quality::High}) {
    SCOPED_TRACE(static_cast<int>(q));
    const QImage image = Draw({Placed(1, 5)}, q);
    int blended = 0;
    for (int x = 1; x < 98; ++x) {
      const QRgb p = image.pixel(x, 99 - x);
      EXPECT_GE(qRed(p) + qBlue(p), 254) << x;
      blended += qRed(p) > 0 && qBlue(p) > 0;
    }
    EXPECT_GT(blended, 20); // the edge does run through pixels
  }
}

TEST_F(Frames, ALineThatKeepsItsWidthWidensWithAStretch)
{
  // A 10 px line round a square, stretched 3 times across: the vertical
  // sides are 30 px wide, the horizontal ones keep their 10 px.
  Shape s;
  s.Id = 4;
  LineStyle line;
  line.Width = 200;
  line.ScaleHorizontal = line.ScaleVertical = false;
  line.Color = Blue;
  s.Styles.Lines.push_back(line);
  Polygon(s, 200, 400, 0, 0, {{400, 0}, {0, 1200}, {-400, 0}, {0, -1200}}, 1);
  M->Dictionary.emplace(4, s);
  DisplayObject o = Placed(1, 4);
  o.Transform.A = 3;
  const QImage image = Draw({o});
  const auto run = [&image](QPoint From, QPoint Step) {
    int n = 0;
    for (QPoint p = From; image.rect().contains(p) && image.pixel(p) == qRgb(0, 0, 255); p += Step)
      ++n;
    return n;
  };
  EXPECT_EQ(run({30, 50}, {-1, 0}) + run({31, 50}, {1, 0}), 30); // the left side, at x = 30 px
  EXPECT_EQ(run({60, 20}, {0, -1}) + run({60, 21}, {0, 1}), 10); // the top, at y = 20 px
}

TEST_F(Frames, BlendModesOnALayer)
{
  struct Case {
    BlendMode Mode;
    bool InLayer;
    QRgb Expected; // where the blue square covers the red one
  } cases[] = {
      {BlendMode::Normal, false, qRgb(0, 0, 255)},
      {BlendMode::Multiply, false, qRgb(0, 0, 0)},
      {BlendMode::Add, false, qRgb(255, 0, 255)},
      {BlendMode::Difference, false, qRgb(255, 0, 255)},
      {BlendMode::Subtract, false, qRgb(255, 0, 0)},
      {BlendMode::Invert, false, qRgb(0, 255, 255)},
      // Alpha and Erase need a layer under them; on the stage they show nothing.
      {BlendMode::Alpha, false, qRgb(255, 0, 0)},
      {BlendMode::Erase, false, qRgb(255, 0, 0)},
      {BlendMode::Alpha, true, qRgb(255, 0, 0)},
      {BlendMode::Erase, true, qRgb(255, 255, 255)},
  };
  for (const Case& c : cases) {
    DisplayObject top = Placed(2, 2);
    top.Blend = c.Mode;
    DisplayList list{Placed(1, 1), top};
    if (c.InLayer) {
      DisplayObject group = SpriteOf(1, list);
      group.Blend = BlendMode::Layer;
      list = {group};
    }
    EXPECT_EQ(Draw(list).pixel(25, 25), c.Expected)
        << "mode " << static_cast<int>(c.Mode) << (c.InLayer ? " in a layer" : "");
  }
}

TEST_F(Frames, QualityLowDoesNotAntiAlias)
{
  DisplayObject half = Placed(1, 2, 10, 0); // its left edge half a pixel in
  EXPECT_EQ(qRed(Draw({half}, Quality::Low).pixel(0, 10)) % 255, 0);
  EXPECT_NE(qRed(Draw({half}, Quality::High).pixel(0, 10)) % 255, 0);
}

TEST_F(Frames, SizesOutsideTheLimitsAreRefused)
{
  Renderer r(M);
  for (QSize size : {QSize(0, 10), QSize(-5, 10), QSize(MaxFrameSide + 1, 10), QSize(8192, 8192)})
    EXPECT_THROW(r.RenderFrame({}, size, Quality::Low), ERenderError) << size.width();
}

TEST_F(Frames, AnEmptyStageShowsOnlyTheBackground)
{
  M->Stage = {};
  M->Background = {10, 20, 30, 255};
  EXPECT_EQ(Draw({Placed(1, 1)}).pixel(5, 5), qRgb(10, 20, 30));
  EXPECT_EQ(Renderer(M).StageSize(), QSize(1, 1));
}

TEST_F(Frames, DrawFitsTheStageIntoTheTarget)
{
  QImage canvas(200, 100, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::black);
  QPainter p(&canvas);
  Renderer(M).Draw({Placed(1, 2)}, p, QRectF(100, 0, 100, 100), Quality::Low);
  p.end();
  EXPECT_EQ(canvas.pixel(50, 50), qRgb(0, 0, 0));        // outside the target
  EXPECT_EQ(canvas.pixel(110, 10), qRgb(0, 0, 255));     // the blue square
  EXPECT_EQ(canvas.pixel(190, 90), qRgb(255, 255, 255)); // the stage
}

TEST_F(Frames, AViewportFitsTheStageWholeAndCentredAndShowsWhatLiesBeyondIt)
{
  // Blue: 50 px at the stage's corner; green: 50 px left of the stage.
  const DisplayList list{Placed(1, 2), Placed(2, 3, -1000, 0)};
  struct Case {
    QSize Size;
    QPoint Blue, Green, Margin;
  };
  // A wide window: the stage 200 px high in the middle; a tall one: 100 px
  // wide at the top of the middle half.
  const Case cases[] = {{{400, 200}, {110, 10}, {90, 10}, {50, 150}}, {{100, 200}, {20, 70}, {-1, -1}, {50, 20}}};
  for (const Case& c : cases) {
    const QImage frame = Renderer(M).RenderViewport(list, c.Size, Quality::Low);
    ASSERT_EQ(frame.size(), c.Size);
    EXPECT_EQ(frame.pixel(c.Blue), qRgb(0, 0, 255));
    if (c.Green.x() >= 0) {
      EXPECT_EQ(frame.pixel(c.Green), qRgb(0, 255, 0));
    }
    EXPECT_EQ(frame.pixel(c.Margin), qRgb(255, 255, 255));
  }
}

// A 1 x 1 lossless bitmap of colour C (32-bit pixels, X R G B).
Bitmap Pixel(CharacterId Id, Rgba C)
{
  Bitmap b;
  b.Id = Id;
  b.Format = BitmapFormat::Lossless;
  b.LosslessFormat = 5;
  b.Width = b.Height = 1;
  const char xrgb[4] = {'\xff', static_cast<char>(C.R), static_cast<char>(C.G), static_cast<char>(C.B)};
  const QByteArray z = qCompress(QByteArray(xrgb, 4));
  b.Data.assign(z.begin() + 4, z.end()); // qCompress puts the length first
  return b;
}

// A renderer keeps what it drew of a character between frames; once the
// character's contents change (a new handle) or it goes, the next frame
// must show what a fresh renderer shows, never the kept pixels or paths.
TEST_F(Frames, AChangedOrRemovedCharacterNeverDrawsFromWhatWasKept)
{
  Shape gradient = SquareShape(4, Red, 1000);
  gradient.Styles.Fills[0].Kind = FillKind::LinearGradient;
  gradient.Styles.Fills[0].Gradient.Stops = {{0, Red}, {255, Blue}};
  Shape bitmapFill = SquareShape(4, Red, 1000);
  bitmapFill.Styles.Fills[0].Kind = FillKind::Bitmap;
  bitmapFill.Styles.Fills[0].BitmapId = 5;
  bitmapFill.Styles.Fills[0].BitmapTransform.A = bitmapFill.Styles.Fills[0].BitmapTransform.D = 1000;
  struct Case {
    const char* Name;
    Character Before;
    std::optional<Character> After; // none: removed
    CharacterId Changed = 4;
  } cases[] = {
      {"shape replaced", SquareShape(4, Red, 1000), SquareShape(4, Blue, 1000)},
      {"shape removed", SquareShape(4, Red, 1000), std::nullopt},
      {"gradient kept as pixels replaced", gradient, SquareShape(4, Green, 1000)},
      {"bitmap replaced", Pixel(5, Red), Pixel(5, Blue), 5},
      {"bitmap removed", Pixel(5, Red), std::nullopt, 5},
  };
  for (const Case& c : cases) {
    for (Quality q : {Quality::Low, Quality::High}) {
      M->Dictionary.erase(4);
      M->Dictionary.erase(5);
      M->Dictionary.emplace(4, bitmapFill);
      M->Dictionary.insert_or_assign(c.Changed, c.Before);
      Renderer kept(M);
      const DisplayList list{Placed(1, 4)};
      const QImage before = kept.RenderFrame(list, {100, 100}, q);
      if (c.After)
        M->Dictionary.at(c.Changed) = *c.After; // the same slot, so the same address
      else
        M->Dictionary.erase(c.Changed);
      const QImage after = Draw(list, q);
      EXPECT_NE(before, after) << c.Name; // the change shows at all
      EXPECT_EQ(kept.RenderFrame(list, {100, 100}, q), after) << c.Name << " at quality " << static_cast<int>(q);
    }
  }
}

TEST_F(Frames, AFilteredObjectGlowsAtTheStageScaleAndItsColourTransformTintsTheGlow)
{
  Filter glow;
  glow.Type = Filter::Kind::Glow;
  glow.Color = {255, 0, 0, 255};
  glow.BlurX = glow.BlurY = 6;
  glow.Strength = 4;
  DisplayObject o = Placed(1, 2, 500, 500); // the 50 px blue square from (25, 25)
  o.Filters = std::make_shared<const FilterList>(FilterList{glow});
  DisplayObject faded = o;
  faded.Color.AMul = 0;
  for (Quality q : {Quality::Low, Quality::High}) {
    const QImage image = Draw({o}, q);
    EXPECT_EQ(image.pixel(50, 50), qRgb(0, 0, 255));
    EXPECT_EQ(qRed(image.pixel(23, 50)), 255) << "glow just outside";
    EXPECT_LT(qGreen(image.pixel(23, 50)), 255) << "glow just outside";
    EXPECT_EQ(image.pixel(10, 50), qRgb(255, 255, 255)) << "beyond the glow";
    EXPECT_EQ(Draw({faded}, q), Draw({}, q));
    // At twice the stage's size the glow reaches twice as far.
    const QImage big = Renderer(M).RenderFrame({o}, {200, 200}, q);
    EXPECT_LT(qGreen(big.pixel(46, 100)), 255);
    EXPECT_EQ(big.pixel(30, 100), qRgb(255, 255, 255));
  }
}

// A filtered object's finished pixels are kept between frames; any change
// of what they depend on (the shape, a bitmap it fills with, the filter,
// the colour transform, a move by part of a pixel, the object going) must
// show what a fresh renderer shows.
TEST_F(Frames, AFilteredObjectNeverDrawsFromAStaleBitmap)
{
  Filter glow;
  glow.Type = Filter::Kind::Glow;
  glow.Color = {255, 0, 0, 255};
  glow.BlurX = glow.BlurY = 5;
  glow.Strength = 2;
  Filter green = glow;
  green.Color = {0, 255, 0, 255};
  Shape bitmapFill = SquareShape(4, Red, 1000);
  bitmapFill.Styles.Fills[0].Kind = FillKind::Bitmap;
  bitmapFill.Styles.Fills[0].BitmapId = 5;
  bitmapFill.Styles.Fills[0].BitmapTransform.A = bitmapFill.Styles.Fills[0].BitmapTransform.D = 1000;
  struct Case {
    const char* Name;
    std::function<void(DisplayObject&)> Change; // of the placed object
    CharacterId Changed = 0;                      // or of this character
    std::optional<Character> After;               // none: removed
  } cases[] = {
      {"shape replaced", {}, 4, SquareShape(4, Blue, 1000)},
      {"shape removed", {}, 4, std::nullopt},
      {"bitmap replaced", {}, 5, Pixel(5, Blue)},
      {"filter changed", [&](DisplayObject& O) { O.Filters = std::make_shared<const FilterList>(FilterList{green}); }, 0, {}},
      {"colour transform", [](DisplayObject& O) { O.Color.RMul = 0.5; }, 0, {}},
      {"moved by two thirds of a pixel", [](DisplayObject& O) { O.Transform.Tx += 13; }, 0, {}},
      {"scaled", [](DisplayObject& O) { O.Transform.A = 1.5; }, 0, {}},
  };
  for (const Case& c : cases) {
    for (Quality q : {Quality::Low, Quality::High}) {
      M->Dictionary.insert_or_assign(4, c.Changed == 4 ? Character(SquareShape(4, Red, 1000)) : bitmapFill);
      M->Dictionary.insert_or_assign(5, Pixel(5, Red));
      DisplayObject o = Placed(1, 4, 500, 500);
      o.Filters = std::make_shared<const FilterList>(FilterList{glow});
      Renderer kept(M);
      const QImage before = kept.RenderFrame({o}, {100, 100}, q);
      EXPECT_EQ(kept.RenderFrame({o}, {100, 100}, q), before) << c.Name << ": drawn again unchanged";
      if (c.Change)
        c.Change(o);
      else if (c.After)
        M->Dictionary.at(c.Changed) = *c.After;
      else
        M->Dictionary.erase(c.Changed);
      const QImage after = Draw({o}, q);
      EXPECT_NE(before, after) << c.Name;
      EXPECT_EQ(kept.RenderFrame({o}, {100, 100}, q), after) << c.Name << " at quality " << static_cast<int>(q);
    }
  }
}

// An object cached as a bitmap lands on whole pixels: at half a pixel it
// draws as it would one half pixel further on, at both qualities; drawn
// again from the cache it stays the same.
TEST_F(Frames, AnObjectCachedAsABitmapLandsOnWholePixels)
{
  DisplayObject cached = Placed(1, 2, 510, 490); // (25.5, 24.5)
  cached.CacheAsBitmap = true;
  for (Quality q : {Quality::Low, Quality::High}) {
    Renderer kept(M);
    const QImage image = kept.RenderFrame({cached}, {100, 100}, q);
    EXPECT_EQ(image, Draw({Placed(1, 2, 520, 500)}, q)) << static_cast<int>(q);
    EXPECT_NE(image, Draw({Placed(1, 2, 510, 490)}, q)) << static_cast<int>(q);
    EXPECT_EQ(kept.RenderFrame({cached}, {100, 100}, q), image);
  }
}

TEST_F(Frames, AFilterWhoseImageWouldOutgrowThePlayersBiggestBitmapIsLeftOut)
{
  Filter glow;
  glow.Type = Filter::Kind::Glow;
  glow.Color = {0, 0, 255, 255};
  glow.BlurX = glow.BlurY = 6;
  glow.Strength = 4;
  // The red square across the whole width, in the lower half.
  DisplayObject o = Placed(1, 1, 0, 1000);
  o.Filters = std::make_shared<const FilterList>(FilterList{glow});
  // 4000 px wide the glow fits; 8000 px and the glow's reach do not.
  for (const int width : {4000, 8000}) {
    const QImage image = Renderer(M).RenderFrame({o}, {width, 20}, Quality::Low);
    EXPECT_EQ(image.pixel(width / 2, 15), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(width / 2, 9) == qRgb(255, 255, 255), width == 8000) << width;
  }
}

// A Screen Video picture of two pixels, black then white: one block of
// zlib-packed BGR rows.
VideoStream TwoPixelVideo(CharacterId Id, bool Smoothing, std::size_t Packets)
{
  const std::uint8_t bgr[6] = {0, 0, 0, 255, 255, 255};
  uLongf size = compressBound(sizeof bgr);
  std::vector<std::uint8_t> packed(size);
  compress(packed.data(), &size, bgr, sizeof bgr);
  std::vector<std::uint8_t> packet{0x00, 0x02, 0x00, 0x01, static_cast<std::uint8_t>(size >> 8),
                                   static_cast<std::uint8_t>(size)};
  packet.insert(packet.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
  VideoStream v;
  v.Id = Id;
  v.Width = 2;
  v.Height = 1;
  v.Smoothing = Smoothing;
  v.Codec = static_cast<std::uint8_t>(VideoCodec::ScreenVideo);
  for (std::uint16_t f = 0; f < Packets; ++f)
    v.Packets.push_back({f, packet});
  return v;
}

TEST_F(Frames, VideoIsSmoothedByQualityTheStreamsFlagAndTheMoviesVersion)
{
  struct Case {
    Quality Q;
    std::uint8_t Version;
    bool Flag;
    std::size_t Packets;
    bool Smoothed;
  };
  const Case cases[] = {
      {Quality::Low, 10, true, 1, false},   {Quality::Medium, 10, true, 1, true},
      {Quality::Medium, 10, false, 1, false}, {Quality::Best, 10, false, 1, false},
      {Quality::Medium, 7, true, 1, false}, {Quality::High, 7, false, 1, true}, // one picture
      {Quality::High, 7, true, 2, false},   {Quality::Best, 7, false, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "quality " << int(c.Q) << " version " << int(c.Version) << " flag "
                                    << c.Flag << " packets " << c.Packets);
    M->Version = c.Version;
    M->Dictionary.insert_or_assign(20, TwoPixelVideo(20, c.Flag, c.Packets));
    DisplayObject o = Placed(1, 20);
    o.Transform.A = o.Transform.D = 50; // 100 x 50 pixels
    const QImage image = Draw({o}, c.Q);
    EXPECT_EQ(image.pixel(10, 25), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(90, 25), qRgb(255, 255, 255));
    const int between = qRed(image.pixel(47, 25));
    EXPECT_EQ(between > 0 && between < 255, c.Smoothed) << between;
  }
}

} // namespace
} // namespace quenloft::swf::render

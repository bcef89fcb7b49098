#include <gtest/gtest.h>

#include "swf/MovieReader.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

TEST(MovieArithmetic, MatrixAndColourTransformCompose)
{
  const Matrix rotate{0, 1, -1, 0, 0, 0}; // a quarter turn
  const Matrix move{2, 0, 0, 3, 10, 20};
  const Point p{5, 7};
  // (Outer * Inner)(p) == Outer(Inner(p)) in both orders.
  EXPECT_EQ((move * rotate).Apply(p), move.Apply(rotate.Apply(p)));
  EXPECT_EQ((rotate * move).Apply(p), rotate.Apply(move.Apply(p)));
  EXPECT_EQ(rotate.Apply(p), (Point{-7, 5}));

  ColorTransform half;
  half.RMul = half.GMul = 0.5;
  half.BAdd = 40;
  ColorTransform fade;
  fade.AMul = 0.5;
  fade.RAdd = -10;
  const Rgba c{100, 200, 30, 255};
  EXPECT_EQ((fade * half).Apply(c), fade.Apply(half.Apply(c)));
  EXPECT_EQ((half * fade).Apply(c), half.Apply(fade.Apply(c)));
  EXPECT_EQ(half.Apply(Rgba{255, 255, 250, 255}), (Rgba{127, 127, 255, 255})) << "clamped";
  EXPECT_TRUE(ColorTransform{}.IsIdentity());
  EXPECT_FALSE(half.IsIdentity());
}

// DefineMorphShape: a red 20-twip line from a square's top edge and a
// curve, to a blue 60-twip line; the end moves, and its first edge curves
// where the start's is straight.
TBytes MorphTag()
{
  TBitWriter w;
  w.U16(5).Rect(0, 100, 0, 100).Rect(0, 300, 0, 300);
  const std::size_t offsetAt = w.Out.size();
  w.U32(0);
  w.U8(1).U8(0).U8(255).U8(0).U8(0).U8(255).U8(0).U8(0).U8(255).U8(255); // solid red -> blue
  w.U8(1).U16(20).U16(60).U8(255).U8(0).U8(0).U8(255).U8(0).U8(0).U8(255).U8(255);
  // Start: move (0,0), fill0 1, line 1; straight (100,0); curve c(0,50) a(-100,50).
  w.Bits(1, 4).Bits(1, 4);
  w.Bits(0, 1).Bits(0b01011, 5).Bits(10, 5).SBits(0, 10).SBits(0, 10).Bits(1, 1).Bits(1, 1);
  w.Bits(1, 1).Bits(1, 1).Bits(9, 4).Bits(1, 1).SBits(100, 11).SBits(0, 11);
  w.Bits(1, 1).Bits(0, 1).Bits(9, 4).SBits(0, 11).SBits(50, 11).SBits(-100, 11).SBits(50, 11);
  w.Bits(0, 6).Align();
  const std::size_t endAt = w.Out.size();
  // End: move (100,100); curve c(100,100) a(100,-100); straight (-200,100).
  w.Bits(0, 4).Bits(0, 4);
  w.Bits(0, 1).Bits(0b00001, 5).Bits(10, 5).SBits(100, 10).SBits(100, 10);
  w.Bits(1, 1).Bits(0, 1).Bits(9, 4).SBits(100, 11).SBits(100, 11).SBits(100, 11).SBits(-100, 11);
  w.Bits(1, 1).Bits(1, 1).Bits(9, 4).Bits(1, 1).SBits(-200, 11).SBits(100, 11);
  w.Bits(0, 6).Align();
  const std::uint32_t offset = static_cast<std::uint32_t>(endAt - offsetAt - 4);
  std::memcpy(w.Out.data() + offsetAt, &offset, 4); // little-endian host
  return Tag(46, w.Out);
}

TEST(MorphShape, InterpolatesRecordsAndStyles)
{
  const auto m = ReadMovie(MovieFile(Join({MorphTag(), End()})));
  ASSERT_EQ(m->ReadError, "");
  const auto& morph = std::get<MorphShape>(*m->Find(5));
  ASSERT_EQ(morph.StartRecords.size(), 3u);
  ASSERT_EQ(morph.EndRecords.size(), 3u);
  struct Case {
    std::uint16_t Ratio;
    Rgba Fill;
    std::uint16_t Width;
    std::pair<int, int> Move;
    std::tuple<int, int, int, int> First; // control dx, dy, anchor dx, dy
    std::tuple<int, int, int, int> Second;
    std::int32_t XMax;
  };
  const Case cases[] = {
      // The straight start edge becomes a curve with its control halfway.
      {0, {255, 0, 0, 255}, 20, {0, 0}, {50, 0, 100, 0}, {0, 50, -100, 100}, 100},
      // Halfway: every point is the mean of its two ends; colours are cut
      // to whole steps (127.5 of each channel gives 127).
      {32768, {127, 0, 127, 255}, 40, {50, 50}, {75, 50, 150, 0}, {-50, 50, -150, 100}, 200},
      {65535, {0, 0, 255, 255}, 60, {100, 100}, {100, 100, 200, 0}, {-100, 50, -200, 100}, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Ratio);
    const Shape s = morph.At(c.Ratio);
    EXPECT_EQ(s.Styles.Fills.at(0).Color, c.Fill);
    EXPECT_EQ(s.Styles.Lines.at(0).Width, c.Width);
    EXPECT_EQ(s.Bounds.XMax, c.XMax);
    ASSERT_EQ(s.Records.size(), 3u);
    EXPECT_EQ(std::pair(s.Records[0].MoveX, s.Records[0].MoveY), c.Move);
    EXPECT_EQ(s.Records[0].Fill0, 1u);
    const auto edge = [](const ShapeRecord& R) {
      EXPECT_EQ(R.Type, ShapeRecord::Kind::CurvedEdge);
      return std::tuple(R.ControlDx, R.ControlDy, R.AnchorDx, R.AnchorDy);
    };
    EXPECT_EQ(edge(s.Records[1]), c.First);
    EXPECT_EQ(edge(s.Records[2]), c.Second);
  }
}

TEST(MorphShape, RefusesUnequalEdgeCounts)
{
  TBytes tag = MorphTag();
  // Cut the end shape's last edge: the end record then has one edge less.
  TBitWriter w;
  w.U16(6).Rect(0, 1, 0, 1).Rect(0, 1, 0, 1).U32(6).U8(0).U8(0);
  w.Bits(0, 8).Bits(1, 1).Bits(1, 1).Bits(0, 4).Bits(1, 1).SBits(1, 2).SBits(1, 2).Bits(0, 6).Align();
  w.Bits(0, 8).Bits(0, 6).Align();
  const auto m = ReadMovie(MovieFile(Join({tag, Tag(46, w.Out), End()})));
  EXPECT_NE(m->ReadError.find("fewer edges"), std::string::npos) << m->ReadError;
  EXPECT_NE(m->Find(5), nullptr);
  EXPECT_EQ(m->Find(6), nullptr);
}

} // namespace
} // namespace quenloft::swf

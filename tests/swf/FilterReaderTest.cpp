// The filter lists of PlaceObject3, read from bytes.
#include "swf/FilterReader.h"

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "tests/swf/MovieBuilder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>


namespace quenloft::swf {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Le32(std::uint32_t V)
{
  return {static_cast<std::uint8_t>(V), static_cast<std::uint8_t>(V >> 8), static_cast<std::uint8_t>(V >> 16),
          static_cast<std::uint8_t>(V >> 24)};
}
Bytes Fixed(double V)
{
  return Le32(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(V * 65536))));
}
Bytes Float(float V)
{
  return Le32(std::bit_cast<std::uint32_t>(V));
}
Bytes Cat(std::initializer_list<Bytes> Parts)
{
  Bytes out;
  for (const Bytes& p : Parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

FilterList Read(const Bytes& B)
{
  TTagReader r(B);
  return ReadFilters(r);
}

TEST(FilterReader, ReadsEveryKindWithItsFields)
{
  const Bytes red{255, 0, 0, 128};
  const Bytes white{255, 255, 255, 255};
  struct Case {
    const char* Name;
    Bytes Data;
    std::function<void(const Filter&)> Check;
  } cases[] = {
      {"drop shadow", Cat({{0}, red, Fixed(4), Fixed(6), Fixed(0.5), Fixed(3), {0x80, 0x01}, {0xa3}}),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::DropShadow);
         EXPECT_EQ(F.Color, (Rgba{255, 0, 0, 128}));
         EXPECT_DOUBLE_EQ(F.BlurY, 6);
         EXPECT_DOUBLE_EQ(F.Angle, 0.5);
         EXPECT_DOUBLE_EQ(F.Distance, 3);
         EXPECT_DOUBLE_EQ(F.Strength, 1.5);
         EXPECT_TRUE(F.Inner);
         EXPECT_FALSE(F.Knockout);
         EXPECT_TRUE(F.Composite);
         EXPECT_EQ(F.Passes, 3);
       }},
      {"blur", Cat({{1}, Fixed(10), Fixed(2.5), {15 << 3}}),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::Blur);
         EXPECT_DOUBLE_EQ(F.BlurX, 10);
         EXPECT_DOUBLE_EQ(F.BlurY, 2.5);
         EXPECT_EQ(F.Passes, 15);
       }},
      {"glow, knockout", Cat({{2}, red, Fixed(5), Fixed(5), {0, 2}, {0x41}}),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::Glow);
         EXPECT_DOUBLE_EQ(F.Strength, 2);
         EXPECT_TRUE(F.Knockout);
         EXPECT_FALSE(F.Composite);
         EXPECT_EQ(F.Passes, 1);
       }},
      {"bevel: highlight first, on top with four bits of passes",
       Cat({{3}, white, red, Fixed(4), Fixed(4), Fixed(0.78), Fixed(4), {0, 1}, {0x3f}}),
       [](const Filter& F) {
         EXPECT_EQ(F.Highlight, (Rgba{255, 255, 255, 255}));
         EXPECT_EQ(F.Color, (Rgba{255, 0, 0, 128}));
         EXPECT_TRUE(F.OnTop);
         EXPECT_EQ(F.Passes, 15);
       }},
      {"gradient bevel", Cat({{7}, {2}, red, white, {0, 255}, Fixed(4), Fixed(4), Fixed(0), Fixed(1), {0, 1}, {0x22}}),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::GradientBevel);
         ASSERT_EQ(F.Gradient.size(), 2u);
         EXPECT_EQ(F.Gradient[1].Ratio, 255);
         EXPECT_EQ(F.Gradient[1].Color, (Rgba{255, 255, 255, 255}));
         EXPECT_EQ(F.Passes, 2);
       }},
      {"convolution", Cat({{5}, {2, 1}, Float(2), Float(-1), Float(1), Float(3), red, {0x02}}),
       [](const Filter& F) {
         EXPECT_EQ(F.Type, Filter::Kind::Convolution);
         EXPECT_EQ(F.Matrix, (std::vector<float>{1, 3}));
         EXPECT_EQ(F.Divisor, 2);
         EXPECT_EQ(F.Bias, -1);
         EXPECT_EQ(F.Outside, (Rgba{255, 0, 0, 128}));
         EXPECT_TRUE(F.Clamp);
         EXPECT_FALSE(F.PreserveAlpha);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const FilterList list = Read(Cat({{1}, c.Data}));
    ASSERT_EQ(list.size(), 1u);
    c.Check(list[0]);
  }
}

TEST(FilterReader, AColourMatrixKeepsItsTwentyNumbersAndAListKeepsItsOrder)
{
  Bytes matrix{6};
  for (int i = 0; i < 20; ++i) {
    const Bytes f = Float(static_cast<float>(i) / 2);
    matrix.insert(matrix.end(), f.begin(), f.end());
  }
  const FilterList list = Read(Cat({{2}, {1}, Fixed(2), Fixed(2), {1 << 3}, matrix}));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Type, Filter::Kind::Blur);
  EXPECT_EQ(list[1].Colors[19], 9.5f);
}

TEST(FilterReader, AListCutShortOrOfAnUnknownKindIsAnError)
{
  for (const Bytes& b : {Cat({{1}, {1}, Fixed(2)}), Cat({{1}, {8}}), Cat({{1}, {5}, {255, 255}, Float(1)})})
    EXPECT_THROW(Read(b), ETagError);
}

TEST(FilterReader, PlacedObjectsCarryTheirFiltersAndAModifyKeepsThem)
{
  using namespace test;
  // PlaceObject3: flags "has character, has matrix", flags2 "has filters";
  // then a PlaceObject2 that moves the object without naming filters.
  const Bytes place3 = Cat({{0x06, 0x01, 1, 0, 1, 0, 0x00}, {2}, {1}, Fixed(4), Fixed(4), {1 << 3}, {2},
                            {0, 0, 0, 255}, Fixed(2), Fixed(2), {0, 1}, {0x21}});
  const TBytes file = MovieFile(
      Join({RectShape(1, 200, 200), Tag(70, place3), ShowFrame(), Place2(1, -1, 40, 0, true), ShowFrame(), End()}), 'F', 2);
  const auto movie = ReadMovie(file);
  ASSERT_TRUE(movie->ReadError.empty()) << movie->ReadError;
  EXPECT_EQ(CountFilters(*movie), 2u);
  Timeline t(movie);
  for (int frame = 0; frame < 2; ++frame) {
    ASSERT_EQ(t.List().size(), 1u);
    ASSERT_TRUE(t.List()[0].Filters) << frame;
    EXPECT_EQ(t.List()[0].Filters->size(), 2u) << frame;
    EXPECT_EQ(t.List()[0].Filters->at(1).Type, Filter::Kind::Glow) << frame;
    t.Advance();
  }
}

} // namespace
} // namespace quenloft::swf

// Buttons read from their tags, through the movie reader.
#include "swf/ButtonReader.h"

#include <gtest/gtest.h>

#include "swf/Filters.h"
#include "swf/MovieReader.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

const Button& ButtonOf(const Movie& M, CharacterId Id)
{
  const Character* c = M.Find(Id);
  EXPECT_TRUE(c && std::holds_alternative<Button>(*c));
  static const Button none;
  return c && std::holds_alternative<Button>(*c) ? std::get<Button>(*c) : none;
}

TEST(ButtonReader, KeepsEachRecordsStatesPlaceColourFiltersAndBlend)
{
  // DefineButton2 5: track as menu; record 1 (up and over, shape 1 at depth
  // 2, moved, colour add, a blur, blend Multiply); record 2 (hit test only);
  // then actions, which are not kept.
  const TBytes button2 = test::Tag(34, {5, 0, 0x01, 0, 0,
                                  0x33, 1, 0, 2, 0, 0x0c, 0x80, 0x00, // matrix: translate 16, 0
                                  0x91, 0xc0, 0x00, // cxform: red add 7
                                  1, 1, 0, 0, 4, 0, 0, 0, 4, 0, 0x08, 3,
                                  0x08, 1, 0, 3, 0, 0x00, 0x00,
                                  0, 0x07});
  const TBytes file = MovieFile(Join({RectShape(1, 200, 200), button2, ShowFrame(), End()}));
  const auto movie = ReadMovie(file);
  ASSERT_TRUE(movie->ReadError.empty()) << movie->ReadError;
  const Button& b = ButtonOf(*movie, 5);
  EXPECT_TRUE(b.TrackAsMenu);
  ASSERT_EQ(b.Records.size(), 2u);
  const ButtonRecord& up = b.Records[0];
  EXPECT_EQ(up.States, ButtonRecord::Up | ButtonRecord::Over);
  EXPECT_EQ(up.Character, 1);
  EXPECT_EQ(up.Depth, 2);
  EXPECT_EQ(up.Transform.Tx, 16);
  EXPECT_EQ(up.Color.RAdd, 7);
  ASSERT_TRUE(up.Filters);
  EXPECT_EQ(up.Filters->size(), 1u);
  EXPECT_EQ(up.Blend, BlendMode::Multiply);
  EXPECT_EQ(b.Records[1].States, ButtonRecord::HitTest);
  EXPECT_FALSE(b.Records[1].Filters);
}

TEST(ButtonReader, AColourTransformTagTintsEveryRecordOfItsButtonOnly)
{
  // DefineButton 6 with one up record, then DefineButtonCxform for it and
  // for an id that is a shape.
  const TBytes button = test::Tag(7, {6, 0, 0x01, 1, 0, 1, 0, 0x00, 0, 0});
  const TBytes cxform = test::Tag(23, {6, 0, 0x50, 0x00, 0x80, 0x00}); // multiply, 4 bits each
  const TBytes other = test::Tag(23, {1, 0, 0x50, 0x00, 0x80, 0x00});
  const auto movie = ReadMovie(MovieFile(Join({RectShape(1, 20, 20), button, cxform, other, End()})));
  ASSERT_TRUE(movie->ReadError.empty()) << movie->ReadError;
  const Button& b = ButtonOf(*movie, 6);
  ASSERT_EQ(b.Records.size(), 1u);
  EXPECT_FALSE(b.Records[0].Color.IsIdentity());
  EXPECT_TRUE(std::holds_alternative<Shape>(*movie->Find(1)));
}

TEST(ButtonReader, ARecordListCutShortIsADamagedTag)
{
  const auto movie = ReadMovie(MovieFile(Join({test::Tag(34, {5, 0, 0, 0, 0, 0x01, 1}), End()})));
  EXPECT_FALSE(movie->ReadError.empty());
  EXPECT_EQ(movie->Find(5), nullptr);
}

} // namespace
} // namespace quenloft::swf

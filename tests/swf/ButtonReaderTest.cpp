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
  // then bytes that an action offset of 0 leaves unread.
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

TEST(ButtonReader, KeepsEachConditionsTransitionsKeyAndActions)
{
  // DefineButton2 7, one hit record, then three condition records: release
  // (6 bytes), over down->idle with the Enter key (5 bytes), and a last one
  // (size 0) for roll-over and roll-out.
  const TBytes head = {7, 0, 0, 8, 0, 0x08, 1, 0, 1, 0, 0x00, 0x00, 0};
  const TBytes conditions = {6, 0, 0x08, 0x00, 0x07, 0x00, 5, 0, 0x00, 0x1b, 0x00, 0, 0, 0x03, 0x00, 0x06, 0x00};
  TBytes body = head;
  body.insert(body.end(), conditions.begin(), conditions.end());
  const struct {
    const char* What;
    std::size_t Cut; // bytes dropped from the end
    std::vector<std::uint16_t> Conditions;
  } rows[] = {
      {"all three", 0, {0x08, 0x100, 0x03}},
      {"the last one's actions cut short still run as far as they go", 1, {0x08, 0x100, 0x03}},
      {"a record whose size runs past the tag ends the list", 7, {0x08}},
  };
  for (const auto& r : rows) {
    const TBytes cut(body.begin(), body.end() - static_cast<std::ptrdiff_t>(r.Cut));
    const auto movie = ReadMovie(MovieFile(Join({RectShape(1, 20, 20), test::Tag(34, cut), End()})));
    ASSERT_TRUE(movie->ReadError.empty()) << r.What << ": " << movie->ReadError;
    const Button& b = ButtonOf(*movie, 7);
    EXPECT_EQ(b.Records.size(), 1u) << r.What;
    ASSERT_EQ(b.Actions.size(), r.Conditions.size()) << r.What;
    for (std::size_t i = 0; i < b.Actions.size(); ++i)
      EXPECT_EQ(b.Actions[i].Conditions, r.Conditions[i]) << r.What << ", record " << i;
    if (r.Cut == 0) {
      EXPECT_EQ(b.Actions[1].KeyCode, 13);
      EXPECT_EQ(*b.Actions[0].Actions, (std::vector<std::uint8_t>{0x07, 0x00}));
      EXPECT_EQ(*b.Actions[2].Actions, (std::vector<std::uint8_t>{0x06, 0x00}));
    }
  }
}

TEST(ButtonReader, ARecordListCutShortIsADamagedTag)
{
  const auto movie = ReadMovie(MovieFile(Join({test::Tag(34, {5, 0, 0, 0, 0, 0x01, 1}), End()})));
  EXPECT_FALSE(movie->ReadError.empty());
  EXPECT_EQ(movie->Find(5), nullptr);
}

} // namespace
} // namespace quenloft::swf

#include "swf/TagReader.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "swf/TagCodes.h"

namespace quenloft::swf {
namespace {

using TBytes = std::vector<std::uint8_t>;

TEST(TagReaderBits, FieldsMostSignificantFirstAcrossBytes)
{
  const TBytes bytes{0xF0, 0xA5, 0x3C, 0x99}; // 11110000 10100101 00111100 10011001
  TTagReader r(bytes);
  EXPECT_EQ(r.UBits(0), 0u);
  EXPECT_EQ(r.Position(), 0u) << "a zero-bit read takes no byte";
  EXPECT_EQ(r.SBits(5), -2);      // 11110
  EXPECT_EQ(r.UBits(12), 0x14Au); // 000 10100101 0: across two byte boundaries
  EXPECT_EQ(r.SBits(0), 0);
  EXPECT_EQ(r.SBits(3), 3); // 011
  EXPECT_EQ(r.U8(), 0x99) << "a byte read drops the pending 1100";
  EXPECT_THROW(r.U8(), ETagError);
  EXPECT_THROW(r.UBits(1), ETagError);
}

TEST(TagReaderBits, WideFieldsAndSignExtension)
{
  const TBytes bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x7F, 0xAB};
  TTagReader r(bytes);
  EXPECT_EQ(r.UBits(32), 0xFFFFFFFFu);
  EXPECT_EQ(r.SBits(32), INT32_MIN);
  EXPECT_EQ(r.SBits(1), 0);
  EXPECT_EQ(r.SBits(7), -1); // 1111111
  r.Align();
  EXPECT_EQ(r.UBits(4), 0xAu);
}

TEST(TagReaderBits, RectangleAlignsAfterItsFields)
{
  // 5-bit width 3, then -1, 2, -4, 3, then a byte: 00011 111 010 100 011 | 0x42.
  const TBytes bytes{0x1F, 0x51, 0x80, 0x42};
  TTagReader r(bytes);
  EXPECT_EQ(r.ReadRect(), (Rect{-1, 2, -4, 3}));
  EXPECT_EQ(r.U8(), 0x42);
}

TEST(TagCodes, NamesAndKeys)
{
  const struct {
    int Code;
    const char* Key;
  } cases[] = {{0, "End"}, {26, "PlaceObject2"}, {94, "PlaceObject4"}, {3, "tag 3"}, {1023, "tag 1023"}};
  for (const auto& c : cases)
    EXPECT_EQ(TagKey(static_cast<Tag>(c.Code)), c.Key) << c.Code;
}

} // namespace
} // namespace quenloft::swf

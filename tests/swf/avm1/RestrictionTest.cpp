// What a text field's restrict pattern lets typing put in.
#include "swf/avm1/globals/Restriction.h"

#include <gtest/gtest.h>

using namespace quenloft::swf::avm1;

namespace {

// What of Typed gets through Pattern (each character or its other case).
std::u32string Admitted(const std::optional<std::string>& Pattern, std::u32string_view Typed)
{
  const Restriction r(Pattern);
  std::u32string out;
  for (char32_t c : Typed)
    if (const char32_t a = r.Admit(c))
      out.push_back(a);
  return out;
}

TEST(Restriction, LetsThroughWhatThePatternSays)
{
  const struct {
    std::optional<std::string> Pattern;
    std::u32string Typed, Admitted;
  } cases[] = {
      {std::nullopt, U"aZ9 ?", U"aZ9 ?"},
      {"", U"abc", U""},
      {"bc", U"aAbBcCdD", U"bbcc"},
      {"A-C", U"abcd", U"ABC"},
      {"a-cx", U"bxyd", U"bx"},
      {"^a-c", U"abcd1", U"ABCd1"}, // refused lower case comes in upper case
      {"a-z^m", U"alm", U"al"},
      {"0-9^5^5", U"159", U"19"},
      {"\\-\\^", U"-^a", U"-^"},
      {"z-a", U"az", U"z"},
      {"-b", U"\x01" U"ab", U"\x01" U"ab"},
      {"a-", U"ab-", U"a"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Admitted(c.Pattern, c.Typed), c.Admitted) << c.Pattern.value_or("(none)");
}

} // namespace

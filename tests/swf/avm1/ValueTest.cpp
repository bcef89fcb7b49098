// The language's conversions: number text, text to number by SWF version,
// truth, and the version-dependent strings of undefined and booleans.
#include "swf/avm1/Machine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quenloft::swf::avm1;

namespace {

class NullHost final : public Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view) override {}
};

} // namespace

TEST(ValueTest, NumbersTurnToThePlayersText)
{
  const struct {
    double N;
    const char* Text;
  } rows[] = {
      {0, "0"},
      {-0.0, "0"},
      {7, "7"},
      {-42, "-42"},
      {0.1, "0.1"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {123456789012345, "123456789012345"},
      {1e15, "1e+15"},
      {1.5e15, "1.5e+15"},
      {1e21, "1e+21"},
      {0.0001, "0.0001"},
      {0.00001, "0.00001"},
      {1.5e-7, "1.5e-7"},
      {-2.5e-10, "-2.5e-10"},
      {4294967296, "4294967296"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(NumberToText(r.N), r.Text) << r.N;
}

TEST(ValueTest, TextTurnsToNumbersByVersion)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* Text;
    int Version;
    double N;
  } rows[] = {
      {"12", 7, 12},           {" 12", 7, 12},       {" 12 ", 7, nan},    {" 0x10", 7, nan},
      {"0x-10", 6, -16},       {"-017", 6, -15},     {"0x", 6, nan},      {"0x1999999981ffffff", 6, -2113929217},      {"1.5e3", 7, 1500},  {"-0.25", 7, -0.25},
      {"", 7, nan},            {"", 4, 0},           {"abc", 5, nan},     {"abc", 4, 0},
      {"12abc", 5, nan},       {"12abc", 4, 12},     {"0x1F", 6, 31},     {"0x1F", 5, nan},
      {"-0x10", 6, nan},       {"017", 6, 15},       {"017", 5, 17},      {"019", 6, 19},
      {"0xFFFFFFFF", 7, -1},   {".5", 7, 0.5},       {"5.", 7, 5},        {"+3", 7, 3},
  };
  for (const auto& r : rows) {
    const double n = TextToNumber(r.Text, r.Version);
    if (std::isnan(r.N))
      EXPECT_TRUE(std::isnan(n)) << r.Text << " v" << r.Version << " gave " << n;
    else
      EXPECT_EQ(n, r.N) << r.Text << " v" << r.Version;
  }
}

TEST(ValueTest, ConversionsFollowTheSwfVersion)
{
  NullHost host;
  Machine v4(4, host);
  Machine v6(6, host);
  Machine v7(7, host);
  const auto text = [](Machine& M, Value V) { return V.ToText(M); };
  EXPECT_EQ(text(v6, Value()), "");
  EXPECT_EQ(text(v7, Value()), "undefined");
  EXPECT_EQ(text(v4, Value(true)), "1");
  EXPECT_EQ(text(v6, Value(true)), "true");
  EXPECT_EQ(text(v7, Value::Null()), "null");
  EXPECT_EQ(Value().ToNumber(v6), 0);
  EXPECT_TRUE(std::isnan(Value().ToNumber(v7)));
  // A string is true by its number before SWF 7, by its length after.
  const Value zero(v6.NewString("0"));
  const Value word(v6.NewString("abc"));
  EXPECT_FALSE(zero.ToBoolean(6));
  EXPECT_FALSE(word.ToBoolean(6));
  EXPECT_TRUE(zero.ToBoolean(7));
  EXPECT_TRUE(word.ToBoolean(7));
  EXPECT_FALSE(Value(std::numeric_limits<double>::quiet_NaN()).ToBoolean(7));
  EXPECT_EQ(NumberToInt32(4294967298.0), 2);
  EXPECT_EQ(NumberToInt32(-1.5), -1);
  EXPECT_EQ(NumberToInt32(std::numeric_limits<double>::infinity()), 0);
  EXPECT_TRUE(Value(std::nan("")).StrictEquals(Value(std::nan(""))));
  EXPECT_FALSE(Value(1).StrictEquals(Value(v7.NewString("1"))));
}

TEST(ValueTest, TextFromAMovieBecomesWellFormedUtf8)
{
  const struct {
    std::string In, Out;
  } rows[] = {
      {"plain", "plain"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},                  // two-byte characters kept
      {"\xF0\x90\x80\x82", "\xF0\x90\x80\x82"},                    // four bytes kept
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},    // a surrogate half, byte by byte
      {"a\xC3", "a\xEF\xBF\xBD"},                                   // cut short
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                    // overlong
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // past U+10FFFF
  };
  for (const auto& r : rows)
    EXPECT_EQ(ValidUtf8(r.In), r.Out) << r.In;
}

// What the CLI shows of outside text: control bytes escaped, UTF-8 kept.
#include "cli/OutputText.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

TEST(OutputText, ControlBytesAndBrokenUTF8AreEscapedOthersKept)
{
  struct Case {
    std::string In;
    std::string Shown;
    bool UTF8;
  };
  const Case cases[] = {
      {"plain/movie.swf", "plain/movie.swf", true},
      {"\x1b[2J\x1b]0;t\x07", "\\x1b[2J\\x1b]0;t\\x07", true},
      {std::string("a\0b\x7f", 4), "a\\x00b\\x7f", true},
      {"new\nline\r", "new\\x0aline\\x0d", true},
      // UTF-8 stays, its C1 controls do not (U+009B is a CSI on some terminals).
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAC", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAC", true},
      {"\xC2\x9B"
       "2J",
       "\\xc2\\x9b2J", true},
      // Not UTF-8: Latin-1, an overlong "/", a surrogate, a cut sequence.
      {"caf\xE9", "caf\\xe9", false},
      {"\xC0\xAF", "\\xc0\\xaf", false},
      {"\xED\xA0\x80", "\\xed\\xa0\\x80", false},
      {"\xE2\x82", "\\xe2\\x82", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShowText(c.In), c.Shown) << c.Shown;
    EXPECT_EQ(IsUTF8(c.In), c.UTF8) << c.Shown;
  }
  EXPECT_EQ(ShowLine("Socket Error # 10061\r\nConnection refused.\x1b"),
            "Socket Error # 10061 Connection refused.\\x1b");
}

TEST(OutputText, Base64)
{
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"caf\xE9", "Y2Fm6Q=="},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(Base64(in), out) << out;
}

} // namespace
} // namespace quenloft

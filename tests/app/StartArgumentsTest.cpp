#include "app/StartArguments.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

TEST(StartArguments, LinesAndWhatTheyAsk)
{
  struct Case {
    std::vector<std::string> Args;
    bool Help, Version;
    std::string URL, Error;
  };
  const Case Cases[] = {
      {{}, false, false, "", ""},
      {{"http://example.com/games/"}, false, false, "http://example.com/games/", ""},
      {{"--help"}, true, false, "", ""},
      {{"-h", "http://a/"}, true, false, "http://a/", ""},
      {{"--version"}, false, true, "", ""},
      // Before Qt takes its options off the line they are unknown, yet
      // --version is still found.
      {{"-platform", "offscreen", "--version"}, false, true, "offscreen", "unknown option '-platform'"},
      {{"--bogus", "http://a/"}, false, false, "http://a/", "unknown option '--bogus'"},
      {{"http://a/", "http://b/"}, false, false, "http://a/", "only one address can be given"},
      {{""}, false, false, "", "the address is empty"},
      // After "--" everything is an address, and "-" alone is one too.
      {{"--", "--help"}, false, false, "--help", ""},
      {{"-"}, false, false, "-", ""},
  };
  for (const Case& C : Cases) {
    const TStartArguments A = ParseStartArguments(C.Args);
    const std::string Line = ::testing::PrintToString(C.Args);
    EXPECT_EQ(A.Help, C.Help) << Line;
    EXPECT_EQ(A.Version, C.Version) << Line;
    EXPECT_EQ(A.URL, C.URL) << Line;
    EXPECT_EQ(A.Error, C.Error) << Line;
  }
}

} // namespace
} // namespace quenloft

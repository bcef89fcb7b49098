// The string and file-name helpers of the shell utility unit.
#include "platform/kvuStrings.h"

#include <gtest/gtest.h>

#include <random>

namespace quenloft {
namespace {

// The rule exactly as stated: delete everything through the first
// occurrence from a copy while Sub occurs, then compute the position from
// what is left.
std::size_t LastPosByDeleting(const std::string& Sub, const std::string& S)
{
  std::string rest = S;
  for (std::size_t at = rest.find(Sub); at != std::string::npos; at = rest.find(Sub))
    rest.erase(0, at + Sub.size());
  const long long pos = static_cast<long long>(S.size()) + 1 - static_cast<long long>(rest.size()) -
                        static_cast<long long>(Sub.size());
  return pos < 0 ? 0 : static_cast<std::size_t>(pos);
}

TEST(LastPosTest, FindsTheLastOccurrence)
{
  EXPECT_EQ(LastPos("/", "a/b/c"), 4u);
  EXPECT_EQ(LastPos("/", "/"), 1u);
  EXPECT_EQ(LastPos("/", "abc/"), 4u);
  EXPECT_EQ(LastPos("/", "abc"), 0u);
  EXPECT_EQ(LastPos("xy", "abc"), 0u);
  EXPECT_EQ(LastPos("bc", "abcabc"), 5u);
  EXPECT_EQ(LastPos("/", ""), 0u);
  EXPECT_EQ(LastPos("", "abc"), 0u);
}

TEST(LastPosTest, OverlappingOccurrencesAreTakenLeftToRightWithoutOverlap)
{
  EXPECT_EQ(LastPos("aa", "aaa"), 1u);
  EXPECT_EQ(LastPos("aa", "aaaa"), 3u);
  EXPECT_EQ(LastPos("aa", "aaaaa"), 3u);
  EXPECT_EQ(LastPos("aba", "ababa"), 1u);
  EXPECT_EQ(LastPos("aba", "abababa"), 5u);
}

TEST(LastPosTest, AgreesWithTheDeletingRuleOnRandomTexts)
{
  std::mt19937 rng(7);
  auto randomText = [&rng](std::size_t maxLen) {
    std::string s(rng() % (maxLen + 1), 'a');
    for (char& c : s)
      c = "ab/"[rng() % 3];
    return s;
  };
  for (int i = 0; i < 3000; ++i) {
    const std::string sub = randomText(3);
    const std::string s = randomText(12);
    if (sub.empty())
      continue;
    ASSERT_EQ(LastPos(sub, s), LastPosByDeleting(sub, s)) << "sub '" << sub << "' in '" << s << "'";
  }
}

TEST(TruncateFromTest, KeepsTheBytesBeforeTheIndex)
{
  std::string s = "a.swf?x=1";
  TruncateFrom(s, 6);
  EXPECT_EQ(s, "a.swf");
  s = "a.swf?x=1";
  TruncateFrom(s, 20);
  EXPECT_EQ(s, "a.swf?x=1");
  TruncateFrom(s, 10); // one past the end: nothing to delete
  EXPECT_EQ(s, "a.swf?x=1");
  TruncateFrom(s, 9);
  EXPECT_EQ(s, "a.swf?x=");
  TruncateFrom(s, 0);
  EXPECT_EQ(s, "a.swf?x=");
  TruncateFrom(s, 1);
  EXPECT_EQ(s, "");
}

TEST(SameTextTest, IgnoresOnlyTheCaseOfASCIILetters)
{
  struct Case {
    std::string_view A, B;
    bool Same, ABeginsWithB;
  };
  const Case cases[] = {
      {"Keep-Alive", "keep-alive", true, true},
      {"HTTPS:", "https:", true, true},
      {"chunked", "chunk", false, true},
      {"chunk", "chunked", false, false},
      // Bytes that differ in bit 5 but are no letters stay different.
      {"[", "{", false, false},
      {"@", "`", false, false},
      {"\xC4", "\xE4", false, false},
      {"", "", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameText(c.A, c.B), c.Same) << c.A << " / " << c.B;
    EXPECT_EQ(SameText(c.B, c.A), c.Same) << c.B << " / " << c.A;
    EXPECT_EQ(StartsText(c.A, c.B), c.ABeginsWithB) << c.A << " / " << c.B;
  }
}

TEST(HasFileExtTest, ComparesTheExtensionIgnoringLetterCase)
{
  EXPECT_TRUE(HasFileExt("movie.swf", ".swf"));
  EXPECT_TRUE(HasFileExt("movie.SWF", ".swf"));
  EXPECT_TRUE(HasFileExt("movie.sWf", ".SwF"));
  EXPECT_TRUE(HasFileExt(".swf", ".swf"));
  EXPECT_FALSE(HasFileExt("movie.swf.txt", ".swf"));
  EXPECT_FALSE(HasFileExt("swf", ".swf"));
  EXPECT_FALSE(HasFileExt("movie.sw", ".swf"));
  EXPECT_FALSE(HasFileExt("movie.swfx", ".swf"));
  // Only ASCII letters are folded.
  EXPECT_FALSE(HasFileExt("movie.sw\xC6", ".sw\xE6"));
}

TEST(HasFileExtTest, OnlyBackslashAndColonEndTheExtension)
{
  EXPECT_FALSE(HasFileExt("C:\\dir.swf\\movie", ".swf"));
  EXPECT_FALSE(HasFileExt("dir.swf:stream", ".swf"));
  // "/" is no separator: a URL's extension runs to its end.
  EXPECT_TRUE(HasFileExt("http://host/movie.SWF", ".swf"));
  EXPECT_TRUE(HasFileExt("a.b/swf.swf", ".swf"));
  EXPECT_FALSE(HasFileExt("http://host/movie.swf?x=1", ".swf"));
  EXPECT_TRUE(HasFileExt("http://host/movie.swf?x=1", ".swf?x=1"));
  EXPECT_TRUE(HasFileExt("dir.swf/movie", ".swf/movie"));
  // A name without an extension has the empty one.
  EXPECT_TRUE(HasFileExt("movie", ""));
  EXPECT_FALSE(HasFileExt("movie.", ""));
}

TEST(FileNamePartsTest, SplitsFolderTitleAndExtension)
{
  EXPECT_EQ(ExtractFilePath("/out/movie.swf"), "/out/");
  EXPECT_EQ(ExtractFileTitle("/out/movie.swf"), "movie");
  EXPECT_EQ(ExtractFileExt("/out/movie.swf"), ".swf");

  EXPECT_EQ(ExtractFilePath("/out/clip"), "/out/");
  EXPECT_EQ(ExtractFileTitle("/out/clip"), "clip");
  EXPECT_EQ(ExtractFileExt("/out/clip"), "");

  // The title is cut at the last dot only; a dot in a folder name counts not.
  EXPECT_EQ(ExtractFileTitle("/out/a.b.swf"), "a.b");
  EXPECT_EQ(ExtractFileExt("/out/a.b.swf"), ".swf");
  EXPECT_EQ(ExtractFileTitle("/out.d/clip"), "clip");
  EXPECT_EQ(ExtractFileExt("/out.d/clip"), "");

  // ":" separates as "/" does.
  EXPECT_EQ(ExtractFilePath("c:movie.swf"), "c:");
  EXPECT_EQ(ExtractFileTitle("c:movie.swf"), "movie");

  EXPECT_EQ(ExtractFilePath("movie.swf"), "");
  EXPECT_EQ(ExtractFileTitle(".swf"), "");
  EXPECT_EQ(ExtractFileExt(".swf"), ".swf");
  EXPECT_EQ(ExtractFilePath("/out/"), "/out/");
  EXPECT_EQ(ExtractFileTitle("/out/"), "");
  EXPECT_EQ(ExtractFileExt(""), "");
}

TEST(FileNamePartsTest, PartsRebuildThePath)
{
  for (const char* path : {"/out/movie.swf", "/a.b/c", "x", "/d/e.f.g", "/d/", "c:x.y", ""}) {
    const std::string p = path;
    EXPECT_EQ(ExtractFilePath(p) + ExtractFileTitle(p) + ExtractFileExt(p), p);
  }
}

TEST(IncludeBackslashTest, AppendsOneSlashWhenMissing)
{
  EXPECT_EQ(IncludeBackslash("/out"), "/out/");
  EXPECT_EQ(IncludeBackslash("/out/"), "/out/");
  EXPECT_EQ(IncludeBackslash("/"), "/");
  EXPECT_EQ(IncludeBackslash(""), "");
}

} // namespace
} // namespace quenloft

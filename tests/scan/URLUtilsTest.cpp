// The URL string helpers: encoding, scheme prefix, file name and base.
#include "scan/URLUtils.h"

#include <gtest/gtest.h>

#include <string>

namespace quenloft {
namespace {

TEST(EncodeURLTest, KeepsLettersDigitsAndTheSafeCharacters)
{
  EXPECT_EQ(EncodeURL(""), "");
  EXPECT_EQ(EncodeURL("ABCxyz019"), "ABCxyz019");
  const std::string safe = ".-_~/+:!$&'(),=@[]%";
  EXPECT_EQ(EncodeURL(safe), safe);
  EXPECT_EQ(EncodeURL("http://host/dir/movie.swf"), "http://host/dir/movie.swf");
}

TEST(EncodeURLTest, EscapesEveryOtherByteAsTwoUpperCaseHexDigits)
{
  EXPECT_EQ(EncodeURL("\\"), "/");
  EXPECT_EQ(EncodeURL("\xE9"), "%E9");
  EXPECT_EQ(EncodeURL("*"), "%2A");
  EXPECT_EQ(EncodeURL(";"), "%3B");
  EXPECT_EQ(EncodeURL(" \"<>^`{|}"), "%20%22%3C%3E%5E%60%7B%7C%7D");
  EXPECT_EQ(EncodeURL(std::string("\x00\x1F\x7F\x80\xFF", 5)), "%00%1F%7F%80%FF");
  // Each byte of a UTF-8 character separately.
  EXPECT_EQ(EncodeURL("\xC3\xA9"), "%C3%A9");
}

TEST(EncodeURLTest, LeavesEncodedTextAloneAndKeepsQueryAndFragmentMarks)
{
  EXPECT_EQ(EncodeURL("%41"), "%41");
  EXPECT_EQ(EncodeURL("a%20b"), "a%20b");
  EXPECT_EQ(EncodeURL("%"), "%");
  // The query stays a query and the fragment a fragment (the client never
  // sends it); their other bytes are encoded like the path's.
  EXPECT_EQ(EncodeURL("a b?x y?z#f g\\z"), "a%20b?x%20y?z#f%20g/z");
  EXPECT_EQ(EncodeURL("http://h/m.swf?v=3"), "http://h/m.swf?v=3");
  EXPECT_EQ(EncodeURL("player.php?file=m/clip.swf"), "player.php?file=m/clip.swf");
}

TEST(EncodeURLTest, CopiesExactlyTheListedBytes)
{
  const std::string kept = ".-_~/+:!$&'(),=@[]%?#";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool alnum = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9');
    const std::string out = EncodeURL(std::string(1, c));
    if (alnum || kept.find(c) != std::string::npos)
      EXPECT_EQ(out, std::string(1, c)) << b;
    else if (c == '\\')
      EXPECT_EQ(out, "/");
    else
      EXPECT_EQ(out.size(), 3u) << b;
  }
}

TEST(HasPrefixTest, ComparesBytesAndRemovesOnlyWhenAsked)
{
  std::string s = "http://x";
  EXPECT_TRUE(HasPrefix(s, "http://", false));
  EXPECT_EQ(s, "http://x");
  EXPECT_TRUE(HasPrefix(s, "http://", true));
  EXPECT_EQ(s, "x");

  s = "HTTP://x";
  EXPECT_FALSE(HasPrefix(s, "http://", true));
  EXPECT_EQ(s, "HTTP://x");

  s = "http:";
  EXPECT_FALSE(HasPrefix(s, "http://", true)); // shorter than the prefix
  EXPECT_EQ(s, "http:");

  s = "abc";
  EXPECT_TRUE(HasPrefix(s, "", true));
  EXPECT_EQ(s, "abc");
  s = "";
  EXPECT_TRUE(HasPrefix(s, "", false));
  EXPECT_FALSE(HasPrefix(s, "a", false));
}

TEST(EnsureHttpPrefixTest, AddsTheSchemeOnlyWhenNoWebSchemeIsThere)
{
  EXPECT_EQ(EnsureHttpPrefix("http://x"), "http://x");
  EXPECT_EQ(EnsureHttpPrefix("x"), "http://x");
  EXPECT_EQ(EnsureHttpPrefix(""), "http://");
  EXPECT_EQ(EnsureHttpPrefix("www.host.test/page.html"), "http://www.host.test/page.html");
  // A typed scheme of either kind, in any letter case, stays as it is.
  EXPECT_EQ(EnsureHttpPrefix("https://x"), "https://x");
  EXPECT_EQ(EnsureHttpPrefix("HTTP://x"), "HTTP://x");
  EXPECT_EQ(EnsureHttpPrefix("Http://x"), "Http://x");
  EXPECT_EQ(EnsureHttpPrefix("hTTpS://x"), "hTTpS://x");
  // Anything short of a full "http://" or "https://" is a host name to it.
  EXPECT_EQ(EnsureHttpPrefix("http:/x"), "http://http:/x");
  EXPECT_EQ(EnsureHttpPrefix("ftp://x"), "http://ftp://x");
  EXPECT_EQ(EnsureHttpPrefix("httpsx"), "http://httpsx");
}

TEST(ExtractURLFileNameTest, TakesTheLastSegmentWithoutQueryAndFragment)
{
  EXPECT_EQ(ExtractURLFileName("dir/movie.swf?v=1"), "movie.swf");
  EXPECT_EQ(ExtractURLFileName("dir/movie.swf#top"), "movie.swf");
  EXPECT_EQ(ExtractURLFileName("dir/movie.swf?a=1#top"), "movie.swf");
  EXPECT_EQ(ExtractURLFileName("dir/movie.swf#a?b"), "movie.swf");
  EXPECT_EQ(ExtractURLFileName("movie.swf"), "movie.swf");
  EXPECT_EQ(ExtractURLFileName("http://host/dir/"), "");
  EXPECT_EQ(ExtractURLFileName(""), "");
  EXPECT_EQ(ExtractURLFileName("?x"), "");
}

TEST(ExtractURLFileNameTest, ASlashInTheQueryMovesTheCut)
{
  EXPECT_EQ(ExtractURLFileName("dir/movie.swf?u=a/b"), "b");
  EXPECT_EQ(ExtractURLFileName("dir/movie.swf?u=a/b.swf"), "b.swf");
  EXPECT_EQ(ExtractURLFileName("player.php?file=clip.swf"), "player.php");
  EXPECT_EQ(ExtractURLFileName("player.php#x/clip.swf?y"), "clip.swf");
}

TEST(ExtractURLBaseTest, CutsAfterTheLastSlash)
{
  EXPECT_EQ(ExtractURLBase("http://www.host.test/dir/page.html"), "http://www.host.test/dir/");
  EXPECT_EQ(ExtractURLBase("http://www.host.test/"), "http://www.host.test/");
  EXPECT_EQ(ExtractURLBase("http://www.host.test/dir/"), "http://www.host.test/dir/");
  EXPECT_EQ(ExtractURLBase("abc"), "");
  EXPECT_EQ(ExtractURLBase(""), "");
  // A "/" in the query counts like any other.
  EXPECT_EQ(ExtractURLBase("http://h/p.php?u=a/b"), "http://h/p.php?u=a/");
}

TEST(ExtractURLBaseTest, ABareHostGetsItsSlash)
{
  EXPECT_EQ(ExtractURLBase("http://www.host.test"), "http://www.host.test/");
  EXPECT_EQ(ExtractURLBase("http://"), "http:///");
  // The schemes EnsureHttpPrefix keeps are handled alike.
  EXPECT_EQ(ExtractURLBase("https://www.host.test"), "https://www.host.test/");
  EXPECT_EQ(ExtractURLBase("HTTP://www.host.test"), "HTTP://www.host.test/");
  EXPECT_EQ(ExtractURLBase("https://h/a.html"), "https://h/");
  // Other texts ending at a "//" are not a bare host.
  EXPECT_EQ(ExtractURLBase("ftp://host"), "ftp://");
}

} // namespace
} // namespace quenloft

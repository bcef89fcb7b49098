// Link extraction from page text and link resolution against the page base.
#include "scan/SWFLinks.h"

#include "scan/URLUtils.h"
#include "tests/support/ReferenceLinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>

namespace quenloft {
namespace {

const std::string kPage = "http://www.host.test/dir/page.html";

// What the scanner makes of a page: the distinct raw links, made absolute
// against the page's base.
std::vector<std::string> LinksOf(std::string_view Text)
{
  const std::string base = ExtractURLBase(kPage);
  std::vector<std::string> raw;
  CollectSWFLinks(Text, raw);
  std::vector<std::string> result;
  for (const std::string& link : raw)
    result.push_back(MakeAbsolute(base, link));
  return result;
}

using Links = std::vector<std::string>;

using testing::ReferenceCollectSWFLinks;
using testing::ReferenceNextSWFLink;

// ---- Extraction ----

TEST(SWFLinkExtractionTest, AQuotedLinkIsFoundAndItsQueryDropped)
{
  EXPECT_EQ(LinksOf("<embed src=\"movie.swf\">"), Links{"http://www.host.test/dir/movie.swf"});
  EXPECT_EQ(LinksOf("<param name=\"movie\" value=\"intro.swf?loop=1\">"
                    "<embed src=\"intro.swf?loop=1\">"),
            Links{"http://www.host.test/dir/intro.swf"});
  EXPECT_EQ(LinksOf("x=\"get/clip.swf?v=2\""), Links{"http://www.host.test/dir/get/clip.swf"});
  EXPECT_EQ(LinksOf("\"a.swf\""), Links{"http://www.host.test/dir/a.swf"});
  EXPECT_EQ(LinksOf(""), Links{});
}

TEST(SWFLinkExtractionTest, OnlyDoubleQuotesAndLowerCaseEndingCount)
{
  EXPECT_EQ(LinksOf("<embed src=movie.swf>"), Links{});
  EXPECT_EQ(LinksOf("<embed src='movie.swf'>"), Links{});
  EXPECT_EQ(LinksOf("<embed src=\"MOVIE.SWF\">"), Links{});
  EXPECT_EQ(LinksOf("<embed src=\"movie.Swf\">"), Links{});
  // Script names contain ".swf" but it is followed by "o".
  EXPECT_EQ(LinksOf("<script src=\"swfobject.js\"></script>"
                    "<script src=\"jquery.swfobject.js\"></script>"),
            Links{});
  // ".swf" followed by ">", "'", "&", a space or a letter ends nothing.
  EXPECT_EQ(LinksOf("\"a.swf>\" \"b.swf'\" \"c.swf&x\" \"d.swf \" \"e.swfx\""), Links{});
}

TEST(SWFLinkExtractionTest, DuplicatesIgnoreLetterCaseAndKeepTheFirst)
{
  EXPECT_EQ(LinksOf("\"a.swf\" \"A.swf\" \"b.swf\" \"a.swf?x\""),
            (Links{"http://www.host.test/dir/a.swf", "http://www.host.test/dir/b.swf"}));
  std::vector<std::string> list = {"Known.swf"};
  CollectSWFLinks("\"KNOWN.swf\" \"new.swf\" \"NEW.swf\"", list);
  EXPECT_EQ(list, (Links{"Known.swf", "new.swf"}));
  // Only letters fold: "@" and "`", "[" and "{" differ by the case bit too.
  list.clear();
  CollectSWFLinks("\"a@b.swf\" \"a`b.swf\" \"x[.swf\" \"x{.swf\" \"A@B.swf\"", list);
  EXPECT_EQ(list, (Links{"a@b.swf", "a`b.swf", "x[.swf", "x{.swf"}));
  // Enough distinct links to make the index grow several times.
  list.clear();
  std::string page;
  for (int i = 0; i < 3000; ++i)
    page += "\"m" + std::to_string(i) + ".swf\" \"M" + std::to_string(i) + ".swf\"";
  CollectSWFLinks(page, list);
  EXPECT_EQ(list.size(), 3000u);
}

TEST(SWFLinkExtractionTest, FileParametersAndTheOddCasesOfTheRule)
{
  EXPECT_EQ(LinksOf("\"player.php?file=clip.swf\""), Links{});
  EXPECT_EQ(LinksOf("\"player.php?file=m/clip.swf\""),
            Links{"http://www.host.test/dir/player.php?file=m/clip.swf"});
  // The opening quote is the nearest one before ".swf": here the title's
  // closing quote.
  EXPECT_EQ(LinksOf("<a title=\"t\">see clip.swf?v=1 here\""),
            Links{"http://www.host.test/dir/>see clip.swf"});
  // No closing quote: nothing.
  EXPECT_EQ(LinksOf("<embed src=\"movie.swf"), Links{});
  EXPECT_EQ(LinksOf("<embed src=\"movie.swf?v=1"), Links{});
  // No opening quote before the ".swf".
  EXPECT_EQ(LinksOf("movie.swf\" \"x\""), Links{});
}

TEST(SWFLinkExtractionTest, TheClosingQuoteSwallowsWhatFollowsTheSwf)
{
  // The text through the closing quote is consumed, so ".swf" inside the
  // query is never examined and the next link opens after that quote.
  EXPECT_EQ(LinksOf("\"a.swf?u=\"b.swf\""), Links{"http://www.host.test/dir/a.swf"});
  EXPECT_EQ(LinksOf("\"a.swf?u=x.swf\" \"b.swf\""),
            (Links{"http://www.host.test/dir/a.swf", "http://www.host.test/dir/b.swf"}));
  // A dropped candidate (no opening quote) is consumed through its "f", so
  // the quote after it can open the next link.
  EXPECT_EQ(LinksOf("x.swf\"y.swf\""), Links{"http://www.host.test/dir/y.swf"});
}

TEST(SWFLinkExtractionTest, NextSWFLinkMovesTheCursor)
{
  std::string_view text = "<e src=\"a.swf?v=1\" x> <e src=\"b.swf\"> tail.swf";
  EXPECT_EQ(NextSWFLink(text), "a.swf");
  EXPECT_EQ(text, " x> <e src=\"b.swf\"> tail.swf");
  EXPECT_EQ(NextSWFLink(text), "b.swf");
  EXPECT_EQ(text, "> tail.swf");
  EXPECT_EQ(NextSWFLink(text), "");
  EXPECT_EQ(text, "");

  std::string_view none = "no links here";
  EXPECT_EQ(NextSWFLink(none), "");
  EXPECT_EQ(none, "no links here");
}

TEST(SWFLinkExtractionTest, BinaryBytesAndLongLinksAreOrdinaryText)
{
  const std::string binary = std::string("\0\"\xff\x01.swf\"\0", 9);
  std::vector<std::string> list;
  CollectSWFLinks(binary, list);
  EXPECT_EQ(list, Links{std::string("\xff\x01.swf")});

  const std::string longName(1 << 20, 'x');
  list.clear();
  CollectSWFLinks("\"" + longName + ".swf\"", list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0], longName + ".swf");
}

TEST(SWFLinkExtractionTest, FindsTheEndingAtEveryOffsetAndLength)
{
  // The search for ".swf" looks at blocks of bytes; endings must be found
  // wherever they fall, near decoys ("." and "f" three apart), up to the
  // page's last byte.
  for (std::size_t pad = 0; pad < 48; ++pad) {
    const std::pair<std::string, bool> tails[] = {{"", false},         {"\"", true},
                                                  {"?\"", true},       {"\".xxf.swx", true},
                                                  {"?v=.swf\"", true}, {".swf\"", false}};
    for (const auto& [tail, found] : tails) {
      const std::string page = std::string(pad, '.') + "\".suf.swf" + tail;
      std::vector<std::string> list;
      CollectSWFLinks(page, list);
      ASSERT_EQ(list, found ? Links{".suf.swf"} : Links{}) << pad << " " << tail;
    }
  }
}

TEST(SWFLinkExtractionTest, IsSWFLinkLooksAtTheFileNameOnly)
{
  EXPECT_TRUE(IsSWFLink("movie.swf"));
  EXPECT_TRUE(IsSWFLink("dir/movie.swf"));
  EXPECT_TRUE(IsSWFLink("player.php?file=m/clip.swf"));
  EXPECT_TRUE(IsSWFLink("x.SWF?y/clip.swf"));
  EXPECT_FALSE(IsSWFLink("player.php?file=clip.swf"));
  EXPECT_FALSE(IsSWFLink("page#clip.swf"));
  EXPECT_TRUE(IsSWFLink("clip.swf#more.swf"));
  EXPECT_TRUE(IsSWFLink("dir\\movie.swf"));
}

// The main guard of the fast scanner: random pages from link-ish pieces give
// exactly what the plain rule gives, and every step leaves the same rest.
TEST(SWFLinkExtractionTest, AgreesWithThePlainRuleOnRandomPages)
{
  const std::vector<std::string> pieces = {"\"",
                                           "\"",
                                           "\"",
                                           ".swf",
                                           ".swf",
                                           ".SWF",
                                           "?",
                                           "?v=1",
                                           "swfobject.js",
                                           "a",
                                           "B",
                                           "/",
                                           "'",
                                           ">",
                                           " ",
                                           "#",
                                           "movie",
                                           "MOVIE",
                                           ".sw",
                                           "f",
                                           "\"movie.swf\"",
                                           "http://h/x.swf",
                                           "player.php?file=",
                                           std::string(1, '\0'),
                                           "\xe9",
                                           "../",
                                           "<embed src=\""};
  std::mt19937 rng(20240607);
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    const int count = static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i)
      page += pieces[rng() % pieces.size()];

    std::vector<std::string> fast, plain;
    CollectSWFLinks(page, fast);
    ReferenceCollectSWFLinks(page, plain);
    ASSERT_EQ(fast, plain) << "page: " << page;

    std::string_view cursor = page;
    std::string rest = page;
    for (;;) {
      const std::string l = NextSWFLink(cursor);
      ASSERT_EQ(l, ReferenceNextSWFLink(rest)) << "page: " << page;
      ASSERT_EQ(cursor, rest) << "page: " << page;
      if (l.empty())
        break;
    }
  }
}

// ---- Resolution ----

struct TResolveCase {
  const char* Link;
  const char* Expected;
};

TEST(MakeAbsoluteTest, ResolvesTheNormalExamplesOfRFC3986)
{
  // RFC 3986 section 5.4.1.
  const TResolveCase cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeAbsolute("http://a/b/c/d;p?q", c.Link), c.Expected) << c.Link;
}

TEST(MakeAbsoluteTest, ResolvesTheAbnormalExamplesOfRFC3986)
{
  // RFC 3986 section 5.4.2, with the strict parser.
  const TResolveCase cases[] = {
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeAbsolute("http://a/b/c/d;p?q", c.Link), c.Expected) << c.Link;
}

TEST(MakeAbsoluteTest, PageLinksGoWhereABrowserTakesThem)
{
  const std::string base = "http://www.host.test/dir/";
  EXPECT_EQ(MakeAbsolute(base, "movie.swf"), "http://www.host.test/dir/movie.swf");
  EXPECT_EQ(MakeAbsolute(base, "/x.swf"), "http://www.host.test/x.swf");
  EXPECT_EQ(MakeAbsolute(base, "../x.swf"), "http://www.host.test/x.swf");
  EXPECT_EQ(MakeAbsolute(base, "./m/x.swf"), "http://www.host.test/dir/m/x.swf");
  EXPECT_EQ(MakeAbsolute(base, "//cdn.test/x.swf"), "http://cdn.test/x.swf");
  EXPECT_EQ(MakeAbsolute("https://h/d/", "//cdn.test/x.swf"), "https://cdn.test/x.swf");
  EXPECT_EQ(MakeAbsolute("http://h/", "x.swf"), "http://h/x.swf");
  // Links with a web scheme of their own are kept as written.
  EXPECT_EQ(MakeAbsolute(base, "http://other.test/x.swf"), "http://other.test/x.swf");
  EXPECT_EQ(MakeAbsolute(base, "https://other.test/x.swf"), "https://other.test/x.swf");
  EXPECT_EQ(MakeAbsolute(base, "HTTP://Other.test/../x.swf"), "HTTP://Other.test/../x.swf");
  // Text that only looks odd stays a relative path.
  EXPECT_EQ(MakeAbsolute(base, ">see clip.swf"), "http://www.host.test/dir/>see clip.swf");
  EXPECT_EQ(MakeAbsolute(base, "a b:c.swf"), "http://www.host.test/dir/a b:c.swf");
}

TEST(MakeAbsoluteTest, AScanGivesAbsoluteLinksInPageOrder)
{
  EXPECT_EQ(LinksOf("<embed src=\"http://other.test/x.swf\"> <embed src=\"/x.swf\">"
                    "<embed src=\"../y.swf\"> <embed src=\"movie.swf\">"),
            (Links{"http://other.test/x.swf", "http://www.host.test/x.swf", "http://www.host.test/y.swf",
                   "http://www.host.test/dir/movie.swf"}));
}

TEST(MakeAbsoluteTest, ASimpleNameIsAppendedToTheBase)
{
  std::mt19937 rng(99);
  const std::string alphabet = "abcXYZ019-_.~%";
  for (const std::string base : {"http://h/", "http://www.host.test/dir/", "https://h:8080/a/b/"}) {
    for (int i = 0; i < 200; ++i) {
      std::string name(1 + rng() % 12, 'a');
      for (char& c : name)
        c = alphabet[rng() % alphabet.size()];
      if (name == "." || name == "..")
        continue;
      ASSERT_EQ(MakeAbsolute(base, name + ".swf"), base + name + ".swf");
    }
  }
}

} // namespace
} // namespace quenloft

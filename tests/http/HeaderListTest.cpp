#include "http/IdHeaderList.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

TEST(HeaderList, LooksUpNamesWithoutRegardToCaseAndTrimsValues)
{
  TIdHeaderList H;
  H.Add("Content-Type:   text/html  ");
  H.Add("X-Empty:");
  H.Add("Not a header line");
  EXPECT_EQ(H.Values("content-TYPE"), "text/html");
  EXPECT_EQ(H.IndexOfName("CONTENT-type"), 0);
  EXPECT_EQ(H.Values("X-Empty"), "");
  EXPECT_EQ(H.IndexOfName("X-Empty"), 1);
  EXPECT_EQ(H.Values("Missing"), "");
  EXPECT_EQ(H.IndexOfName("Not a header line"), -1);
  // A prefix of a name is not that name.
  EXPECT_EQ(H.IndexOfName("Content"), -1);
}

TEST(HeaderList, JoinsContinuationLinesWithOneBlank)
{
  TIdHeaderList H;
  H.Add("X-Long: first");
  H.Add("   second  ");
  H.Add("\tthird");
  H.Add("X-Next: n");
  EXPECT_EQ(H.Values("X-Long"), "first second third");
  EXPECT_EQ(H.Values("X-Next"), "n");
  // A continuation line is never taken for a header of its own.
  H.Add(" Fake: no");
  EXPECT_EQ(H.IndexOfName("Fake"), -1);
  EXPECT_EQ(H.Values("X-Next"), "n Fake: no");
}

TEST(HeaderList, AllValuesKeepsEveryOccurrenceInOrder)
{
  TIdHeaderList H;
  H.Add("WWW-Authenticate: Negotiate");
  H.Add("Server: x");
  H.Add("www-authenticate: Basic realm=\"a\",");
  H.Add("  charset=\"UTF-8\"");
  const std::vector<std::string> Expected{"Negotiate", "Basic realm=\"a\", charset=\"UTF-8\""};
  EXPECT_EQ(H.AllValues("WWW-Authenticate"), Expected);
  EXPECT_TRUE(H.AllValues("Set-Cookie").empty());
}

TEST(HeaderList, SetReplacesInPlaceWithItsContinuationLinesOrAppends)
{
  TIdHeaderList H;
  H.Add("A: 1");
  H.Add("B: old");
  H.Add(" old continuation");
  H.Add("C: 3");
  H.SetValues("b", "new");
  ASSERT_EQ(H.Count(), 3u);
  EXPECT_EQ(H[0], "A: 1");
  EXPECT_EQ(H[1], "b: new");
  EXPECT_EQ(H[2], "C: 3");
  H.SetValues("D", "4");
  EXPECT_EQ(H[3], "D: 4");
  // An empty value removes the header.
  H.SetValues("A", "");
  ASSERT_EQ(H.Count(), 3u);
  EXPECT_EQ(H[0], "b: new");
}

TEST(HeaderList, ShortLinesAreNotFolded)
{
  TIdHeaderList H;
  const std::string Value(1024 - 3, 'v'); // "X: " + value is exactly 1024
  H.SetValues("X", Value);
  ASSERT_EQ(H.Count(), 1u);
  EXPECT_EQ(H[0].size(), 1024u);
}

TEST(HeaderList, FoldsLongLinesAtTheLastBreakBeforeTheLimit)
{
  // Words of 9 letters and a blank: breaks every 10 characters.
  std::string Value;
  for (int I = 0; I < 300; ++I)
    Value += "abcdefghi ";
  TIdHeaderList H;
  H.SetValues("X-Words", Value);
  ASSERT_GT(H.Count(), 2u);
  for (std::size_t I = 0; I < H.Count(); ++I) {
    EXPECT_LT(H[I].size(), 1024u) << I;
    EXPECT_NE(H[I].back(), ' ') << "trailing blanks are removed";
    if (I > 0) {
      EXPECT_EQ(H[I][0], ' ');
      EXPECT_NE(H[I][1], ' ') << "one blank only";
    }
  }
  // The first piece ends at the last blank before column 1024.
  EXPECT_EQ(H[0].size(), std::string("X-Words: ").size() + 101 * 10 - 1);
  // Read back, the value is the original with its final blank trimmed.
  EXPECT_EQ(H.Values("X-Words"), Value.substr(0, Value.size() - 1));
}

TEST(HeaderList, FoldingKeepsCommasAndNeverBreaksInsideQuotes)
{
  std::string Quoted = "\"" + std::string(600, 'q') + " , " + std::string(600, 'q') + "\"";
  const std::string Value = "a," + Quoted + ",b";
  const auto Pieces = FoldLine("X: " + Value, 1024);
  ASSERT_EQ(Pieces.size(), 3u);
  EXPECT_EQ(Pieces[0], "X: a,");
  EXPECT_EQ(Pieces[1], " " + Quoted + ",");
  EXPECT_EQ(Pieces[2], " b");
}

TEST(HeaderList, ALineWithoutABreakStaysWhole)
{
  const std::string Line = "X: " + std::string(3000, 'z');
  const auto Pieces = FoldLine(Line, 1024);
  ASSERT_EQ(Pieces.size(), 1u);
  EXPECT_EQ(Pieces[0], Line);
  // No break before the limit: the first one after it is used.
  const auto Late = FoldLine("X: " + std::string(2000, 'z') + " tail " + std::string(2000, 'y'), 1024);
  ASSERT_EQ(Late.size(), 3u);
  EXPECT_EQ(Late[1], " tail");
}

TEST(HeaderList, ReplacingAFoldedHeaderRemovesAllItsPieces)
{
  TIdHeaderList H;
  std::string Value;
  for (int I = 0; I < 400; ++I)
    Value += "word, ";
  H.SetValues("Long", Value);
  H.SetValues("After", "x");
  ASSERT_GT(H.Count(), 3u);
  H.SetValues("LONG", "short");
  ASSERT_EQ(H.Count(), 2u);
  EXPECT_EQ(H[0], "LONG: short");
  EXPECT_EQ(H[1], "After: x");
}

} // namespace
} // namespace quenloft

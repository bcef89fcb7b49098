// Edit fields: the HTML they take and how their text is laid out.
#include "swf/EditText.h"

#include <gtest/gtest.h>

namespace quenloft::swf {
namespace {

std::string Utf8(const std::vector<TextRun>& Runs)
{
  std::string out;
  for (const TextRun& r : Runs)
    for (char32_t c : r.Text)
      out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The format of the N-th character.
const TextFormat& FormatAt(const std::vector<TextRun>& Runs, std::size_t N)
{
  for (const TextRun& r : Runs) {
    if (N < r.Text.size())
      return r.Format;
    N -= r.Text.size();
  }
  throw std::out_of_range("no such character");
}

TEST(HtmlText, KeepsTheTextOfEveryTagAndDecodesEntities)
{
  const struct {
    const char* Html;
    const char* Text;
  } cases[] = {
      {"<p>one</p><p>two</p>", "one\ntwo"},
      {"a<br>b<br/>c", "a\nb\nc"},
      {"<blink>x</blink> <a href='u'>y</a>", "x y"},
      {"&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&bogus; &", "<>&\"'AB&bogus; &"},
      {"<p>cut <font", "cut "},
      {"<li>1</li><li>2</li>", "1\n2"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Utf8(ParseHtmlText(c.Html, {})), c.Text) << c.Html;
}

TEST(HtmlText, TagsSetTheFormatOfTheirText)
{
  TextFormat base;
  base.Size = 200;
  const auto runs = ParseHtmlText("<p align=\"center\"><font face='Sans' size='30' color='#FF8000' letterSpacing='1.5' "
                                  "kerning='1'><b>A</b><font size='+2'><i>B</i></font></font></p><p>C</p>",
                                  base);
  ASSERT_EQ(Utf8(runs), "AB\nC");
  const TextFormat& a = FormatAt(runs, 0);
  EXPECT_EQ(a.Face, "Sans");
  EXPECT_EQ(a.Size, 600);
  EXPECT_EQ(a.Color, (Rgba{255, 128, 0, 255}));
  EXPECT_EQ(a.LetterSpacing, 30);
  EXPECT_TRUE(a.Bold && a.Kerning && !a.Italic);
  EXPECT_EQ(a.Align, TextAlign::Center);
  const TextFormat& b = FormatAt(runs, 1);
  EXPECT_EQ(b.Size, 640);
  EXPECT_TRUE(b.Italic && !b.Bold);
  EXPECT_EQ(FormatAt(runs, 3), base);
}

class Layout : public ::testing::Test {
protected:
  // 'A' and ' ' 1000 and 500 units wide, ascent 800, descent 200: at a
  // height of 1024 twips a unit is a twip.
  static Font MakeFont(CharacterId Id, const char* Name, bool Bold)
  {
    Font f;
    f.Id = Id;
    f.Version = 2;
    f.Name = Name;
    f.Bold = Bold;
    f.Glyphs.resize(2);
    f.CodeTable = {'A', ' '};
    f.Advances = {1000, 500};
    f.Ascent = 800;
    f.Descent = 200;
    f.Kerning = {{'A', 'A', -200}};
    return f;
  }

  Layout()
  {
    Fonts.Dictionary.emplace(1, MakeFont(1, "Plain", false));
    Fonts.Dictionary.emplace(2, MakeFont(2, "Plain", true));
    Field.Bounds = {0, 3080, 0, 3000}; // 3000 twips inside the gutters
    Field.FontId = 1;
    Field.Height = 1024;
    Field.UseOutlines = true;
  }

  Movie Fonts;
  EditTextField Field;
};

TEST_F(Layout, WrapsAfterTheLastSpaceThatFitsAndAlignsWithoutIt)
{
  Field.WordWrap = true;
  Field.Align = TextAlign::Right;
  Field.Initial = "A A A A";
  const auto t = LayOutEditText(Field, Fonts);
  ASSERT_TRUE(t);
  ASSERT_EQ(t->Records.size(), 2u);
  // "A A " then "A A", each 2500 wide without its trailing space.
  EXPECT_EQ(std::pair(t->Records[0].X, t->Records[0].Y), std::pair(540, 840));
  EXPECT_EQ(std::pair(t->Records[1].X, t->Records[1].Y), std::pair(540, 840 + 200 + 800));
  EXPECT_EQ(t->Records[0].Glyphs.size(), 4u);
}

TEST_F(Layout, HtmlPicksTheEmbeddedFontOfTheFaceAndStyleAndKernsPairs)
{
  Field.Html = true;
  Field.Initial = "<font face='plain' kerning='1'><b>AA</b>A</font>";
  const auto t = LayOutEditText(Field, Fonts);
  ASSERT_TRUE(t);
  ASSERT_EQ(t->Records.size(), 2u);
  EXPECT_EQ(t->Records[0].FontId, 2);
  EXPECT_EQ(t->Records[0].Glyphs[0].Advance, 800);  // kerned
  EXPECT_EQ(t->Records[0].Glyphs[1].Advance, 1000); // the next is in another font
  EXPECT_EQ(t->Records[1].FontId, 1);
  EXPECT_EQ(t->Records[1].X, 40 + 1800);
}

TEST_F(Layout, ABorderIsDrawnEvenWhenTheTextIsNot)
{
  Field.Border = true;
  Field.Password = true;
  Field.Initial = "A";
  const auto t = LayOutEditText(Field, Fonts);
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->Frame);
  EXPECT_TRUE(t->Records.empty());
  Field.Border = false;
  EXPECT_FALSE(LayOutEditText(Field, Fonts));
}

} // namespace
} // namespace quenloft::swf

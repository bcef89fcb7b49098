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
      {"<u>a</u>b<u>c</u>", "abc"},
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

// The boxes of a frame holding only underlines: left, top, right, bottom
// and colour of each.
struct Box {
  std::int32_t X0, Y0, X1, Y1;
  Rgba Color;
  friend bool operator==(const Box&, const Box&) = default;
};

std::vector<Box> Boxes(const Shape& S)
{
  std::vector<Box> out;
  for (std::size_t i = 0; i + 2 < S.Records.size(); ++i) {
    const ShapeRecord& r = S.Records[i];
    if (!r.HasMove || !r.Fill1 || *r.Fill1 == 0)
      continue;
    const std::int32_t x1 = r.MoveX + S.Records[i + 1].AnchorDx;
    const std::int32_t y1 = r.MoveY + S.Records[i + 2].AnchorDy;
    out.push_back({r.MoveX, r.MoveY, x1, y1, S.Styles.Fills.at(*r.Fill1 - 1).Color});
  }
  return out;
}

TEST_F(Layout, UnderlinedTextGetsALineUnderEachStretchOfOneColour)
{
  struct Case {
    const char* Html;
    std::vector<Box> Expected;
  };
  // Baseline 840, descent 200: the line is the pixel row around 940.
  constexpr Rgba black{0, 0, 0, 255}, red{255, 0, 0, 255};
  const Case cases[] = {
      {"<u>AA</u>A", {{40, 930, 2040, 950, black}}},
      {"A<u> A </u>", {{1040, 930, 2540, 950, black}}}, // not under the space that ends the line
      {"<u><font color='#FF0000'>A</font>A</u>", {{40, 930, 1040, 950, red}, {1040, 930, 2040, 950, black}}},
      {"<u>A</u><p><u>A</u></p>", {{40, 930, 1040, 950, black}, {40, 1930, 1040, 1950, black}}},
      {"AA", {}},
  };
  Field.Html = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Html);
    Field.Initial = c.Html;
    const auto t = LayOutEditText(Field, Fonts);
    ASSERT_TRUE(t);
    EXPECT_EQ(Boxes(t->Frame ? *t->Frame : Shape{}), c.Expected);
    if (!c.Expected.empty()) {
      EXPECT_EQ(t->Frame->Bounds.XMin, c.Expected.front().X0);
      EXPECT_EQ(t->Frame->Bounds.YMax, c.Expected.back().Y1);
    }
  }
}

TEST_F(Layout, AListItemIsMovedRightAndGetsABulletOnItsFirstLine)
{
  Font withBullet = MakeFont(3, "Bullets", false);
  withBullet.Glyphs.resize(3);
  withBullet.CodeTable.push_back(U'\u2022');
  withBullet.Advances.push_back(400);
  Fonts.Dictionary.emplace(3, withBullet);
  struct Case {
    const char* Name;
    CharacterId Font;
    const char* Html;
    bool Wrap;
    // Records: x, y and first glyph.
    std::vector<std::tuple<std::int32_t, std::int32_t, std::uint32_t>> Expected;
  };
  const Case cases[] = {
      {"bullet at 18 px, text at 36 px, the next paragraph back at the margin",
       3,
       "<li>A</li>A",
       false,
       {{400, 840, 2}, {760, 840, 0}, {40, 1840, 0}}},
      {"wrapped in 36 px less room, every line moved, one bullet",
       3,
       "<li>A A A</li>",
       true,
       {{400, 840, 2}, {760, 840, 0}, {760, 1840, 0}, {760, 2840, 0}}},
      {"a font without a bullet moves the text all the same", 1, "<li>A</li>", false, {{760, 840, 0}}},
  };
  Field.Html = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Field.FontId = c.Font;
    Field.WordWrap = c.Wrap;
    Field.Initial = c.Html;
    const auto t = LayOutEditText(Field, Fonts);
    ASSERT_TRUE(t);
    std::vector<std::tuple<std::int32_t, std::int32_t, std::uint32_t>> got;
    for (const TextRecord& r : t->Records)
      got.emplace_back(r.X, r.Y, r.Glyphs.empty() ? UINT32_MAX : r.Glyphs.front().Index);
    EXPECT_EQ(got, c.Expected);
  }
}

} // namespace
} // namespace quenloft::swf

#include "swf/EditText.h"

#include "platform/kvuStrings.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <initializer_list>
#include <cmath>
#include <unordered_map>

namespace quenloft::swf {
namespace {

// The player keeps a gutter of two pixels inside the field's box.
constexpr std::int32_t Gutter = 40;
constexpr std::int32_t TwipsPerPixel = 20;
// HTML nested deeper than this keeps the innermost format it reached.
constexpr std::size_t MaxFormatDepth = 256;

std::string Lower(std::string_view S)
{
  std::string out(S);
  std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
  return out;
}

// The next code point of UTF-8 text at At (moved past it); a byte that
// starts no valid sequence stands for itself, as Latin-1.
char32_t NextCodePoint(std::string_view S, std::size_t& At)
{
  const auto byte = [&](std::size_t I) { return static_cast<unsigned char>(S[I]); };
  const unsigned char lead = byte(At);
  const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length <= 1 || At + static_cast<std::size_t>(length) > S.size()) {
    ++At;
    return lead;
  }
  char32_t c = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(At + static_cast<std::size_t>(i));
    if ((next >> 6) != 2) {
      ++At;
      return lead;
    }
    c = (c << 6) | (next & 0x3F);
  }
  At += static_cast<std::size_t>(length);
  return c;
}

// A number of pixels ("12", "-1.5"), or nullopt.
std::optional<double> Pixels(std::string_view Text)
{
  double value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (error != std::errc() || end == Text.data())
    return std::nullopt;
  return value;
}

std::int32_t PixelsToTwips(double Value)
{
  return static_cast<std::int32_t>(std::clamp(std::round(Value * TwipsPerPixel), -1e8, 1e8));
}

std::optional<Rgba> HtmlColor(std::string_view Text)
{
  if (Text.size() != 7 || Text[0] != '#')
    return std::nullopt;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(Text.data() + 1, Text.data() + 7, value, 16);
  if (error != std::errc() || end != Text.data() + 7)
    return std::nullopt;
  return Rgba{static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
              static_cast<std::uint8_t>(value), 255};
}

// An entity after "&" at At ("lt;", "#60;", "#x3C;"): its character, At
// moved past the ";". nullopt leaves At alone: the "&" is text.
std::optional<char32_t> Entity(std::string_view S, std::size_t& At)
{
  const std::size_t semi = S.find(';', At);
  if (semi == std::string_view::npos || semi - At > 10)
    return std::nullopt;
  const std::string name = Lower(S.substr(At, semi - At));
  std::optional<char32_t> c;
  if (name == "lt")
    c = U'<';
  else if (name == "gt")
    c = U'>';
  else if (name == "amp")
    c = U'&';
  else if (name == "quot")
    c = U'"';
  else if (name == "apos")
    c = U'\'';
  else if (name == "nbsp")
    c = U'\u00A0';
  else if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x';
    unsigned value = 0;
    const char* first = name.data() + (hex ? 2 : 1);
    const auto [end, error] = std::from_chars(first, name.data() + name.size(), value, hex ? 16 : 10);
    if (error == std::errc() && end == name.data() + name.size() && end != first && value <= 0x10FFFF)
      c = static_cast<char32_t>(value);
  }
  if (c)
    At = semi + 1;
  return c;
}

struct Tag {
  std::string Name; // lower case
  bool Closing = false;
  std::unordered_map<std::string, std::string> Attributes; // names in lower case
};

// The tag between "<" and ">".
Tag ParseTag(std::string_view Body)
{
  Tag tag;
  std::size_t i = 0;
  const auto blank = [](char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; };
  const auto skipBlanks = [&] {
    while (i < Body.size() && blank(Body[i]))
      ++i;
  };
  skipBlanks();
  if (i < Body.size() && Body[i] == '/') {
    tag.Closing = true;
    ++i;
  }
  const std::size_t nameStart = i;
  while (i < Body.size() && !blank(Body[i]) && Body[i] != '/')
    ++i;
  tag.Name = Lower(Body.substr(nameStart, i - nameStart));
  while (i < Body.size()) {
    skipBlanks();
    const std::size_t keyStart = i;
    while (i < Body.size() && !blank(Body[i]) && Body[i] != '=' && Body[i] != '/')
      ++i;
    if (i == keyStart) {
      ++i;
      continue;
    }
    const std::string key = Lower(Body.substr(keyStart, i - keyStart));
    skipBlanks();
    std::string value;
    if (i < Body.size() && Body[i] == '=') {
      ++i;
      skipBlanks();
      if (i < Body.size() && (Body[i] == '"' || Body[i] == '\'')) {
        const char quote = Body[i++];
        const std::size_t end = std::min(Body.find(quote, i), Body.size());
        value = Body.substr(i, end - i);
        i = end + 1;
      } else {
        const std::size_t valueStart = i;
        while (i < Body.size() && !blank(Body[i]))
          ++i;
        value = Body.substr(valueStart, i - valueStart);
      }
    }
    tag.Attributes[key] = value;
  }
  return tag;
}

// The format inside an opening tag, from the one around it.
TextFormat Opened(const Tag& T, TextFormat F)
{
  const auto attribute = [&T](const char* Name) -> const std::string* {
    const auto it = T.Attributes.find(Name);
    return it == T.Attributes.end() ? nullptr : &it->second;
  };
  if (T.Name == "b")
    F.Bold = true;
  else if (T.Name == "i")
    F.Italic = true;
  else if (T.Name == "p") {
    if (const std::string* align = attribute("align")) {
      const std::string a = Lower(*align);
      F.Align = a == "right"     ? TextAlign::Right
                : a == "center"  ? TextAlign::Center
                : a == "justify" ? TextAlign::Justify
                                 : TextAlign::Left;
    }
  } else if (T.Name == "font") {
    if (const std::string* face = attribute("face"))
      F.Face = *face;
    if (const std::string* size = attribute("size")) {
      // "+2" and "-2" are relative to the size around.
      const bool relative = !size->empty() && (size->front() == '+' || size->front() == '-');
      if (const auto px = Pixels(std::string_view(*size).substr(size->front() == '+' ? 1 : 0)))
        F.Size = std::max(0, (relative ? F.Size : 0) + PixelsToTwips(*px));
    }
    if (const std::string* color = attribute("color"))
      F.Color = HtmlColor(*color).value_or(F.Color);
    if (const std::string* spacing = attribute("letterspacing"))
      F.LetterSpacing = Pixels(*spacing) ? PixelsToTwips(*Pixels(*spacing)) : F.LetterSpacing;
    if (const std::string* kerning = attribute("kerning"))
      F.Kerning = *kerning == "1" || Lower(*kerning) == "true";
  } else if (T.Name == "textformat") {
    const auto twips = [&](const char* Name, std::int32_t& Into) {
      if (const std::string* v = attribute(Name))
        if (const auto px = Pixels(*v))
          Into = PixelsToTwips(*px);
    };
    twips("leftmargin", F.LeftMargin);
    twips("rightmargin", F.RightMargin);
    twips("indent", F.Indent);
    twips("leading", F.Leading);
    std::int32_t block = 0;
    twips("blockindent", block);
    F.LeftMargin += block;
  }
  return F;
}

// The tags that end a paragraph when they close.
bool EndsParagraph(const std::string& Name)
{
  return Name == "p" || Name == "li";
}

// A run with what the format leaves out: underlined text (u) and list
// items, whose paragraphs get a bullet (li).
struct DecoratedRun {
  TextRun Run;
  bool Underline = false;
  bool Bullet = false;
};

std::vector<DecoratedRun> ParseDecoratedHtml(std::string_view Html, const TextFormat& Default)
{
  std::vector<DecoratedRun> runs;
  // The open tags, innermost last, each with the format inside it.
  std::vector<std::pair<std::string, TextFormat>> open;
  const auto format = [&]() -> const TextFormat& { return open.empty() ? Default : open.back().second; };
  const auto inside = [&](const char* Name) {
    return std::any_of(open.begin(), open.end(), [Name](const auto& O) { return O.first == Name; });
  };
  const auto put = [&](char32_t C) {
    const bool underline = inside("u");
    const bool bullet = inside("li");
    if (runs.empty() || !(runs.back().Run.Format == format()) || runs.back().Underline != underline ||
        runs.back().Bullet != bullet)
      runs.push_back({{format(), {}}, underline, bullet});
    runs.back().Run.Text.push_back(C);
  };
  const auto lastChar = [&]() -> char32_t {
    return runs.empty() || runs.back().Run.Text.empty() ? U'\n' : runs.back().Run.Text.back();
  };

  std::size_t at = 0;
  while (at < Html.size()) {
    const char c = Html[at];
    if (c == '<') {
      const std::size_t end = Html.find('>', at + 1);
      if (end == std::string_view::npos)
        break; // a tag cut short hides the rest, as in the player
      const Tag tag = ParseTag(Html.substr(at + 1, end - at - 1));
      at = end + 1;
      if (tag.Name == "br") {
        put(U'\n');
      } else if (tag.Closing) {
        // Closes the innermost open tag of that name and all inside it.
        const auto it = std::find_if(open.rbegin(), open.rend(), [&](const auto& O) { return O.first == tag.Name; });
        if (it != open.rend())
          open.erase(std::prev(it.base()), open.end());
        if (EndsParagraph(tag.Name))
          put(U'\n');
      } else if (!tag.Name.empty() && tag.Name.front() != '!' && tag.Name.front() != '?') {
        // A paragraph that opens in the middle of a line starts a new one.
        if (EndsParagraph(tag.Name) && lastChar() != U'\n')
          put(U'\n');
        if (open.size() < MaxFormatDepth)
          open.emplace_back(tag.Name, Opened(tag, format()));
      }
      continue;
    }
    if (c == '&') {
      std::size_t next = at + 1;
      if (const auto entity = Entity(Html, next)) {
        put(*entity);
        at = next;
        continue;
      }
    }
    const char32_t code = NextCodePoint(Html, at);
    put(code == U'\r' ? U'\n' : code);
  }
  // The last paragraph's end makes no empty line after it.
  if (!runs.empty() && !runs.back().Run.Text.empty() && runs.back().Run.Text.back() == U'\n')
    runs.back().Run.Text.pop_back();
  return runs;
}

} // namespace

std::vector<TextRun> ParseHtmlText(std::string_view Html, const TextFormat& Default)
{
  std::vector<TextRun> runs;
  for (DecoratedRun& d : ParseDecoratedHtml(Html, Default)) {
    if (!runs.empty() && runs.back().Format == d.Run.Format)
      runs.back().Text += d.Run.Text;
    else
      runs.push_back(std::move(d.Run));
  }
  return runs;
}

namespace {

bool HasLayout(const Font& F)
{
  return F.Advances.size() == F.Glyphs.size() && F.CodeTable.size() >= F.Glyphs.size();
}

// A font with layout, found once per format.
class FontFinder {
public:
  FontFinder(const Movie& Fonts, const Font* FieldFont) : FFonts(Fonts), FFieldFont(FieldFont) {}

  // The embedded font of that face and style; of that face in another
  // style; else the field's own font.
  const Font* For(const TextFormat& F)
  {
    if (F.Face.empty())
      return FFieldFont;
    const std::string key = Lower(F.Face) + (F.Bold ? "\1b" : "\1") + (F.Italic ? "i" : "");
    if (const auto it = FFound.find(key); it != FFound.end())
      return it->second;
    const Font* styled = nullptr;
    const Font* named = nullptr;
    for (const auto& [id, ch] : FFonts.Dictionary) {
      const auto* font = std::get_if<Font>(&ch);
      if (!font || !HasLayout(*font) || !SameText(font->Name, F.Face))
        continue;
      // The lowest id wins a tie, whatever the map's order.
      const auto better = [](const Font* Old, const Font* New) { return !Old || New->Id < Old->Id; };
      if (font->Bold == F.Bold && font->Italic == F.Italic && better(styled, font))
        styled = font;
      if (better(named, font))
        named = font;
    }
    const Font* found = styled ? styled : named ? named : FFieldFont;
    FFound.emplace(key, found);
    return found;
  }

private:
  const Movie& FFonts;
  const Font* FFieldFont;
  std::unordered_map<std::string, const Font*> FFound;
};

double Scale(const Font& F, std::int32_t Size)
{
  return Size / (F.Version >= 3 ? 1024.0 * TwipsPerPixel : 1024.0);
}

// One character placed on a line.
struct Placed {
  char32_t Code = 0;
  const TextFormat* Format = nullptr;
  const swf::Font* Face = nullptr;
  std::optional<std::uint32_t> Glyph;
  std::int64_t Advance = 0; // whole twips, letter spacing and kerning included
  bool Underline = false;
  bool Bullet = false; // of a list item: its paragraph gets a bullet
};

// Where a list item's bullet and text start, right of the margin (and of
// the indent on the paragraph's first line).
constexpr std::int64_t BulletOffset = 18 * TwipsPerPixel;
constexpr std::int64_t BulletTextOffset = 36 * TwipsPerPixel;

// A filled box of one colour added to Into (the field's frame, drawn under
// the glyphs), as one clockwise contour.
void AddBox(Shape& Into, std::int32_t X0, std::int32_t Y0, std::int32_t X1, std::int32_t Y1, Rgba Color)
{
  if (X1 <= X0 || Y1 <= Y0)
    return;
  FillStyle fill;
  fill.Color = Color;
  Into.Styles.Fills.push_back(fill);
  ShapeRecord start;
  start.HasMove = true;
  start.MoveX = X0;
  start.MoveY = Y0;
  start.Fill0 = 0;
  start.Fill1 = static_cast<std::uint32_t>(Into.Styles.Fills.size());
  Into.Records.push_back(start);
  for (const auto& [dx, dy] : {std::pair{X1 - X0, 0}, {0, Y1 - Y0}, {X0 - X1, 0}, {0, Y0 - Y1}}) {
    ShapeRecord edge;
    edge.Type = ShapeRecord::Kind::StraightEdge;
    edge.AnchorDx = dx;
    edge.AnchorDy = dy;
    Into.Records.push_back(edge);
  }
  for (Rect* r : {&Into.Bounds, &Into.EdgeBounds})
    *r = {std::min(r->XMin, X0), std::max(r->XMax, X1), std::min(r->YMin, Y0), std::max(r->YMax, Y1)};
}

// The frame of a field with a border: a black line one pixel wide on the
// pixels from the box's left and top edges to its right and bottom edges,
// white inside it (filled areas rather than a stroke, so that the line
// covers exactly those pixels, as the player's does).
Shape FieldFrame(const EditTextField& Field)
{
  Shape s;
  s.Id = Field.Id;
  const Rect& b = Field.Bounds;
  const std::int32_t x0 = b.XMin, y0 = b.YMin;
  const std::int32_t x1 = b.XMax + TwipsPerPixel, y1 = b.YMax + TwipsPerPixel;
  s.Bounds = s.EdgeBounds = {x0, x1, y0, y1};
  FillStyle white;
  white.Color = {255, 255, 255, 255};
  FillStyle black;
  black.Color = {0, 0, 0, 255};
  s.Styles.Fills = {white, black};
  // Each contour runs clockwise on the screen: Fill1 lies inside it.
  const auto contour = [&s](std::int32_t X, std::int32_t Y, std::uint32_t Outside, std::uint32_t Inside,
                            std::initializer_list<std::pair<std::int32_t, std::int32_t>> Steps) {
    ShapeRecord start;
    start.HasMove = true;
    start.MoveX = X;
    start.MoveY = Y;
    start.Fill0 = Outside;
    start.Fill1 = Inside;
    s.Records.push_back(start);
    for (const auto& [dx, dy] : Steps) {
      ShapeRecord edge;
      edge.Type = ShapeRecord::Kind::StraightEdge;
      edge.AnchorDx = dx;
      edge.AnchorDy = dy;
      s.Records.push_back(edge);
    }
  };
  const std::int32_t w = x1 - x0;
  const std::int32_t h = y1 - y0;
  constexpr std::int32_t Px = TwipsPerPixel;
  if (w <= 2 * Px || h <= 2 * Px) {
    contour(x0, y0, 0, 2, {{w, 0}, {0, h}, {-w, 0}, {0, -h}});
    return s;
  }
  // The player's outline leaves out the bottom right corner's pixel.
  contour(x0, y0, 0, 2, {{w, 0}, {0, h - Px}, {-Px, 0}, {0, Px}, {Px - w, 0}, {0, -h}});
  contour(x0 + Px, y0 + Px, 2, 1, {{w - 2 * Px, 0}, {0, h - 2 * Px}, {2 * Px - w, 0}, {0, 2 * Px - h}});
  return s;
}

} // namespace

std::optional<Text> LayOutEditText(const EditTextField& Field, const Movie& Fonts)
{
  Text t;
  t.Id = Field.Id;
  t.Bounds = Field.Bounds;
  // A box the 32-bit edges of a shape cannot go round gets no frame.
  const Rect& box = Field.Bounds;
  const std::int64_t frameSpan = std::max(std::int64_t{box.XMax} - box.XMin, std::int64_t{box.YMax} - box.YMin);
  if (Field.Border && frameSpan >= 0 && frameSpan < INT32_MAX / 2)
    t.Frame = FieldFrame(Field);
  const Character* ch = Fonts.Find(Field.FontId);
  const Font* declared = ch ? std::get_if<Font>(ch) : nullptr;
  const Font* fieldFont = declared && HasLayout(*declared) ? declared : nullptr;
  if (Field.Password) {
    if (t.Frame)
      return t;
    return std::nullopt;
  }

  TextFormat base;
  base.Size = Field.Height;
  base.Color = Field.Color;
  base.Align = Field.Align;
  base.LeftMargin = Field.LeftMargin;
  base.RightMargin = Field.RightMargin;
  base.Indent = Field.Indent;
  base.Leading = Field.Leading;
  if (!Field.UseOutlines && declared) {
    // A device font is known by its name and style alone.
    base.Face = declared->Name;
    base.Bold = declared->Bold;
    base.Italic = declared->Italic;
  }
  std::vector<DecoratedRun> runs;
  if (Field.Html) {
    runs = ParseDecoratedHtml(Field.Initial, base);
  } else if (!Field.Initial.empty()) {
    TextRun plain{base, {}};
    for (std::size_t at = 0; at < Field.Initial.size();) {
      const char32_t c = NextCodePoint(Field.Initial, at);
      plain.Text.push_back(c == U'\r' ? U'\n' : c);
    }
    runs.push_back({std::move(plain)});
  }
  if (!Field.UseOutlines) {
    // The system's fonts are the renderer's to measure.
    if (!runs.empty()) {
      std::vector<TextRun> plain;
      for (DecoratedRun& d : runs)
        plain.push_back(std::move(d.Run));
      t.Device = DeviceText{std::move(plain), Field.WordWrap};
    }
    if (!t.Device && !t.Frame)
      return std::nullopt;
    return t;
  }

  // Every character with its font, glyph and advance. Metrics and advances
  // are cut to whole twips, as the player lays text out.
  FontFinder finder(Fonts, fieldFont);
  // Each font's kerning pairs by (first << 16 | second), made once.
  std::unordered_map<const Font*, std::unordered_map<std::uint32_t, std::int16_t>> kerning;
  const auto kerningOf = [&kerning](const Font& F) -> const std::unordered_map<std::uint32_t, std::int16_t>& {
    auto [it, made] = kerning.try_emplace(&F);
    if (made)
      for (const Font::KerningPair& k : F.Kerning)
        it->second.emplace(std::uint32_t{k.First} << 16 | k.Second, k.Adjustment);
    return it->second;
  };
  std::vector<Placed> chars;
  // Kerning pairs name 16-bit character codes.
  const auto before16 = [](char32_t A, char32_t B) { return A <= 0xFFFF && B <= 0xFFFF; };
  for (const DecoratedRun& decorated : runs) {
    const TextRun& run = decorated.Run;
    const Font* font = finder.For(run.Format);
    std::unordered_map<char32_t, std::uint32_t> glyphOf;
    if (font)
      for (std::uint32_t i = 0; i < font->Glyphs.size(); ++i)
        glyphOf.emplace(font->CodeTable[i], i);
    for (char32_t c : run.Text) {
      Placed p;
      p.Code = c;
      p.Format = &run.Format;
      p.Face = font;
      p.Underline = decorated.Underline;
      p.Bullet = decorated.Bullet;
      if (c != U'\n' && font) {
        if (const auto it = glyphOf.find(c == U'\u00A0' ? U' ' : c); it != glyphOf.end()) {
          p.Glyph = it->second;
          p.Advance = static_cast<std::int64_t>(font->Advances[it->second] * Scale(*font, run.Format.Size)) +
                      run.Format.LetterSpacing;
        }
      }
      // A kerned pair moves the second glyph: the first's advance, adjusted
      // in glyph units, is cut to whole twips again.
      if (!chars.empty() && run.Format.Kerning && font && p.Glyph && chars.back().Face == font &&
          chars.back().Glyph && chars.back().Format->Size == run.Format.Size && before16(chars.back().Code, c)) {
        Placed& before = chars.back();
        const auto& pairs = kerningOf(*font);
        if (const auto k = pairs.find(before.Code << 16 | c); k != pairs.end())
          before.Advance = static_cast<std::int64_t>((font->Advances[*before.Glyph] + k->second) *
                                                     Scale(*font, run.Format.Size)) +
                           run.Format.LetterSpacing;
      }
      chars.push_back(p);
    }
  }
  if (chars.empty() && !t.Frame)
    return std::nullopt;

  // Positions are worked out in 64 bits: a hostile field's box, margins and
  // text may reach past the 32-bit range; each record keeps a clamped pen.
  const auto clamp32 = [](std::int64_t V) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(V, INT32_MIN, INT32_MAX));
  };
  const std::int64_t boxLeft = std::int64_t{Field.Bounds.XMin} + Gutter;
  const std::int64_t boxWidth = std::int64_t{Field.Bounds.XMax} - Field.Bounds.XMin - 2 * Gutter;
  std::int64_t baseline = std::int64_t{Field.Bounds.YMin} + Gutter;
  std::int64_t lastDescent = 0;
  bool firstLine = true;

  // Underlines go into the frame (drawn under the glyphs); a field without
  // a border gets one that holds only them.
  const auto decorations = [&]() -> Shape& {
    if (!t.Frame) {
      t.Frame.emplace();
      t.Frame->Id = Field.Id;
      t.Frame->Bounds = t.Frame->EdgeBounds = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};
    }
    return *t.Frame;
  };

  // Lays out chars [From, To) as one line of a paragraph in format Para
  // (a list item's when Bullet).
  const auto line = [&](std::size_t From, std::size_t To, const TextFormat& Para, bool FirstOfParagraph,
                        bool Bullet) {
    std::int64_t ascent = 0;
    std::int64_t descent = 0;
    const auto measure = [&](const Font* F, std::int32_t Size) {
      if (!F)
        return;
      ascent = std::max(ascent, static_cast<std::int64_t>(F->Ascent * Scale(*F, Size)));
      descent = std::max(descent, static_cast<std::int64_t>(F->Descent * Scale(*F, Size)));
    };
    for (std::size_t i = From; i < To; ++i)
      measure(chars[i].Face, chars[i].Format->Size);
    if (From == To)
      measure(finder.For(Para), Para.Size);
    baseline += firstLine ? ascent : lastDescent + Para.Leading + ascent;
    firstLine = false;
    lastDescent = descent;

    // Spaces at the end of a line take no room for the alignment.
    std::size_t shown = To;
    while (shown > From && (chars[shown - 1].Code == U' ' || chars[shown - 1].Code == U'\n'))
      --shown;
    std::int64_t advance = 0;
    for (std::size_t i = From; i < shown; ++i)
      advance += chars[i].Advance;
    const std::int64_t margin = Para.LeftMargin + (FirstOfParagraph ? Para.Indent : 0);
    const std::int64_t start = margin + (Bullet ? BulletTextOffset : 0);
    const std::int64_t room = boxWidth - Para.LeftMargin - Para.RightMargin - (start - Para.LeftMargin) - advance;
    std::int64_t pen = boxLeft + start +
                       (Para.Align == TextAlign::Right ? room : Para.Align == TextAlign::Center ? room / 2 : 0);
    // A record per stretch of one font, colour and size on this line.
    std::size_t before = t.Records.size();
    if (Bullet && FirstOfParagraph && From < To && chars[From].Face) {
      // The bullet, in the font and format of the item's first character.
      const Placed& first = chars[From];
      const auto& codes = first.Face->CodeTable;
      const auto found = std::find(codes.begin(), codes.end(), U'\u2022');
      if (found != codes.end() && static_cast<std::size_t>(found - codes.begin()) < first.Face->Glyphs.size()) {
        TextRecord bullet;
        bullet.FontId = first.Face->Id;
        bullet.Color = first.Format->Color;
        bullet.Height = static_cast<std::uint16_t>(std::clamp<std::int32_t>(first.Format->Size, 0, UINT16_MAX));
        bullet.X = clamp32(boxLeft + margin + BulletOffset);
        bullet.Y = clamp32(baseline);
        bullet.Glyphs.push_back({static_cast<std::uint32_t>(found - codes.begin()), 0});
        t.Records.push_back(std::move(bullet));
        before = t.Records.size(); // the text starts a record of its own
      }
    }
    // Each stretch of underlined characters of one colour: a line one pixel
    // high, halfway down the line's descent.
    const std::int64_t underline = baseline + descent / 2;
    std::optional<std::pair<std::int64_t, Rgba>> underlineFrom;
    const auto endUnderline = [&](std::int64_t At) {
      if (underlineFrom && At > underlineFrom->first)
        AddBox(decorations(), clamp32(underlineFrom->first), clamp32(underline - TwipsPerPixel / 2), clamp32(At),
               clamp32(underline + TwipsPerPixel / 2), underlineFrom->second);
      underlineFrom.reset();
    };
    for (std::size_t i = From; i < To; ++i) {
      const Placed& p = chars[i];
      if (p.Glyph) {
        TextRecord* rec = t.Records.size() > before ? &t.Records.back() : nullptr;
        if (!rec || rec->FontId != p.Face->Id || rec->Color != p.Format->Color || rec->Height != p.Format->Size) {
          TextRecord fresh;
          fresh.FontId = p.Face->Id;
          fresh.Color = p.Format->Color;
          fresh.Height = static_cast<std::uint16_t>(std::clamp<std::int32_t>(p.Format->Size, 0, UINT16_MAX));
          fresh.X = clamp32(pen);
          fresh.Y = clamp32(baseline);
          t.Records.push_back(std::move(fresh));
          rec = &t.Records.back();
        }
        rec->Glyphs.push_back({*p.Glyph, clamp32(p.Advance)});
      }
      const bool underlined = p.Underline && i < shown;
      if (underlineFrom && (!underlined || underlineFrom->second != p.Format->Color))
        endUnderline(pen);
      if (underlined && !underlineFrom)
        underlineFrom.emplace(pen, p.Format->Color);
      pen += p.Advance;
    }
    endUnderline(pen);
  };

  // Paragraphs, each cut into lines where it meets the right edge (when
  // the field wraps words): after the last space that fits, else before
  // the character that does not fit.
  for (std::size_t from = 0; from <= chars.size();) {
    std::size_t end = from;
    while (end < chars.size() && chars[end].Code != U'\n')
      ++end;
    const TextFormat& para = from < chars.size() ? *chars[from].Format : runs.empty() ? base : runs.back().Run.Format;
    const bool bullet = from < chars.size() && chars[from].Bullet;
    std::size_t lineStart = from;
    bool firstOfParagraph = true;
    while (Field.WordWrap && lineStart < end) {
      const std::int64_t width = boxWidth - para.LeftMargin - para.RightMargin -
                                 (firstOfParagraph ? para.Indent : 0) - (bullet ? BulletTextOffset : 0);
      std::int64_t used = 0;
      std::size_t i = lineStart;
      std::optional<std::size_t> lastBreak;
      for (; i < end; ++i) {
        if (chars[i].Code != U' ' && used + chars[i].Advance > width && i > lineStart)
          break;
        used += chars[i].Advance;
        if (chars[i].Code == U' ')
          lastBreak = i + 1;
      }
      if (i == end)
        break;
      const std::size_t cut = lastBreak && *lastBreak > lineStart ? *lastBreak : i;
      line(lineStart, cut, para, firstOfParagraph, bullet);
      lineStart = cut;
      firstOfParagraph = false;
    }
    line(lineStart, end, para, firstOfParagraph, bullet);
    if (end >= chars.size())
      break;
    from = end + 1;
  }
  if (t.Records.empty() && !t.Frame)
    return std::nullopt;
  return t;
}

} // namespace quenloft::swf

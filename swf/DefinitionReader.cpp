#include "swf/DefinitionReader.h"

#include "swf/EditText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "swf/ShapeReader.h"

namespace quenloft::swf {

namespace {

std::vector<std::uint8_t> Copy(std::span<const std::uint8_t> Bytes)
{
  return std::vector<std::uint8_t>(Bytes.begin(), Bytes.end());
}

// A glyph is drawn with one solid fill (index 1); the text's colour
// replaces it.
Shape ReadGlyph(TTagReader& R)
{
  Shape glyph;
  glyph.Styles.Fills.push_back(FillStyle{});
  ReadShapeRecords(R, 1, glyph);
  return glyph;
}

} // namespace

Bitmap ReadBitmap(TTagReader& R, Tag TagCode)
{
  Bitmap b;
  b.Id = R.U16();
  switch (TagCode) {
  case Tag::DefineBits:
    b.UsesJpegTables = true;
    b.Data = Copy(R.Rest());
    break;
  case Tag::DefineBitsJPEG2: b.Data = Copy(R.Rest()); break;
  case Tag::DefineBitsJPEG3:
  case Tag::DefineBitsJPEG4: {
    b.Format = BitmapFormat::JpegWithAlpha;
    const std::uint32_t alphaAt = R.U32();
    if (TagCode == Tag::DefineBitsJPEG4)
      b.Deblocking = R.U16() / 256.0;
    b.Data = Copy(R.Bytes(alphaAt));
    b.Alpha = Copy(R.Rest());
    break;
  }
  default: // DefineBitsLossless and DefineBitsLossless2
    b.Format = TagCode == Tag::DefineBitsLossless2 ? BitmapFormat::LosslessAlpha : BitmapFormat::Lossless;
    b.LosslessFormat = R.U8();
    b.Width = R.U16();
    b.Height = R.U16();
    if (b.LosslessFormat == 3)
      b.ColorTableSize = R.U8();
    b.Data = Copy(R.Rest());
    break;
  }
  return b;
}

Font ReadFont(TTagReader& R, Tag TagCode)
{
  Font f;
  f.Id = R.U16();
  if (TagCode == Tag::DefineFont) {
    // An offset table whose first entry also tells how many glyphs follow.
    const std::span<const std::uint8_t> all = R.Rest();
    TTagReader t(all);
    if (t.AtEnd())
      return f;
    const std::size_t first = t.U16();
    const std::size_t count = first / 2;
    std::vector<std::size_t> offsets{first};
    for (std::size_t i = 1; i < count; ++i)
      offsets.push_back(t.U16());
    offsets.push_back(all.size());
    for (std::size_t i = 0; i < count; ++i) {
      if (offsets[i] > offsets[i + 1] || offsets[i + 1] > all.size())
        throw ETagError("a glyph offset outside the font");
      TTagReader g(all.subspan(offsets[i], offsets[i + 1] - offsets[i]));
      f.Glyphs.push_back(ReadGlyph(g));
    }
    return f;
  }
  f.Version = TagCode == Tag::DefineFont3 ? 3 : 2;
  const std::uint8_t flags = R.U8();
  const bool hasLayout = flags & 0x80;
  const bool wideOffsets = flags & 0x08;
  const bool wideCodes = flags & 0x04;
  f.Italic = flags & 0x02;
  f.Bold = flags & 0x01;
  R.U8(); // language code
  const std::uint8_t nameLength = R.U8();
  const auto name = R.Bytes(nameLength);
  f.Name.assign(name.begin(), name.end());
  while (!f.Name.empty() && f.Name.back() == '\0')
    f.Name.pop_back();
  const std::size_t count = R.U16();
  // Offsets count from the start of the offset table.
  TTagReader t(R.Rest());
  const auto table = t.Span();
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < count; ++i)
    offsets.push_back(wideOffsets ? t.U32() : t.U16());
  std::size_t codeAt = table.size();
  if (count > 0 || t.Remaining() >= (wideOffsets ? 4u : 2u))
    codeAt = wideOffsets ? t.U32() : t.U16();
  if (codeAt > table.size())
    throw ETagError("the code table lies outside the font");
  offsets.push_back(codeAt);
  for (std::size_t i = 0; i < count; ++i) {
    if (offsets[i] > offsets[i + 1])
      throw ETagError("a glyph offset outside the font");
    TTagReader g(table.subspan(offsets[i], offsets[i + 1] - offsets[i]));
    f.Glyphs.push_back(ReadGlyph(g));
  }
  t.Seek(codeAt);
  for (std::size_t i = 0; i < count && !t.AtEnd(); ++i)
    f.CodeTable.push_back(wideCodes ? t.U16() : t.U8());
  if (hasLayout && !t.AtEnd()) {
    f.Ascent = t.S16();
    f.Descent = t.S16();
    f.Leading = t.S16();
    for (std::size_t i = 0; i < count; ++i)
      f.Advances.push_back(t.S16());
    // The glyphs' bounds, then the kerning pairs; a font cut short of them
    // simply has none.
    try {
      for (std::size_t i = 0; i < count; ++i)
        t.ReadRect();
      const std::size_t pairs = t.U16();
      for (std::size_t i = 0; i < pairs; ++i) {
        Font::KerningPair k;
        k.First = wideCodes ? t.U16() : t.U8();
        k.Second = wideCodes ? t.U16() : t.U8();
        k.Adjustment = t.S16();
        f.Kerning.push_back(k);
      }
    } catch (const ETagError&) {
    }
  }
  return f;
}

void ReadFontInfo(TTagReader& R, Tag TagCode, Movie& Into)
{
  const CharacterId id = R.U16();
  const std::uint8_t nameLength = R.U8();
  const auto name = R.Bytes(nameLength);
  const std::uint8_t flags = R.U8();
  if (TagCode == Tag::DefineFontInfo2)
    R.U8(); // language code
  const auto it = Into.Dictionary.find(id);
  if (it == Into.Dictionary.end() || !std::holds_alternative<Font>(it->second))
    return;
  Font& font = std::get<Font>(it->second);
  font.Name.assign(name.begin(), name.end());
  font.CodeTable.clear();
  const bool wide = flags & 0x01;
  while (R.Remaining() >= (wide ? 2u : 1u))
    font.CodeTable.push_back(wide ? R.U16() : R.U8());
}

Text ReadText(TTagReader& R, Tag TagCode)
{
  const bool alpha = TagCode == Tag::DefineText2;
  Text t;
  t.Id = R.U16();
  t.Bounds = R.ReadRect();
  t.Transform = R.ReadMatrix();
  const int glyphBits = R.U8();
  const int advanceBits = R.U8();
  TextRecord state; // the fields in force, carried from record to record
  while (!R.AtEnd()) {
    const std::uint8_t flags = R.U8();
    if (flags == 0)
      break;
    TextRecord rec = state;
    rec.Glyphs.clear();
    if (flags & 0x08)
      rec.FontId = R.U16();
    if (flags & 0x04)
      rec.Color = R.ReadColor(alpha);
    if (flags & 0x01)
      rec.X = R.S16();
    if (flags & 0x02)
      rec.Y = R.S16();
    if (flags & 0x08)
      rec.Height = R.U16();
    const std::uint8_t count = R.U8();
    // Added up wide: a hostile record's advances may pass the 32-bit range.
    std::int64_t x = rec.X;
    for (int i = 0; i < count; ++i) {
      GlyphEntry g;
      g.Index = R.UBits(glyphBits);
      g.Advance = R.SBits(advanceBits);
      x += g.Advance;
      rec.Glyphs.push_back(g);
    }
    R.Align();
    state = rec;
    // The next record starts where this one's pen ended.
    state.X = static_cast<std::int32_t>(std::clamp<std::int64_t>(x, INT32_MIN, INT32_MAX));
    t.Records.push_back(std::move(rec));
  }
  return t;
}

std::optional<Text> ReadEditText(TTagReader& R, const Movie& Fonts)
{
  EditTextField f;
  f.Id = R.U16();
  f.Bounds = R.ReadRect();
  const std::uint8_t flags = R.U8();
  const std::uint8_t flags2 = R.U8();
  const bool hasText = flags & 0x80;
  f.WordWrap = flags & 0x40;
  f.Password = flags & 0x10;
  const bool hasColor = flags & 0x04;
  const bool hasMaxLength = flags & 0x02;
  const bool hasFont = flags & 0x01;
  const bool hasFontClass = flags2 & 0x80;
  const bool hasLayout = flags2 & 0x20;
  f.Border = flags2 & 0x08;
  f.Html = flags2 & 0x02;
  f.UseOutlines = flags2 & 0x01;
  if (hasFont)
    f.FontId = R.U16();
  if (hasFontClass)
    R.String();
  if (hasFont || hasFontClass)
    f.Height = R.U16();
  if (hasColor)
    f.Color = R.ReadRgba();
  if (hasMaxLength)
    f.MaxLength = R.U16();
  if (hasLayout) {
    const std::uint8_t align = R.U8();
    f.Align = align <= 3 ? static_cast<TextAlign>(align) : TextAlign::Left;
    f.LeftMargin = R.U16();
    f.RightMargin = R.U16();
    f.Indent = R.S16(); // signed in practice: players read a negative first-line indent
    f.Leading = R.S16();
  }
  f.Variable = R.String();
  if (hasText)
    f.Initial = R.String();
  f.Multiline = flags & 0x20;
  f.ReadOnly = flags & 0x08;
  f.AutoSize = flags2 & 0x40;
  f.NoSelect = flags2 & 0x10;
  // A field that shows nothing yet still exists for script.
  std::optional<Text> text = LayOutEditText(f, Fonts);
  if (!text) {
    text.emplace();
    text->Id = f.Id;
    text->Bounds = f.Bounds;
  }
  text->Edit = std::make_shared<const EditTextField>(std::move(f));
  return text;
}

} // namespace quenloft::swf

// Text metrics of fields: line breaking and the sizes textWidth,
// textHeight, scroll and autoSize report, from the advances and vertical
// metrics of the movie's embedded fonts, or from a fixed model of the
// device font for text in fonts the movie does not embed. Also what the
// renderer is given to draw once script has changed a field.
#include "swf/avm1/globals/TextFields.h"

#include "swf/EditText.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// The device font as the player measures it, per em: a sans-serif face's
// vertical metrics and a few classes of advance.
constexpr double DeviceAscent = 1.069;
constexpr double DeviceDescent = 0.293;

double DeviceAdvance(char32_t C)
{
  if (C == U' ' || C == U'i' || C == U'l' || C == U'j' || C == U'.' || C == U',' || C == U'\'' || C == U'!' ||
      C == U'|' || C == U':' || C == U';')
    return 0.26;
  if (C == U'm' || C == U'w' || C == U'M' || C == U'W')
    return 0.86;
  if (C >= U'A' && C <= U'Z')
    return 0.64;
  return 0.55;
}

const Font* EmbeddedFont(const Movie& Mv, const FieldFormat& F)
{
  if (!F.Font)
    return nullptr;
  const Font* best = nullptr;
  for (const auto& [id, c] : Mv.Dictionary) {
    const auto* f = std::get_if<Font>(&c);
    if (!f || f->Name != *F.Font || f->Advances.empty())
      continue;
    if (!best || (f->Bold == F.Bold.value_or(false) && f->Italic == F.Italic.value_or(false)))
      best = f;
  }
  return best;
}

struct Measure {
  double Advance = 0, Ascent = 0, Descent = 0;
};

// One character in format F, twips: embedded advances are cut to whole
// twips, the device font's to whole pixels.
Measure CharMeasure(const Movie* Mv, const FieldFormat& F, char32_t C, bool Embed)
{
  const double size = std::trunc(F.Size.value_or(12) * 20);
  const double spacing = F.LetterSpacing.value_or(0) * 20;
  Measure m;
  const Font* font = Embed && Mv ? EmbeddedFont(*Mv, F) : nullptr;
  if (Embed) {
    if (!font)
      return m;
    const double unit = font->Version >= 3 ? 20480.0 : 1024.0;
    m.Ascent = std::trunc(font->Ascent * size / unit);
    m.Descent = std::trunc(font->Descent * size / unit);
    for (std::size_t i = 0; i < font->CodeTable.size(); ++i)
      if (font->CodeTable[i] == C && i < font->Advances.size())
        m.Advance = std::trunc(font->Advances[i] * size / unit) + spacing;
    return m;
  }
  m.Ascent = std::trunc(DeviceAscent * size);
  m.Descent = std::trunc(DeviceDescent * size);
  const double plain = std::round(DeviceAdvance(C) * size / 20) * 20;
  const double spaced = plain + std::nearbyint(spacing / 20) * 20;
  m.Advance = spaced > 0 ? spaced : plain;
  return m;
}

struct LaidLine {
  double Width = 0, Ascent = 0, Descent = 0, Leading = 0;
};

// Lines of Text; Wrap > 0 breaks lines at spaces to fit Wrap twips.
std::vector<LaidLine> LayLines(const Movie* Mv, std::u32string_view Text, const std::vector<const FieldFormat*>& Formats,
                               const FieldFormat& Empty, double Wrap, bool Embed, bool TrimTrailing)
{
  std::vector<LaidLine> lines(1);
  const auto start = [&](const FieldFormat& F) {
    const Measure m = CharMeasure(Mv, F, U' ', Embed);
    lines.back().Ascent = std::max(lines.back().Ascent, m.Ascent);
    lines.back().Descent = std::max(lines.back().Descent, m.Descent);
    lines.back().Leading = F.Leading.value_or(0) * 20;
  };
  if (Text.empty())
    start(Empty);
  double sinceSpace = 0;
  // From SWF 8 on, spaces ending a line take no room in a line aligned
  // right or centred.
  double trailing = 0;
  const auto endLine = [&](const FieldFormat& F) {
    const TextAlign a = F.Align.value_or(TextAlign::Left);
    if (TrimTrailing && (a == TextAlign::Right || a == TextAlign::Center))
      lines.back().Width -= trailing;
    trailing = 0;
  };
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const FieldFormat& f = *Formats[i];
    if (Text[i] == U'\r') {
      endLine(f);
      start(f);
      lines.emplace_back();
      sinceSpace = 0;
      if (i + 1 == Text.size())
        start(f);
      continue;
    }
    const Measure m = CharMeasure(Mv, f, Text[i], Embed);
    LaidLine& l = lines.back();
    if (Wrap > 0 && l.Width + m.Advance > Wrap && l.Width > 0 && Text[i] != U' ') {
      // Break after the last space, carrying the word over.
      const double carried = sinceSpace < l.Width ? sinceSpace : 0;
      l.Width -= carried;
      lines.emplace_back();
      lines.back().Width = carried;
    }
    LaidLine& cur = lines.back();
    cur.Width += m.Advance;
    cur.Ascent = std::max(cur.Ascent, m.Ascent);
    cur.Descent = std::max(cur.Descent, m.Descent);
    cur.Leading = f.Leading.value_or(0) * 20;
    sinceSpace = Text[i] == U' ' ? 0 : sinceSpace + m.Advance;
    trailing = Text[i] == U' ' ? trailing + m.Advance : 0;
  }
  if (!Text.empty())
    endLine(*Formats.back());
  return lines;
}

constexpr double Gutter = 40; // 2 pixels each side

} // namespace

std::vector<TextFieldObject::Line> TextFieldObject::Lines() const
{
  const Movie* mv = FParent && FParent->Instance() ? &FParent->Player().Timeline().Movie() : nullptr;
  std::vector<const FieldFormat*> formats;
  formats.reserve(FText.size());
  for (std::uint32_t i : FFormatOf)
    formats.push_back(&FFormats[i]);
  const double wrap = WordWrap ? std::max(1.0, (Bounds.XMax - Bounds.XMin) - 2 * Gutter) : 0;
  std::vector<Line> out;
  const bool trim = FParent && FParent->Player().GetMachine().Version() >= 8;
  for (const LaidLine& l : LayLines(mv, FText, formats, NewFormat, wrap, EmbedFonts, trim))
    out.push_back({l.Width, l.Ascent + l.Descent + l.Leading, l.Leading});
  // A field that takes no typing does not count an empty last line.
  if (!Input && out.size() > 1 && !FText.empty() && FText.back() == U'\r')
    out.pop_back();
  return out;
}

double TextFieldObject::TextWidth() const
{
  double w = 0;
  for (const Line& l : Lines())
    w = std::max(w, l.Width);
  return w;
}

double TextFieldObject::TextHeight() const
{
  if (FText.empty())
    return 0;
  // Each line starts below the one before and its leading; the first
  // line's leading counts even when it is the only one.
  const std::vector<Line> lines = Lines();
  double top = 0, bottom = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double body = lines[i].Height - lines[i].Leading;
    bottom = std::max(bottom, top + body + (i == 0 ? lines[i].Leading : 0));
    top += lines[i].Height;
  }
  return bottom;
}

int TextFieldObject::MaxScroll() const
{
  const std::vector<Line> lines = Lines();
  const double visible = (Bounds.YMax - Bounds.YMin) - 2 * Gutter;
  double h = 0;
  std::size_t n = lines.size();
  // The last lines that fit in the box.
  while (n > 0 && h + lines[n - 1].Height <= visible + 1) {
    h += lines[n - 1].Height;
    --n;
  }
  return static_cast<int>(std::clamp<std::size_t>(n + 1, 1, std::max<std::size_t>(lines.size(), 1)));
}

int TextFieldObject::BottomScroll() const
{
  const std::vector<Line> lines = Lines();
  const double visible = (Bounds.YMax - Bounds.YMin) - 2 * Gutter;
  double h = 0;
  int n = Scroll - 1;
  while (n < static_cast<int>(lines.size()) && h + lines[static_cast<std::size_t>(n)].Height <= visible + 1)
    h += lines[static_cast<std::size_t>(n++)].Height;
  return std::max(n, Scroll);
}

std::size_t TextFieldObject::IndexAt(double X, double Y) const
{
  // Lines by their heights below the top gutter, then the character
  // whose middle is past X (breaks at '\r' only).
  const Movie* mv = FParent && FParent->Instance() ? &FParent->Player().Timeline().Movie() : nullptr;
  const std::vector<Line> lines = Lines();
  std::size_t line = 0;
  for (double top = Gutter + (lines.empty() ? 0 : lines[0].Height); line + 1 < lines.size() && Y > top; ++line)
    top += lines[line + 1].Height;
  std::size_t i = 0;
  for (std::size_t l = 0; l < line && i < FText.size(); ++i)
    if (FText[i] == U'\r')
      ++l;
  double x = Gutter;
  for (; i < FText.size() && FText[i] != U'\r'; ++i) {
    const double advance = CharMeasure(mv, FFormats[FFormatOf[i]], FText[i], EmbedFonts).Advance;
    if (X < x + advance / 2)
      return i;
    x += advance;
  }
  return i;
}

void TextFieldObject::Changed(Machine&)
{
  if (Fit != AutoSize::None) {
    // An input field keeps room for the caret.
    const double w = TextWidth() + 2 * Gutter + (Input ? 50 : 0);
    const double h = TextHeight() + 2 * Gutter;
    const double oldW = Bounds.XMax - Bounds.XMin;
    if (!WordWrap) {
      // The box grows from its left edge, its right edge or its middle;
      // the field's placement stays.
      const double shift = Fit == AutoSize::Left ? 0 : Fit == AutoSize::Right ? oldW - w : (oldW - w) / 2;
      Bounds.XMin += static_cast<std::int32_t>(std::round(shift));
      Bounds.XMax = Bounds.XMin + static_cast<std::int32_t>(w);
    }
    Bounds.YMax = Bounds.YMin + static_cast<std::int32_t>(h);
  }
  Scroll = std::clamp(Scroll, 1, std::max(1, MaxScroll()));
  DisplayObject* o = Placement();
  if (!o)
    return;
  const Movie& mv = FParent->Player().Timeline().Movie();
  EditTextField f;
  f.Id = FCharacter;
  f.Bounds = Bounds;
  const FieldFormat& first = FText.empty() ? NewFormat : FFormats[FFormatOf[0]];
  if (EmbedFonts)
    if (const Font* font = EmbeddedFont(mv, first))
      f.FontId = font->Id;
  f.Height = static_cast<std::uint16_t>(std::clamp(first.Size.value_or(12) * 20, 0.0, 65535.0));
  const std::uint32_t c = first.Color.value_or(0);
  f.Color = Rgba{static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c), 255};
  f.WordWrap = WordWrap;
  f.Password = Password;
  f.Border = Border;
  f.UseOutlines = EmbedFonts;
  f.Html = true;
  f.Initial = HtmlText();
  std::optional<swf::Text> laid = LayOutEditText(f, mv);
  if (!laid) {
    // Nothing to draw; the box still counts for bounds and hits.
    laid.emplace();
    laid->Bounds = Bounds;
  }
  o->Shown = std::make_shared<const swf::Text>(std::move(*laid));
}

Value TextExtent(Machine& M, const FieldFormat& F, const std::string& Text, Value Width)
{
  const std::u32string text = DecodeUtf8(Text);
  FieldFormat f = F;
  std::vector<const FieldFormat*> formats(text.size(), &f);
  const bool wrap = Width.IsNumber();
  const double width = wrap ? Width.ToNumber(M) * 20 : 0;
  const std::vector<LaidLine> lines = LayLines(nullptr, text, formats, f, wrap ? std::max(1.0, width - 2 * Gutter) : 0, false,
                                               M.Version() >= 8);
  double w = 0, h = 0;
  for (const LaidLine& l : lines) {
    w = std::max(w, l.Width);
    h += l.Ascent + l.Descent + l.Leading;
  }
  // A bare object: the player gives it no prototype.
  Object* out = M.NewObject();
  out->SetProto(nullptr);
  const LaidLine& first = lines.front();
  out->Set(M, M.Intern("ascent"), Value(std::round(first.Ascent) / 20));
  out->Set(M, M.Intern("descent"), Value(std::round(first.Descent) / 20));
  out->Set(M, M.Intern("width"), Value(std::round(w) / 20));
  out->Set(M, M.Intern("height"), Value(std::round(h) / 20));
  out->Set(M, M.Intern("textFieldHeight"), Value((std::round(h) + 2 * Gutter) / 20));
  out->Set(M, M.Intern("textFieldWidth"), Value(wrap ? width / 20 : (std::round(w) + 2 * Gutter) / 20));
  return Value(out);
}

} // namespace quenloft::swf::avm1

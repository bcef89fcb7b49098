// A field's HTML: reading the player's tag set into text and per-character
// formats, and writing htmlText back in the player's own markup.
#include "swf/avm1/globals/TextFields.h"

#include "swf/avm1/Machine.h"

#include <cmath>
#include <cstdio>

namespace quenloft::swf::avm1 {

namespace {

std::string Lower(std::string_view S)
{
  std::string l(S);
  for (char& c : l)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return l;
}

// The five named entities and numeric ones; others stay as written.
std::u32string Unescape(std::u32string_view S)
{
  static const std::pair<std::u32string_view, char32_t> Named[] = {
      {U"lt", U'<'}, {U"gt", U'>'}, {U"amp", U'&'}, {U"quot", U'"'}, {U"apos", U'\''}, {U"nbsp", U'\u00A0'}};
  std::u32string out;
  for (std::size_t i = 0; i < S.size(); ++i) {
    const std::size_t semi = S[i] == U'&' ? S.find(U';', i) : std::u32string_view::npos;
    if (semi == std::u32string_view::npos || semi - i > 10) {
      out.push_back(S[i]);
      continue;
    }
    const std::u32string_view name = S.substr(i + 1, semi - i - 1);
    char32_t c = 0;
    for (const auto& [n, v] : Named)
      if (n == name)
        c = v;
    if (!c && name.size() > 1 && name[0] == U'#') {
      const bool hex = name[1] == U'x' || name[1] == U'X';
      std::uint32_t v = 0;
      bool ok = name.size() > (hex ? 2u : 1u);
      for (std::size_t k = hex ? 2 : 1; ok && k < name.size(); ++k) {
        const char32_t d = name[k];
        const int digit = d >= U'0' && d <= U'9'                 ? int(d - U'0')
                          : hex && d >= U'a' && d <= U'f'        ? int(d - U'a' + 10)
                          : hex && d >= U'A' && d <= U'F'        ? int(d - U'A' + 10)
                                                                 : -1;
        ok = digit >= 0 && v < 0x110000;
        v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(std::max(digit, 0));
      }
      if (ok && v > 0 && v < 0x110000)
        c = v;
    }
    if (!c) {
      out.push_back(S[i]);
      continue;
    }
    out.push_back(c);
    i = semi;
  }
  return out;
}

struct Tag {
  std::string Name; // lower case
  bool Closing = false, SelfClosing = false;
  std::vector<std::pair<std::string, std::string>> Attributes; // names lower case
  const std::string* Find(std::string_view N) const
  {
    for (const auto& [k, v] : Attributes)
      if (k == N)
        return &v;
    return nullptr;
  }
};

// Reads the tag that starts at S[I] == '<'; moves I past it.
Tag ReadTag(std::string_view S, std::size_t& I)
{
  Tag t;
  std::size_t i = I + 1;
  if (i < S.size() && S[i] == '/') {
    t.Closing = true;
    ++i;
  }
  const auto space = [](char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; };
  std::size_t start = i;
  while (i < S.size() && !space(S[i]) && S[i] != '>' && S[i] != '/')
    ++i;
  t.Name = Lower(S.substr(start, i - start));
  while (i < S.size() && S[i] != '>') {
    if (space(S[i])) {
      ++i;
      continue;
    }
    if (S[i] == '/') {
      t.SelfClosing = true;
      ++i;
      continue;
    }
    start = i;
    while (i < S.size() && !space(S[i]) && S[i] != '=' && S[i] != '>')
      ++i;
    std::string key = Lower(S.substr(start, i - start));
    std::string value;
    if (i < S.size() && S[i] == '=') {
      ++i;
      if (i < S.size() && (S[i] == '"' || S[i] == '\'')) {
        const char q = S[i++];
        start = i;
        while (i < S.size() && S[i] != q)
          ++i;
        value = std::string(S.substr(start, i - start));
        if (i < S.size())
          ++i;
      } else {
        start = i;
        while (i < S.size() && !space(S[i]) && S[i] != '>')
          ++i;
        value = std::string(S.substr(start, i - start));
      }
    }
    t.Attributes.emplace_back(std::move(key), EncodeUtf8(Unescape(DecodeUtf8(value))));
  }
  I = i < S.size() ? i + 1 : i;
  return t;
}

std::optional<double> Number(const std::string& S)
{
  char* end = nullptr;
  const double d = std::strtod(S.c_str(), &end);
  return end != S.c_str() ? std::optional<double>(d) : std::nullopt;
}

bool IsSpace(char32_t C)
{
  return C == U' ' || C == U'\t' || C == U'\n' || C == U'\r';
}

} // namespace

void TextFieldObject::SetHtmlText(Machine& M, std::string_view Source)
{
  const int version = M.Version();
  const bool multiline = Multiline || version <= 6;
  FieldFormat base = NewFormat;
  if (version < 8)
    base.Align = TextAlign::Left;
  std::vector<FieldFormat> stack{base};
  std::vector<std::string> open;
  std::u32string text;
  std::vector<FieldFormat> formats;
  bool pOpen = false;
  const auto push = [&](std::u32string_view T, const FieldFormat& F) {
    text.append(T);
    formats.insert(formats.end(), T.size(), F);
  };
  for (std::size_t i = 0; i < Source.size();) {
    if (Source[i] != '<') {
      std::size_t end = Source.find('<', i);
      if (end == std::string_view::npos)
        end = Source.size();
      std::u32string run = Unescape(DecodeUtf8(Source.substr(i, end - i)));
      i = end;
      const bool blank = std::all_of(run.begin(), run.end(), IsSpace);
      if (run.empty() || (version <= 7 && blank))
        continue;
      if (CondenseWhite) {
        std::u32string c;
        for (char32_t ch : run)
          if (!IsSpace(ch) || c.empty() || !IsSpace(c.back()))
            c.push_back(IsSpace(ch) ? U' ' : ch);
        run = std::move(c);
      } else {
        for (char32_t& ch : run)
          if (ch == U'\n')
            ch = U'\r';
      }
      push(run, stack.back());
      continue;
    }
    if (Source.substr(i, 4) == "<!--") {
      const std::size_t end = Source.find("-->", i);
      i = end == std::string_view::npos ? Source.size() : end + 3;
      continue;
    }
    const Tag t = ReadTag(Source, i);
    if (!t.Closing) {
      FieldFormat f = stack.back();
      if (t.Name == "br" || t.Name == "sbr") {
        if (multiline || t.Name == "sbr")
          push(U"\r", f);
        continue;
      }
      if (t.Name == "p") {
        pOpen = true;
        if (const std::string* a = t.Find("align"))
          if (auto al = AlignFromName(*a))
            f.Align = al;
      } else if (t.Name == "a") {
        if (const std::string* a = t.Find("href"))
          f.Url = *a;
        if (const std::string* a = t.Find("target"))
          f.Target = *a;
      } else if (t.Name == "font") {
        if (const std::string* a = t.Find("face"))
          f.Font = *a;
        if (const std::string* a = t.Find("size")) {
          std::string s = *a;
          const char sign = !s.empty() && (s[0] == '+' || s[0] == '-') ? s[0] : 0;
          if (sign)
            s.erase(0, 1);
          std::size_t digits = 0;
          while (digits < s.size() && std::isdigit(static_cast<unsigned char>(s[digits])))
            ++digits;
          if (digits > 0) {
            double size = std::stod(s.substr(0, digits));
            if (sign)
              size = f.Size ? *f.Size + (sign == '+' ? size : -size) : std::nan("");
            if (!std::isnan(size))
              f.Size = std::clamp(size, 1.0, 127.0);
          }
        }
        if (const std::string* a = t.Find("color"); a && !a->empty() && (*a)[0] == '#') {
          std::size_t s = 1;
          while (s < a->size() && ((*a)[s] == ' ' || (*a)[s] == '\t' || (*a)[s] == '\n' || (*a)[s] == '\r'))
            ++s;
          std::size_t e = s;
          while (e < a->size() && std::isxdigit(static_cast<unsigned char>((*a)[e])))
            ++e;
          if (e > s)
            f.Color = static_cast<std::uint32_t>(std::stoul(a->substr(std::max(s, e - std::min<std::size_t>(e - s, 6)), std::min<std::size_t>(e - s, 6)), nullptr, 16));
        }
        if (const std::string* a = t.Find("letterspacing"))
          f.LetterSpacing = Number(*a);
        if (const std::string* a = t.Find("kerning")) {
          if (*a == "1" && version >= 8)
            f.Kerning = true;
          else if (*a == "0")
            f.Kerning = false;
        }
      } else if (t.Name == "b") {
        f.Bold = true;
      } else if (t.Name == "i") {
        f.Italic = true;
      } else if (t.Name == "u") {
        f.Underline = true;
      } else if (t.Name == "li") {
        if (multiline && !text.empty() && text.back() != U'\r')
          push(U"\r", stack.back());
        f.Bullet = true;
      } else if (t.Name == "textformat") {
        const auto num = [&](const char* N, std::optional<double>& Out) {
          if (const std::string* a = t.Find(N))
            Out = Number(*a);
        };
        num("leftmargin", f.LeftMargin);
        num("rightmargin", f.RightMargin);
        num("indent", f.Indent);
        num("blockindent", f.BlockIndent);
        num("leading", f.Leading);
        if (const std::string* a = t.Find("tabstops")) {
          std::vector<double> stops;
          std::size_t from = 0;
          while (from <= a->size()) {
            std::size_t comma = a->find(',', from);
            if (comma == std::string::npos)
              comma = a->size();
            if (auto n = Number(a->substr(from, comma - from)))
              stops.push_back(*n);
            from = comma + 1;
          }
          f.TabStops = std::move(stops);
        }
      }
      if (t.SelfClosing)
        continue;
      open.push_back(t.Name);
      stack.push_back(std::move(f));
      continue;
    }
    // A closing tag closes only the innermost open one of its name.
    if (open.empty() || open.back() != t.Name)
      continue;
    open.pop_back();
    if (t.Name == "li" && multiline)
      push(U"\r", stack.back());
    if (t.Name == "p" && multiline && pOpen) {
      // The break takes the look of the paragraph's last character.
      pOpen = false;
      push(U"\r", !text.empty() && text.back() != U'\r' ? formats.back() : stack.back());
    }
    stack.pop_back();
  }
  NewFormat = base;
  FText = std::move(text);
  FFormats.clear();
  FFormatOf.clear();
  for (const FieldFormat& f : formats)
    FFormatOf.push_back(static_cast<std::uint32_t>(FormatIndex(f)));
  Changed(M);
}

namespace {

std::string Num(double D)
{
  return NumberToText(D);
}

std::string Escape(std::u32string_view T)
{
  std::string out;
  for (char32_t c : T) {
    switch (c) {
    case U'<': out += "&lt;"; break;
    case U'>': out += "&gt;"; break;
    case U'&': out += "&amp;"; break;
    case U'"': out += "&quot;"; break;
    case U'\'': out += "&apos;"; break;
    default: out += EncodeUtf8(std::u32string_view(&c, 1));
    }
  }
  return out;
}

std::string Color(std::uint32_t C)
{
  char b[8];
  std::snprintf(b, sizeof b, "#%06X", C & 0xFFFFFF);
  return b;
}

std::string AlignUpper(const FieldFormat& F)
{
  std::string a(AlignName(F.Align.value_or(TextAlign::Left)));
  for (char& c : a)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return a;
}

std::string FontOpen(const FieldFormat& F, const FieldFormat* Outer)
{
  std::string s = "<FONT";
  const auto attr = [&](bool Differs, const std::string& Text) {
    if (!Outer || Differs)
      s += Text;
  };
  attr(!Outer || F.Font != Outer->Font, " FACE=\"" + F.Font.value_or("") + "\"");
  attr(!Outer || F.Size != Outer->Size, " SIZE=\"" + Num(F.Size.value_or(12)) + "\"");
  attr(!Outer || F.Color != Outer->Color, " COLOR=\"" + Color(F.Color.value_or(0)) + "\"");
  attr(!Outer || F.LetterSpacing != Outer->LetterSpacing,
       " LETTERSPACING=\"" + Num(F.LetterSpacing.value_or(0)) + "\"");
  attr(!Outer || F.Kerning != Outer->Kerning, std::string(" KERNING=\"") + (F.Kerning.value_or(false) ? "1" : "0") + "\"");
  return s + ">";
}

bool SameFont(const FieldFormat& A, const FieldFormat& B)
{
  return A.Font == B.Font && A.Size == B.Size && A.Color == B.Color && A.LetterSpacing == B.LetterSpacing &&
         A.Kerning == B.Kerning;
}

} // namespace

std::string TextFieldObject::HtmlText() const
{
  // One paragraph per line; a break that ends the text starts none, and
  // an empty field has none.
  std::string out;
  std::size_t start = 0;
  if (FText.empty())
    return out;
  do {
    std::size_t end = FText.find(U'\r', start);
    if (end == std::u32string::npos)
      end = FText.size();
    const FieldFormat& first = start < FText.size() ? FFormats[FFormatOf[start]] : NewFormat;
    const bool textformat = first.LeftMargin.value_or(0) != 0 || first.RightMargin.value_or(0) != 0 ||
                            first.Indent.value_or(0) != 0 || first.Leading.value_or(0) != 0 ||
                            first.BlockIndent.value_or(0) != 0 || (first.TabStops && !first.TabStops->empty());
    if (textformat) {
      out += "<TEXTFORMAT";
      if (first.LeftMargin.value_or(0) != 0)
        out += " LEFTMARGIN=\"" + Num(*first.LeftMargin) + "\"";
      if (first.RightMargin.value_or(0) != 0)
        out += " RIGHTMARGIN=\"" + Num(*first.RightMargin) + "\"";
      if (first.Indent.value_or(0) != 0)
        out += " INDENT=\"" + Num(*first.Indent) + "\"";
      if (first.Leading.value_or(0) != 0)
        out += " LEADING=\"" + Num(*first.Leading) + "\"";
      if (first.BlockIndent.value_or(0) != 0)
        out += " BLOCKINDENT=\"" + Num(*first.BlockIndent) + "\"";
      if (first.TabStops && !first.TabStops->empty()) {
        out += " TABSTOPS=\"";
        for (std::size_t k = 0; k < first.TabStops->size(); ++k)
          out += (k ? "," : "") + Num((*first.TabStops)[k]);
        out += "\"";
      }
      out += ">";
    }
    const bool bullet = first.Bullet.value_or(false);
    out += bullet ? "<LI>" : "<P ALIGN=\"" + AlignUpper(first) + "\">";
    out += FontOpen(first, nullptr);
    std::vector<const FieldFormat*> fonts{&first};
    // The break ending the paragraph counts as a run with no text: its
    // styles show where they differ.
    const std::size_t stop = end < FText.size() ? end + 1 : end;
    for (std::size_t i = start; i < stop;) {
      std::size_t j = i + 1;
      while (j < stop && FFormatOf[j] == FFormatOf[i])
        ++j;
      const FieldFormat& f = FFormats[FFormatOf[i]];
      // A run in the font of an open FONT closes those inside it; any
      // other opens one more inside the innermost.
      std::size_t level = fonts.size();
      while (level > 0 && !SameFont(*fonts[level - 1], f))
        --level;
      if (level > 0) {
        for (; fonts.size() > level; fonts.pop_back())
          out += "</FONT>";
      } else {
        out += FontOpen(f, fonts.back());
        fonts.push_back(&f);
      }
      const bool link = !f.Url.value_or("").empty();
      if (link)
        out += "<A HREF=\"" + *f.Url + "\" TARGET=\"" + f.Target.value_or("") + "\">";
      const bool b = f.Bold.value_or(false), it = f.Italic.value_or(false), u = f.Underline.value_or(false);
      out += std::string(b ? "<B>" : "") + (it ? "<I>" : "") + (u ? "<U>" : "");
      out += Escape(std::u32string_view(FText).substr(i, std::min(j, end) - std::min(i, end)));
      out += std::string(u ? "</U>" : "") + (it ? "</I>" : "") + (b ? "</B>" : "");
      if (link)
        out += "</A>";
      i = j;
    }
    for (; fonts.size() > 1; fonts.pop_back())
      out += "</FONT>";
    out += "</FONT>";
    out += bullet ? "</LI>" : "</P>";
    if (textformat)
      out += "</TEXTFORMAT>";
    start = end + 1;
  } while (start < FText.size());
  return out;
}

} // namespace quenloft::swf::avm1

#include "swf/avm1/globals/XmlParser.h"

#include <cstdint>

namespace quenloft::swf::avm1 {

namespace {

bool IsSpace(char C)
{
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

bool StartsWithNoCase(std::string_view S, std::size_t At, std::string_view Prefix)
{
  if (S.size() - At < Prefix.size())
    return false;
  for (std::size_t i = 0; i < Prefix.size(); ++i) {
    char c = S[At + i];
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    if (c != Prefix[i])
      return false;
  }
  return true;
}

void AppendUtf8(std::string& Out, std::uint32_t C)
{
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

// The character a reference names ("lt", "#65", "#x41"), or -1.
long Entity(std::string_view Name)
{
  if (Name == "lt")
    return '<';
  if (Name == "gt")
    return '>';
  if (Name == "amp")
    return '&';
  if (Name == "quot")
    return '"';
  if (Name == "apos")
    return '\'';
  if (Name.size() < 2 || Name[0] != '#')
    return -1;
  const bool hex = Name[1] == 'x';
  const std::string_view digits = Name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8)
    return -1;
  long value = 0;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    if (d < 0)
      return -1;
    value = value * (hex ? 16 : 10) + d;
  }
  return value > 0 && value <= 0x10FFFF ? value : -1;
}

// One pass over the document: text up to each '<', then the markup there.
class Reader {
public:
  Reader(std::string_view Text, XmlSink& Sink) : FText(Text), FSink(Sink) {}

  XmlStatus Run()
  {
    while (FPos < FText.size()) {
      const std::size_t lt = FText.find('<', FPos);
      const std::size_t end = lt == std::string_view::npos ? FText.size() : lt;
      if (end > FPos && !FSink.Text(DecodeXmlEntities(FText.substr(FPos, end - FPos))))
        return XmlStatus::OutOfMemory;
      FPos = end;
      if (FPos < FText.size()) {
        const XmlStatus s = Markup();
        if (s != XmlStatus::Ok)
          return s;
      }
    }
    return FOpen.empty() ? XmlStatus::Ok : XmlStatus::StartWithoutEnd;
  }

private:
  // FPos is at a '<'.
  XmlStatus Markup()
  {
    const std::string_view rest = FText.substr(FPos);
    if (rest.starts_with("<?"))
      return Instruction();
    if (rest.starts_with("<!--"))
      return Skip("-->", 4, XmlStatus::CommentNotTerminated);
    if (rest.starts_with("<![CDATA["))
      return CData();
    if (StartsWithNoCase(FText, FPos, "<!DOCTYPE"))
      return DocType();
    if (rest.starts_with("<!"))
      return Skip(">", 2, XmlStatus::ElementMalformed);
    if (rest.starts_with("</"))
      return EndTag();
    return StartTag();
  }

  XmlStatus Skip(std::string_view Until, std::size_t From, XmlStatus Unterminated)
  {
    const std::size_t end = FText.find(Until, FPos + From);
    if (end == std::string_view::npos)
      return Unterminated;
    FPos = end + Until.size();
    return XmlStatus::Ok;
  }

  // "<?xml ...?>" is the declaration; other instructions are skipped.
  XmlStatus Instruction()
  {
    const std::size_t end = FText.find("?>", FPos + 2);
    if (end == std::string_view::npos)
      return XmlStatus::DeclNotTerminated;
    const std::string_view raw = FText.substr(FPos, end + 2 - FPos);
    // raw ends with "?>", so a name of three letters leaves raw[5] in range.
    if (StartsWithNoCase(raw, 2, "XML") && (IsSpace(raw[5]) || raw[5] == '?'))
      FSink.Declaration(raw);
    FPos = end + 2;
    return XmlStatus::Ok;
  }

  XmlStatus CData()
  {
    const std::size_t start = FPos + 9;
    const std::size_t end = FText.find("]]>", start);
    if (end == std::string_view::npos)
      return XmlStatus::CDataNotTerminated;
    if (end > start && !FSink.Text(std::string(FText.substr(start, end - start))))
      return XmlStatus::OutOfMemory;
    FPos = end + 3;
    return XmlStatus::Ok;
  }

  // The declaration may hold an internal subset in brackets, whose
  // declarations end with '>' too.
  XmlStatus DocType()
  {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = FPos + 9; i < FText.size(); ++i) {
      const char c = FText[i];
      if (quote) {
        if (c == quote)
          quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']' && depth > 0) {
        --depth;
      } else if (c == '>' && depth == 0) {
        FSink.DocType(FText.substr(FPos, i + 1 - FPos));
        FPos = i + 1;
        return XmlStatus::Ok;
      }
    }
    return XmlStatus::DocTypeNotTerminated;
  }

  XmlStatus EndTag()
  {
    const std::size_t end = FText.find('>', FPos + 2);
    if (end == std::string_view::npos)
      return XmlStatus::ElementMalformed;
    std::string_view name = FText.substr(FPos + 2, end - FPos - 2);
    while (!name.empty() && IsSpace(name.back()))
      name.remove_suffix(1);
    if (FOpen.empty() || FOpen.back() != name)
      return XmlStatus::EndWithoutStart;
    FOpen.pop_back();
    FSink.EndElement();
    FPos = end + 1;
    return XmlStatus::Ok;
  }

  XmlStatus StartTag()
  {
    std::size_t i = FPos + 1;
    const std::size_t nameStart = i;
    while (i < FText.size() && !IsSpace(FText[i]) && FText[i] != '/' && FText[i] != '>')
      ++i;
    if (i == nameStart)
      return XmlStatus::ElementMalformed;
    const std::string_view name = FText.substr(nameStart, i - nameStart);
    FAttributes.clear();
    for (;;) {
      while (i < FText.size() && IsSpace(FText[i]))
        ++i;
      if (i >= FText.size())
        return XmlStatus::ElementMalformed;
      if (FText[i] == '>' || FText[i] == '/') {
        const bool empty = FText[i] == '/';
        if (empty && (i + 1 >= FText.size() || FText[i + 1] != '>'))
          return XmlStatus::ElementMalformed;
        if (!FSink.StartElement(name, FAttributes, empty))
          return XmlStatus::OutOfMemory;
        if (!empty)
          FOpen.push_back(name);
        FPos = i + (empty ? 2 : 1);
        return XmlStatus::Ok;
      }
      const XmlStatus s = Attribute(i);
      if (s != XmlStatus::Ok)
        return s;
    }
  }

  // name = "value" or name = 'value', from I.
  XmlStatus Attribute(std::size_t& I)
  {
    const std::size_t start = I;
    while (I < FText.size() && !IsSpace(FText[I]) && FText[I] != '=' && FText[I] != '>' && FText[I] != '/')
      ++I;
    if (I == start)
      return XmlStatus::ElementMalformed;
    const std::string_view name = FText.substr(start, I - start);
    while (I < FText.size() && IsSpace(FText[I]))
      ++I;
    if (I >= FText.size() || FText[I] != '=')
      return XmlStatus::ElementMalformed;
    ++I;
    while (I < FText.size() && IsSpace(FText[I]))
      ++I;
    if (I >= FText.size() || (FText[I] != '"' && FText[I] != '\''))
      return XmlStatus::AttributeNotTerminated;
    const std::size_t end = FText.find(FText[I], I + 1);
    if (end == std::string_view::npos)
      return XmlStatus::AttributeNotTerminated;
    for (const XmlAttribute& a : FAttributes)
      if (a.Name == name)
        return XmlStatus::ElementMalformed;
    FAttributes.push_back({std::string(name), DecodeXmlEntities(FText.substr(I + 1, end - I - 1))});
    I = end + 1;
    return XmlStatus::Ok;
  }

  std::string_view FText;
  XmlSink& FSink;
  std::size_t FPos = 0;
  std::vector<std::string_view> FOpen; // names of the elements not closed yet
  std::vector<XmlAttribute> FAttributes;
};

} // namespace

XmlStatus ReadXml(std::string_view Text, XmlSink& Sink)
{
  return Reader(Text, Sink).Run();
}

std::string DecodeXmlEntities(std::string_view Text)
{
  std::string out;
  out.reserve(Text.size());
  std::size_t i = 0;
  while (i < Text.size()) {
    const std::size_t amp = Text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(Text.substr(i));
      break;
    }
    out.append(Text.substr(i, amp - i));
    // A reference runs to the next ';' unless another '&' comes first.
    const std::size_t end = Text.find_first_of(";&", amp + 1);
    if (end == std::string_view::npos || Text[end] == '&') {
      out.push_back('&');
      i = amp + 1;
      continue;
    }
    const long c = Entity(Text.substr(amp + 1, end - amp - 1));
    if (c < 0)
      out.append(Text.substr(amp, end + 1 - amp));
    else
      AppendUtf8(out, static_cast<std::uint32_t>(c));
    i = end + 1;
  }
  return out;
}

void AppendXmlEscaped(std::string& Out, std::string_view Text)
{
  for (char c : Text) {
    switch (c) {
    case '&': Out += "&amp;"; break;
    case '<': Out += "&lt;"; break;
    case '>': Out += "&gt;"; break;
    case '"': Out += "&quot;"; break;
    case '\'': Out += "&apos;"; break;
    default: Out.push_back(c);
    }
  }
}

bool IsXmlWhite(std::string_view Text)
{
  for (char c : Text)
    if (!IsSpace(c))
      return false;
  return true;
}

} // namespace quenloft::swf::avm1

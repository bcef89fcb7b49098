// Reads style sheets; see CssParser.h.
#include "swf/avm1/globals/CssParser.h"

#include <algorithm>
#include <cctype>

namespace quenloft::swf::avm1 {

namespace {

class CssReader {
public:
  explicit CssReader(std::string_view Source) : FIn(Source) {}

  std::optional<std::vector<CssRule>> Rules()
  {
    std::vector<CssRule> out;
    for (;;) {
      SkipBlank();
      if (FAt >= FIn.size())
        return out;
      std::vector<std::string> selectors;
      if (!Selectors(selectors))
        return std::nullopt;
      std::vector<std::pair<std::string, std::string>> props;
      if (!Properties(props))
        return std::nullopt;
      for (std::string& s : selectors) {
        auto same = std::find_if(out.begin(), out.end(), [&](const CssRule& R) { return R.Selector == s; });
        if (same != out.end())
          same->Properties = props;
        else
          out.push_back({std::move(s), props});
      }
    }
  }

private:
  static bool Blank(char C) { return C == ' ' || C == '\n' || C == '\r' || C == '\t'; }
  char Peek(std::size_t Ahead = 0) const { return FAt + Ahead < FIn.size() ? FIn[FAt + Ahead] : '\0'; }
  bool AtEnd() const { return FAt >= FIn.size(); }

  // Comments and white space; true when anything was skipped. A comment
  // left open runs to the end.
  bool SkipBlank()
  {
    const std::size_t start = FAt;
    for (;;) {
      if (Peek() == '/' && Peek(1) == '*') {
        const std::size_t close = FIn.find("*/", FAt + 2);
        FAt = close == std::string_view::npos ? FIn.size() : close + 2;
      } else if (!AtEnd() && Blank(Peek())) {
        ++FAt;
      } else {
        return FAt != start;
      }
    }
  }

  std::string_view Until(std::string_view Stops)
  {
    const std::size_t start = FAt;
    while (!AtEnd() && Stops.find(Peek()) == std::string_view::npos)
      ++FAt;
    return FIn.substr(start, FAt - start);
  }

  bool Selectors(std::vector<std::string>& Out)
  {
    for (;;) {
      SkipBlank();
      const std::string_view name = Until("{, \n\r\t");
      if (!name.empty())
        Out.emplace_back(name);
      SkipBlank();
      if (AtEnd())
        return false;
      if (Peek() == '{') {
        ++FAt;
        if (Out.empty())
          Out.emplace_back();
        return true;
      }
      if (Peek() != ',')
        return false; // a space inside a selector
      ++FAt;
    }
  }

  static void Put(std::vector<std::pair<std::string, std::string>>& Out, std::string_view Name, std::string_view Value)
  {
    for (auto& [n, v] : Out)
      if (n == Name) {
        v = Value;
        return;
      }
    Out.emplace_back(Name, Value);
  }

  bool Properties(std::vector<std::pair<std::string, std::string>>& Out)
  {
    for (;;) {
      SkipBlank();
      if (AtEnd())
        return true;
      if (Peek() == '}') {
        ++FAt;
        return true;
      }
      const std::size_t nameStart = FAt;
      std::string_view name = Until(": \n\r\t");
      if (SkipBlank()) {
        if (Peek() == ':')
          name = FIn.substr(nameStart, FAt - nameStart); // trailing spaces kept
        else if (!AtEnd())
          return false;
      }
      if (AtEnd())
        return false;
      ++FAt; // ':'
      SkipBlank();
      const std::size_t valueStart = FAt;
      std::string_view value = Until(";:}");
      for (;;) {
        if (AtEnd())
          return false;
        if (Peek() == ':') {
          // A value with a colon: to the end of its line when the line ends.
          FAt = valueStart;
          const std::string_view line = Until("\n\r");
          if (!AtEnd()) {
            ++FAt;
            Put(Out, name, line);
            break;
          }
          FAt = valueStart;
          value = Until(";}");
          continue;
        }
        if (Peek() == ';') {
          ++FAt;
          Put(Out, name, value);
          break;
        }
        ++FAt; // '}'
        Put(Out, name, value.substr(0, std::min(value.find_first_of("\n\r"), value.size())));
        return true;
      }
    }
  }

  std::string_view FIn;
  std::size_t FAt = 0;
};

} // namespace

std::optional<std::vector<CssRule>> ParseCss(std::string_view Source)
{
  std::optional<std::vector<CssRule>> rules = CssReader(Source).Rules();
  if (rules)
    std::erase_if(*rules, [](const CssRule& R) { return R.Selector.empty(); });
  return rules;
}

std::string CamelCase(std::string_view Name)
{
  std::string out;
  bool upper = false;
  for (char c : Name) {
    if (c == '-' && !upper)
      upper = true;
    else if (upper) {
      out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
      upper = false;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string FontList(std::string_view Families)
{
  std::string out;
  std::size_t at = 0;
  while (at < Families.size()) {
    while (at < Families.size() && Families[at] == ' ')
      ++at;
    const std::size_t start = at;
    while (at < Families.size() && Families[at] != ',')
      ++at;
    std::string_view name = Families.substr(start, at - start);
    if (at < Families.size())
      ++at;
    if (name == "mono")
      name = "_typewriter";
    else if (name == "sans-serif")
      name = "_sans";
    else if (name == "serif")
      name = "_serif";
    if (!name.empty()) {
      if (!out.empty())
        out.push_back(',');
      out += name;
    }
  }
  return out;
}

} // namespace quenloft::swf::avm1

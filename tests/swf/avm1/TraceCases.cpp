#include "tests/swf/avm1/TraceCases.h"

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace quenloft::swf::avm1::conformance {

namespace {

std::string Trim(const std::string& S)
{
  const std::size_t a = S.find_first_not_of(" \t");
  if (a == std::string::npos)
    return {};
  const std::size_t b = S.find_last_not_of(" \t");
  return S.substr(a, b - a + 1);
}

std::vector<std::string> Lines(const std::string& Text)
{
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(Text);
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

// A TOML basic string with its escapes ("\\d" is \d).
std::string Unquote(const std::string& S)
{
  std::string out;
  for (std::size_t i = 1; i + 1 < S.size(); ++i) {
    if (S[i] == '\\' && i + 2 < S.size()) {
      ++i;
      out.push_back(S[i] == 'n' ? '\n' : S[i] == 't' ? '\t' : S[i]);
    } else {
      out.push_back(S[i]);
    }
  }
  return out;
}

std::optional<double> Number(const std::string& S)
{
  const std::string t = Trim(S);
  if (t.empty())
    return std::nullopt;
  if (t == "NaN")
    return std::nan("");
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size())
    return std::nullopt;
  return d;
}

bool Close(double A, double B, const Approximations& X)
{
  if (std::isnan(A) || std::isnan(B))
    return std::isnan(A) && std::isnan(B);
  if (A == B)
    return true;
  const double diff = std::fabs(A - B);
  return diff <= X.Epsilon || diff <= X.MaxRelative * std::max(std::fabs(A), std::fabs(B));
}

bool LinesMatch(const std::string& A, const std::string& E, const std::optional<Approximations>& X)
{
  if (A == E)
    return true;
  if (!X)
    return false;
  if (X->BareNumbers) {
    const auto a = Number(A);
    const auto e = Number(E);
    if (a && e)
      return Close(*a, *e, *X);
  }
  for (const std::string& pattern : X->NumberPatterns) {
    const std::regex re(pattern);
    std::smatch ma;
    std::smatch me;
    if (!std::regex_search(A, ma, re) || !std::regex_search(E, me, re) || ma.size() != me.size())
      continue;
    bool ok = ma.prefix() == me.prefix() && ma.suffix() == me.suffix();
    for (std::size_t g = 1; ok && g < ma.size(); ++g) {
      const auto a = Number(ma[g].str());
      const auto e = Number(me[g].str());
      ok = a && e && Close(*a, *e, *X);
    }
    if (ok)
      return true;
  }
  return false;
}

} // namespace

TraceCase ParseTraceToml(const std::string& Text)
{
  TraceCase c;
  std::optional<int> frames;
  std::optional<int> ticks;
  std::string section;
  for (const std::string& raw : Lines(NormaliseLineEnds(Text))) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#')
      continue;
    if (line[0] == '[') {
      section = line;
      if (line == "[approximations]")
        c.Approx = Approximations{};
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    if (section == "[player_options]" && key == "viewport_dimensions") {
      // { width = 1920, height = 1080, scale_factor = 1.25 }
      const auto field = [&](const std::string& Name) {
        const std::size_t at = value.find(Name + " =");
        return at == std::string::npos ? 0.0 : std::strtod(value.c_str() + at + Name.size() + 2, nullptr);
      };
      const double scale = field("scale_factor") > 0 ? field("scale_factor") : 1.0;
      c.ScreenWidth = field("width") / scale;
      c.ScreenHeight = field("height") / scale;
    } else if (section.empty()) {
      if (key == "num_frames")
        frames = std::atoi(value.c_str());
      else if (key == "num_ticks")
        ticks = std::atoi(value.c_str());
    } else if (section == "[approximations]") {
      if (key == "bare_numbers")
        c.Approx->BareNumbers = value == "true";
      else if (key == "epsilon")
        c.Approx->Epsilon = std::strtod(value.c_str(), nullptr);
      else if (key == "max_relative")
        c.Approx->MaxRelative = std::strtod(value.c_str(), nullptr);
      else if (key == "number_patterns") {
        // ["a", "b"] on one line.
        std::size_t at = 0;
        while ((at = value.find('"', at)) != std::string::npos) {
          std::size_t end = at + 1;
          while (end < value.size() && value[end] != '"')
            end += value[end] == '\\' ? 2 : 1;
          if (end >= value.size())
            break;
          c.Approx->NumberPatterns.push_back(Unquote(value.substr(at, end - at + 1)));
          at = end + 1;
        }
      }
    }
  }
  c.Frames = ticks ? *ticks : frames ? *frames : 1;
  return c;
}

std::string NormaliseLineEnds(const std::string& Text)
{
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < Text.size() && Text[i + 1] == '\n')
        ++i;
    } else {
      out.push_back(Text[i]);
    }
  }
  return out;
}

std::optional<std::size_t> FirstDifference(const std::string& Actual, const std::string& Expected,
                                           const std::optional<Approximations>& Approx)
{
  const std::vector<std::string> a = Lines(NormaliseLineEnds(Actual));
  const std::vector<std::string> e = Lines(NormaliseLineEnds(Expected));
  const std::size_t n = std::max(a.size(), e.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (i >= a.size() || i >= e.size() || !LinesMatch(a[i], e[i], Approx))
      return i + 1;
  }
  return std::nullopt;
}

std::string LineOf(const std::string& Text, std::size_t N)
{
  const std::vector<std::string> lines = Lines(NormaliseLineEnds(Text));
  return N >= 1 && N <= lines.size() ? lines[N - 1] : std::string("(no line)");
}

} // namespace quenloft::swf::avm1::conformance

#include "tests/swf/render/Conformance.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

namespace quenloft::swf::conformance {
namespace {

std::string Trim(std::string_view S)
{
  const auto first = S.find_first_not_of(" \t\r");
  if (first == std::string_view::npos)
    return {};
  const auto last = S.find_last_not_of(" \t\r");
  return std::string(S.substr(first, last - first + 1));
}

// Drops a comment: a '#' outside a quoted string.
std::string_view StripComment(std::string_view Line)
{
  bool quoted = false;
  for (std::size_t i = 0; i < Line.size(); ++i) {
    if (Line[i] == '"')
      quoted = !quoted;
    else if (Line[i] == '#' && !quoted)
      return Line.substr(0, i);
  }
  return Line;
}

// A dotted key (a.b."c.d") into its parts.
std::vector<std::string> SplitKey(std::string_view Key)
{
  std::vector<std::string> parts;
  std::string part;
  bool quoted = false;
  for (char c : Key) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '.' && !quoted) {
      parts.push_back(Trim(part));
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(Trim(part));
  return parts;
}

std::string Unquote(const std::string& V)
{
  if (V.size() >= 2 && V.front() == '"' && V.back() == '"')
    return V.substr(1, V.size() - 2);
  return V;
}

std::int64_t Integer(const std::string& V)
{
  std::int64_t n = 0;
  std::from_chars(V.data(), V.data() + V.size(), n);
  return n;
}

// The value of Key in an inline table "{ a = 1, quality = "low" }".
std::string InlineValue(const std::string& Table, const std::string& Key)
{
  std::string body = Table;
  body.erase(std::remove(body.begin(), body.end(), '{'), body.end());
  body.erase(std::remove(body.begin(), body.end(), '}'), body.end());
  std::stringstream in(body);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto eq = item.find('=');
    if (eq != std::string::npos && Trim(item.substr(0, eq)) == Key)
      return Unquote(Trim(item.substr(eq + 1)));
  }
  return {};
}

} // namespace

CaseToml ParseCaseToml(const std::string& Text)
{
  CaseToml toml;
  std::vector<std::string> section;
  bool inArray = false;
  std::map<std::string, Comparison> comparisons;
  std::map<std::string, Check> ownCheck; // the section's own keys
  std::map<std::string, bool> hasOwnCheck;
  int numFrames = 0;
  int numTicks = 0;

  std::stringstream in(Text);
  std::string raw;
  while (std::getline(in, raw)) {
    const std::string line = Trim(StripComment(raw));
    if (line.empty())
      continue;
    if (line.rfind("[[", 0) == 0) {
      section = SplitKey(line.substr(2, line.find("]]") - 2));
      inArray = true;
      if (section.size() == 3 && section[0] == "image_comparisons" && section[2] == "checks") {
        Comparison& c = comparisons[section[1]];
        c.Name = section[1];
        c.Checks.emplace_back();
      }
      continue;
    }
    if (line.front() == '[') {
      section = SplitKey(line.substr(1, line.find(']') - 1));
      inArray = false;
      if (section.size() == 2 && section[0] == "image_comparisons")
        comparisons[section[1]].Name = section[1];
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));

    if (section.empty()) {
      if (key == "num_frames")
        numFrames = static_cast<int>(Integer(value));
      else if (key == "num_ticks")
        numTicks = static_cast<int>(Integer(value));
      else if (key == "known_failure")
        toml.KnownFailure = value == "true";
    } else if (section.size() == 1 && section[0] == "player_options") {
      if (key == "with_renderer") {
        toml.Quality = InlineValue(value, "quality");
      } else if (key == "viewport_dimensions") {
        toml.ViewportWidth = static_cast<int>(Integer(InlineValue(value, "width")));
        toml.ViewportHeight = static_cast<int>(Integer(InlineValue(value, "height")));
        const std::string factor = InlineValue(value, "scale_factor");
        if (!factor.empty())
          toml.ScaleFactor = std::strtod(factor.c_str(), nullptr);
      }
    } else if (section.size() >= 2 && section[0] == "image_comparisons") {
      Comparison& c = comparisons[section[1]];
      Check* check = nullptr;
      if (inArray && section.size() == 3 && !c.Checks.empty()) {
        check = &c.Checks.back();
      } else if (section.size() == 2) {
        check = &ownCheck[section[1]];
        if (key == "tolerance" || key == "max_outliers")
          hasOwnCheck[section[1]] = true;
      }
      if (key == "trigger")
        c.Trigger = static_cast<int>(Integer(value));
      else if (check && key == "tolerance")
        check->Tolerance = static_cast<int>(Integer(value));
      else if (check && key == "max_outliers")
        check->MaxOutliers = Integer(value);
    }
  }

  toml.Advances = std::max({1, numFrames, numTicks});
  for (auto& [name, c] : comparisons) {
    if (c.Trigger <= 0)
      c.Trigger = toml.Advances;
    if (c.Checks.empty() || hasOwnCheck[name])
      c.Checks.insert(c.Checks.begin(), ownCheck[name]);
    toml.Comparisons.push_back(c);
  }
  std::stable_sort(toml.Comparisons.begin(), toml.Comparisons.end(),
                   [](const Comparison& L, const Comparison& R) { return L.Trigger < R.Trigger; });
  return toml;
}

std::vector<CheckResult> CompareImages(const QImage& Actual, const QImage& Expected,
                                       const std::vector<Check>& Checks, QImage* Difference)
{
  const QImage a = Actual.convertToFormat(QImage::Format_ARGB32);
  const QImage e = Expected.convertToFormat(QImage::Format_ARGB32);
  std::vector<CheckResult> results;
  for (const Check& c : Checks)
    results.push_back({c, 0});
  if (a.size() != e.size()) {
    for (CheckResult& r : results)
      r.Outliers = std::int64_t{4} * std::max<std::int64_t>(1, std::int64_t{e.width()} * e.height());
    return results;
  }
  if (Difference)
    *Difference = QImage(a.size(), QImage::Format_ARGB32);
  for (int y = 0; y < a.height(); ++y) {
    const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const auto* pe = reinterpret_cast<const QRgb*>(e.constScanLine(y));
    auto* pd = Difference ? reinterpret_cast<QRgb*>(Difference->scanLine(y)) : nullptr;
    for (int x = 0; x < a.width(); ++x) {
      const int d[4] = {std::abs(qRed(pa[x]) - qRed(pe[x])), std::abs(qGreen(pa[x]) - qGreen(pe[x])),
                        std::abs(qBlue(pa[x]) - qBlue(pe[x])), std::abs(qAlpha(pa[x]) - qAlpha(pe[x]))};
      for (CheckResult& r : results) {
        for (int v : d)
          r.Outliers += v > r.Limit.Tolerance ? 1 : 0;
      }
      if (pd)
        pd[x] = qRgba(d[0], d[1], std::max(d[2], d[3]), 255);
    }
  }
  return results;
}

std::map<std::string, std::string> ManifestColumn(const std::string& Text, const std::string& Column)
{
  std::map<std::string, std::string> out;
  std::stringstream in(Text);
  std::string line;
  int index = -1;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    std::vector<std::string> cells;
    std::stringstream row(line);
    std::string cell;
    while (std::getline(row, cell, '\t'))
      cells.push_back(Trim(cell));
    if (index < 0) {
      const auto it = std::find(cells.begin(), cells.end(), Column);
      if (it == cells.end())
        return out;
      index = static_cast<int>(it - cells.begin());
      continue;
    }
    if (static_cast<int>(cells.size()) > index)
      out[cells[0]] = cells[static_cast<std::size_t>(index)];
  }
  return out;
}

} // namespace quenloft::swf::conformance

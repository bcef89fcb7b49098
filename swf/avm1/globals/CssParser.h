// The CSS a style sheet reads: selectors with blocks of name: value
// properties, read as the player reads them (names keep their trailing
// spaces, a value runs to ';' or '}' or, where a ':' follows, to the line's
// end), and the helpers that turn properties into script names.
//
// Threads: plain functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenloft::swf::avm1 {

struct CssRule {
  std::string Selector;
  std::vector<std::pair<std::string, std::string>> Properties; // in order, each name once
};

// The rules of Source, a selector named again replacing its earlier block;
// nullopt when Source is no style sheet the player accepts.
std::optional<std::vector<CssRule>> ParseCss(std::string_view Source);
// "font-size" -> "fontSize".
std::string CamelCase(std::string_view Name);
// A font-family list as a text format's font: names without leading
// spaces, joined by ',', the generic families as the player's own names.
std::string FontList(std::string_view Families);

} // namespace quenloft::swf::avm1

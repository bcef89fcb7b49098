// Style sheet text as the player reads it: selectors, property names and
// values with their odd spacing rules, and what it refuses.
#include "swf/avm1/globals/CssParser.h"

#include <gtest/gtest.h>

using namespace quenloft::swf::avm1;

namespace {

// The rules flattened: "sel{name=value;...}" in order.
std::string Flat(std::string_view Css)
{
  const auto rules = ParseCss(Css);
  if (!rules)
    return "error";
  std::string out;
  for (const CssRule& r : *rules) {
    out += r.Selector + "{";
    for (const auto& [n, v] : r.Properties)
      out += n + "=" + v + ";";
    out += "}";
  }
  return out;
}

TEST(CssParser, ReadsAsThePlayerDoes)
{
  const struct {
    const char* Css;
    const char* Rules;
  } cases[] = {
      {"a { color: blue }", "a{color=blue ;}"},
      {"a, b {x:1;y: 2;}", "a{x=1;y=2;}b{x=1;y=2;}"},
      {"name /* note */ { key: value \r\nkey2:v }", "name{key=value ;key2=v ;}"},
      {"a { key : v }", "a{key =v ;}"},
      {"a {x:1}\na {y:2}", "a{y=2;}"},
      {"a { url: http://x\n}", "a{url=http://x;}"},
      {"a { x:1;", "a{x=1;}"},
      {"{ x:1 }", ""},
      {"  ", ""},
      {"c doesn't get a color.", "error"},
      {"a { k ey: 1 }", "error"},
      {"a { key", "error"},
      {"a", "error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Flat(c.Css), c.Rules) << c.Css;
}

TEST(CssParser, NamesForScript)
{
  EXPECT_EQ(CamelCase("font-size"), "fontSize");
  EXPECT_EQ(CamelCase("margin--left"), "margin-left");
  EXPECT_EQ(FontList("  Font1  ,   Font2 ,, Font3 "), "Font1  ,Font2 ,Font3 ");
  EXPECT_EQ(FontList("serif,sans-serif, mono"), "_serif,_sans,_typewriter");
}

} // namespace

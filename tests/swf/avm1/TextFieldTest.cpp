// Text fields from script: what createTextField makes, text and HTML in
// and out, formats over ranges and the settings' conversions, each run as
// a small movie whose trace shows the result.
#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/avm1/ActionBuilder.h"

#include <gtest/gtest.h>

using namespace quenloft::swf;
using namespace quenloft::swf::test;
using quenloft::swf::avm1::testing::TActions;

namespace {

TActions& Bool(TActions& A, bool B)
{
  return A.Op(0x96, {5, static_cast<std::uint8_t>(B)});
}

// t.Name = Value (a string), or a boolean when Value is "true"/"false".
TActions& SetField(TActions& A, const std::string& Name, const std::string& Value)
{
  A.GetVar("t").Str(Name);
  if (Value == "true" || Value == "false")
    Bool(A, Value == "true");
  else
    A.Str(Value);
  return A.Op(0x4F);
}

TActions& TraceField(TActions& A, const std::string& Expression)
{
  // "name" reads t.name; "getTextFormat(1,2).prop" calls first.
  const auto dot = Expression.find(").");
  if (dot == std::string::npos)
    return A.GetVar("t").Str(Expression).Op(0x4E).Trace();
  const auto open = Expression.find('(');
  const std::string args = Expression.substr(open + 1, dot - open - 1);
  const auto comma = args.find(',');
  A.Int(std::stoi(args.substr(comma + 1))).Int(std::stoi(args.substr(0, comma))).Int(2);
  A.GetVar("t").Str(Expression.substr(0, open)).Op(0x52);
  return A.Str(Expression.substr(dot + 2)).Op(0x4E).Trace();
}

// Makes t (100x20 at 10,10), applies Sets in order and traces Reads.
std::string RunField(const std::vector<std::pair<std::string, std::string>>& Sets, const std::vector<std::string>& Reads,
                std::uint8_t Version = 8)
{
  TActions a;
  a.Int(20).Int(100).Int(10).Int(10).Int(1).Str("t").Int(6).GetVar("_root").Str("createTextField").Op(0x52).Op(0x17);
  for (const auto& [name, value] : Sets)
    SetField(a, name, value);
  for (const std::string& r : Reads)
    TraceField(a, r);
  std::string out;
  avm1::PlayerOutput output;
  output.Trace = [&out](std::string_view Line) { out += std::string(Line) + "|"; };
  avm1::Player player(ReadMovie(MovieFile(Join({DoAction(a.Bytes), ShowFrame()}), 'F', 1, 550, 400, Version)), output);
  return out;
}

const std::string DefaultFont = "<FONT FACE=\"Times New Roman\" SIZE=\"12\" COLOR=\"#000000\" LETTERSPACING=\"0\" KERNING=\"0\">";

} // namespace

TEST(TextFieldTest, ReadsAndWritesHtml)
{
  const struct {
    const char* What;
    std::string Html;
    std::string Read;
    std::string Expected;
  } rows[] = {
      {"each paragraph ends in a line break (trace shows them as line feeds), the last one too", "<p align='center'>a</p><p>b</p>", "text", "a\nb\n|"},
      {"entities, numeric ones too", "&lt;&amp;&#65;&#x42;&bogus;", "text", "<&AB&bogus;|"},
      {"unknown tags keep their text", "<zz>x</zz><b>y</b>", "text", "xy|"},
      {"markup comes back in the player's form", "<b>x</b>",
       "htmlText", "<P ALIGN=\"LEFT\">" + DefaultFont + "<B>x</B></FONT></P>|"},
      {"a colour change nests a font tag", "a<font color='#FF0000'>r</font>",
       "htmlText", "<P ALIGN=\"LEFT\">" + DefaultFont + "a<FONT COLOR=\"#FF0000\">r</FONT></FONT></P>|"},
      {"text is escaped on the way out", "&lt;b&gt;", "htmlText", "<P ALIGN=\"LEFT\">" + DefaultFont + "&lt;b&gt;</FONT></P>|"},
      {"a range with one colour", "<font color='#00ff00'>ab</font>c", "getTextFormat(0,2).color", "65280|"},
      {"a range with two colours has none", "<font color='#00ff00'>ab</font>c", "getTextFormat(0,3).color", "null|"},
      {"font sizes are clamped and relative ones add", "<font size='+200'>x</font>", "getTextFormat(0,1).size",
       "127|"},
      {"margins come from textformat", "<textformat leftmargin='7'>x</textformat>",
       "getTextFormat(0,1).leftMargin", "7|"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(RunField({{"multiline", "true"}, {"html", "true"}, {"htmlText", r.Html}}, {r.Read}), r.Expected) << r.What;
}

TEST(TextFieldTest, ConvertsWhatScriptSets)
{
  const struct {
    const char* What;
    std::vector<std::pair<std::string, std::string>> Sets;
    std::string Read;
    std::string Expected;
  } rows[] = {
      {"a new field's box and name", {}, "_width", "100|"},
      {"a new field's target path", {}, "_target", "/t|"},
      {"autoSize takes names without regard to case", {{"autoSize", "RIGHT"}}, "autoSize", "right|"},
      {"autoSize true is left", {{"autoSize", "true"}}, "autoSize", "left|"},
      {"autoSize of anything else is none", {{"autoSize", "x"}}, "autoSize", "none|"},
      {"maxChars is null until set", {}, "maxChars", "null|"},
      {"a line feed becomes a carriage return", {{"text", "a\nb"}}, "length", "3|"},
      {"plain fields give their text as HTML", {{"text", "<x>"}}, "htmlText", "<x>|"},
      {"type takes only its two names", {{"type", "input"}, {"type", "other"}}, "type", "input|"},
      {"an autosized field fits its text", {{"autoSize", "left"}, {"text", ""}}, "_width", "4|"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(RunField(r.Sets, {r.Read}), r.Expected) << r.What;
}

namespace {

// new TextFormat(); f[Prop] = Value (a number unless Text); trace(f[Prop]).
std::string FormatRoundTrip(std::uint8_t Version, const std::string& Prop, const std::string& Value, bool Text)
{
  TActions a;
  a.Str("f").Int(0).Str("TextFormat").Op(0x40).Op(0x1D);
  a.GetVar("f").Str(Prop);
  if (Text)
    a.Str(Value);
  else
    a.Str(Value).Op(0x4A); // ToNumber
  a.Op(0x4F).GetVar("f").Str(Prop).Op(0x4E).Trace();
  std::string out;
  avm1::PlayerOutput output;
  output.Trace = [&out](std::string_view Line) { out += std::string(Line); };
  avm1::Player player(ReadMovie(MovieFile(Join({DoAction(a.Bytes), ShowFrame()}), 'F', 1, 550, 400, Version)), output);
  return out;
}

} // namespace

TEST(TextFieldTest, TextFormatConvertsBySwfVersion)
{
  const struct {
    std::uint8_t Version;
    const char* Prop;
    const char* Value;
    bool Text;
    const char* Expected;
  } rows[] = {
      {7, "size", "12.7", false, "12"},   {8, "size", "12.5", false, "12"}, {8, "size", "13.5", false, "14"},
      {7, "leftMargin", "-3", false, "0"}, {8, "indent", "-3", false, "-3"}, {7, "indent", "-3", false, "0"},
      {8, "align", "CENTER", true, "center"}, {8, "align", "middle", true, "null"},
      {8, "display", "x", true, "block"},  {8, "color", "-1", false, "4294967295"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(FormatRoundTrip(r.Version, r.Prop, r.Value, r.Text), r.Expected)
        << "SWF " << int(r.Version) << " " << r.Prop << " = " << r.Value;
}

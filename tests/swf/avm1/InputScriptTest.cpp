// The input lists of script cases: what each event becomes, and how the
// list is shared out between frames.
#include "tests/swf/avm1/InputScript.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quenloft::swf::avm1;
using namespace quenloft::swf::avm1::conformance;

TEST(InputScriptTest, ReadsEachEvent)
{
  using K = InputStep::Kind;
  const struct {
    const char* Json;
    K Type;
    double X, Y;
    MouseButton Button;
    int Code;
    char32_t Char;
  } rows[] = {
      {R"({"type": "MouseMove", "pos": [270.5, 182]})", K::MouseMove, 270.5, 182, MouseButton::Left, 0, 0},
      {R"({"type": "MouseDown", "pos": [1, 2], "btn": "Right"})", K::MouseDown, 1, 2, MouseButton::Right, 0,
       0},
      {R"({"type": "MouseUp", "pos": [3, 4], "btn": "Middle"})", K::MouseUp, 3, 4, MouseButton::Middle, 0, 0},
      {R"({"type": "KeyDown", "key": {"Char": "a"}})", K::KeyDown, 0, 0, MouseButton::Left, 65, U'a'},
      {R"({"type": "KeyDown", "key": {"Char": "\""}})", K::KeyDown, 0, 0, MouseButton::Left, 222, U'"'},
      {R"({"type": "KeyDown", "key": {"Char": "("}})", K::KeyDown, 0, 0, MouseButton::Left, 57, U'('},
      {R"({"type": "KeyUp", "key": "Enter"})", K::KeyUp, 0, 0, MouseButton::Left, 13, 13},
      {R"({"type": "KeyDown", "key": "CapsLock"})", K::KeyDown, 0, 0, MouseButton::Left, 20, 0},
      {R"({"type": "KeyDown", "key": "ArrowLeft"})", K::KeyDown, 0, 0, MouseButton::Left, 37, 0},
      {R"({"type": "KeyDown", "key": "LeftShift"})", K::KeyDown, 0, 0, MouseButton::Left, 16, 0},
      {R"({"type": "KeyDown", "key": "F12"})", K::KeyDown, 0, 0, MouseButton::Left, 123, 0},
      {R"({"type": "KeyDown", "key": "Space"})", K::KeyDown, 0, 0, MouseButton::Left, 32, U' '},
      {R"({"type": "TextInput", "codepoint": "\u00e9"})", K::TextInput, 0, 0, MouseButton::Left, 0, 0xE9},
      {R"({"type": "TextInput", "codepoint": "\ud801\udf94"})", K::TextInput, 0, 0, MouseButton::Left, 0, 0x10794},
      {R"({"type": "SetClipboardText", "text": "x"})", K::Clipboard, 0, 0, MouseButton::Left, 0, 0},
      {R"({"type": "TextControl", "code": "Paste"})", K::Command, 0, 0, MouseButton::Left, 0, 0},
      {R"({"type": "TextControl", "code": "MoveLeftWord"})", K::Other, 0, 0, MouseButton::Left, 0, 0},
  };
  for (const auto& r : rows) {
    const std::vector<InputStep> steps = ParseInputScript(std::string("[") + r.Json + "]");
    ASSERT_EQ(steps.size(), 1u) << r.Json;
    const InputStep& s = steps[0];
    EXPECT_EQ(s.Type, r.Type) << r.Json;
    EXPECT_EQ(s.X, r.X) << r.Json;
    EXPECT_EQ(s.Y, r.Y) << r.Json;
    EXPECT_EQ(s.Button, r.Button) << r.Json;
    EXPECT_EQ(s.Code, r.Code) << r.Json;
    EXPECT_EQ(s.Char, r.Char) << r.Json;
  }
}

TEST(InputScriptTest, ReadsClipboardTextAndCommands)
{
  const std::vector<InputStep> steps = ParseInputScript(
      R"([{"type": "SetClipboardText", "text": "a\u00e9"}, {"type": "TextControl", "code": "Cut"},
          {"type": "TextControl", "code": "SelectAll"}])");
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].Text, "a\xc3\xa9");
  EXPECT_EQ(steps[1].Command, TextCommand::Cut);
  EXPECT_EQ(steps[2].Command, TextCommand::SelectAll);
}

TEST(InputScriptTest, RefusesWhatIsNoEventList)
{
  for (const char* text :
       {"", "{}", "[", "[{\"pos\": [1, 2]}]", "[{\"type\": \"Wait\"} x", "[\"Wait", "[nope]"})
    EXPECT_THROW(ParseInputScript(text), std::runtime_error) << text;
}

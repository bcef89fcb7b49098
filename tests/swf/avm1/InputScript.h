// The input a script case plays (input.json): a list of events, each
// {"type": ...}: MouseMove/MouseDown/MouseUp with "pos": [x, y] in stage
// pixels and "btn", KeyDown/KeyUp with "key" (a name such as "Enter", or
// {"Char": "a"}), TextInput with "codepoint", SetClipboardText with
// "text", TextControl with "code" (SelectAll, Copy, Cut, Paste), and Wait,
// which ends one frame's share of the events. Other types are kept and
// ignored.
//
// Errors: std::runtime_error for text that is no such list.
//
// Threads: plain functions; any thread.
#pragma once

#include "swf/avm1/Player.h"

#include <string>
#include <vector>

namespace quenloft::swf::avm1::conformance {

struct InputStep {
  enum class Kind { Wait, MouseMove, MouseDown, MouseUp, KeyDown, KeyUp, TextInput, Clipboard, Command, Other };
  Kind Type = Kind::Other;
  double X = 0, Y = 0;
  MouseButton Button = MouseButton::Left;
  std::uint8_t Code = 0; // the player's key code
  char32_t Char = 0;     // the character the key or the text types
  std::string Text;      // the clipboard's new text, UTF-8
  TextCommand Command = TextCommand::SelectAll;
};

std::vector<InputStep> ParseInputScript(const std::string& Json);

// Hands P the steps from Next on up to the next Wait (which is used up);
// returns where the next frame's share starts.
std::size_t PlayInputFrame(Player& P, const std::vector<InputStep>& Steps, std::size_t Next);

} // namespace quenloft::swf::avm1::conformance

// The keyboard and the pointer as a movie sees them: the key codes the
// player uses (Key.getCode), and the state script reads (Key.isDown,
// _xmouse). The player keeps one InputState per machine; whoever drives
// the player (the pane, the CLI, the conformance runner) calls the input
// methods of Player with stage coordinates and these key codes.
//
// Threads: the player's thread.
#pragma once

#include <bitset>
#include <cstdint>
#include <string_view>

namespace quenloft::swf::avm1 {

enum class MouseButton : std::uint8_t { Left, Middle, Right };

// The pointer's look over what lies under it: the pointing hand over an
// active button (or a clip acting as one with useHandCursor set), the
// I-beam over a text field that takes typing, the arrow elsewhere.
enum class PointerShape : std::uint8_t { Arrow, Hand, IBeam };

// The player's key codes that have no character of their own.
namespace Keys {
constexpr std::uint8_t Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Control = 17, Alt = 18, Pause = 19,
                       CapsLock = 20, Escape = 27, Space = 32, PageUp = 33, PageDown = 34, End = 35,
                       Home = 36, Left = 37, Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46,
                       NumLock = 144, ScrollLock = 145;
} // namespace Keys

// The key code of the key that types C on a US keyboard (letters as their
// capitals, digits, punctuation); 0 for a character no key has.
std::uint8_t KeyCodeOfChar(char32_t C);
// The key code of a named key ("Enter", "ArrowLeft", "F1", "CapsLock"...);
// 0 when the name is unknown.
std::uint8_t KeyCodeOfName(std::string_view Name);
// The key code a mouse button counts as.
constexpr std::uint8_t KeyCodeOfButton(MouseButton B)
{
  return B == MouseButton::Left ? 1 : B == MouseButton::Right ? 2 : 4;
}

// The edit commands a focused text field takes from the keyboard's
// shortcuts or the program's menu.
enum class TextCommand : std::uint8_t { SelectAll, Copy, Cut, Paste };

struct InputState {
  // By key code; the mouse buttons are keys 1 (left), 2 (right), 4
  // (middle). Each press of a key that was up flips its toggle.
  std::bitset<256> Down, Toggled;
  std::uint8_t LastCode = 0;
  std::uint32_t LastChar = 0; // the character of the last key pressed or let go
  // The pointer in stage pixels; it reads as the corner until it moves.
  double MouseX = 0, MouseY = 0;
  bool ButtonDown = false;
};

} // namespace quenloft::swf::avm1

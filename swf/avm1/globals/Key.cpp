// Key: the keyboard as the player last heard of it (Machine::Input), and a
// broadcaster of onKeyDown and onKeyUp to its listeners. Also the key codes
// of characters and named keys that the input side needs.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <array>
#include <cmath>
#include <utility>

namespace quenloft::swf::avm1 {

std::uint8_t KeyCodeOfChar(char32_t C)
{
  if (C >= 'a' && C <= 'z')
    return static_cast<std::uint8_t>(C - 'a' + 'A');
  if ((C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'))
    return static_cast<std::uint8_t>(C);
  // Shifted digits type on their digit's key.
  constexpr std::string_view shifted = ")!@#$%^&*(";
  if (C < 128)
    if (const auto at = shifted.find(static_cast<char>(C)); at != std::string_view::npos)
      return static_cast<std::uint8_t>('0' + at);
  static constexpr std::array<std::pair<char, std::uint8_t>, 25> punctuation = {{
      {' ', 32},   {';', 186}, {':', 186}, {'=', 187},  {'+', 187}, {',', 188}, {'<', 188},
      {'-', 189},  {'_', 189}, {'.', 190}, {'>', 190},  {'/', 191}, {'?', 191}, {'`', 192},
      {'~', 192},  {'[', 219}, {'{', 219}, {'\\', 220}, {'|', 220}, {']', 221}, {'}', 221},
      {'\'', 222}, {'"', 222}, {'\r', 13}, {'\t', 9},
  }};
  for (const auto& [ch, code] : punctuation)
    if (static_cast<char32_t>(ch) == C)
      return code;
  return 0;
}

std::uint8_t KeyCodeOfName(std::string_view Name)
{
  static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 29> names = {{
      {"Backspace", Keys::Backspace},
      {"Tab", Keys::Tab},
      {"Enter", Keys::Enter},
      {"Shift", Keys::Shift},
      {"Control", Keys::Control},
      {"Alt", Keys::Alt},
      {"Pause", Keys::Pause},
      {"CapsLock", Keys::CapsLock},
      {"Escape", Keys::Escape},
      {"Space", Keys::Space},
      {"PageUp", Keys::PageUp},
      {"PageDown", Keys::PageDown},
      {"End", Keys::End},
      {"Home", Keys::Home},
      {"ArrowLeft", Keys::Left},
      {"ArrowUp", Keys::Up},
      {"ArrowRight", Keys::Right},
      {"ArrowDown", Keys::Down},
      {"Left", Keys::Left},
      {"Up", Keys::Up},
      {"Right", Keys::Right},
      {"Down", Keys::Down},
      {"Insert", Keys::Insert},
      {"Delete", Keys::Delete},
      {"NumLock", Keys::NumLock},
      {"ScrollLock", Keys::ScrollLock},
      {"LeftShift", Keys::Shift},
      {"LeftControl", Keys::Control},
      {"LeftAlt", Keys::Alt},
  }};
  for (const auto& [name, code] : names)
    if (name == Name)
      return code;
  // F1 to F12: 112 on.
  if (Name.size() >= 2 && Name.size() <= 3 && Name[0] == 'F') {
    int n = 0;
    for (char c : Name.substr(1)) {
      if (c < '0' || c > '9')
        return 0;
      n = n * 10 + (c - '0');
    }
    if (n >= 1 && n <= 12)
      return static_cast<std::uint8_t>(111 + n);
  }
  return 0;
}

namespace {

int CodeArg(Machine& M, std::span<const Value> Args)
{
  const double n = Arg(Args, 0).ToNumber(M);
  return std::isfinite(n) ? static_cast<int>(n) : -1;
}

Value IsDown(Machine& M, Object*, std::span<const Value> Args)
{
  const int code = CodeArg(M, Args);
  return Value(code >= 0 && code < 256 && M.Input().Down[static_cast<std::size_t>(code)]);
}
Value IsToggled(Machine& M, Object*, std::span<const Value> Args)
{
  const int code = CodeArg(M, Args);
  return Value(code >= 0 && code < 256 && M.Input().Toggled[static_cast<std::size_t>(code)]);
}
Value GetCode(Machine& M, Object*, std::span<const Value>)
{
  return Value(static_cast<double>(M.Input().LastCode));
}
Value GetAscii(Machine& M, Object*, std::span<const Value>)
{
  return Value(static_cast<double>(M.Input().LastChar));
}

constexpr std::uint16_t KeyFlags = DontEnum | DontDelete | ReadOnly;
const Member KeyMembers[] = {
    Constant("CAPSLOCK", 20, KeyFlags),
    Constant("BACKSPACE", 8, KeyFlags),
    Constant("DELETEKEY", 46, KeyFlags),
    Constant("INSERT", 45, KeyFlags),
    Constant("ESCAPE", 27, KeyFlags),
    Constant("SHIFT", 16, KeyFlags),
    Constant("CONTROL", 17, KeyFlags),
    Constant("TAB", 9, KeyFlags),
    Constant("END", 35, KeyFlags),
    Constant("HOME", 36, KeyFlags),
    Constant("PGDN", 34, KeyFlags),
    Constant("PGUP", 33, KeyFlags),
    Constant("RIGHT", 39, KeyFlags),
    Constant("LEFT", 37, KeyFlags),
    Constant("DOWN", 40, KeyFlags),
    Constant("UP", 38, KeyFlags),
    Constant("SPACE", 32, KeyFlags),
    Constant("ENTER", 13, KeyFlags),
    Constant("ALT", 18, KeyFlags),
    Method("getAscii", GetAscii, KeyFlags),
    Method("getCode", GetCode, KeyFlags),
    Method("isDown", IsDown, KeyFlags),
    Method("isToggled", IsToggled, KeyFlags),
};

void Broadcaster(Machine& M, Object& Made)
{
  MakeBroadcaster(M, Made);
}

} // namespace

extern const ObjectSpec KeyObject = {.Name = "Key", .Members = KeyMembers, .Setup = Broadcaster};

} // namespace quenloft::swf::avm1

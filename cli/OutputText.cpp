#include "cli/OutputText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace quenloft {
namespace {

// The length of the well-formed UTF-8 sequence at the start of Text, or 0
// (RFC 3629 section 4, the table of well-formed byte sequences).
std::size_t SequenceLength(std::string_view Text)
{
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(Text[i]); };
  const auto tail = [&](std::size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < Text.size() && b(i) >= lo && b(i) <= hi;
  };
  const unsigned char lead = b(0);
  if (lead < 0x80)
    return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    return tail(1) ? 2 : 0;
  if (lead == 0xE0)
    return tail(1, 0xA0) && tail(2) ? 3 : 0;
  if (lead == 0xED)
    return tail(1, 0x80, 0x9F) && tail(2) ? 3 : 0;
  if (lead >= 0xE1 && lead <= 0xEF)
    return tail(1) && tail(2) ? 3 : 0;
  if (lead == 0xF0)
    return tail(1, 0x90) && tail(2) && tail(3) ? 4 : 0;
  if (lead >= 0xF1 && lead <= 0xF3)
    return tail(1) && tail(2) && tail(3) ? 4 : 0;
  if (lead == 0xF4)
    return tail(1, 0x80, 0x8F) && tail(2) && tail(3) ? 4 : 0;
  return 0;
}

void AppendEscaped(std::string& Out, unsigned char Byte)
{
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02x", Byte);
  Out += hex;
}

} // namespace

std::string ShowText(std::string_view Text)
{
  std::string out;
  out.reserve(Text.size());
  while (!Text.empty()) {
    const std::size_t n = SequenceLength(Text);
    const auto lead = static_cast<unsigned char>(Text[0]);
    // C1 controls are U+0080..U+009F: C2 80 .. C2 9F.
    const bool c1 = n == 2 && lead == 0xC2 && static_cast<unsigned char>(Text[1]) <= 0x9F;
    if (n == 0 || c1 || lead < 0x20 || lead == 0x7F) {
      for (std::size_t i = 0; i < (n == 0 ? 1 : n); ++i)
        AppendEscaped(out, static_cast<unsigned char>(Text[i]));
      Text.remove_prefix(n == 0 ? 1 : n);
      continue;
    }
    out.append(Text.substr(0, n));
    Text.remove_prefix(n);
  }
  return out;
}

std::string ShowLine(std::string_view Text)
{
  std::string line;
  line.reserve(Text.size());
  for (char c : Text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty() && line.back() != ' ')
        line += ' ';
    } else {
      line += c;
    }
  }
  return ShowText(line);
}

bool IsUTF8(std::string_view Text)
{
  while (!Text.empty()) {
    const std::size_t n = SequenceLength(Text);
    if (n == 0)
      return false;
    Text.remove_prefix(n);
  }
  return true;
}

std::string Base64(std::string_view Bytes)
{
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((Bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < Bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, Bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < n ? static_cast<unsigned char>(Bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k)
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

} // namespace quenloft

// UTF-8 to code points and back, as the string methods and text fields
// count characters.
#include "swf/avm1/Utf8.h"

namespace quenloft::swf::avm1 {

std::u32string DecodeUtf8(std::string_view S)
{
  std::u32string out;
  out.reserve(S.size());
  for (std::size_t i = 0; i < S.size();) {
    const auto c = static_cast<unsigned char>(S[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
    ++i;
    for (; extra > 0 && i < S.size(); --extra, ++i)
      cp = cp << 6 | (static_cast<unsigned char>(S[i]) & 0x3F);
    out.push_back(cp);
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view S)
{
  std::string out;
  out.reserve(S.size());
  for (char32_t c : S) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

} // namespace quenloft::swf::avm1

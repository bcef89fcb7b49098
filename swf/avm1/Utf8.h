// Text as code points: script strings are UTF-8, their methods and text
// fields count characters. Called on the player's thread (no state).
#pragma once

#include <string>
#include <string_view>

namespace quenloft::swf::avm1 {

// Code points of S; a cut or stray byte becomes a code point of its own.
std::u32string DecodeUtf8(std::string_view S);
std::string EncodeUtf8(std::u32string_view S);

} // namespace quenloft::swf::avm1

// How quenloft-cli shows text that came from outside (page links, status
// lines, file names) on a terminal or in line output: every control byte
// escaped, so a page cannot clear the screen, set the terminal's title or
// split a report line. And the pieces --json needs to stay exact: whether
// a text is UTF-8, and base64 for raw bytes that are not.
//
// Threads: stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace quenloft {

// Text with its C0 control bytes, DEL, the C1 controls (U+0080 to U+009F)
// and every byte that is not part of well-formed UTF-8 written as "\xHH"
// (for example "\x1b"), one escape per byte. Other text stays as it is.
std::string ShowText(std::string_view Text);

// ShowText for a report that must stay on one line: each run of CR and LF
// (error texts may span lines: "Socket Error # 10061\r\nConnection
// refused.") becomes one blank first.
std::string ShowLine(std::string_view Text);

// Whether Text is well-formed UTF-8 (RFC 3629: no overlong forms, no
// surrogates, nothing past U+10FFFF).
bool IsUTF8(std::string_view Text);

// RFC 4648 base64 with padding.
std::string Base64(std::string_view Bytes);

} // namespace quenloft

// The string and file-name helpers of the shell utility unit: the last
// occurrence of a text, cutting a string at a position, and the pieces of a
// file name (folder, title, extension). Strings are 8-bit byte strings;
// positions are 1-based, 0 meaning "not found".
//
// Folder separator in file paths is "/" (":" still counts, as a drive mark
// would). HasFileExt is the exception: it is applied to URLs, so "/" is not a
// separator for it, only "\" and ":" are.
//
// Threads: stateless; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quenloft {

// C with an ASCII capital letter made small; every other byte unchanged.
constexpr char AsciiLower(char C)
{
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

// Whether A and B hold the same bytes once ASCII letter case is ignored (the
// case-insensitive compare of schemes, host names, header field names and
// tokens). Bytes outside A-Z and a-z must match exactly.
constexpr bool SameText(std::string_view A, std::string_view B) noexcept
{
  if (A.size() != B.size())
    return false;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (AsciiLower(A[i]) != AsciiLower(B[i]))
      return false;
  return true;
}

// Whether S begins with Prefix, ASCII letter case ignored.
constexpr bool StartsText(std::string_view S, std::string_view Prefix) noexcept
{
  return S.size() >= Prefix.size() && SameText(S.substr(0, Prefix.size()), Prefix);
}

// 1-based position of the last occurrence of Sub in S, found by taking the
// non-overlapping occurrences from the left ('aa' in 'aaa' is 1, not 2);
// 0 when Sub does not occur or is empty.
std::size_t LastPos(std::string_view Sub, std::string_view S);

// Deletes the byte at the 1-based Index and everything after it, leaving the
// first Index - 1 bytes. Index 0 or beyond the end leaves S unchanged.
void TruncateFrom(std::string& S, std::size_t Index);

// Whether the extension of FileName (from its last "." to the end, provided
// no "\" or ":" follows that dot; otherwise empty) equals Ext, ASCII letters
// compared without regard to case. Ext carries its dot (".swf").
bool HasFileExt(std::string_view FileName, std::string_view Ext);

// The file-name part of Path (after its last "/" or ":"), cut at its last ".".
std::string ExtractFileTitle(std::string_view Path);

// The extension of the file-name part of Path, from its last "." and with the
// dot; empty when the file name has no ".".
std::string ExtractFileExt(std::string_view Path);

// Everything up to and including the last "/" or ":" of Path ("" if none).
std::string ExtractFilePath(std::string_view Path);

// Path with a trailing "/" added when it lacks one; "" stays "".
std::string IncludeBackslash(std::string_view Path);

} // namespace quenloft

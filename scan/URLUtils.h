// URLUtils: the small byte-string helpers for URLs that the page scanner,
// the download coordinator and the download worker share: percent-encoding
// a URL before it is requested, making sure a typed address has a scheme,
// and cutting the file name or the base (directory part) out of a URL.
//
// They do not parse URLs into components, resolve dot segments or decode
// anything (MakeAbsolute in scan/SWFLinks.h does the resolving). Strings are
// 8-bit byte strings; no function raises an error on any input.
//
// Threads: stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace quenloft {

// Copies letters, digits and . - _ ~ / + : ! $ & ' ( ) , = @ [ ] % ? #, turns
// "\" into "/" and writes every other byte as "%XX" (upper-case hex). "%" is
// kept, so text that is already encoded passes through unchanged, and so are
// "?" and "#": a query stays a query, and the client never sends a fragment.
std::string EncodeURL(std::string_view URL);

// Whether S begins with Prefix, byte for byte (an empty Prefix always
// matches). With Remove set, a matching prefix is deleted from S.
bool HasPrefix(std::string& S, std::string_view Prefix, bool Remove);

// URL itself when it begins with "http://" or "https://" in any letter case,
// otherwise "http://" followed by URL ("" becomes "http://").
std::string EnsureHttpPrefix(const std::string& URL);

// The part after the last "/" of the whole URL, cut before its first "#"
// and then before its first "?" ('dir/movie.swf?v=1' gives 'movie.swf').
std::string ExtractURLFileName(std::string_view URL);

// URL up to and including its last "/" ("" when there is none). A URL that
// is only a scheme and a host name ('http://host') gives URL + "/".
std::string ExtractURLBase(std::string_view URL);

} // namespace quenloft

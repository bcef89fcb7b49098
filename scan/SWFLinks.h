// SWFLinks: finds the SWF movie links in the raw text of a web page and
// makes them absolute. A link is recognised only by its ending and the
// double quotes around it, not by HTML structure: it is the text between a
// double quote and the end of a ".swf" that is followed by a double quote
// or by "?". Its query string is never part of the link.
//
// The page is read through a cursor (a string_view that moves forward), so
// a scan is linear in the page size.
//
// Threads: stateless; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenloft {

// The next raw link in Text (the not yet examined rest of the page), or ""
// when there is none. Text moves past everything that was examined; when
// no link is left it stays at the end of the last examined ".swf".
std::string NextSWFLink(std::string_view& Text);

// Whether the file name of the raw link (ExtractURLFileName) has the
// extension ".swf" in any letter case: rejects links like
// 'player.php?file=clip.swf' whose "?" stands after the last "/".
bool IsSWFLink(std::string_view Link);

// Appends to List every raw link of Text that passes IsSWFLink and that List
// does not hold yet (letter case ignored), in page order, each in the case
// of its first occurrence.
void CollectSWFLinks(std::string_view Text, std::vector<std::string>& List);

// The absolute URL of Link found on a page whose base address is Base
// (ExtractURLBase of the page URL). A link with its own "http:" or "https:"
// scheme (any case) is returned unchanged; any other is resolved against
// Base as RFC 3986 section 5.2 says, by the resolver that the client uses for
// a redirect (ResolveReference).
std::string MakeAbsolute(const std::string& Base, const std::string& Link);

} // namespace quenloft

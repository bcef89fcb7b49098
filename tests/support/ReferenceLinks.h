// The link extraction rule written the plain way, for the fast scanner of
// scan/SWFLinks to be checked against: 1-based positions, the examined text
// deleted from the front of the page, and a linear search for repeats.
// Quadratic on purpose; give it small pages.
//
// Header only, so the fuzz targets can use it without the test library.
// Threads: stateless; any thread.
#pragma once

#include "platform/kvuStrings.h"
#include "scan/SWFLinks.h"

#include <string>
#include <vector>

namespace quenloft::testing {

// The next raw link of Text, or "" when there is none; Text loses
// everything that was examined.
inline std::string ReferenceNextSWFLink(std::string& Text)
{
  for (;;) {
    const std::size_t found = Text.find(".swf");
    if (found == std::string::npos)
      return "";
    const std::size_t p = found + 1;
    // A ".swf" followed by anything but a double quote or "?" ends no link.
    if (Text.size() >= p + 4 && Text[p + 3] != '"' && Text[p + 3] != '?') {
      Text.erase(0, p + 3);
      continue;
    }
    std::string c = Text.substr(0, p + 3);
    Text.erase(0, p + 3);
    const std::size_t lastQuote = c.rfind('"');
    const std::size_t a = lastQuote == std::string::npos ? 0 : lastQuote + 1;
    const std::size_t firstQuote = Text.find('"');
    const std::size_t b = firstQuote == std::string::npos ? 0 : firstQuote + 1;
    if (a > 0 && b > 0) {
      c.erase(0, a);
      Text.erase(0, b);
      return c;
    }
  }
}

// Appends the links of Text that pass IsSWFLink and that List does not
// hold yet in any letter case, in page order.
inline void ReferenceCollectSWFLinks(std::string Text, std::vector<std::string>& List)
{
  for (std::string l = ReferenceNextSWFLink(Text); !l.empty(); l = ReferenceNextSWFLink(Text)) {
    if (!IsSWFLink(l))
      continue;
    bool known = false;
    for (const std::string& have : List)
      known = known || SameText(have, l);
    if (!known)
      List.push_back(l);
  }
}

} // namespace quenloft::testing

// Resolving a URI reference against a base URI (RFC 3986 section 5): the one
// rule for every relative address the program meets, whether a server's
// "Location" or a link on a page.
//
// The texts are split by place as RFC 3986 appendix B does, with the strict
// reading of section 5.2.2: a reference that names a scheme is absolute even
// when it is the base's scheme. Nothing is validated or percent-decoded.
//
// Threads: pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace quenloft {

// The target URI of AReference with ABase as the base URI (RFC 3986
// section 5.2.2), put together again as section 5.3 says. A fragment is
// kept when the reference has one.
std::string ResolveReference(std::string_view ABase, std::string_view AReference);

// APath with its "." and ".." segments interpreted and removed (RFC 3986
// section 5.2.4): "/a/b/../c/./d" gives "/a/c/d", and ".." never climbs
// above the root.
std::string RemoveDotSegments(std::string_view APath);

} // namespace quenloft

// Splitting a URL into its parts and building one from parts.
//
// The parts are found by their place in the text as RFC 3986 section 3
// lays a URI reference out: a scheme only before a first ":" that comes
// before any "/", "?" or "#"; the authority (user information, host, port)
// only after "//", up to the first "/", "?" or "#"; then the path, the query
// from the first "?" and the fragment from the first "#". The splitter
// neither validates nor percent-decodes; AddressProblem says whether the
// parts can be put on the wire, and PercentEncode makes a path or query
// safe for the request line.
//
// Threads: a TIdURI is a plain value; use one object from one thread at a
// time. The free functions are pure and may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace quenloft {

class TIdURI {
public:
  TIdURI() = default;
  // Parses AURI at once when it is not empty.
  explicit TIdURI(const std::string& AURI);

  // Sets every field from AURI (back slashes are read as forward slashes).
  void SetURI(const std::string& AURI);

  // protocol://[user[:password]@]host[:port]path document params[#bookmark].
  // Raises EIdURIException "Protocol field is empty" or "Host field is empty".
  std::string GetFullURI(bool AUserInfo = true, bool ABookmark = true) const;

  // Stores the full text (with user information and bookmark) in URI and
  // returns the text built without either.
  std::string GetURI();

  // Every back slash becomes a forward slash.
  static std::string PathNormalize(std::string APath);

  std::string URI;      // text last parsed (after back slash conversion) or built
  std::string Protocol; // scheme without "://", case kept
  std::string Host;     // without the port; an IP literal keeps its brackets
  std::string Port;     // text after the host's ":"; empty when none
  std::string Path;     // directory; for an absolute URL "/" ... "/"
  std::string Document; // last path segment
  std::string Params;   // from the first "?" on, without the fragment
  std::string Bookmark; // fragment, without "#"
  std::string Username;
  std::string Password;

private:
  void SplitAuthority(std::string_view AAuthority);
};

// AText with every byte outside the letters, the digits, "%" and
// . - _ ~ / + : ! $ & ' ( ) , = @ [ ] (and outside AAlsoKept) written as
// "%XX" in upper-case hex. "%" is kept, so encoded text passes unchanged.
std::string PercentEncode(std::string_view AText, std::string_view AAlsoKept = {});

// Why the host and user information of AURI cannot go into a request: a
// byte a host name may not hold (RFC 3986 3.2.2: control bytes, blanks and
// the like), an IP literal that is no IPv6 address, a control byte in the
// user information. "" when they can.
std::string AddressProblem(const TIdURI& AURI);

// The host to resolve and connect to: an IP literal without its brackets.
std::string HostWithoutBrackets(const std::string& AHost);

} // namespace quenloft

// Splitting a URL into its parts and building one from parts.
//
// The splitter is deliberately simple: it cuts at the first "://", the first
// "/" after the authority, "@", ":", "?" (or, lacking one, "="), and "#".
// It neither validates nor percent-decodes; the callers encode their URLs
// before they get here, and what goes on the wire is exactly what came in.
//
// Threads: a TIdURI is a plain value; use one object from one thread at a
// time. The free functions are pure and may be called from any thread.
#pragma once

#include <string>

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
  std::string Host;     // without the port
  std::string Port;     // text after the host's ":"; empty when none
  std::string Path;     // directory; for an absolute URL "/" ... "/"
  std::string Document; // last path segment
  std::string Params;   // from "?" (or the first "=") on, without the fragment
  std::string Bookmark; // fragment, without "#"
  std::string Username;
  std::string Password;
};

// Resolves ANewPath against ABasePath the way the client follows relative
// URLs: a path that begins with the delimiter replaces the base; any other is
// appended to it, runs of delimiters collapse and every ".." drops the
// segment before it. A trailing delimiter is kept only when ANewPath had one
// (or was empty).
std::string MergePaths(const std::string& ABasePath, const std::string& ANewPath,
                       char ADelim = '/');

} // namespace quenloft

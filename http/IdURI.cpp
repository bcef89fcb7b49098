#include "http/IdURI.h"

#include "http/IdException.h"

#include <algorithm>

namespace quenloft {

namespace {

// Cuts S at the first occurrence of ADelim: returns the text before it and
// leaves the text after it in S. Without ADelim, returns all of S and
// empties S.
std::string Fetch(std::string& S, char ADelim)
{
  const std::size_t at = S.find(ADelim);
  std::string head;
  if (at == std::string::npos) {
    head.swap(S);
  } else {
    head = S.substr(0, at);
    S.erase(0, at + 1);
  }
  return head;
}

} // namespace

TIdURI::TIdURI(const std::string& AURI)
{
  if (!AURI.empty())
    SetURI(AURI);
}

std::string TIdURI::PathNormalize(std::string APath)
{
  std::replace(APath.begin(), APath.end(), '\\', '/');
  return APath;
}

void TIdURI::SetURI(const std::string& AURI)
{
  std::string S = PathNormalize(AURI);
  URI = S;
  Protocol.clear();
  Host.clear();
  Port.clear();
  Path.clear();
  Document.clear();
  Params.clear();
  Bookmark.clear();
  Username.clear();
  Password.clear();

  const std::size_t schemeEnd = S.find("://");
  const bool absolute = schemeEnd != std::string::npos;
  if (absolute) {
    Protocol = S.substr(0, schemeEnd);
    S.erase(0, schemeEnd + 3);

    // The authority runs up to the first "/", which is dropped: the path
    // gets its leading "/" back below.
    std::string authority = Fetch(S, '/');

    const std::size_t at = authority.find('@');
    if (at != std::string::npos) {
      std::string userInfo = authority.substr(0, at);
      authority.erase(0, at + 1);
      Username = Fetch(userInfo, ':');
      Password = userInfo;
      if (Username.empty())
        Password.clear();
    }

    Host = Fetch(authority, ':');
    Port = authority;
  }

  // The query starts at the first "?"; a URL without one still gets its
  // params from the first "=" on, so the request target stays intact.
  std::size_t c = S.find('?');
  if (c == std::string::npos)
    c = S.find('=');
  const std::size_t slash = c != std::string::npos ? S.rfind('/', c) : S.rfind('/');
  const std::size_t k = slash == std::string::npos ? 0 : slash + 1;

  Path = absolute ? "/" + S.substr(0, k) : S.substr(0, k);
  if (c != std::string::npos) {
    Document = S.substr(0, c);
    Params = S.substr(c);
  } else {
    Document = S;
  }
  Document.erase(0, k);

  // Only an absolute URL has its fragment cut out of the document; in a
  // relative reference a "#" without params stays part of the name.
  if (absolute) {
    const std::size_t hash = Document.find('#');
    if (hash != std::string::npos) {
      Bookmark = Document.substr(hash + 1);
      Document.erase(hash);
    }
  }
  if (Bookmark.empty()) {
    const std::size_t hash = Params.find('#');
    if (hash != std::string::npos) {
      Bookmark = Params.substr(hash + 1);
      Params.erase(hash);
    }
  }
}

std::string TIdURI::GetFullURI(bool AUserInfo, bool ABookmark) const
{
  if (Protocol.empty())
    throw EIdURIException("Protocol field is empty");
  std::string result = Protocol + "://";
  if (AUserInfo && !Username.empty()) {
    result += Username;
    if (!Password.empty())
      result += ":" + Password;
    result += "@";
  }
  if (Host.empty())
    throw EIdURIException("Host field is empty");
  result += Host;
  if (!Port.empty())
    result += ":" + Port;
  result += Path + Document + Params;
  if (ABookmark && !Bookmark.empty())
    result += "#" + Bookmark;
  return result;
}

std::string TIdURI::GetURI()
{
  URI = GetFullURI(true, true);
  return GetFullURI(false, false);
}

std::string MergePaths(const std::string& ABasePath, const std::string& ANewPath, char ADelim)
{
  if (!ANewPath.empty() && ANewPath.front() == ADelim)
    return ANewPath;

  const bool keepTrailing = ANewPath.empty() || ANewPath.back() == ADelim;
  std::string work = ABasePath;
  if (!work.empty() && work.back() != ADelim)
    work += ADelim;
  work += ANewPath;

  // RFC 3986 5.2.4 in the client's simpler form: ".." removes the segment
  // before it, "." segments are kept as they are, and slash runs collapse.
  std::string result;
  result.reserve(work.size());
  for (std::size_t i = 0; i < work.size(); ++i) {
    const char ch = work[i];
    if (ch == ADelim) {
      if (i == 0)
        result.assign(1, ADelim);
      else if (result.empty() || result.back() != ADelim)
        result += ADelim;
    } else if (ch == '.') {
      if (!result.empty() && result.back() == ADelim && i + 1 < work.size() &&
          work[i + 1] == '.') {
        result.pop_back();
        while (!result.empty() && result.back() != ADelim)
          result.pop_back();
        ++i;
      } else {
        result += '.';
      }
    } else {
      result += ch;
    }
  }

  if (result.size() > 1 && result.back() == ADelim && !keepTrailing)
    result.pop_back();
  return result;
}

} // namespace quenloft

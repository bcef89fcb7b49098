#include "http/IdURI.h"

#include "http/IdException.h"

#include <algorithm>
#include <cstdio>

#include <arpa/inet.h>

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

// scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." )   (RFC 3986 3.1)
bool IsSchemeName(std::string_view S)
{
  auto Alpha = [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); };
  if (S.empty() || !Alpha(S.front()))
    return false;
  return std::all_of(S.begin(), S.end(), [&](char C) {
    return Alpha(C) || (C >= '0' && C <= '9') || C == '+' || C == '-' || C == '.';
  });
}

// Bytes a host name may hold: unreserved, sub-delims and the "%" of
// percent-encoding (RFC 3986 3.2.2, reg-name).
bool IsHostNameByte(unsigned char C)
{
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
         std::string_view("-._~!$&'()*+,;=%").find(static_cast<char>(C)) != std::string_view::npos;
}

bool IsControlByte(unsigned char C)
{
  return C < 0x20 || C == 0x7F;
}

// Text for a message: control bytes as \xHH, so that no message made here
// can break a line or drive a terminal.
std::string Shown(std::string_view S)
{
  std::string out;
  for (char c : S) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsControlByte(byte)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ByteText(unsigned char C)
{
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", C);
  return hex;
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
  const std::string Normalized = PathNormalize(AURI);
  URI = Normalized;
  Protocol.clear();
  Host.clear();
  Port.clear();
  Path.clear();
  Document.clear();
  Params.clear();
  Bookmark.clear();
  Username.clear();
  Password.clear();

  // The parts are found by their place in the text (RFC 3986 section 3),
  // never by searching the whole text for a mark: "://", "@" or ":" in a
  // query are query bytes.
  std::string_view S = Normalized;

  // 3.1: a scheme is the text before the first ":", provided that ":"
  // comes before any "/", "?" or "#" and the text has scheme syntax.
  const std::size_t colon = S.find_first_of(":/?#");
  if (colon != std::string_view::npos && S[colon] == ':' && IsSchemeName(S.substr(0, colon))) {
    Protocol = S.substr(0, colon);
    S.remove_prefix(colon + 1);
  }

  // 3.2: an authority follows "//" and ends at the first "/", "?" or "#".
  const bool authority = S.starts_with("//");
  if (authority) {
    S.remove_prefix(2);
    const std::size_t end = std::min(S.find_first_of("/?#"), S.size());
    SplitAuthority(S.substr(0, end));
    S.remove_prefix(end);
  }

  // 3.5: the fragment is everything after the first "#".
  const std::size_t hash = S.find('#');
  if (hash != std::string_view::npos) {
    Bookmark = S.substr(hash + 1);
    S = S.substr(0, hash);
  }
  // 3.4: the query runs from the first "?" on; params keep the "?".
  const std::size_t query = S.find('?');
  if (query != std::string_view::npos) {
    Params = S.substr(query);
    S = S.substr(0, query);
  }

  // 3.3: the path splits into its directory and its last segment. Behind
  // an authority it is absolute; an empty one is "/".
  const std::size_t slash = S.rfind('/');
  const std::size_t k = slash == std::string_view::npos ? 0 : slash + 1;
  Path = S.substr(0, k);
  Document = S.substr(k);
  if (authority && (Path.empty() || Path.front() != '/'))
    Path = "/" + Path;
}

void TIdURI::SplitAuthority(std::string_view AAuthority)
{
  // User information ends at the last "@" of the authority: a host name
  // holds none, so the text after it is the host whatever came before.
  const std::size_t at = AAuthority.rfind('@');
  if (at != std::string_view::npos) {
    std::string userInfo(AAuthority.substr(0, at));
    AAuthority.remove_prefix(at + 1);
    Username = Fetch(userInfo, ':');
    Password = userInfo;
    if (Username.empty())
      Password.clear();
  }

  // An IP literal keeps its brackets in Host (RFC 3986 3.2.2); the port
  // follows the "]". Anything else between "]" and ":" stays in the host,
  // where the client refuses it.
  std::size_t portColon = std::string_view::npos;
  if (AAuthority.starts_with('[')) {
    const std::size_t close = AAuthority.find(']');
    if (close != std::string_view::npos)
      portColon = AAuthority.find(':', close);
  } else {
    portColon = AAuthority.find(':');
  }
  Host = AAuthority.substr(0, portColon);
  if (portColon != std::string_view::npos)
    Port = AAuthority.substr(portColon + 1);
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

std::string PercentEncode(std::string_view AText, std::string_view AAlsoKept)
{
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kKept = ".-_~/+:!$&'(),=@[]%";
  std::string result;
  result.reserve(AText.size());
  for (char c : AText) {
    const auto byte = static_cast<unsigned char>(c);
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (alnum || (byte < 0x80 &&
                  (kKept.find(c) != std::string_view::npos || AAlsoKept.find(c) != std::string_view::npos))) {
      result += c;
    } else {
      result += '%';
      result += kHex[byte >> 4];
      result += kHex[byte & 0x0F];
    }
  }
  return result;
}

std::string AddressProblem(const TIdURI& AURI)
{
  const std::string& H = AURI.Host;
  if (!H.empty() && H.front() == '[') {
    // IP-literal = "[" IPv6address "]" (RFC 3986 3.2.2); the future
    // "v1.x" forms and zone identifiers are not connected to.
    // inet_pton reads up to the first NUL: a literal with one inside would
    // pass as the part before it and reach the wire whole.
    in6_addr address{};
    if (H.size() < 3 || H.back() != ']' || H.find('\0') != std::string::npos ||
        inet_pton(AF_INET6, H.substr(1, H.size() - 2).c_str(), &address) != 1)
      return "the host \"" + Shown(H) + "\" is not an IPv6 address in brackets";
  } else {
    for (char c : H) {
      const auto byte = static_cast<unsigned char>(c);
      if (!IsHostNameByte(byte))
        return "the host \"" + Shown(H) + "\" holds the byte " + ByteText(byte) + ", which no host name holds";
    }
  }
  for (const std::string* part : {&AURI.Username, &AURI.Password})
    for (char c : *part)
      if (IsControlByte(static_cast<unsigned char>(c)))
        return "the user information holds the control byte " + ByteText(static_cast<unsigned char>(c));
  return {};
}

std::string HostWithoutBrackets(const std::string& AHost)
{
  if (AHost.size() >= 2 && AHost.front() == '[' && AHost.back() == ']')
    return AHost.substr(1, AHost.size() - 2);
  return AHost;
}

} // namespace quenloft

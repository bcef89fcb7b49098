#include "scan/URLUtils.h"

#include "http/IdURI.h"
#include "platform/kvuStrings.h"

#include <algorithm>

namespace quenloft {

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// Whether S is nothing but a scheme we fetch with and its "//".
bool IsBareScheme(std::string_view S)
{
  return (S.size() == kHttp.size() && StartsText(S, kHttp)) ||
         (S.size() == kHttps.size() && StartsText(S, kHttps));
}

} // namespace

std::string EncodeURL(std::string_view URL)
{
  std::string slashed(URL);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  // "?" and "#" keep their meaning: the query is sent as it stands and the
  // fragment is left for the client to drop.
  return PercentEncode(slashed, "?#");
}

bool HasPrefix(std::string& S, std::string_view Prefix, bool Remove)
{
  const bool match = std::string_view(S).substr(0, Prefix.size()) == Prefix;
  if (match && Remove)
    S.erase(0, Prefix.size());
  return match;
}

std::string EnsureHttpPrefix(const std::string& URL)
{
  // An address typed with its own scheme keeps it: "https://" must not
  // become "http://https://", nor "HTTP://" be doubled.
  if (StartsText(URL, kHttp) || StartsText(URL, kHttps))
    return URL;
  return std::string(kHttp) + URL;
}

std::string ExtractURLFileName(std::string_view URL)
{
  // The last "/" is sought in the whole URL, query and fragment included.
  std::string result(URL.substr(LastPos("/", URL)));
  const std::size_t hash = result.find('#');
  if (hash != std::string::npos)
    TruncateFrom(result, hash + 1);
  const std::size_t query = result.find('?');
  if (query != std::string::npos)
    TruncateFrom(result, query + 1);
  return result;
}

std::string ExtractURLBase(std::string_view URL)
{
  std::string result(URL.substr(0, LastPos("/", URL)));
  // 'http://host' has no "/" after the host: the host name and a "/" form
  // the base. The same holds for the other scheme EnsureHttpPrefix keeps.
  if (IsBareScheme(result))
    result = std::string(URL) + '/';
  return result;
}

} // namespace quenloft

#include "http/IdCookieManager.h"

#include "platform/kvuStrings.h"

#include <algorithm>
#include <mutex>

namespace quenloft {

namespace {

// RFC 6265 6.1 asks for at least 50 cookies per domain; past that the oldest
// goes, so a server cannot grow the jar without bound.
constexpr std::size_t MaxCookiesPerDomain = 50;

bool LessText(const std::string& A, const std::string& B)
{
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(),
                                      [](char a, char b) { return AsciiLower(a) < AsciiLower(b); });
}

bool IsDottedQuad(const std::string& AHost)
{
  int parts = 0;
  std::size_t i = 0;
  while (true) {
    std::size_t digits = 0;
    int value = 0;
    while (i < AHost.size() && AHost[i] >= '0' && AHost[i] <= '9' && digits < 4) {
      value = value * 10 + (AHost[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > 3 || value > 255)
      return false;
    ++parts;
    if (i == AHost.size())
      return parts == 4;
    if (AHost[i] != '.' || parts == 4)
      return false;
    ++i;
  }
}

// An IPv4 dotted quad or an IPv6 literal: no domain suffix may match it.
bool IsIPAddress(const std::string& AHost)
{
  return IsDottedQuad(AHost) || AHost.find(':') != std::string::npos ||
         (!AHost.empty() && AHost.front() == '[');
}

// A name that could be a host: not a leading-dot domain, not an address.
bool IsHostName(const std::string& AText)
{
  return !AText.empty() && AText.front() != '.' && !IsDottedQuad(AText);
}

// "www.example.com" -> ".example.com"; "" when there is no ".".
std::string FromFirstDot(const std::string& AHost)
{
  const std::size_t dot = AHost.find('.');
  return dot == std::string::npos ? std::string() : AHost.substr(dot);
}

// Whether a server at AHost may set a cookie for ADomain: its own name, or
// the domain one level up from it with a leading dot.
bool DomainAcceptable(const std::string& ADomain, const std::string& AHost)
{
  if (ADomain.empty())
    return false;
  if (IsDottedQuad(AHost))
    return ADomain == AHost;
  if (IsHostName(AHost))
    return IsHostName(ADomain) ? ADomain == AHost : ADomain == FromFirstDot(AHost);
  return SameText(ADomain, FromFirstDot(AHost));
}

// RFC 6265 5.1.3 domain-match, without regard to case: the host is the
// domain, or a name under it (never for an address).
bool DomainMatches(const std::string& AHost, const std::string& ADomain)
{
  std::string domain = ADomain;
  if (!domain.empty() && domain.front() == '.')
    domain.erase(0, 1);
  if (domain.empty())
    return false;
  if (SameText(AHost, domain))
    return true;
  if (IsIPAddress(AHost) || AHost.size() <= domain.size())
    return false;
  const std::size_t cut = AHost.size() - domain.size();
  return AHost[cut - 1] == '.' && SameText(AHost.substr(cut), domain);
}

// RFC 6265 5.1.4 default-path, from the request's directory: up to and
// including its last "/", or "/" when it has none.
std::string DefaultPath(const std::string& ARequestPath)
{
  if (ARequestPath.empty() || ARequestPath.front() != '/')
    return "/";
  return ARequestPath.substr(0, ARequestPath.rfind('/') + 1);
}

} // namespace

TIdCookieManager::TIdCookieManager(TIdClock AClock) : FClock(std::move(AClock)) {}

TIdCookieManager::~TIdCookieManager() = default;

TIdClockTime TIdCookieManager::Now() const
{
  return FClock ? FClock() : std::chrono::system_clock::now();
}

void TIdCookieManager::AddCookie(const std::string& ACookie, const TIdURI& ARequest)
{
  Add(std::make_unique<TIdCookieRFC2109>(FClock), ACookie, ARequest);
}

void TIdCookieManager::AddCookie2(const std::string& ACookie, const TIdURI& ARequest)
{
  Add(std::make_unique<TIdCookieRFC2965>(FClock), ACookie, ARequest);
}

void TIdCookieManager::Add(std::unique_ptr<TIdCookieRFC2109> ACookie, const std::string& AText,
                           const TIdURI& ARequest)
{
  // A control byte other than a tab makes the whole cookie void (RFC 6265bis
  // 5.7): sent back, it could end our request's header line early.
  const auto control = [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; };
  if (std::any_of(AText.begin(), AText.end(), control))
    return;
  ACookie->SetCookieText(AText);
  if (ACookie->Domain.empty())
    ACookie->Domain = ARequest.Host;
  if (!DomainAcceptable(ACookie->Domain, ARequest.Host))
    return;
  // A cookie without a usable path belongs to the directory of the page
  // that set it, so that it comes back to that page's neighbours.
  if (ACookie->Path.empty() || ACookie->Path.front() != '/')
    ACookie->Path = DefaultPath(ARequest.Path);
  if (OnNewCookie && !OnNewCookie(*ACookie))
    return;

  std::unique_lock lock(FLock);
  auto domain = std::find_if(FDomains.begin(), FDomains.end(),
                             [&](const TDomainCookies& d) { return SameText(d.Domain, ACookie->Domain); });
  if (domain == FDomains.end()) {
    FDomains.push_back(TDomainCookies{ACookie->Domain, {}});
    domain = std::prev(FDomains.end());
  }
  auto& cookies = domain->Cookies;
  const auto stored = std::find_if(cookies.begin(), cookies.end(), [&](const auto& c) {
    return SameText(c->CookieName, ACookie->CookieName);
  });
  if (stored == cookies.end()) {
    if (cookies.size() >= MaxCookiesPerDomain)
      cookies.erase(cookies.begin());
    cookies.push_back(std::move(ACookie));
  } else
    (*stored)->SetCookieText(ACookie->ServerCookie());
}

void TIdCookieManager::RemoveExpired()
{
  const TIdClockTime now = Now();
  std::unique_lock lock(FLock);
  for (auto& domain : FDomains)
    std::erase_if(domain.Cookies, [&](const auto& c) { return c->IsExpired(now); });
}

std::string TIdCookieManager::GenerateCookieList(const TIdURI& AURL, bool ASecureConnection)
{
  RemoveExpired();

  std::shared_lock lock(FLock);
  std::vector<const TIdCookieRFC2109*> matches;
  for (const auto& domain : FDomains) {
    if (!DomainMatches(AURL.Host, domain.Domain))
      continue;
    for (auto it = domain.Cookies.rbegin(); it != domain.Cookies.rend(); ++it) {
      const TIdCookieRFC2109& cookie = **it;
      // The path is a prefix of the request's directory; an empty value
      // is kept but never sent.
      if (cookie.Path.empty() || AURL.Path.compare(0, cookie.Path.size(), cookie.Path) != 0)
        continue;
      if (cookie.Secure && !ASecureConnection)
        continue;
      if (cookie.Value.empty())
        continue;
      matches.push_back(&cookie);
    }
  }

  // Every path taken is a prefix of the same request path, so descending
  // text order puts the longer, more specific paths first (RFC 6265 5.4).
  std::stable_sort(matches.begin(), matches.end(),
                   [](const auto* a, const auto* b) { return LessText(a->Path, b->Path); });
  std::string result;
  for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
    if (!result.empty())
      result += "; ";
    result += (*it)->ClientCookie();
  }
  return result;
}

std::size_t TIdCookieManager::CookieCount() const
{
  std::shared_lock lock(FLock);
  std::size_t count = 0;
  for (const auto& domain : FDomains)
    count += domain.Cookies.size();
  return count;
}

const TIdCookieRFC2109* TIdCookieManager::FindCookie(const std::string& ADomain,
                                                     const std::string& AName) const
{
  std::shared_lock lock(FLock);
  for (const auto& domain : FDomains) {
    if (!SameText(domain.Domain, ADomain))
      continue;
    for (const auto& cookie : domain.Cookies)
      if (SameText(cookie->CookieName, AName))
        return cookie.get();
  }
  return nullptr;
}

} // namespace quenloft

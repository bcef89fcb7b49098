// The HTTP client's cookie jar: keeps what servers set with "Set-Cookie" and
// "Set-Cookie2" and gives back the "Cookie" header value for a request.
// Cookies live in memory only, as long as the manager; a domain keeps at most
// 50 (the oldest stored goes first).
//
// Threads: every public function may be called from any thread; the store
// sits behind a multi-reader/single-writer lock (the client uses the manager
// from one thread at a time). OnNewCookie runs on the thread that calls
// AddCookie/AddCookie2, outside the lock, so it may call back in.
#pragma once

#include "http/IdCookie.h"
#include "http/IdURI.h"

#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace quenloft {

class TIdCookieManager {
public:
  // Called for every cookie that passed the domain check, before it is
  // stored; returning false discards the cookie.
  using TNewCookieEvent = std::function<bool(TIdCookieRFC2109& ACookie)>;

  // AClock gives "now" for expiry; empty means the system clock.
  explicit TIdCookieManager(TIdClock AClock = {});
  ~TIdCookieManager();

  TIdCookieManager(const TIdCookieManager&) = delete;
  TIdCookieManager& operator=(const TIdCookieManager&) = delete;

  // A "Set-Cookie" value from the answer to ARequest (its Host is the
  // request host, its Path the request's directory).
  void AddCookie(const std::string& ACookie, const TIdURI& ARequest);
  // A "Set-Cookie2" value.
  void AddCookie2(const std::string& ACookie, const TIdURI& ARequest);

  // The "Cookie" header value for a request to AURL: "name=value" pairs
  // joined by "; ", the most specific paths first; "" when nothing matches.
  // Expired cookies are removed first. Secure cookies go only over a secure
  // connection.
  std::string GenerateCookieList(const TIdURI& AURL, bool ASecureConnection = false);

  // Number of cookies stored (expired ones included until the next
  // GenerateCookieList).
  std::size_t CookieCount() const;
  // The stored cookie of that domain and name (both without regard to
  // case), or null. The pointer stays valid until the next change to the
  // store; for inspection from the thread that changes it.
  const TIdCookieRFC2109* FindCookie(const std::string& ADomain, const std::string& AName) const;

  TNewCookieEvent OnNewCookie;

private:
  struct TDomainCookies {
    std::string Domain;
    // By name, in the order first stored.
    std::vector<std::unique_ptr<TIdCookieRFC2109>> Cookies;
  };

  void Add(std::unique_ptr<TIdCookieRFC2109> ACookie, const std::string& AText, const TIdURI& ARequest);
  void RemoveExpired();
  TIdClockTime Now() const;

  TIdClock FClock;
  mutable std::shared_mutex FLock;
  std::vector<TDomainCookies> FDomains; // in the order first stored
};

} // namespace quenloft

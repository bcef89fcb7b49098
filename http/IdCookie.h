// The cookies a server sets: one header value parsed into its fields, the
// expiry kept as a UTC time point, and the text rebuilt from the fields.
//
// "Set-Cookie" values make a TIdCookieRFC2109, "Set-Cookie2" values a
// TIdCookieRFC2965; TIdNetscapeCookie is their common base and is never
// created on its own by the manager.
//
// Threads: a cookie object is used by one thread at a time; the manager
// (IdCookieManager.h) guards the cookies it stores. The date functions are
// pure and may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quenloft {

using TIdClockTime = std::chrono::system_clock::time_point;
// Where a cookie reads "now" (for max-age); empty means the system clock.
using TIdClock = std::function<TIdClockTime()>;

// Reads an HTTP date: IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"),
// RFC 850 ("Sunday, 06-Nov-94 08:49:37 GMT"), asctime
// ("Sun Nov  6 08:49:37 1994") and the Netscape cookie form
// ("Sun, 06-Nov-1994 08:49:37 GMT"). All are taken as UTC. A date beyond
// what a TIdClockTime holds is held at its nearest end ("31 Dec 9999" is the
// last representable second). Returns nothing for a text that is not a
// date; never raises.
std::optional<TIdClockTime> ParseHTTPDate(const std::string& AText);

// IMF-fixdate of ATime (RFC 7231 7.1.1.1), in whole seconds.
std::string FormatHTTPDate(TIdClockTime ATime);

enum TIdCookieFormat { cfNetscape = 0, cfRFC2109 = 1, cfRFC2965 = 2 };

class TIdNetscapeCookie {
public:
  explicit TIdNetscapeCookie(TIdClock AClock = {});
  virtual ~TIdNetscapeCookie() = default;

  TIdNetscapeCookie(const TIdNetscapeCookie&) = default;
  TIdNetscapeCookie& operator=(const TIdNetscapeCookie&) = default;

  // Parses a header value into the fields. The same text as last parsed
  // changes nothing. Never raises.
  void SetCookieText(const std::string& AText);
  const std::string& CookieText() const { return FCookieText; }

  // The cookie as a "Set-Cookie" value rebuilt from the fields.
  virtual std::string ServerCookie() const;
  // "name=value", as sent in a "Cookie" header.
  std::string ClientCookie() const { return CookieName + "=" + Value; }

  // True when the cookie has an expiry at or before ANow.
  bool IsExpired(TIdClockTime ANow) const;

  std::string CookieName;
  std::string Value;
  std::string Path;
  std::string Expires; // expiry as an HTTP date text; empty = no expiry
  std::string Domain;
  bool Secure = false;
  TIdCookieFormat Format;
  // Expires read as a time point; empty when there is no expiry or its
  // text is not a date (such a cookie lives as long as the manager).
  std::optional<TIdClockTime> ExpiresAt;

protected:
  // Attributes of one header value: names as written (bare pieces without
  // a value are names too) in the order written. Names compare without
  // regard to letter case (RFC 6265 5.2).
  struct TAttributes {
    std::vector<std::pair<std::string, std::string>> Items;
    // Value of the first attribute named AName (any letter case), if any.
    const std::string* Find(const std::string& AName) const;
    // True when a piece without "=" reads AName.
    bool HasFlag(const std::string& AName) const;
  };

  TIdClockTime Now() const;
  // Sets the expiry from an HTTP date text.
  void SetExpires(const std::string& AText);
  // Resets the attribute fields to their defaults before a parse.
  virtual void ClearAttributes();
  // Reads the class's attributes; derived classes add theirs after calling
  // the base.
  virtual void LoadAttributes(const TAttributes& AAttributes);

  TIdCookieFormat FDefaultFormat;

private:
  std::string FCookieText;
  TIdClock FClock;
};

// A "Set-Cookie" cookie (RFC 2109 / RFC 6265 syntax).
class TIdCookieRFC2109 : public TIdNetscapeCookie {
public:
  explicit TIdCookieRFC2109(TIdClock AClock = {});

  std::string ServerCookie() const override;

  std::int64_t MaxAge = -1; // seconds; -1 when absent or not a number
  std::string Version;
  std::string Comment;

protected:
  void ClearAttributes() override;
  void LoadAttributes(const TAttributes& AAttributes) override;
};

// A "Set-Cookie2" cookie (RFC 2965). Its extra attributes are kept only.
class TIdCookieRFC2965 : public TIdCookieRFC2109 {
public:
  explicit TIdCookieRFC2965(TIdClock AClock = {});

  std::string CommentURL;
  bool Discard = false;

  std::size_t PortCount() const { return FPortList.size(); }
  // Raises EIdException "Index out of range." past the end.
  int GetPort(std::size_t AIndex) const;
  // Sets the port at AIndex; AIndex may be one past the end to append.
  // Raises EIdException "Index out of range." further out.
  void SetPort(std::size_t AIndex, int APort);

protected:
  void ClearAttributes() override;
  void LoadAttributes(const TAttributes& AAttributes) override;

private:
  std::vector<int> FPortList;
};

} // namespace quenloft

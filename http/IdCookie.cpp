#include "http/IdCookie.h"

#include "http/IdException.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace quenloft {

namespace {

using std::chrono::seconds;

// RFC 6265 5.1.1 reads no year before 1601. Times are kept within what a
// TIdClockTime can hold (on this platform about 1677 to 2262): a later date,
// such as the common "31 Dec 9999" for "never", becomes the last one.
constexpr std::int64_t kFirstDateSecond = -11644473600; // 1601-01-01T00:00:00Z
const std::int64_t kFirstSecond = std::max(
    kFirstDateSecond, std::chrono::duration_cast<seconds>(TIdClockTime::min().time_since_epoch()).count());
const std::int64_t kLastSecond =
    std::chrono::duration_cast<seconds>(TIdClockTime::max().time_since_epoch()).count();

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

bool IsLeap(std::int64_t y)
{
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(std::int64_t y, unsigned m)
{
  static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

// RFC 6265 5.1.1: delimiter = %x09 / %x20-2F / %x3B-40 / %x5B-60 / %x7B-7E.
bool IsDateDelimiter(unsigned char c)
{
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}

// Reads minDigits..maxDigits digits at the start of AToken; the token must
// end there or go on with a non-digit. Returns false otherwise.
bool LeadingNumber(const std::string& AToken, std::size_t& APos, std::size_t minDigits, std::size_t maxDigits,
                   int& AValue)
{
  std::size_t n = 0;
  int value = 0;
  while (APos + n < AToken.size() && IsDigit(AToken[APos + n])) {
    if (n == maxDigits)
      return false;
    value = value * 10 + (AToken[APos + n] - '0');
    ++n;
  }
  if (n < minDigits)
    return false;
  APos += n;
  AValue = value;
  return true;
}

// hms-time = time-field ":" time-field ":" time-field, time-field = 1*2DIGIT
bool ReadTime(const std::string& AToken, int& h, int& m, int& s)
{
  std::size_t pos = 0;
  if (!LeadingNumber(AToken, pos, 1, 2, h) || pos >= AToken.size() || AToken[pos] != ':')
    return false;
  ++pos;
  if (!LeadingNumber(AToken, pos, 1, 2, m) || pos >= AToken.size() || AToken[pos] != ':')
    return false;
  ++pos;
  return LeadingNumber(AToken, pos, 1, 2, s);
}

int ReadMonth(const std::string& AToken)
{
  if (AToken.size() < 3)
    return 0;
  for (int i = 0; i < 12; ++i) {
    if (StartsText(AToken, kMonths[i]))
      return i + 1;
  }
  return 0;
}

std::string Trim(const std::string& AText)
{
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t first = 0;
  std::size_t last = AText.size();
  while (first < last && blank(AText[first]))
    ++first;
  while (last > first && blank(AText[last - 1]))
    --last;
  return AText.substr(first, last - first);
}

// A decimal integer with an optional sign; nothing for any other text or
// one that does not fit.
std::optional<std::int64_t> ReadInt64(const std::string& AText)
{
  std::size_t pos = 0;
  bool negative = false;
  if (pos < AText.size() && (AText[pos] == '+' || AText[pos] == '-'))
    negative = AText[pos++] == '-';
  if (pos == AText.size())
    return std::nullopt;
  std::int64_t value = 0;
  for (; pos < AText.size(); ++pos) {
    if (!IsDigit(AText[pos]))
      return std::nullopt;
    const int digit = AText[pos] - '0';
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
      return std::nullopt;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

// The time point of ASeconds since 1970, held within the representable range.
TIdClockTime FromSeconds(std::int64_t ASeconds)
{
  return TIdClockTime(seconds(std::clamp(ASeconds, kFirstSecond, kLastSecond)));
}

} // namespace

std::optional<TIdClockTime> ParseHTTPDate(const std::string& AText)
{
  // RFC 6265 5.1.1, the cookie-date algorithm: it reads all three formats
  // of RFC 7231 7.1.1.1 and the Netscape form by picking out the time, the
  // day, the month and the year from the tokens, in that order of trial.
  bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;

  std::size_t i = 0;
  while (i < AText.size()) {
    while (i < AText.size() && IsDateDelimiter(static_cast<unsigned char>(AText[i])))
      ++i;
    std::size_t end = i;
    while (end < AText.size() && !IsDateDelimiter(static_cast<unsigned char>(AText[end])))
      ++end;
    if (end == i)
      break;
    const std::string token = AText.substr(i, end - i);
    i = end;

    std::size_t pos = 0;
    int value = 0;
    if (!foundTime && ReadTime(token, hour, minute, second)) {
      foundTime = true;
    } else if (!foundDay && LeadingNumber(token, pos, 1, 2, value)) {
      foundDay = true;
      day = value;
    } else if (!foundMonth && ReadMonth(token) != 0) {
      foundMonth = true;
      month = ReadMonth(token);
    } else if (!foundYear && LeadingNumber(token, pos, 2, 4, value)) {
      foundYear = true;
      year = value;
    }
  }

  if (!foundTime || !foundDay || !foundMonth || !foundYear)
    return std::nullopt;
  // Two-digit years: 70..99 are 19xx, 00..69 are 20xx.
  if (year >= 70 && year <= 99)
    year += 1900;
  else if (year >= 0 && year <= 69)
    year += 2000;
  if (year < 1601 || day < 1 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  if (static_cast<unsigned>(day) > DaysInMonth(year, static_cast<unsigned>(month)))
    return std::nullopt;

  const std::int64_t secs =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
      minute * 60 + second;
  return FromSeconds(secs);
}

std::string FormatHTTPDate(TIdClockTime ATime)
{
  const std::int64_t secs = std::chrono::floor<seconds>(ATime.time_since_epoch()).count();
  const std::int64_t days = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  const std::int64_t inDay = secs - days * 86400;
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  // 1970-01-01 was a Thursday.
  const std::int64_t weekday = ((days % 7) + 7 + 4) % 7;
  // A TIdClockTime never reaches past four-digit years, so every field fits.
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d GMT", kWeekdays[weekday], d,
                kMonths[m - 1], static_cast<int>(y), static_cast<int>(inDay / 3600),
                static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
  return text;
}

// --- TIdNetscapeCookie -------------------------------------------------------

const std::string* TIdNetscapeCookie::TAttributes::Find(const std::string& AName) const
{
  for (const auto& [name, value] : Items)
    if (SameText(name, AName))
      return &value;
  return nullptr;
}

bool TIdNetscapeCookie::TAttributes::HasFlag(const std::string& AName) const
{
  return std::any_of(Items.begin(), Items.end(),
                     [&](const auto& item) { return SameText(item.first, AName) && item.second.empty(); });
}

TIdNetscapeCookie::TIdNetscapeCookie(TIdClock AClock)
    : Format(cfNetscape), FDefaultFormat(cfNetscape), FClock(std::move(AClock))
{}

TIdClockTime TIdNetscapeCookie::Now() const
{
  return FClock ? FClock() : std::chrono::system_clock::now();
}

void TIdNetscapeCookie::SetExpires(const std::string& AText)
{
  Expires = AText;
  ExpiresAt = Expires.empty() ? std::nullopt : ParseHTTPDate(Expires);
}

bool TIdNetscapeCookie::IsExpired(TIdClockTime ANow) const
{
  // At or before: a max-age of 0 expires at once, even by a clock that has
  // not moved since the cookie was set.
  return ExpiresAt && *ExpiresAt <= ANow;
}

void TIdNetscapeCookie::SetCookieText(const std::string& AText)
{
  if (AText == FCookieText)
    return;
  FCookieText = AText;

  // Pieces between ";", blanks trimmed; an empty last piece is dropped.
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= AText.size()) {
    const std::size_t semi = AText.find(';', start);
    if (semi == std::string::npos) {
      const std::string last = Trim(AText.substr(start));
      if (!last.empty() || pieces.empty())
        pieces.push_back(last);
      break;
    }
    pieces.push_back(Trim(AText.substr(start, semi - start)));
    start = semi + 1;
  }

  // The first piece is name=value. Without "=" the name is empty and the
  // whole piece is the value.
  const std::string& first = pieces.front();
  const std::size_t eq = first.find('=');
  if (eq == std::string::npos) {
    CookieName.clear();
    Value = first;
  } else {
    CookieName = Trim(first.substr(0, eq));
    Value = Trim(first.substr(eq + 1));
  }

  TAttributes attributes;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const std::size_t at = pieces[i].find('=');
    if (at == std::string::npos)
      attributes.Items.emplace_back(pieces[i], std::string());
    else
      attributes.Items.emplace_back(Trim(pieces[i].substr(0, at)), Trim(pieces[i].substr(at + 1)));
  }

  ClearAttributes();
  LoadAttributes(attributes);
}

void TIdNetscapeCookie::ClearAttributes()
{
  Path.clear();
  Expires.clear();
  ExpiresAt.reset();
  Domain.clear();
  Secure = false;
  Format = FDefaultFormat;
}

void TIdNetscapeCookie::LoadAttributes(const TAttributes& AAttributes)
{
  if (const std::string* path = AAttributes.Find("PATH")) {
    Path = *path;
    if (!Path.empty() && Path.front() == '"')
      Path.erase(0, 1);
    if (!Path.empty() && Path.back() == '"')
      Path.pop_back();
  }
  if (const std::string* expires = AAttributes.Find("EXPIRES"))
    SetExpires(*expires);
  if (const std::string* domain = AAttributes.Find("DOMAIN"))
    Domain = *domain;
  Secure = AAttributes.HasFlag("SECURE");
  if (Expires.empty())
    Format = cfNetscape;
}

std::string TIdNetscapeCookie::ServerCookie() const
{
  std::string result = CookieName + "=" + Value;
  if (!Path.empty())
    result += "; path=" + Path;
  // Written whatever the format: a replacing cookie is re-read from this
  // text, and an expiry left out here would turn a server's "expire now"
  // into a cookie that never expires.
  if (!Expires.empty())
    result += "; expires=" + Expires;
  if (!Domain.empty())
    result += "; domain=" + Domain;
  if (Secure)
    result += "; secure";
  return result;
}

// --- TIdCookieRFC2109 ----------------------------------------------------------

TIdCookieRFC2109::TIdCookieRFC2109(TIdClock AClock) : TIdNetscapeCookie(std::move(AClock))
{
  FDefaultFormat = cfRFC2109;
  Format = cfRFC2109;
}

void TIdCookieRFC2109::ClearAttributes()
{
  TIdNetscapeCookie::ClearAttributes();
  MaxAge = -1;
  Version.clear();
  Comment.clear();
}

void TIdCookieRFC2109::LoadAttributes(const TAttributes& AAttributes)
{
  TIdNetscapeCookie::LoadAttributes(AAttributes);
  std::optional<std::int64_t> maxAge;
  if (const std::string* text = AAttributes.Find("MAX-AGE"))
    maxAge = ReadInt64(*text);
  MaxAge = maxAge.value_or(-1);
  // "Expires" wins over "Max-Age" when both are given. A numeric max-age of
  // 0 or less (RFC 6265 5.2.2) expires the cookie at once, -1 included.
  if (Expires.empty() && maxAge) {
    const std::int64_t nowSecs = std::chrono::floor<seconds>(Now().time_since_epoch()).count();
    std::int64_t expiry = 0;
    if (__builtin_add_overflow(nowSecs, *maxAge, &expiry))
      expiry = *maxAge > 0 ? kLastSecond : kFirstSecond;
    SetExpires(FormatHTTPDate(FromSeconds(expiry)));
  }
  if (const std::string* version = AAttributes.Find("VERSION"))
    Version = *version;
  if (const std::string* comment = AAttributes.Find("COMMENT"))
    Comment = *comment;
}

std::string TIdCookieRFC2109::ServerCookie() const
{
  std::string result = TIdNetscapeCookie::ServerCookie();
  if (Expires.empty() && MaxAge >= 0)
    result += "; max-age=" + std::to_string(MaxAge);
  if (!Version.empty())
    result += "; version=" + Version;
  if (!Comment.empty())
    result += "; comment=" + Comment;
  return result;
}

// --- TIdCookieRFC2965 ----------------------------------------------------------

TIdCookieRFC2965::TIdCookieRFC2965(TIdClock AClock) : TIdCookieRFC2109(std::move(AClock))
{
  FDefaultFormat = cfRFC2965;
  Format = cfRFC2965;
}

int TIdCookieRFC2965::GetPort(std::size_t AIndex) const
{
  if (AIndex >= FPortList.size())
    throw EIdException("Index out of range.");
  return FPortList[AIndex];
}

void TIdCookieRFC2965::SetPort(std::size_t AIndex, int APort)
{
  if (AIndex > FPortList.size())
    throw EIdException("Index out of range.");
  if (AIndex == FPortList.size())
    FPortList.push_back(APort);
  else
    FPortList[AIndex] = APort;
}

void TIdCookieRFC2965::ClearAttributes()
{
  TIdCookieRFC2109::ClearAttributes();
  CommentURL.clear();
  Discard = false;
  FPortList.clear();
}

void TIdCookieRFC2965::LoadAttributes(const TAttributes& AAttributes)
{
  TIdCookieRFC2109::LoadAttributes(AAttributes);
  if (const std::string* url = AAttributes.Find("COMMENTURL"))
    CommentURL = *url;
  Discard = AAttributes.HasFlag("DISCARD");

  // RFC 2965 3.2.2: Port="80,8080". Entries that are not port numbers are
  // skipped; without the attribute the list is the default port.
  const std::string* ports = AAttributes.Find("PORT");
  if (!ports) {
    SetPort(0, 80);
    return;
  }
  std::string list = *ports;
  list.erase(std::remove(list.begin(), list.end(), '"'), list.end());
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos)
      comma = list.size();
    const std::optional<std::int64_t> port = ReadInt64(Trim(list.substr(start, comma - start)));
    if (port && *port >= 0 && *port <= 65535)
      SetPort(FPortList.size(), static_cast<int>(*port));
    start = comma + 1;
  }
}

} // namespace quenloft

#include "http/IdHTTPHeaderInfo.h"

#include "http/IdException.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace quenloft {
namespace {

bool IsBlank(char C)
{
  return C == ' ' || C == '\t';
}

std::string Trim(std::string_view S)
{
  while (!S.empty() && IsBlank(S.front()))
    S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back()))
    S.remove_suffix(1);
  return std::string(S);
}

// A decimal integer with an optional sign and nothing else (blanks around
// it are ignored).
std::optional<std::int64_t> ToInteger(std::string_view Text)
{
  const std::string T = Trim(Text);
  std::string_view Digits(T);
  if (!Digits.empty() && Digits.front() == '+')
    Digits.remove_prefix(1);
  if (Digits.empty())
    return std::nullopt;
  std::int64_t Value = 0;
  const auto [End, Error] = std::from_chars(Digits.data(), Digits.data() + Digits.size(), Value);
  if (Error != std::errc() || End != Digits.data() + Digits.size())
    return std::nullopt;
  return Value;
}

std::int64_t StrToInt(std::string_view Text)
{
  if (const auto Value = ToInteger(Text))
    return *Value;
  throw EConvertError::InvalidInteger(std::string(Text));
}

// One "Content-Length" value: digits only (RFC 9110 8.6), no more than
// fit; -1 for anything else.
std::int64_t ContentLengthOf(std::string_view Text)
{
  const std::string T = Trim(Text);
  if (T.empty() || !std::all_of(T.begin(), T.end(), [](char C) { return C >= '0' && C <= '9'; }))
    return -1;
  std::int64_t Value = 0;
  const auto [End, Error] = std::from_chars(T.data(), T.data() + T.size(), Value);
  return Error == std::errc() && End == T.data() + T.size() ? Value : -1;
}

// Every value of every field, split at the commas of its list (RFC 9110
// 5.3: several fields of one name are one list).
std::vector<std::string> ListOf(const std::vector<std::string>& Fields)
{
  std::vector<std::string> Items;
  for (const std::string& Field : Fields) {
    std::size_t Start = 0;
    while (true) {
      const std::size_t Comma = Field.find(',', Start);
      Items.push_back(Trim(std::string_view(Field).substr(
          Start, Comma == std::string::npos ? std::string::npos : Comma - Start)));
      if (Comma == std::string::npos)
        break;
      Start = Comma + 1;
    }
  }
  return Items;
}

// "Content-Length" fields (RFC 9112 6.3 rule 5): one value, or a list of
// one value repeated. Sets Length, or Bad to the text when it is neither.
void ReadContentLength(const std::vector<std::string>& Fields, std::int64_t& Length, std::string& Bad)
{
  Length = -1;
  Bad.clear();
  if (Fields.empty())
    return;
  for (const std::string& Item : ListOf(Fields)) {
    const std::int64_t Value = ContentLengthOf(Item);
    if (Value < 0 || (Length >= 0 && Value != Length)) {
      Length = -1;
      for (const std::string& Field : Fields)
        Bad += (Bad.empty() ? "" : ", ") + Field;
      if (Bad.empty())
        Bad = "(empty)";
      return;
    }
    Length = Value;
  }
}

// Now plus ASeconds, or nothing when the clock's range ends before that.
// Compared in whole seconds, where none of the values can overflow.
TIdDateTime SecondsFromNow(std::int64_t ASeconds)
{
  using std::chrono::seconds;
  const TIdClockTime Now = std::chrono::system_clock::now();
  const std::int64_t NowS = std::chrono::duration_cast<seconds>(Now.time_since_epoch()).count();
  const std::int64_t MaxS =
      std::chrono::duration_cast<seconds>(TIdClockTime::max().time_since_epoch()).count();
  const std::int64_t MinS =
      std::chrono::duration_cast<seconds>(TIdClockTime::min().time_since_epoch()).count();
  // Both the offset itself and the time it leads to must fit the clock.
  if (ASeconds >= MaxS || ASeconds <= MinS || ASeconds >= MaxS - NowS || ASeconds <= MinS - NowS)
    return std::nullopt;
  return Now + std::chrono::duration_cast<TIdClockTime::duration>(seconds(ASeconds));
}

TIdDateTime DateOf(const std::string& Text)
{
  if (Trim(Text).empty())
    return std::nullopt;
  return ParseHTTPDate(Text);
}

} // namespace

std::string BasicAuthorizationValue(const std::string& AUsername, const std::string& APassword)
{
  static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string In = AUsername + ":" + APassword;
  std::string Out;
  for (std::size_t I = 0; I < In.size(); I += 3) {
    std::uint32_t Group = static_cast<unsigned char>(In[I]) << 16;
    if (I + 1 < In.size())
      Group |= static_cast<unsigned char>(In[I + 1]) << 8;
    if (I + 2 < In.size())
      Group |= static_cast<unsigned char>(In[I + 2]);
    Out += Alphabet[(Group >> 18) & 63];
    Out += Alphabet[(Group >> 12) & 63];
    Out += I + 1 < In.size() ? Alphabet[(Group >> 6) & 63] : '=';
    Out += I + 2 < In.size() ? Alphabet[Group & 63] : '=';
  }
  return "Basic " + Out;
}

TIdEntityHeaderInfo::TIdEntityHeaderInfo()
{
  RawHeaders.FoldLength = 1024;
  CustomHeaders.FoldLength = 1024;
}

void TIdEntityHeaderInfo::Clear()
{
  CacheControl.clear();
  Connection.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType.clear();
  ContentVersion.clear();
  Pragma.clear();
  ContentLength = -1;
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  Date.reset();
  Expires.reset();
  LastModified.reset();
  RawHeaders.Clear();
}

void TIdRequestHeaderInfo::Clear()
{
  TIdEntityHeaderInfo::Clear();
  Accept = "text/html, */*";
  AcceptCharSet.clear();
  AcceptEncoding.clear();
  AcceptLanguage.clear();
  From.clear();
  Referer.clear();
  Host.clear();
  ProxyConnection.clear();
  Username.clear();
  Password.clear();
  BasicAuthentication = false;
}

void TIdRequestHeaderInfo::SetHeaders()
{
  TIdHeaderList& H = RawHeaders;
  H.Clear();
  // Entity headers.
  H.SetValues("Connection", Connection);
  H.SetValues("Content-Version", ContentVersion);
  H.SetValues("Content-Encoding", ContentEncoding);
  H.SetValues("Content-Language", ContentLanguage);
  H.SetValues("Content-Type", ContentType);
  if (ContentLength >= 0)
    H.SetValues("Content-Length", std::to_string(ContentLength));
  H.SetValues("Cache-control", CacheControl);
  if (Date)
    H.SetValues("Date", FormatHTTPDate(*Date));
  if (Expires)
    H.SetValues("Expires", FormatHTTPDate(*Expires));
  H.SetValues("Pragma", Pragma);
  H.AddStrings(CustomHeaders);
  // Request headers.
  H.SetValues("Proxy-Connection", ProxyConnection);
  H.SetValues("Host", Host);
  H.SetValues("Accept", Accept);
  H.SetValues("Accept-Charset", AcceptCharSet);
  H.SetValues("Accept-Encoding", AcceptEncoding);
  H.SetValues("Accept-Language", AcceptLanguage);
  H.SetValues("From", From);
  H.SetValues("Referer", Referer);
  H.SetValues("User-Agent", UserAgent);
  if (LastModified)
    H.SetValues("If-Modified-Since", FormatHTTPDate(*LastModified));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    std::string Range = "bytes=" + std::to_string(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0)
      Range += std::to_string(ContentRangeEnd);
    H.SetValues("Range", Range);
  }
  if (BasicAuthentication)
    H.SetValues("Authorization", BasicAuthorizationValue(Username, Password));
}

bool TIdResponseHeaderInfo::Chunked() const
{
  const std::size_t Comma = TransferEncoding.rfind(',');
  const std::string Final =
      Trim(Comma == std::string::npos ? TransferEncoding : TransferEncoding.substr(Comma + 1));
  return SameText(Final, "chunked");
}

void TIdResponseHeaderInfo::Clear()
{
  TIdEntityHeaderInfo::Clear();
  BadContentLength.clear();
  TransferEncoding.clear();
  Location.clear();
  Server.clear();
  ProxyConnection.clear();
  WWWAuthenticate.clear();
  ProxyAuthenticate.clear();
}

void TIdResponseHeaderInfo::ProcessHeaders()
{
  const TIdHeaderList& H = RawHeaders;
  Location = H.Values("Location");
  Server = H.Values("Server");
  ProxyConnection = H.Values("Proxy-Connection");

  // "Content-Range: bytes 21010-47021/47022" (RFC 9110 14.4).
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  const std::string Range = H.Values("Content-Range");
  if (!Range.empty()) {
    const std::size_t Blank = Range.find(' ');
    std::string Rest = Blank == std::string::npos ? std::string() : Range.substr(Blank + 1);
    const std::size_t Dash = Rest.find('-');
    const std::string Start = Rest.substr(0, Dash);
    Rest = Dash == std::string::npos ? std::string() : Rest.substr(Dash + 1);
    const std::string End = Rest.substr(0, Rest.find('/'));
    ContentRangeStart = StrToInt(Start);
    ContentRangeEnd = StrToInt(End);
  }

  WWWAuthenticate = H.AllValues("WWW-Authenticate");
  ProxyAuthenticate = H.AllValues("Proxy-Authenticate");

  Connection = H.Values("Connection");
  ContentVersion = H.Values("Content-Version");
  ContentEncoding = H.Values("Content-Encoding");
  ContentLanguage = H.Values("Content-Language");
  ContentType = H.Values("Content-Type");
  ReadContentLength(H.AllValues("Content-Length"), ContentLength, BadContentLength);
  TransferEncoding.clear();
  for (const std::string& Coding : ListOf(H.AllValues("Transfer-Encoding")))
    if (!Coding.empty())
      TransferEncoding += (TransferEncoding.empty() ? "" : ", ") + Coding;
  Date = DateOf(H.Values("Date"));
  LastModified = DateOf(H.Values("Last-Modified"));
  // A whole number is seconds from now (a habit of old servers); -1 and
  // anything else is read as a date. A number whose time the clock cannot
  // hold is unreadable.
  const std::string ExpiresText = H.Values("Expires");
  const auto Seconds = ToInteger(ExpiresText);
  if (Seconds && *Seconds != -1)
    Expires = SecondsFromNow(*Seconds);
  else
    Expires = DateOf(ExpiresText);
  Pragma = H.Values("Pragma");
}

void TIdHTTPResponse::SetResponseText(const std::string& AText)
{
  FResponseText = AText;
  // "HTTP/1.1 404 Not Found": the code is the second blank-separated word.
  std::string_view S(AText);
  const std::size_t Blank = S.find(' ');
  std::string_view Rest = Blank == std::string_view::npos ? std::string_view() : S.substr(Blank + 1);
  while (!Rest.empty() && IsBlank(Rest.front()))
    Rest.remove_prefix(1);
  Rest = Rest.substr(0, Rest.find(' '));
  const auto Code = ToInteger(Rest);
  FResponseCode = (Code && *Code >= INT32_MIN && *Code <= INT32_MAX) ? static_cast<int>(*Code) : -1;

  if (S.size() >= 8) {
    const std::string_view Version = S.substr(5, 3);
    if (SameText(Version, "1.0"))
      FResponseVersion = TIdHTTPProtocolVersion::pv1_0;
    else if (SameText(Version, "1.1"))
      FResponseVersion = TIdHTTPProtocolVersion::pv1_1;
  }
}

bool TIdHTTPResponse::KeepAlive(bool AConnectionOpen) const
{
  if (!AConnectionOpen)
    return false;
  const std::string Conn = Trim(Connection);
  const std::string ProxyConn = Trim(ProxyConnection);
  if (FResponseVersion == TIdHTTPProtocolVersion::pv1_1)
    return !SameText(Conn, "close") && !SameText(ProxyConn, "close");
  return SameText(Conn, "keep-alive") || SameText(ProxyConn, "keep-alive");
}

} // namespace quenloft

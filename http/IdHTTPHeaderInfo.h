// The fields of an HTTP request and of an HTTP response, and their mapping
// to and from header lines.
//
// TIdEntityHeaderInfo holds what both kinds of message carry (content type,
// length, dates, the raw header list); TIdRequestHeaderInfo adds the request
// headers and writes the header list in the client's fixed order;
// TIdResponseHeaderInfo reads the received header list back into fields.
// TIdHTTPRequest and TIdHTTPResponse add what belongs to one exchange (URL
// and method; status line and content stream).
//
// Dates are kept as UTC time points (no date is set: empty).
//
// Threads: these are plain values owned by one client and used by the thread
// that runs its request.
#pragma once

#include "http/IdCookie.h"
#include "http/IdHeaderList.h"
#include "platform/Classes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenloft {

enum class TIdHTTPMethod { hmHead, hmGet, hmPost, hmOptions, hmTrace, hmPut, hmDelete, hmConnect };
enum class TIdHTTPProtocolVersion { pv1_0, pv1_1 };
// How a request reaches its server.
enum class TIdHTTPConnectionType { ctNormal, ctSSL, ctProxy, ctSSLProxy };

using TIdDateTime = std::optional<TIdClockTime>;

class TIdEntityHeaderInfo {
public:
  TIdEntityHeaderInfo();
  virtual ~TIdEntityHeaderInfo() = default;

  // Back to the state after construction (the custom headers stay).
  virtual void Clear();
  bool HasContentLength() const { return ContentLength >= 0; }

  std::string CacheControl;
  std::string Connection;
  std::string ContentEncoding;
  std::string ContentLanguage;
  std::string ContentType;
  std::string ContentVersion;
  std::string Pragma;
  // Body length in bytes; -1 when unknown or absent.
  std::int64_t ContentLength = -1;
  std::int64_t ContentRangeStart = 0;
  std::int64_t ContentRangeEnd = 0;
  TIdDateTime Date;
  TIdDateTime Expires;
  TIdDateTime LastModified;

  // The header lines as written or received.
  TIdHeaderList RawHeaders;
  // Extra lines a caller wants in every request.
  TIdHeaderList CustomHeaders;
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
public:
  void Clear() override;

  // Rebuilds RawHeaders from the fields, in the order servers have always
  // been sent them by this client: entity headers, the custom lines, then the
  // request headers. Empty fields are left out. (The "Cookie" line is the
  // client's business: it is set afterwards from the cookie manager.)
  void SetHeaders();

  std::string Accept = "text/html, */*";
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string From;
  std::string Referer;
  std::string Host;
  std::string UserAgent = "Mozilla/3.0 (compatible; Quenloft)";
  std::string ProxyConnection;
  std::string Username;
  std::string Password;
  // Sends "Authorization: Basic ..." built from Username and Password
  // (RFC 7617).
  bool BasicAuthentication = false;
};

class TIdHTTPRequest : public TIdRequestHeaderInfo {
public:
  // The request target: path, document and params of the current URI.
  std::string URL;
  TIdHTTPMethod Method = TIdHTTPMethod::hmGet;
  TStream* Source = nullptr; // body to send; none for GET
  TIdHTTPConnectionType UseProxy = TIdHTTPConnectionType::ctNormal;
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
public:
  void Clear() override;

  // Reads the fields from RawHeaders. Raises the conversion error
  // EConvertError when "Content-Range" holds numbers that are not integers.
  void ProcessHeaders();

  std::string Location;
  std::string Server;
  std::string ProxyConnection;
  // The "Content-Length" values when they are not one decimal number (RFC
  // 9110 8.6: digits only; a list of equal values is that value); ""
  // when they are, or when there is none. ContentLength is then -1.
  std::string BadContentLength;
  // The "Transfer-Encoding" codings, all fields joined by ", ".
  std::string TransferEncoding;
  // Whether the final transfer coding is "chunked" (RFC 9112 6.3 rule 4).
  bool Chunked() const;
  std::vector<std::string> WWWAuthenticate;
  std::vector<std::string> ProxyAuthenticate;
};

class TIdHTTPResponse : public TIdResponseHeaderInfo {
public:
  // The status line as received; sets ResponseCode (-1 when the line has no
  // number) and ResponseVersion ("HTTP/1.0" or "HTTP/1.1"; any other text
  // leaves the version as it was).
  void SetResponseText(const std::string& AText);
  const std::string& ResponseText() const { return FResponseText; }
  int ResponseCode() const { return FResponseCode; }
  TIdHTTPProtocolVersion ResponseVersion() const { return FResponseVersion; }

  // Whether the connection may carry another request after this answer
  // (RFC 9112 9.3): it must still be open, and an HTTP/1.1 answer must not
  // say "Connection: close" (or "Proxy-Connection: close"), while an
  // HTTP/1.0 answer must say "keep-alive" in one of them.
  bool KeepAlive(bool AConnectionOpen) const;

  // Where the body goes (the caller's stream; not owned).
  TStream* ContentStream = nullptr;

private:
  std::string FResponseText;
  int FResponseCode = -1;
  TIdHTTPProtocolVersion FResponseVersion = TIdHTTPProtocolVersion::pv1_1;
};

// The header value of Basic credentials: "Basic " + base64("user:password").
std::string BasicAuthorizationValue(const std::string& AUsername, const std::string& APassword);

} // namespace quenloft

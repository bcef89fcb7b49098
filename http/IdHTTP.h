// TIdCustomHTTP / TIdHTTP: the HTTP/1.1 GET client.
//
// One Get resolves the URL against the client's current URI (so relative
// URLs and "Location" values go to the same server), reuses the open
// connection when the server allows it (RFC 9112 9.3), writes the request,
// skips interim 1xx answers, hands every "Set-Cookie"/"Set-Cookie2" to the
// cookie manager, follows redirects when asked to, and reads the body of a
// 2xx answer into the caller's stream. A 3xx answer without a "Location"
// is no redirect but a failure like any other non-2xx. Any other answer raises
// EIdHTTPProtocolException with the status line as its message and the body
// as its text. "https" URLs go over TLS, verified against CAFile (or the
// system's CA store when CAFile is empty).
//
// Addresses: a relative one stays on the host and port in use; one that
// names a host goes to its own port or its scheme's default. The request
// line and "Host" are built only from the parsed parts (path and query
// percent-encoded, never the fragment). Schemes other than "http" and
// "https" fail with EIdUnknownProtocol ("unsupported address scheme
// 'ftp'"), hosts that cannot be sent with EIdURIException ("Cannot read the
// address: ..."), both before any connection is touched.
//
// A request that fails while an answer is being read closes the connection,
// so a later request never reads the rest of an old answer. A GET that finds
// its kept-alive connection closed by the server before any byte of the
// answer came is sent again once on a new connection. Error and redirect
// bodies are read only up to a small bound.
//
// Proxy chooses a forward proxy per request: plain HTTP goes to it in
// absolute form, HTTPS through a CONNECT tunnel with the TLS checks made
// against the origin; its credentials go to the proxy alone.
//
// Abort (TIdTCPConnection) may be called from any thread: the request in
// progress ends with EIdAborted within a poll's wake-up.
//
// Threads: the client has no locks and serves one request at a time. All of
// its events (OnWorkBegin, OnWork, OnWorkEnd, OnStatus, OnRedirect) run on
// the thread that called Get, inside Get; a work handler may raise to abort
// the transfer, and its exception leaves Get unchanged.
#pragma once

#include "http/IdCookieManager.h"
#include "http/IdHTTPHeaderInfo.h"
#include "http/IdProxy.h"
#include "http/IdTCPConnection.h"
#include "http/IdURI.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace quenloft {

enum class TIdHTTPOption { hoInProcessAuth, hoKeepOrigProtocol, hoForceEncodeParams };
using TIdHTTPOptions = std::set<TIdHTTPOption>;

class TIdCustomHTTP;

// Offered every redirect answer: may change the new location and the
// method; returning false refuses a redirect that would be followed (the
// answer then raises the HTTP error).
using TIdHTTPRedirectEvent =
    std::function<bool(TIdCustomHTTP& Sender, std::string& ADest, TIdHTTPMethod& AMethod)>;

class TIdCustomHTTP : public TIdTCPClient {
public:
  TIdCustomHTTP();
  ~TIdCustomHTTP() override;

  // Fetches AURL into AResponseContent from its current position. The
  // stream ends where the written body ends, also after a failure.
  void Get(const std::string& AURL, TStream& AResponseContent);
  // Fetches AURL; the body's bytes one for one.
  std::string Get(const std::string& AURL);

  TIdHTTPRequest& Request() { return FRequest; }
  TIdHTTPResponse& Response() { return FResponse; }
  // The URI of the request in progress or last made.
  TIdURI& URL() { return FURI; }
  // Made with the first answer while AllowCookies is on; null until then.
  TIdCookieManager* CookieManager() { return FCookieManager.get(); }
  // Exchanges (request written, answer read) of the current or last Get.
  int RedirectCount() const { return FRedirectCount; }

  TIdHTTPProtocolVersion ProtocolVersion = TIdHTTPProtocolVersion::pv1_1;
  bool HandleRedirects = false;
  // With RedirectMaximum n, n - 1 redirects in a row are followed; the n-th
  // redirect answer fails the request ("Too many redirects: ...").
  int RedirectMaximum = 15;
  bool AllowCookies = true;
  TIdHTTPOptions HTTPOptions{TIdHTTPOption::hoForceEncodeParams};
  // Bound on authorization attempts per request. No authorization handler
  // is offered, so 401 and 407 answers end the request with the HTTP error.
  int AuthRetries = 3;
  // PEM file of the CAs trusted for "https"; empty: the system's store.
  std::string CAFile;
  // ms for a connect and its TLS handshake together; 0: ReadTimeout is the
  // limit (and with that 0, the system's own).
  int ConnectTimeout = 0;
  TIdHTTPRedirectEvent OnRedirect;
  // Where requests go through a proxy (IdProxy.h); by default nowhere.
  TIdProxyConfig Proxy;

protected:
  // The transport for the next connection: TLS for "https", a plain socket
  // otherwise. An in-memory transport can stand in here for tests.
  virtual std::unique_ptr<TIdIOHandler> CreateIOHandler(bool ASecure);

private:
  enum class TWhatNext { wnGoToURL, wnJustExit, wnDontKnow };

  void PrepareRequest();
  // Sets the path, document and query of the current URI to those of ANext
  // resolved against them (RFC 3986 section 5.2).
  void ResolveTarget(const TIdURI& ANext);
  // True when the open connection is used again, false after a connect.
  bool ConnectToHost();
  void UseTransport(bool ASecure);
  void SendRequest();
  void ReadResult();
  void StoreCookies();
  TWhatNext ProcessResponse();
  TWhatNext ProcessRedirect();
  void DropRedirectBody();
  [[noreturn]] void RaiseHTTPError();
  bool ResponseKeepAlive();

  TIdURI FURI;
  TIdHTTPRequest FRequest;
  TIdHTTPResponse FResponse;
  std::unique_ptr<TIdCookieManager> FCookieManager;
  int FRedirectCount = 0;
  int FAuthRetryCount = 0;
  int FAuthProxyRetryCount = 0;
  // The CA file of the secure transport in use.
  std::string FTransportCAFile;
  // The proxy of the request in progress, and what the open connection is:
  // "" direct, else to a proxy or through its tunnel to one origin.
  TIdProxyRoute FRoute;
  std::string FRouteKey;
  // False from the moment a request is written until its answer has been
  // read to the end: a failure in between leaves the connection unusable.
  bool FAnswerRead = true;
};

class TIdHTTP : public TIdCustomHTTP {};

} // namespace quenloft

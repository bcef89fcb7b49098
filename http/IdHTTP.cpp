#include "http/IdHTTP.h"

#include "http/IdException.h"
#include "http/IdHTTPWire.h"
#include "http/IdIOHandlerSocket.h"
#include "http/IdSSLOpenSSL.h"
#include "http/IdURIReference.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace quenloft {
namespace {

// Read time-outs for bodies that are only read to be dropped or reported.
constexpr int RedirectBodyTimeout = 4000;
constexpr int ErrorBodyTimeout = 2000;
// Of such a body, this much is kept as the error's text, and no more than
// DroppedBodyLimit bytes are read: past it the connection is closed instead
// of drained, so an endless error page costs neither memory nor time.
constexpr std::size_t ErrorBodyKeep = 4096;
constexpr std::int64_t DroppedBodyLimit = 64 * 1024;
// RFC 9110 15.2: a server may send interim answers before the final one;
// more than this many for one request is taken for a fault.
constexpr int MaxInterimAnswers = 10;

// The server dropped the connection: a kept-alive one may be closed at any
// time (RFC 9112 9.3.1 and 9.6).
bool IsConnectionLoss(const EIdException& E)
{
  return dynamic_cast<const EIdConnClosedGracefully*>(&E) != nullptr ||
         dynamic_cast<const EIdSocketError*>(&E) != nullptr;
}

std::optional<int> ToInt(std::string_view Text)
{
  while (!Text.empty() && Text.front() == ' ')
    Text.remove_prefix(1);
  if (!Text.empty() && Text.front() == '+')
    Text.remove_prefix(1);
  int Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Error != std::errc() || End != Text.data() + Text.size())
    return std::nullopt;
  return Value;
}

// Restores a value when the scope ends, however it ends.
template <typename T>
class TRestore {
public:
  TRestore(T& AVariable, T ANewValue) : FVariable(AVariable), FOld(AVariable) { FVariable = ANewValue; }
  ~TRestore() { FVariable = FOld; }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

private:
  T& FVariable;
  T FOld;
};

} // namespace

TIdCustomHTTP::TIdCustomHTTP()
{
  Port = 80;
  FURI.Port = "80";
}

TIdCustomHTTP::~TIdCustomHTTP() = default;

std::unique_ptr<TIdIOHandler> TIdCustomHTTP::CreateIOHandler(bool ASecure)
{
  if (ASecure)
    return std::make_unique<TIdSSLIOHandlerSocketOpenSSL>(CAFile);
  return std::make_unique<TIdIOHandlerSocket>();
}

std::string TIdCustomHTTP::Get(const std::string& AURL)
{
  TMemoryStream Stream;
  Get(AURL, Stream);
  return Stream.TakeBytes();
}

void TIdCustomHTTP::Get(const std::string& AURL, TStream& AResponseContent)
{
  const std::int64_t StartPosition = AResponseContent.Position();
  FRedirectCount = 0;
  FAuthRetryCount = 0;
  FAuthProxyRetryCount = 0;
  FRequest.URL = AURL;
  FRequest.Method = TIdHTTPMethod::hmGet;
  FRequest.Source = nullptr;
  FResponse.ContentStream = &AResponseContent;
  try {
    bool Done = false;
    while (!Done) {
      ++FRedirectCount;
      PrepareRequest();
      const bool Reused = ConnectToHost();
      const std::int64_t ReceivedBefore = BytesReceived();
      try {
        SendRequest();
        ReadResult();
      } catch (const EIdException& E) {
        // A kept-alive connection that the server closed in the meantime:
        // a GET that got no byte of its answer is sent again, once, on a
        // new connection (RFC 9112 9.3.1; GET is idempotent, RFC 9110 9.2.2).
        if (!Reused || BytesReceived() != ReceivedBefore || !IsConnectionLoss(E))
          throw;
        Disconnect();
        ConnectToHost();
        SendRequest();
        ReadResult();
      }
      switch (ProcessResponse()) {
      case TWhatNext::wnGoToURL:
        AResponseContent.SetPosition(StartPosition);
        AResponseContent.SetSize(StartPosition);
        FAuthRetryCount = 0;
        FAuthProxyRetryCount = 0;
        break;
      case TWhatNext::wnJustExit: Done = true; break;
      case TWhatNext::wnDontKnow: throw EIdException("Undefined situation");
      }
    }
  } catch (...) {
    // An answer read only in part (a cancel from a work handler, a read
    // error, a head past the limits) leaves the connection in the middle of
    // it; it cannot carry another request.
    if (!FAnswerRead || !ResponseKeepAlive())
      Disconnect();
    FAnswerRead = true;
    throw;
  }
  if (!ResponseKeepAlive())
    Disconnect();
}

void TIdCustomHTTP::PrepareRequest()
{
  TIdURI LURI(FRequest.URL);
  // RFC 3986 5.2.2, the non-strict reading: "http:x.swf" names no host
  // and, with the scheme in use, is a relative reference.
  if (LURI.Host.empty() && SameText(LURI.Protocol, FURI.Protocol))
    LURI.Protocol.clear();
  // A relative reference keeps the scheme of the request it came from
  // (RFC 3986 5.2.2), so a relative "Location" on an https site stays https.
  const std::string Protocol = !LURI.Protocol.empty()   ? LURI.Protocol
                               : !FURI.Protocol.empty() ? FURI.Protocol
                                                        : "http";

  // Everything is checked before the current URI changes, so a refused
  // address leaves it as the last request left it.
  if (!SameText(Protocol, "http") && !SameText(Protocol, "https"))
    throw EIdUnknownProtocol(Protocol);
  if (!LURI.Protocol.empty() && LURI.Host.empty())
    throw EIdURIException("Cannot read the address: it names no host");
  if (const std::string Problem = AddressProblem(LURI); !Problem.empty())
    throw EIdURIException("Cannot read the address: " + Problem);
  // An address that names its host means its own port or its scheme's
  // default (RFC 3986 3.2.3); only a relative one stays on the port in use.
  std::string PortText = LURI.Port;
  if (PortText.empty()) {
    if (!LURI.Host.empty() || FURI.Port.empty())
      PortText = SameText(Protocol, "https") ? "443" : "80";
    else
      PortText = FURI.Port;
  }
  // port = *DIGIT (RFC 3986 3.2.3); "0080" goes out as "80".
  const bool Digits = PortText.find_first_not_of("0123456789") == std::string::npos;
  const auto PortNumber = Digits ? ToInt(PortText) : std::nullopt;
  if (!PortNumber)
    throw EConvertError::InvalidInteger(PortText);

  if (!LURI.Username.empty()) {
    FRequest.Username = LURI.Username;
    FRequest.Password = LURI.Password;
  }
  FURI.Username = FRequest.Username;
  FURI.Password = FRequest.Password;
  ResolveTarget(LURI);
  if (!LURI.Host.empty())
    FURI.Host = LURI.Host;
  FURI.Protocol = Protocol;
  FURI.Port = std::to_string(*PortNumber);

  // The request line is built from the parsed parts alone: the path and
  // the query percent-encoded, so no blank or control byte of an address
  // reaches the wire, and the fragment never sent.
  FRequest.URL = PercentEncode(FURI.Path + FURI.Document) + PercentEncode(FURI.Params, "?");
  FRequest.ContentLength = -1;
  // RFC 9110 7.2: the port is left out when it is the scheme's default. An
  // IPv6 literal keeps its brackets (RFC 3986 3.2.2).
  const bool DefaultPort = SameText(FURI.Protocol, "https") ? FURI.Port == "443" : FURI.Port == "80";
  FRequest.Host = DefaultPort ? FURI.Host : FURI.Host + ":" + FURI.Port;
}

void TIdCustomHTTP::ResolveTarget(const TIdURI& ANext)
{
  // RFC 3986 section 5.2: the path and query of the next address resolve
  // against those of the current one. Both go in behind an empty authority,
  // so that a path beginning with "//" stays a path; an address that names
  // its host keeps its own path, with only its dot segments removed.
  std::string Reference = ANext.Path + ANext.Document + ANext.Params;
  if (!ANext.Host.empty() || Reference.starts_with("//"))
    Reference.insert(0, "//");
  const std::string Resolved = ResolveReference("//" + FURI.Path + FURI.Document + FURI.Params, Reference);
  std::string_view Target(Resolved);
  Target.remove_prefix(2); // the empty authority's "//"

  const std::size_t Query = std::min(Target.find('?'), Target.size());
  FURI.Params = Target.substr(Query);
  Target = Target.substr(0, Query);
  const std::size_t Slash = Target.rfind('/');
  const std::size_t DocumentStart = Slash == std::string_view::npos ? 0 : Slash + 1;
  FURI.Path = Target.substr(0, DocumentStart);
  FURI.Document = Target.substr(DocumentStart);
}

void TIdCustomHTTP::UseTransport(bool ASecure)
{
  const TIdIOHandler* Current = IOHandler();
  if (Current && Current->Secure() == ASecure && (!ASecure || FTransportCAFile == CAFile))
    return;
  if (Current)
    Disconnect();
  SetIOHandler(CreateIOHandler(ASecure));
  FTransportCAFile = ASecure ? CAFile : std::string();
}

bool TIdCustomHTTP::ConnectToHost()
{
  const auto URIPort = ToInt(FURI.Port);
  if (!URIPort)
    throw EConvertError::InvalidInteger(FURI.Port);
  // The socket takes an IPv6 literal without its brackets.
  const std::string URIHost = HostWithoutBrackets(FURI.Host);
  const bool Secure = SameText(FURI.Protocol, "https");
  FRoute = ChooseProxy(Proxy, FURI.Protocol, URIHost, *URIPort);
  // A connection to a proxy serves any plain address; a tunnel only the
  // origin it was opened to.
  const std::string Tunnel = FURI.Host + ":" + FURI.Port;
  const std::string Key = FRoute.Direct() ? std::string()
                          : Secure        ? "tunnel " + FRoute.Address() + " " + Tunnel
                                          : "proxy " + FRoute.Address();
  const std::string PeerHost = FRoute.Direct() ? URIHost : FRoute.Host;
  const int PeerPort = FRoute.Direct() ? *URIPort : FRoute.Port;
  if (!SameText(Host, PeerHost) || Port != PeerPort || Key != FRouteKey) {
    if (Connected())
      Disconnect();
    Host = PeerHost;
    Port = PeerPort;
    FRouteKey = Key;
  }

  FRequest.UseProxy = FRoute.Direct()
                          ? (Secure ? TIdHTTPConnectionType::ctSSL : TIdHTTPConnectionType::ctNormal)
                          : (Secure ? TIdHTTPConnectionType::ctSSLProxy : TIdHTTPConnectionType::ctProxy);
  UseTransport(Secure);
  if (auto* Socket = dynamic_cast<TIdIOHandlerSocket*>(IOHandler())) {
    if (Secure && !FRoute.Direct()) {
      Socket->TunnelHost = URIHost;
      Socket->OnTunnel = [Tunnel, Authorization = FRoute.Authorization()](TIdIOHandlerSocket& Handler,
                                                                          int Timeout) {
        OpenTunnel(Handler, Tunnel, Authorization, Timeout);
      };
    } else {
      Socket->TunnelHost.clear();
      Socket->OnTunnel = nullptr;
    }
  }
  // HTTP/1.0 connections close after each answer unless asked (RFC 9112
  // appendix C.2.2).
  if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 && FRequest.Connection.empty())
    FRequest.Connection = "keep-alive";

  if (!ResponseKeepAlive())
    Disconnect();
  if (Connected()) {
    // Only a close that has already happened needs noticing; waiting here
    // would delay every request on a kept connection.
    PollForClose(false, 0);
    // Bytes before our request were never asked for: the connection is out
    // of step with the server and is not used. One empty line is the
    // exception: it is skipped before the next status line (RFC 9112 2.2).
    const std::string_view Early = InputBuffer();
    if (Connected() && !Early.empty() && Early != "\r\n" && Early != "\n")
      Disconnect();
  }
  if (Connected())
    return true;
  Connect(ConnectTimeout > 0 ? ConnectTimeout : ReadTimeout);
  return false;
}

void TIdCustomHTTP::SendRequest()
{
  FRequest.SetHeaders();
  if (AllowCookies && FCookieManager) {
    const std::string Cookies = FCookieManager->GenerateCookieList(FURI, IOHandler()->Secure());
    if (!Cookies.empty())
      FRequest.RawHeaders.SetValues("Cookie", Cookies);
  }
  // To a proxy (not through its tunnel): the absolute address, and its
  // credentials, which an origin never sees.
  const bool ToProxy = FRequest.UseProxy == TIdHTTPConnectionType::ctProxy;
  if (ToProxy && !FRoute.Username.empty())
    FRequest.RawHeaders.SetValues("Proxy-Authorization", FRoute.Authorization());
  FAnswerRead = false;
  // The whole head in one send.
  if (ToProxy) {
    const TRestore<std::string> Target(FRequest.URL, "http://" + FRequest.Host + FRequest.URL);
    Write(BuildRequestHead(FRequest, ProtocolVersion));
  } else {
    Write(BuildRequestHead(FRequest, ProtocolVersion));
  }
}

void TIdCustomHTTP::ReadResult()
{
  // Every 1xx answer but "101 Switching Protocols" is interim (RFC 9110
  // 15.2): it has a head of its own and no body, and the final answer
  // follows on the same connection.
  for (int Interim = 0;; ++Interim) {
    ReadResponseHead(*this, FResponse);
    StoreCookies();
    const int Code = FResponse.ResponseCode();
    if (Code / 100 != 1 || Code == 101)
      return;
    if (Interim >= MaxInterimAnswers)
      throw EIdHTTPBadResponse("More than " + std::to_string(MaxInterimAnswers) +
                               " interim answers to one request");
  }
}

void TIdCustomHTTP::StoreCookies()
{
  if (!AllowCookies)
    return;
  if (!FCookieManager)
    FCookieManager = std::make_unique<TIdCookieManager>();
  for (const std::string& Value : FResponse.RawHeaders.AllValues("Set-Cookie"))
    FCookieManager->AddCookie(Value, FURI);
  for (const std::string& Value : FResponse.RawHeaders.AllValues("Set-Cookie2"))
    FCookieManager->AddCookie2(Value, FURI);
}

TIdCustomHTTP::TWhatNext TIdCustomHTTP::ProcessResponse()
{
  const int Code = FResponse.ResponseCode();
  const int Class = Code / 100;
  // A "Location" makes any answer a redirect, whatever its code. A 3xx
  // without one names nowhere to go: it ends the request with its status.
  if (!FResponse.Location.empty())
    return ProcessRedirect();

  if (Class != 2) {
    if (Code == 401)
      ++FAuthRetryCount;
    else if (Code == 407)
      ++FAuthProxyRetryCount;
    RaiseHTTPError();
  }

  if (!Connected()) {
    // The server closed while the head was being read: the answer may be
    // incomplete.
    FAnswerRead = true;
    return TWhatNext::wnDontKnow;
  }
  if (Code != 204)
    ReadResponseBody(*this, FResponse, *FResponse.ContentStream);
  FAnswerRead = true;
  return TWhatNext::wnJustExit;
}

TIdCustomHTTP::TWhatNext TIdCustomHTTP::ProcessRedirect()
{
  std::string Location = FResponse.Location;
  TIdHTTPMethod Method = FRequest.Method;
  if (HandleRedirects && FRedirectCount < RedirectMaximum) {
    if (OnRedirect && !OnRedirect(*this, Location, Method))
      RaiseHTTPError();
    DropRedirectBody();
    FRequest.URL = Location;
    FRequest.Method = Method;
    return TWhatNext::wnGoToURL;
  }
  if (OnRedirect)
    OnRedirect(*this, Location, Method);
  FResponse.Location = Location;
  DropRedirectBody();
  if (HandleRedirects) {
    // A chain this long is a loop or a fault of the site; ending it with an
    // empty "success" would hide that.
    throw EIdException("Too many redirects: the limit of " + std::to_string(RedirectMaximum) +
                       " was reached");
  }
  return TWhatNext::wnJustExit;
}

void TIdCustomHTTP::DropRedirectBody()
{
  if (!Connected()) {
    FAnswerRead = true;
    return;
  }
  TRestore<int> Timeout(ReadTimeout, RedirectBodyTimeout);
  TIdCappedStream Scratch(0, DroppedBodyLimit);
  try {
    ReadResponseBody(*this, FResponse, Scratch);
  } catch (const EIdException&) {
    // A failure of the transfer itself: the redirect is followed anyway;
    // only the connection is spent. What a work-event handler raises (the
    // download's "User Cancel") is the caller's decision and travels on.
    Disconnect();
  } catch (...) {
    Disconnect();
    throw;
  }
  FAnswerRead = true;
}

void TIdCustomHTTP::RaiseHTTPError()
{
  TIdCappedStream Body(ErrorBodyKeep, DroppedBodyLimit);
  bool Drained = true;
  {
    TRestore<int> Timeout(ReadTimeout, ErrorBodyTimeout);
    TRestore<TStream*> Stream(FResponse.ContentStream, &Body);
    try {
      ReadResponseBody(*this, FResponse, Body);
    } catch (const EIdBodyPastLimit&) {
      // The rest is not worth reading: the connection goes instead.
      Drained = false;
    }
  }
  // A "101" switches the connection away from HTTP: it is not at an
  // answer's end either.
  FAnswerRead = Drained && FResponse.ResponseCode() / 100 != 1;
  throw EIdHTTPProtocolException(FResponse.ResponseCode(), FResponse.ResponseText(), Body.TakeText());
}

bool TIdCustomHTTP::ResponseKeepAlive()
{
  return FResponse.KeepAlive(Connected());
}

} // namespace quenloft

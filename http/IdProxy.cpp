#include "http/IdProxy.h"

#include "http/IdHTTPHeaderInfo.h"
#include "http/IdIOHandlerSocket.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace quenloft {
namespace {

// As curl: a proxy named without a port listens on 1080.
constexpr int DefaultProxyPort = 1080;
// The most of a CONNECT answer's head that is read.
constexpr std::size_t MaxTunnelHead = 64 * 1024;

std::string Env(const char* AName)
{
  const char* Value = std::getenv(AName);
  return Value ? Value : "";
}

std::string FirstOf(const char* ALower, const char* AUpper)
{
  std::string Value = Env(ALower);
  return Value.empty() ? Env(AUpper) : Value;
}

std::string Lower(std::string_view AText)
{
  std::string Out(AText);
  for (char& C : Out)
    if (C >= 'A' && C <= 'Z')
      C = static_cast<char>(C - 'A' + 'a');
  return Out;
}

std::string_view Trim(std::string_view AText)
{
  while (!AText.empty() && (AText.front() == ' ' || AText.front() == '\t'))
    AText.remove_prefix(1);
  while (!AText.empty() && (AText.back() == ' ' || AText.back() == '\t'))
    AText.remove_suffix(1);
  return AText;
}

std::string PercentDecode(std::string_view AText)
{
  auto Hex = [](char C) -> int {
    if (C >= '0' && C <= '9')
      return C - '0';
    if (C >= 'a' && C <= 'f')
      return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
      return C - 'A' + 10;
    return -1;
  };
  std::string Out;
  for (std::size_t I = 0; I < AText.size(); ++I) {
    if (AText[I] == '%' && I + 2 < AText.size() && Hex(AText[I + 1]) >= 0 && Hex(AText[I + 2]) >= 0) {
      Out += static_cast<char>(Hex(AText[I + 1]) * 16 + Hex(AText[I + 2]));
      I += 2;
    } else {
      Out += AText[I];
    }
  }
  return Out;
}

// Splits "host", "host:port", "[v6]" or "[v6]:port"; Port stays -1 when
// none is named. False for a form that cannot be read.
bool SplitHostPort(std::string_view AText, std::string& AHost, int& APort)
{
  APort = -1;
  std::string_view PortText;
  if (!AText.empty() && AText.front() == '[') {
    const std::size_t Close = AText.find(']');
    if (Close == std::string_view::npos)
      return false;
    AHost = AText.substr(1, Close - 1);
    const std::string_view Rest = AText.substr(Close + 1);
    if (!Rest.empty()) {
      if (Rest.front() != ':')
        return false;
      PortText = Rest.substr(1);
    }
  } else {
    const std::size_t Colon = AText.find(':');
    // More than one ":" and no brackets: an IPv6 literal without a port.
    if (Colon != std::string_view::npos && AText.find(':', Colon + 1) == std::string_view::npos) {
      AHost = AText.substr(0, Colon);
      PortText = AText.substr(Colon + 1);
    } else {
      AHost = AText;
    }
  }
  if (!PortText.empty()) {
    int Port = 0;
    const auto [End, Error] = std::from_chars(PortText.data(), PortText.data() + PortText.size(), Port);
    if (Error != std::errc() || End != PortText.data() + PortText.size() || Port < 1 || Port > 65535)
      return false;
    APort = Port;
  }
  return true;
}

} // namespace

TIdProxyConfig TIdProxyConfig::FromEnvironment()
{
  TIdProxyConfig Config;
  // Only the lower-case http_proxy: a CGI program gets the request's
  // "Proxy:" header as HTTP_PROXY, so curl ignores that name.
  Config.HTTPProxy = Env("http_proxy");
  Config.HTTPSProxy = FirstOf("https_proxy", "HTTPS_PROXY");
  Config.AllProxy = FirstOf("all_proxy", "ALL_PROXY");
  Config.NoProxy = FirstOf("no_proxy", "NO_PROXY");
  return Config;
}

std::string TIdProxyRoute::Authorization() const
{
  return Username.empty() ? std::string() : BasicAuthorizationValue(Username, Password);
}

std::string TIdProxyRoute::Address() const
{
  const bool V6 = Host.find(':') != std::string::npos;
  return (V6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

TIdProxyRoute ParseProxyURL(const std::string& AText)
{
  std::string_view Rest = Trim(AText);
  const std::size_t SchemeEnd = Rest.find("://");
  if (SchemeEnd != std::string_view::npos) {
    const std::string Scheme = Lower(Rest.substr(0, SchemeEnd));
    if (Scheme != "http")
      throw EIdProxyError("unsupported proxy scheme '" + Scheme + "' (only http proxies are supported)");
    Rest.remove_prefix(SchemeEnd + 3);
  }
  Rest = Rest.substr(0, std::min(Rest.find_first_of("/?#"), Rest.size()));
  TIdProxyRoute Route;
  const std::size_t At = Rest.rfind('@');
  if (At != std::string_view::npos) {
    const std::string_view UserInfo = Rest.substr(0, At);
    const std::size_t Colon = UserInfo.find(':');
    Route.Username = PercentDecode(UserInfo.substr(0, Colon));
    if (Colon != std::string_view::npos)
      Route.Password = PercentDecode(UserInfo.substr(Colon + 1));
    Rest.remove_prefix(At + 1);
  }
  int Port = -1;
  if (!SplitHostPort(Rest, Route.Host, Port) || Route.Host.empty())
    throw EIdProxyError("cannot read the proxy address: it needs a host and at most a port from 1 to 65535");
  Route.Port = Port < 0 ? DefaultProxyPort : Port;
  return Route;
}

bool NoProxyMatches(const std::string& ANoProxy, const std::string& AHost, int APort)
{
  std::string Host = Lower(AHost);
  while (!Host.empty() && Host.back() == '.')
    Host.pop_back(); // "example.com." is "example.com"
  std::string_view List = ANoProxy;
  while (!List.empty()) {
    const std::size_t Comma = std::min(List.find(','), List.size());
    const std::string_view Entry = Trim(List.substr(0, Comma));
    List.remove_prefix(std::min(Comma + 1, List.size()));
    if (Entry == "*")
      return true;
    std::string Name;
    int Port = -1;
    if (Entry.empty() || !SplitHostPort(Entry, Name, Port))
      continue;
    if (Port >= 0 && Port != APort)
      continue;
    Name = Lower(Name);
    while (!Name.empty() && Name.front() == '.')
      Name.erase(0, 1);
    while (!Name.empty() && Name.back() == '.')
      Name.pop_back();
    if (Name.empty())
      continue;
    if (Host == Name)
      return true;
    // A name matches itself and every host below it, on a label boundary;
    // an IP literal only itself.
    const bool Literal = Name.find(':') != std::string::npos ||
                         !TIdIOHandlerSocket::LiteralIPv4(Name).empty() ||
                         Name.find_first_not_of("0123456789.") == std::string::npos;
    if (!Literal && Host.size() > Name.size() && Host.ends_with(Name) &&
        Host[Host.size() - Name.size() - 1] == '.')
      return true;
  }
  return false;
}

TIdProxyRoute ChooseProxy(const TIdProxyConfig& AConfig, const std::string& AScheme, const std::string& AHost,
                          int APort)
{
  if (AConfig.Disabled)
    return {};
  std::string Address = AConfig.Explicit;
  if (Address.empty()) {
    Address = SameText(AScheme, "https") ? AConfig.HTTPSProxy : AConfig.HTTPProxy;
    if (Trim(Address).empty())
      Address = AConfig.AllProxy;
  }
  if (Trim(Address).empty() || NoProxyMatches(AConfig.NoProxy, AHost, APort))
    return {};
  return ParseProxyURL(Address);
}

void OpenTunnel(TIdIOHandlerSocket& AHandler, const std::string& ATarget, const std::string& AAuthorization,
                int ATimeout)
{
  std::string Request = "CONNECT " + ATarget + " HTTP/1.1\r\nHost: " + ATarget + "\r\n";
  if (!AAuthorization.empty())
    Request += "Proxy-Authorization: " + AAuthorization + "\r\n";
  Request += "\r\n";
  for (std::size_t Sent = 0; Sent < Request.size();) {
    const int N =
        AHandler.TIdIOHandlerSocket::Send(Request.data() + Sent, static_cast<int>(Request.size() - Sent));
    if (N <= 0)
      throw EIdConnClosedGracefully();
    Sent += static_cast<std::size_t>(N);
  }
  // The head only, one byte at a time: nothing of what may follow it is
  // taken from the socket (the proxy sends nothing more before our TLS).
  std::string Head;
  const int Wait = ATimeout > 0 ? ATimeout : -1;
  while (!Head.ends_with("\r\n\r\n") && !Head.ends_with("\n\n")) {
    if (Head.size() >= MaxTunnelHead)
      throw EIdHTTPHeaderTooLarge("The proxy's answer to CONNECT is too large");
    if (!AHandler.TIdIOHandlerSocket::Readable(Wait))
      throw EIdReadTimeout(Wait);
    char C = 0;
    if (AHandler.TIdIOHandlerSocket::Recv(&C, 1) <= 0)
      throw EIdConnClosedGracefully();
    Head += C;
  }
  std::string StatusLine = Head.substr(0, Head.find('\n'));
  if (StatusLine.ends_with('\r'))
    StatusLine.pop_back();
  int Code = 0;
  if (StatusLine.size() < 12 || !StatusLine.starts_with("HTTP/1.") ||
      std::from_chars(StatusLine.data() + 9, StatusLine.data() + 12, Code).ptr != StatusLine.data() + 12)
    throw EIdHTTPBadResponse("Invalid status line from the proxy: \"" + StatusLine.substr(0, 64) + "\"");
  if (Code / 100 != 2)
    throw EIdHTTPProtocolException(Code, StatusLine, "");
}

} // namespace quenloft

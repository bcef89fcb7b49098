// Forward proxies, chosen the way curl and wget read their settings: the
// environment's http_proxy (lower case only), https_proxy / HTTPS_PROXY,
// all_proxy / ALL_PROXY and no_proxy / NO_PROXY, or one proxy given for every
// scheme (--proxy, the window's setting), or none at all (--no-proxy).
//
// A proxy address is "[http://][user[:password]@]host[:port]" (port 1080
// when none is named, as curl has it; user and password percent-decoded).
// no_proxy is a list of host names, domain suffixes (with or without a
// leading "."), IP literals, each optionally with ":port", or "*" for all;
// it applies to a proxy given for every scheme too.
//
// Plain HTTP goes to the proxy with the absolute address in its request
// line; HTTPS goes through a "CONNECT host:port" tunnel (OpenTunnel), and
// the TLS checks are made against the origin. Basic proxy credentials go
// only to the proxy, never to an origin server, and no message shows them.
//
// Threads: pure functions, except OpenTunnel, which runs on the thread that
// opens the connection.
#pragma once

#include "http/IdException.h"

#include <string>

namespace quenloft {

class TIdIOHandlerSocket;

class EIdProxyError : public EIdException {
public:
  using EIdException::EIdException;
};

struct TIdProxyConfig {
  bool Disabled = false; // no proxy whatever else is set
  std::string Explicit;  // one proxy for every scheme; "" uses those below
  std::string HTTPProxy;
  std::string HTTPSProxy;
  std::string AllProxy;
  std::string NoProxy;

  // The environment's settings (Explicit empty, not Disabled).
  static TIdProxyConfig FromEnvironment();
};

struct TIdProxyRoute {
  std::string Host; // "" : no proxy; an IPv6 literal without brackets
  int Port = 0;
  std::string Username;
  std::string Password;

  bool Direct() const { return Host.empty(); }
  // "Basic ..." for the Proxy-Authorization header; "" without a user.
  std::string Authorization() const;
  // "host:port", the key of the connection to the proxy.
  std::string Address() const;
};

// Reads a proxy address; raises EIdProxyError for one that cannot be used
// (another scheme than http, no host, a bad port). The message never holds
// the credentials.
TIdProxyRoute ParseProxyURL(const std::string& AText);

// Whether ANoProxy exempts AHost (no brackets around an IPv6 literal) at
// APort from proxies.
bool NoProxyMatches(const std::string& ANoProxy, const std::string& AHost, int APort);

// The proxy for a request to AHost:APort by AScheme ("http" or "https").
TIdProxyRoute ChooseProxy(const TIdProxyConfig& AConfig, const std::string& AScheme, const std::string& AHost,
                          int APort);

// On the raw connection to a proxy: asks for a tunnel to ATarget
// ("host:port") and reads the proxy's answer. A 2xx opens the tunnel; any
// other answer raises EIdHTTPProtocolException with the proxy's status line
// (a 407 when the proxy wants other credentials).
void OpenTunnel(TIdIOHandlerSocket& AHandler, const std::string& ATarget, const std::string& AAuthorization,
                int ATimeout);

} // namespace quenloft

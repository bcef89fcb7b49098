#include "http/ClientSettings.h"

#include "http/IdHTTP.h"

namespace quenloft {

void ApplyProgramClientSettings(TIdHTTP& HTTP)
{
  HTTP.HandleRedirects = true;
  // Proxies as the environment names them (curl's and wget's variables).
  HTTP.Proxy = TIdProxyConfig::FromEnvironment();
  HTTP.AllowCookies = true;
  // A server that sends nothing for a minute fails its request, and one
  // that does not even answer the connect (or the TLS handshake) within
  // half a minute too; "Stop" ends any wait at once (TDownLoad).
  HTTP.ReadTimeout = DefaultReadTimeoutMs;
  HTTP.ConnectTimeout = DefaultConnectTimeoutMs;
  auto& request = HTTP.Request();
  request.Accept = "text/html, */*";
  request.ContentType = "text/html";
  request.ContentLength = -1;
  request.ContentRangeStart = 0;
  request.ContentRangeEnd = 0;
  request.UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows 98; Maxthon)";
  request.BasicAuthentication = false;
  HTTP.HTTPOptions.insert(TIdHTTPOption::hoForceEncodeParams);
  // A header line past the client's limit fails the request.
  HTTP.MaxLineAction = TIdMaxLineAction::maException;
}

} // namespace quenloft

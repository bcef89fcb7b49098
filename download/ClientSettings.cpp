#include "download/ClientSettings.h"

#include "http/IdHTTP.h"

namespace quenloft {

void ApplyProgramClientSettings(TIdHTTP& HTTP)
{
  HTTP.HandleRedirects = true;
  HTTP.AllowCookies = true;
  // 0: no read time-out. A stalled transfer waits until the peer moves or
  // closes; "Stop" is noticed at the next progress event.
  HTTP.ReadTimeout = 0;
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

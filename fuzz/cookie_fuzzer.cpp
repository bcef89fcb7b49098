// Feeds arbitrary bytes to the cookie jar: the first line is the request
// URL, every further line a "Set-Cookie" value (or "Set-Cookie2" when it
// starts with "2"), with the clock moving a little between them; then the
// "Cookie" text is asked for. Also reads the whole input as an HTTP date and
// checks that a date read is written and read back to the same instant.
#include "http/IdCookie.h"
#include "http/IdCookieManager.h"
#include "http/IdURI.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quenloft;

#define COOKIE_CHECK(cond)                                                                                   \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      std::fprintf(stderr, "cookie_fuzzer: check failed: %s (line %d)\n", #cond, __LINE__);                  \
      std::abort();                                                                                          \
    }                                                                                                        \
  } while (0)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string text(reinterpret_cast<const char*>(Data), Size);

  if (const auto date = ParseHTTPDate(text)) {
    const auto again = ParseHTTPDate(FormatHTTPDate(*date));
    COOKIE_CHECK(again && *again == *date);
  }

  TIdClockTime now{std::chrono::seconds(1714564800)};
  TIdCookieManager jar([&now] { return now; });

  std::size_t start = text.find('\n');
  const TIdURI request(text.substr(0, start));
  while (start != std::string::npos) {
    const std::size_t next = text.find('\n', start + 1);
    const std::string line =
        text.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1);
    if (!line.empty() && line.front() == '2')
      jar.AddCookie2(line.substr(1), request);
    else
      jar.AddCookie(line, request);
    now += std::chrono::seconds(7);
    start = next;
  }

  const std::size_t stored = jar.CookieCount();
  const std::string plain = jar.GenerateCookieList(request, false);
  const std::string secure = jar.GenerateCookieList(request, true);
  COOKIE_CHECK(jar.CookieCount() <= stored);
  // Over a secure connection at least as much goes out.
  COOKIE_CHECK(secure.size() >= plain.size());

  // A lone cookie text parsed on its own, with its rebuilt text re-read.
  TIdCookieRFC2965 cookie([&now] { return now; });
  cookie.SetCookieText(text);
  TIdCookieRFC2965 copy([&now] { return now; });
  copy.SetCookieText(cookie.ServerCookie());
  return 0;
}

// Which failures are tried again, and how long the wait before a try is.
#include "http/IdException.h"
#include "http/RetryPolicy.h"

#include <gtest/gtest.h>

#include <memory>

namespace quenloft {
namespace {

using namespace std::chrono_literals;

TEST(RetryPolicy, OnlyPassingFailuresAreTransient)
{
  struct TCase {
    const char* Name;
    std::shared_ptr<std::exception> Error;
    bool Transient;
  };
  auto Status = [](int Code) { return std::make_shared<EIdHTTPProtocolException>(Code, "HTTP/1.1 x", ""); };
  const TCase Cases[] = {
      {"refused", std::make_shared<EIdSocketError>(10061, "refused"), true},
      {"reset", std::make_shared<EIdSocketError>(10054, "reset"), true},
      {"connect timed out", std::make_shared<EIdConnectTimeout>(), true},
      {"read timed out", std::make_shared<EIdReadTimeout>(60000), true},
      {"closed early", std::make_shared<EIdConnClosedGracefully>(), true},
      {"408", Status(408), true},
      {"429", Status(429), true},
      {"500", Status(500), true},
      {"502", Status(502), true},
      {"503", Status(503), true},
      {"504", Status(504), true},
      {"404", Status(404), false},
      {"403", Status(403), false},
      {"501", Status(501), false},
      {"host not found", std::make_shared<EIdSocketError>(11001, "Host not found."), false},
      {"unreachable", std::make_shared<EIdSocketError>(10065, "No route to host."), false},
      {"TLS", std::make_shared<EIdTLSError>("certificate"), false},
      {"bad address", std::make_shared<EIdURIException>("Cannot read the address"), false},
      {"bad answer", std::make_shared<EIdHTTPBadResponse>("Invalid status line"), false},
      {"aborted", std::make_shared<EIdAborted>(), false},
  };
  for (const TCase& Case : Cases)
    EXPECT_EQ(IsTransientFailure(*Case.Error), Case.Transient) << Case.Name;
}

TEST(RetryPolicy, TheWaitFollowsRetryAfterWithinALimit)
{
  const TIdClockTime Now = *ParseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT");
  struct TCase {
    int TriesMade;
    const char* RetryAfter;
    std::chrono::milliseconds Wait;
  };
  const TCase Cases[] = {
      {1, "", 1s},
      {2, "", 2s},
      {3, "", 4s},
      {30, "", 60s},
      {1, "1", 1s},
      {2, " 5 ", 5s},
      {1, "0", 0s},
      {1, "61", 60s},
      {1, "99999999999999999999999", 60s},
      {1, "-3", 1s},
      {2, "1.5", 2s},
      {1, "soon", 1s},
      {1, "Sun, 06 Nov 1994 08:49:47 GMT", 10s},
      {1, "Sun, 06 Nov 1994 09:49:37 GMT", 60s},
      {1, "Sun, 06 Nov 1994 08:00:00 GMT", 0s},
  };
  for (const TCase& Case : Cases)
    EXPECT_EQ(RetryWait(Case.TriesMade, Case.RetryAfter, Now), Case.Wait)
        << Case.TriesMade << " '" << Case.RetryAfter << "'";
}

} // namespace
} // namespace quenloft

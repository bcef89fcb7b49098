// The client against servers that stall, drip, never end or frame their
// answers wrongly: a stop from another thread ends any wait at once, the
// time-outs are idle limits, progress comes with every piece, error bodies
// cost a bounded amount, and a broken framing fails the request instead of
// being read as a complete body.
#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedAnswer;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using testing::WaitUntil;
using Clock = std::chrono::steady_clock;

const std::string Head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";

// Where the client is known to wait when the stop comes: the request went
// out (so it waits for the answer or in the handshake), the body's read has
// begun, or body bytes have arrived.
enum class TReached { Request, BodyBegun, BodyBytes };

struct TStall {
  const char* Name;
  ScriptedAnswer Answer;
  TReached Reached;
  bool Secure = false; // a TLS handshake that the server never answers
};

std::vector<TStall> Stalls()
{
  return {
      {"no answer at all", ScriptedAnswer{.Stall = true}, TReached::Request},
      {"stall after the head", ScriptedAnswer{.Bytes = Head100, .Stall = true}, TReached::BodyBegun},
      {"stall mid-body", ScriptedAnswer{.Bytes = Head100 + "half", .Stall = true}, TReached::BodyBytes},
      {"1 byte per second", ScriptedAnswer{.Bytes = Head100 + std::string(100, 'd'), .Drip = 1000ms},
       TReached::Request},
      {"stalled TLS handshake", {}, TReached::Request, true},
  };
}

// Each stall, while a request waits on it without any time-out: Abort from
// another thread ends the request with EIdAborted at once.
TEST(HostileServer, AbortEndsEveryKindOfStallAtOnce)
{
  for (const TStall& Case : Stalls()) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(Case.Secure
                              ? ScriptedServer::Script([](ScriptedConnection& C) { C.WaitForPeerClose(60s); })
                              : ScriptedServer::Replay(std::vector<ScriptedAnswer>{Case.Answer}));
    TIdHTTP Client;
    std::atomic<bool> Begun{false};
    std::atomic<bool> Bytes{false};
    Client.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int32_t) { Begun = true; };
    Client.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t) { Bytes = true; };
    const std::string URL =
        Case.Secure ? "https://127.0.0.1:" + std::to_string(Server.Port()) + "/" : Server.Url("/stall");
    auto Result = std::async(std::launch::async, [&] {
      TMemoryStream Body;
      Client.Get(URL, Body);
    });
    ASSERT_TRUE(WaitUntil([&] {
      switch (Case.Reached) {
      case TReached::Request:
        return Server.ConnectionCount() == 1 && (Case.Secure || !Server.Requests().empty());
      case TReached::BodyBegun: return Begun.load();
      case TReached::BodyBytes: return Bytes.load();
      }
      return false;
    }));
    const auto Stopped = Clock::now();
    Client.Abort();
    ASSERT_EQ(Result.wait_for(5s), std::future_status::ready) << "the stop was not honoured";
    const auto Latency = Clock::now() - Stopped;
    EXPECT_THROW(Result.get(), EIdAborted);
    EXPECT_LT(Latency, 1s);
    EXPECT_FALSE(Client.Connected()) << "a connection left mid-answer is closed";
    Client.ResetAbort();
  }
}

// The idle limit counts silence, not the whole transfer: a stall fails with
// the clear text, a slow drip that never pauses for the limit does not.
TEST(HostileServer, TheReadTimeOutIsAnIdleLimit)
{
  struct TCase {
    const char* Name;
    ScriptedAnswer Answer;
    bool TimesOut;
    std::string Received;
  };
  const TCase Cases[] = {
      {"stall after the head", {.Bytes = Head100, .Stall = true}, true, ""},
      {"stall mid-body", {.Bytes = Head100 + "half", .Stall = true}, true, "half"},
      {"drip faster than the limit",
       {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n12345678", .Drip = 20ms},
       false,
       "12345678"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{Case.Answer}));
    TIdHTTP Client;
    Client.ReadTimeout = 600;
    TMemoryStream Body;
    const auto Start = Clock::now();
    if (Case.TimesOut) {
      try {
        Client.Get(Server.Url(), Body);
        ADD_FAILURE() << "no time-out";
      } catch (const EIdReadTimeout& E) {
        EXPECT_STREQ(E.what(), "Read timed out after 0.6 s");
      }
      EXPECT_GE(Clock::now() - Start, 550ms);
    } else {
      EXPECT_NO_THROW(Client.Get(Server.Url(), Body));
    }
    EXPECT_EQ(Body.Bytes(), Case.Received);
  }
}

TEST(HostileServer, AConnectTimeOutCoversTheTLSHandshake)
{
  ScriptedServer Server([](ScriptedConnection& C) { C.WaitForPeerClose(60s); });
  TIdHTTP Client;
  Client.ConnectTimeout = 300;
  const auto Start = Clock::now();
  try {
    Client.Get("https://127.0.0.1:" + std::to_string(Server.Port()) + "/");
    FAIL() << "a silent handshake succeeded";
  } catch (const EIdTLSError& E) {
    EXPECT_NE(std::string(E.what()).find("timed out"), std::string::npos) << E.what();
  }
  EXPECT_GE(Clock::now() - Start, 250ms);
  EXPECT_LT(Clock::now() - Start, 5s);
}

// A read returns what is there: a dripping body raises a work event per
// piece that arrives (one per byte, unless a busy machine lets a few pile
// up) instead of one when the block is full.
TEST(HostileServer, ProgressComesWithEveryPiece)
{
  const std::string Body = "0123456789abcdef";
  ScriptedServer Dripping(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\n" + Body, .Drip = 10ms}}));
  TIdHTTP Client;
  std::vector<std::int32_t> Counts;
  Client.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t Count) { Counts.push_back(Count); };
  EXPECT_EQ(Client.Get(Dripping.Url()), Body);
  EXPECT_GE(Counts.size(), 4u) << "progress waited for whole blocks";
  ASSERT_FALSE(Counts.empty());
  EXPECT_EQ(Counts.back(), 16);
}

// Error and redirect bodies are kept only in part and read only up to a
// bound: past it the connection is closed instead of drained.
TEST(HostileServer, EndlessErrorAndRedirectBodiesStayBounded)
{
  const std::string Filler(64 * 1024, 'e');
  ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 404 Not Found\r\n\r\n", .Endless = Filler},
      {.Bytes = "HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n",
       .Endless = "8000\r\n" + std::string(0x8000, 'c') + "\r\n"},
      {.Bytes = "HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\n", .Endless = Filler},
      {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext"},
  }));
  TIdHTTP Client;
  Client.HandleRedirects = true;
  for (const char* Status : {"HTTP/1.1 404 Not Found", "HTTP/1.1 500 Oops"}) {
    try {
      Client.Get(Server.Url());
      ADD_FAILURE() << Status << ": no error";
    } catch (const EIdHTTPProtocolException& E) {
      EXPECT_STREQ(E.what(), Status);
      EXPECT_LE(E.ErrorMessage().size(), 4096u);
      EXPECT_FALSE(E.ErrorMessage().empty());
    }
    EXPECT_FALSE(Client.Connected()) << "the rest is not drained";
  }
  EXPECT_EQ(Client.Get(Server.Url("/moved")), "next");
  EXPECT_EQ(Server.ConnectionCount(), 4);
}

// RFC 9112 sections 4 and 6: what fails at once, and what is read how.
TEST(HostileServer, FramingCases)
{
  struct TCase {
    const char* Name;
    std::string Answer;
    std::string Body;  // expected body when the request succeeds
    std::string Error; // expected failure text, "" when it succeeds
  };
  const std::string Chunked = "5\r\nhello\r\n0\r\n\r\n";
  const TCase Cases[] = {
      {"one length", "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcdef", "abcdef", ""},
      {"a list of equal lengths", "HTTP/1.1 200 OK\r\nContent-Length: 6, 6\r\n\r\nabcdef", "abcdef", ""},
      {"two equal fields", "HTTP/1.1 200 OK\r\nContent-Length: 6\r\nContent-Length: 6\r\n\r\nabcdef",
       "abcdef", ""},
      {"a sign", "HTTP/1.1 200 OK\r\nContent-Length: +6\r\n\r\nabcdef", "", "Invalid Content-Length: \"+6\""},
      {"a negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabcdef", "",
       "Invalid Content-Length: \"-1\""},
      {"letters", "HTTP/1.1 200 OK\r\nContent-Length: 6x\r\n\r\nabcdef", "",
       "Invalid Content-Length: \"6x\""},
      {"a blank inside", "HTTP/1.1 200 OK\r\nContent-Length: 1 0\r\n\r\nabcdef", "",
       "Invalid Content-Length: \"1 0\""},
      {"more digits than fit", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nabcdef", "",
       "Invalid Content-Length: \"99999999999999999999\""},
      {"different values", "HTTP/1.1 200 OK\r\nContent-Length: 6\r\nContent-Length: 7\r\n\r\nabcdef", "",
       "Invalid Content-Length: \"6, 7\""},
      {"chunked last", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" + Chunked, "hello", ""},
      {"a coding named like chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: notchunked\r\n\r\n" + Chunked,
       Chunked, ""},
      {"chunked not last", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n" + Chunked, Chunked,
       ""},
      {"HTTP/2 status line", "HTTP/2 200 OK\r\nContent-Length: 2\r\n\r\nok", "",
       "Invalid status line: \"HTTP/2 200 OK\""},
      {"no HTTP at all", "ICY 200 OK\r\n\r\nok", "", "Invalid status line: \"ICY 200 OK\""},
      {"a four-digit code", "HTTP/1.1 2000 OK\r\n\r\nok", "", "Invalid status line: \"HTTP/1.1 2000 OK\""},
      {"a two-digit code", "HTTP/1.1 20 OK\r\n\r\nok", "", "Invalid status line: \"HTTP/1.1 20 OK\""},
      {"no reason", "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", "ok", ""},
      {"interim 100 102 103 104",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n"
       "HTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\nHTTP/1.1 104 Upload\r\n\r\n"
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       "ok", ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    // The server says nothing more and keeps the connection open unless
    // the answer is read until it closes: a client that waits for more than
    // the answer holds hits the guard time-out instead of passing.
    const bool UntilClose = Case.Body == Chunked;
    ScriptedServer Server(ScriptedServer::Replay(
        std::vector<ScriptedAnswer>{{.Bytes = Case.Answer, .CloseAfter = UntilClose, .Stall = !UntilClose}}));
    TIdHTTP Client;
    Client.ReadTimeout = 2000;
    TMemoryStream Body;
    try {
      Client.Get(Server.Url(), Body);
      EXPECT_TRUE(Case.Error.empty()) << "succeeded with " << Body.Bytes();
      EXPECT_EQ(Body.Bytes(), Case.Body);
    } catch (const EIdHTTPBadResponse& E) {
      EXPECT_EQ(E.what(), Case.Error);
      EXPECT_FALSE(Client.Connected());
    }
  }
}

TEST(HostileServer, InterimAnswersAreBoundedPerRequest)
{
  std::string Ten;
  for (int I = 0; I < 10; ++I)
    Ten += "HTTP/1.1 102 Processing\r\n\r\n";
  const std::string Final = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  ScriptedServer Server(
      ScriptedServer::Replay({Ten + Final, Ten + "HTTP/1.1 103 Early Hints\r\n\r\n" + Final}));
  TIdHTTP Client;
  EXPECT_EQ(Client.Get(Server.Url()), "ok");
  try {
    Client.Get(Server.Url());
    FAIL() << "an eleventh interim answer was skipped";
  } catch (const EIdHTTPBadResponse& E) {
    EXPECT_STREQ(E.what(), "More than 10 interim answers to one request");
  }
}

// A kept-alive connection the server closed as the next request came: sent
// again once on a new connection, but only when no byte of the answer came
// and only on a reused connection.
TEST(HostileServer, AGetOnAConnectionTheServerDroppedIsSentAgainOnce)
{
  const std::string One = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none";
  const std::string Two = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo";
  struct TCase {
    const char* Name;
    std::vector<ScriptedAnswer> Answers;
    bool Succeeds;
    std::size_t Requests;
  };
  const TCase Cases[] = {
      {"dropped before the answer", {{One}, {.DropRequest = true}, {Two}}, true, 3},
      {"dropped twice", {{One}, {.DropRequest = true}, {.DropRequest = true}, {Two}}, false, 3},
      {"dropped after part of the answer",
       {{One}, {.Bytes = "HTTP/1.1 200 OK\r\n", .CloseAfter = true}, {Two}},
       false,
       2},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(Case.Answers));
    TIdHTTP Client;
    EXPECT_EQ(Client.Get(Server.Url("/1")), "one");
    if (Case.Succeeds) {
      EXPECT_EQ(Client.Get(Server.Url("/2")), "two");
    } else {
      EXPECT_THROW(Client.Get(Server.Url("/2")), EIdException);
    }
    EXPECT_EQ(Server.Requests().size(), Case.Requests);
  }
  // A new connection that fails is not tried again.
  ScriptedServer Dropping(ScriptedServer::Replay(std::vector<ScriptedAnswer>{{.DropRequest = true}, {Two}}));
  TIdHTTP Client;
  EXPECT_THROW(Client.Get(Dropping.Url()), EIdConnClosedGracefully);
  EXPECT_EQ(Dropping.Requests().size(), 1u);
}

// A 3xx that names no "Location" ends the request with its own status,
// after one request; it is not asked again until the redirect limit.
TEST(HostileServer, ARedirectWithoutLocationFailsWithItsStatus)
{
  for (const char* Status : {"300 Multiple Choices", "301 Moved Permanently", "302 Found", "303 See Other",
                             "307 Temporary Redirect", "308 Permanent Redirect"}) {
    SCOPED_TRACE(Status);
    ScriptedServer Server(ScriptedServer::Replay(
        {std::string("HTTP/1.1 ") + Status + "\r\nContent-Length: 4\r\n\r\ngone", Head100}));
    TIdHTTP Client;
    Client.HandleRedirects = true;
    Client.ReadTimeout = 2000;
    try {
      Client.Get(Server.Url());
      FAIL() << "succeeded";
    } catch (const EIdHTTPProtocolException& E) {
      EXPECT_EQ(E.what(), std::string("HTTP/1.1 ") + Status);
      EXPECT_EQ(E.ErrorMessage(), "gone");
    }
    EXPECT_EQ(Server.Requests().size(), 1u);
  }
}

// RFC 9112 2.2: one empty line before a status line is skipped, whether it
// came with the previous answer or ahead of the next; two are no answer.
TEST(HostileServer, OneEmptyLineBeforeAStatusLineIsSkipped)
{
  const std::string One = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none";
  const std::string Two = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo";
  struct TCase {
    const char* Name;
    std::vector<std::string> Answers;
    std::string Error; // "" when the second request succeeds
    int Connections;
  };
  const TCase Cases[] = {
      {"CR LF after the body", {One + "\r\n", Two}, "", 1},
      {"LF after the body", {One + "\n", Two}, "", 1},
      {"CR LF ahead of the next answer", {One, "\r\n" + Two}, "", 1},
      {"two empty lines ahead", {One, "\r\n\r\n" + Two}, "Invalid status line: \"\"", 1},
      {"other bytes after the body", {One + "xx\r\n", Two}, "", 2},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(Case.Answers));
    TIdHTTP Client;
    Client.ReadTimeout = 2000;
    EXPECT_EQ(Client.Get(Server.Url("/1")), "one");
    // The stray bytes of the first answer are in before the next request.
    ASSERT_TRUE(WaitUntil([&] {
      Client.PollForClose(false, 0);
      return Client.InputBufferSize() > 0 || Case.Answers[0] == One;
    }));
    try {
      EXPECT_EQ(Client.Get(Server.Url("/2")), "two");
      EXPECT_TRUE(Case.Error.empty());
    } catch (const EIdHTTPBadResponse& E) {
      EXPECT_EQ(E.what(), Case.Error);
    }
    EXPECT_EQ(Server.ConnectionCount(), Case.Connections);
  }
}

// Numbers and dates in headers are read without overflow; what the clock
// cannot hold is unreadable.
TEST(HostileServer, HeaderNumbersOutOfRangeAreUnreadable)
{
  for (const char* Expires : {"10000000000", "-10000000000", "9223372036854775807", "-9223372036854775808"}) {
    TIdHTTPResponse R;
    R.RawHeaders.Add(std::string("Expires: ") + Expires);
    R.ProcessHeaders();
    EXPECT_FALSE(R.Expires) << Expires;
  }
  TIdHTTPResponse R;
  R.RawHeaders.Add("Expires: 86400");
  R.ProcessHeaders();
  EXPECT_TRUE(R.Expires);
}

} // namespace
} // namespace quenloft

// The client against a scripted loopback server: real sockets, answers cut,
// delayed and closed at chosen places, and the requests the server saw.
#include "http/ClientSettings.h"
#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedAnswer;
using testing::ScriptedConnection;
using testing::ScriptedServer;

std::string Ok(const std::string& Body, const std::string& Headers = {})
{
  return "HTTP/1.1 200 OK\r\n" + Headers + "Content-Length: " + std::to_string(Body.size()) + "\r\n\r\n" +
         Body;
}

std::string Redirect(const std::string& Location, const std::string& Headers = {})
{
  return "HTTP/1.1 302 Found\r\n" + Headers + "Location: " + Location + "\r\nContent-Length: 0\r\n\r\n";
}

// The request line of a recorded request head.
std::string RequestLine(const std::string& Head)
{
  return Head.substr(0, Head.find("\r\n"));
}

class ClientTest : public ::testing::Test {
protected:
  ClientTest() { ApplyProgramClientSettings(Client); }
  TIdHTTP Client;
};

TEST_F(ClientTest, KeepsOneConnectionForSeveralRequests)
{
  ScriptedServer Server(ScriptedServer::Replay({Ok("one"), Ok("two"), Ok("three")}));
  EXPECT_EQ(Client.Get(Server.Url("/1")), "one");
  EXPECT_EQ(Client.Get(Server.Url("/2")), "two");
  EXPECT_EQ(Client.Get(Server.Url("/3")), "three");
  EXPECT_EQ(Server.ConnectionCount(), 1);
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 3u);
  EXPECT_EQ(Requests[2],
            "GET /3 HTTP/1.1\r\nContent-Type: text/html\r\nHost: 127.0.0.1:" + std::to_string(Server.Port()) +
                "\r\nAccept: text/html, */*\r\n"
                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows 98; Maxthon)\r\n\r\n");
}

TEST_F(ClientTest, SkipsInterimHeadsThatArriveSeparately)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.ReadRequest();
    C.Send("HTTP/1.1 100 Continue\r\n\r\n");
    C.Sleep(30ms);
    C.Send("HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\n");
    C.Sleep(30ms);
    C.Send(Ok("final"));
    C.WaitForPeerClose(1s);
  });
  EXPECT_EQ(Client.Get(Server.Url()), "final");
  EXPECT_EQ(Client.Response().ResponseCode(), 200);
}

TEST_F(ClientTest, ChunkedBodiesArrivingSlowly)
{
  const std::string Chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                              "4\r\nWiki\r\n5;ext=1\r\npedia\r\nE ;ext\r\n in\r\n\r\nchunks.\r\n0\r\n\r\n";
  ScriptedServer Server([&](ScriptedConnection& C) {
    while (!C.ReadRequest().empty())
      C.SendSlowly(Chunked, 7, 2ms);
  });
  std::vector<std::int32_t> Begins;
  Client.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int32_t Max) { Begins.push_back(Max); };
  EXPECT_EQ(Client.Get(Server.Url()), "Wikipedia in\r\n\r\nchunks.");
  EXPECT_EQ(Begins, (std::vector<std::int32_t>{4, 5, 14}));
  EXPECT_EQ(Client.Get(Server.Url()), "Wikipedia in\r\n\r\nchunks.");
  EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(ClientTest, ASizedBodyCutShortFailsAndKeepsItsBytes)
{
  const std::string Part(100000, 'p');
  ScriptedServer Server([&](ScriptedConnection& C) {
    C.ReadRequest();
    C.Send("HTTP/1.1 200 OK\r\nContent-Length: 250000\r\n\r\n" + Part);
    C.Sleep(50ms);
    C.Send(Part.substr(0, 12345));
  });
  TMemoryStream Stream;
  try {
    Client.Get(Server.Url(), Stream);
    FAIL() << "a cut body was taken as complete";
  } catch (const EIdConnClosedGracefully& E) {
    EXPECT_STREQ(E.what(), "Connection Closed Gracefully.");
  }
  EXPECT_EQ(Stream.Size(), 112345);
  EXPECT_EQ(Stream.Bytes(), Part + Part.substr(0, 12345));
}

TEST_F(ClientTest, ABodyWithoutLengthIsReadUntilTheServerCloses)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.ReadRequest();
    C.Send("HTTP/1.1 200 OK\r\n\r\nfirst ");
    C.Sleep(30ms);
    C.Send("second");
  });
  std::vector<std::int32_t> Begins;
  Client.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int32_t Max) { Begins.push_back(Max); };
  EXPECT_EQ(Client.Get(Server.Url()), "first second");
  EXPECT_EQ(Begins, std::vector<std::int32_t>{0});
  EXPECT_FALSE(Client.Connected());
}

TEST_F(ClientTest, ACloseDuringTheHeadIsAnUndefinedSituation)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.ReadRequest();
    C.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nServer: half");
  });
  try {
    Client.Get(Server.Url());
    FAIL();
  } catch (const EIdException& E) {
    EXPECT_STREQ(E.what(), "Undefined situation");
  }
  // A close before the status line is the plain close.
  ScriptedServer Silent([](ScriptedConnection& C) { C.ReadRequest(); });
  try {
    Client.Get(Silent.Url());
    FAIL();
  } catch (const EIdConnClosedGracefully& E) {
    EXPECT_STREQ(E.what(), "Connection Closed Gracefully.");
  }
}

TEST_F(ClientTest, FollowsFourteenRedirectsAndFailsOnTheFifteenth)
{
  std::vector<std::string> Answers;
  for (int I = 1; I <= 14; ++I)
    Answers.push_back(Redirect("/r" + std::to_string(I)));
  Answers.push_back(Ok("end"));
  ScriptedServer Fourteen(ScriptedServer::Replay(Answers));
  EXPECT_EQ(Client.Get(Fourteen.Url("/r0")), "end");
  EXPECT_EQ(Fourteen.Requests().size(), 15u);
  EXPECT_EQ(Fourteen.ConnectionCount(), 1);

  Answers.back() = Redirect("/r15");
  Answers.push_back(Ok("never"));
  ScriptedServer Fifteen(ScriptedServer::Replay(Answers));
  TMemoryStream Stream;
  try {
    Client.Get(Fifteen.Url("/r0"), Stream);
    FAIL() << "the redirect chain ended as a success";
  } catch (const EIdException& E) {
    EXPECT_STREQ(E.what(), "Too many redirects: the limit of 15 was reached");
  }
  EXPECT_EQ(Fifteen.Requests().size(), 15u);
  EXPECT_EQ(Stream.Size(), 0);
}

// A work-event handler that raises while a redirect's body is read and
// dropped ends the request: the caller's cancel is not swallowed with the
// read errors that the redirect ignores.
TEST_F(ClientTest, ACancelDuringARedirectBodyEndsTheRequest)
{
  ScriptedServer Server(ScriptedServer::Replay(
      std::vector<std::string>{"HTTP/1.1 302 Found\r\nLocation: /final\r\nContent-Length: 5\r\n\r\nmoved",
                               "HTTP/1.1 204 No Content\r\n\r\n"}));
  Client.OnWork = [](TIdComponent&, TWorkMode, std::int32_t) { throw Exception("User Cancel"); };
  TMemoryStream Stream;
  try {
    Client.Get(Server.Url("/start"), Stream);
    FAIL() << "the cancel was swallowed";
  } catch (const EIdException& E) {
    FAIL() << "the cancel came out as a transfer error: " << E.what();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "User Cancel");
  }
  EXPECT_EQ(Server.Requests().size(), 1u);
}

TEST_F(ClientTest, ResolvesRelativeLocations)
{
  ScriptedServer Server(ScriptedServer::Replay(
      {Redirect("name.swf"), Redirect("../up/x.swf"), Redirect("..b/w.swf"), Redirect("/root/./y.swf"),
       "HTTP/1.1 200 OK\r\nLocation: z.swf\r\nContent-Length: 7\r\n\r\ndropped", Ok("done")}));
  EXPECT_EQ(Client.Get(Server.Url("/a/b/start.html")), "done");
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 6u);
  // Each "Location" resolves against the address that answered with it.
  const char* const Expected[] = {"GET /a/b/start.html HTTP/1.1", "GET /a/b/name.swf HTTP/1.1",
                                  "GET /a/up/x.swf HTTP/1.1",     "GET /a/up/..b/w.swf HTTP/1.1",
                                  "GET /root/y.swf HTTP/1.1",     "GET /root/z.swf HTTP/1.1"};
  for (std::size_t I = 0; I < Requests.size(); ++I)
    EXPECT_EQ(RequestLine(Requests[I]), Expected[I]) << I;
  EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(ClientTest, StatusAnswersWithoutBodyOrWithAnError)
{
  ScriptedServer Server(
      ScriptedServer::Replay({"HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 304 Not Modified\r\n\r\n",
                              "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here.", Ok("after")}));
  EXPECT_EQ(Client.Get(Server.Url("/empty")), "");
  try {
    Client.Get(Server.Url("/cached"));
    FAIL();
  } catch (const EIdHTTPProtocolException& E) {
    EXPECT_STREQ(E.what(), "HTTP/1.1 304 Not Modified");
    EXPECT_EQ(E.ErrorCode(), 304);
  }
  try {
    Client.Get(Server.Url("/missing"));
    FAIL();
  } catch (const EIdHTTPProtocolException& E) {
    EXPECT_STREQ(E.what(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(E.ErrorCode(), 404);
    EXPECT_EQ(E.ErrorMessage(), "not here.");
  }
  // The error's body was read to its end: the connection goes on.
  EXPECT_EQ(Client.Get(Server.Url("/after")), "after");
  EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(ClientTest, AnInterimAnswerArrivingAloneIsSkippedForTheLateFinalOne)
{
  // The final answer to /first comes late; it is still /first's, and the
  // connection goes on.
  ScriptedServer Server([](ScriptedConnection& C) {
    for (std::string Request = C.ReadRequest(); !Request.empty(); Request = C.ReadRequest()) {
      if (RequestLine(Request) == "GET /first HTTP/1.1") {
        C.Send("HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n");
        C.Sleep(300ms);
        C.Send(Ok("late final"));
      } else {
        C.Send(Ok("second"));
      }
    }
  });
  EXPECT_EQ(Client.Get(Server.Url("/first")), "late final");
  EXPECT_EQ(Client.Get(Server.Url("/second")), "second");
  EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(ClientTest, AnErrorBodyThatStallsEndsInReadTimeout)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.ReadRequest();
    C.Send("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\npartial");
    C.WaitForPeerClose(4s);
  });
  const int ReadTimeoutBefore = Client.ReadTimeout;
  const auto Start = std::chrono::steady_clock::now();
  try {
    Client.Get(Server.Url());
    FAIL();
  } catch (const EIdReadTimeout& E) {
    EXPECT_STREQ(E.what(), "Read timed out after 2 s");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - Start, 1900ms);
  EXPECT_EQ(Client.ReadTimeout, ReadTimeoutBefore) << "restored";
}

TEST_F(ClientTest, A401DoesNotLeaveCredentialsBehind)
{
  ScriptedServer Server(ScriptedServer::Replay(
      {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: 4\r\n\r\ndeny",
       Ok("open")}));
  EXPECT_THROW(Client.Get(Server.Url("/private")), EIdHTTPProtocolException);
  EXPECT_EQ(Client.Get(Server.Url("/public")), "open");
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_EQ(Requests[1].find("Authorization"), std::string::npos) << Requests[1];
}

TEST_F(ClientTest, CookiesSetOnARedirectGoWithTheFollowedRequest)
{
  ScriptedServer Server(ScriptedServer::Replay(
      {Redirect("/in/page", "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; path=/in/\r\n"), Ok("page")}));
  EXPECT_EQ(Client.Get(Server.Url("/login")), "page");
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_NE(Requests[1].find("\r\nCookie: b=2; a=1\r\n"), std::string::npos) << Requests[1];
}

TEST_F(ClientTest, OverLongAndTooManyHeaderLines)
{
  const std::string Fits = "X: " + std::string(16383 - 3, 'f');    // 16383 characters and CR LF
  const std::string TooLong = "X: " + std::string(16384 - 3, 'l'); // 16384 characters and CR LF
  std::string Many;
  for (int I = 0; I < 300; ++I)
    Many += "X-" + std::to_string(I) + ": many\r\n";
  ScriptedServer Server(
      ScriptedServer::Replay({Ok("fits", Fits + "\r\n"), Ok("long", TooLong + "\r\n"), Ok("many", Many)}));
  EXPECT_EQ(Client.Get(Server.Url()), "fits");
  try {
    Client.Get(Server.Url());
    FAIL();
  } catch (const EIdReadLnMaxLineLengthExceeded& E) {
    EXPECT_STREQ(E.what(), "Max line length exceeded.");
  }
  try {
    Client.Get(Server.Url());
    FAIL();
  } catch (const EIdHTTPHeaderTooLarge& E) {
    EXPECT_STREQ(E.what(), "Response header too large: more than 256 lines");
  }
  // Each failure closed its connection.
  EXPECT_EQ(Server.ConnectionCount(), 2);
}

TEST_F(ClientTest, AStalledServerHitsTheReadTimeout)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.ReadRequest();
    C.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    C.WaitForPeerClose(3s);
  });
  Client.ReadTimeout = 300;
  TMemoryStream Stream;
  EXPECT_THROW(Client.Get(Server.Url(), Stream), EIdReadTimeout);
  EXPECT_EQ(Stream.Bytes(), "abc");
  EXPECT_FALSE(Client.Connected());
}

TEST_F(ClientTest, ACancelFromOnWorkClosesTheConnectionForTheNextRequest)
{
  const std::string Big(300000, 'B');
  ScriptedServer Server([&](ScriptedConnection& C) {
    while (!C.ReadRequest().empty())
      C.Send(Ok(Big));
  });
  Client.OnWork = [](TIdComponent&, TWorkMode, std::int32_t Count) {
    if (Count >= 1000)
      throw Exception("User Cancel");
  };
  try {
    Client.Get(Server.Url("/cancelled"));
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "User Cancel");
  }
  Client.OnWork = nullptr;
  EXPECT_EQ(Client.Get(Server.Url("/next")), Big);
  EXPECT_EQ(Server.ConnectionCount(), 2);
}

TEST_F(ClientTest, ANonStandardPortDoesNotCarryOverToAnotherHost)
{
  ScriptedServer Server(ScriptedServer::Replay({Ok("a"), Ok("b")}));
  EXPECT_EQ(Client.Get(Server.Url("/a")), "a");
  // Another host name for the same address, and no port: the scheme's
  // default port, not the one of the request before.
  Client.ReadTimeout = 2000;
  try {
    Client.Get("http://localhost/b");
  } catch (const EIdException&) {
    // Nothing of ours listens on port 80.
  }
  EXPECT_EQ(Client.Host, "localhost");
  EXPECT_EQ(Client.Port, 80);
  EXPECT_EQ(Server.Requests().size(), 1u);
  EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(ClientTest, APortOutsideSixteenBitsIsRefusedNotWrapped)
{
  ScriptedServer Server(ScriptedServer::Replay({Ok("wrong service")}));
  // The server's port plus 65536 must not reach the server's port.
  for (const std::string& Port : {std::to_string(Server.Port() + 65536), std::string("0")}) {
    try {
      Client.Get("http://127.0.0.1:" + Port + "/");
      ADD_FAILURE() << "port " << Port << " was connected";
    } catch (const EIdSocketError& E) {
      EXPECT_EQ(E.LastError(), 10049);
      EXPECT_STREQ(E.what(), "Socket Error # 10049\r\nCannot assign requested address.");
    }
  }
  EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(ClientTest, HttpsToAServerWithoutTLSFailsBeforeAnyRequest)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.ReadRequest(1s);
    C.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  });
  EXPECT_THROW(Client.Get("https://127.0.0.1:" + std::to_string(Server.Port()) + "/"), EIdTLSError);
  EXPECT_TRUE(Server.Requests().empty());
}

} // namespace
} // namespace quenloft

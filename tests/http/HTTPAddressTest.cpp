// Which host, port and request line an address gives: the client against
// scripted loopback servers, with 127.0.0.2 standing in for another host
// and ::1 for IPv6 where the loopback has it.
#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "http/IdIOHandlerSocket.h"
#include "scan/SWFLinks.h"
#include "scan/URLUtils.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>

namespace quenloft {
namespace {

using testing::ScriptedServer;

std::string Ok(const std::string& Body)
{
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
}

std::string Redirect(const std::string& Location)
{
  return "HTTP/1.1 302 Found\r\nLocation: " + Location + "\r\nContent-Length: 0\r\n\r\n";
}

std::string RequestLine(const std::string& Head)
{
  return Head.substr(0, Head.find("\r\n"));
}

std::string HostHeader(const std::string& Head)
{
  const std::size_t at = Head.find("\r\nHost: ");
  if (at == std::string::npos)
    return {};
  const std::size_t from = at + 8;
  return Head.substr(from, Head.find("\r\n", from) - from);
}

// A server on another loopback address, or none when it cannot listen there.
std::unique_ptr<ScriptedServer> TryServer(ScriptedServer::Script Script, const std::string& Address,
                                          int Port = 0)
{
  try {
    return std::make_unique<ScriptedServer>(std::move(Script), Address, Port);
  } catch (const std::runtime_error&) {
    return nullptr;
  }
}

class AddressTest : public ::testing::Test {
protected:
  AddressTest()
  {
    Client.HandleRedirects = true;
    // A port nobody answers on must not hold a case for long.
    Client.ReadTimeout = 2000;
  }
  TIdHTTP Client;
};

TEST_F(AddressTest, EachAddressGoesToItsOwnHostAndPort)
{
  const std::vector<std::string> Answers(6, Ok("x"));
  ScriptedServer Page(ScriptedServer::Replay(Answers));
  const std::string P = std::to_string(Page.Port());
  // The other host listens on the page's port number: a request that wrongly
  // keeps the page's port reaches it.
  auto Other = TryServer(ScriptedServer::Replay(Answers), "127.0.0.2", Page.Port());
  if (!Other)
    GTEST_SKIP() << "cannot listen on 127.0.0.2:" << P;

  struct Case {
    std::string URL;
    std::string Host; // where the client connected
    int Port;
    ScriptedServer* Server; // who must see the request (null: neither)
    std::string HostHeader;
  };
  const Case Cases[] = {
      {Page.Url("/index.html"), "127.0.0.1", Page.Port(), &Page, "127.0.0.1:" + P},
      // No port named: the scheme's default, not the page's port.
      {"http://127.0.0.2/x.swf", "127.0.0.2", 80, nullptr, ""},
      {"http://127.0.0.2:" + P + "/y.swf", "127.0.0.2", Page.Port(), Other.get(), "127.0.0.2:" + P},
      // A relative address stays on the host and port in use.
      {"/z.swf", "127.0.0.2", Page.Port(), Other.get(), "127.0.0.2:" + P},
      // A network-path reference names its host and port.
      {"//127.0.0.1:" + P + "/w.swf", "127.0.0.1", Page.Port(), &Page, "127.0.0.1:" + P},
      {"https://127.0.0.2/s.swf", "127.0.0.2", 443, nullptr, ""},
      {"http://127.0.0.2:0080/v.swf", "127.0.0.2", 80, nullptr, ""},
  };
  std::size_t SeenByPage = 0;
  std::size_t SeenByOther = 0;
  for (const Case& C : Cases) {
    try {
      Client.Get(C.URL);
    } catch (const std::exception&) {
      // Nothing listens on 80 or 443 here, or whatever does is not ours.
    }
    EXPECT_EQ(Client.Host, C.Host) << C.URL;
    EXPECT_EQ(Client.Port, C.Port) << C.URL;
    SeenByPage += C.Server == &Page;
    SeenByOther += C.Server == Other.get();
    ASSERT_EQ(Page.Requests().size(), SeenByPage) << C.URL;
    ASSERT_EQ(Other->Requests().size(), SeenByOther) << C.URL;
    if (C.Server) {
      EXPECT_EQ(HostHeader(C.Server->Requests().back()), C.HostHeader) << C.URL;
    }
  }
}

TEST_F(AddressTest, RequestLinesCarryTheQueryAndNeverTheFragment)
{
  ScriptedServer Server(ScriptedServer::Replay(std::vector<std::string>(6, Ok("x"))));
  const std::string Root = Server.Url("");
  struct Case {
    std::string URL;
    const char* Target;
  };
  const Case Cases[] = {
      // A typed movie address and a link of a player page, as the worker
      // hands them over.
      {EncodeURL(Root + "/m.swf?v=3#top"), "/m.swf?v=3"},
      {EncodeURL(MakeAbsolute(Root + "/dir/", "player.php?file=m/clip.swf")),
       "/dir/player.php?file=m/clip.swf"},
      // Unencoded text is encoded by the client itself.
      {Root + "/a b.swf?q=x y&r=a?b#frag ment", "/a%20b.swf?q=x%20y&r=a?b"},
      {Root + "/line\nbreak\r.swf", "/line%0Abreak%0D.swf"},
      {Root + "/caf\xC3\xA9.swf", "/caf%C3%A9.swf"},
      {Root + "?q", "/?q"},
  };
  for (const Case& C : Cases)
    EXPECT_NO_THROW(Client.Get(C.URL)) << C.URL;
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), std::size(Cases));
  for (std::size_t I = 0; I < Requests.size(); ++I)
    EXPECT_EQ(RequestLine(Requests[I]), "GET " + std::string(Cases[I].Target) + " HTTP/1.1") << Cases[I].URL;
}

TEST_F(AddressTest, RedirectsAreParsedByShapeAndEncoded)
{
  struct Case {
    const char* Location;
    const char* Target; // of the request that follows it, on the same server
  };
  const Case Cases[] = {
      {"/a\rX-Injected: yes", "/a%0DX-Injected:%20yes"},
      {"/c\x01\x7F\x1B]0;title\x07.swf", "/c%01%7F%1B]0%3Btitle%07.swf"},
      {"/sp ace/x.swf", "/sp%20ace/x.swf"},
      // "://" and "@" in a query are query bytes: the host stays.
      {"/go?u=http://example.org/x", "/go?u=http://example.org/x"},
      {"/x?who=a@127.0.0.2:1", "/x?who=a@127.0.0.2:1"},
      {"next.swf#part", "/dir/next.swf"},
      {"../up.swf?a=1#b", "/up.swf?a=1"},
  };
  for (const Case& C : Cases) {
    ScriptedServer Server(ScriptedServer::Replay({Redirect(C.Location), Ok("moved")}));
    TIdHTTP Fresh;
    Fresh.HandleRedirects = true;
    EXPECT_EQ(Fresh.Get(Server.Url("/dir/page.html")), "moved") << C.Location;
    const auto Requests = Server.Requests();
    ASSERT_EQ(Requests.size(), 2u) << C.Location;
    EXPECT_EQ(RequestLine(Requests[1]), "GET " + std::string(C.Target) + " HTTP/1.1") << C.Location;
    EXPECT_EQ(HostHeader(Requests[1]), "127.0.0.1:" + std::to_string(Server.Port())) << C.Location;
  }
}

TEST_F(AddressTest, AddressesThatCannotBeReadOrFetchedFailBeforeAnyRequest)
{
  struct Case {
    std::string Location;
    std::string Message;
  };
  const Case Cases[] = {
      {"http://bad host/x.swf", "Cannot read the address: the host \"bad host\" holds the byte 0x20, "
                                "which no host name holds"},
      {"http://h\rX-Injected: 1/x.swf", "Cannot read the address: the host \"h\\x0dX-Injected\" holds "
                                        "the byte 0x0D, which no host name holds"},
      {"http://[::1/x.swf", "Cannot read the address: the host \"[::1\" is not an IPv6 address in brackets"},
      {"http://[127.0.0.1]/x.swf",
       "Cannot read the address: the host \"[127.0.0.1]\" is not an IPv6 address in brackets"},
      {"http://u\x1bser@127.0.0.1/", "Cannot read the address: the user information holds the control "
                                     "byte 0x1B"},
      {"ftp://127.0.0.1/x.swf", "unsupported address scheme 'ftp'"},
      {"FILE:///etc/passwd", "unsupported address scheme 'FILE'"},
      {"mailto:movies@127.0.0.1", "unsupported address scheme 'mailto'"},
      {"javascript:play('x.swf')", "unsupported address scheme 'javascript'"},
      {"data:application/x-shockwave-flash;base64,RldT", "unsupported address scheme 'data'"},
      {"https:x.swf", "Cannot read the address: it names no host"},
  };
  for (const Case& C : Cases) {
    ScriptedServer Server(ScriptedServer::Replay({Redirect(C.Location), Ok("wrong")}));
    TIdHTTP Fresh;
    Fresh.HandleRedirects = true;
    try {
      Fresh.Get(Server.Url("/page.html"));
      ADD_FAILURE() << "followed " << C.Location;
    } catch (const EIdException& E) {
      EXPECT_EQ(E.what(), C.Message) << C.Location;
    }
    // The same text fails a typed address too.
    EXPECT_THROW(Fresh.Get(C.Location), EIdException) << C.Location;
    EXPECT_EQ(Server.Requests().size(), 1u) << C.Location;
  }
}

TEST_F(AddressTest, DottedQuadsAreReadAsDecimal)
{
  auto Server = TryServer(ScriptedServer::Replay(std::vector<std::string>(3, Ok("here"))), "127.0.0.2");
  if (!Server)
    GTEST_SKIP() << "cannot listen on 127.0.0.2";
  const std::string P = std::to_string(Server->Port());
  // Leading zeros change nothing; read as octal, 0127 would be 87 and 010
  // would be 8. Before, such an address went unconverted to 0.0.0.0, which
  // is this machine.
  for (const std::string Host : {"127.0.0.002", "0127.000.0.2", "127.0.0.0002"}) {
    EXPECT_EQ(Client.Get("http://" + Host + ":" + P + "/"), "here") << Host;
    EXPECT_EQ(Client.Host, Host);
  }
  // Other text of digits and dots is not left to the C library's reading.
  for (const std::string Host : {"127.2", "2130706434", "0177.0.0.2.", "127.0.0.256"}) {
    try {
      Client.Get("http://" + Host + ":" + P + "/");
      ADD_FAILURE() << Host << " was connected";
    } catch (const EIdSocketError& E) {
      EXPECT_EQ(E.LastError(), 11001) << Host;
    }
  }
  EXPECT_EQ(Server->Requests().size(), 3u);
}

TEST_F(AddressTest, IPv6LiteralsKeepTheirBracketsInTheHostHeader)
{
  auto Server = TryServer(ScriptedServer::Replay({Ok("six"), Ok("six")}), "::1");
  if (!Server)
    GTEST_SKIP() << "no IPv6 on the loopback";
  const std::string P = std::to_string(Server->Port());
  EXPECT_EQ(Client.Get("http://[::1]:" + P + "/x.swf"), "six");
  EXPECT_EQ(Client.Get("http://[0:0:0:0:0:0:0:1]:" + P + "/y.swf"), "six");
  auto Requests = Server->Requests();
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_EQ(RequestLine(Requests[0]), "GET /x.swf HTTP/1.1");
  EXPECT_EQ(HostHeader(Requests[0]), "[::1]:" + P);
  EXPECT_EQ(HostHeader(Requests[1]), "[0:0:0:0:0:0:0:1]:" + P);
  EXPECT_EQ(Client.IOHandler() ? Client.IOHandler()->PeerIP() : "", "::1");
}

TEST_F(AddressTest, NamesResolveToIPv6Too)
{
  auto Server = TryServer(ScriptedServer::Replay({Ok("six")}), "::1");
  if (!Server)
    GTEST_SKIP() << "no IPv6 on the loopback";
  const std::string P = std::to_string(Server->Port());
  // A name whose only address is ::1, where the system has one.
  std::optional<std::string> Name;
  for (const char* Candidate : {"ip6-localhost", "ip6-loopback", "localhost6"}) {
    addrinfo Hints{};
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* List = nullptr;
    if (getaddrinfo(Candidate, nullptr, &Hints, &List) != 0)
      continue;
    const bool OnlyV6 = List->ai_family == AF_INET6 && List->ai_next == nullptr;
    freeaddrinfo(List);
    if (OnlyV6) {
      Name = Candidate;
      break;
    }
  }
  if (!Name)
    GTEST_SKIP() << "no host name of ::1 on this system";
  EXPECT_EQ(Client.Get("http://" + *Name + ":" + P + "/z.swf"), "six");
  EXPECT_EQ(HostHeader(Server->Requests().back()), *Name + ":" + P);
}

} // namespace
} // namespace quenloft

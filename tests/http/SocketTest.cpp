// The connection over real loopback sockets: connect errors and their exact
// messages, name resolution, time-outs, closes by the peer in the middle of
// a line or a body, reads until the close, and close detection by polling.
#include "http/IdAbortSignal.h"
#include "http/IdException.h"
#include "http/IdIOHandlerSocket.h"
#include "http/IdTCPConnection.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedConnection;
using testing::ScriptedServer;

// A loopback port that nothing listens on (bound once, then released).
int UnusedPort()
{
  const int Socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address));
  socklen_t Length = sizeof(Address);
  ::getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length);
  ::close(Socket);
  return ntohs(Address.sin_port);
}

std::string Pattern(std::size_t Length)
{
  std::string Bytes(Length, '\0');
  for (std::size_t I = 0; I < Length; ++I) {
    Bytes[I] = static_cast<char>((I * 7 + (I >> 11)) & 0xFF);
  }
  return Bytes;
}

struct TStatusLog {
  std::vector<std::string> Texts;
  void Attach(TIdComponent& Component)
  {
    Component.OnStatus = [this](TIdComponent&, TIdStatus, const std::string& Text) { Texts.push_back(Text); };
  }
};

// Connects Client to a loopback server with a 2-second read time-out, so a
// test that goes wrong fails instead of waiting.
void ConnectTo(TIdTCPClient& Client, int Port)
{
  Client.Host = "127.0.0.1";
  Client.Port = Port;
  Client.ReadTimeout = 2000;
  Client.Connect();
}

TEST(Socket, LiteralAddresses)
{
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("localhost"), "127.0.0.1");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("LocalHost"), "127.0.0.1");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("LOCALHOST"), "127.0.0.1");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("10.0.255.1"), "10.0.255.1");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("localhost.example"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("256.1.1.1"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("1.2.3"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("1.2.3.4."), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("1..3.4"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("1.2.3.4.5"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("a.b.c.d"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4(""), "");
  // Each part is decimal, leading zeros and all: never octal.
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("010.0.0.1"), "10.0.0.1");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("0127.000.0.0001"), "127.0.0.1");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("1.2.3.0256"), "");
  EXPECT_EQ(TIdIOHandlerSocket::LiteralIPv4("1.2.3.99999999999999999999"), "");
}

TEST(Socket, RefusedConnectionThenASuccessfulOne)
{
  TIdTCPClient Client;
  TStatusLog Status;
  Status.Attach(Client);
  Client.Host = "127.0.0.1";
  Client.Port = UnusedPort();
  try {
    Client.Connect();
    ADD_FAILURE() << "connected to a closed port";
  } catch (const EIdSocketError& E) {
    EXPECT_EQ(E.LastError(), 10061);
    EXPECT_STREQ(E.what(), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_FALSE(Client.Connected());
  EXPECT_EQ(Status.Texts, std::vector<std::string>{"Connecting to 127.0.0.1."})
      << "a dotted quad is not resolved";

  // The same client connects afterwards ("localhost" in any case, no lookup).
  ScriptedServer Server([](ScriptedConnection& C) { C.Send("hello\r\n"); });
  Status.Texts.clear();
  Client.Host = "LocalHost";
  Client.Port = Server.Port();
  Client.Connect();
  EXPECT_TRUE(Client.Connected());
  EXPECT_EQ(Client.IOHandler()->PeerIP(), "127.0.0.1");
  EXPECT_EQ(Client.ReadLn(), "hello");
  EXPECT_EQ(Status.Texts, (std::vector<std::string>{"Resolving hostname LocalHost.",
                                                    "Connecting to 127.0.0.1.", "Connected."}));
  Client.Disconnect();
  EXPECT_EQ(Client.IOHandler(), nullptr) << "the handler made by Connect is freed";
}

TEST(Socket, UnknownHost)
{
  TIdTCPClient Client;
  TStatusLog Status;
  Status.Attach(Client);
  Client.Host = "no-such-host.invalid";
  Client.Port = 80;
  try {
    Client.Connect();
    ADD_FAILURE() << "resolved a name that cannot exist";
  } catch (const EIdSocketError& E) {
    EXPECT_EQ(E.LastError(), 11001);
    EXPECT_STREQ(E.what(), "Socket Error # 11001\r\nHost not found.");
  }
  EXPECT_EQ(Status.Texts, std::vector<std::string>{"Resolving hostname no-such-host.invalid."});
}

// A resolver that never answers holds neither a stop nor the connect
// time-out: the lookup is given up and ends in the background later.
TEST(Socket, AStopOrTheTimeOutEndsANameLookupThatDoesNotAnswer)
{
  struct TGate {
    std::mutex Lock;
    std::condition_variable Changed;
    int Asked = 0;
    int Answered = 0;
    bool Open = false;
  };
  auto Gate = std::make_shared<TGate>();
  TIdAbortSignal Stop;
  TIdIOHandlerSocket Socket;
  Socket.SetAbortSignal(&Stop);
  Socket.Lookup = [Gate](const char*, const char* Service, const addrinfo* Hints, addrinfo** List) {
    std::unique_lock Guard(Gate->Lock);
    ++Gate->Asked;
    Gate->Changed.notify_all();
    Gate->Changed.wait(Guard, [&] { return Gate->Open; });
    ++Gate->Answered;
    Gate->Changed.notify_all();
    return ::getaddrinfo("127.0.0.1", Service, Hints, List);
  };
  std::thread Stopper([&] {
    std::unique_lock Guard(Gate->Lock);
    Gate->Changed.wait(Guard, [&] { return Gate->Asked == 1; });
    Stop.Abort();
  });
  EXPECT_THROW(Socket.Open("slow.example", 80, 0), EIdAborted);
  Stopper.join();
  Stop.Reset();
  EXPECT_THROW(Socket.Open("slow.example", 80, 50), EIdConnectTimeout);

  std::unique_lock Guard(Gate->Lock);
  Gate->Open = true;
  Gate->Changed.notify_all();
  Gate->Changed.wait(Guard, [&] { return Gate->Answered == 2; });
}

TEST(Socket, LinesWritesAndTheRequestTheServerGot)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    if (!C.ReadRequest().empty()) {
      C.SendSlowly("first line\r\nsecond\n", 5, 2ms);
    }
  });
  TIdTCPClient Client;
  Client.Host = "127.0.0.1";
  Client.Port = Server.Port();
  Client.ReadTimeout = 2000;
  Client.Connect(1000);
  Client.BeginBufferedWrite();
  Client.WriteLn("GET / HTTP/1.1");
  Client.WriteLn("Host: x");
  Client.WriteLn();
  Client.EndBufferedWrite();
  EXPECT_EQ(Client.ReadLn(), "first line");
  EXPECT_EQ(Client.ReadLn(), "second");
  ASSERT_EQ(Server.Requests().size(), 1u);
  EXPECT_EQ(Server.Requests()[0], "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
}

TEST(Socket, SilentServerTimesOut)
{
  ScriptedServer Server([](ScriptedConnection& C) { C.Sleep(5s); });
  TIdTCPClient Client;
  ConnectTo(Client, Server.Port());
  const auto Start = std::chrono::steady_clock::now();
  try {
    Client.ReadLn();
    ADD_FAILURE() << "a silent server produced a line";
  } catch (const EIdReadTimeout& E) {
    EXPECT_STREQ(E.what(), "Read timed out after 2 s");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - Start, 1900ms) << "gave up before ReadTimeout";
  EXPECT_TRUE(Client.Connected()) << "a time-out does not close the connection";

  // An explicit short wait only reports the time-out.
  EXPECT_EQ(Client.ReadLn("\n", 100), "");
  EXPECT_TRUE(Client.ReadLnTimedOut);
}

TEST(Socket, PeerClosingMidLine)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.Send("whole\r\nhal");
    C.Sleep(50ms);
    C.Send("f a line");
    C.Close();
  });
  TIdTCPClient Client;
  ConnectTo(Client, Server.Port());
  EXPECT_EQ(Client.ReadLn(), "whole");
  try {
    Client.ReadLn();
    ADD_FAILURE() << "half a line was returned";
  } catch (const EIdConnClosedGracefully& E) {
    EXPECT_STREQ(E.what(), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(Client.Connected());
}

TEST(Socket, ReadUntilCloseIntoAFile)
{
  const std::string Body = Pattern(3 * 1024 * 1024 + 17);
  ScriptedServer Server([&Body](ScriptedConnection& C) {
    C.Send("Length: none\r\n\r\n");
    C.Send(Body);
    C.Close();
  });
  testing::TempDir Dir;
  TIdTCPClient Client;
  ConnectTo(Client, Server.Port());
  EXPECT_EQ(Client.ReadLn(), "Length: none");
  EXPECT_EQ(Client.ReadLn(), "");
  {
    TFileStream File(Dir.Folder() + "body.bin", fmCreate);
    Client.ReadStream(File, -1, true);
  }
  EXPECT_TRUE(testing::ReadFileBytes(Dir.Path() / "body.bin") == Body);
  EXPECT_FALSE(Client.Connected());
}

TEST(Socket, SizedReadIntoAFileThenTheNextAnswer)
{
  const std::string Body = Pattern(1000000);
  ScriptedServer Server([&Body](ScriptedConnection& C) {
    C.Send(Body);
    C.Sleep(20ms);
    C.Send("after\r\n");
    C.WaitForPeerClose(2s);
  });
  testing::TempDir Dir;
  TIdTCPClient Client;
  ConnectTo(Client, Server.Port());
  std::int64_t Reported = 0;
  Client.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t Count) { Reported = Count; };
  {
    TFileStream File(Dir.Folder() + "sized.bin", fmCreate);
    Client.ReadStream(File, static_cast<std::int64_t>(Body.size()));
    EXPECT_EQ(File.Size(), static_cast<std::int64_t>(Body.size()));
  }
  EXPECT_EQ(Reported, static_cast<std::int64_t>(Body.size()));
  EXPECT_TRUE(testing::ReadFileBytes(Dir.Path() / "sized.bin") == Body);
  EXPECT_EQ(Client.ReadLn(), "after") << "nothing past the body was swallowed";
}

TEST(Socket, SizedReadCutShort)
{
  // 100000 of 300000 bytes, then the close: every byte that arrived is in
  // the file, and nothing more.
  const std::string Body = Pattern(100000);
  ScriptedServer Server([&Body](ScriptedConnection& C) {
    C.Send(Body);
    C.Close();
  });
  testing::TempDir Dir;
  TIdTCPClient Client;
  ConnectTo(Client, Server.Port());
  {
    TFileStream File(Dir.Folder() + "cut.bin", fmCreate);
    EXPECT_THROW(Client.ReadStream(File, 300000), EIdConnClosedGracefully);
    EXPECT_EQ(File.Size(), 100000);
  }
  EXPECT_TRUE(testing::ReadFileBytes(Dir.Path() / "cut.bin") == Body);
}

TEST(Socket, PollForCloseNoticesAnIdleClose)
{
  ScriptedServer Server([](ScriptedConnection& C) {
    C.Sleep(100ms);
    C.Close();
  });
  TIdTCPClient Client;
  Client.Host = "127.0.0.1";
  Client.Port = Server.Port();
  Client.Connect();
  EXPECT_EQ(Client.PollForClose(false, 0), -1) << "still open, nothing pending";
  EXPECT_TRUE(Client.Connected());
  // Bounded wait for the server's close (about 100 ms away).
  for (int I = 0; I < 40 && Client.Connected(); ++I) {
    Client.PollForClose(false, 50);
  }
  EXPECT_FALSE(Client.Connected());
  EXPECT_TRUE(Client.ClosedGracefully());
  EXPECT_THROW(Client.ReadLn(), EIdConnClosedGracefully);
}

TEST(Socket, WriteAfterThePeerResetRaisesASocketError)
{
  ScriptedServer Server([](ScriptedConnection& C) { C.Close(); });
  TIdTCPClient Client;
  Client.Host = "127.0.0.1";
  Client.Port = Server.Port();
  Client.Connect();
  // The first send may still be accepted by the kernel; the peer's reset
  // must surface as a socket error (never as a signal) within a few sends.
  const std::string Chunk(65536, 'x');
  bool Raised = false;
  for (int I = 0; I < 50 && !Raised; ++I) {
    try {
      Client.WriteBuffer(Chunk.data(), Chunk.size(), true);
      std::this_thread::sleep_for(5ms);
    } catch (const EIdSocketError& E) {
      Raised = true;
      EXPECT_TRUE(E.LastError() == 10054 || E.LastError() == 10058 || E.LastError() == 10053) << E.what();
    } catch (const EIdConnClosedGracefully&) {
      Raised = true;
    }
  }
  EXPECT_TRUE(Raised);
  EXPECT_FALSE(Client.Connected());
}

} // namespace
} // namespace quenloft

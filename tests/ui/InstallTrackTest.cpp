#include "ui/InstallTrack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include "tests/support/ScriptedServer.h"
#include "tests/support/ScopedEnv.h"

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedAnswer;
using testing::ScriptedServer;
using testing::TraceCapture;

// A private trace name, and the flag the thread's owner would set.
class InstallTrackTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_EQ(FTrace.Open(), "");
    Drain();
  }
  std::vector<std::string> Drain() { return FTrace.Drain(); }
  bool Tracked() const { return FTracked; }
  std::function<void()> SetTracked()
  {
    return [this] { FTracked = true; };
  }

  TraceCapture FTrace;
  std::atomic<bool> FTracked{false};
};

TEST_F(InstallTrackTest, EmptyAddressFailsAtOnceAndSetsTheFlag)
{
  EXPECT_STREQ(InstallTrackURL, "");
  auto thread = TSafeThread::Make<TInstallTrackThread>(SetTracked());
  EXPECT_FALSE(Tracked()) << "nothing runs before Resume";
  thread->Resume();
  thread->WaitFor();
  EXPECT_TRUE(Tracked());
  EXPECT_EQ(Drain(), std::vector<std::string>{"install track"});
}

TEST_F(InstallTrackTest, OneRequestWhoseAnswerIsDiscarded)
{
  ScriptedServer server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok", true}}));
  {
    auto thread = TSafeThread::Make<TInstallTrackThread>(SetTracked(), server.Url("/track.txt"));
    thread->Resume();
    thread->WaitFor();
  }
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].rfind("GET /track.txt HTTP/1.1\r\n", 0), 0u) << server.Requests()[0];
  EXPECT_TRUE(Tracked());
}

TEST_F(InstallTrackTest, AFailedRequestIsNotDistinguished)
{
  ScriptedServer server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true}}));
  auto thread = TSafeThread::Make<TInstallTrackThread>(SetTracked(), server.Url("/gone"));
  thread->Resume();
  thread->WaitFor();
  EXPECT_TRUE(Tracked());
  EXPECT_EQ(Drain(), std::vector<std::string>{"install track"}) << "no thread error reported";

  // Nobody listening at all.
  FTracked = false;
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(probe); // the port is free now and refuses connections
  auto refused = TSafeThread::Make<TInstallTrackThread>(
      SetTracked(), "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/t");
  refused->Resume();
  refused->WaitFor();
  EXPECT_TRUE(Tracked());
}

TEST_F(InstallTrackTest, FreeingTheThreadWaitsForARequestInProgress)
{
  ScriptedServer server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true, 400ms}}));
  const auto start = std::chrono::steady_clock::now();
  {
    auto thread = TSafeThread::Make<TInstallTrackThread>(SetTracked(), server.Url("/slow"));
    thread->Resume();
  } // freed at once: the destructor waits for the answer
  EXPECT_GE(std::chrono::steady_clock::now() - start, 350ms);
  EXPECT_TRUE(Tracked());
}

} // namespace
} // namespace quenloft

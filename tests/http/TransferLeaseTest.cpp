// A transfer lease: its handlers and its stop reach the client only while it
// lives, a stop meant for one user never ends the next one's transfer, and a
// client serves one lease at a time.
#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "http/IdTransferLease.h"
#include "tests/support/LeaseProbe.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

namespace quenloft {
namespace {

using testing::ScriptedAnswer;
using testing::ScriptedServer;

const std::string Ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(TransferLease, HandlersReachTheClientOnlyWhileTheLeaseLives)
{
  ScriptedServer Server(ScriptedServer::Replay({Ok, Ok}));
  TIdHTTP Client;
  int Own = 0;
  int Leased = 0;
  Client.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t) { ++Own; };
  {
    const TIdAbortSignal Stop;
    const TIdTransferLease Lease(Client, {nullptr, [&](TIdComponent&, TWorkMode, std::int32_t) { ++Leased; }},
                                 Stop);
    EXPECT_EQ(Client.Get(Server.Url()), "ok");
    EXPECT_FALSE(testing::LeaseFree(Client)) << "a second lease was granted";
  }
  EXPECT_GT(Leased, 0);
  EXPECT_EQ(Own, 0);
  const int LeasedBefore = Leased;
  EXPECT_EQ(Client.Get(Server.Url()), "ok");
  EXPECT_EQ(Leased, LeasedBefore);
  EXPECT_GT(Own, 0);
  EXPECT_TRUE(testing::LeaseFree(Client));
}

// A raised signal ends its own lease's stalled transfer; the next lease, with
// a signal of its own, is not touched by it and nobody resets anything.
TEST(TransferLease, AStopEndsOnlyItsOwnLeasesTransfer)
{
  ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab", .Stall = true}, {.Bytes = Ok}}));
  TIdHTTP Client;
  TIdAbortSignal First;
  std::promise<void> Begun;
  auto Fetch = std::async(std::launch::async, [&] {
    const TIdTransferLease Lease(
        Client, {[&](TIdComponent&, TWorkMode, std::int32_t) { Begun.set_value(); }, nullptr}, First);
    Client.Get(Server.Url("/stall"));
  });
  Begun.get_future().wait();
  First.Abort();
  EXPECT_THROW(Fetch.get(), EIdAborted);
  EXPECT_TRUE(First.Aborted());
  const TIdAbortSignal Second;
  const TIdTransferLease Lease(Client, {}, Second);
  EXPECT_EQ(Client.Get(Server.Url("/next")), "ok");
}

} // namespace
} // namespace quenloft

#include "download/DownLoad.h"

#include "http/ClientSettings.h"
#include "http/IdHTTP.h"
#include "tests/download/EventRecorder.h"
#include "tests/support/LeaseProbe.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <memory>
#include <thread>

#include <unistd.h>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::CountOf;
using testing::MakeWorker;
using testing::NginxOptions;
using testing::NginxServer;
using testing::ReadFileBytes;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using testing::TempDir;
using testing::TEventRecorder;

constexpr std::uint64_t TaskId = 4242;

std::string Bytes(std::size_t Count, char Seed = 'a')
{
  std::string s(Count, '\0');
  for (std::size_t i = 0; i < Count; ++i)
    s[i] = static_cast<char>(Seed + (i * 7919 % 26));
  return s;
}

class DownLoadNginx : public ::testing::Test {
protected:
  void SetUp() override
  {
    QUENLOFT_REQUIRE_NGINX();
    FBody = Bytes(300000);
    FSite.WriteFile("movie.swf", FBody);
    NginxOptions options;
    options.Root = FSite.Path();
    options.ServerConfig = "location = /old.swf { return 302 /movie.swf; }\n"
                           "location = /loop.swf { return 302 /loop.swf; }\n";
    FServer = std::make_unique<NginxServer>(options);
    ApplyProgramClientSettings(FHTTP);
  }

  TempDir FSite;
  TempDir FOut;
  std::string FBody;
  std::unique_ptr<NginxServer> FServer;
  TIdHTTP FHTTP;
  TEventRecorder FEvents;
};

TEST_F(DownLoadNginx, SavesTheBodyIntoNewFoldersAndReportsInOrder)
{
  const std::string file = FOut.Folder() + "a/b/c/movie.swf";
  auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/movie.swf"), file, TaskId);
  worker->Resume();
  const auto seen = FEvents.UntilFinal();
  worker.reset();

  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().Msg, WM_DOWNLOAD_WORKBEGIN);
  EXPECT_EQ(seen.front().WParam, static_cast<std::int64_t>(FBody.size()));
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_DONE);
  EXPECT_EQ(seen.back().WParam, 0);
  EXPECT_EQ(CountOf(seen, WM_DOWNLOAD_DONE) + CountOf(seen, WM_DOWNLOAD_ERROR), 1);
  std::int64_t last = 0;
  for (const auto& m : seen) {
    EXPECT_EQ(m.LParam, TaskId);
    if (m.Msg == WM_DOWNLOAD_WORK) {
      EXPECT_GE(m.WParam, last); // cumulative
      last = m.WParam;
    }
  }
  EXPECT_EQ(last, static_cast<std::int64_t>(FBody.size()));
  EXPECT_TRUE(ReadFileBytes(file) == FBody);
  EXPECT_TRUE(FEvents.Drain().empty());
  // The lease is gone with the body, so the client is free again.
  EXPECT_TRUE(testing::LeaseFree(FHTTP));
}

TEST_F(DownLoadNginx, ARedirectShowsTwoWorkSequencesAndKeepsOnlyTheFinalBody)
{
  const std::string file = FOut.Folder() + "movie.swf";
  auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/old.swf"), file, TaskId);
  worker->Resume();
  const auto seen = FEvents.UntilFinal();
  worker.reset();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_DONE);
  EXPECT_EQ(CountOf(seen, WM_DOWNLOAD_WORKBEGIN), 2);
  // The first sequence belongs to the short redirect page, the second to the movie.
  std::vector<std::int64_t> totals;
  for (const auto& m : seen)
    if (m.Msg == WM_DOWNLOAD_WORKBEGIN)
      totals.push_back(m.WParam);
  ASSERT_EQ(totals.size(), 2u);
  EXPECT_LT(totals[0], 1000);
  EXPECT_EQ(totals[1], static_cast<std::int64_t>(FBody.size()));
  EXPECT_TRUE(ReadFileBytes(file) == FBody);
}

TEST_F(DownLoadNginx, TheRedirectLimitFailsTheTask)
{
  const std::string file = FOut.Folder() + "loop.swf";
  FHTTP.RedirectMaximum = 3;
  auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/loop.swf"), file, TaskId);
  worker->Resume();
  const auto seen = FEvents.UntilFinal();
  worker.reset();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_ERROR);
  EXPECT_NE(seen.back().Text.find("redirect"), std::string::npos) << seen.back().Text;
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(DownLoadNginx, A404DeletesTheEmptyFileAndReportsTheStatusOnce)
{
  const std::string file = FOut.Folder() + "missing.swf";
  auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/missing.swf"), file, TaskId);
  worker->Resume();
  const auto seen = FEvents.UntilFinal();
  worker.reset();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_ERROR);
  EXPECT_EQ(seen.back().WParam, 0);
  EXPECT_NE(seen.back().Text.find("404"), std::string::npos) << seen.back().Text;
  EXPECT_EQ(CountOf(seen, WM_DOWNLOAD_DONE), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(FEvents.Drain().empty());
}

TEST_F(DownLoadNginx, AnExistingFileIsNeverTruncatedOrDeleted)
{
  // The name was free when the coordinator chose it, and is taken now.
  const std::string file = FOut.WriteFile("movie.swf", "");
  const std::string other = FOut.WriteFile("other.swf", "precious");
  for (const auto& name : {file, other}) {
    auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/movie.swf"), name, TaskId);
    worker->Resume();
    const auto seen = FEvents.UntilFinal();
    worker.reset();
    ASSERT_EQ(seen.size(), 1u); // failed before any transfer
    EXPECT_EQ(seen[0].Msg, WM_DOWNLOAD_ERROR);
    EXPECT_EQ(seen[0].Text.rfind("Cannot create file \"" + name + "\". ", 0), 0u) << seen[0].Text;
  }
  EXPECT_TRUE(std::filesystem::exists(file)); // the empty file of someone else stays
  EXPECT_EQ(ReadFileBytes(other), "precious");
}

TEST_F(DownLoadNginx, ABareFileNameCannotCreateItsFolder)
{
  // A ":" in a name is no folder mark here: 'a:movie.swf' is as bare as
  // 'movie.swf' and must neither make a folder 'a:' nor write a file.
  for (const std::string name : {"movie.swf", "a:movie.swf"}) {
    auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/movie.swf"), name, TaskId);
    worker->Resume();
    const auto seen = FEvents.UntilFinal();
    worker.reset();
    ASSERT_EQ(seen.size(), 1u) << name;
    EXPECT_EQ(seen[0].Msg, WM_DOWNLOAD_ERROR);
    EXPECT_EQ(seen[0].Text, "Unable to create directory");
    EXPECT_FALSE(std::filesystem::exists(name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists("a:"));
}

TEST_F(DownLoadNginx, AColonInTheNameMakesNoFolder)
{
  const std::string file = FOut.Folder() + "x:movie.swf";
  auto worker = MakeWorker(FHTTP, FEvents, FServer->Url("/movie.swf"), file, TaskId);
  worker->Resume();
  const auto seen = FEvents.UntilFinal();
  worker.reset();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_DONE) << seen.back().Text;
  EXPECT_TRUE(ReadFileBytes(file) == FBody);
  EXPECT_FALSE(std::filesystem::exists(FOut.Folder() + "x:"));
}

// Runs one worker against Server and returns its events and the file.
std::vector<TMessage> FetchWith(ScriptedServer& Server, const std::string& File)
{
  TIdHTTP http;
  ApplyProgramClientSettings(http);
  TEventRecorder events;
  auto worker = MakeWorker(http, events, Server.Url("/movie.swf"), File, TaskId);
  worker->Resume();
  auto seen = events.UntilFinal();
  worker.reset();
  return seen;
}

TEST(DownLoad, AnAnswerWithoutLengthBeginsWithZero)
{
  const std::string body = Bytes(5000);
  ScriptedServer server([&](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    // Neither a length nor chunks: the body ends when the server closes.
    c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body);
    c.Close();
  });
  TempDir out;
  const auto seen = FetchWith(server, out.Folder() + "movie.swf");
  ASSERT_FALSE(seen.empty());
  ASSERT_EQ(CountOf(seen, WM_DOWNLOAD_WORKBEGIN), 1);
  for (const auto& m : seen)
    if (m.Msg == WM_DOWNLOAD_WORKBEGIN) {
      EXPECT_EQ(m.WParam, 0);
    }
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_DONE);
  EXPECT_EQ(ReadFileBytes(out.Folder() + "movie.swf"), body);
}

TEST(DownLoad, AChunkedAnswerIsSavedWhole)
{
  const std::string body = Bytes(5000);
  ScriptedServer server([&](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    c.Send("7d0\r\n" + body.substr(0, 2000) + "\r\n");
    c.Send("bb8\r\n" + body.substr(2000) + "\r\n0\r\n\r\n");
    c.WaitForPeerClose(1s);
  });
  TempDir out;
  const auto seen = FetchWith(server, out.Folder() + "movie.swf");
  ASSERT_FALSE(seen.empty());
  EXPECT_GE(CountOf(seen, WM_DOWNLOAD_WORKBEGIN), 1);
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_DONE);
  EXPECT_EQ(ReadFileBytes(out.Folder() + "movie.swf"), body);
}

TEST(DownLoad, ABodyCutShortFailsAndKeepsThePartialFile)
{
  ScriptedServer server([](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(400, 'x'));
    c.Close();
  });
  TempDir out;
  TIdHTTP http;
  ApplyProgramClientSettings(http);
  TEventRecorder events;
  const std::string file = out.Folder() + "cut.swf";
  auto worker = MakeWorker(http, events, server.Url("/cut.swf"), file, TaskId);
  worker->Resume();
  const auto seen = events.UntilFinal();
  worker.reset();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Msg, WM_DOWNLOAD_ERROR); // never "done"
  EXPECT_FALSE(seen.back().Text.empty());
  EXPECT_EQ(ReadFileBytes(file), std::string(400, 'x'));
}

// Cancel: the terminate request is noticed at the next work event, and the
// cancel is reported by silence; the file stays as it is.
TEST(DownLoad, TerminateCancelsSilentlyAndKeepsThePartialFile)
{
  std::promise<void> cancelled;
  auto cancelledFuture = cancelled.get_future().share();
  ScriptedServer server([&](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'p'));
    cancelledFuture.wait_for(10s);
    c.Send(std::string(1000, 'q')); // the next work event sees the request
    c.WaitForPeerClose(1s);
  });
  TempDir out;
  TIdHTTP http;
  ApplyProgramClientSettings(http);
  TEventRecorder events;
  const std::string file = out.Folder() + "big.swf";
  auto worker = MakeWorker(http, events, server.Url("/big.swf"), file, TaskId);
  worker->Resume();
  std::vector<TMessage> seen;
  ASSERT_TRUE(events.WaitFor(WM_DOWNLOAD_WORK, seen));
  worker->Terminate();
  cancelled.set_value();
  worker->WaitFor();
  auto rest = events.Drain();
  seen.insert(seen.end(), rest.begin(), rest.end());
  EXPECT_EQ(CountOf(seen, WM_DOWNLOAD_DONE), 0);
  EXPECT_EQ(CountOf(seen, WM_DOWNLOAD_ERROR), 0);
  EXPECT_EQ(ReadFileBytes(file), std::string(1000, 'p'));
  worker.reset();
  EXPECT_TRUE(testing::LeaseFree(http));
}

// While a sized body arrives, the file holds the bytes that came and no
// more: a program killed half-way must not leave a file of the announced
// size with a zero-filled tail.
TEST(DownLoad, AFileInTransferIsNeverGrownAheadOfItsData)
{
  std::promise<void> checked;
  auto checkedFuture = checked.get_future().share();
  ScriptedServer server([&](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'p'));
    checkedFuture.wait_for(10s);
    c.Send(std::string(99000, 'q'));
  });
  TempDir out;
  TIdHTTP http;
  ApplyProgramClientSettings(http);
  TEventRecorder events;
  const std::string file = out.Folder() + "growing.swf";
  auto worker = MakeWorker(http, events, server.Url("/growing.swf"), file, TaskId);
  worker->Resume();
  std::vector<TMessage> seen;
  ASSERT_TRUE(events.WaitFor(WM_DOWNLOAD_WORK, seen));
  EXPECT_LE(std::filesystem::file_size(file), 1000u);
  checked.set_value();
  const auto rest = events.UntilFinal();
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest.back().Msg, WM_DOWNLOAD_DONE);
  EXPECT_EQ(std::filesystem::file_size(file), 100000u);
}

// The left-over file's size cannot be taken (it became a dangling link while
// the transfer ran): the deletion is skipped, the error is still reported.
TEST(DownLoad, AFailedSizeCheckStillGivesOneFinalEvent)
{
  std::promise<void> swapped;
  auto swappedFuture = swapped.get_future().share();
  ScriptedServer server([&](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(10, 'x'));
    swappedFuture.wait_for(10s);
    c.Close();
  });
  TempDir out;
  TIdHTTP http;
  ApplyProgramClientSettings(http);
  TEventRecorder events;
  const std::string file = out.Folder() + "odd.swf";
  auto worker = MakeWorker(http, events, server.Url("/odd.swf"), file, TaskId);
  worker->Resume();
  std::vector<TMessage> seen;
  ASSERT_TRUE(events.WaitFor(WM_DOWNLOAD_WORK, seen));
  ASSERT_EQ(::unlink(file.c_str()), 0);
  ASSERT_EQ(::symlink("/nonexistent/quenloft", file.c_str()), 0);
  swapped.set_value();
  ASSERT_TRUE(events.WaitFor(WM_DOWNLOAD_ERROR, seen));
  worker.reset();
  EXPECT_TRUE(events.Drain().empty());
  EXPECT_TRUE(std::filesystem::is_symlink(file));
}

} // namespace
} // namespace quenloft

// The download worker against stalled and hostile servers: a stop ends it
// at once whatever the server does, a cancel is the worker's own stop and
// never an error text, and every other ending - time-out, endless error
// page, broken framing - is one error event, never "done".
#include "http/ClientSettings.h"
#include "download/DownLoad.h"
#include "download/Vellicorer.h"
#include "http/IdHTTP.h"
#include "tests/download/EventRecorder.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::CountOf;
using testing::MakeWorker;
using testing::ReadFileBytes;
using testing::ScriptedAnswer;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using testing::TempDir;
using testing::TEventRecorder;
using testing::WaitUntil;
using Clock = std::chrono::steady_clock;

const std::string Head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";

// Stop (the coordinator's, as the window's button and Ctrl-C use it) while
// the server stalls: the worker ends at once, silently, and the file keeps
// what arrived.
TEST(WorkerStop, StopEndsTheWorkerAtOnceWhateverTheServerDoes)
{
  struct TCase {
    const char* Name;
    ScriptedAnswer Answer;
    std::string Kept;
  };
  const TCase Cases[] = {
      {"no answer at all", {.Stall = true}, ""},
      {"stall after the head", {.Bytes = Head100, .Stall = true}, ""},
      {"stall mid-body", {.Bytes = Head100 + "half", .Stall = true}, "half"},
      {"1 byte per second", {.Bytes = Head100 + "d", .Drip = 1000ms}, ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{Case.Answer}));
    TempDir Out;
    TEventRecorder Events;
    TVellicorer Downloader;
    ApplyProgramClientSettings(Downloader.HTTP());
    Downloader.SetOutputFolder(Out.Folder());
    Downloader.AddTasks({Server.Url("/movie.swf")});
    TDownLoad* Worker = Downloader.StartTask(Downloader.Tasks().Items(0), Events.Handle());
    ASSERT_NE(Worker, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !Server.Requests().empty(); }));
    if (!Case.Kept.empty()) {
      std::vector<TMessage> Seen;
      ASSERT_TRUE(Events.WaitFor(WM_DOWNLOAD_WORK, Seen));
    }
    const auto Stopped = Clock::now();
    Downloader.Stop();
    Worker->WaitFor();
    EXPECT_LT(Clock::now() - Stopped, 1s);
    const auto Rest = Events.Drain();
    EXPECT_EQ(CountOf(Rest, WM_DOWNLOAD_DONE) + CountOf(Rest, WM_DOWNLOAD_ERROR), 0) << "a cancel is silent";
    EXPECT_EQ(ReadFileBytes(Out.Folder() + "movie.swf"), Case.Kept);
    // A new scan clears the coordinator: it returns at once as well.
    const auto Cleared = Clock::now();
    Downloader.Clear();
    EXPECT_LT(Clock::now() - Cleared, 1s);
  }
}

// Every ending that is not the user's stop is one error event: a server
// whose status line reads like the cancel text too, and no answer ever
// leaves a file counted done.
TEST(WorkerStop, EveryOtherEndingIsOneErrorNeverDone)
{
  struct TCase {
    const char* Name;
    ScriptedAnswer Answer;
    std::string Text; // part of the error text
    bool FileStays;
  };
  const TCase Cases[] = {
      {"a status line that reads like a cancel",
       {.Bytes = "User Cancel\r\n\r\n", .Stall = true},
       "User Cancel",
       false},
      {"silence past the idle limit",
       {.Bytes = Head100 + "half", .Stall = true},
       "Read timed out after 0.3 s",
       true},
      {"an endless error page",
       {.Bytes = "HTTP/1.1 404 Not Found\r\n\r\n", .Endless = std::string(65536, 'e')},
       "HTTP/1.1 404 Not Found",
       false},
      {"an invalid length",
       {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1O\r\n\r\n0123456789", .Stall = true},
       "Invalid Content-Length",
       false},
      {"a cut body", {.Bytes = Head100 + "cut", .CloseAfter = true}, "Connection Closed Gracefully.", true},
      {"a chunked body cut",
       {.Bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", .CloseAfter = true},
       "Connection Closed Gracefully.",
       true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{Case.Answer}));
    TempDir Out;
    TIdHTTP HTTP;
    ApplyProgramClientSettings(HTTP);
    HTTP.ReadTimeout = 300;
    TEventRecorder Events;
    const std::string File = Out.Folder() + "movie.swf";
    auto Worker = MakeWorker(HTTP, Events, Server.Url("/movie.swf"), File, 7);
    Worker->Resume();
    const auto Seen = Events.UntilFinal(10s);
    Worker.reset();
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back().Msg, WM_DOWNLOAD_ERROR);
    EXPECT_NE(Seen.back().Text.find(Case.Text), std::string::npos) << Seen.back().Text;
    EXPECT_EQ(CountOf(Seen, WM_DOWNLOAD_DONE), 0);
    EXPECT_EQ(std::filesystem::exists(File), Case.FileStays);
    EXPECT_TRUE(Events.Drain().empty());
  }
}

} // namespace
} // namespace quenloft

// The page scan as a job of the coordinator: its end comes as one
// WM_SCAN_DONE through the same sink as the downloads, its links become the
// tasks, a stop ends a stalled fetch at once, and the events of a scan that
// a newer one replaced change nothing.
#include "download/Vellicorer.h"

#include "tests/download/EventRecorder.h"
#include "tests/support/LeaseProbe.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::CountOf;
using testing::ScriptedAnswer;
using testing::ScriptedServer;
using testing::TEventRecorder;
using testing::WaitUntil;

// Hands every event to the coordinator until the scan's end; the events seen
// are appended to Seen.
TTaskEvent RunScan(TVellicorer& Downloader, TEventRecorder& Events, std::vector<TMessage>& Seen)
{
  TTaskEvent event;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!event.ScanDone && std::chrono::steady_clock::now() < deadline) {
    TMessage m;
    if (!Events.Queue().WaitPop(m, 50ms))
      continue;
    Seen.push_back(m);
    event = Downloader.HandleTaskEvent(m, Events.Handle());
  }
  return event;
}

std::string Page(const std::string& Body)
{
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
}

TEST(ScanJob, TheScansEndComesOnceThroughTheSinkWithItsOutcome)
{
  struct TCase {
    const char* Name;
    std::string Answer;
    std::vector<std::string> Paths; // the tasks' paths, in page order
    std::string Error;
  };
  const TCase Cases[] = {
      {"links",
       Page("<embed src=\"b.swf\"><a href=\"/x/a.swf\">a</a><embed src=\"b.swf\">"),
       {"/b.swf", "/x/a.swf"},
       ""},
      {"no links", Page("<p>nothing</p>"), {}, ""},
      {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", {}, "HTTP/1.1 404 Not Found"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay({Case.Answer}));
    TEventRecorder Events;
    TVellicorer Downloader;
    Downloader.StartScan(Server.Url("/page.html"), Events.Handle());
    EXPECT_TRUE(Downloader.Scanning());
    std::vector<TMessage> Seen;
    const TTaskEvent Done = RunScan(Downloader, Events, Seen);
    ASSERT_TRUE(Done.ScanDone);
    EXPECT_FALSE(Done.ScanStopped);
    EXPECT_FALSE(Downloader.Scanning());
    EXPECT_EQ(Done.ScanError, Case.Error);
    ASSERT_EQ(Downloader.Tasks().Count(), Case.Paths.size());
    for (std::size_t I = 0; I < Case.Paths.size(); ++I)
      EXPECT_EQ(Downloader.Tasks().Items(I)->URL, Server.Url(Case.Paths[I]));
    EXPECT_EQ(CountOf(Seen, WM_SCAN_DONE), 1);
    EXPECT_TRUE(Events.Drain().empty());
    EXPECT_TRUE(testing::LeaseFree(Downloader.HTTP()));
  }
}

// A stalled page: Stop ends the scan at once with no tasks; a new scan
// replaces a stalled one, whose late end is dropped.
TEST(ScanJob, AStopOrANewScanEndsAStalledFetch)
{
  ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<embed", .Stall = true},
      {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<embed", .Stall = true},
      {.Bytes = Page("<embed src=\"c.swf\">")}}));
  TEventRecorder Events;
  TVellicorer Downloader;
  Downloader.StartScan(Server.Url("/stall"), Events.Handle());
  ASSERT_TRUE(WaitUntil([&] { return Server.Requests().size() == 1; }));
  Downloader.Stop();
  std::vector<TMessage> Seen;
  TTaskEvent Done = RunScan(Downloader, Events, Seen);
  ASSERT_TRUE(Done.ScanDone);
  EXPECT_TRUE(Done.ScanStopped);
  EXPECT_EQ(Downloader.Tasks().Count(), 0u);

  Downloader.StartScan(Server.Url("/stall"), Events.Handle());
  ASSERT_TRUE(WaitUntil([&] { return Server.Requests().size() == 2; }));
  Downloader.StartScan(Server.Url("/page.html"), Events.Handle());
  Seen.clear();
  Done = RunScan(Downloader, Events, Seen);
  ASSERT_TRUE(Done.ScanDone);
  EXPECT_FALSE(Done.ScanStopped);
  ASSERT_EQ(Downloader.Tasks().Count(), 1u);
  EXPECT_EQ(Downloader.Tasks().Items(0)->URL, Server.Url("/c.swf"));
  // The replaced scan's end came first and was dropped.
  EXPECT_EQ(CountOf(Seen, WM_SCAN_DONE), 2);
}

} // namespace
} // namespace quenloft

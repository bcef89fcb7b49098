// Downloads that fail for a passing reason are tried again, up to the
// coordinator's Retries, with one retry event per try and still exactly one
// final event; Stop ends a retry's wait at once.
#include "download/Vellicorer.h"

#include "http/ClientSettings.h"
#include "tests/download/EventRecorder.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::CountOf;
using testing::ReadFileBytes;
using testing::ScriptedAnswer;
using testing::ScriptedServer;
using testing::TempDir;
using testing::TEventRecorder;

const std::string Ok = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nmovie";
const ScriptedAnswer Drop{.DropRequest = true};

ScriptedAnswer Status(const std::string& Line, const std::string& Headers = {})
{
  return {.Bytes = "HTTP/1.1 " + Line + "\r\n" + Headers + "Content-Length: 0\r\n\r\n"};
}

TEST(Retry, PassingFailuresAreTriedAgainWithOneFinalEvent)
{
  struct TCase {
    const char* Name;
    std::vector<ScriptedAnswer> Answers;
    int Retries;
    std::uint32_t Final;
    std::size_t Requests;
    std::vector<std::string> Notes; // the retry events' texts
    std::string Error;
  };
  const TCase Cases[] = {
      {"503 with Retry-After 1, then 200",
       {Status("503 Service Unavailable", "Retry-After: 1\r\n"), {.Bytes = Ok}},
       2,
       WM_DOWNLOAD_DONE,
       2,
       {"retrying (2/3)"},
       ""},
      {"three resets",
       {Drop, Drop, Drop, {.Bytes = Ok}},
       2,
       WM_DOWNLOAD_ERROR,
       3,
       {"retrying (2/3)", "retrying (3/3)"},
       "Connection Closed Gracefully."},
      {"a reset, a 500, then 200",
       {Drop, Status("500 Internal Server Error"), {.Bytes = Ok}},
       2,
       WM_DOWNLOAD_DONE,
       3,
       {"retrying (2/3)", "retrying (3/3)"},
       ""},
      {"404 is final",
       {Status("404 Not Found"), {.Bytes = Ok}},
       2,
       WM_DOWNLOAD_ERROR,
       1,
       {},
       "HTTP/1.1 404 Not Found"},
      {"retries off",
       {Status("503 Service Unavailable"), {.Bytes = Ok}},
       0,
       WM_DOWNLOAD_ERROR,
       1,
       {},
       "HTTP/1.1 503 Service Unavailable"},
      {"one retry",
       {Status("429 Too Many Requests"), Status("502 Bad Gateway"), {.Bytes = Ok}},
       1,
       WM_DOWNLOAD_ERROR,
       2,
       {"retrying (2/2)"},
       "HTTP/1.1 502 Bad Gateway"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(Case.Answers));
    TempDir Out;
    TEventRecorder Events;
    TVellicorer Downloader;
    ApplyProgramClientSettings(Downloader.HTTP());
    Downloader.Retries = Case.Retries;
    Downloader.RetrySecond = 10ms;
    Downloader.SetOutputFolder(Out.Folder());
    Downloader.AddTasks({Server.Url("/movie.swf")});
    TSWFTask& Task = *Downloader.Tasks().Items(0);
    ASSERT_NE(Downloader.StartTask(&Task, Events.Handle()), nullptr);
    std::vector<TMessage> Seen = Events.UntilFinal();
    Downloader.WaitForWorker();
    for (const TMessage& M : Events.Drain())
      Seen.push_back(M);
    std::vector<std::string> Notes;
    for (const TMessage& M : Seen) {
      if (M.Msg == WM_DOWNLOAD_RETRY)
        Notes.push_back(M.Text);
      Downloader.HandleTaskEvent(M, Events.Handle());
    }
    EXPECT_EQ(Notes, Case.Notes);
    EXPECT_EQ(CountOf(Seen, WM_DOWNLOAD_DONE) + CountOf(Seen, WM_DOWNLOAD_ERROR), 1);
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back().Msg, Case.Final);
    EXPECT_EQ(Seen.back().Text, Case.Error);
    EXPECT_EQ(Server.Requests().size(), Case.Requests);
    EXPECT_TRUE(Task.Note.empty()) << "the row still says " << Task.Note;
    if (Case.Final == WM_DOWNLOAD_DONE) {
      EXPECT_EQ(ReadFileBytes(Task.FileName), "movie");
    }
  }
}

// A body cut short is tried again from the start: the file holds the whole
// body once, not the first try's bytes in front of it.
TEST(Retry, ACutBodyStartsOverInTheSameFile)
{
  ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nmov", .CloseAfter = true}, {.Bytes = Ok}}));
  TempDir Out;
  TEventRecorder Events;
  TVellicorer Downloader;
  Downloader.RetrySecond = 10ms;
  Downloader.SetOutputFolder(Out.Folder());
  Downloader.AddTasks({Server.Url("/movie.swf")});
  ASSERT_NE(Downloader.StartTask(Downloader.Tasks().Items(0), Events.Handle()), nullptr);
  const std::vector<TMessage> Seen = Events.UntilFinal();
  ASSERT_FALSE(Seen.empty());
  EXPECT_EQ(Seen.back().Msg, WM_DOWNLOAD_DONE);
  EXPECT_EQ(ReadFileBytes(Out.Folder() + "movie.swf"), "movie");
}

// Stop while a retry waits (here for the server's 30 s): the wait ends at
// once, as a cancel, with no final event.
TEST(Retry, StopEndsARetrysWaitAtOnce)
{
  ScriptedServer Server(ScriptedServer::Replay(
      std::vector<ScriptedAnswer>{Status("503 Service Unavailable", "Retry-After: 30\r\n"), {.Bytes = Ok}}));
  TempDir Out;
  TEventRecorder Events;
  TVellicorer Downloader;
  Downloader.SetOutputFolder(Out.Folder());
  Downloader.AddTasks({Server.Url("/movie.swf")});
  ASSERT_NE(Downloader.StartTask(Downloader.Tasks().Items(0), Events.Handle()), nullptr);
  std::vector<TMessage> Seen;
  ASSERT_TRUE(Events.WaitFor(WM_DOWNLOAD_RETRY, Seen));
  const auto Stopped = std::chrono::steady_clock::now();
  Downloader.Stop();
  Downloader.WaitForWorker();
  EXPECT_LT(std::chrono::steady_clock::now() - Stopped, 5s) << "the wait went on after Stop";
  for (const TMessage& M : Events.Drain())
    Seen.push_back(M);
  EXPECT_EQ(CountOf(Seen, WM_DOWNLOAD_DONE) + CountOf(Seen, WM_DOWNLOAD_ERROR), 0);
  EXPECT_EQ(Server.Requests().size(), 1u);
}

} // namespace
} // namespace quenloft

// The CLI loop's window handlers, fed with task events directly (no worker,
// no network): the progress rule, the redraw rule, stale events, and the
// finishing handlers.
#include "cli/CliWindow.h"

#include "cli/ProgressView.h"
#include "cli/StopSignal.h"
#include "http/IdHTTP.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <sstream>

namespace quenloft {
namespace {

struct TWindowFixture {
  TVellicorer Downloader;
  std::ostringstream Out;
  TMessageQueue Queue;
  std::unique_ptr<TProgressView> View;
  std::unique_ptr<TCliWindow> Window;

  explicit TWindowFixture(TOutputMode Mode)
  {
    Downloader.AddTasks({"http://127.0.0.1:1/one.swf"});
    View = std::make_unique<TProgressView>(Mode, Out, Downloader.Tasks().Count());
    Window = std::make_unique<TCliWindow>(Downloader, *View, Queue);
  }
  TSWFTask& Task() { return *Downloader.Tasks().Items(0); }
  void Post(std::uint32_t Msg, std::int64_t WParam, std::string Text = {})
  {
    Window->Dispatch(TMessage{Msg, WParam, Task().Id, std::move(Text)});
  }
};

TEST(CliWindow, WorkRoundsHalvesToEvenAndRedrawsOnlyOnChange)
{
  TWindowFixture f(TOutputMode::Terminal);
  f.Post(WM_DOWNLOAD_WORKBEGIN, 200);
  EXPECT_EQ(f.Task().Size, 200);
  EXPECT_EQ(f.Task().State, tsDownloading);
  const auto redraws = [&] {
    const std::string text = f.Out.str();
    return std::count(text.begin(), text.end(), '\r');
  };
  const auto afterBegin = redraws();
  EXPECT_EQ(afterBegin, 1);

  f.Post(WM_DOWNLOAD_WORK, 1); // 0.5% -> 0: unchanged, no redraw
  EXPECT_EQ(f.Task().Percent, 0);
  f.Post(WM_DOWNLOAD_WORK, 3); // 1.5% -> 2
  EXPECT_EQ(f.Task().Percent, 2);
  f.Post(WM_DOWNLOAD_WORK, 5); // 2.5% -> 2: unchanged
  f.Post(WM_DOWNLOAD_WORK, 7); // 3.5% -> 4
  EXPECT_EQ(f.Task().Percent, 4);
  EXPECT_EQ(redraws(), afterBegin + 2);

  // A later work-begin replaces the total; an unknown total shows no percentage.
  f.Post(WM_DOWNLOAD_WORKBEGIN, 0);
  f.Post(WM_DOWNLOAD_WORK, 100000);
  EXPECT_EQ(f.Task().Percent, 4);
  EXPECT_EQ(f.Task().Size, 0);
}

TEST(CliWindow, EventsOfAFreedTaskAreDropped)
{
  TWindowFixture f(TOutputMode::Lines);
  const std::uint64_t gone = f.Task().Id;
  f.Downloader.Clear();
  f.Window->Dispatch(TMessage{WM_DOWNLOAD_WORKBEGIN, 10, gone, {}});
  f.Window->Dispatch(TMessage{WM_DOWNLOAD_DONE, 0, gone, {}});
  EXPECT_EQ(f.Window->DoneCount(), 0u);
  EXPECT_TRUE(f.Out.str().empty());
}

TEST(CliWindow, DoneAndErrorFinaliseTheTask)
{
  TWindowFixture done(TOutputMode::Lines);
  done.Post(WM_DOWNLOAD_WORKBEGIN, 1000);
  done.Post(WM_DOWNLOAD_WORK, 500);
  done.Post(WM_DOWNLOAD_DONE, 0);
  EXPECT_EQ(done.Task().Percent, 100);
  EXPECT_EQ(done.Task().State, tsDone);
  EXPECT_EQ(done.Window->DoneCount(), 1u);
  EXPECT_EQ(done.Out.str().find("[1/1] done"), 0u) << done.Out.str();

  // No output file left: the percentage goes back to 0.
  TWindowFixture failed(TOutputMode::Json);
  failed.Post(WM_DOWNLOAD_WORKBEGIN, 1000);
  failed.Post(WM_DOWNLOAD_WORK, 500);
  failed.Post(WM_DOWNLOAD_ERROR, 0, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(failed.Task().State, tsFailed);
  EXPECT_EQ(failed.Task().Percent, 0);
  EXPECT_EQ(failed.Window->FailedCount(), 1u);
  EXPECT_NE(failed.Out.str().find("\"state\":\"failed\""), std::string::npos) << failed.Out.str();
  EXPECT_NE(failed.Out.str().find("\"error\":\"HTTP/1.1 404 Not Found\""), std::string::npos);
}

// The "leave at once" of the page fetch belongs to one run: a later
// TStopSignal takes the first Ctrl-C as a stop again (wakes its loop),
// not as an exit.
TEST(StopSignal, ACtrlCAfterAnEarlierRunIsAStopNotAnExit)
{
  {
    TStopSignal earlier([] {});
    earlier.SetExitAtOnce(true);
  }
  TMessageQueue queue;
  std::atomic<bool> woke{false};
  TStopSignal stop([&] {
    woke = true;
    queue.Interrupt();
  });
  EXPECT_FALSE(stop.Requested());
  ASSERT_EQ(::raise(SIGINT), 0); // with the old flag kept, the process would end here
  EXPECT_TRUE(stop.Requested());
  TMessage message;
  for (int i = 0; i < 100 && !woke; ++i)
    EXPECT_FALSE(queue.WaitPop(message, std::chrono::milliseconds(50)));
  EXPECT_TRUE(woke);
}

// Ctrl-C while no movie has a file: the output folder cannot be made (a
// file stands in its way), so whether the first movie fails on its own or is
// cancelled first, no partial file is announced.
TEST(CliWindow, AStopWithoutAFileInProgressKeepsNoPartialFile)
{
  testing::TempDir out;
  const std::string blocker = out.WriteFile("not-a-folder", "x");
  TVellicorer downloader;
  downloader.AddTasks({"http://127.0.0.1:1/one.swf", "http://127.0.0.1:1/two.swf"});
  downloader.SetOutputFolder(blocker + "/movies");
  std::ostringstream text;
  TProgressView view(TOutputMode::Lines, text, 2);
  TMessageQueue queue;
  TCliWindow window(downloader, view, queue);
  TStopSignal stop([&queue] { queue.Interrupt(); });
  ASSERT_EQ(::raise(SIGINT), 0);
  ASSERT_TRUE(stop.Requested());
  EXPECT_EQ(window.Run(stop), 130);
  EXPECT_EQ(window.DoneCount(), 0u);
  EXPECT_EQ(window.StopNote(), "stopped by Ctrl-C: nothing further was started");
}

TEST(ProgressView, FormatsSizes)
{
  EXPECT_EQ(FormatBytes(0), "0 B");
  EXPECT_EQ(FormatBytes(1023), "1023 B");
  EXPECT_EQ(FormatBytes(1024), "1.00 KiB");
  EXPECT_EQ(FormatBytes(1536), "1.50 KiB");
  EXPECT_EQ(FormatBytes(1048576), "1.00 MiB");
  EXPECT_EQ(FormatBytes(1ll << 30), "1.00 GiB");
}

} // namespace
} // namespace quenloft

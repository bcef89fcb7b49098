#include "download/Vellicorer.h"

#include "http/ClientSettings.h"
#include "http/IdHTTP.h"
#include "tests/download/EventRecorder.h"
#include "tests/support/LeaseProbe.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::CountOf;
using testing::NginxOptions;
using testing::NginxServer;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TEventRecorder;

// The folder's entries, names only.
std::set<std::string> Listing(const std::filesystem::path& Folder)
{
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Folder))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(SWFTaskList, IdsAreUniqueAndFoundThroughTheMap)
{
  TSWFTaskList list;
  std::set<std::uint64_t> ids;
  for (int i = 0; i < 5; ++i)
    ids.insert(list.Add(std::make_unique<TSWFTask>())->Id);
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_EQ(ids.count(0), 0u);
  TSWFTask* third = list.Items(2);
  EXPECT_EQ(list.FindById(third->Id), third);
  EXPECT_EQ(list.IndexOf(third), 2);
  EXPECT_EQ(list.IndexOfId(third->Id), 2);
  EXPECT_EQ(list.IndexOfId(0), -1);
  const std::uint64_t gone = third->Id;
  list.Clear();
  EXPECT_EQ(list.FindById(gone), nullptr);
  EXPECT_EQ(list.IndexOfId(gone), -1);
  // Never reused: a new task gets a fresh number.
  EXPECT_GT(list.Add(std::make_unique<TSWFTask>())->Id, *ids.rbegin());
}

TEST(Vellicorer, AddTasksNextTaskAndFolder)
{
  TVellicorer downloader;
  downloader.AddTasks({"http://h/a.swf", "", "http://h/a.swf", "http://h/b.swf"});
  auto& tasks = downloader.Tasks();
  ASSERT_EQ(tasks.Count(), 3u); // the empty line is skipped, the duplicate kept
  EXPECT_EQ(tasks.Items(1)->URL, "http://h/a.swf");
  EXPECT_EQ(tasks.Items(0)->State, tsQueued);
  EXPECT_EQ(downloader.NextTask(tasks.Items(0)), tasks.Items(1));
  EXPECT_EQ(downloader.NextTask(tasks.Items(2)), nullptr);
  TSWFTask stranger;
  EXPECT_EQ(downloader.NextTask(&stranger), nullptr);
  EXPECT_EQ(downloader.NextTask(nullptr), nullptr);
  EXPECT_EQ(downloader.FindTask(tasks.Items(2)->Id), tasks.Items(2));

  downloader.SetOutputFolder("/tmp/out");
  EXPECT_EQ(downloader.OutputFolder(), "/tmp/out/");
  downloader.SetOutputFolder("");
  EXPECT_EQ(downloader.OutputFolder(), "");
  EXPECT_FALSE(downloader.Stopped());
  downloader.Stop(); // without a worker it only sets the flag
  EXPECT_TRUE(downloader.Stopped());
}

// The chain walks a long list exactly in order, also after a rescan gave
// the list new tasks (positions come from the Id map, which Clear empties).
TEST(Vellicorer, NextTaskWalksALongListInOrder)
{
  TVellicorer downloader;
  for (int round = 0; round < 2; ++round) {
    downloader.Clear();
    std::vector<std::string> urls;
    for (int i = 0; i < 10000 + round; ++i)
      urls.push_back("http://h/" + std::to_string(i) + ".swf");
    downloader.AddTasks(urls);
    std::size_t walked = 1;
    for (TSWFTask* t = downloader.Tasks().Items(0); (t = downloader.NextTask(t)) != nullptr;)
      ASSERT_EQ(t->URL, urls[walked++]);
    EXPECT_EQ(walked, urls.size());
  }
}
TEST(Vellicorer, WorkPercentRoundsAndStaysWithinAHundred)
{
  struct {
    std::int64_t Count;
    std::int32_t Size;
    int Percent;
  } const cases[] = {
      {5, 1000, 0},
      {15, 1000, 2},
      {25, 1000, 2}, // halves to even
      {994, 1000, 99},
      {995, 1000, 100},
      {3000, 1000, 100}, // more than announced: 300% is not 44
      {-5, 1000, 0},
      {5, 0, 0},
      {5, -1, 0}, // no total announced
      {1073741824, 2147483647, 50},
      {4294967296, 2147483647, 100}, // past 32 bits
  };
  for (const auto& c : cases)
    EXPECT_EQ(WorkPercent(c.Count, c.Size), c.Percent) << c.Count << " of " << c.Size;
}

TEST(Vellicorer, WorkEventsSetSizeStateAndPercentWithOneRedrawPerWholePercent)
{
  TVellicorer downloader;
  downloader.AddTasks({"http://127.0.0.1/m/a.swf"});
  TSWFTask& task = *downloader.Tasks().Items(0);
  struct {
    std::uint32_t Msg;
    std::int64_t WParam;
    bool Redraw;
    int Size;
    int Percent;
  } const steps[] = {
      {WM_DOWNLOAD_WORKBEGIN, 1000, true, 1000, 0}, {WM_DOWNLOAD_WORK, 4, false, 1000, 0},
      {WM_DOWNLOAD_WORK, 6, true, 1000, 1},         {WM_DOWNLOAD_WORK, 9, false, 1000, 1},
      {WM_DOWNLOAD_WORK, 3000, true, 1000, 100},    {WM_DOWNLOAD_WORK, 5000, false, 1000, 100},
      {WM_DOWNLOAD_WORKBEGIN, 0, true, 0, 100},     {WM_DOWNLOAD_WORK, 10, false, 0, 100}, // unknown size
  };
  for (const auto& step : steps) {
    const TTaskEvent event = downloader.HandleTaskEvent({step.Msg, step.WParam, task.Id, {}}, 0);
    EXPECT_EQ(event.Task, &task);
    EXPECT_EQ(event.Redraw, step.Redraw) << step.Msg << " " << step.WParam;
    EXPECT_FALSE(event.Final);
    EXPECT_EQ(task.Size, step.Size);
    EXPECT_EQ(task.Percent, step.Percent) << step.Msg << " " << step.WParam;
    EXPECT_EQ(task.State, tsDownloading);
  }
  EXPECT_EQ(downloader.DoneCount() + downloader.FailedCount(), 0u);
}

// The chain rule: a final event marks and counts its task, then the next
// task starts unless Stop was pressed. The addresses name no file, so a
// start makes no worker (its refusal goes to the recorder).
TEST(Vellicorer, AFinalEventMarksCountsAndStartsTheNextUnlessStopped)
{
  TempDir out;
  const std::string partial = out.WriteFile("partial.swf", "half");
  struct {
    const char* Name;
    std::size_t At; // the task that ends
    std::uint32_t Msg;
    bool Stopped;
    std::string FileName;
    int State;
    int Percent;            // was 40
    std::ptrdiff_t Current; // the task started last afterwards
    bool ChainOver;
  } const cases[] = {
      {"done", 0, WM_DOWNLOAD_DONE, false, partial, tsDone, 100, 1, false},
      {"error, no file", 0, WM_DOWNLOAD_ERROR, false, out.Folder() + "none.swf", tsFailed, 0, 1, false},
      {"error, partial file", 0, WM_DOWNLOAD_ERROR, false, partial, tsFailed, 40, 1, false},
      {"done after Stop", 0, WM_DOWNLOAD_DONE, true, partial, tsDone, 100, 0, false},
      {"error after Stop", 0, WM_DOWNLOAD_ERROR, true, "", tsFailed, 0, 0, false},
      {"done, last", 2, WM_DOWNLOAD_DONE, false, partial, tsDone, 100, 2, true},
      {"error, last, after Stop", 2, WM_DOWNLOAD_ERROR, true, partial, tsFailed, 40, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TEventRecorder events;
    TVellicorer downloader;
    downloader.AddTasks({"http://127.0.0.1/a/", "http://127.0.0.1/b/", "http://127.0.0.1/c/"});
    TSWFTask& task = *downloader.Tasks().Items(c.At);
    EXPECT_EQ(downloader.StartTask(&task, events.Handle()), nullptr);
    if (c.Stopped)
      downloader.Stop();
    task.FileName = c.FileName;
    task.Percent = 40;
    const bool done = c.Msg == WM_DOWNLOAD_DONE;
    const TTaskEvent event = downloader.HandleTaskEvent({c.Msg, 0, task.Id, "failed"}, events.Handle());
    EXPECT_EQ(event.Task, &task);
    EXPECT_TRUE(event.Final && event.Redraw);
    EXPECT_EQ(event.ChainOver, c.ChainOver);
    EXPECT_EQ(task.State, c.State);
    EXPECT_EQ(task.Percent, c.Percent);
    EXPECT_EQ(downloader.DoneCount(), done ? 1u : 0u);
    EXPECT_EQ(downloader.FailedCount(), done ? 0u : 1u);
    EXPECT_EQ(downloader.Tasks().IndexOf(downloader.CurrentTask()), c.Current);
    // The refusals of the starts are the only events posted.
    EXPECT_EQ(events.Drain().size(),
              static_cast<std::size_t>(c.Current - static_cast<std::ptrdiff_t>(c.At) + 1));
    // An event of a freed task changes nothing.
    const std::uint64_t gone = task.Id;
    downloader.Clear();
    EXPECT_EQ(downloader.HandleTaskEvent({c.Msg, 0, gone, {}}, events.Handle()).Task, nullptr);
    EXPECT_EQ(downloader.DoneCount() + downloader.FailedCount(), 0u);
  }
}

class VellicorerNginx : public ::testing::Test {
protected:
  void SetUp() override
  {
    QUENLOFT_REQUIRE_NGINX();
    FSite.WriteFile("m/a.swf", std::string(20000, 'a'));
    FSite.WriteFile("m/b.swf", std::string(30000, 'b'));
    FSite.WriteFile("m/c.swf", std::string(40000, 'c'));
    FSite.WriteFile("slow/big.swf", std::string(4 * 1024 * 1024, 'z'));
    NginxOptions options;
    options.Root = FSite.Path();
    options.ServerConfig = "location /slow/ { limit_rate 200k; }\n";
    FServer = std::make_unique<NginxServer>(options);
    FDownloader = std::make_unique<TVellicorer>();
    ApplyProgramClientSettings(FDownloader->HTTP());
    FDownloader->SetOutputFolder(FOut.Folder() + "deep/er");
  }

  // Plays the window: hands every event to the coordinator until the chain
  // is over. Returns the events in the order handled.
  std::vector<TMessage> RunChain(std::chrono::milliseconds Timeout = 30s)
  {
    std::vector<TMessage> log;
    FDownloader->StartTask(FDownloader->Tasks().Items(0), FEvents.Handle());
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    TMessage m;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!FEvents.Queue().WaitPop(m, 50ms))
        continue;
      log.push_back(m);
      if (FDownloader->HandleTaskEvent(m, FEvents.Handle()).ChainOver)
        break;
    }
    return log;
  }

  TempDir FSite;
  TempDir FOut;
  std::unique_ptr<NginxServer> FServer;
  TEventRecorder FEvents;
  std::unique_ptr<TVellicorer> FDownloader;
};

TEST_F(VellicorerNginx, RunsStrictlyInOrderWithUniqueNamesAndGoesOnAfterAFailure)
{
  // An earlier run left a.swf behind: it is never overwritten.
  FOut.WriteFile("deep/er/a.swf", "old");
  FDownloader->AddTasks({FServer->Url("/m/a.swf"), FServer->Url("/m/missing.swf"), FServer->Url("/m/a.swf"),
                         FServer->Url("/m/c.swf")});
  const auto log = RunChain();
  auto& tasks = FDownloader->Tasks();

  // Strict chain: every event of task k comes before any event of task k+1,
  // and each task has exactly one final event.
  std::vector<std::uint64_t> order;
  for (const auto& m : log)
    if (order.empty() || order.back() != m.LParam)
      order.push_back(m.LParam);
  ASSERT_EQ(order.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(order[i], tasks.Items(i)->Id);
    int finals = 0;
    for (const auto& m : log)
      finals += m.LParam == order[i] && TEventRecorder::IsFinal(m);
    EXPECT_EQ(finals, 1);
  }
  EXPECT_EQ(tasks.Items(0)->FileName, FOut.Folder() + "deep/er/a(2).swf");
  EXPECT_EQ(tasks.Items(2)->FileName, FOut.Folder() + "deep/er/a(3).swf");
  EXPECT_EQ(tasks.Items(3)->FileName, FOut.Folder() + "deep/er/c.swf");
  EXPECT_EQ(tasks.Items(1)->State, tsFailed);
  EXPECT_EQ(ReadFileBytes(FOut.Path() / "deep/er/a.swf"), "old");
  EXPECT_TRUE(ReadFileBytes(tasks.Items(0)->FileName) == std::string(20000, 'a'));
  EXPECT_TRUE(ReadFileBytes(tasks.Items(2)->FileName) == std::string(20000, 'a'));
  EXPECT_TRUE(ReadFileBytes(tasks.Items(3)->FileName) == std::string(40000, 'c'));
  // The failed one left no empty file.
  EXPECT_EQ(Listing(FOut.Path() / "deep/er"),
            (std::set<std::string>{"a.swf", "a(2).swf", "a(3).swf", "c.swf"}));
}

TEST_F(VellicorerNginx, UnusableNamesFailAtOnceAndNothingLandsOutsideTheFolder)
{
  const std::string tooLong(300, 'n');
  FDownloader->AddTasks({FServer->Url("/m/"), FServer->Url("/m/.."), FServer->Url("/m/%2e%2e"),
                         FServer->Url("/m/") + std::string("x\0y.swf", 7),
                         FServer->Url("/m/" + tooLong + ".swf"), FServer->Url("/m/b.swf")});
  const auto log = RunChain();
  auto& tasks = FDownloader->Tasks();
  std::vector<std::string> errors(tasks.Count());
  for (const auto& m : log) {
    TSWFTask* t = FDownloader->FindTask(m.LParam);
    if (m.Msg == WM_DOWNLOAD_ERROR && t)
      errors[static_cast<std::size_t>(tasks.IndexOf(t))] = m.Text;
  }
  EXPECT_EQ(errors[0], "The address names no file: " + FServer->Url("/m/"));
  EXPECT_NE(errors[1].find("folder step"), std::string::npos) << errors[1];
  EXPECT_NE(errors[3].find("NUL"), std::string::npos) << errors[3];
  EXPECT_NE(errors[4].find("longer than 255 bytes"), std::string::npos) << errors[4];
  // "%2e%2e" is not decoded: an ordinary (if odd) name inside the folder,
  // which the server answers or refuses; either way nothing leaves the folder.
  EXPECT_EQ(tasks.Items(5)->State, tsDone);
  EXPECT_EQ(Listing(FOut.Path()), std::set<std::string>{"deep"});
  EXPECT_EQ(Listing(FOut.Path() / "deep"), std::set<std::string>{"er"});
  for (const auto& name : Listing(FOut.Path() / "deep/er")) {
    EXPECT_TRUE(name == "b.swf" || name == "%2e%2e") << name;
  }
}

TEST_F(VellicorerNginx, StopCancelsTheCurrentTaskAndNothingFurtherStarts)
{
  FDownloader->AddTasks({FServer->Url("/slow/big.swf"), FServer->Url("/m/a.swf")});
  TDownLoad* worker = FDownloader->StartTask(FDownloader->Tasks().Items(0), FEvents.Handle());
  ASSERT_NE(worker, nullptr);
  std::vector<TMessage> seen;
  ASSERT_TRUE(FEvents.WaitFor(WM_DOWNLOAD_WORK, seen));
  FDownloader->Stop();
  EXPECT_TRUE(FDownloader->Stopped());
  worker->WaitFor(); // ends at its next progress event
  auto rest = FEvents.Drain();
  seen.insert(seen.end(), rest.begin(), rest.end());
  EXPECT_EQ(CountOf(seen, WM_DOWNLOAD_DONE) + CountOf(seen, WM_DOWNLOAD_ERROR), 0);
  // The partial file stays; the next task has not started.
  const auto partial = std::filesystem::file_size(FDownloader->Tasks().Items(0)->FileName);
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, 4u * 1024 * 1024);
  EXPECT_TRUE(FDownloader->Tasks().Items(1)->FileName.empty());
  // StartTask clears the stop flag again.
  FDownloader->StartTask(FDownloader->Tasks().Items(1), FEvents.Handle());
  EXPECT_FALSE(FDownloader->Stopped());
  EXPECT_TRUE(FEvents.WaitFor(WM_DOWNLOAD_DONE, seen));
}

TEST_F(VellicorerNginx, ClearJoinsTheWorkerAndStaleEventsFindNoTask)
{
  FDownloader->AddTasks({FServer->Url("/slow/big.swf")});
  const std::uint64_t id = FDownloader->Tasks().Items(0)->Id;
  FDownloader->StartTask(FDownloader->Tasks().Items(0), FEvents.Handle());
  std::vector<TMessage> seen;
  ASSERT_TRUE(FEvents.WaitFor(WM_DOWNLOAD_WORK, seen));
  FDownloader->Clear();
  // Joined: the worker's lease has ended with it.
  EXPECT_TRUE(testing::LeaseFree(FDownloader->HTTP()));
  EXPECT_EQ(FDownloader->Tasks().Count(), 0u);
  auto rest = FEvents.Drain();
  seen.insert(seen.end(), rest.begin(), rest.end());
  for (const auto& m : seen)
    EXPECT_EQ(FDownloader->FindTask(m.LParam), nullptr);
  EXPECT_EQ(FDownloader->FindTask(id), nullptr);
  // The client serves the next user at once (as the scanner would).
  EXPECT_EQ(FDownloader->HTTP().Get(FServer->Url("/m/b.swf")), std::string(30000, 'b'));
}

} // namespace
} // namespace quenloft

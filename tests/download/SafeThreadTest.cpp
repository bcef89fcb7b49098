#include "download/SafeThread.h"

#include "platform/Classes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quenloft {
namespace {

// What a probe's Cleanup saw; it outlives the probe.
struct TCleanupLog {
  int Count = 0;
  std::thread::id Thread;
  std::string LastWord; // the body's last word, read from the probe
};

// A thread whose body and error handler are given by the test; it records
// what ran, and on which thread. Its destructor does nothing special: the
// owner's pointer joins before any part of it goes.
class TProbeThread : public TSafeThread {
public:
  TProbeThread(TMakeKey Key, std::function<void(TProbeThread&)> Body, TCleanupLog* Log = nullptr,
               bool Reuse = false)
      : TSafeThread(Key), FBody(std::move(Body)), FLog(Log), FReuse(Reuse)
  {}

  std::atomic<int> Runs{0};
  std::string LastWord; // written by the body, read by Cleanup
  std::mutex Lock;
  std::vector<std::string> Errors;

protected:
  void SafeExecute() override
  {
    ++Runs;
    FBody(*this);
  }
  void Cleanup() override
  {
    if (!FLog)
      return;
    ++FLog->Count;
    FLog->Thread = std::this_thread::get_id();
    FLog->LastWord = LastWord;
  }
  void HandleError(const std::string& Msg) override
  {
    std::lock_guard guard(Lock);
    Errors.push_back(Msg);
  }

  bool ReusesThread() const override { return FReuse; }

private:
  std::function<void(TProbeThread&)> FBody;
  TCleanupLog* FLog;
  bool FReuse;
};

TThreadPtr<TProbeThread> MakeProbe(std::function<void(TProbeThread&)> Body, TCleanupLog* Log = nullptr,
                                   bool Reuse = false)
{
  return TSafeThread::Make<TProbeThread>(std::move(Body), Log, Reuse);
}

TEST(SafeThread, CreatedSuspendedAndFreedWithoutRunning)
{
  auto thread = MakeProbe([](TProbeThread&) {});
  // A thread created after it and resumed runs to its end meanwhile.
  auto later = MakeProbe([](TProbeThread&) {});
  later->Resume();
  later->WaitFor();
  ASSERT_EQ(later->Runs.load(), 1);
  EXPECT_EQ(thread->Runs.load(), 0);
  auto* probe = thread.get();
  probe->WaitFor(); // returns at once: nothing runs
  EXPECT_FALSE(probe->Finished());
  thread.reset(); // no hang, no body
}

TEST(SafeThread, GuardHandsExceptionMessagesToHandleError)
{
  auto ours = MakeProbe([](TProbeThread&) { throw Exception("Unable to create directory"); });
  ours->Resume();
  ours->WaitFor();
  ASSERT_EQ(ours->Errors.size(), 1u);
  EXPECT_EQ(ours->Errors[0], "Unable to create directory");
  EXPECT_TRUE(ours->Finished());

  auto standard = MakeProbe([](TProbeThread&) { throw std::runtime_error("bad_alloc-like"); });
  standard->Resume();
  standard->WaitFor();
  ASSERT_EQ(standard->Errors.size(), 1u);
  EXPECT_EQ(standard->Errors[0], "bad_alloc-like");

  auto fine = MakeProbe([](TProbeThread&) {});
  fine->Resume();
  fine->Resume(); // a second Resume does nothing
  fine->WaitFor();
  EXPECT_EQ(fine->Runs.load(), 1);
  EXPECT_TRUE(fine->Errors.empty());
}

TEST(SafeThread, FreeingStopsAndJoinsThenCleansUpOnTheFreeingThread)
{
  for (const bool reuse : {false, true}) {
    SCOPED_TRACE(reuse ? "on a reusable thread" : "on a thread of its own");
    std::atomic<bool> started{false};
    std::atomic<bool> sawStop{false};
    auto thread = MakeProbe(
        [&](TProbeThread& self) {
          started = true;
          while (!self.Terminated())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          sawStop = true;
        },
        nullptr, reuse);
    thread->Resume();
    while (!started)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto* probe = thread.get();
    EXPECT_FALSE(probe->Finished());
    // The destructor requests termination and waits: after it the body has
    // seen the request, so it really was joined, not detached.
    thread.reset();
    EXPECT_TRUE(sawStop.load());
  }
}

// A chain of reusable bodies, each started after the previous one was
// freed, runs on one thread that is not the owner's.
TEST(SafeThread, ReusableBodiesOneAfterAnotherShareOneThread)
{
  std::vector<std::thread::id> ran(5);
  for (auto& id : ran) {
    auto thread = MakeProbe([&id](TProbeThread&) { id = std::this_thread::get_id(); }, nullptr, true);
    thread->Resume();
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
  }
  EXPECT_NE(ran[0], std::this_thread::get_id());
  for (const auto& id : ran)
    EXPECT_EQ(id, ran[0]);
}

TEST(SafeThread, CleanupRunsOnceOnTheFreeingThreadWhileTheObjectStands)
{
  // The body still writes a member of the derived class after the stop
  // request; the class has no destructor of its own, yet freeing neither
  // races with it (the sanitizers would see a use after free) nor loses it.
  TCleanupLog log;
  std::atomic<bool> started{false};
  auto thread = MakeProbe(
      [&](TProbeThread& self) {
        started = true;
        while (!self.Terminated())
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        self.LastWord = std::string(64, 'w');
      },
      &log);
  thread->Resume();
  while (!started)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  thread.reset();
  EXPECT_EQ(log.Count, 1);
  EXPECT_EQ(log.Thread, std::this_thread::get_id());
  EXPECT_EQ(log.LastWord, std::string(64, 'w'));

  // A thread that never ran is cleaned up once as well.
  TCleanupLog idle;
  MakeProbe([](TProbeThread&) {}, &idle).reset();
  EXPECT_EQ(idle.Count, 1);
}

} // namespace
} // namespace quenloft

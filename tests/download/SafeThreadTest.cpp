#include "download/SafeThread.h"

#include "platform/Classes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quenloft {
namespace {

// A thread whose body and error handler are given by the test; it records
// what ran, and on which thread.
class TProbeThread : public TSafeThread {
public:
  explicit TProbeThread(std::function<void(TProbeThread&)> Body) : FBody(std::move(Body)) {}
  ~TProbeThread() override { Destroy(); }

  std::atomic<int> Runs{0};
  std::atomic<int> Cleanups{0};
  std::thread::id CleanupThread;
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
    ++Cleanups;
    CleanupThread = std::this_thread::get_id();
  }
  void HandleError(const std::string& Msg) override
  {
    std::lock_guard guard(Lock);
    Errors.push_back(Msg);
  }

private:
  std::function<void(TProbeThread&)> FBody;
};

TEST(SafeThread, CreatedSuspendedAndFreedWithoutRunning)
{
  auto thread = std::make_unique<TProbeThread>([](TProbeThread&) {});
  // A thread created after it and resumed runs to its end meanwhile.
  TProbeThread later([](TProbeThread&) {});
  later.Resume();
  later.WaitFor();
  ASSERT_EQ(later.Runs.load(), 1);
  EXPECT_EQ(thread->Runs.load(), 0);
  auto* probe = thread.get();
  probe->WaitFor();  // returns at once: nothing runs
  EXPECT_FALSE(probe->Finished());
  thread.reset();    // no hang, no body
}

TEST(SafeThread, GuardHandsExceptionMessagesToHandleError)
{
  TProbeThread ours([](TProbeThread&) { throw Exception("Unable to create directory"); });
  ours.Resume();
  ours.WaitFor();
  ASSERT_EQ(ours.Errors.size(), 1u);
  EXPECT_EQ(ours.Errors[0], "Unable to create directory");
  EXPECT_TRUE(ours.Finished());

  TProbeThread standard([](TProbeThread&) { throw std::runtime_error("bad_alloc-like"); });
  standard.Resume();
  standard.WaitFor();
  ASSERT_EQ(standard.Errors.size(), 1u);
  EXPECT_EQ(standard.Errors[0], "bad_alloc-like");

  TProbeThread fine([](TProbeThread&) {});
  fine.Resume();
  fine.Resume();  // a second Resume does nothing
  fine.WaitFor();
  EXPECT_EQ(fine.Runs.load(), 1);
  EXPECT_TRUE(fine.Errors.empty());
}

TEST(SafeThread, FreeingStopsAndJoinsThenCleansUpOnTheFreeingThread)
{
  std::atomic<bool> started{false};
  std::atomic<bool> sawStop{false};
  auto thread = std::make_unique<TProbeThread>([&](TProbeThread& self) {
    started = true;
    while (!self.Terminated())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sawStop = true;
  });
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

TEST(SafeThread, CleanupRunsOnceAfterTheEnd)
{
  TProbeThread thread([](TProbeThread&) {});
  thread.Resume();
  thread.WaitFor();
  EXPECT_EQ(thread.Cleanups.load(), 0);
  // Destroy is what the destructor calls; a second call does nothing.
  struct TDestroyer : TProbeThread {
    using TProbeThread::TProbeThread;
    void CallDestroy() { Destroy(); }
  };
  TDestroyer d([](TProbeThread&) {});
  d.Resume();
  d.CallDestroy();
  d.CallDestroy();
  EXPECT_EQ(d.Cleanups.load(), 1);
  EXPECT_EQ(d.CleanupThread, std::this_thread::get_id());
  EXPECT_TRUE(d.Terminated());
}

} // namespace
} // namespace quenloft

#include "download/SafeThread.h"

#include "platform/Classes.h"
#include "platform/Trace.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quenloft {

// The reusable threads: a body of a class whose ReusesThread is true runs on
// the parked thread when one waits, else on a new one; a thread whose body
// has ended parks for the next body, or ends when another is parked already
// or after a while without work. The end of a body is marked under the same
// lock as the parking, so an owner that has seen Finished and starts the
// next body finds the thread parked: one thread serves a whole chain.
class TThreadPark {
public:
  static TThreadPark& Instance()
  {
    // Never destroyed: a parked thread may still wait on it at exit.
    static auto* park = new TThreadPark;
    return *park;
  }

  void Start(TSafeThread* Thread)
  {
    bool handed = false;
    {
      std::lock_guard guard(FLock);
      if (FParked && !FNext) {
        FNext = Thread;
        FParked = false;
        handed = true;
      }
    }
    // Woken after the unlock, the parked thread need not wait for the lock.
    if (handed) {
      FWake.notify_one();
      return;
    }
    std::thread([this, Thread] { Run(Thread); }).detach();
  }

  void WaitFor(const TSafeThread* Thread)
  {
    // The owner usually asks right after the body's last message, while the
    // thread is a few steps from the end: a short look saves it a sleep.
    for (int i = 0; i < SpinLooks && !Thread->Finished(); ++i)
      std::this_thread::yield();
    if (Thread->Finished())
      return;
    std::unique_lock guard(FLock);
    FEnded.wait(guard, [Thread] { return Thread->Finished(); });
  }

private:
  // How long a parked thread waits for the next body before it ends.
  static constexpr std::chrono::seconds IdleLimit{5};
  // How often WaitFor looks before it sleeps.
  static constexpr int SpinLooks = 50;

  void Run(TSafeThread* Thread)
  {
    for (;;) {
      Thread->Execute();
      std::unique_lock guard(FLock);
      // After this the thread no longer touches the object: the owner may
      // free it as soon as it sees Finished.
      Thread->FFinished.store(true, std::memory_order_release);
      FEnded.notify_all();
      if (FParked || FNext)
        return;
      FParked = true;
      // The owner usually hands the next body over within microseconds of
      // the last message: a few looks (giving the processor away each time)
      // spare both threads a sleep and a wake-up.
      for (int i = 0; i < SpinLooks && !FNext; ++i) {
        guard.unlock();
        std::this_thread::yield();
        guard.lock();
      }
      if (!FWake.wait_for(guard, IdleLimit, [this] { return FNext != nullptr; })) {
        FParked = false;
        return;
      }
      Thread = FNext;
      FNext = nullptr;
    }
  }

  std::mutex FLock;
  std::condition_variable FWake;  // a body for the parked thread
  std::condition_variable FEnded; // a body has ended
  bool FParked = false;           // a thread waits in Run
  TSafeThread* FNext = nullptr;   // handed to the parked thread, not yet taken
};

void TThreadJoiner::operator()(TSafeThread* Thread) const
{
  // The whole object still stands while its thread ends and Cleanup runs.
  Thread->Destroy();
  delete Thread;
}

TSafeThread::~TSafeThread()
{
  // Destroy has run (TThreadJoiner); this only guards a thread that was
  // never joined, so that std::thread does not end the process.
  Destroy();
}

void TSafeThread::Resume()
{
  if (FStarted)
    return;
  FStarted = true;
  if (ReusesThread()) {
    FParked = true;
    TThreadPark::Instance().Start(this);
    return;
  }
  FThread = std::thread([this] {
    Execute();
    FFinished.store(true, std::memory_order_release);
  });
}

void TSafeThread::WaitFor()
{
  if (FParked)
    TThreadPark::Instance().WaitFor(this);
  else if (FThread.joinable())
    FThread.join();
}

void TSafeThread::Destroy()
{
  if (FDestroyed)
    return;
  FDestroyed = true;
  // A body that has ended needs no stop: the request is only recorded.
  if (Finished())
    FTerminated.store(true, std::memory_order_relaxed);
  else
    Terminate();
  // A thread that was never resumed ends without running its body, as a
  // suspended thread that is resumed after a stop request would.
  WaitFor();
  Cleanup();
}

void TSafeThread::HandleError(const std::string& Msg)
{
  Trace("Thread Error: " + Msg);
}

void TSafeThread::Execute()
{
  try {
    SafeExecute();
  } catch (const Exception& e) {
    HandleError(e.what());
  } catch (const std::exception& e) {
    // Failures of the standard library (allocation, system errors) are
    // reported like our own rather than ending the process.
    HandleError(e.what());
  }
}

} // namespace quenloft

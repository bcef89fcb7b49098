// TSafeThread: the base of the program's background threads. The thread
// body runs inside a guard that turns an escaping Exception into a call of
// HandleError; freeing the object stops and joins the thread.
//
// Threads: Resume, Terminate, WaitFor and the destructor are called on the
// owner's thread (the UI thread in the window); SafeExecute and HandleError
// run on the new thread; Terminated may be read from both.
//
// A derived class that overrides Cleanup, or whose SafeExecute uses members
// of the derived class, calls Destroy() first thing in its own destructor:
// a base destructor can no longer reach the derived parts.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace quenloft {

class TSafeThread {
public:
  virtual ~TSafeThread();
  TSafeThread(const TSafeThread&) = delete;
  TSafeThread& operator=(const TSafeThread&) = delete;

  // Starts a thread that was created suspended; later calls do nothing.
  void Resume();
  // Asks the body to stop, then calls DoTerminate.
  void Terminate()
  {
    FTerminated.store(true, std::memory_order_relaxed);
    DoTerminate();
  }
  bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
  // Waits until the thread has ended (returns at once when it never ran).
  void WaitFor();
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }

protected:
  // Created suspended: nothing runs before Resume.
  TSafeThread() = default;

  // The terminate notification: runs on the thread that called Terminate
  // (the owner's), while the body may still run. A body that blocks ends its
  // wait here; the default only lets the body look at Terminated.
  virtual void DoTerminate() {}
  // The real thread body.
  virtual void SafeExecute() = 0;
  // Runs in Destroy after the thread has ended, on the destroying thread.
  virtual void Cleanup() {}
  // Writes the trace line "Thread Error: " + Msg.
  virtual void HandleError(const std::string& Msg);

  // Requests termination, resumes, waits for the end, runs Cleanup once.
  void Destroy();

private:
  void Execute();

  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  bool FStarted = false;
  bool FDestroyed = false;
};

} // namespace quenloft

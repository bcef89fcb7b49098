// TSafeThread: the base of the program's background threads. The thread
// body runs inside a guard that turns an escaping Exception into a call of
// HandleError; freeing the object stops the body and waits for its end (a
// thread of its own is joined; a reusable one, see ReusesThread, is parked
// once the body has ended).
//
// Threads: Resume, Terminate, WaitFor and the freeing are done on the
// owner's thread (the UI thread in the window); SafeExecute and HandleError
// run on the new thread; Terminated may be read from both.
//
// Thread objects are made only by TSafeThread::Make, which hands them out in
// a TThreadPtr: freeing one stops and joins the thread and runs Cleanup
// before any destructor runs, so the body never meets a half-destroyed
// object and a derived class has nothing to remember. The constructor key
// keeps anyone from making one on the stack or in another smart pointer.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace quenloft {

class TSafeThread;

// Stops the body and waits for its end, runs Cleanup, then deletes the object.
struct TThreadJoiner {
  void operator()(TSafeThread* Thread) const;
};

template <class T>
using TThreadPtr = std::unique_ptr<T, TThreadJoiner>;

class TSafeThread {
  // Only Make can create one; every constructor of a derived class takes it.
  class TKey {
    TKey() = default;
    friend class TSafeThread;
  };

public:
  using TMakeKey = TKey;

  // Creates a thread object suspended: nothing runs before Resume.
  template <class T, class... TArgs>
  static TThreadPtr<T> Make(TArgs&&... Args)
  {
    return TThreadPtr<T>(new T(TKey{}, std::forward<TArgs>(Args)...));
  }

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
  // Waits until the body has ended (returns at once when it never ran).
  void WaitFor();
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }

protected:
  explicit TSafeThread(TKey) {}

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
  // True: the body may run on a parked thread that an earlier body of such
  // a class ran on, and its thread is parked afterwards for the next one,
  // which saves creating a thread per task. Only for bodies that leave no
  // mark on their thread (priority, signal mask, thread-locals).
  virtual bool ReusesThread() const { return false; }

private:
  friend struct TThreadJoiner;
  friend class TThreadPark;

  // Requests termination, waits for the end, runs Cleanup once.
  void Destroy();

  // Runs the body in the error guard; the end is marked by the caller.
  void Execute();

  std::thread FThread; // a thread of its own (ReusesThread false)
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  bool FStarted = false;
  bool FParked = false; // the body was handed to a reusable thread
  bool FDestroyed = false;
};

} // namespace quenloft

// Posting messages to a "window": our stand-in for the system's message
// queue. A window handle names a registered message sink; posting to 0, or
// to a handle that is gone, does nothing. Each sink queues what it is given
// and delivers it later on its owner's thread, in posting order.
//
// Threads: every function here may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace quenloft {

using HWND = std::uint64_t;

// The task events a download worker posts; LParam carries the task's id.
inline constexpr std::uint32_t WM_DOWNLOAD_DONE = 0x7F2;
inline constexpr std::uint32_t WM_DOWNLOAD_WORK = 0x7F3;
inline constexpr std::uint32_t WM_DOWNLOAD_WORKBEGIN = 0x7F4;
inline constexpr std::uint32_t WM_DOWNLOAD_ERROR = 0x7F5;
// The page scan's events (the scan's number as LParam): its progress
// (WParam = whole percent of the page read) and its end.
inline constexpr std::uint32_t WM_SCAN_PROGRESS = 0x7F6;
inline constexpr std::uint32_t WM_SCAN_DONE = 0x7F7;
// A download failed for a passing reason and is tried again: WParam is the
// try about to be made (2 for the first retry), Text what the row says.
inline constexpr std::uint32_t WM_DOWNLOAD_RETRY = 0x7F8;
// A resumed download goes to a fresh file after all (the server sent the
// whole file again): Text is the new file's path.
inline constexpr std::uint32_t WM_DOWNLOAD_FILE = 0x7F9;

struct TMessage {
  std::uint32_t Msg = 0;
  std::int64_t WParam = 0;
  std::uint64_t LParam = 0;
  std::string Text; // the error text of WM_DOWNLOAD_ERROR
};

// Whatever receives posted messages. Post is called on the posting thread;
// an implementation queues the message and hands it to its owner's thread.
class IMessageSink {
public:
  virtual ~IMessageSink() = default;
  virtual void Post(TMessage Message) = 0;
};

// Registers a sink and returns its handle (never 0).
HWND RegisterWindow(IMessageSink& Sink);
// Forgets a handle; returns once no post to that sink is still running, so
// the sink may be destroyed right afterwards.
void UnregisterWindow(HWND Wnd);
// Posts to a registered window; false when Wnd is 0 or not registered.
bool PostMessage(HWND Wnd, TMessage Message);

// Nothing is posted and 0 is returned when Wnd or Msg is 0; otherwise the
// result of PostMessage (non-zero on success).
int SafePostMessage(HWND Wnd, std::uint32_t Msg, std::int64_t WParam, std::uint64_t LParam,
                    std::string Text = {});

// A sink that keeps messages until its owner takes them: used by the
// command-line front end's loop and by the tests. Messages come out in
// posting order. A progress message (work-begin, work, scan progress) wakes no waiting
// reader: the reader looks at the queue at least every ProgressDelay while
// it waits, and a final message wakes it at once, taking the progress
// before it along. A small file thus costs the reader one wake-up instead
// of three, and a progress line is at most ProgressDelay late.
//
// Being woken is the dearest part of a small file: the wake-up crosses to
// another processor. So while the final messages follow each other
// quickly (a chain of small files), WaitPop first looks at the queue,
// giving the processor away between looks, for about as long as the last
// task took (at most MaxLook), and only then sleeps. Once a task takes
// longer than MaxLook, the reader sleeps at once again.
class TMessageQueue : public IMessageSink {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds ProgressDelay{10};
  static constexpr std::chrono::microseconds MaxLook{500};

  void Post(TMessage Message) override;
  // Waits up to Timeout for the next message; false when none came.
  bool WaitPop(TMessage& Message, std::chrono::milliseconds Timeout);
  bool TryPop(TMessage& Message);
  // Wakes a WaitPop without a message (for example on a signal).
  void Interrupt();

private:
  // The reader took a final message at Now: sets how long to look next.
  void NoteFinal(Clock::time_point Now);

  std::mutex FLock;
  std::condition_variable FReady;
  std::deque<TMessage> FQueue;
  bool FInterrupted = false;
  // Counts posts and interrupts: a looking reader watches it without the lock.
  std::atomic<std::uint64_t> FPosts{0};
  // Reader's side only.
  Clock::time_point FLastFinal{};
  Clock::duration FLookFor{};
};

// An IMessageSink registered for the lifetime of this object.
class TWindowHandle {
public:
  explicit TWindowHandle(IMessageSink& Sink) : FWnd(RegisterWindow(Sink)) {}
  ~TWindowHandle() { UnregisterWindow(FWnd); }
  TWindowHandle(const TWindowHandle&) = delete;
  TWindowHandle& operator=(const TWindowHandle&) = delete;
  HWND Handle() const { return FWnd; }

private:
  HWND FWnd;
};

} // namespace quenloft

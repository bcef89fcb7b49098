#include "platform/Messages.h"

#include <algorithm>
#include <shared_mutex>
#include <thread>
#include <unordered_map>

namespace quenloft {
namespace {

// Handles are never reused, so a post to a window that is gone can never
// reach a newer one.
struct TWindowTable {
  std::shared_mutex Lock;
  std::unordered_map<HWND, IMessageSink*> Sinks;
  HWND Next = 1;
};

TWindowTable& Windows()
{
  static TWindowTable table;
  return table;
}

bool IsProgress(std::uint32_t Msg)
{
  return Msg == WM_DOWNLOAD_WORK || Msg == WM_DOWNLOAD_WORKBEGIN || Msg == WM_SCAN_PROGRESS ||
         Msg == WM_DOWNLOAD_RETRY || Msg == WM_DOWNLOAD_FILE;
}

} // namespace

HWND RegisterWindow(IMessageSink& Sink)
{
  auto& table = Windows();
  std::unique_lock guard(table.Lock);
  const HWND wnd = table.Next++;
  table.Sinks.emplace(wnd, &Sink);
  return wnd;
}

void UnregisterWindow(HWND Wnd)
{
  auto& table = Windows();
  // The exclusive lock waits for every post in progress (they hold it shared).
  std::unique_lock guard(table.Lock);
  table.Sinks.erase(Wnd);
}

bool PostMessage(HWND Wnd, TMessage Message)
{
  if (Wnd == 0)
    return false;
  auto& table = Windows();
  std::shared_lock guard(table.Lock);
  const auto it = table.Sinks.find(Wnd);
  if (it == table.Sinks.end())
    return false;
  it->second->Post(std::move(Message));
  return true;
}

int SafePostMessage(HWND Wnd, std::uint32_t Msg, std::int64_t WParam, std::uint64_t LParam, std::string Text)
{
  if (Wnd == 0 || Msg == 0)
    return 0;
  return PostMessage(Wnd, TMessage{Msg, WParam, LParam, std::move(Text)}) ? 1 : 0;
}

void TMessageQueue::Post(TMessage Message)
{
  const bool progress = IsProgress(Message.Msg);
  {
    std::lock_guard guard(FLock);
    FQueue.push_back(std::move(Message));
  }
  FPosts.fetch_add(1, std::memory_order_release);
  if (!progress)
    FReady.notify_one();
}

bool TMessageQueue::WaitPop(TMessage& Message, std::chrono::milliseconds Timeout)
{
  const auto start = Clock::now();
  const auto deadline = start + Timeout;
  std::unique_lock guard(FLock);
  if (FQueue.empty() && !FInterrupted && FLookFor > Clock::duration::zero()) {
    // The chain is moving quickly: the next message is likely only
    // microseconds away, and looking for it costs less than being woken.
    const std::uint64_t seen = FPosts.load(std::memory_order_relaxed);
    guard.unlock();
    const auto lookUntil = std::min(deadline, start + FLookFor);
    while (FPosts.load(std::memory_order_acquire) == seen && Clock::now() < lookUntil)
      std::this_thread::yield();
    guard.lock();
  }
  while (FQueue.empty() && !FInterrupted) {
    const auto now = Clock::now();
    if (now >= deadline)
      break;
    // In slices: a progress message arrives without a wake-up.
    FReady.wait_for(guard, std::min<Clock::duration>(deadline - now, ProgressDelay));
  }
  FInterrupted = false;
  if (FQueue.empty())
    return false;
  Message = std::move(FQueue.front());
  FQueue.pop_front();
  if (!IsProgress(Message.Msg))
    NoteFinal(Clock::now());
  return true;
}

void TMessageQueue::NoteFinal(Clock::time_point Now)
{
  // Look for the next final message about as long as the last task took,
  // and not at all once tasks take longer than a look is worth.
  const auto took = Now - FLastFinal;
  FLastFinal = Now;
  FLookFor = took < MaxLook ? std::min<Clock::duration>(2 * took, MaxLook) : Clock::duration::zero();
}

bool TMessageQueue::TryPop(TMessage& Message)
{
  std::lock_guard guard(FLock);
  if (FQueue.empty())
    return false;
  Message = std::move(FQueue.front());
  FQueue.pop_front();
  if (!IsProgress(Message.Msg))
    NoteFinal(Clock::now());
  return true;
}

void TMessageQueue::Interrupt()
{
  {
    std::lock_guard guard(FLock);
    FInterrupted = true;
  }
  FPosts.fetch_add(1, std::memory_order_release);
  FReady.notify_all();
}

} // namespace quenloft

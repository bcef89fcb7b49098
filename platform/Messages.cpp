#include "platform/Messages.h"

#include <algorithm>
#include <shared_mutex>
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
  const bool progress = Message.Msg == WM_DOWNLOAD_WORK || Message.Msg == WM_DOWNLOAD_WORKBEGIN;
  {
    std::lock_guard guard(FLock);
    FQueue.push_back(std::move(Message));
  }
  if (!progress)
    FReady.notify_one();
}

bool TMessageQueue::WaitPop(TMessage& Message, std::chrono::milliseconds Timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  std::unique_lock guard(FLock);
  while (FQueue.empty() && !FInterrupted) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      break;
    // In slices: a progress message arrives without a wake-up.
    FReady.wait_for(guard, std::min<std::chrono::steady_clock::duration>(deadline - now, ProgressDelay));
  }
  FInterrupted = false;
  if (FQueue.empty())
    return false;
  Message = std::move(FQueue.front());
  FQueue.pop_front();
  return true;
}

bool TMessageQueue::TryPop(TMessage& Message)
{
  std::lock_guard guard(FLock);
  if (FQueue.empty())
    return false;
  Message = std::move(FQueue.front());
  FQueue.pop_front();
  return true;
}

void TMessageQueue::Interrupt()
{
  {
    std::lock_guard guard(FLock);
    FInterrupted = true;
  }
  FReady.notify_all();
}

} // namespace quenloft

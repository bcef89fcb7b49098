// A recording event target for the download tests: a TMessageQueue
// registered as a window, with helpers that wait for a task's events.
#pragma once

#include "download/DownLoad.h"
#include "download/SafeThread.h"
#include "platform/Messages.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quenloft::testing {

class TEventRecorder {
public:
  HWND Handle() const { return FWindow.Handle(); }
  TMessageQueue& Queue() { return FQueue; }

  static bool IsFinal(const TMessage& M) { return M.Msg == WM_DOWNLOAD_DONE || M.Msg == WM_DOWNLOAD_ERROR; }

  // Every event up to and including the first final one (or all that came
  // within Timeout when none did).
  std::vector<TMessage> UntilFinal(std::chrono::milliseconds Timeout = std::chrono::seconds(20))
  {
    std::vector<TMessage> seen;
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    TMessage m;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!FQueue.WaitPop(m, std::chrono::milliseconds(50)))
        continue;
      seen.push_back(m);
      if (IsFinal(m))
        break;
    }
    return seen;
  }

  // The first event of kind Msg within Timeout (false when none came);
  // everything taken on the way is appended to Seen.
  bool WaitFor(std::uint32_t Msg, std::vector<TMessage>& Seen,
               std::chrono::milliseconds Timeout = std::chrono::seconds(20))
  {
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    TMessage m;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!FQueue.WaitPop(m, std::chrono::milliseconds(50)))
        continue;
      Seen.push_back(m);
      if (m.Msg == Msg)
        return true;
    }
    return false;
  }

  // Whatever is queued now.
  std::vector<TMessage> Drain()
  {
    std::vector<TMessage> seen;
    TMessage m;
    while (FQueue.TryPop(m))
      seen.push_back(m);
    return seen;
  }

private:
  TMessageQueue FQueue;
  TWindowHandle FWindow{FQueue};
};

inline int CountOf(const std::vector<TMessage>& Seen, std::uint32_t Msg)
{
  int n = 0;
  for (const auto& m : Seen)
    n += m.Msg == Msg ? 1 : 0;
  return n;
}

// A worker set up the way the coordinator sets it up, reporting task Task
// to Events.
inline TThreadPtr<TDownLoad> MakeWorker(TIdHTTP& HTTP, TEventRecorder& Events, const std::string& URL,
                                        const std::string& FileName, std::uint64_t Task)
{
  auto worker = TSafeThread::Make<TDownLoad>(&HTTP);
  worker->FURL = URL;
  worker->FFileName = FileName;
  worker->FWnd = Events.Handle();
  worker->FMsgWorkBegin = WM_DOWNLOAD_WORKBEGIN;
  worker->FMsgWork = WM_DOWNLOAD_WORK;
  worker->FMsgDone = WM_DOWNLOAD_DONE;
  worker->FMsgError = WM_DOWNLOAD_ERROR;
  worker->FTask = Task;
  return worker;
}

} // namespace quenloft::testing

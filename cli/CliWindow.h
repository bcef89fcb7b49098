// The CLI loop's stand-in for the main window: it receives the workers'
// task events through a TMessageQueue and plays the window's handlers -
// work-begin sets Size and tsDownloading, work updates Percent (ties to
// even, a redraw only when the whole percentage changes), done and error
// finalise the task and start the next one unless "Stop" was requested.
// Events whose task is gone (FindTask gives nullptr) are dropped.
//
// Threads: the CLI-loop thread only; the workers only post to its queue.
#pragma once

#include "download/Vellicorer.h"
#include "platform/Messages.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace quenloft {

class TProgressView;
class TStopSignal;

class TCliWindow {
public:
  // Queue is registered as this window for as long as the object lives.
  TCliWindow(TVellicorer& Downloader, TProgressView& View, TMessageQueue& Queue);

  // Runs the chain from the first task until it is over, or until Stop
  // (Ctrl-C): then the running worker is cancelled and joined, and its
  // late events are still handled. Returns the process exit status.
  int Run(const TStopSignal& Stop);
  HWND Handle() const { return FWindow.Handle(); }

  std::size_t DoneCount() const { return FDone; }
  std::size_t FailedCount() const { return FFailed; }
  // After a Run that a signal stopped (named as the user knows it, such as
  // "Ctrl-C" or "SIGTERM"): what the stop left behind, for the
  // closing line ("the partial file stays" only when a file was in
  // progress).
  std::string StopNote(std::string_view Signal = "Ctrl-C") const;

  // One task event, as the window's four handlers would take it.
  void Dispatch(const TMessage& Message);

private:
  void WorkBegin(TSWFTask& Task, std::int64_t WParam);
  void Work(TSWFTask& Task, std::int64_t WParam);
  void Done(TSWFTask& Task);
  void Error(TSWFTask& Task, const std::string& Text);
  void StartNextTask(TSWFTask& Task);
  void Start(TSWFTask& Task);
  std::size_t RowOf(const TSWFTask& Task) const;

  TVellicorer& FDownloader;
  TProgressView& FView;
  TMessageQueue& FQueue;
  TWindowHandle FWindow;
  TDownLoad* FWorker = nullptr;   // the worker of the task started last
  TSWFTask* FCurrent = nullptr;   // the task started last
  bool FChainOver = false;
  bool FPartialKept = false;      // Run stopped a task whose file exists
  std::size_t FDone = 0;
  std::size_t FFailed = 0;
};

} // namespace quenloft

// The CLI loop's stand-in for the main window: it receives the workers'
// task events through a TMessageQueue and hands each to the coordinator
// (TVellicorer::HandleTaskEvent, which updates the task and goes on with the
// chain), then prints what changed. Events whose task is gone are dropped.
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

  std::size_t DoneCount() const { return FDownloader.DoneCount(); }
  std::size_t FailedCount() const { return FDownloader.FailedCount(); }
  // After a Run that a signal stopped (named as the user knows it, such as
  // "Ctrl-C" or "SIGTERM"): what the stop left behind, for the
  // closing line ("the partial file stays" only when a file was in
  // progress).
  std::string StopNote(std::string_view Signal = "Ctrl-C") const;

  // One task event, as the window's four handlers would take it.
  void Dispatch(const TMessage& Message);

private:
  std::size_t RowOf(const TSWFTask& Task) const;

  TVellicorer& FDownloader;
  TProgressView& FView;
  TMessageQueue& FQueue;
  TWindowHandle FWindow;
  bool FChainOver = false;
  bool FPartialKept = false; // Run stopped a task whose file exists
};

} // namespace quenloft

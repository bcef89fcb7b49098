// Ctrl-C (SIGINT) and SIGTERM for quenloft-cli, which both stop the run the
// same way. The signal handler does only async-signal-safe work: it counts,
// and either writes one byte into a self-pipe or, when the program asked for
// it (or on the second signal), leaves with _exit(128 + the signal).
// A watcher thread reads the pipe and runs the OnStop callback (it wakes the
// CLI loop through TMessageQueue::Interrupt), so no lock is ever taken inside
// the handler.
//
// Threads: construct, destroy and SetExitAtOnce on the CLI-loop thread;
// OnStop runs on the watcher thread; Requested may be read anywhere.
#pragma once

#include <functional>
#include <thread>

namespace quenloft {

class TStopSignal {
public:
  explicit TStopSignal(std::function<void()> OnStop);
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  // Whether Ctrl-C was pressed (or SIGTERM came).
  bool Requested() const;
  // The first signal that came (SIGINT or SIGTERM), 0 before any.
  int SignalNumber() const;
  // While set, the first Ctrl-C leaves at once too (nothing to save yet,
  // for example while the page is fetched).
  void SetExitAtOnce(bool ExitAtOnce);

private:
  void Watch();

  std::function<void()> FOnStop;
  std::thread FWatcher;
};

} // namespace quenloft

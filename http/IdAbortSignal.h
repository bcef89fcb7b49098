// TIdAbortSignal: ends a connection's waits from another thread. Abort sets
// a flag and makes a descriptor readable; every wait of the transport
// (connect, TLS handshake, receive) polls that descriptor beside its socket,
// so a stalled server cannot hold a transfer that its owner wants stopped.
// The signal stays raised until Reset.
//
// Threads: Abort and Aborted may be called from any thread; Reset only by
// the owner of the connection while no other thread can call Abort for the
// transfer that is over (the download coordinator joins a worker first).
#pragma once

#include <atomic>

namespace quenloft {

class TIdAbortSignal {
public:
  TIdAbortSignal();
  ~TIdAbortSignal();
  TIdAbortSignal(const TIdAbortSignal&) = delete;
  TIdAbortSignal& operator=(const TIdAbortSignal&) = delete;

  void Abort();
  bool Aborted() const { return FAborted.load(std::memory_order_acquire); }
  void Reset();
  // Readable while the signal is raised (-1 when none could be made; the
  // flag alone is then looked at between waits).
  int Handle() const { return FHandle; }

private:
  std::atomic<bool> FAborted{false};
  int FHandle = -1;
};

} // namespace quenloft

// TIdTransferLease: one user's hold on a client for the transfers it makes.
// While the lease lives, the client's work events go to the lease's handlers
// and every wait of the client's connection also ends (with EIdAborted) when
// the lease's abort signal is raised. When the lease ends, the client has
// neither again. A signal belongs to its user: a stop meant for one transfer
// can never end the next one, and nobody resets a signal on the client.
//
// A client holds at most one lease; asking for a second while one lives is a
// fault of the program and raises std::logic_error.
//
// Threads: made and ended on the thread that runs the transfers (the
// client's events then run there too); the signal may be raised from any
// thread.
#pragma once

#include "http/IdAbortSignal.h"
#include "http/IdComponent.h"

namespace quenloft {

class TIdTCPConnection;

struct TIdTransferHooks {
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
};

class TIdTransferLease {
public:
  TIdTransferLease(TIdTCPConnection& AClient, TIdTransferHooks AHooks, const TIdAbortSignal& AAbort);
  ~TIdTransferLease();
  TIdTransferLease(const TIdTransferLease&) = delete;
  TIdTransferLease& operator=(const TIdTransferLease&) = delete;

private:
  TIdTCPConnection& FClient;
  TIdTransferHooks FHooks;
};

} // namespace quenloft

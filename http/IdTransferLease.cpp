#include "http/IdTransferLease.h"

#include "http/IdTCPConnection.h"

#include <stdexcept>

namespace quenloft {

TIdTransferLease::TIdTransferLease(TIdTCPConnection& AClient, TIdTransferHooks AHooks,
                                   const TIdAbortSignal& AAbort)
    : FClient(AClient), FHooks(std::move(AHooks))
{
  if (FClient.FLeaseHooks)
    throw std::logic_error("the HTTP client is leased already");
  FClient.FLeaseHooks = &FHooks;
  FClient.UseAbortSignal(&AAbort);
}

TIdTransferLease::~TIdTransferLease()
{
  FClient.UseAbortSignal(nullptr);
  FClient.FLeaseHooks = nullptr;
}

} // namespace quenloft

// Whether a client is free: no transfer lease is held on it, so the next
// user can take one at once.
#pragma once

#include "http/IdTCPConnection.h"
#include "http/IdTransferLease.h"

#include <stdexcept>

namespace quenloft::testing {

inline bool LeaseFree(TIdTCPConnection& Client)
{
  try {
    const TIdAbortSignal Signal;
    const TIdTransferLease Lease(Client, {}, Signal);
    return true;
  } catch (const std::logic_error&) {
    return false;
  }
}

} // namespace quenloft::testing

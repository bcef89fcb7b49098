#include "http/IdAbortSignal.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quenloft {

TIdAbortSignal::TIdAbortSignal()
{
  FHandle = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TIdAbortSignal::~TIdAbortSignal()
{
  if (FHandle >= 0)
    close(FHandle);
}

void TIdAbortSignal::Abort()
{
  FAborted.store(true, std::memory_order_release);
  if (FHandle >= 0) {
    const std::uint64_t One = 1;
    // Only async-signal-safe calls: a signal handler may stop a transfer.
    while (write(FHandle, &One, sizeof(One)) < 0 && errno == EINTR) {
    }
  }
}

void TIdAbortSignal::Reset()
{
  // Nothing to drain unless Abort ran since the last Reset (the usual case
  // between two transfers): no system call then.
  if (!FAborted.exchange(false, std::memory_order_acq_rel))
    return;
  if (FHandle >= 0) {
    std::uint64_t Count = 0;
    while (read(FHandle, &Count, sizeof(Count)) < 0 && errno == EINTR) {
    }
  }
}

} // namespace quenloft

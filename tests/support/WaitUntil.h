// Polling with a deadline, for tests that wait on another thread or process
// without a signal of their own to wait for.
#pragma once

#include <chrono>
#include <thread>

namespace quenloft::testing {

// Polls Condition every 2 ms until it holds (true) or Timeout passes (false).
template <typename F>
bool WaitUntil(F Condition, std::chrono::milliseconds Timeout = std::chrono::seconds(5))
{
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

} // namespace quenloft::testing

// The program's diagnostic output. Trace lines go as datagrams to a listener
// found by a well-known socket name (TraceSocketPath); `quenloft-cli trace`
// is such a listener. When nobody listens nothing happens.
//
// Threads: Trace may be called from any thread; it never fails and never
// blocks. A TTraceListener is used by one thread.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quenloft {

void Trace(std::string_view Text);

// $XDG_RUNTIME_DIR/quenloft-trace, or /tmp/quenloft-trace-<uid> without it.
std::string TraceSocketPath();

class TTraceListener {
public:
  TTraceListener() = default;
  ~TTraceListener();
  TTraceListener(const TTraceListener&) = delete;
  TTraceListener& operator=(const TTraceListener&) = delete;

  // Binds the well-known name (or Path when given). Returns an error text,
  // empty on success.
  std::string Open(const std::string& Path = {});
  // The next line, or nothing when Timeout passed first.
  std::optional<std::string> Receive(std::chrono::milliseconds Timeout);

private:
  int FSocket = -1;
  std::string FPath;
};

} // namespace quenloft

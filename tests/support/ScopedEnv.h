// Test helpers that point the program at private places for one test: an
// environment variable set for a scope, and a trace listener of its own.
// Threads: use from the test's thread.
#pragma once

#include "platform/Trace.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace quenloft::testing {

// Sets an environment variable and puts the old value (or its absence) back.
class ScopedEnv {
public:
  ScopedEnv(const char* Name, const std::string& Value) : FName(Name)
  {
    if (const char* old = std::getenv(Name))
      FOld = old;
    ::setenv(Name, Value.c_str(), 1);
  }
  ~ScopedEnv() { FOld ? ::setenv(FName, FOld->c_str(), 1) : ::unsetenv(FName); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* FName;
  std::optional<std::string> FOld;
};

// Listens to the trace lines of this process under a private runtime folder.
class TraceCapture {
public:
  // Empty when the listener is bound; the error text otherwise.
  std::string Open() { return FListener.Open(); }
  // The lines that arrived, waiting 50 ms for each further one.
  std::vector<std::string> Drain()
  {
    std::vector<std::string> lines;
    while (auto line = FListener.Receive(std::chrono::milliseconds(50)))
      lines.push_back(*line);
    return lines;
  }

private:
  TempDir FRuntime;
  ScopedEnv FRuntimeEnv{"XDG_RUNTIME_DIR", FRuntime.Path().string()};
  TTraceListener FListener;
};

} // namespace quenloft::testing

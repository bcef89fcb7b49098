// Runs a program as a child process with its standard output and error
// read into strings (pipes, so the child sees no terminal), for the
// end-to-end tests of quenloft-cli.
//
// Threads: use from the test's thread; two reader threads per child.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace quenloft::testing {

class TChildProcess {
public:
  // Starts Program with Args (not including argv[0]).
  TChildProcess(const std::string& Program, const std::vector<std::string>& Args);
  // Kills the child if it still runs, and reaps it.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  void Signal(int Sig);
  // The exit status (128 + signal when killed by one), or -1 when the child
  // did not end within Timeout.
  int Wait(std::chrono::milliseconds Timeout = std::chrono::seconds(60));
  // What the child has written so far.
  std::string Out() const;
  std::string Err() const;

private:
  void Reap(int Status);

  pid_t FPid = -1;
  int FStatus = -1;
  mutable std::mutex FLock;
  std::string FOut;
  std::string FErr;
  std::thread FOutReader;
  std::thread FErrReader;
};

struct TRunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs to the end (or kills after Timeout, Status -1).
TRunResult RunProgram(const std::string& Program, const std::vector<std::string>& Args,
                      std::chrono::milliseconds Timeout = std::chrono::seconds(60));

// The lines of Text, without their line ends.
std::vector<std::string> Lines(const std::string& Text);

} // namespace quenloft::testing

// A real forward proxy on 127.0.0.1 for tests and benchmarks: Debian's
// tinyproxy in the foreground with a generated configuration (plain HTTP in
// absolute form and CONNECT tunnels to any port, optionally Basic
// credentials). The destructor stops it, and it dies with the test process.
// Its log records every request line it was sent.
//
// Threads: use from the test's thread.
#pragma once

#include "tests/support/TempDir.h"

#include <string>
#include <vector>

#include <sys/types.h>

namespace quenloft::testing {

class TinyProxy {
public:
  static bool Available();

  // Starts tinyproxy and waits until it accepts connections; throws
  // std::runtime_error when it does not start. With a user, only requests
  // with those Basic credentials are let through (407 otherwise).
  explicit TinyProxy(const std::string& User = {}, const std::string& Password = {});
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  int Port() const { return FPort; }
  // "http://[User:Password@]127.0.0.1:<port>"
  std::string Url(const std::string& User = {}, const std::string& Password = {}) const;
  // The request lines the proxy logged ("GET http://... HTTP/1.1",
  // "CONNECT host:port HTTP/1.1").
  std::vector<std::string> Requests() const;

private:
  TempDir FDir;
  int FPort = 0;
  pid_t FPid = -1;
};

// Skips the test when tinyproxy is not installed.
#define QUENLOFT_REQUIRE_TINYPROXY()                                                                         \
  do {                                                                                                       \
    if (!::quenloft::testing::TinyProxy::Available())                                                        \
      GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";                    \
  } while (false)

} // namespace quenloft::testing

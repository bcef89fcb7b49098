// A real nginx on 127.0.0.1 for tests and benchmarks: a generated
// configuration serving one folder on a free port, and with Tls on a
// second HTTPS port with a certificate of the test CA (TestCertificates).
// Runs as one foreground process of the current user; the destructor stops
// it, and it dies with the test process if that dies first.
//
// The access log has one line per request:
//   <connection> <connection_requests> "<request line>" <status> <body bytes>
// Threads: use from the test's thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace quenloft::testing {

class TempDir;

struct NginxOptions {
  std::filesystem::path Root; // the folder served at "/"
  bool Tls = false;           // also serve HTTPS
  std::string ServerConfig;   // extra directives inside each server block (locations, ...)
};

class NginxServer {
public:
  // True when an nginx binary is installed.
  static bool Available();

  // Starts nginx and waits until it accepts connections; throws
  // std::runtime_error with nginx's error log when it does not start.
  explicit NginxServer(NginxOptions Options);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  int Port() const { return FPort; }
  int TlsPort() const { return FTlsPort; }
  // "http://127.0.0.1:<port>" + Path
  std::string Url(const std::string& Path = "/") const;
  // "https://localhost:<tls port>" + Path
  std::string TlsUrl(const std::string& Path = "/") const;
  // The CA to trust for TlsUrl (the client's CAFile).
  std::string CAFile() const;
  // The access log lines so far (nginx writes them as requests end).
  std::vector<std::string> AccessLog() const;
  // The access log once it has at least ACount lines, or as it is when
  // ATimeout has passed: nginx writes a line when a request ends, which may
  // be just after the client has its answer.
  std::vector<std::string>
  WaitForAccessLog(std::size_t ACount, std::chrono::milliseconds ATimeout = std::chrono::seconds(3)) const;
  std::string ErrorLog() const;

private:
  void Start();
  void Stop();

  NginxOptions FOptions;
  std::unique_ptr<TempDir> FDir;
  int FPort = 0;
  int FTlsPort = 0;
  pid_t FPid = -1;
};

} // namespace quenloft::testing

// Skips the current test when nginx is not installed (scripts/install-deps.sh installs it).
#define QUENLOFT_REQUIRE_NGINX()                                                                             \
  do {                                                                                                       \
    if (!::quenloft::testing::NginxServer::Available())                                                      \
      GTEST_SKIP() << "nginx is not installed";                                                              \
  } while (0)

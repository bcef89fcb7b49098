// A throw-away certificate authority and a server certificate for
// "localhost" and 127.0.0.1, made with the openssl command, for the HTTPS
// tests and benchmarks. Made once per process, in a folder removed at exit.
// Threads: call from the test's thread.
#pragma once

#include <string>

namespace quenloft::testing {

struct TestCertificates {
  std::string CAFile;            // the test CA, to trust in the client
  std::string CertFile;          // server certificate (localhost, IP 127.0.0.1), signed by the CA
  std::string KeyFile;           // its private key
  std::string OtherCAFile;       // an unrelated CA: trusting only it must fail verification
  std::string WrongHostCertFile; // signed by the CA, but for "wrong.example" only
  std::string WrongHostKeyFile;
};

// Throws std::runtime_error when the openssl command fails.
const TestCertificates& GetTestCertificates();

} // namespace quenloft::testing

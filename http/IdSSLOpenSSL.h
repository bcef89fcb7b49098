// TIdSSLIOHandlerSocketOpenSSL: TLS (1.2 or newer) over the plain socket
// handler. After the TCP connect it runs a client handshake with the host
// name as SNI, checks the certificate chain against the system's CA store
// (or against CAFile when one is given) and checks that the certificate
// names the host; any failure raises EIdTLSError and closes the socket
// before a byte of the request goes out.
//
// Threads: a handler is used by one thread at a time. The TLS contexts are
// shared between handlers (one per CA setting) and made under a lock.
#pragma once

#include "http/IdIOHandlerSocket.h"

#include <string>

typedef struct ssl_st SSL;

namespace quenloft {

class TIdSSLIOHandlerSocketOpenSSL : public TIdIOHandlerSocket {
public:
  // ACAFile: a PEM file of trusted CA certificates; "" uses the system's.
  explicit TIdSSLIOHandlerSocketOpenSSL(std::string ACAFile = {});
  ~TIdSSLIOHandlerSocketOpenSSL() override;

  void Close() override;
  bool Readable(int ATimeout) override;
  int Recv(void* Buffer, int Count) override;
  int Send(const void* Buffer, int Count) override;
  bool Secure() const override { return true; }

  // Read at the next Open.
  std::string CAFile;

  // For the socket BIO, before each receive: waits for bytes within the
  // deadline of the handshake or read in progress. False (errno set) when
  // that deadline passed or the abort signal was raised.
  bool WaitForBytes() noexcept;

protected:
  void AfterConnect(const std::string& Host, int ATimeout) override;

private:
  void FreeSSL();
  [[noreturn]] void RaiseIOError(int ASSLError, const char* AWhat);

  SSL* FSSL = nullptr;
  bool FShutdownAllowed = false;
  // The wait of the Readable that found bytes on the socket, for the Recv
  // that follows it (-1: none). A record that arrives only in part must not
  // hold that Recv longer than the wait the caller asked for.
  int FReadWait = -1;
  // Deadline of the handshake or read in progress (-1: none), and how the
  // last wait of the BIO ended.
  long long FDeadline = -1;
  bool FBioTimedOut = false;
  bool FBioAborted = false;
};

// Why ACAFile cannot serve as the CAFile of a handler: it cannot be read,
// or it holds no PEM certificate. "" when it holds at least one. Front ends
// ask before they start, so a wrong file is a usage error and not a failed
// handshake much later.
std::string CAFileProblem(const std::string& ACAFile);

} // namespace quenloft

// The transport under a connection: a plain TCP socket, or TLS over one.
// TIdTCPConnection does all buffering; a handler only moves bytes.
//
// Threads: used by the one thread that drives its connection.
#pragma once

#include <string>

namespace quenloft {

class TIdAbortSignal;

class TIdIOHandler {
public:
  virtual ~TIdIOHandler() = default;

  // Resolves Host ("localhost" in any case is 127.0.0.1, a dotted quad is
  // taken as it is), connects to Port and, for a secure handler, runs the
  // handshake. ATimeout in ms; 0 or -1 waits for the system's own result.
  // Raises EIdSocketError, EIdConnectTimeout or EIdTLSError; on failure the
  // socket is closed again.
  virtual void Open(const std::string& Host, int Port, int ATimeout) = 0;
  // Shuts down the sending side and closes the socket; harmless when closed.
  virtual void Close() = 0;
  // True while a socket is allocated.
  virtual bool Allocated() const = 0;
  // Waits until bytes can be received (or the peer closed): true when ready,
  // false when ATimeout ms passed. ATimeout < 0 waits without limit. Every
  // wait (this one, the connect and the handshake in Open) raises
  // EIdAborted as soon as the abort signal is raised.
  virtual bool Readable(int ATimeout) = 0;
  // Receives up to Count bytes: > 0 bytes read, 0 when the peer closed.
  // Raises EIdSocketError; a secure handler raises EIdReadTimeout when a
  // record does not complete within the wait of the Readable before it.
  virtual int Recv(void* Buffer, int Count) = 0;
  // Sends up to Count bytes and returns how many went out (0: peer gone).
  // Raises EIdSocketError.
  virtual int Send(const void* Buffer, int Count) = 0;
  // True for a handler that encrypts (cookies marked "secure" may go out).
  virtual bool Secure() const { return false; }
  // The peer's address as text, once connected.
  virtual std::string PeerIP() const { return {}; }

  // The signal that ends this handler's waits; its connection sets it.
  void SetAbortSignal(const TIdAbortSignal* ASignal) { FAbortSignal = ASignal; }

protected:
  const TIdAbortSignal* FAbortSignal = nullptr;
};

} // namespace quenloft

// TIdIOHandlerSocket: the plain TCP transport over a POSIX stream socket.
// Resolves the host (IPv4 addresses first, then IPv6; an IPv6 literal comes
// without brackets), tries each address in turn until one connects (within
// an optional time-out), and moves bytes; all buffering is the connection's
// business.
//
// Threads: used by the one thread that drives its connection. OnStatus runs
// on that thread, inside Open.
#pragma once

#include "http/IdComponent.h"
#include "http/IdIOHandler.h"

#include <functional>
#include <string>

struct addrinfo;

namespace quenloft {

class TIdIOHandlerSocket : public TIdIOHandler {
public:
  TIdIOHandlerSocket() = default;
  ~TIdIOHandlerSocket() override;
  TIdIOHandlerSocket(const TIdIOHandlerSocket&) = delete;
  TIdIOHandlerSocket& operator=(const TIdIOHandlerSocket&) = delete;

  void Open(const std::string& Host, int Port, int ATimeout) override;
  void Close() override;
  bool Allocated() const override { return FHandle >= 0; }
  bool Readable(int ATimeout) override;
  int Recv(void* Buffer, int Count) override;
  int Send(const void* Buffer, int Count) override;
  std::string PeerIP() const override { return FPeerIP; }

  int Handle() const { return FHandle; }
  int PeerPort() const { return FPeerPort; }
  const std::string& LocalIP() const { return FLocalIP; }
  int LocalPort() const { return FLocalPort; }

  // True: Nagle's algorithm stays on (TCP_NODELAY is set only when false).
  bool UseNagle = true;
  // Local address and port to bind before connecting ("" and 0: any).
  std::string BoundIP;
  int BoundPort = 0;
  // The name lookup, the system's getaddrinfo when empty. It runs on a
  // thread of its own, so that a stop or the time-out of Open ends the wait
  // for a resolver that does not answer (the lookup is then given up).
  using TLookup =
      std::function<int(const char* Host, const char* Service, const addrinfo* Hints, addrinfo** List)>;
  TLookup Lookup;
  // Set for a connection through a proxy's tunnel: runs once the TCP
  // connection to the proxy stands, before anything else is sent (a secure
  // handler's handshake comes after it), with this handler and the time-out
  // of Open. A secure handler then checks TunnelHost, the origin's name,
  // instead of the proxy's.
  std::function<void(TIdIOHandlerSocket& AHandler, int ATimeout)> OnTunnel;
  std::string TunnelHost;
  // Resolving/connecting/connected reports; the connection hooks this up.
  std::function<void(TIdStatus AStatus, const std::string& AText)> OnStatus;

  // "localhost" in any case gives "127.0.0.1"; four dotted decimal numbers
  // from 0 to 255 give their plain form (each read as decimal, so leading
  // zeros change nothing: "010.0.0.1" is "10.0.0.1"); "" for any other text.
  // Any other text of digits and dots alone is not resolved but refused.
  static std::string LiteralIPv4(const std::string& Host);

protected:
  // Runs once the TCP connection stands (a secure handler shakes hands
  // here). ATimeout as for Open. The socket is closed when it raises.
  virtual void AfterConnect(const std::string& Host, int ATimeout);
  // The milliseconds left until the deadline of an Open (-1: no limit).
  static int RemainingMs(long long ADeadlineMs);
  static long long DeadlineFor(int ATimeout);
  // Polls the socket for AEvents (POLLIN, POLLOUT) together with the abort
  // signal: true when the socket is ready (or in error), false when
  // ATimeout ms passed (< 0: no limit). Raises EIdAborted when the signal
  // is raised, also when the socket is ready at the same time.
  bool WaitReady(short AEvents, int ATimeout);
  // The same for another descriptor of ours.
  bool WaitReady(int AHandle, short AEvents, int ATimeout);

  void ReportStatus(TIdStatus AStatus, const std::string& AText = {});

private:
  void ConnectTo(const void* AAddress, unsigned AAddressLength, int AFamily, long long ADeadlineMs);
  void ReadAddresses();

  int FHandle = -1;
  std::string FPeerIP;
  int FPeerPort = 0;
  std::string FLocalIP;
  int FLocalPort = 0;
};

} // namespace quenloft

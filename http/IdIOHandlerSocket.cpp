#include "http/IdIOHandlerSocket.h"

#include "http/IdAbortSignal.h"
#include "http/IdException.h"
#include "http/IdWinsockErrors.h"
#include "platform/kvuStrings.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <string_view>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace quenloft {

namespace {

long long NowMs()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One part of a dotted quad, read as a decimal number whatever zeros lead
// it ("010" is ten, never eight); -1 when it is no number from 0 to 255.
int DecimalOctet(std::string_view Part)
{
  if (Part.empty()) {
    return -1;
  }
  int Value = 0;
  for (char C : Part) {
    if (C < '0' || C > '9') {
      return -1;
    }
    Value = Value * 10 + (C - '0');
    if (Value > 255) {
      return -1;
    }
  }
  return Value;
}

// Only digits and dots: a name no resolver should be left to read, since
// the C library would take "0127.1" as octal and short forms as whole
// addresses.
bool LooksNumeric(const std::string& Host)
{
  return !Host.empty() && Host.find_first_not_of("0123456789.") == std::string::npos;
}

std::string AddressText(const sockaddr* Address)
{
  char Text[INET6_ADDRSTRLEN] = {};
  if (Address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(Address)->sin_addr, Text, sizeof(Text));
  } else if (Address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(Address)->sin6_addr, Text, sizeof(Text));
  }
  return Text;
}

int AddressPort(const sockaddr* Address)
{
  if (Address->sa_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in*>(Address)->sin_port);
  }
  if (Address->sa_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(Address)->sin6_port);
  }
  return 0;
}

struct TAddress {
  sockaddr_storage Storage{};
  socklen_t Length = 0;
};

// A name lookup on a thread of its own: the system's resolver cannot be
// interrupted, so the asking thread waits for it together with its stop
// signal and its time-out, and gives it up when either comes first. Both
// threads hold the job; whoever lets go last frees it, so a lookup that
// was given up ends quietly in the background.
struct TLookupJob {
  std::string Host;
  TIdIOHandlerSocket::TLookup Lookup;
  int Done = -1; // an eventfd, readable once the lookup has ended
  std::atomic<bool> Finished{false};
  int Result = 0;
  int SysErrno = 0;
  addrinfo* List = nullptr;

  ~TLookupJob()
  {
    if (List) {
      freeaddrinfo(List);
    }
    if (Done >= 0) {
      close(Done);
    }
  }

  void Run()
  {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    errno = 0;
    Result = Lookup(Host.c_str(), nullptr, &Hints, &List);
    SysErrno = errno;
    Finished.store(true, std::memory_order_release);
    if (Done >= 0) {
      const std::uint64_t One = 1;
      [[maybe_unused]] const ssize_t Written = write(Done, &One, sizeof(One));
    }
  }
};

// The addresses of a finished lookup for Port: IPv4 ones first, then IPv6,
// each group in the resolver's order.
std::vector<TAddress> Addresses(const TLookupJob& Job, int Port)
{
  if (Job.Result != 0) {
    RaiseSocketError(ResolverErrorToWSAError(Job.Result, Job.SysErrno));
  }
  std::vector<TAddress> V4;
  std::vector<TAddress> V6;
  for (const addrinfo* Item = Job.List; Item != nullptr; Item = Item->ai_next) {
    if (Item->ai_addrlen > sizeof(sockaddr_storage)) {
      continue;
    }
    TAddress Address;
    std::memcpy(&Address.Storage, Item->ai_addr, Item->ai_addrlen);
    Address.Length = Item->ai_addrlen;
    if (Item->ai_family == AF_INET) {
      reinterpret_cast<sockaddr_in*>(&Address.Storage)->sin_port = htons(static_cast<uint16_t>(Port));
      V4.push_back(Address);
    } else if (Item->ai_family == AF_INET6) {
      reinterpret_cast<sockaddr_in6*>(&Address.Storage)->sin6_port = htons(static_cast<uint16_t>(Port));
      V6.push_back(Address);
    }
  }
  V4.insert(V4.end(), V6.begin(), V6.end());
  if (V4.empty()) {
    RaiseSocketError(Id_WSAHOST_NOT_FOUND);
  }
  return V4;
}

// The addresses of Host for Port, IPv4 ones first, looked up on a thread
// of its own. Wait(Handle) waits for Handle to become readable: false when
// the time is up (it raises EIdAborted on a stop), which gives the lookup up.
std::vector<TAddress> Resolve(const std::string& Host, int Port, const TIdIOHandlerSocket::TLookup& Lookup,
                              const std::function<bool(int Handle)>& Wait)
{
  auto Job = std::make_shared<TLookupJob>();
  Job->Host = Host;
  Job->Lookup = Lookup ? Lookup : TIdIOHandlerSocket::TLookup(::getaddrinfo);
  Job->Done = eventfd(0, EFD_CLOEXEC);
  bool Started = false;
  if (Job->Done >= 0) {
    try {
      std::thread([Job] { Job->Run(); }).detach();
      Started = true;
    } catch (const std::system_error&) {
      // No thread to spare: the lookup runs here, uninterrupted.
    }
  }
  if (!Started) {
    Job->Run();
  } else if (!Wait(Job->Done)) {
    throw EIdConnectTimeout();
  }
  // The eventfd said so; the flag makes the job's fields ours to read.
  if (!Job->Finished.load(std::memory_order_acquire)) {
    throw EIdConnectTimeout();
  }
  return Addresses(*Job, Port);
}

} // namespace

TIdIOHandlerSocket::~TIdIOHandlerSocket()
{
  TIdIOHandlerSocket::Close();
}

std::string TIdIOHandlerSocket::LiteralIPv4(const std::string& Host)
{
  if (SameText(Host, "localhost")) {
    return "127.0.0.1";
  }
  std::string Quad;
  int Parts = 0;
  std::size_t Start = 0;
  while (true) {
    const std::size_t Dot = Host.find('.', Start);
    const int Octet = DecimalOctet(
        std::string_view(Host).substr(Start, Dot == std::string::npos ? std::string::npos : Dot - Start));
    if (Octet < 0 || ++Parts > 4) {
      return {};
    }
    if (!Quad.empty())
      Quad += '.';
    Quad += std::to_string(Octet);
    if (Dot == std::string::npos) {
      break;
    }
    Start = Dot + 1;
  }
  return Parts == 4 ? Quad : std::string();
}

long long TIdIOHandlerSocket::DeadlineFor(int ATimeout)
{
  return ATimeout > 0 ? NowMs() + ATimeout : -1;
}

int TIdIOHandlerSocket::RemainingMs(long long ADeadlineMs)
{
  if (ADeadlineMs < 0) {
    return -1;
  }
  const long long Left = ADeadlineMs - NowMs();
  if (Left <= 0) {
    return 0;
  }
  return Left > INT_MAX ? INT_MAX : static_cast<int>(Left);
}

void TIdIOHandlerSocket::ReportStatus(TIdStatus AStatus, const std::string& AText)
{
  if (OnStatus) {
    OnStatus(AStatus, AText);
  }
}

void TIdIOHandlerSocket::Open(const std::string& Host, int Port, int ATimeout)
{
  Close();
  // A port that does not fit in 16 bits would otherwise be cut to one that
  // does, and the request would go to a service nobody named.
  if (Port < 1 || Port > 65535) {
    RaiseSocketError(Id_WSAEADDRNOTAVAIL);
  }
  const long long Deadline = DeadlineFor(ATimeout);
  try {
    std::vector<TAddress> Found;
    const std::string Literal = LiteralIPv4(Host);
    // Every name is announced as being resolved, "localhost" too, even
    // though that one needs no lookup.
    if (!LooksNumeric(Host)) {
      ReportStatus(TIdStatus::hsResolving, Host);
    }
    if (!Literal.empty()) {
      TAddress Address;
      auto* In = reinterpret_cast<sockaddr_in*>(&Address.Storage);
      In->sin_family = AF_INET;
      In->sin_port = htons(static_cast<uint16_t>(Port));
      // An address that does not convert is never connected to: the
      // untouched zeros would mean this machine.
      if (inet_pton(AF_INET, Literal.c_str(), &In->sin_addr) != 1) {
        RaiseSocketError(Id_WSAHOST_NOT_FOUND);
      }
      Address.Length = sizeof(sockaddr_in);
      Found.push_back(Address);
    } else if (LooksNumeric(Host)) {
      RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    } else {
      Found = Resolve(Host, Port, Lookup,
                      [&](int Done) { return WaitReady(Done, POLLIN, RemainingMs(Deadline)); });
    }
    // Try each address in turn; the error of the last one is the answer.
    for (std::size_t I = 0; I < Found.size(); ++I) {
      const TAddress& Address = Found[I];
      try {
        ConnectTo(&Address.Storage, Address.Length, Address.Storage.ss_family, Deadline);
        break;
      } catch (const EIdSocketError&) {
        Close();
        if (I + 1 == Found.size() || RemainingMs(Deadline) == 0) {
          throw;
        }
      }
    }
    ReadAddresses();
    ReportStatus(TIdStatus::hsConnected);
    if (OnTunnel) {
      OnTunnel(*this, ATimeout);
      AfterConnect(TunnelHost, ATimeout);
    } else {
      AfterConnect(Host, ATimeout);
    }
  } catch (...) {
    Close();
    throw;
  }
}

void TIdIOHandlerSocket::ConnectTo(const void* AAddress, unsigned AAddressLength, int AFamily,
                                   long long ADeadlineMs)
{
  // Non-blocking for the connect itself, so that a time-out (and a signal
  // interrupting a blocking connect) can be handled by poll().
  FHandle = socket(AFamily, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (FHandle < 0) {
    throw EIdInvalidSocket();
  }

  if (!BoundIP.empty() || BoundPort != 0) {
    sockaddr_storage Local{};
    socklen_t LocalLength = 0;
    if (AFamily == AF_INET) {
      auto* In = reinterpret_cast<sockaddr_in*>(&Local);
      In->sin_family = AF_INET;
      In->sin_port = htons(static_cast<uint16_t>(BoundPort));
      if (!BoundIP.empty() && inet_pton(AF_INET, BoundIP.c_str(), &In->sin_addr) != 1) {
        RaiseSocketError(Id_WSAEADDRNOTAVAIL);
      }
      LocalLength = sizeof(sockaddr_in);
    } else {
      auto* In6 = reinterpret_cast<sockaddr_in6*>(&Local);
      In6->sin6_family = AF_INET6;
      In6->sin6_port = htons(static_cast<uint16_t>(BoundPort));
      if (!BoundIP.empty() && inet_pton(AF_INET6, BoundIP.c_str(), &In6->sin6_addr) != 1) {
        RaiseSocketError(Id_WSAEADDRNOTAVAIL);
      }
      LocalLength = sizeof(sockaddr_in6);
    }
    if (bind(FHandle, reinterpret_cast<sockaddr*>(&Local), LocalLength) != 0) {
      if (errno == EADDRINUSE) {
        throw EIdCouldNotBindSocket();
      }
      RaiseErrnoSocketError(errno);
    }
  }

  if (!UseNagle) {
    int One = 1;
    setsockopt(FHandle, IPPROTO_TCP, TCP_NODELAY, &One, sizeof(One));
  }

  const auto* Peer = static_cast<const sockaddr*>(AAddress);
  ReportStatus(TIdStatus::hsConnecting, AddressText(Peer));
  if (connect(FHandle, Peer, AAddressLength) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      RaiseErrnoSocketError(errno);
    }
    if (!WaitReady(POLLOUT, RemainingMs(ADeadlineMs))) {
      throw EIdConnectTimeout();
    }
    int Error = 0;
    socklen_t ErrorLength = sizeof(Error);
    if (getsockopt(FHandle, SOL_SOCKET, SO_ERROR, &Error, &ErrorLength) != 0) {
      Error = errno;
    }
    if (Error != 0) {
      RaiseErrnoSocketError(Error);
    }
  }

  // Reads and writes block; Readable() bounds the waits.
  const int Flags = fcntl(FHandle, F_GETFL);
  fcntl(FHandle, F_SETFL, Flags & ~O_NONBLOCK);
}

void TIdIOHandlerSocket::ReadAddresses()
{
  sockaddr_storage Address{};
  socklen_t Length = sizeof(Address);
  if (getpeername(FHandle, reinterpret_cast<sockaddr*>(&Address), &Length) == 0) {
    FPeerIP = AddressText(reinterpret_cast<sockaddr*>(&Address));
    FPeerPort = AddressPort(reinterpret_cast<sockaddr*>(&Address));
  }
  Length = sizeof(Address);
  if (getsockname(FHandle, reinterpret_cast<sockaddr*>(&Address), &Length) == 0) {
    FLocalIP = AddressText(reinterpret_cast<sockaddr*>(&Address));
    FLocalPort = AddressPort(reinterpret_cast<sockaddr*>(&Address));
  }
}

void TIdIOHandlerSocket::AfterConnect(const std::string& /*Host*/, int /*ATimeout*/) {}

void TIdIOHandlerSocket::Close()
{
  if (FHandle >= 0) {
    shutdown(FHandle, SHUT_WR);
    close(FHandle);
    FHandle = -1;
  }
}

bool TIdIOHandlerSocket::WaitReady(short AEvents, int ATimeout)
{
  return WaitReady(FHandle, AEvents, ATimeout);
}

bool TIdIOHandlerSocket::WaitReady(int AHandle, short AEvents, int ATimeout)
{
  const long long Deadline = ATimeout < 0 ? -1 : NowMs() + ATimeout;
  const int AbortHandle = FAbortSignal ? FAbortSignal->Handle() : -1;
  pollfd Poll[2] = {{AHandle, AEvents, 0}, {AbortHandle, POLLIN, 0}};
  while (true) {
    if (FAbortSignal && FAbortSignal->Aborted()) {
      throw EIdAborted();
    }
    const int Ready = poll(Poll, AbortHandle >= 0 ? 2 : 1, ATimeout < 0 ? -1 : RemainingMs(Deadline));
    if (Ready > 0 && Poll[1].revents == 0) {
      // POLLHUP and POLLERR count as ready: the next call reports them.
      return true;
    }
    if (Ready == 0) {
      return false;
    }
    if (Ready < 0 && errno != EINTR) {
      RaiseErrnoSocketError(errno);
    }
  }
}

bool TIdIOHandlerSocket::Readable(int ATimeout)
{
  if (FHandle < 0) {
    throw EIdConnClosedGracefully();
  }
  return WaitReady(POLLIN, ATimeout);
}

int TIdIOHandlerSocket::Recv(void* Buffer, int Count)
{
  if (FHandle < 0) {
    throw EIdConnClosedGracefully();
  }
  while (true) {
    const ssize_t Received = recv(FHandle, Buffer, static_cast<std::size_t>(Count), 0);
    if (Received >= 0) {
      return static_cast<int>(Received);
    }
    if (errno != EINTR) {
      RaiseErrnoSocketError(errno);
    }
  }
}

int TIdIOHandlerSocket::Send(const void* Buffer, int Count)
{
  if (FHandle < 0) {
    throw EIdConnClosedGracefully();
  }
  while (true) {
    // MSG_NOSIGNAL: a peer that is gone gives EPIPE instead of SIGPIPE.
    const ssize_t Sent = send(FHandle, Buffer, static_cast<std::size_t>(Count), MSG_NOSIGNAL);
    if (Sent >= 0) {
      return static_cast<int>(Sent);
    }
    if (errno != EINTR) {
      RaiseErrnoSocketError(errno);
    }
  }
}

} // namespace quenloft

#include "platform/Trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quenloft {
namespace {

bool MakeAddress(const std::string& Path, sockaddr_un& Addr)
{
  std::memset(&Addr, 0, sizeof Addr);
  Addr.sun_family = AF_UNIX;
  if (Path.empty() || Path.size() >= sizeof Addr.sun_path)
    return false;
  std::memcpy(Addr.sun_path, Path.data(), Path.size());
  return true;
}

} // namespace

std::string TraceSocketPath()
{
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && *dir != '\0')
    return std::string(dir) + "/quenloft-trace";
  return "/tmp/quenloft-trace-" + std::to_string(::getuid());
}

void Trace(std::string_view Text)
{
  if (Text.empty())
    return;
  // One non-blocking socket for the whole process; a datagram to a name
  // nobody has bound simply fails.
  static const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (sock < 0)
    return;
  sockaddr_un addr;
  if (!MakeAddress(TraceSocketPath(), addr))
    return;
  ::sendto(sock, Text.data(), Text.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

TTraceListener::~TTraceListener()
{
  if (FSocket >= 0) {
    ::close(FSocket);
    ::unlink(FPath.c_str());
  }
}

std::string TTraceListener::Open(const std::string& Path)
{
  FPath = Path.empty() ? TraceSocketPath() : Path;
  sockaddr_un addr;
  if (!MakeAddress(FPath, addr))
    return "trace socket path is too long: " + FPath;
  FSocket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (FSocket < 0)
    return std::strerror(errno);
  // A name left behind by a listener that died is taken over; a live
  // listener answers a connect, a stale name refuses it.
  const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe >= 0) {
    const bool alive = ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(probe);
    if (alive) {
      ::close(FSocket);
      FSocket = -1;
      return "another trace listener is running on " + FPath;
    }
  }
  ::unlink(FPath.c_str());
  if (::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const std::string error = std::strerror(errno);
    ::close(FSocket);
    FSocket = -1;
    return error;
  }
  return {};
}

std::optional<std::string> TTraceListener::Receive(std::chrono::milliseconds Timeout)
{
  if (FSocket < 0)
    return std::nullopt;
  pollfd pfd{FSocket, POLLIN, 0};
  if (::poll(&pfd, 1, static_cast<int>(Timeout.count())) <= 0)
    return std::nullopt;
  std::string line(65536, '\0');
  const ssize_t n = ::recv(FSocket, line.data(), line.size(), 0);
  if (n < 0)
    return std::nullopt;
  line.resize(static_cast<std::size_t>(n));
  return line;
}

} // namespace quenloft

#include "tests/support/ScriptedServer.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quenloft::testing {
namespace {

// Waits until the socket is readable; false on time-out.
bool WaitReadable(int Socket, std::chrono::milliseconds Timeout)
{
  pollfd pfd{Socket, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&pfd, 1, static_cast<int>(Timeout.count()));
    if (r >= 0)
      return r > 0;
    if (errno != EINTR)
      return false;
  }
}

} // namespace

std::string ScriptedConnection::ReadRequest(std::chrono::milliseconds Timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    const auto end = FPending.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = FPending.substr(0, end + 4);
      FPending.erase(0, end + 4);
      FServer.Record(head);
      return head;
    }
    // Poll in short slices so a stopping server is noticed quickly.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || Stopping())
      return {};
    if (!WaitReadable(FSocket, std::min(left, std::chrono::milliseconds(50))))
      continue;
    char buf[16384];
    const ssize_t n = ::recv(FSocket, buf, sizeof buf, 0);
    if (n <= 0)
      return {};
    FPending.append(buf, static_cast<std::size_t>(n));
  }
}

bool ScriptedConnection::Send(std::string_view Bytes)
{
  while (!Bytes.empty()) {
    const ssize_t n = ::send(FSocket, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR)
        continue;
      return false;
    }
    Bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void ScriptedConnection::SendSlowly(std::string_view Bytes, std::size_t PieceSize,
                                    std::chrono::milliseconds Pause)
{
  while (!Bytes.empty() && !Stopping()) {
    const std::size_t n = std::min(PieceSize, Bytes.size());
    Send(Bytes.substr(0, n));
    Bytes.remove_prefix(n);
    if (!Bytes.empty())
      Sleep(Pause);
  }
}

void ScriptedConnection::Sleep(std::chrono::milliseconds Duration)
{
  const auto deadline = std::chrono::steady_clock::now() + Duration;
  while (!Stopping() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::min(Duration, std::chrono::milliseconds(10)));
}

bool ScriptedConnection::WaitForPeerClose(std::chrono::milliseconds Timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (std::chrono::steady_clock::now() < deadline && !Stopping()) {
    if (!WaitReadable(FSocket, std::chrono::milliseconds(20)))
      continue;
    char buf[4096];
    const ssize_t n = ::recv(FSocket, buf, sizeof buf, 0);
    if (n <= 0)
      return true;
    FPending.append(buf, static_cast<std::size_t>(n));
  }
  return false;
}

void ScriptedConnection::Close()
{
  ::shutdown(FSocket, SHUT_RDWR);
}

bool ScriptedConnection::Stopping() const
{
  return FServer.FStopping.load();
}

ScriptedServer::ScriptedServer(Script OnConnection, const std::string& Address, int Port)
    : FScript(std::move(OnConnection)), FAddress(Address)
{
  sockaddr_storage addr{};
  socklen_t len = 0;
  const bool v6 = Address.find(':') != std::string::npos;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&addr);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(static_cast<std::uint16_t>(Port));
    if (::inet_pton(AF_INET6, Address.c_str(), &in6->sin6_addr) != 1)
      throw std::runtime_error("ScriptedServer: not an IPv6 address: " + Address);
    len = sizeof(sockaddr_in6);
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    in->sin_family = AF_INET;
    in->sin_port = htons(static_cast<std::uint16_t>(Port));
    if (::inet_pton(AF_INET, Address.c_str(), &in->sin_addr) != 1)
      throw std::runtime_error("ScriptedServer: not an IPv4 address: " + Address);
    len = sizeof(sockaddr_in);
  }
  FListen = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FListen < 0)
    throw std::runtime_error("ScriptedServer: socket failed");
  int one = 1;
  ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(FListen, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(FListen, 64) != 0) {
    const int error = errno;
    ::close(FListen);
    throw std::runtime_error("ScriptedServer: cannot listen on " + Address + ": " + std::strerror(error));
  }
  len = sizeof addr;
  ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
  FPort = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  FAcceptor = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer()
{
  FStopping = true;
  ::shutdown(FListen, SHUT_RDWR);
  FAcceptor.join();
  {
    std::lock_guard guard(FLock);
    for (int s : FSockets)
      ::shutdown(s, SHUT_RDWR);
  }
  for (auto& t : FThreads)
    t.join();
  for (int s : FSockets)
    ::close(s);
  ::close(FListen);
}

std::string ScriptedServer::Url(std::string_view Path) const
{
  const std::string host = FAddress.find(':') != std::string::npos ? "[" + FAddress + "]" : FAddress;
  return "http://" + host + ":" + std::to_string(FPort) + std::string(Path);
}

std::vector<std::string> ScriptedServer::Requests() const
{
  std::lock_guard guard(FLock);
  return FRequests;
}

void ScriptedServer::Record(std::string Request)
{
  std::lock_guard guard(FLock);
  FRequests.push_back(std::move(Request));
}

void ScriptedServer::AcceptLoop()
{
  while (!FStopping) {
    if (!WaitReadable(FListen, std::chrono::milliseconds(50)))
      continue;
    const int s = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (s < 0)
      continue;
    ++FConnections;
    std::lock_guard guard(FLock);
    FSockets.push_back(s);
    FThreads.emplace_back([this, s] {
      ScriptedConnection connection(*this, s);
      FScript(connection);
      // The script is over: say so to the client like a server that closes.
      ::shutdown(s, SHUT_RDWR);
    });
  }
}

ScriptedServer::Script ScriptedServer::Replay(std::vector<ScriptedAnswer> Answers)
{
  struct TState {
    std::mutex Lock;
    std::vector<ScriptedAnswer> Answers;
    std::size_t Next = 0;
  };
  auto state = std::make_shared<TState>();
  state->Answers = std::move(Answers);
  return [state](ScriptedConnection& Connection) {
    for (;;) {
      if (Connection.ReadRequest().empty())
        return;
      ScriptedAnswer answer;
      {
        std::lock_guard guard(state->Lock);
        if (state->Next >= state->Answers.size())
          return;
        answer = state->Answers[state->Next++];
      }
      if (answer.DropRequest)
        return;
      if (answer.Delay.count() > 0)
        Connection.Sleep(answer.Delay);
      if (answer.Drip.count() > 0)
        Connection.SendSlowly(answer.Bytes, 1, answer.Drip);
      else
        Connection.Send(answer.Bytes);
      // The client's send buffer fills, so an endless body ends when the
      // client closes or the server stops.
      while (!answer.Endless.empty() && !Connection.Stopping() && Connection.Send(answer.Endless)) {
      }
      if (answer.Stall) {
        Connection.WaitForPeerClose(std::chrono::seconds(60));
        return;
      }
      if (answer.CloseAfter)
        return;
    }
  };
}

ScriptedServer::Script ScriptedServer::Replay(std::vector<std::string> Answers)
{
  std::vector<ScriptedAnswer> answers;
  for (auto& a : Answers)
    answers.push_back(ScriptedAnswer{std::move(a)});
  return Replay(std::move(answers));
}

} // namespace quenloft::testing

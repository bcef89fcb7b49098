#include "tests/support/TinyProxy.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quenloft::testing {
namespace {

constexpr const char* Binary = "/usr/bin/tinyproxy";

sockaddr_in Loopback(int Port)
{
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(Port));
  return addr;
}

int FreePort()
{
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(0);
  ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(s);
  return ntohs(addr.sin_port);
}

bool Accepts(int Port)
{
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(Port);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(s);
  return ok;
}

} // namespace

bool TinyProxy::Available()
{
  return ::access(Binary, X_OK) == 0;
}

TinyProxy::TinyProxy(const std::string& User, const std::string& Password)
{
  FPort = FreePort();
  const std::string config = (FDir.Path() / "tinyproxy.conf").string();
  {
    std::ofstream out(config);
    out << "Port " << FPort << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 64\nLogLevel Connect\n"
        << "LogFile \"" << (FDir.Path() / "tinyproxy.log").string() << "\"\n"
        << "Allow 127.0.0.1\nDisableViaHeader Yes\n";
    if (!User.empty())
      out << "BasicAuth " << User << ' ' << Password << '\n';
  }
  FPid = ::fork();
  if (FPid < 0)
    throw std::runtime_error("fork failed");
  if (FPid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execl(Binary, Binary, "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      throw std::runtime_error("tinyproxy did not start");
    }
    if (Accepts(FPort))
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(FPid, SIGKILL);
  ::waitpid(FPid, nullptr, 0);
  throw std::runtime_error("tinyproxy did not start in time");
}

TinyProxy::~TinyProxy()
{
  if (FPid <= 0)
    return;
  ::kill(FPid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(FPid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string TinyProxy::Url(const std::string& User, const std::string& Password) const
{
  const std::string credentials = User.empty() ? std::string() : User + ":" + Password + "@";
  return "http://" + credentials + "127.0.0.1:" + std::to_string(FPort);
}

std::vector<std::string> TinyProxy::Requests() const
{
  std::vector<std::string> lines;
  std::ifstream in(FDir.Path() / "tinyproxy.log");
  const std::string mark = "]: Request (file descriptor ";
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find(mark);
    if (at == std::string::npos)
      continue;
    const std::size_t colon = line.find("): ", at);
    if (colon != std::string::npos)
      lines.push_back(line.substr(colon + 3));
  }
  return lines;
}

} // namespace quenloft::testing

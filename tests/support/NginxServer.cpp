#include "tests/support/NginxServer.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
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

const char* const NginxPaths[] = {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"};

std::string NginxBinary()
{
  for (const char* path : NginxPaths)
    if (::access(path, X_OK) == 0)
      return path;
  return {};
}

// A port that was free a moment ago (nginx cannot listen on port 0).
int FreePort()
{
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(s);
  return ntohs(addr.sin_port);
}

bool Accepts(int Port)
{
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(Port));
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(s);
  return ok;
}

std::vector<std::string> ReadLines(const std::filesystem::path& File)
{
  std::vector<std::string> lines;
  std::ifstream in(File);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

} // namespace

bool NginxServer::Available()
{
  return !NginxBinary().empty();
}

NginxServer::NginxServer(NginxOptions Options) : FOptions(std::move(Options))
{
  if (!Available())
    throw std::runtime_error("nginx is not installed");
  FDir = std::make_unique<TempDir>();
  // A port taken by someone else between FreePort and nginx's bind makes
  // the start fail; try a few times.
  for (int attempt = 0;; ++attempt) {
    try {
      Start();
      return;
    } catch (const std::runtime_error&) {
      if (attempt == 4)
        throw;
    }
  }
}

NginxServer::~NginxServer()
{
  Stop();
}

void NginxServer::Start()
{
  const auto dir = FDir->Path();
  FPort = FreePort();
  FTlsPort = FOptions.Tls ? FreePort() : 0;
  const std::string root = std::filesystem::absolute(FOptions.Root).string();

  std::ostringstream server;
  server << "    server_name localhost;\n"
         << "    root \"" << root << "\";\n"
         << FOptions.ServerConfig << "\n";

  std::ostringstream conf;
  conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
       << "pid \"" << (dir / "nginx.pid").string() << "\";\n"
       << "error_log \"" << (dir / "error.log").string() << "\" warn;\n"
       << "events { worker_connections 1024; }\n"
       << "http {\n"
       << "  log_format quenloft '$connection $connection_requests \"$request\" $status "
          "$body_bytes_sent';\n"
       << "  access_log \"" << (dir / "access.log").string() << "\" quenloft;\n"
       << "  client_body_temp_path \"" << (dir / "client_body").string() << "\";\n"
       << "  proxy_temp_path \"" << (dir / "proxy").string() << "\";\n"
       << "  fastcgi_temp_path \"" << (dir / "fastcgi").string() << "\";\n"
       << "  uwsgi_temp_path \"" << (dir / "uwsgi").string() << "\";\n"
       << "  scgi_temp_path \"" << (dir / "scgi").string() << "\";\n"
       << "  types { text/html html htm; application/x-shockwave-flash swf; text/plain txt; }\n"
       << "  default_type application/octet-stream;\n"
       << "  sendfile on;\n  tcp_nopush on;\n"
       << "  keepalive_requests 100000;\n  keepalive_timeout 60s;\n"
       << "  server {\n    listen 127.0.0.1:" << FPort << ";\n"
       << server.str() << "  }\n";
  if (FOptions.Tls) {
    const auto& certs = GetTestCertificates();
    conf << "  server {\n    listen 127.0.0.1:" << FTlsPort << " ssl;\n"
         << "    ssl_certificate \"" << certs.CertFile << "\";\n"
         << "    ssl_certificate_key \"" << certs.KeyFile << "\";\n"
         << "    ssl_protocols TLSv1.2 TLSv1.3;\n"
         << server.str() << "  }\n";
  }
  conf << "}\n";
  FDir->WriteFile("nginx.conf", conf.str());

  const std::string binary = NginxBinary();
  const std::string prefix = dir.string() + "/";
  const std::string config = (dir / "nginx.conf").string();
  const std::string errors = (dir / "error.log").string();
  FPid = ::fork();
  if (FPid < 0)
    throw std::runtime_error("fork failed");
  if (FPid == 0) {
    // Dies with the test process, so no nginx outlives a crashed test.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execl(binary.c_str(), binary.c_str(), "-p", prefix.c_str(), "-c", config.c_str(), "-e", errors.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      throw std::runtime_error("nginx did not start: " + ErrorLog());
    }
    if (Accepts(FPort) && (!FOptions.Tls || Accepts(FTlsPort)))
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Stop();
  throw std::runtime_error("nginx did not start in time: " + ErrorLog());
}

void NginxServer::Stop()
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
  FPid = -1;
}

std::string NginxServer::Url(const std::string& Path) const
{
  return "http://127.0.0.1:" + std::to_string(FPort) + Path;
}

std::string NginxServer::TlsUrl(const std::string& Path) const
{
  return "https://localhost:" + std::to_string(FTlsPort) + Path;
}

std::string NginxServer::CAFile() const
{
  return GetTestCertificates().CAFile;
}

std::vector<std::string> NginxServer::AccessLog() const
{
  return ReadLines(FDir->Path() / "access.log");
}

std::vector<std::string> NginxServer::WaitForAccessLog(std::size_t ACount,
                                                       std::chrono::milliseconds ATimeout) const
{
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  auto lines = AccessLog();
  while (lines.size() < ACount && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    lines = AccessLog();
  }
  return lines;
}

std::string NginxServer::ErrorLog() const
{
  std::string text;
  for (const auto& line : ReadLines(FDir->Path() / "error.log"))
    text += line + "\n";
  return text;
}

} // namespace quenloft::testing

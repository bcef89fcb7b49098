#include "tests/cli/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quenloft::testing {
namespace {

void ReadAll(int Fd, std::string& Into, std::mutex& Lock)
{
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(Fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    std::lock_guard guard(Lock);
    Into.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(Fd);
}

} // namespace

TChildProcess::TChildProcess(const std::string& Program, const std::vector<std::string>& Args)
{
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  // The child gets default signal handling whatever the test runner set.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> args{Program};
  args.insert(args.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = ::posix_spawn(&FPid, Program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(out[0]);
    ::close(err[0]);
    throw std::runtime_error("cannot start " + Program);
  }
  FOutReader = std::thread([this, fd = out[0]] { ReadAll(fd, FOut, FLock); });
  FErrReader = std::thread([this, fd = err[0]] { ReadAll(fd, FErr, FLock); });
}

TChildProcess::~TChildProcess()
{
  if (FStatus < 0 && FPid > 0) {
    ::kill(FPid, SIGKILL);
    int status = 0;
    ::waitpid(FPid, &status, 0);
  }
  if (FOutReader.joinable())
    FOutReader.join();
  if (FErrReader.joinable())
    FErrReader.join();
}

void TChildProcess::Signal(int Sig)
{
  if (FStatus < 0 && FPid > 0)
    ::kill(FPid, Sig);
}

void TChildProcess::Reap(int Status)
{
  FStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  FOutReader.join();
  FErrReader.join();
}

int TChildProcess::Wait(std::chrono::milliseconds Timeout)
{
  if (FStatus >= 0)
    return FStatus;
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(FPid, &status, WNOHANG);
    if (done == FPid) {
      Reap(status);
      return FStatus;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string TChildProcess::Out() const
{
  std::lock_guard guard(FLock);
  return FOut;
}

std::string TChildProcess::Err() const
{
  std::lock_guard guard(FLock);
  return FErr;
}

TRunResult RunProgram(const std::string& Program, const std::vector<std::string>& Args,
                      std::chrono::milliseconds Timeout)
{
  TChildProcess child(Program, Args);
  TRunResult result;
  result.Status = child.Wait(Timeout);
  if (result.Status < 0)
    child.Signal(SIGKILL);
  result.Out = child.Out();
  result.Err = child.Err();
  return result;
}

std::vector<std::string> Lines(const std::string& Text)
{
  std::vector<std::string> lines;
  std::istringstream in(Text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

} // namespace quenloft::testing

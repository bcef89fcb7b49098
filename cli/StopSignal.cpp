#include "cli/StopSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace quenloft {
namespace {

// Shared with the handler: lock-free atomics and plain file descriptors only.
std::atomic<int> SignalCount{0};
std::atomic<int> FirstSignal{0};
std::atomic<bool> ExitAtOnce{false};
// The self-pipe. The write end is atomic because a handler may be running
// on another thread while the destructor takes the pipe down.
int PipeRead = -1;
std::atomic<int> PipeWrite{-1};

constexpr char StopByte = 's';
constexpr char QuitByte = 'q';

extern "C" void OnInterrupt(int Signal)
{
  const int saved = errno;
  int none = 0;
  FirstSignal.compare_exchange_strong(none, Signal);
  const int count = SignalCount.fetch_add(1) + 1;
  if (count >= 2 || ExitAtOnce.load()) {
    static const char text[] = "\nquenloft-cli: interrupted\n";
    [[maybe_unused]] auto ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(128 + Signal);
  }
  const char byte = StopByte;
  if (const int fd = PipeWrite.load(); fd >= 0) {
    [[maybe_unused]] auto ignored = ::write(fd, &byte, 1);
  }
  errno = saved;
}

} // namespace

TStopSignal::TStopSignal(std::function<void()> OnStop) : FOnStop(std::move(OnStop))
{
  static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
  SignalCount.store(0);
  FirstSignal.store(0);
  // A previous run's "leave at once" must not carry over to this one.
  ExitAtOnce.store(false);
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC) != 0)
    fds[0] = fds[1] = -1;
  PipeRead = fds[0];
  PipeWrite.store(fds[1]);
  FWatcher = std::thread([this] { Watch(); });
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

TStopSignal::~TStopSignal()
{
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  const char byte = QuitByte;
  const int writeEnd = PipeWrite.exchange(-1);
  if (writeEnd >= 0) {
    [[maybe_unused]] auto ignored = ::write(writeEnd, &byte, 1);
  }
  FWatcher.join();
  if (PipeRead >= 0)
    ::close(PipeRead);
  if (writeEnd >= 0)
    ::close(writeEnd);
  PipeRead = -1;
}

bool TStopSignal::Requested() const
{
  return SignalCount.load() > 0;
}

int TStopSignal::SignalNumber() const
{
  return FirstSignal.load();
}

void TStopSignal::SetExitAtOnce(bool Value)
{
  ExitAtOnce.store(Value);
}

void TStopSignal::Watch()
{
  for (;;) {
    char byte = 0;
    const ssize_t n = ::read(PipeRead, &byte, 1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0 || byte == QuitByte)
      return;
    if (FOnStop)
      FOnStop();
  }
}

} // namespace quenloft

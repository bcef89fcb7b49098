#include "platform/Shell.h"

#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quenloft {

bool SpawnDetached(const std::string& Program, const std::vector<std::string>& Args)
{
  std::vector<std::string> args;
  args.reserve(Args.size() + 1);
  args.push_back(Program);
  args.insert(args.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0)
    return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // A session of its own: closing our terminal does not take the browser with it.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);

  pid_t pid = -1;
  // glibc reports a program that cannot be found or executed here, not in
  // the child, so the result tells whether the opener started.
  const int rc = posix_spawnp(&pid, Program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    return false;
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::exception&) {
    // No thread for the reaper: the child stays a zombie until we exit,
    // which costs a process-table entry and nothing else.
  }
  return true;
}

} // namespace quenloft

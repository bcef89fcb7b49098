#include "cli/CommandPrograms.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <unistd.h>

#ifndef QUENLOFT_PROGRAMS_FROM_BIN
#define QUENLOFT_PROGRAMS_FROM_BIN "../libexec/quenloft"
#endif

namespace quenloft {

std::string CommandProgramPath(const std::string& Program)
{
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    return {};
  const std::filesystem::path folder = self.parent_path();
  for (const std::filesystem::path& candidate :
       {folder / QUENLOFT_PROGRAMS_FROM_BIN / Program, folder / Program}) {
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate.lexically_normal().string();
  }
  return {};
}

void ExecCommandProgram(const std::string& Program, const std::string& Command,
                        const std::vector<std::string>& Args)
{
  std::vector<std::string> words = {"quenloft-cli", Command};
  words.insert(words.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  std::cout.flush();
  std::cerr.flush();
  ::execv(Program.c_str(), argv.data());
}

void AddHandedCommands(CLI::App& App, int& ExitCode)
{
  for (const THandedCommand& command : HandedCommands) {
    CLI::App* sub = App.add_subcommand(command.Name, command.Description);
    // Every word after the command, --help included, is the program's.
    sub->prefix_command();
    sub->set_help_flag();
    sub->callback([sub, command, &ExitCode] {
      const std::string path = CommandProgramPath(command.Program);
      if (path.empty()) {
        std::cerr << "quenloft-cli: " << command.Name << " needs the program " << command.Program
                  << ", which is not installed beside quenloft-cli\n";
      } else {
        ExecCommandProgram(path, command.Name, sub->remaining());
        std::cerr << "quenloft-cli: " << command.Name << ": cannot run " << path << ": "
                  << std::strerror(errno) << '\n';
      }
      ExitCode = 1;
    });
  }
}

int RunCommandProgram(int Argc, char** Argv, const char* About,
                      const std::function<void(CLI::App&, int& ExitCode)>& Register)
{
  CLI::App app{About, "quenloft-cli"};
  app.require_subcommand(1);
  int exitCode = 0;
  Register(app, exitCode);
  try {
    app.parse(Argc, Argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2; // help succeeds; bad usage is 2
  }
  return exitCode;
}

} // namespace quenloft

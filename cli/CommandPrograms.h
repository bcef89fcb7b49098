// quenloft-cli itself does what needs only the network and the disk:
// downloads, scan, trace, --version and --help. The commands that read
// movies need the sound and video decoders (FFmpeg's libraries, which with
// their own dependencies would more than double the memory of a download),
// and the commands that draw need Qt's painter too. So they live in two
// more programs, installed beside the libraries rather than on the PATH:
//   quenloft-movie   info, run, audio (the decoders, no Qt)
//   quenloft-draw    render, convert (the decoders and QtGui)
// quenloft-cli hands such a command over by executing the program in its
// own place (same process id, terminal, signals and exit status) with the
// arguments after the command name; the program answers to the name
// quenloft-cli, so its help and errors read as the user's command does.
//
// Where a program is looked for, in this order, beside the running
// quenloft-cli (/proc/self/exe): the installed place relative to the
// program folder (QUENLOFT_PROGRAMS_FROM_BIN, set by the build from the
// install folders), then the same folder (the build tree).
//
// Threads: the main thread, inside CLI parsing (the subcommands' callbacks).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace quenloft {

// A command that another program carries out: its name, the one-line
// description --help lists, and the program's file name.
struct THandedCommand {
  const char* Name;
  const char* Description;
  const char* Program;
};
inline constexpr THandedCommand HandedCommands[] = {
    {"info", "Print the header of each movie file: size, frame rate and frame count", "quenloft-movie"},
    {"run", "Play a movie with its script and print its trace lines", "quenloft-movie"},
    {"audio", "Write a movie's soundtrack into a WAV file (16-bit, 44.1 kHz, stereo)", "quenloft-movie"},
    {"render", "Draw one frame of a movie into a PNG image", "quenloft-draw"},
    {"convert", "Turn a movie into MP4, WebM, GIF, MP3 or an HTML page", "quenloft-draw"},
};

// The description of the handed command Name ("" for another name).
constexpr const char* HandedCommandDescription(std::string_view Name)
{
  for (const THandedCommand& command : HandedCommands)
    if (Name == command.Name)
      return command.Description;
  return "";
}

// The path of Program beside the running program, or "" when it is in none
// of the places above.
std::string CommandProgramPath(const std::string& Program);

// Registers every handed command as a subcommand that hands all of its
// arguments (its --help too) to its program. Returns from the parse only
// when the hand-over failed; ExitCode is then 1 and the reason is on stderr.
void AddHandedCommands(CLI::App& App, int& ExitCode);

// Executes Program as "quenloft-cli Command Args..."; returns only on
// failure, with errno set.
void ExecCommandProgram(const std::string& Program, const std::string& Command,
                        const std::vector<std::string>& Args);

// The main of quenloft-movie and quenloft-draw: parses Argv as quenloft-cli
// would after Register has added the program's commands, runs the one
// command given and returns the exit status (2 for bad usage).
int RunCommandProgram(int Argc, char** Argv, const char* About,
                      const std::function<void(CLI::App&, int& ExitCode)>& Register);

} // namespace quenloft

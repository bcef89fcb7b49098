// quenloft-movie: the commands of quenloft-cli that read and play movies
// without drawing them (info, run, audio), which quenloft-cli executes in
// its place (cli/CommandPrograms.h).
#include "cli/AudioCommand.h"
#include "cli/CommandPrograms.h"
#include "cli/InfoCommand.h"
#include "cli/RunCommand.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv)
{
  using namespace quenloft;
  return RunCommandProgram(argc, argv, "Reads and plays Flash movies for quenloft-cli (info, run, audio).",
                           [](CLI::App& App, int& ExitCode) {
                             AddInfoCommand(App, ExitCode);
                             AddRunCommand(App, ExitCode);
                             AddAudioCommand(App, ExitCode);
                           });
}

// quenloft-draw: the commands of quenloft-cli that draw movies (render,
// convert), which quenloft-cli executes in its place (cli/CommandPrograms.h).
#include "cli/CommandPrograms.h"
#include "cli/ConvertCommand.h"
#include "cli/RenderCommand.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv)
{
  using namespace quenloft;
  return RunCommandProgram(argc, argv, "Draws Flash movies for quenloft-cli (render, convert).",
                           [](CLI::App& App, int& ExitCode) {
                             AddRenderCommand(App, ExitCode);
                             AddConvertCommand(App, ExitCode);
                           });
}

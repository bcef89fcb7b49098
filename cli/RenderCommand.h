// `quenloft-cli render FILE [--frame N] [--scale S] [--quality Q] [--no-script] -o OUT.png`:
// plays a movie with its script (ActionScript 1 and 2; --no-script seeks the
// bare timeline instead) and draws frame N (counted from 1, default 1) at its stage
// size times S into a PNG, at the player's stage quality Q (low, medium,
// high or best; default high). Needs no display: QImage and QPainter only.
// A file that is not a movie or cannot be read, a size beyond the
// renderer's limits or an image that cannot be written print their error
// and give exit status 1.
//
// Threads: the main thread, inside CLI parsing (the subcommand's callback).
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace quenloft {

struct TRenderOptions {
  std::string File;
  std::string Output;
  unsigned Frame = 1;
  double Scale = 1;
  std::string Quality = "high";
  bool NoScript = false; // true: the bare timeline, script not run
};

// Registers the subcommand; its callback stores the exit status in ExitCode,
// which must outlive the parse.
void AddRenderCommand(CLI::App& App, int& ExitCode);

// Renders as Options say; 0 on success, else 1 with the error on stderr.
int RunRender(const TRenderOptions& Options);

} // namespace quenloft

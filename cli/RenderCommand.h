// `quenloft-cli render FILE [--frame N | --ticks N] [--click X,Y@TICK]... [--scale S]
// [--quality Q] [--no-script] -o OUT.png`: plays a movie with its script
// (ActionScript 1 and 2; --no-script seeks the bare timeline instead) and
// draws it at its stage size times S into a PNG, at the player's stage
// quality Q (low, medium, high or best; default high). --ticks N draws the
// stage after N ticks of the movie's clock from the start, as `run` plays
// them (cli/MoviePlayback.h), with the clicks given; --frame N (counted
// from 1, default 1) draws root frame N: the bare timeline seeks it, a
// scripted movie plays N ticks. Needs no display: QImage and QPainter only.
// A click that is not X,Y@TICK, or clicks without script, are errors.
// A file that is not a movie or cannot be read, a size beyond the
// renderer's limits or an image that cannot be written print their error
// and give exit status 1.
//
// Threads: the main thread, inside CLI parsing (the subcommand's callback).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quenloft {

struct TRenderOptions {
  std::string File;
  std::string Output;
  unsigned Frame = 1;
  std::int64_t Ticks = 0; // 0: play to Frame instead
  std::vector<std::string> Clicks; // X,Y@TICK
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

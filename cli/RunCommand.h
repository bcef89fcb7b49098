// `quenloft-cli run FILE [--frames N] [--start-time T] [--click X,Y@TICK]...`: plays a movie
// without a display for N ticks of its clock (default: its frame count) as
// fast as it goes, with its script and the clicks given, as `render --ticks`
// plays them (cli/MoviePlayback.h),
// and prints every trace line of the movie to standard output as the player
// writes it. Notes for the program (uncaught script errors, requests to the
// outside that are never carried out) go to the program's trace log.
// A file that is not a movie prints its error and gives exit status 1.
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

struct TRunOptions {
  std::string File;
  std::int64_t Frames = -1; // -1: the movie's frame count
  // "YYYY-MM-DDTHH:MM:SS" in the local zone (TZ): the wall-clock time the
  // movie starts at, so runs that read the date repeat exactly; empty: now.
  std::string StartTime;
  std::vector<std::string> Clicks; // X,Y@TICK
};

// Registers the subcommand; its callback stores the exit status in ExitCode,
// which must outlive the parse.
void AddRunCommand(CLI::App& App, int& ExitCode);

// Runs as Options say; 0 on success, else 1 with the error on stderr.
int RunMovie(const TRunOptions& Options);

} // namespace quenloft

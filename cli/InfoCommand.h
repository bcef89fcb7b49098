// `quenloft-cli info [--json] FILE...`: the header of each movie file (its
// signature, version, stored length, stage size in pixels, frame rate and
// frame count), read as the preview pane reads it, and what the movie
// model finds in the whole file: whether script drives the movie and how
// many tags of each kind the player skips. An LZMA ("ZWS") movie, which the
// header reader leaves alone, is reported from the movie reader. A file
// that is not a movie says so and why; a file that cannot be read prints
// its error, and the exit status is then 1.
//
// Threads: the main thread, inside CLI parsing (the subcommand's callback).
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quenloft {

// Registers the subcommand; its callback stores the exit status in ExitCode,
// which must outlive the parse.
void AddInfoCommand(CLI::App& App, int& ExitCode);

// Prints the report for Files; 0 when every file could be read, else 1.
int RunInfo(const std::vector<std::string>& Files, bool Json);

} // namespace quenloft

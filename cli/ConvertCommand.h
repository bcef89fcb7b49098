// `quenloft-cli convert FILE -o OUT.{mp4,webm,gif,mp3,html}`: turns a movie
// into a video, an animated GIF, its soundtrack as MP3, or a web page with
// its video. Options: --size WxH or --scale S, --fps F, --frames N or
// --seconds S, --quality low|medium|high|best, --max-minutes M (the length
// limit, 30 by default), --json.
//
// On a terminal a bar on stderr shows the frames made, the speed against
// real time and the time left; with --json, stdout gets one JSON object per
// progress step and a last one with the outcome. An existing file is never
// replaced: the output becomes a numbered copy beside it. Exit status: 0
// written, 1 failed (nothing left behind), 2 bad usage, 130 Ctrl-C and 143
// SIGTERM (the unfinished output removed).
//
// Threads: the main thread, inside CLI parsing (the subcommand's callback);
// the signal watcher only sets the cancel flag.
#pragma once

#include <string>

#include "convert/Converter.h"

namespace CLI {
class App;
}

namespace quenloft {

// One terminal line of progress: bar, frames, speed, time left.
std::string ConvertProgressLine(const convert::TProgress& Progress);

void AddConvertCommand(CLI::App& App, int& ExitCode);

} // namespace quenloft

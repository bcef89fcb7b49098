// `quenloft-cli audio FILE -o OUT.wav [--frames N | --seconds S]`: writes
// the movie's mixed soundtrack, as its timeline plays it once (or for N
// frames, or S seconds), as a 16-bit 44.1 kHz stereo WAV file. An existing
// file is never overwritten. A file that is no movie, a movie without
// sound, or an output that cannot be written print their error and give
// exit status 1; nothing is left behind on failure.
//
// Threads: the main thread, inside CLI parsing (the subcommand's callback).
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace quenloft {

struct TAudioOptions {
  std::string File;
  std::string Output;
  std::optional<unsigned> Frames;
  std::optional<double> Seconds;
};

void AddAudioCommand(CLI::App& App, int& ExitCode);
int RunAudio(const TAudioOptions& Options);

} // namespace quenloft

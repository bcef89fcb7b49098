// A movie's soundtrack without a picture: the timeline plays once on the
// sample clock and the mixed sound comes out block by block, as fast as it
// decodes. `quenloft-cli audio` writes it out; tests and benchmarks read it.
//
// A movie that script drives plays through the script machine's player,
// as in the pane, so the sounds its script starts are heard too; what it
// traces goes nowhere.
//
// Once means: every root frame in turn until the last (or until the root
// stops), then the event sounds still playing finish their current pass.
// With a frame or second limit the timeline plays on (looping) until the
// limit, and the sound ends there.
//
// Threads: one thread at a time; the Movie is shared and read only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "swf/Movie.h"
#include "swf/Timeline.h"
#include "swf/sound/MovieSound.h"

namespace quenloft::swf {

namespace avm1 {
class Player;
}

struct SoundtrackLimit {
  std::optional<std::uint32_t> Frames;
  std::optional<double> Seconds;
  // Run the movie's script (ActionScript 1 and 2) where it has any.
  bool Script = true;
};

class TSoundtrack {
public:
  // After the frames, sounds that still play are cut after this long.
  static constexpr std::uint64_t MaxTail = 10ull * 60 * TSoundMixer::Rate;

  TSoundtrack(std::shared_ptr<const Movie> Movie, const SoundtrackLimit& Limit = {});
  ~TSoundtrack();

  // Up to MaxFrames frames (interleaved left, right) into Out; 0 at the end.
  std::size_t Next(std::int16_t* Out, std::size_t MaxFrames);
  // Root frames played so far.
  std::uint64_t FramesPlayed() const { return FFrame; }
  // The length in samples when a limit fixes it.
  std::optional<std::uint64_t> FixedLength() const { return FLimit; }
  TMovieSound& Sound() { return FSound; }

private:
  std::uint64_t FrameEnd(std::uint64_t Frame) const;

  std::shared_ptr<const Movie> FMovie;
  TMovieSound FSound;
  std::unique_ptr<avm1::Player> FPlayer; // or the plain timeline
  std::unique_ptr<Timeline> FBare;
  Timeline* FTimeline = nullptr;
  double FRate;
  std::optional<std::uint64_t> FLimit; // in samples
  std::uint64_t FFrame = 0;            // frames shown before the current one
  bool FTail = false;
  std::uint64_t FTailStart = 0;
};

} // namespace quenloft::swf

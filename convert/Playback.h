// The fixed clock of a conversion: output frame I shows the movie as it is
// I / Fps seconds in, the movie ticking at its own rate; every tick's sound
// is mixed as it is reached. Decides where a movie of open length ends.
//
// Threads: the conversion's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "convert/Options.h"
#include "convert/Sources.h"

namespace quenloft::convert {

class TPlayback {
public:
  using TSoundSink = std::function<void(std::span<const std::int16_t>)>;

  // Sound may be null (nothing is mixed).
  TPlayback(TFrameSource& Frames, TSoundSource* Sound, const TPlan& Plan, TSoundSink Sink = {});

  // Brings the movie to output frame I (asked in order from 0); false when
  // the output has ended before it.
  bool Reach(std::uint64_t I);

  // Movie ticks played so far (the first frame is tick 0).
  std::uint64_t Tick() const { return FTick; }
  // Sample frames mixed so far.
  std::uint64_t Samples() const { return FSamples; }

private:
  void Mix();

  TFrameSource& FFrames;
  TSoundSource* FSound;
  TPlan FPlan;
  TSoundSink FSink;
  std::uint64_t FTick = 0;
  std::uint64_t FSamples = 0;
  std::vector<std::int16_t> FBuffer;
};

} // namespace quenloft::convert

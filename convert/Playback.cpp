#include "convert/Playback.h"

#include <cmath>

namespace quenloft::convert {

TPlayback::TPlayback(TFrameSource& Frames, TSoundSource* Sound, const TPlan& Plan, TSoundSink Sink)
    : FFrames(Frames), FSound(Sound), FPlan(Plan), FSink(std::move(Sink))
{}

void TPlayback::Mix()
{
  if (!FSound)
    return;
  // Sample boundaries from the tick's place in time, so that fractional
  // samples per frame never drift.
  const double perTick = TSoundSource::Rate / FPlan.MovieRate;
  const auto at = [perTick](std::uint64_t T) {
    return static_cast<std::uint64_t>(std::floor(static_cast<double>(T) * perTick));
  };
  const std::uint64_t n = at(FTick + 1) - at(FTick);
  FBuffer.resize(n * TSoundSource::Channels);
  FSound->MixFrame(FBuffer);
  FSamples += n;
  if (FSink)
    FSink(FBuffer);
}

bool TPlayback::Reach(std::uint64_t I)
{
  if (I >= (FPlan.Frames ? *FPlan.Frames : FPlan.MaxFrames))
    return false;
  if (I == 0)
    Mix();
  const auto target =
      static_cast<std::uint64_t>(std::floor(static_cast<double>(I) * FPlan.MovieRate / FPlan.Fps + 1e-9));
  while (FTick < target) {
    if (!FPlan.Frames) {
      // Open length: a stopped movie runs while its sound does; otherwise
      // one pass of the root timeline.
      if (FFrames.Stopped()) {
        if (!FSound || !FSound->Sounding())
          return false;
      } else if (FTick + 1 >= FFrames.TotalFrames()) {
        return false;
      }
    }
    FFrames.Advance();
    ++FTick;
    Mix();
  }
  return true;
}

} // namespace quenloft::convert

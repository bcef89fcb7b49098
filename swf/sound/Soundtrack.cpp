#include "swf/sound/Soundtrack.h"

#include "swf/avm1/Player.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf {

TSoundtrack::TSoundtrack(std::shared_ptr<const Movie> Movie, const SoundtrackLimit& Limit)
    : FMovie(std::move(Movie)), FSound(FMovie),
      FRate(std::isfinite(FMovie->FrameRate) ? std::clamp(FMovie->FrameRate, 1.0, 120.0) : 12.0)
{
  auto frames = [this](const Sprite& S, std::uint32_t F) { FSound.FrameEntered(S, F); };
  if (Limit.Script && FMovie->Scripted && avm1::RunsScript(*FMovie)) {
    avm1::PlayerOutput out;
    out.Frames = frames;
    out.Sound = &FSound;
    FPlayer = std::make_unique<avm1::Player>(FMovie, std::move(out));
    FTimeline = &FPlayer->Timeline();
  } else {
    FBare = std::make_unique<Timeline>(FMovie, frames);
    FTimeline = FBare.get();
  }
  if (Limit.Frames)
    FLimit = *Limit.Frames == 0 ? 0 : FrameEnd(*Limit.Frames - 1);
  else if (Limit.Seconds)
    FLimit = static_cast<std::uint64_t>(std::llround(std::clamp(*Limit.Seconds, 0.0, 86400.0) * TSoundMixer::Rate));
  if (FTimeline->TotalFrames() == 0 && !FLimit) {
    FTail = true;
    FSound.Mixer().FinishLoops();
  }
}

TSoundtrack::~TSoundtrack() = default;

std::uint64_t TSoundtrack::FrameEnd(std::uint64_t Frame) const
{
  return static_cast<std::uint64_t>(std::llround(static_cast<double>(Frame + 1) * TSoundMixer::Rate / FRate));
}

std::size_t TSoundtrack::Next(std::int16_t* Out, std::size_t MaxFrames)
{
  TSoundMixer& mixer = FSound.Mixer();
  const std::uint64_t at = mixer.SamplesMixed();
  std::uint64_t n = MaxFrames;
  if (FLimit)
    n = std::min(n, *FLimit > at ? *FLimit - at : 0);
  if (FTail) {
    if (!mixer.Active() || at - FTailStart >= MaxTail)
      n = 0;
    n = std::min(n, FTailStart + MaxTail - at);
  } else {
    n = std::min(n, FrameEnd(FFrame) - at);
  }
  if (n == 0)
    return 0;
  mixer.Mix(std::span(Out, static_cast<std::size_t>(n) * 2));
  if (!FTail && mixer.SamplesMixed() == FrameEnd(FFrame)) {
    // The frame's time is over: the next one shows, or the track plays out.
    ++FFrame;
    const bool once = !FLimit;
    if (once && (FFrame >= FTimeline->TotalFrames() || !FTimeline->Playing())) {
      FTail = true;
      FTailStart = mixer.SamplesMixed();
      FSound.RootStopped();
      mixer.FinishLoops();
    } else {
      if (FPlayer)
        FPlayer->Advance();
      else
        FTimeline->Advance();
      if (!FTimeline->Playing())
        FSound.RootStopped();
    }
  }
  return static_cast<std::size_t>(n);
}

} // namespace quenloft::swf

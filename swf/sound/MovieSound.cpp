#include "swf/sound/MovieSound.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf {

TMovieSound::TMovieSound(std::shared_ptr<const Movie> Movie) : FMovie(std::move(Movie)), FMixer(FMovie)
{
  FMixer.SetFrameRate(FMovie->FrameRate);
}

bool TMovieSound::HasSound(const Movie& M)
{
  // Authoring tools write stream heads without a single block: no sound.
  return !M.Sounds.empty() || std::any_of(M.Root.Frames.begin(), M.Root.Frames.end(),
                                           [](const swf::Frame& F) { return F.StreamBlock.has_value(); });
}

void TMovieSound::FrameEntered(const Sprite& Timeline, std::uint32_t Frame)
{
  if (Frame >= Timeline.Frames.size())
    return;
  const swf::Frame& f = Timeline.Frames[Frame];
  for (const StartSound& s : f.Sounds)
    if (s.ClassName.empty())
      FMixer.Start(s.Id, s.Info);
  if (&Timeline != &FMovie->Root || !Timeline.StreamHead)
    return;
  const bool jumped = !FLastRootFrame || Frame != *FLastRootFrame + 1;
  FLastRootFrame = Frame;
  if (jumped || (!FMixer.StreamPlaying() && f.StreamBlock))
    FMixer.StartStream(Timeline, Frame);
}

void TMovieSound::Seek(std::uint32_t Frame)
{
  FMixer.StopStream();
  FLastRootFrame = Frame;
}

void TMovieSound::Resume(std::uint32_t Frame)
{
  FLastRootFrame = Frame;
  if (FMovie->Root.StreamHead)
    FMixer.StartStream(FMovie->Root, Frame);
}

std::uint32_t TMovieSound::StepsDue(std::uint32_t RootFrame, std::uint64_t AtSample) const
{
  const auto f = StreamFrame(AtSample);
  return f && *f > RootFrame ? *f - RootFrame : 0;
}

void TMovieSound::RootStopped()
{
  FMixer.StopStream();
}

std::optional<std::uint32_t> TMovieSound::StreamFrame(std::uint64_t AtSample) const
{
  const auto f = FMixer.StreamFrame(AtSample);
  if (!f)
    return std::nullopt;
  return static_cast<std::uint32_t>(std::floor(*f));
}

} // namespace quenloft::swf

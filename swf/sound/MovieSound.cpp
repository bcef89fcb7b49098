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
  const auto streams = [](const Sprite& S) {
    return std::any_of(S.Frames.begin(), S.Frames.end(), [](const swf::Frame& F) { return F.StreamBlock.has_value(); });
  };
  if (!M.Sounds.empty() || streams(M.Root))
    return true;
  return std::any_of(M.Dictionary.begin(), M.Dictionary.end(), [&](const auto& Entry) {
    const auto* s = std::get_if<Sprite>(&Entry.second);
    return s && streams(*s);
  });
}

void TMovieSound::FrameEntered(const Sprite& Timeline, std::uint32_t Frame)
{
  if (Frame >= Timeline.Frames.size())
    return;
  const swf::Frame& f = Timeline.Frames[Frame];
  for (const StartSound& s : f.Sounds)
    if (s.ClassName.empty())
      FMixer.Start(s.Id, s.Info);
  if (!Timeline.StreamHead)
    return;
  if (&Timeline != &FMovie->Root) {
    const auto [at, fresh] = FSpriteFrames.try_emplace(&Timeline, Frame);
    // A second instance of the sprite entering the same frame changes nothing.
    if (!fresh && at->second == Frame)
      return;
    const bool jumped = fresh || Frame != at->second + 1;
    at->second = Frame;
    if (jumped || (!FMixer.StreamPlaying(Timeline) && f.StreamBlock))
      FMixer.StartStream(Timeline, Frame);
    return;
  }
  const bool jumped = !FLastRootFrame || Frame != *FLastRootFrame + 1;
  FLastRootFrame = Frame;
  if (jumped || (!FMixer.StreamPlaying() && f.StreamBlock))
    FMixer.StartStream(Timeline, Frame);
}

void TMovieSound::ButtonChanged(CharacterId Button, ButtonChange Change)
{
  const auto it = FMovie->ButtonSounds.find(Button);
  if (it == FMovie->ButtonSounds.end())
    return;
  const auto& s = it->second.Transitions[static_cast<std::size_t>(Change)];
  if (s && s->Id != 0)
    FMixer.Start(s->Id, s->Info);
}

void TMovieSound::Seek(std::uint32_t Frame)
{
  FMixer.StopStream();
  FMixer.StopSpriteStreams();
  FSpriteFrames.clear();
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

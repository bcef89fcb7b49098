#include "convert/MovieSoundSource.h"

namespace quenloft::convert {

TMovieSoundSource::TMovieSoundSource(std::shared_ptr<const swf::Movie> Movie)
    : FSound(Movie), FHasSound(swf::TMovieSound::HasSound(*Movie))
{}

void TMovieSoundSource::MixFrame(std::span<std::int16_t> Out)
{
  FSound.Mixer().Mix(Out);
}

bool TMovieSoundSource::Sounding() const
{
  return FSound.Mixer().Active();
}

void TMovieSoundSource::FrameEntered(const swf::Sprite& Timeline, std::uint32_t Frame)
{
  FSound.FrameEntered(Timeline, Frame);
}

void TMovieSoundSource::RootStopped()
{
  // Nothing new will start them again: a sound looping for ever would
  // otherwise hold a stopped movie open to the length limit.
  FSound.RootStopped();
  FSound.Mixer().FinishLoops();
}

} // namespace quenloft::convert

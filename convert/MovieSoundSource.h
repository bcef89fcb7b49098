// The movie's own sound in a conversion: the frames the pictures enter
// start and stop its sounds in the movie's mixer (the one the preview pane
// plays through), and each movie frame's samples are mixed as it is
// reached, so picture and sound keep one clock.
//
// Threads: the conversion's thread, like the frame source it hears.
#pragma once

#include <memory>

#include "convert/Sources.h"
#include "swf/sound/MovieSound.h"

namespace quenloft::convert {

class TMovieSoundSource final : public TSoundSource {
public:
  explicit TMovieSoundSource(std::shared_ptr<const swf::Movie> Movie);

  bool HasSound() const override { return FHasSound; }
  void MixFrame(std::span<std::int16_t> Out) override;
  bool Sounding() const override;
  void FrameEntered(const swf::Sprite& Timeline, std::uint32_t Frame) override;
  void RootStopped() override;
  swf::TMovieSound* MovieSound() override { return &FSound; }

  // Sounds that could not be decoded so far.
  std::uint64_t Failures() const { return FSound.Mixer().Failures(); }

private:
  swf::TMovieSound FSound;
  bool FHasSound;
};

} // namespace quenloft::convert

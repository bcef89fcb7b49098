// A movie's sound as its timeline plays it: the per-frame side of the
// mixer. The player tells it each frame a timeline enters by playing and
// each seek of the root; it starts and stops the frames' sounds, keeps the
// root's stream sound on the frame that plays, and says which root frame
// the stream has reached, so the picture can follow the sound.
//
// The rule the player follows: while StreamFrame gives a frame, the root
// steps (undrawn, if need be) until it reaches that frame, and waits while
// it is ahead; the sound is never stretched or held for the picture.
//
// Threads: one thread at a time, the one that plays the timeline.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "swf/Movie.h"
#include "swf/sound/SoundMixer.h"

namespace quenloft::swf {

class TMovieSound {
public:
  explicit TMovieSound(std::shared_ptr<const Movie> Movie);

  TSoundMixer& Mixer() { return FMixer; }
  const TSoundMixer& Mixer() const { return FMixer; }

  // True when the movie defines any sound or has a stream sound: without
  // one, a player needs no audio output at all.
  static bool HasSound(const Movie& M);

  // Timeline (the movie's Root or a sprite definition) entered Frame by
  // playing: its sounds start or stop, and the root's stream starts on a
  // jump, a loop, or a block after the stream ended or was held.
  void FrameEntered(const Sprite& Timeline, std::uint32_t Frame);
  // The root was moved to Frame by a seek and holds there: its stream stops
  // and starts from Frame's sample when the root plays on.
  void Seek(std::uint32_t Frame);
  // The root plays on from Frame after a seek or a pause: its stream starts
  // at Frame's sample.
  void Resume(std::uint32_t Frame);
  // The root stopped (a stop action, the player paused): its stream stops.
  void RootStopped();
  // stopAllSounds.
  void StopAll() { FMixer.StopAll(); }

  // The root frame the stream has reached at mixed sample AtSample (the
  // sample being heard), or empty when no stream plays.
  std::optional<std::uint32_t> StreamFrame(std::uint64_t AtSample) const;
  // How many steps take the root from RootFrame to the stream's frame at
  // AtSample: 0 while the root is ahead or no stream plays. The steps
  // between are the frames a player skips to keep the picture on the sound.
  std::uint32_t StepsDue(std::uint32_t RootFrame, std::uint64_t AtSample) const;

private:
  std::shared_ptr<const Movie> FMovie;
  TSoundMixer FMixer;
  std::optional<std::uint32_t> FLastRootFrame;
};

} // namespace quenloft::swf

// A movie's sound as its timeline plays it: the per-frame side of the
// mixer. The player tells it each frame a timeline enters by playing and
// each seek of the root; it starts and stops the frames' sounds, keeps the
// root's stream sound on the frame that plays, and says which root frame
// the stream has reached, so the picture can follow the sound. A sprite's
// stream plays along while the sprite's frames are entered (one per sprite
// definition, however many instances show it). Buttons tell it of their
// state changes, for the sounds DefineButtonSound gives them.
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
#include <unordered_map>

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

  // The state changes of a button that have a sound, in the order
  // DefineButtonSound lists them.
  enum class ButtonChange : std::uint8_t { OverUpToIdle, IdleToOverUp, OverUpToOverDown, OverDownToOverUp };
  // Button (a DefineButton id) went through Change: its sound for that
  // change starts (or stops, as the record says). The button code calls
  // this on every transition; buttons without sounds cost a lookup.
  void ButtonChanged(CharacterId Button, ButtonChange Change);

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
  std::unordered_map<const Sprite*, std::uint32_t> FSpriteFrames; // last frame entered, per sprite stream
};

} // namespace quenloft::swf

// The script side of a movie's sound: the levels Sound objects set (the
// movie's own and each clip's), the sounds script started, and the mixer
// they play in. The mixer is the one the timeline's sounds go to, so a
// movie's script, frames and sound run on one clock; without one (a run
// that nobody hears) the levels still work and positions stay at 0.
//
// Threads: the player's thread.
#pragma once

#include "swf/avm1/Object.h"
#include "swf/sound/SoundMixer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenloft::swf {
class TMovieSound;
}

namespace quenloft::swf::avm1 {

class ClipObject;
class Machine;

// Volume and the four channel shares in percent, as script reads and
// writes them: whole numbers, out-of-range values kept as given.
struct SoundLevels {
  std::int32_t Volume = 100;
  std::int32_t LeftToLeft = 100;
  std::int32_t LeftToRight = 0;
  std::int32_t RightToLeft = 0;
  std::int32_t RightToRight = 100;

  // -100 (left) .. 100 (right), read back the way the player does.
  std::int32_t Pan() const;
  SoundLevels WithPan(std::int32_t Pan) const;
  // Inner's sound heard through these levels (a clip inside its parent).
  SoundLevels After(const SoundLevels& Inner) const;
  // The mixer's form: fractions, bounded to what a mix can take.
  swf::SoundTransform ForMixer() const;
  friend bool operator==(const SoundLevels&, const SoundLevels&) = default;
};

// A `Sound` object: whose sounds it speaks for and what it attached.
class SoundObject final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override;
  // The target as given (a clip turned into its path), resolved at each
  // call; none: the movie as a whole.
  std::optional<std::string> Target;
  std::uint16_t Id = 0; // the attached sound; 0: none
  std::optional<double> DurationMs;
  swf::SoundHandle Last = 0; // the instance it started last
  double PositionMs = 0;     // where that instance was when last seen
};

class ScriptSound {
public:
  // Sound may be null: nothing is heard.
  ScriptSound(const swf::Movie& Movie, swf::TMovieSound* Sound) : FMovie(Movie), FSound(Sound) {}

  const swf::Movie& Movie() const { return FMovie; }
  // The sound exported under Name, or nullptr.
  const swf::Sound* Exported(std::string_view Name) const;

  swf::TMovieSound* Sound() const { return FSound; }
  void SetSound(swf::TMovieSound* Sound);
  // The movie's own levels (Sound objects made without a target).
  const SoundLevels& Global() const { return FGlobal; }
  void SetGlobal(const SoundLevels& L);
  // A clip's levels changed: the sounds started under it follow.
  void Refresh();

  // Starts sound Id for Owner (null: the movie) on behalf of Source, whose
  // onSoundComplete runs when it ends. 0 when nothing started.
  swf::SoundHandle Start(std::uint16_t Id, const swf::SoundInfo& Info, ClipObject* Owner, SoundObject* Source);
  // Stops every instance of sound Id.
  void StopSound(std::uint16_t Id);
  // Stops what script started under Owner (and inside it).
  void StopUnder(ClipObject* Owner);
  // stopAllSounds: every sound, timeline and script alike.
  void StopAll();
  // The handle's position in the sound in 44.1 kHz samples; nullopt once
  // it no longer plays.
  std::optional<std::uint64_t> Position(swf::SoundHandle H) const;

  // After each frame: the Sound objects whose sound ended hear
  // onSoundComplete.
  void Deliver(Machine& M);
  void Trace(Marker& M) const;

private:
  struct Started {
    swf::SoundHandle Handle = 0;
    ClipObject* Owner = nullptr;
    SoundObject* Source = nullptr;
  };
  swf::SoundTransform TransformFor(ClipObject* Owner) const;

  const swf::Movie& FMovie;
  swf::TMovieSound* FSound;
  SoundLevels FGlobal;
  std::vector<Started> FStarted;
};

} // namespace quenloft::swf::avm1

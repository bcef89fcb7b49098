// The mixer: every sound that plays, mixed into one 44.1 kHz stereo
// 16-bit signal that is pulled in blocks of any size.
//
// Event sounds start by character id with the file's sound info (in and
// out points, loops, envelope, "stop" and "no multiple") and play out
// unless stopped. Each playing instance has a handle through which script
// can stop it, change its volume and pan, read its position and learn that
// it has completed. The root timeline's stream sound plays its blocks from
// a given frame on, and so does each sprite's (one per sprite definition);
// TMovieSound ties them to the timeline.
//
// Envelope positions count the samples an instance has played since it
// started, from its in-point, across its loops.
//
// Threads: one thread at a time; the Movie is shared and read only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "swf/Movie.h"

namespace quenloft::swf {

class TSoundDecoder;

// The volume and pan script sets on a sound: each output channel takes
// its share of the left and the right input channel (the defaults keep
// them apart), then Volume scales both. Shares and volume run 0..1.
struct SoundTransform {
  double Volume = 1;
  double LeftToLeft = 1;
  double RightToLeft = 0;
  double LeftToRight = 0;
  double RightToRight = 1;

  // Pan -1 (left only) .. 1 (right only), as a transform.
  static SoundTransform Pan(double Pan, double Volume = 1);
  // This transform applied after Inner.
  SoundTransform After(const SoundTransform& Inner) const;
  friend bool operator==(const SoundTransform&, const SoundTransform&) = default;
};

using SoundHandle = std::uint64_t; // 0 is no sound

class TSoundMixer {
public:
  static constexpr std::uint32_t Rate = 44100;

  explicit TSoundMixer(std::shared_ptr<const Movie> Movie);
  ~TSoundMixer();

  // --- Event sounds ---------------------------------------------------------
  // Starts sound Id as Info says (or stops it, for a "stop" info). Gives the
  // new instance's handle, or 0 when nothing started (an unknown id, a
  // coding this build cannot decode, "no multiple" while one plays).
  SoundHandle Start(CharacterId Id, const SoundInfo& Info = {}, const SoundTransform& Transform = {});
  void Stop(SoundHandle Handle);
  void StopSound(CharacterId Id);
  // Every event sound and the stream.
  void StopAll();
  void SetTransform(SoundHandle Handle, const SoundTransform& Transform);
  bool IsPlaying(SoundHandle Handle) const;
  // Samples (44.1 kHz) the instance has played within its current loop,
  // counted from the start of the sound.
  std::uint64_t Position(SoundHandle Handle) const;
  // The instances that played to their end since the last call, in order.
  std::vector<SoundHandle> TakeCompleted();
  // The sound's length in 44.1 kHz samples as its definition claims.
  std::uint64_t Duration(CharacterId Id) const;
  // Looping instances end with their current pass.
  void FinishLoops();
  // The transform over every sound, the stream included (script's global
  // volume and pan), applied after each instance's own.
  void SetMaster(const SoundTransform& Transform) { FMaster = Transform; }
  const SoundTransform& Master() const { return FMaster; }

  // --- The stream -----------------------------------------------------------
  // Plays the stream of Timeline (the root or a sprite) from its block at
  // Frame on, in place of what that timeline's stream played (nothing when
  // Timeline has no stream or no block at or after Frame).
  void StartStream(const Sprite& Timeline, std::uint32_t Frame);
  // The root's stream.
  void StopStream();
  bool StreamPlaying() const;
  // A sprite's stream.
  void StopStream(const Sprite& Timeline);
  bool StreamPlaying(const Sprite& Timeline) const;
  // Every sprite's stream (the root's stays).
  void StopSpriteStreams();
  // The frame of the stream's timeline that the stream has reached, as a
  // fraction: the start frame plus the samples mixed since over the
  // samples per frame. Empty while no stream plays.
  std::optional<double> StreamFrame(std::uint64_t AtSample) const;
  void SetFrameRate(double FramesPerSecond);

  // --- Mixing ---------------------------------------------------------------
  // Fills Out (interleaved left, right) with the next Out.size() / 2 frames.
  void Mix(std::span<std::int16_t> Out);
  // Frames mixed since the mixer was made.
  std::uint64_t SamplesMixed() const { return FMixed; }
  // True while any sound plays.
  bool Active() const;
  // Sounds that could not be decoded (their coding, their data).
  std::uint64_t Failures() const { return FFailures; }

  // Event sounds up to this long are decoded once and kept, for every
  // loop and instance; longer ones decode as they play.
  static constexpr std::size_t MaxKeptFrames = 30 * Rate;
  static constexpr std::size_t MaxKeptTotal = 4 * MaxKeptFrames;

private:
  struct TVoice;
  using TPcm = std::shared_ptr<const std::vector<std::int16_t>>;
  bool MixVoice(TVoice& V, std::size_t Frames);
  void Restart(TVoice& V);
  std::size_t Read(TVoice& V, std::size_t Frames);
  TPcm Decoded(const Sound& S);
  std::unique_ptr<TVoice> NewStream(const Sprite& Timeline, std::uint32_t Frame);

  std::shared_ptr<const Movie> FMovie;
  std::vector<std::unique_ptr<TVoice>> FVoices;
  std::unique_ptr<TVoice> FStream;
  std::vector<std::unique_ptr<TVoice>> FSpriteStreams;
  std::uint32_t FStreamFrame = 0;
  std::uint64_t FStreamStart = 0; // FMixed when the stream started
  double FFrameRate = 12;
  SoundTransform FMaster;
  SoundHandle FNext = 1;
  std::uint64_t FMixed = 0;
  std::uint64_t FFailures = 0;
  std::vector<SoundHandle> FCompleted;
  std::vector<std::int32_t> FAcc;
  std::vector<std::int16_t> FTemp;
  std::unordered_map<CharacterId, TPcm> FKept; // null: too long to keep
  std::size_t FKeptFrames = 0;
};

} // namespace quenloft::swf

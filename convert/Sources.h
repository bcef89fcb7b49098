// What a conversion plays: the movie's pictures, one "advance one frame"
// step at a time, and its soundtrack, one frame's mixed samples at a time.
//
// Both are seams: the plain timeline and the movie's own sound (or silence)
// are the defaults; a scripted player takes the timeline's place by
// implementing the same small interface, and the converter does not change.
// The sound hears the pictures: the sound source is made first, and the
// frame source tells it of every frame a timeline enters, so both run on
// one clock.
//
// Threads: a source is made and used by the one thread that runs the
// conversion (the CLI's main thread, or the window's conversion worker).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "swf/Timeline.h"

namespace quenloft::swf {
class TMovieSound;
}

namespace quenloft::convert {

// The pictures: the display list of the frame shown, and one tick onwards.
class TFrameSource {
public:
  virtual ~TFrameSource() = default;
  // The display list of the frame shown now (the first frame before any
  // Advance).
  virtual const swf::DisplayList& List() const = 0;
  // One tick of the player at the movie's frame rate.
  virtual void Advance() = 0;
  // The root timeline's frame shown, from 0.
  virtual std::uint32_t CurrentFrame() const = 0;
  // The root timeline's length in frames (at least 1).
  virtual std::uint32_t TotalFrames() const = 0;
  // Whether the root timeline has stopped (a stop() reached); a one-frame
  // movie counts as stopped too, since nothing more will come of it.
  virtual bool Stopped() const = 0;
};

// The soundtrack: the mix the player hears, 44.1 kHz, interleaved stereo.
class TSoundSource {
public:
  static constexpr int Rate = 44100;
  static constexpr int Channels = 2;

  virtual ~TSoundSource() = default;
  // Whether the movie has any sound at all; false means the conversion
  // writes no sound track (and MP3 output is refused).
  virtual bool HasSound() const = 0;
  // Fills Out (Out.size() / 2 sample frames, left and right interleaved)
  // with the mix of the sounds playing during the next movie frame. Called
  // once per movie frame, after that frame was reached.
  virtual void MixFrame(std::span<std::int16_t> Out) = 0;
  // Whether anything is still sounding (a stopped movie waits for it).
  virtual bool Sounding() const = 0;

  // Told by the frame source: Timeline (the root or a sprite definition)
  // entered Frame by playing.
  virtual void FrameEntered(const swf::Sprite& /*Timeline*/, std::uint32_t /*Frame*/) {}
  // Told by the frame source: the root shows nothing new from now on (a
  // stop(), or a single frame); its stream ends, and looping sounds end
  // with their current pass.
  virtual void RootStopped() {}
  // The movie's own sound, where script may start and stop sounds in it;
  // nullptr for a source that is no movie's.
  virtual swf::TMovieSound* MovieSound() { return nullptr; }
};

// The plain timeline of a movie (its frame actions, no script). Sound, when
// given, hears every frame entered; it must outlive the source.
class TTimelineSource final : public TFrameSource {
public:
  explicit TTimelineSource(std::shared_ptr<const swf::Movie> Movie, TSoundSource* Sound = nullptr)
      : FSound(Sound), FTimeline(std::move(Movie), Listener(Sound))
  {}

  const swf::DisplayList& List() const override { return FTimeline.List(); }
  void Advance() override
  {
    FTimeline.Advance();
    if (FSound && Stopped())
      FSound->RootStopped();
  }
  std::uint32_t CurrentFrame() const override { return FTimeline.CurrentFrame(); }
  std::uint32_t TotalFrames() const override { return std::max<std::uint32_t>(1, FTimeline.TotalFrames()); }
  bool Stopped() const override { return !FTimeline.Playing() || TotalFrames() == 1; }

private:
  static swf::Timeline::FrameListener Listener(TSoundSource* Sound)
  {
    if (!Sound)
      return {};
    return [Sound](const swf::Sprite& Timeline, std::uint32_t Frame) { Sound->FrameEntered(Timeline, Frame); };
  }

  TSoundSource* FSound;
  swf::Timeline FTimeline;
};

// No sound at all.
class TSilence final : public TSoundSource {
public:
  bool HasSound() const override { return false; }
  void MixFrame(std::span<std::int16_t> Out) override { std::fill(Out.begin(), Out.end(), 0); }
  bool Sounding() const override { return false; }
};

// Makes the sources for one movie, the sound first: the pictures are made
// with the sound (which may be null) that hears them. A conversion may ask
// for a second pair (the GIF palette's survey plays the movie once more).
struct TSourceFactory {
  std::function<std::unique_ptr<TFrameSource>(std::shared_ptr<const swf::Movie>, TSoundSource*)> Frames;
  std::function<std::unique_ptr<TSoundSource>(std::shared_ptr<const swf::Movie>)> Sound;

  // The plain timeline and the movie's own sound.
  static TSourceFactory Defaults();
};

} // namespace quenloft::convert

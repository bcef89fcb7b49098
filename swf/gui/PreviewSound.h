// The sound of one preview: the movie's mixer and the audio output it
// feeds. Output goes through a TAudioSink, Qt Multimedia's QAudioSink on
// the default device unless a test puts its own in; without a device the
// preview plays silently and says nothing. Every 20 ms the sink is topped
// up with as much mixed sound as it takes; the sample being heard (what was
// mixed less what the sink still holds) is the clock the picture follows
// while a stream sound plays. Muting (all previews at once) writes silence
// in the sound's place, so the timing stays the same.
//
// Freeing a TPreviewSound stops its output at once, dropping what the sink
// still holds.
//
// Threads: UI thread only; the sink is written from the UI thread.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "swf/sound/MovieSound.h"

namespace quenloft {

// Where mixed sound goes: 44.1 kHz, stereo, 16-bit, interleaved.
class TAudioSink {
public:
  virtual ~TAudioSink() = default;
  // Frames the sink takes now without waiting.
  virtual std::size_t FreeFrames() = 0;
  // Frames written but not heard yet.
  virtual std::size_t QueuedFrames() = 0;
  virtual void Write(std::span<const std::int16_t> Samples) = 0;
};

// Gives a sink, or null when there is no audio device.
using TAudioSinkFactory = std::function<std::unique_ptr<TAudioSink>()>;

class TPreviewSound : public QObject {
  Q_OBJECT

public:
  // Null when there is no sink to play through.
  static std::unique_ptr<TPreviewSound> Open(std::shared_ptr<const swf::Movie> Movie);
  TPreviewSound(std::shared_ptr<const swf::Movie> Movie, std::unique_ptr<TAudioSink> Sink);
  ~TPreviewSound() override;

  swf::TMovieSound& Sound() { return FSound; }
  // Tops the sink up.
  void Feed();
  // The mixed sample being heard now.
  std::uint64_t HeardSample() const;

  // All previews, the ones playing and those to come.
  static void SetMuted(bool Muted);
  static bool Muted();
  // The sinks of the previews to come (null: the default audio device).
  static void SetSinkFactory(TAudioSinkFactory Factory);
  // A sink on the default audio device, or null when there is none.
  static std::unique_ptr<TAudioSink> OpenDefaultSink();

private:
  swf::TMovieSound FSound;
  std::unique_ptr<TAudioSink> FSink;
  QTimer FFeeder;
  std::vector<std::int16_t> FBlock;
};

} // namespace quenloft

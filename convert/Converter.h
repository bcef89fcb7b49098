// One conversion of a movie file: plays it on a fixed clock through the
// frame and sound sources, draws every output frame with the movie
// renderer, and hands pictures and sound to the format's writer. The
// output appears under its final name only when complete; an error or a
// cancel leaves no file behind.
//
// How long: the count of frames or seconds asked for; otherwise one pass of
// the root timeline, or, for a movie that stops (a stop() on the way, or a
// single frame), until its sound has ended. Never past the length limit.
//
// Errors: Run raises EConvertError with a message for the user (not a
// movie, no sound for an MP3, a file that cannot be written) and
// EConvertCancelled when Cancel was set.
//
// Threads: Run works on the calling thread (the CLI's main thread or the
// window's conversion worker) and calls OnProgress there; Cancel may be
// set from any thread. Drawing needs no display, but a movie with text in
// device fonts needs a QGuiApplication to exist (for its font database).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/Encoder.h"
#include "convert/Options.h"
#include "convert/Sources.h"

namespace quenloft::convert {

class EConvertCancelled : public EConvertError {
public:
  EConvertCancelled() : EConvertError("cancelled") {}
};

struct TProgress {
  std::uint64_t Frames = 0;               // output frames made
  std::optional<std::uint64_t> Total;     // as asked, or one pass of the timeline (a stop may end it sooner)
  double Elapsed = 0;                     // seconds of work so far
  double Fps = 0;                         // output frames per second of the result
  TTimings Spent;
};

struct TResult {
  std::vector<std::string> Files; // the written files, the main one first
  TPlan Plan;
  std::uint64_t Frames = 0;       // output frames (sound-only: movie frames played)
  std::uint64_t SoundSamples = 0; // per channel at 44.1 kHz, 0 without sound
  double Elapsed = 0;
  TTimings Spent;
};

class TConverter {
public:
  explicit TConverter(TConvertOptions Options, TSourceFactory Sources = TSourceFactory::Defaults());

  TResult Run(const std::atomic<bool>& Cancel, const std::function<void(const TProgress&)>& OnProgress = {});

  // The seconds between two OnProgress calls (the last one always comes).
  double ProgressInterval = 0.1;

private:
  TConvertOptions FOptions;
  TSourceFactory FSources;
};

// The page that shows a converted video: Video (a WebM) and Poster (a PNG)
// are names relative to the page, so it works opened from disk; the page
// centres the video at Width x Height on the movie's Background colour.
std::string HTMLPage(const std::string& Title, const std::string& Video, const std::string& Poster, int Width,
                     int Height, std::uint32_t Background, bool Loops, bool Muted);

} // namespace quenloft::convert

// The writers a conversion hands its pictures and sound to: FFmpeg's
// encoders and muxers for MP4 (H.264 + AAC), WebM (VP9 + Opus) and MP3
// (LAME), and the animated GIF writer (GIFWriter.h).
//
// Errors: construction and every call raise EConvertError with the reason
// (no such encoder on this system, the file cannot be written, disk full).
// A writer destroyed before Finish leaves a broken file behind, which the
// caller removes.
//
// Threads: one thread at a time per writer.
#pragma once

#include <QImage>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "convert/Options.h"

namespace quenloft::convert {

// Seconds spent per stage, for the progress report and the benchmark.
struct TTimings {
  double Draw = 0;   // the renderer
  double Colour = 0; // RGB to YUV, or to a palette
  double Encode = 0; // the encoders and the muxer
};

class TEncoder {
public:
  virtual ~TEncoder() = default;
  // The next picture, opaque, ARGB32 (premultiplied or not) at the plan's
  // size; ignored by sound-only writers.
  virtual void Picture(const QImage& Frame) = 0;
  // The next stretch of sound: 44.1 kHz, left and right interleaved.
  virtual void Sound(std::span<const std::int16_t> Samples) = 0;
  // Drains the encoders and completes the file.
  virtual void Finish() = 0;

  TTimings Spent;
};

// MP4, WebM or MP3 at Path (written as is, whatever its extension), with a
// sound track only when WithSound is set (MP3 needs it).
std::unique_ptr<TEncoder> MakeAVEncoder(const std::string& Path, Format Kind, const TPlan& Plan, Quality Level,
                                        bool WithSound);

} // namespace quenloft::convert

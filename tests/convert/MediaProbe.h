// What the conversion tests read back: a test movie, ffprobe's view of a
// written file, and the PSNR of one decoded frame against a reference image
// (ffmpeg's psnr filter, in the video's own 4:2:0 BT.709 limited-range YUV
// for MP4 and WebM, and in RGB for GIF).
//
// Threads: the test's thread.
#pragma once

#include <cstdint>
#include <string>

namespace quenloft::testing {

// A 550 x 400 movie at 24 fps, Frames frames long: a red square crossing a
// green stage above a blue bar that stays.
std::string ConvertTestMovie(int Frames = 12);

struct TProbe {
  std::string VideoCodec, AudioCodec;
  int Width = 0, Height = 0;
  std::int64_t Frames = 0; // decoded video frames
  double Fps = 0;          // the video's frame rate
  double Duration = 0;     // the container's, seconds
  double AudioDuration = 0;
  std::string ColourSpace, ColourRange;
};

// ffprobe of File; Frames and durations come from decoding it all.
TProbe Probe(const std::string& File);

// The PSNR in dB of decoded frame Index (from 0) of Video against the image
// in Png (+inf for a perfect match, -1 when ffmpeg fails).
double FramePSNR(const std::string& Video, std::int64_t Index, const std::string& Png, bool Yuv);

} // namespace quenloft::testing

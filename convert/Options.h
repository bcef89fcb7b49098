// What a conversion makes: the output format (from the output name), the
// picture size, the frame rate, how long, and how good.
//
// Threads: plain values; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Classes.h"

namespace quenloft::convert {

enum class Format { MP4, WebM, GIF, MP3, HTML };
enum class Quality { Low, Medium, High, Best };

// A conversion that cannot be done or failed on the way; the message is
// meant for the user.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

struct TConvertOptions {
  std::string Input;
  std::string Output; // its extension names the format
  // The picture: an exact size, or the stage times Scale (1 by default).
  std::optional<int> Width, Height;
  double Scale = 1;
  // Output frames per second; the movie's own rate when unset.
  std::optional<double> Fps;
  // How long: an exact count of output frames, or seconds; one pass of the
  // root timeline when neither is set.
  std::optional<std::uint64_t> Frames;
  std::optional<double> Seconds;
  // Nothing longer than this is made, whatever was asked.
  double MaxSeconds = 30 * 60;
  Quality Level = Quality::High;
};

// The format an output name asks for (".mp4", ".webm", ".gif", ".mp3",
// ".html" or ".htm", any case); raises EConvertError for anything else.
Format FormatOfName(const std::string& Output);
// "mp4", "webm", "gif", "mp3", "html".
const char* Extension(Format F);
// "low", "medium", "high", "best"; nullopt for anything else.
std::optional<Quality> QualityNamed(const std::string& Name);

// The picture size and rate a movie gets, after the format's limits: even
// sides for video (at least 2), at most 50 frames a second for GIF.
struct TPlan {
  Format Kind = Format::MP4;
  int Width = 0, Height = 0;
  double Fps = 0;       // output frames per second
  double MovieRate = 0; // movie frames per second, as played
  // Output frames when fixed in advance (--frames, --seconds); otherwise
  // the movie decides as it plays, up to MaxFrames.
  std::optional<std::uint64_t> Frames;
  std::uint64_t MaxFrames = 0;
};

// Works the plan out for a movie of StageW x StageH pixels playing at Rate
// frames a second; raises EConvertError for impossible asks.
TPlan MakePlan(const TConvertOptions& Options, int StageW, int StageH, double Rate);

} // namespace quenloft::convert

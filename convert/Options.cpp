#include "convert/Options.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace quenloft::convert {
namespace {

constexpr int MaxSide = 8192; // the renderer's own limit per side
constexpr double MaxVideoFps = 120;
constexpr double MaxGIFFps = 50; // shorter GIF delays than 2/100 s are slowed by viewers

std::string Lower(std::string S)
{
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return std::tolower(C); });
  return S;
}

std::string Seconds(double S)
{
  char text[32];
  std::snprintf(text, sizeof text, "%.0f s", S);
  return text;
}

} // namespace

Format FormatOfName(const std::string& Output)
{
  const std::size_t slash = Output.rfind('/');
  const std::size_t dot = Output.rfind('.');
  const std::string ext =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : Lower(Output.substr(dot + 1));
  if (ext == "mp4")
    return Format::MP4;
  if (ext == "webm")
    return Format::WebM;
  if (ext == "gif")
    return Format::GIF;
  if (ext == "mp3")
    return Format::MP3;
  if (ext == "html" || ext == "htm")
    return Format::HTML;
  throw EConvertError("the output name must end in .mp4, .webm, .gif, .mp3 or .html");
}

const char* Extension(Format F)
{
  switch (F) {
  case Format::MP4: return "mp4";
  case Format::WebM: return "webm";
  case Format::GIF: return "gif";
  case Format::MP3: return "mp3";
  case Format::HTML: return "html";
  }
  return "";
}

std::optional<Quality> QualityNamed(const std::string& Name)
{
  if (Name == "low")
    return Quality::Low;
  if (Name == "medium")
    return Quality::Medium;
  if (Name == "high")
    return Quality::High;
  if (Name == "best")
    return Quality::Best;
  return std::nullopt;
}

TPlan MakePlan(const TConvertOptions& Options, int StageW, int StageH, double Rate)
{
  TPlan plan;
  plan.Kind = FormatOfName(Options.Output);
  const bool video = plan.Kind != Format::GIF && plan.Kind != Format::MP3;

  // A rate of 0 (or nonsense) in the header plays at the player's 12 frames.
  plan.MovieRate = std::isfinite(Rate) && Rate >= 0.01 ? std::min(Rate, MaxVideoFps) : 12.0;
  const double maxFps = plan.Kind == Format::GIF ? MaxGIFFps : MaxVideoFps;
  if (Options.Fps) {
    if (!(*Options.Fps >= 1 && *Options.Fps <= maxFps))
      throw EConvertError("the frame rate must be between 1 and " + std::to_string(static_cast<int>(maxFps)));
    plan.Fps = *Options.Fps;
  } else {
    plan.Fps = std::clamp(plan.MovieRate, 1.0, maxFps);
  }

  double w = StageW * Options.Scale, h = StageH * Options.Scale;
  if (Options.Width || Options.Height) {
    if (!Options.Width || !Options.Height)
      throw EConvertError("a size needs both a width and a height");
    w = *Options.Width;
    h = *Options.Height;
  }
  if (!(Options.Scale > 0) || !(w >= 1 && h >= 1) || w > MaxSide || h > MaxSide)
    throw EConvertError("the picture size must be between 1 and " + std::to_string(MaxSide) + " pixels a side");
  plan.Width = static_cast<int>(std::lround(w));
  plan.Height = static_cast<int>(std::lround(h));
  if (video) {
    // 4:2:0 chroma covers two by two pixels: both sides even, at least 2.
    plan.Width = std::max(2, plan.Width & ~1);
    plan.Height = std::max(2, plan.Height & ~1);
  }

  if (!(Options.MaxSeconds > 0))
    throw EConvertError("the length limit must be above zero");
  plan.MaxFrames = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(Options.MaxSeconds * plan.Fps));
  if (Options.Frames) {
    if (*Options.Frames == 0)
      throw EConvertError("the frame count must be at least 1");
    plan.Frames = *Options.Frames;
  } else if (Options.Seconds) {
    if (!(*Options.Seconds > 0) || !std::isfinite(*Options.Seconds))
      throw EConvertError("the length in seconds must be above zero");
    plan.Frames = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(*Options.Seconds * plan.Fps)));
  }
  if (plan.Frames && *plan.Frames > plan.MaxFrames)
    throw EConvertError("the length asked for (" + Seconds(static_cast<double>(*plan.Frames) / plan.Fps) +
                        ") is past the limit of " + Seconds(Options.MaxSeconds));
  return plan;
}

} // namespace quenloft::convert

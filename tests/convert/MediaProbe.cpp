#include "tests/convert/MediaProbe.h"

#include "tests/cli/ChildProcess.h"
#include "tests/swf/MovieBuilder.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <limits>

namespace quenloft::testing {

std::string ConvertTestMovie(int Frames)
{
  using namespace swf::test;
  TBytes tags = Join({Tag(9, {0x20, 0xA0, 0x40}), RectShape(1, 2000, 2000, 220, 30, 30),
                      RectShape(2, 11000, 1600, 30, 30, 200), Place2(1, 2, 0, 5000), Place2(2, 1, 0, 1000)});
  for (int f = 0; f < Frames; ++f) {
    const TBytes step = f == 0 ? ShowFrame() : Join({Place2(2, -1, 600 * f, 1000, true), ShowFrame()});
    tags.insert(tags.end(), step.begin(), step.end());
  }
  const TBytes end = End();
  tags.insert(tags.end(), end.begin(), end.end());
  const TBytes file = MovieFile(tags, 'F', static_cast<std::uint16_t>(Frames));
  return std::string(file.begin(), file.end());
}

namespace {

double Rate(const std::string& Fraction)
{
  const std::size_t slash = Fraction.find('/');
  if (slash == std::string::npos)
    return std::atof(Fraction.c_str());
  const double den = std::atof(Fraction.c_str() + slash + 1);
  return den == 0 ? 0 : std::atof(Fraction.substr(0, slash).c_str()) / den;
}

double Number(const nlohmann::json& Object, const char* Key)
{
  return Object.contains(Key) && Object[Key].is_string() ? std::atof(Object[Key].get<std::string>().c_str()) : 0;
}

} // namespace

TProbe Probe(const std::string& File)
{
  const auto run = RunProgram("/usr/bin/ffprobe", {"-v", "error", "-count_frames", "-show_streams", "-show_format",
                                                   "-of", "json", File});
  TProbe probe;
  if (run.Status != 0)
    return probe;
  const auto info = nlohmann::json::parse(run.Out, nullptr, false);
  if (info.is_discarded())
    return probe;
  for (const auto& s : info.value("streams", nlohmann::json::array())) {
    if (s.value("codec_type", "") == "video") {
      probe.VideoCodec = s.value("codec_name", "");
      probe.Width = s.value("width", 0);
      probe.Height = s.value("height", 0);
      probe.Frames = std::atoll(s.value("nb_read_frames", "0").c_str());
      probe.Fps = Rate(s.value("avg_frame_rate", "0/0"));
      probe.ColourSpace = s.value("color_space", "");
      probe.ColourRange = s.value("color_range", "");
    } else if (s.value("codec_type", "") == "audio") {
      probe.AudioCodec = s.value("codec_name", "");
      probe.AudioDuration = Number(s, "duration");
      // Matroska keeps a stream's length in a tag, "HH:MM:SS.nnnnnnnnn".
      const auto tags = s.value("tags", nlohmann::json::object());
      if (probe.AudioDuration == 0 && tags.contains("DURATION")) {
        int h = 0, m = 0;
        double sec = 0;
        if (std::sscanf(tags["DURATION"].get<std::string>().c_str(), "%d:%d:%lf", &h, &m, &sec) == 3)
          probe.AudioDuration = h * 3600 + m * 60 + sec;
      }
    }
  }
  probe.Duration = Number(info.value("format", nlohmann::json::object()), "duration");
  return probe;
}

double FramePSNR(const std::string& Video, std::int64_t Index, const std::string& Png, bool Yuv)
{
  const std::string reference =
      Yuv ? "[1]scale=out_color_matrix=bt709:out_range=tv,format=yuv420p[b]" : "[1]format=rgb24[b]";
  const std::string decoded =
      "[0]select=eq(n\\," + std::to_string(Index) + ")" + (Yuv ? ",format=yuv420p[a]" : ",format=rgb24[a]");
  const auto run = RunProgram("/usr/bin/ffmpeg", {"-nostdin", "-hide_banner", "-i", Video, "-i", Png, "-lavfi",
                                                  decoded + ";" + reference + ";[a][b]psnr", "-f", "null", "-"});
  const std::size_t at = run.Err.rfind("average:");
  if (run.Status != 0 || at == std::string::npos)
    return -1;
  const std::string value = run.Err.substr(at + 8, run.Err.find(' ', at) - at - 8);
  return value == "inf" ? std::numeric_limits<double>::infinity() : std::atof(value.c_str());
}

} // namespace quenloft::testing

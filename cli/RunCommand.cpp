#include "cli/RunCommand.h"

#include "cli/CommandPrograms.h"
#include "cli/MoviePlayback.h"

#include "platform/Trace.h"
#include "swf/FileLoader.h"
#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <ctime>
#include <iostream>

namespace quenloft {

namespace {

// Milliseconds since 1970 UTC of a local "YYYY-MM-DDTHH:MM:SS"; NaN when
// the text is not one.
double LocalTimeMs(const std::string& Text)
{
  std::tm parts{};
  const char* end = strptime(Text.c_str(), "%Y-%m-%dT%H:%M:%S", &parts);
  if (!end || *end)
    return std::nan("");
  parts.tm_isdst = -1;
  const std::time_t t = std::mktime(&parts);
  return t == static_cast<std::time_t>(-1) ? std::nan("") : static_cast<double>(t) * 1000.0;
}

} // namespace

int RunMovie(const TRunOptions& Options)
{
  double start = std::nan("");
  if (!Options.StartTime.empty()) {
    start = LocalTimeMs(Options.StartTime);
    if (std::isnan(start)) {
      std::cerr << "--start-time: not a local time of the form 2001-02-03T04:05:06: " << Options.StartTime << '\n';
      return 1;
    }
  }
  const std::optional<std::vector<TClick>> parsed = ParseClicks(Options.Clicks);
  if (!parsed)
    return 1;
  const std::vector<TClick>& clicks = *parsed;
  try {
    const std::shared_ptr<swf::Movie> movie = swf::ReadMovieFile(Options.File);
    if (!swf::avm1::RunsScript(*movie))
      std::cerr << Options.File << ": its ActionScript 3 is not run; the timeline plays alone\n";
    swf::avm1::PlayerOutput output;
    output.StartTime = start;
    output.Files = swf::FolderLoader::Beside(Options.File);
    output.Trace = [](std::string_view Line) { std::cout << Line << '\n'; };
    output.Log = [](std::string_view Message) { Trace("movie script: " + std::string(Message)); };
    swf::avm1::Player player(movie, output);
    const std::int64_t frames =
        Options.Frames >= 0 ? Options.Frames : std::max<std::int64_t>(movie->Root.FrameCount, 1);
    PlayTicks(player, frames, clicks);
    std::cout.flush();
    return 0;
  } catch (const swf::EMovieError& e) {
    std::cerr << Options.File << ": not a movie that can be read: " << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << Options.File << ": " << e.what() << '\n';
  }
  return 1;
}

void AddRunCommand(CLI::App& App, int& ExitCode)
{
  auto options = std::make_shared<TRunOptions>();
  CLI::App* run = App.add_subcommand("run", HandedCommandDescription("run"));
  run->add_option("FILE", options->File, "Movie file (.swf)")->required();
  run->add_option("--frames", options->Frames, "Frames to play (default: the movie's frame count)")
      ->check(CLI::Range(static_cast<std::int64_t>(0), static_cast<std::int64_t>(100000000)));
  run->add_option("--start-time", options->StartTime,
                  "Local wall-clock time the movie starts at (YYYY-MM-DDTHH:MM:SS; default: now)");
  run->add_option("--click", options->Clicks, "Press and release at stage pixel X,Y after tick TICK (repeatable)")
      ->expected(1)
      ->take_all()
      ->type_name("X,Y@TICK");
  run->callback([options, &ExitCode] { ExitCode = RunMovie(*options); });
}

} // namespace quenloft

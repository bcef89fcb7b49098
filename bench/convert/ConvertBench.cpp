// Thirty seconds of a 550 x 400 reference movie (acid-blend: blend modes in
// motion) converted at 24 frames a second to MP4 and to GIF. Goals: MP4 at
// least 4 times faster than real time, GIF at least 2 times, on two cores.
// Each run reports the speed against real time and the share of the time
// spent drawing, converting colour (RGB to YUV, or to palettes) and
// encoding (shares of the work, which is spread over the cores).
//
// Convert10min/mp4: ten minutes of the same movie, with the process's
// resident memory after the first minute of output and at the end: it
// must stay flat.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <filesystem>

#include "convert/Converter.h"

namespace quenloft::convert {
namespace {

namespace fs = std::filesystem;

constexpr double Seconds = 30;
constexpr double Fps = 24;

fs::path Fixture()
{
  const char* dir = std::getenv("QUENLOFT_FIXTURES_DIR");
  return (dir ? fs::path(dir) : fs::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures") / "ruffle" /
         "from_shumway__acid__acid-blend" / "test.swf";
}

void Convert(benchmark::State& State, const char* Extension)
{
  const fs::path movie = Fixture();
  if (!fs::exists(movie)) {
    State.SkipWithError("fixtures absent");
    return;
  }
  const fs::path folder = fs::temp_directory_path() / ("quenloft-convert-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  TResult result;
  for (auto _ : State) {
    TConvertOptions options;
    options.Input = movie.string();
    options.Output = (folder / (std::string("bench.") + Extension)).string();
    options.Fps = Fps;
    options.Seconds = Seconds;
    std::atomic<bool> cancel{false};
    result = TConverter(options).Run(cancel);
    State.SetIterationTime(result.Elapsed);
    State.counters["MiB"] = static_cast<double>(fs::file_size(result.Files.at(0))) / (1 << 20);
    fs::remove(result.Files.at(0));
  }
  fs::remove_all(folder);
  const double work = result.Spent.Draw + result.Spent.Colour + result.Spent.Encode;
  State.counters["x_realtime"] = Seconds / result.Elapsed;
  State.counters["draw_%"] = 100 * result.Spent.Draw / work;
  State.counters["colour_%"] = 100 * result.Spent.Colour / work;
  State.counters["encode_%"] = 100 * result.Spent.Encode / work;
  State.counters["frames"] = static_cast<double>(result.Frames);
}

// Resident memory of this process in MiB.
double ResidentMiB()
{
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1 << 20);
}

void ConvertLong(benchmark::State& State)
{
  const fs::path movie = Fixture();
  if (!fs::exists(movie)) {
    State.SkipWithError("fixtures absent");
    return;
  }
  const fs::path folder = fs::temp_directory_path() / ("quenloft-convert-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  constexpr double Minutes = 10;
  double afterOneMinute = 0, atEnd = 0;
  for (auto _ : State) {
    TConvertOptions options;
    options.Input = movie.string();
    options.Output = (folder / "long.mp4").string();
    options.Fps = Fps;
    options.Seconds = Minutes * 60;
    std::atomic<bool> cancel{false};
    TConverter converter(options);
    converter.ProgressInterval = 1;
    const TResult result = converter.Run(cancel, [&](const TProgress& P) {
      if (afterOneMinute == 0 && static_cast<double>(P.Frames) >= 60 * Fps)
        afterOneMinute = ResidentMiB();
    });
    atEnd = ResidentMiB();
    State.SetIterationTime(result.Elapsed);
    fs::remove(result.Files.at(0));
  }
  fs::remove_all(folder);
  State.counters["rss_1min_MiB"] = afterOneMinute;
  State.counters["rss_end_MiB"] = atEnd;
  State.counters["growth_MiB"] = atEnd - afterOneMinute;
}

const bool Registered = [] {
  benchmark::RegisterBenchmark("Convert30s/mp4", Convert, "mp4")
      ->UseManualTime()
      ->Unit(benchmark::kSecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark("Convert30s/gif", Convert, "gif")
      ->UseManualTime()
      ->Unit(benchmark::kSecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark("Convert10min/mp4", ConvertLong)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
  return true;
}();

} // namespace
} // namespace quenloft::convert

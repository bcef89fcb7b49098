// Every frame of every visual reference case drawn at stage size: the
// renderer must keep a frame well under the 41.7 ms of 24 frames a second
// (goal: 10 ms). One benchmark per case reports its mean frame, its slowest
// frame once the renderer's caches are warm (from the second pass over the
// case on), and its first frame, which reads the shapes and decodes the
// bitmaps (also as processor time). The cases are those of the shared fixtures' ruffle and
// ruffle-features folders. RenderCases/slowest names the case with the slowest warm frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/render/Renderer.h"

namespace quenloft::swf::render {
namespace {

namespace fs = std::filesystem;

// Ticks drawn per case: the root's frames, at least enough for sprites to
// move, at most a few seconds of a long movie.
constexpr std::uint32_t MinTicks = 30;
constexpr std::uint32_t MaxTicks = 300;

struct Slowest {
  double Ms = 0;
  std::string Case;
};

Slowest& SlowestFrame()
{
  static Slowest slowest;
  return slowest;
}

void DrawCase(benchmark::State& State, const std::string& Name, const fs::path& File)
{
  std::shared_ptr<Movie> movie;
  try {
    movie = ReadMovieFile(File.string());
  } catch (const std::exception& e) {
    State.SkipWithError(e.what());
    return;
  }
  Renderer renderer(movie);
  const QSize size = renderer.StageSize();
  double slowest = 0;
  double first = -1;
  double firstCpu = -1;
  double total = 0;
  std::int64_t frames = 0;
  bool warm = false;
  for (auto _ : State) {
    Timeline timeline(movie);
    const std::uint32_t ticks = std::clamp(timeline.TotalFrames(), MinTicks, MaxTicks);
    double iteration = 0;
    for (std::uint32_t i = 0; i < ticks; ++i) {
      if (i > 0)
        timeline.Advance();
      const auto start = std::chrono::steady_clock::now();
      const std::clock_t startCpu = std::clock();
      benchmark::DoNotOptimize(renderer.RenderFrame(timeline.List(), size, Quality::High));
      const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (first < 0) {
        first = s;
        firstCpu = static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC;
      }
      if (warm)
        slowest = std::max(slowest, s);
      iteration += s;
      ++frames;
    }
    warm = true;
    total += iteration;
    State.SetIterationTime(iteration);
  }
  State.counters["mean_frame_ms"] = frames ? 1000 * total / static_cast<double>(frames) : 0;
  State.counters["slowest_warm_frame_ms"] = 1000 * slowest;
  State.counters["first_frame_ms"] = 1000 * first;
  // The processor time of the first frame, all threads: what a busy
  // machine's waiting does not blur.
  State.counters["first_frame_cpu_ms"] = 1000 * firstCpu;
  if (1000 * slowest > SlowestFrame().Ms)
    SlowestFrame() = {1000 * slowest, Name};
}

void ReportSlowest(benchmark::State& State)
{
  for (auto _ : State) {
  }
  State.counters["slowest_warm_frame_ms"] = SlowestFrame().Ms;
  State.SetLabel(SlowestFrame().Case.empty() ? "no reference cases found" : SlowestFrame().Case);
}

// The cases live beside the source tree (or where QUENLOFT_FIXTURES_DIR
// says); without them nothing is registered.
const bool Registered = [] {
  const char* dir = std::getenv("QUENLOFT_FIXTURES_DIR");
  const fs::path fixtures = dir ? fs::path(dir) : fs::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures";
  std::map<std::string, fs::path> movies;
  std::error_code error;
  for (const char* set : {"ruffle", "ruffle-features"}) {
    for (const auto& entry : fs::directory_iterator(fixtures / set, error)) {
      if (fs::exists(entry.path() / "test.swf"))
        movies.emplace(entry.path().filename().string(), entry.path() / "test.swf");
    }
  }
  if (movies.empty())
    return false;
  for (const auto& [name, file] : movies) {
    benchmark::RegisterBenchmark(("RenderCases/" + name).c_str(), DrawCase, name, file)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
  benchmark::RegisterBenchmark("RenderCases/slowest", ReportSlowest)->Iterations(1);
  return true;
}();

} // namespace
} // namespace quenloft::swf::render

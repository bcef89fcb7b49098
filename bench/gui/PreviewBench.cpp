// The preview pane (offscreen platform), with the shared reference movies
// (skipped when ../shared/fixtures is absent):
// - one tick of the pane's 200 ms timer while a movie plays (goal: under
//   1 ms);
// - the heaviest reference cases playing in the pane for three seconds:
//   frames stepped and drawn per second against the movie's own rate, and
//   the process's CPU share meanwhile (goal: the full rate at under half of
//   one core). The heaviest to draw is a photo traced into one shape of
//   thousands of fills, but it has one frame: after the first, its steps
//   change nothing and are not drawn. The heaviest that draws every frame
//   are 60 frames of blend modes at 60 per second and 296 frames of text
//   on a 1024 x 1024 stage.
#include "app/gui/VellicorFrm.h"
#include "bench/gui/BenchApp.h"
#include "swf/Movie.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace quenloft {
namespace {

std::string ReferenceMovie(const std::string& Case)
{
  const char* Dir = std::getenv("QUENLOFT_FIXTURES");
  const std::filesystem::path Root =
      (Dir && *Dir) ? std::filesystem::path(Dir)
                    : std::filesystem::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures";
  const std::filesystem::path File = Root / "ruffle" / Case / "test.swf";
  return std::filesystem::exists(File) ? File.string() : std::string();
}

// A shown window, ready for Case's reference movie (its file in Path), or
// nullptr when the reference movies are absent: the benchmark is skipped.
std::unique_ptr<TVellicorForm> WindowFor(benchmark::State& State, const std::string& Case, std::string& Path)
{
  Path = ReferenceMovie(Case);
  if (Path.empty()) {
    State.SkipWithError("reference movies not found");
    return nullptr;
  }
  BenchApp();
  auto form = std::make_unique<TVellicorForm>();
  form->show();
  return form;
}

double CPUSeconds()
{
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  const auto Seconds = [](const timeval& T) {
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_usec) / 1e6;
  };
  return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

void RunEventLoopFor(int Ms)
{
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

void BM_PaneTimerTick(benchmark::State& State)
{
  std::string Path;
  const auto Form = WindowFor(State, "from_shumway__invalidClipDepth", Path);
  if (!Form)
    return;
  Form->PreviewFile(Path);
  RunEventLoopFor(100);
  // Every tick finds the movie on another frame, so the thumb moves.
  int Frame = 0;
  for (auto _ : State) {
    State.PauseTiming();
    Form->Flash()->GotoFrame(Frame);
    Frame = (Frame + 7) % 200;
    State.ResumeTiming();
    Form->Timer1Timer();
  }
  State.counters["frame"] = Form->TrackBar->value();
}
BENCHMARK(BM_PaneTimerTick)->Unit(benchmark::kMicrosecond);

void BM_PlayInThePane(benchmark::State& State, const std::string& Case)
{
  std::string Path;
  const auto Form = WindowFor(State, Case, Path);
  if (!Form)
    return;
  constexpr int kPlayMs = 3000;
  for (auto _ : State) {
    Form->PreviewFile(Path);
    RunEventLoopFor(200); // the load and the first frames
    const std::int64_t Stepped = Form->Flash()->FramesStepped();
    const std::int64_t Drawn = Form->Flash()->FramesDrawn();
    const double CPU = CPUSeconds();
    QElapsedTimer Clock;
    Clock.start();
    RunEventLoopFor(kPlayMs);
    const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    State.counters["movie_fps"] = Form->Flash()->LoadedMovie()->FrameRate;
    State.counters["stepped_fps"] = static_cast<double>(Form->Flash()->FramesStepped() - Stepped) / Seconds;
    State.counters["drawn_fps"] = static_cast<double>(Form->Flash()->FramesDrawn() - Drawn) / Seconds;
    State.counters["cpu_share"] = (CPUSeconds() - CPU) / Seconds;
  }
}
// One paint of the pane's player showing the heaviest case to draw; at 24
// frames per second a frame may take 20 ms for half a core.
void BM_PaneRedrawHeaviest(benchmark::State& State)
{
  std::string Path;
  const auto Form = WindowFor(State, "visual__simple_shapes__heavy_tesselation", Path);
  if (!Form)
    return;
  Form->PreviewFile(Path);
  RunEventLoopFor(100);
  for (auto _ : State)
    Form->Flash()->repaint();
  // The share of one core that drawing every frame at 24 per second takes.
  State.counters["share_at_24fps"] =
      benchmark::Counter(static_cast<double>(State.iterations()) / 24.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PaneRedrawHeaviest)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_PlayInThePane, heavy_tesselation,
                  std::string("visual__simple_shapes__heavy_tesselation"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_PlayInThePane, acid_blend, std::string("from_shumway__acid__acid-blend"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_PlayInThePane, acid_text_6, std::string("from_shumway__acid__acid-text-6"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
} // namespace quenloft

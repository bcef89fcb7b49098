// Embedded VP6 video played through the renderer: a 320 x 240 stream of
// 24 frames a second, each frame decoded and drawn on a stage of its size
// (goal: under 15% of a core, 6.25 ms of the 41.7 ms a frame lasts).
//
// Nothing here encodes VP6, so the stream is made from the key frame of
// the shared fixtures' colour conversion case: its header is cut to the
// top 15 macroblock rows (640 x 240), which the decoder cuts to the
// stream's 320 x 240. Every packet is that key frame, so each frame costs a
// whole intra picture of twice the pixels shown: more than a real stream,
// whose inter frames decode faster.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <variant>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/render/Renderer.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf::render {
namespace {

namespace fs = std::filesystem;
using namespace test;

constexpr std::uint16_t Frames = 48;
constexpr double FrameRate = 24; // MovieFile's

fs::path Fixtures()
{
  const char* dir = std::getenv("QUENLOFT_FIXTURES_DIR");
  return dir ? fs::path(dir) : fs::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures";
}

// The fixture's VP6 key frame with 15 macroblock rows, or nothing.
TBytes HalfHeightKeyFrame()
{
  try {
    const auto movie = ReadMovieFile((Fixtures() / "ruffle-features" / "visual__video__colorconversion__vp6" /
                                      "test.swf")
                                         .string());
    const Character* ch = movie->Find(0);
    const auto* stream = ch ? std::get_if<VideoStream>(ch) : nullptr;
    if (!stream || stream->Packets.empty())
      return {};
    TBytes key = stream->Packets[0].Data;
    // Simple profile, no filter header: two bytes of coefficient offset
    // come before the macroblock rows and columns, then the display's.
    if (key.size() < 8 || (key[0] & 0x80) != 0 || (key[1] & 0x06) != 0)
      return {};
    key[4] = 15;
    key[6] = 15;
    return key;
  } catch (const std::exception&) {
    return {};
  }
}

std::shared_ptr<Movie> Vp6Movie(const TBytes& Key)
{
  // DefineVideoStream 1: 320 x 240, VP6, no smoothing; one packet and one
  // placement per frame.
  TBytes tags = Tag(60, TBitWriter().U16(1).U16(Frames).U16(320).U16(240).U8(0).U8(4).Out);
  for (std::uint16_t i = 0; i < Frames; ++i) {
    tags = Join({tags, Tag(61, TBitWriter().U16(1).U16(i).Raw(Key).Out, true),
                 Place2(1, i == 0 ? 1 : -1, 0, 0, i > 0, i), ShowFrame()});
  }
  return ReadMovie(MovieFile(Join({tags, End()}), 'F', Frames, 320, 240));
}

// This thread's processor time: on a busy machine the share of a core is
// what playing costs, not how long the clock ran.
double ThreadSeconds()
{
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void PlayVp6Stream(benchmark::State& State)
{
  const TBytes key = HalfHeightKeyFrame();
  if (key.empty()) {
    State.SkipWithError("the VP6 fixture is absent");
    return;
  }
  const auto movie = Vp6Movie(key);
  Renderer renderer(movie);
  std::int64_t frames = 0;
  double total = 0;
  double processor = 0;
  for (auto _ : State) {
    Timeline timeline(movie);
    const double cpuStart = ThreadSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (std::uint16_t i = 0; i < Frames; ++i) {
      if (i > 0)
        timeline.Advance();
      benchmark::DoNotOptimize(renderer.RenderFrame(timeline.List(), renderer.StageSize(), Quality::High));
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    State.SetIterationTime(s);
    processor += ThreadSeconds() - cpuStart;
    total += s;
    frames += Frames;
  }
  const double n = frames ? static_cast<double>(frames) : 1;
  State.counters["frame_ms"] = 1000 * total / n;
  State.counters["frame_cpu_ms"] = 1000 * processor / n;
  State.counters["core_share_at_24fps"] = processor / n * FrameRate;
}

BENCHMARK(PlayVp6Stream)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace quenloft::swf::render

// The movie model's costs:
//  - MovieParse10MiB: reading a compressed movie of about 10 MiB (shapes
//    of many edges, incompressible lossless bitmaps, a few hundred frames);
//    reports the file size and the peak memory the parse adds.
//  - MovieSeekBack: a movie of 600 frames with a looping sprite, from its
//    last frame back to its first (goal: under 50 ms); MovieSeekForward
//    the other way, which replays every frame.
#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <string>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

// DefineShape3 of one fill and Edges straight edges of a zigzag.
TBytes ZigzagShape(std::uint16_t Id, int Edges)
{
  TBitWriter w;
  w.U16(Id).Rect(0, 4000, 0, 4000);
  w.U8(1).U8(0x00).U8(10).U8(20).U8(30).U8(255);
  w.U8(1).U16(20).U8(0).U8(0).U8(0).U8(255);
  w.Bits(1, 4).Bits(1, 4);
  w.Bits(0, 1).Bits(0b01101, 5).Bits(16, 5).SBits(0, 16).SBits(0, 16).Bits(1, 1).Bits(1, 1);
  for (int i = 0; i < Edges; ++i)
    w.Bits(1, 1).Bits(1, 1).Bits(14, 4).Bits(1, 1).SBits(13, 16).SBits(i % 2 ? -40 : 40, 16);
  w.Bits(0, 6).Align();
  return Tag(32, w.Out, true);
}

TBytes NoiseBitmap(std::uint16_t Id, std::uint16_t Side, std::mt19937& Random)
{
  TBytes raw(static_cast<std::size_t>(Side) * Side * 4);
  for (auto& b : raw)
    b = static_cast<std::uint8_t>(Random());
  uLongf size = compressBound(raw.size());
  TBytes packed(size);
  compress(packed.data(), &size, raw.data(), raw.size());
  packed.resize(size);
  TBitWriter w;
  w.U16(Id).U8(5).U16(Side).U16(Side).Raw(packed);
  return Tag(36, w.Out, true);
}

const TBytes& TenMiBMovie()
{
  static const TBytes file = [] {
    std::mt19937 random(9);
    TBytes tags;
    std::uint16_t id = 1;
    for (int i = 0; i < 2000; ++i) {
      const TBytes t = ZigzagShape(id++, 300);
      tags.insert(tags.end(), t.begin(), t.end());
    }
    for (int i = 0; i < 40; ++i) {
      const TBytes t = NoiseBitmap(id++, 256, random);
      tags.insert(tags.end(), t.begin(), t.end());
    }
    for (int f = 0; f < 400; ++f) {
      const TBytes t =
          Join({Place2(static_cast<std::uint16_t>(1 + f % 50), 1 + f % 2000, f * 20), ShowFrame()});
      tags.insert(tags.end(), t.begin(), t.end());
    }
    return MovieFile(Join({tags, End()}), 'C', 400);
  }();
  return file;
}

long StatusKiB(const char* Key)
{
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(Key, 0) == 0)
      return std::stol(line.substr(std::string(Key).size()));
  return 0;
}

void MovieParse10MiB(benchmark::State& State)
{
  const TBytes& file = TenMiBMovie();
  long peakKiB = 0;
  for (auto _ : State) {
    State.PauseTiming();
    // Resets VmHWM to the present resident size, so the peak read after
    // the parse is this parse's own.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKiB("VmRSS:");
    State.ResumeTiming();
    auto movie = ReadMovie(file);
    benchmark::DoNotOptimize(movie);
    State.PauseTiming();
    peakKiB = std::max(peakKiB, StatusKiB("VmHWM:") - before);
    if (!movie->ReadError.empty() || movie->Dictionary.size() != 2040)
      State.SkipWithError("the movie did not read whole");
    movie.reset();
    State.ResumeTiming();
  }
  State.counters["file_MiB"] = static_cast<double>(file.size()) / (1 << 20);
  State.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024;
}
BENCHMARK(MovieParse10MiB)->Unit(benchmark::kMillisecond)->Iterations(5);

std::shared_ptr<const Movie> SixHundredFrames()
{
  static const std::shared_ptr<const Movie> movie = [] {
    TBytes tags = Join({RectShape(1, 400, 400), RectShape(2, 200, 200)});
    TBytes sprite;
    for (int f = 0; f < 12; ++f)
      sprite = Join({sprite, f == 0 ? Place2(1, 2) : Place2(1, -1, f * 10, 0, true), ShowFrame()});
    tags = Join({tags, SpriteTag(3, 12, Join({sprite, End()}))});
    for (int f = 0; f < 600; ++f) {
      TBytes frame;
      for (std::uint16_t d = 1; d <= 20; ++d)
        frame = Join({frame, f == 0 ? Place2(d, 1, d * 100) : Place2(d, -1, d * 100 + f, 0, true)});
      if (f % 50 == 0)
        frame = Join({frame, Remove2(30), Place2(30, 3)});
      tags = Join({tags, frame, ShowFrame()});
    }
    return std::shared_ptr<const Movie>(ReadMovie(MovieFile(Join({tags, End()}), 'F', 600)));
  }();
  return movie;
}

void MovieSeekBack(benchmark::State& State)
{
  Timeline t(SixHundredFrames());
  for (auto _ : State) {
    State.PauseTiming();
    t.GotoFrame(599);
    State.ResumeTiming();
    t.GotoFrame(0);
    benchmark::DoNotOptimize(t.List().data());
  }
  State.counters["frames"] = t.TotalFrames();
}
BENCHMARK(MovieSeekBack)->Unit(benchmark::kMillisecond);

void MovieSeekForward(benchmark::State& State)
{
  Timeline t(SixHundredFrames());
  for (auto _ : State) {
    State.PauseTiming();
    t.GotoFrame(0);
    State.ResumeTiming();
    t.GotoFrame(599);
    benchmark::DoNotOptimize(t.List().data());
  }
}
BENCHMARK(MovieSeekForward)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quenloft::swf

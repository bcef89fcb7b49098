// The sound mixer's cost:
//  - SoundMix3MinMp3: a movie with a 3-minute 44.1 kHz stereo MP3 stream
//    (blocks cut anywhere across its frames) and ten MP3 event sounds
//    looping under it, decoded, resampled and mixed into the 44.1 kHz
//    soundtrack (goal: at least 100 times faster than real time on one
//    core); reports "realtime_x" from the thread's CPU time (what one core
//    spends, whatever else the machine runs) and "realtime_x_wall". The
//    coded sound comes from ffmpeg; the benchmark is skipped without it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

#include "swf/MovieReader.h"
#include "swf/sound/Soundtrack.h"
#include "tests/swf/sound/SoundBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

constexpr double kSeconds = 180;
constexpr int kFps = 12;

double ThreadSeconds()
{
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

const TBytes& ThreeMinuteMovie()
{
  static const TBytes file = [] {
    const TBytes music = EncodeTone("libmp3lame -b:a 128k", 44100, 2, kSeconds, "mp3");
    const TBytes effect = EncodeTone("libmp3lame -b:a 48k", 22050, 1, 2.0, "mp3");
    if (music.empty() || effect.empty())
      return TBytes{};
    TBytes tags = StreamHead(FormatByte(2, 3, true, true), 44100 / kFps, 0);
    TInfo looped;
    looped.Loops = static_cast<int>(kSeconds / 2);
    for (std::uint16_t id = 1; id <= 10; ++id)
      tags = Join({tags, DefineSound(id, FormatByte(2, 2, true, false), 44100, effect, 0), StartSoundTag(id, looped)});
    const std::size_t frames = static_cast<std::size_t>(kSeconds * kFps);
    const std::size_t cut = music.size() / frames + 1;
    for (std::size_t p = 0; p < music.size(); p += cut) {
      const TBytes block(music.begin() + static_cast<std::ptrdiff_t>(p),
                         music.begin() + static_cast<std::ptrdiff_t>(std::min(p + cut, music.size())));
      for (const TBytes& t : {StreamBlock(block, 1152, 0), ShowFrame()})
        tags.insert(tags.end(), t.begin(), t.end());
    }
    return SoundMovie(Join({tags, End()}), kFps, static_cast<std::uint16_t>(frames));
  }();
  return file;
}

void SoundMix3MinMp3(benchmark::State& State)
{
  if (!HaveFfmpeg() || ThreeMinuteMovie().empty()) {
    State.SkipWithError("ffmpeg is needed to make the MP3 data");
    return;
  }
  const auto movie = ReadMovie(ThreeMinuteMovie());
  double seconds = 0;
  double cpu = 0;
  std::vector<std::int16_t> block(2 * 4096);
  for (auto _ : State) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadSeconds();
    TSoundtrack track(movie, SoundtrackLimit{std::nullopt, kSeconds});
    std::uint64_t frames = 0;
    while (const std::size_t n = track.Next(block.data(), 4096))
      frames += n;
    benchmark::DoNotOptimize(block.data());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu += ThreadSeconds() - cpuStart;
    if (frames != static_cast<std::uint64_t>(kSeconds * TSoundMixer::Rate))
      State.SkipWithError("the soundtrack came out short");
  }
  State.counters["realtime_x"] = kSeconds * static_cast<double>(State.iterations()) / cpu;
  State.counters["realtime_x_wall"] = kSeconds * static_cast<double>(State.iterations()) / seconds;
}
BENCHMARK(SoundMix3MinMp3)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace quenloft::swf

// The preview pane's sound (offscreen platform), with a sink that plays at
// the device's pace (44,100 frames a second of wall time, 200 ms held) and
// notes when it first receives a sample that is not silence:
//  - first_sound_ms: from opening a movie in the pane, as pressing its row
//    does, to that first sample (goal: under 150 ms);
//  - cpu_share: the process's share of one core while the pane plays a
//    movie that is all sound (a 128 kbit/s stereo MP3 stream, nothing drawn)
//    for three seconds; cpu_share_silent the same without an audio device
//    (the pane steps and draws on its own clock), and audio_share the
//    difference: what the sound costs (goal: under 3%).
// The MP3 comes from ffmpeg; the benchmark is skipped without it.
#include "app/gui/VellicorFrm.h"
#include "bench/gui/BenchApp.h"
#include "swf/gui/PreviewSound.h"
#include "tests/swf/sound/SoundBuilder.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>

namespace quenloft {
namespace {

using Clock = std::chrono::steady_clock;

struct TFirstSound {
  std::optional<Clock::time_point> At;
  std::uint64_t Frames = 0;
};

class TPacedSink final : public TAudioSink {
public:
  explicit TPacedSink(TFirstSound& Heard) : FHeard(Heard) {}
  std::size_t FreeFrames() override { return kHeld - QueuedFrames(); }
  std::size_t QueuedFrames() override
  {
    const double seconds = std::chrono::duration<double>(Clock::now() - FStart).count();
    const auto played = std::min<std::uint64_t>(FWritten, static_cast<std::uint64_t>(seconds * 44100));
    return static_cast<std::size_t>(FWritten - played);
  }
  void Write(std::span<const std::int16_t> Samples) override
  {
    if (!FHeard.At && std::any_of(Samples.begin(), Samples.end(), [](std::int16_t S) { return S != 0; }))
      FHeard.At = Clock::now();
    FWritten += Samples.size() / 2;
    FHeard.Frames += Samples.size() / 2;
  }

private:
  static constexpr std::size_t kHeld = 44100 / 5;
  TFirstSound& FHeard;
  Clock::time_point FStart = Clock::now();
  std::uint64_t FWritten = 0;
};

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

// A 20-second movie at 12 fps whose only content is its MP3 stream.
std::string MusicMovie(const quenloft::testing::TempDir& Dir)
{
  using namespace swf::test;
  constexpr int kFps = 12, kSeconds = 20;
  const TBytes music = EncodeTone("libmp3lame -b:a 128k", 44100, 2, kSeconds, "mp3");
  if (music.empty())
    return {};
  TBytes tags = StreamHead(FormatByte(2, 3, true, true), 44100 / kFps, 0);
  const std::size_t frames = kSeconds * kFps;
  const std::size_t cut = music.size() / frames + 1;
  for (std::size_t p = 0; p < music.size(); p += cut) {
    const TBytes block(music.begin() + static_cast<std::ptrdiff_t>(p),
                       music.begin() + static_cast<std::ptrdiff_t>(std::min(p + cut, music.size())));
    for (const TBytes& t : {StreamBlock(block, 1152, 0), ShowFrame()})
      tags.insert(tags.end(), t.begin(), t.end());
  }
  const TBytes file = SoundMovie(Join({tags, End()}), kFps, static_cast<std::uint16_t>(frames));
  return Dir.WriteFile("music.swf", std::string(file.begin(), file.end()));
}

void BM_PaneSound(benchmark::State& State)
{
  const quenloft::testing::TempDir dir;
  const std::string path = swf::test::HaveFfmpeg() ? MusicMovie(dir) : std::string();
  if (path.empty()) {
    State.SkipWithError("ffmpeg is not installed");
    return;
  }
  BenchApp();
  TFirstSound heard;
  TVellicorForm form;
  form.show();
  // The process's share of a core while the pane plays for three seconds.
  const auto share = [] {
    const double cpu = CPUSeconds();
    QElapsedTimer played;
    played.start();
    RunEventLoopFor(3000);
    return (CPUSeconds() - cpu) / (static_cast<double>(played.nsecsElapsed()) / 1e9);
  };
  for (auto _ : State) {
    heard = {};
    TPreviewSound::SetSinkFactory([&heard] { return std::make_unique<TPacedSink>(heard); });
    const Clock::time_point pressed = Clock::now();
    form.PreviewFile(path);
    QElapsedTimer waited;
    waited.start();
    while (!heard.At && waited.elapsed() < 2000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    State.counters["first_sound_ms"] =
        heard.At ? std::chrono::duration<double, std::milli>(*heard.At - pressed).count() : -1.0;
    const std::uint64_t before = heard.Frames;
    const double sounding = share();
    State.counters["cpu_share"] = sounding;
    State.counters["sink_fill"] = static_cast<double>(heard.Frames - before) / (3.0 * 44100);
    form.StopPreview();
    // No device: the same movie plays silently.
    TPreviewSound::SetSinkFactory([] { return std::unique_ptr<TAudioSink>(); });
    form.PreviewFile(path);
    RunEventLoopFor(200);
    const double silent = share();
    State.counters["cpu_share_silent"] = silent;
    State.counters["audio_share"] = sounding - silent;
    form.StopPreview();
  }
  TPreviewSound::SetSinkFactory({});
}
BENCHMARK(BM_PaneSound)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace quenloft

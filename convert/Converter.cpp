#include "convert/Converter.h"

#include "convert/FramePainter.h"
#include "convert/GIFEncoder.h"
#include "convert/MovieSoundSource.h"
#include "convert/OutputFiles.h"
#include "convert/PlayerSource.h"
#include "convert/Playback.h"
#include "swf/MovieReader.h"
#include "swf/render/Renderer.h"

#include <chrono>
#include <cmath>
#include <fstream>

namespace quenloft::convert {
namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point Start)
{
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

std::shared_ptr<swf::Movie> ReadInput(const std::string& File)
{
  try {
    return swf::ReadMovieFile(File);
  } catch (const swf::EMovieError& e) {
    throw EConvertError(File + ": not a movie that can be read: " + e.what());
  } catch (const std::exception& e) {
    throw EConvertError(File + ": " + e.what());
  }
}

// The palette survey: up to this many pictures spread over the expected
// length. Returns whether the movie runs on (loops) at its end.
constexpr std::uint64_t SurveySamples = 24;

bool SurveyPalette(TGIFEncoder& GIF, const TSourceFactory& Sources, std::shared_ptr<const swf::Movie> Movie,
                   const TPlan& Plan, TFramePainter& Painter, TTimings& Spent, const std::atomic<bool>& Cancel)
{
  const auto sound = Sources.Sound(Movie);
  const auto frames = Sources.Frames(Movie, sound.get());
  TPlayback playback(*frames, sound.get(), Plan);
  const std::uint64_t expected =
      Plan.Frames.value_or(static_cast<std::uint64_t>(std::ceil(frames->TotalFrames() * Plan.Fps / Plan.MovieRate)));
  const std::uint64_t step = std::max<std::uint64_t>(1, expected / SurveySamples);
  std::uint64_t i = 0;
  for (; playback.Reach(i); ++i) {
    if (Cancel.load(std::memory_order_relaxed))
      throw EConvertCancelled();
    if (i % step == 0 || i + 1 == expected) {
      const auto start = Clock::now();
      const QImage image = Painter.Draw(frames->List());
      Spent.Draw += Since(start);
      GIF.Sample(image);
    }
    if (Plan.Frames && i + 1 >= expected)
      break;
    if (!Plan.Frames && frames->Stopped() && (!sound || !sound->Sounding()))
      break;
  }
  return !frames->Stopped();
}

} // namespace

TSourceFactory TSourceFactory::Defaults()
{
  return {[](std::shared_ptr<const swf::Movie> M, TSoundSource* Hears) -> std::unique_ptr<TFrameSource> {
            // Script plays the movie where it drives it, as in the pane.
            if (swf::avm1::RunsScript(*M))
              return std::make_unique<TPlayerSource>(std::move(M), Hears);
            return std::make_unique<TTimelineSource>(std::move(M), Hears);
          },
          [](std::shared_ptr<const swf::Movie> M) -> std::unique_ptr<TSoundSource> {
            return std::make_unique<TMovieSoundSource>(std::move(M));
          }};
}

TConverter::TConverter(TConvertOptions Options, TSourceFactory Sources)
    : FOptions(std::move(Options)), FSources(std::move(Sources))
{}

TResult TConverter::Run(const std::atomic<bool>& Cancel, const std::function<void(const TProgress&)>& OnProgress)
{
  const auto started = Clock::now();
  FormatOfName(FOptions.Output); // a bad name is said before the movie is read
  const std::shared_ptr<swf::Movie> movie = ReadInput(FOptions.Input);
  const QSize stage = swf::render::Renderer(movie).StageSize();
  TResult result;
  const TPlan plan = result.Plan = MakePlan(FOptions, stage.width(), stage.height(), movie->FrameRate);

  const auto sound = FSources.Sound(movie);
  const auto frames = FSources.Frames(movie, sound.get());
  const bool withSound = sound && sound->HasSound();
  if (plan.Kind == Format::MP3 && !withSound)
    throw EConvertError("the movie has no sound");

  const bool html = plan.Kind == Format::HTML;
  TOutputFiles files(FOptions.Output, html ? std::vector<std::string>{".webm", ".png"} : std::vector<std::string>{});
  std::unique_ptr<TEncoder> encoder;
  TGIFEncoder* gif = nullptr;
  if (plan.Kind == Format::GIF) {
    auto g = std::make_unique<TGIFEncoder>(files.Temporary(0), plan, FOptions.Level);
    gif = g.get();
    encoder = std::move(g);
  } else {
    const std::string& path = html ? files.Temporary(1) : files.Temporary(0);
    encoder = MakeAVEncoder(path, html ? Format::WebM : plan.Kind, plan, FOptions.Level, withSound);
  }
  TTimings drawn;
  if (gif) {
    TFramePainter painter(movie, plan, FOptions.Level);
    gif->Start(SurveyPalette(*gif, FSources, movie, plan, painter, drawn, Cancel));
  }

  TPlayback playback(*frames, withSound ? sound.get() : nullptr, plan,
                     [&encoder](std::span<const std::int16_t> Samples) { encoder->Sound(Samples); });
  // The movie plays and the encoder works on this thread while the frames
  // in between are drawn on the pipeline's workers.
  std::optional<TDrawPipeline> pipeline;
  if (plan.Kind != Format::MP3)
    pipeline.emplace(movie, plan, FOptions.Level, DrawWorkers());
  TProgress progress;
  progress.Total = plan.Frames;
  if (!plan.Frames && frames->TotalFrames() > 1) {
    // One pass, unless a stop() on the way ends it sooner.
    progress.Total = std::min(
        plan.MaxFrames, static_cast<std::uint64_t>(std::ceil(frames->TotalFrames() * plan.Fps / plan.MovieRate)));
  }
  progress.Fps = plan.Fps;
  double reported = -1;
  std::uint64_t reportedFrames = 0;
  const auto report = [&](bool Last) {
    progress.Elapsed = Since(started);
    if (!OnProgress || (!Last && progress.Elapsed - reported < ProgressInterval) ||
        (Last && reportedFrames == progress.Frames))
      return;
    reported = progress.Elapsed;
    reportedFrames = progress.Frames;
    progress.Spent = encoder->Spent;
    progress.Spent.Draw = drawn.Draw + (pipeline ? pipeline->Spent() : 0);
    OnProgress(progress);
  };
  const auto encodeNext = [&] {
    QImage image = pipeline->Next();
    if (progress.Frames == 0 && html && !image.save(QString::fromStdString(files.Temporary(2)), "PNG"))
      throw EConvertError("cannot write " + files.Temporary(2));
    encoder->Picture(image);
    ++progress.Frames;
    report(false);
  };
  for (std::uint64_t i = 0; playback.Reach(i); ++i) {
    if (Cancel.load(std::memory_order_relaxed))
      throw EConvertCancelled();
    if (!pipeline) {
      progress.Frames = i + 1;
      report(false);
      continue;
    }
    if (pipeline->Pending() == pipeline->Depth())
      encodeNext();
    pipeline->Submit(swf::DetachedCopy(frames->List()));
  }
  while (pipeline && pipeline->Pending() > 0) {
    if (Cancel.load(std::memory_order_relaxed))
      throw EConvertCancelled();
    encodeNext();
  }
  if (Cancel.load())
    throw EConvertCancelled();
  encoder->Finish();

  if (html) {
    const swf::Rgba& bg = movie->Background;
    const std::string page =
        HTMLPage(BaseName(FOptions.Input), BaseName(files.Final(1)), BaseName(files.Final(2)), plan.Width,
                 plan.Height, std::uint32_t{bg.R} << 16 | std::uint32_t{bg.G} << 8 | bg.B, !frames->Stopped(),
                 !withSound);
    std::ofstream out(files.Temporary(0), std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out)
      throw EConvertError("cannot write " + files.Temporary(0));
  }
  files.Commit();

  result.Files.push_back(files.Final(0));
  if (html) {
    result.Files.push_back(files.Final(1));
    result.Files.push_back(files.Final(2));
  }
  result.Frames = progress.Frames;
  result.SoundSamples = withSound ? playback.Samples() : 0;
  report(true);
  result.Elapsed = Since(started);
  result.Spent = encoder->Spent;
  result.Spent.Draw = drawn.Draw + (pipeline ? pipeline->Spent() : 0);
  return result;
}

} // namespace quenloft::convert

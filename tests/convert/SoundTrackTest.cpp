// The sound track: whatever source is plugged in reaches the file at the
// mix's length; a silent movie makes no MP3. The GIF palette and the
// pictures are checked by quenloft-cli's tests.
#include "convert/Converter.h"
#include "tests/convert/MediaProbe.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quenloft::convert {
namespace {

// A 440 Hz tone for Seconds, then silence.
class TTone final : public TSoundSource {
public:
  explicit TTone(double Seconds) : FLeft(static_cast<std::uint64_t>(Seconds * Rate)) {}
  bool HasSound() const override { return true; }
  void MixFrame(std::span<std::int16_t> Out) override
  {
    for (std::size_t i = 0; i + 1 < Out.size(); i += 2) {
      const bool on = FLeft > 0;
      FLeft -= on;
      const auto v = on ? static_cast<std::int16_t>(8000 * std::sin(FPhase += 2 * M_PI * 440 / Rate)) : 0;
      Out[i] = Out[i + 1] = v;
    }
  }
  bool Sounding() const override { return FLeft > 0; }

private:
  std::uint64_t FLeft;
  double FPhase = 0;
};

TSourceFactory WithTone(double Seconds)
{
  TSourceFactory sources = TSourceFactory::Defaults();
  sources.Sound = [Seconds](std::shared_ptr<const swf::Movie>) { return std::make_unique<TTone>(Seconds); };
  return sources;
}

TEST(SoundTrack, ReachesEachFormatAtTheMixLength)
{
  testing::TempDir dir;
  // One frame: the movie lasts as long as its sound.
  const std::string movie = dir.WriteFile("tone.swf", testing::ConvertTestMovie(1));
  struct Case {
    const char* Name;
    const char* Codec;
    int FrameSize; // the encoder's samples per frame, at 44.1 kHz
  } cases[] = {{"tone.mp4", "aac", 1024}, {"tone.webm", "opus", 882}, {"tone.mp3", "mp3", 1152}};
  std::atomic<bool> cancel{false};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TConvertOptions options;
    options.Input = movie;
    options.Output = dir.Folder() + c.Name;
    const TResult result = TConverter(options, WithTone(1.5)).Run(cancel);
    // The mix runs to the end of the tick in which the tone ends.
    EXPECT_NEAR(result.SoundSamples / 44100.0, 1.5, 1.0 / 24);
    const testing::TProbe p = testing::Probe(result.Files.at(0));
    EXPECT_EQ(p.AudioCodec, c.Codec);
    EXPECT_NEAR(p.AudioDuration, result.SoundSamples / 44100.0, 2.0 * c.FrameSize / 44100);
  }

  TConvertOptions silent;
  silent.Input = movie;
  silent.Output = dir.Folder() + "silent.mp3";
  try {
    TConverter(silent).Run(cancel);
    ADD_FAILURE() << "a silent movie made an MP3";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "the movie has no sound");
  }
}

TEST(SoundTrack, ACancelLeavesNoFile)
{
  testing::TempDir dir;
  TConvertOptions options;
  options.Input = dir.WriteFile("m.swf", testing::ConvertTestMovie(12));
  options.Output = dir.Folder() + "m.gif";
  options.Frames = 1000;
  std::atomic<bool> cancel{false};
  TConverter converter(options);
  converter.ProgressInterval = 0;
  EXPECT_THROW(converter.Run(cancel, [&cancel](const TProgress& P) { cancel = P.Frames >= 3; }),
               EConvertCancelled);
  EXPECT_FALSE(std::filesystem::exists(options.Output));
  EXPECT_TRUE(std::filesystem::exists(options.Input));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

} // namespace
} // namespace quenloft::convert

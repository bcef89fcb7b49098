// The sound track: whatever source is plugged in reaches the file at the
// mix's length; a silent movie makes no MP3; a movie's own sounds play on
// the pictures' clock. The GIF palette and the pictures are checked by
// quenloft-cli's tests.
#include "convert/Converter.h"
#include "tests/convert/MediaProbe.h"
#include "tests/support/TempDir.h"
#include "tests/swf/sound/SoundBuilder.h"

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

// A 12 fps movie of Frames frames whose first frame starts a 44.1 kHz mono
// PCM square wave of Samples samples, as Info says, and stops the root
// when Stop is set.
std::string MovieWithSound(std::uint16_t Frames, std::uint32_t Samples, const swf::test::TInfo& Info, bool Stop)
{
  using namespace swf::test;
  TBitWriter pcm;
  for (std::uint32_t i = 0; i < Samples; ++i)
    pcm.U16(static_cast<std::uint16_t>(i / 50 % 2 ? -8000 : 8000));
  TBytes tags = Join({DefineSound(1, FormatByte(3, 3, true, false), Samples, pcm.Out), StartSoundTag(1, Info),
                      Stop ? DoAction({0x07}) : TBytes{}});
  for (int f = 0; f < Frames; ++f)
    tags = Join({tags, ShowFrame()});
  const TBytes file = SoundMovie(Join({tags, End()}), 12, Frames);
  return std::string(file.begin(), file.end());
}

TEST(SoundTrack, AMoviesOwnSoundPlaysOnThePicturesClock)
{
  constexpr std::uint64_t kTick = 44100 / 12;
  swf::test::TInfo endless;
  endless.Loops = 65535;
  struct Case {
    const char* Name;
    std::uint16_t Frames;
    std::uint32_t Samples;
    swf::test::TInfo Info;
    bool Stop;
    std::uint64_t Ticks; // the mix ends with the tick in which the sound does
  } cases[] = {
      {"one frame lasts as its sound", 1, 9 * kTick - 100, {}, false, 9},
      {"a stop waits for the sound", 24, 9 * kTick + 100, {}, true, 10},
      {"a playing movie runs its frames", 24, 9 * kTick - 100, {}, false, 24},
      {"a loop ends with its pass once stopped", 1, 4410, endless, false, 2},
  };
  testing::TempDir dir;
  std::atomic<bool> cancel{false};
  int n = 0;
  for (const Case& c : cases) {
    const std::string movie =
        dir.WriteFile("s" + std::to_string(n++) + ".swf", MovieWithSound(c.Frames, c.Samples, c.Info, c.Stop));
    // An MP3 also carries the encoder's delay and its last frame padded.
    for (const auto& [ext, slack] : {std::pair{".mp3", 2 * 1152}, std::pair{".mp4", 1024}}) {
      SCOPED_TRACE(std::string(c.Name) + ext);
      TConvertOptions options;
      options.Input = movie;
      options.Output = dir.Folder() + "out" + std::to_string(n) + ext;
      const TResult result = TConverter(options).Run(cancel);
      EXPECT_EQ(result.SoundSamples, c.Ticks * kTick);
      EXPECT_NEAR(testing::Probe(result.Files.at(0)).AudioDuration, c.Ticks / 12.0, double(slack) / 44100);
      // The wave is heard, not silence.
      const std::vector<std::int16_t> heard = swf::test::OracleDecode(result.Files.at(0));
      std::int16_t peak = 0;
      for (const std::int16_t v : heard)
        peak = std::max<std::int16_t>(peak, static_cast<std::int16_t>(std::abs(v)));
      EXPECT_GT(peak, 4000);
    }
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

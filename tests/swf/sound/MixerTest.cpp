// The mix of a movie's stream and event sounds, to the sample, and the
// stream that leads the timeline.
#include <gtest/gtest.h>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/sound/MovieSound.h"
#include "swf/sound/Soundtrack.h"
#include "tests/swf/sound/SoundBuilder.h"

namespace quenloft::swf::test {
namespace {

constexpr std::size_t kPerFrame = 3675; // 44,100 / 12

TBytes Constant(std::size_t Frames, std::int16_t Value)
{
  TBitWriter w;
  for (std::size_t i = 0; i < Frames; ++i)
    w.U16(static_cast<std::uint16_t>(Value));
  return w.Out;
}

const std::uint8_t kPcm44Mono = FormatByte(3, 3, true, false);

// A 12 fps movie whose stream holds 1000 * (f + 1) in frame f.
TBytes StreamTags(int Frames, const std::vector<TBytes>& Extra = {})
{
  TBytes tags = StreamHead(kPcm44Mono, kPerFrame);
  for (int f = 0; f < Frames; ++f) {
    tags = Join({tags, f < static_cast<int>(Extra.size()) ? Extra[static_cast<std::size_t>(f)] : TBytes{},
                 StreamBlock(Constant(kPerFrame, static_cast<std::int16_t>(1000 * (f + 1)))), ShowFrame()});
  }
  return tags;
}

std::shared_ptr<Movie> Read(const TBytes& Tags, std::uint16_t Frames)
{
  return ReadMovie(SoundMovie(Join({Tags, End()}), 12, Frames));
}

TEST(SoundMixer, StreamAndTwoEventSoundsGiveTheirSamplesAtTheirTimes)
{
  // Sound 2 (50 samples of 4000) loops three times from frame 0, its left
  // channel fading from full to nothing over the 150 samples, its right at
  // half; sound 1 (100 samples of 2000) starts with frame 1.
  TInfo looped;
  looped.Loops = 3;
  looped.Envelope = {{0, 32768, 16384}, {150, 0, 16384}};
  const TBytes defs = Join({DefineSound(1, kPcm44Mono, 100, Constant(100, 2000)),
                            DefineSound(2, kPcm44Mono, 50, Constant(50, 4000))});
  const auto movie = Read(Join({defs, StreamTags(4, {StartSoundTag(2, looped), StartSoundTag(1)})}), 4);
  TSoundtrack track(movie);
  std::vector<std::int16_t> all;
  std::vector<std::int16_t> block(2 * 1000);
  while (const std::size_t n = track.Next(block.data(), 1000))
    all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * n));
  ASSERT_EQ(all.size(), 2 * 4 * kPerFrame);
  struct {
    std::size_t At;
    int Left;
    int Right;
  } const expected[] = {
      {0, 1000 + 4000, 1000 + 2000},          // full left, half right
      {75, 1000 + 2000, 1000 + 2000},         // second pass, left faded to half
      {149, 1000 + 27, 1000 + 2000},          // third pass, left nearly gone
      {150, 1000, 1000},                      // the loops are over
      {kPerFrame - 1, 1000, 1000},            //
      {kPerFrame, 2000 + 2000, 2000 + 2000},  // frame 1: the second sound starts
      {kPerFrame + 99, 4000, 4000},           //
      {kPerFrame + 100, 2000, 2000},          // and ends
      {3 * kPerFrame, 4000, 4000},            // frame 3
      {4 * kPerFrame - 1, 4000, 4000},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(all[2 * e.At], e.Left) << "sample " << e.At;
    EXPECT_EQ(all[2 * e.At + 1], e.Right) << "sample " << e.At;
  }
}

TEST(SoundMixer, StopNoMultipleAndPlayOut)
{
  SoundInfo once;
  once.NoMultiple = true;
  SoundInfo stop;
  stop.Stop = true;
  const auto movie = Read(DefineSound(1, kPcm44Mono, 1000, Constant(1000, 100)), 1);
  TSoundMixer mixer(movie);
  const SoundHandle a = mixer.Start(1);
  EXPECT_NE(mixer.Start(1), 0u);      // a second instance plays along
  EXPECT_EQ(mixer.Start(1, once), 0u); // not with "no multiple"
  EXPECT_EQ(mixer.Start(7), 0u);       // no such sound
  std::vector<std::int16_t> out(2 * 10);
  mixer.Mix(out);
  EXPECT_EQ(out[0], 200);
  mixer.SetTransform(a, SoundTransform::Pan(1, 0.5));
  mixer.Mix(out);
  EXPECT_EQ(out[0], 100);      // the panned one left the left channel
  EXPECT_EQ(out[1], 100 + 50); // and plays at half on the right
  EXPECT_EQ(mixer.Position(a), 20u);
  mixer.Start(1, stop);
  EXPECT_FALSE(mixer.Active());
  const SoundHandle b = mixer.Start(1);
  std::vector<std::int16_t> rest(2 * 2000);
  mixer.Mix(rest);
  EXPECT_EQ(rest[2 * 999], 100);
  EXPECT_EQ(rest[2 * 1000], 0);
  EXPECT_EQ(mixer.TakeCompleted(), std::vector<SoundHandle>{b});
}

struct TPlayer {
  explicit TPlayer(std::shared_ptr<Movie> M)
      : Sound(M), Line(M, [this](const Sprite& S, std::uint32_t F) { Sound.FrameEntered(S, F); })
  {
  }
  std::int16_t MixFrames(double Frames)
  {
    std::vector<std::int16_t> out(2 * static_cast<std::size_t>(Frames * kPerFrame));
    Sound.Mixer().Mix(out);
    return out.back();
  }
  TMovieSound Sound;
  Timeline Line;
};

TEST(MovieSound, ASlowClockSkipsFramesAndNeverStretchesTheSound)
{
  TPlayer p(Read(StreamTags(10), 10));
  // Ticks come every three frames' time: each one steps the root three
  // frames, drawing only the last.
  for (std::uint32_t tick = 1; tick <= 3; ++tick) {
    const std::int16_t heard = p.MixFrames(3);
    EXPECT_EQ(heard, 1000 * 3 * tick) << "the sound plays on at its own pace";
    const std::uint32_t steps = p.Sound.StepsDue(p.Line.CurrentFrame(), p.Sound.Mixer().SamplesMixed());
    EXPECT_EQ(steps, 3u);
    for (std::uint32_t i = 0; i < steps; ++i)
      p.Line.Advance();
    EXPECT_EQ(p.Line.CurrentFrame(), 3 * tick);
  }
  // A root ahead of the sound waits.
  p.Line.Advance();
  EXPECT_EQ(p.Sound.StepsDue(p.Line.CurrentFrame(), p.Sound.Mixer().SamplesMixed()), 0u);
}

TEST(MovieSound, SeekingPutsTheStreamAtTheFramesSample)
{
  TPlayer p(Read(StreamTags(10), 10));
  p.MixFrames(1.5);
  for (const std::uint32_t frame : {6u, 2u, 9u}) {
    p.Line.GotoFrame(frame);
    p.Sound.Seek(frame);
    EXPECT_FALSE(p.Sound.Mixer().StreamPlaying()) << "a held frame is silent";
    p.Sound.Resume(frame);
    EXPECT_EQ(p.MixFrames(0.5), 1000 * (static_cast<int>(frame) + 1));
    EXPECT_EQ(p.Sound.StreamFrame(p.Sound.Mixer().SamplesMixed()), frame);
  }
}

TEST(MovieSound, ALoopingMovieRestartsItsStreamAndAStopEndsIt)
{
  TPlayer p(Read(StreamTags(3), 3));
  p.Line.Advance();
  p.Line.Advance();
  EXPECT_EQ(p.MixFrames(3), 3000);
  p.Line.Advance(); // back to frame 0
  EXPECT_EQ(p.MixFrames(0.5), 1000);
  p.Sound.RootStopped();
  EXPECT_EQ(p.MixFrames(0.5), 0);
}

} // namespace
} // namespace quenloft::swf::test

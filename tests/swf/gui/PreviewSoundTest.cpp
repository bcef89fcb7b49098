// The preview's sound: what the player hands its audio sink, and when the
// sink goes away.
#include "swf/gui/PreviewSound.h"
#include "swf/gui/kvuFlash.h"

#include "tests/support/TempDir.h"
#include "tests/swf/sound/SoundBuilder.h"
#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using namespace swf::test;
using testing::WaitUntil;

constexpr std::size_t kPerFrame = 3675; // 12 fps

// Takes 50 ms of sound at a time and plays it at once, so the sound heard
// is all that was mixed.
struct TFakeSink : TAudioSink {
  explicit TFakeSink(std::vector<std::int16_t>& Samples, bool& Alive) : FSamples(Samples), FAlive(Alive)
  {
    FAlive = true;
  }
  ~TFakeSink() override { FAlive = false; }
  std::size_t FreeFrames() override { return 2205; }
  std::size_t QueuedFrames() override { return 0; }
  void Write(std::span<const std::int16_t> S) override { FSamples.insert(FSamples.end(), S.begin(), S.end()); }
  std::vector<std::int16_t>& FSamples;
  bool& FAlive;
};

class PreviewSound : public ::testing::Test {
protected:
  PreviewSound()
  {
    TPreviewSound::SetSinkFactory([this] {
      ++Opened;
      return std::make_unique<TFakeSink>(Samples, Alive);
    });
    Window.resize(300, 200);
    Flash->setGeometry(8, 1, 241, 175);
    Window.show();
  }
  ~PreviewSound() override
  {
    TPreviewSound::SetSinkFactory(nullptr);
    TPreviewSound::SetMuted(false);
  }
  // A 12 fps movie whose stream holds 1000 * (f + 1) in frame f.
  std::string StreamMovie(const std::string& Name, int Frames)
  {
    TBytes tags = StreamHead(FormatByte(3, 3, true, false), kPerFrame);
    for (int f = 0; f < Frames; ++f) {
      TBitWriter w;
      for (std::size_t i = 0; i < kPerFrame; ++i)
        w.U16(static_cast<std::uint16_t>(1000 * (f + 1)));
      tags = Join({tags, StreamBlock(w.Out), ShowFrame()});
    }
    const TBytes file = SoundMovie(Join({tags, End()}), 12, static_cast<std::uint16_t>(Frames));
    return Files.WriteFile(Name, std::string(file.begin(), file.end()));
  }
  void Load(const std::string& Path) { Flash->LoadMovie(QString::fromStdString(Path)); }

  testing::QtAppGuard Guard;
  testing::TempDir Files;
  std::vector<std::int16_t> Samples;
  bool Alive = false;
  int Opened = 0;
  QWidget Window;
  TkvuFlash* Flash = new TkvuFlash(&Window);
};

TEST_F(PreviewSound, TheSinkGetsTheStreamAndThePictureFollowsIt)
{
  Load(StreamMovie("stream.swf", 40));
  ASSERT_TRUE(Alive);
  ASSERT_TRUE(WaitUntil([this] { return Flash->CurrentFrame() >= 3; }));
  ASSERT_GE(Samples.size(), 2 * 3 * kPerFrame);
  EXPECT_EQ(Samples[0], 1000);
  EXPECT_EQ(Samples[1], 1000);
  EXPECT_EQ(Samples[2 * (2 * kPerFrame + 5)], 3000) << "frame 2's sound in its place";
  EXPECT_LE(static_cast<std::size_t>(Flash->CurrentFrame()), Samples.size() / 2 / kPerFrame)
      << "the picture never runs ahead of the sound";
}

TEST_F(PreviewSound, HidingReplacingAndSeekingActAtOnce)
{
  const std::string Path = StreamMovie("stream.swf", 40);
  Load(Path);
  ASSERT_TRUE(Alive);
  Flash->hide();
  EXPECT_FALSE(Alive) << "hidden: the sound stops";
  Flash->show();
  ASSERT_TRUE(Alive);
  Load(Path);
  EXPECT_EQ(Opened, 3) << "a new movie, a new output; the old one has gone";
  Flash->GotoFrame(20);
  Flash->Play();
  Samples.clear();
  ASSERT_TRUE(WaitUntil([this] { return Samples.size() >= 2; }));
  EXPECT_EQ(Samples[0], 21000) << "the stream plays on from the frame sought";
}

TEST_F(PreviewSound, MutedPreviewsWriteSilenceAndSilentMoviesOpenNoOutput)
{
  TPreviewSound::SetMuted(true);
  Load(StreamMovie("stream.swf", 40));
  ASSERT_TRUE(WaitUntil([this] { return Samples.size() >= 2 * kPerFrame; }));
  EXPECT_TRUE(std::all_of(Samples.begin(), Samples.end(), [](std::int16_t S) { return S == 0; }));
  Opened = 0;
  const TBytes silent = MovieFile(Join({ShowFrame(), ShowFrame(), End()}), 'F', 2);
  Load(Files.WriteFile("silent.swf", std::string(silent.begin(), silent.end())));
  EXPECT_EQ(Opened, 0);
  EXPECT_FALSE(Alive);
  EXPECT_EQ(Flash->Sound(), nullptr);
}

} // namespace
} // namespace quenloft

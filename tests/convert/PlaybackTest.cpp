// The fixed clock and the length rules, over a scripted frame source and a
// sound source of a given length; and the plan's limits.
#include "convert/Playback.h"

#include <gtest/gtest.h>

namespace quenloft::convert {
namespace {

// A root timeline of Total frames that stops at StopAt (if set).
class TFakeFrames final : public TFrameSource {
public:
  TFakeFrames(std::uint32_t Total, std::optional<std::uint32_t> StopAt) : FTotal(Total), FStopAt(StopAt) {}
  const swf::DisplayList& List() const override { return FList; }
  void Advance() override
  {
    if (!Stopped())
      FFrame = (FFrame + 1) % FTotal;
  }
  std::uint32_t CurrentFrame() const override { return FFrame; }
  std::uint32_t TotalFrames() const override { return FTotal; }
  bool Stopped() const override { return FTotal == 1 || (FStopAt && FFrame == *FStopAt); }

private:
  swf::DisplayList FList;
  std::uint32_t FTotal, FFrame = 0;
  std::optional<std::uint32_t> FStopAt;
};

// Sound for Samples sample frames, then silence.
class TFakeSound final : public TSoundSource {
public:
  explicit TFakeSound(std::uint64_t Samples) : FLeft(Samples) {}
  bool HasSound() const override { return true; }
  void MixFrame(std::span<std::int16_t> Out) override
  {
    std::fill(Out.begin(), Out.end(), 1000);
    FLeft -= std::min<std::uint64_t>(FLeft, Out.size() / 2);
  }
  bool Sounding() const override { return FLeft > 0; }

private:
  std::uint64_t FLeft;
};

TEST(Playback, LengthFollowsTheAskOrTheMovie)
{
  struct Case {
    const char* Name;
    std::uint32_t Total;
    std::optional<std::uint32_t> StopAt;
    std::uint64_t SoundSamples; // 0: no sound source
    TConvertOptions Options;
    std::uint64_t Frames, Ticks;
  };
  TConvertOptions plain;
  plain.Output = "x.mp4";
  auto with = [plain](auto Change) {
    TConvertOptions o = plain;
    Change(o);
    return o;
  };
  const Case cases[] = {
      {"one pass", 10, {}, 0, plain, 10, 9},
      {"frames asked loop the movie", 10, {}, 0, with([](auto& o) { o.Frames = 25; }), 25, 24},
      {"seconds asked", 10, {}, 0, with([](auto& o) { o.Seconds = 2.0; }), 48, 47},
      {"a stop ends a silent movie", 10, 4u, 0, plain, 5, 4},
      {"a stopped movie waits for its sound", 10, 4u, 44100, plain, 24, 23},
      {"one frame lasts as its sound", 1, {}, 22050, plain, 12, 11},
      {"one silent frame", 1, {}, 0, plain, 1, 0},
      {"twice the rate shows each tick twice", 10, {}, 0, with([](auto& o) { o.Fps = 48.0; }), 20, 9},
      {"half the rate skips ticks", 10, {}, 0, with([](auto& o) { o.Fps = 12.0; }), 5, 9},
      {"endless sound meets the limit", 1, {}, ~0ull, with([](auto& o) { o.MaxSeconds = 3; }), 72, 71},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPlan plan = MakePlan(c.Options, 100, 100, 24);
    TFakeFrames frames(c.Total, c.StopAt);
    TFakeSound sound(c.SoundSamples);
    std::uint64_t mixed = 0;
    TPlayback playback(frames, c.SoundSamples ? &sound : nullptr, plan,
                       [&mixed](std::span<const std::int16_t> S) { mixed += S.size() / 2; });
    std::uint64_t made = 0;
    while (playback.Reach(made))
      ++made;
    EXPECT_EQ(made, c.Frames);
    EXPECT_EQ(playback.Tick(), c.Ticks);
    if (c.SoundSamples) {
      // Every tick's share of the second, without drift.
      EXPECT_EQ(mixed, (c.Ticks + 1) * 44100 / 24);
      EXPECT_EQ(playback.Samples(), mixed);
    }
  }
}

TEST(Playback, PlanKeepsToTheFormatsLimits)
{
  struct Case {
    const char* Output;
    double Scale;
    std::optional<double> Fps;
    int Width, Height;
    double ExpectFps;
    const char* Error;
  } cases[] = {
      {"a.mp4", 1, {}, 550, 400, 24, nullptr},
      {"a.webm", 0.5, {}, 274, 200, 24, nullptr}, // even sides for 4:2:0
      {"a.gif", 0.5, {}, 275, 200, 24, nullptr},  // GIF keeps odd sides
      {"a.GIF", 1, 60.0, 0, 0, 0, "between 1 and 50"},
      {"a.mp4", 1, 0.5, 0, 0, 0, "between 1 and 120"},
      {"a.mp4", 20, {}, 0, 0, 0, "8192 pixels"},
      {"a.avi", 1, {}, 0, 0, 0, ".mp4, .webm"},
      {"a.swf.html", 0.004, {}, 2, 2, 24, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Output);
    TConvertOptions o;
    o.Output = c.Output;
    o.Scale = c.Scale;
    o.Fps = c.Fps;
    try {
      const TPlan plan = MakePlan(o, 550, 400, 24);
      EXPECT_EQ(c.Error, nullptr);
      EXPECT_EQ(plan.Width, c.Width);
      EXPECT_EQ(plan.Height, c.Height);
      EXPECT_EQ(plan.Fps, c.ExpectFps);
    } catch (const EConvertError& e) {
      ASSERT_NE(c.Error, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.Error), std::string::npos) << e.what();
    }
  }
}

} // namespace
} // namespace quenloft::convert

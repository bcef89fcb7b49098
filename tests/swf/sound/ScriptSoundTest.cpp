// Sounds that script starts, stops and turns up or down are heard in the
// movie's own mix, next to the timeline's; sprites' streams and buttons'
// sounds play there too.
#include <gtest/gtest.h>

#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"
#include "swf/sound/MovieSound.h"
#include "swf/sound/Soundtrack.h"
#include "tests/swf/avm1/ActionBuilder.h"
#include "tests/swf/sound/SoundBuilder.h"

namespace quenloft::swf::test {
namespace {

using avm1::testing::TActions;

constexpr std::size_t kPerFrame = 3675; // 44,100 / 12
const std::uint8_t kPcm44Mono = FormatByte(3, 3, true, false);

TBytes Constant(std::size_t Frames, std::int16_t Value)
{
  TBitWriter w;
  for (std::size_t i = 0; i < Frames; ++i)
    w.U16(static_cast<std::uint16_t>(Value));
  return w.Out;
}

// Sound 1 (2000 samples of 2000) exported as "beep", a one-frame sprite
// placed as "mc", then Frame0 on the first of two frames.
std::shared_ptr<Movie> ScriptMovie(const TBytes& Frame0)
{
  TBitWriter place;
  place.U8(0x02 | 0x04 | 0x20).U16(1).U16(5).Matrix(0, 0).Str("mc");
  const TBytes tags = Join({DefineSound(1, kPcm44Mono, 2000, Constant(2000, 2000)),
                            Tag(56, TBitWriter().U16(1).U16(1).Str("beep").Out), SpriteTag(5, 1, ShowFrame()),
                            Tag(26, place.Out), Frame0, ShowFrame(), ShowFrame(), End()});
  return ReadMovie(SoundMovie(tags, 12, 2));
}

// Name = new Sound(Target), Target empty for none.
TActions& NewSound(TActions& A, const std::string& Name, const std::string& Target = "")
{
  A.Str(Name);
  if (Target.empty())
    A.Int(0);
  else
    A.Str(Target).Int(1);
  return A.Str("Sound").Op(0x40).Op(0x1D);
}

// Object.Method(Args...), its result dropped.
TActions& Call(TActions& A, const std::string& Object, const std::string& Method, std::vector<std::int32_t> Args = {},
               const std::string& Text = "")
{
  for (auto it = Args.rbegin(); it != Args.rend(); ++it)
    A.Int(*it);
  if (!Text.empty())
    A.Str(Text);
  A.Int(static_cast<std::int32_t>(Args.size() + (Text.empty() ? 0 : 1)));
  return A.GetVar(Object).Str(Method).Op(0x52).Op(0x17);
}

TActions Attached(const std::string& Target = "")
{
  TActions a;
  NewSound(a, "s", Target);
  return Call(a, "s", "attachSound", {}, "beep");
}

struct TCase {
  const char* Name;
  TBytes Frame0;
  std::size_t At;
  int Left;
  int Right;
};

std::vector<TCase> Cases()
{
  std::vector<TCase> c;
  const auto add = [&c](const char* Name, TActions A, std::size_t At, int L, int R, TBytes Extra = {}) {
    c.push_back({Name, Join({Extra, DoAction(A.Bytes)}), At, L, R});
  };
  {
    TActions a = Attached();
    add("start plays the attached sound", Call(a, "s", "start"), 10, 2000, 2000);
  }
  {
    TActions a = Attached();
    Call(a, "s", "setVolume", {50});
    add("the movie's volume", Call(a, "s", "start"), 10, 1000, 1000);
  }
  {
    TActions a = Attached();
    Call(a, "s", "setPan", {100});
    add("panned right", Call(a, "s", "start"), 10, 0, 2000);
  }
  {
    TActions a = Attached("mc");
    Call(a, "s", "setVolume", {25});
    add("the clip's volume", Call(a, "s", "start"), 10, 500, 500);
  }
  {
    TActions a;
    NewSound(a, "t", "mc");
    Call(a, "t", "setVolume", {0});
    const TActions s = Attached();
    a.Bytes.insert(a.Bytes.end(), s.Bytes.begin(), s.Bytes.end());
    add("a clip's volume leaves the movie's sounds alone", Call(a, "s", "start"), 10, 2000, 2000);
  }
  {
    TActions a = Attached("nothing");
    add("a target naming no clip starts nothing", Call(a, "s", "start"), 10, 0, 0);
  }
  {
    TActions a = Attached();
    Call(a, "s", "start");
    add("stopAllSounds", a.Op(0x09), 10, 0, 0);
  }
  {
    TActions a = Attached();
    Call(a, "s", "start");
    add("stop by name", Call(a, "s", "stop", {}, "beep"), 10, 0, 0);
  }
  {
    TActions a = Attached();
    add("two loops", Call(a, "s", "start", {0, 2}), 2500, 2000, 2000);
  }
  {
    TActions a = Attached();
    add("one pass", Call(a, "s", "start", {0, 1}), 2500, 0, 0);
  }
  {
    TActions a;
    NewSound(a, "g");
    add("the movie's volume covers the timeline's sounds", Call(a, "g", "setVolume", {50}), 10, 1000, 1000,
        StartSoundTag(1));
  }
  return c;
}

TEST(ScriptSound, IsHeardInTheSoundtrack)
{
  for (const TCase& c : Cases()) {
    TSoundtrack track(ScriptMovie(c.Frame0), SoundtrackLimit{2, std::nullopt});
    std::vector<std::int16_t> all(2 * 2 * kPerFrame);
    std::size_t got = 0;
    while (const std::size_t n = track.Next(all.data() + 2 * got, all.size() / 2 - got))
      got += n;
    ASSERT_EQ(got, 2 * kPerFrame) << c.Name;
    EXPECT_EQ(all[2 * c.At], c.Left) << c.Name;
    EXPECT_EQ(all[2 * c.At + 1], c.Right) << c.Name;
  }
}

TEST(ScriptSound, TellsTheDurationPositionAndCompletion)
{
  TActions done;
  done.Str("complete").Trace();
  TActions a = Attached();
  a.Function("done", done);
  a.GetVar("s").Str("onSoundComplete").GetVar("done").Op(0x4F);
  Call(a, "s", "start");
  a.GetVar("s").Str("duration").Op(0x4E).Trace();
  a.Op(0x07); // stop: the frame runs once
  const auto movie = ScriptMovie(DoAction(a.Bytes));
  TMovieSound sound(movie);
  std::string trace;
  avm1::PlayerOutput out;
  out.Trace = [&trace](std::string_view Line) { trace += std::string(Line) + "\n"; };
  out.Frames = [&sound](const Sprite& S, std::uint32_t F) { sound.FrameEntered(S, F); };
  out.Sound = &sound;
  avm1::Player player(movie, out);
  EXPECT_EQ(trace, "45\n"); // 2000 samples at 44.1 kHz, in milliseconds
  std::vector<std::int16_t> block(2 * 1000);
  sound.Mixer().Mix(block);
  player.Advance();
  EXPECT_EQ(trace, "45\n") << "still playing";
  sound.Mixer().Mix(block);
  sound.Mixer().Mix(block);
  player.Advance();
  EXPECT_EQ(trace, "45\ncomplete\n");
}

TEST(MovieSound, ASpritesStreamPlaysWhileTheSpritePlays)
{
  TBytes inner = StreamHead(kPcm44Mono, kPerFrame);
  for (int f = 0; f < 3; ++f)
    inner = Join({inner, StreamBlock(Constant(kPerFrame, static_cast<std::int16_t>(100 * (f + 1)))), ShowFrame()});
  const auto movie = ReadMovie(
      SoundMovie(Join({SpriteTag(5, 3, Join({inner, End()})), Place2(1, 5), ShowFrame(), ShowFrame(), End()}), 12, 2));
  ASSERT_TRUE(TMovieSound::HasSound(*movie));
  TSoundtrack track(movie, SoundtrackLimit{5, std::nullopt});
  std::vector<std::int16_t> all(2 * 5 * kPerFrame);
  std::size_t got = 0;
  while (const std::size_t n = track.Next(all.data() + 2 * got, all.size() / 2 - got))
    got += n;
  // The sprite loops its three frames whatever the root does.
  for (const auto& [frame, level] : {std::pair{0, 100}, {1, 200}, {2, 300}, {3, 100}, {4, 200}})
    EXPECT_EQ(all[2 * (frame * kPerFrame + 7)], level) << "frame " << frame;
}

TEST(MovieSound, AButtonsTransitionPlaysItsSound)
{
  // DefineButtonSound for button 7: only idle to over-up has a sound.
  const TBytes buttonSound = Tag(17, TBitWriter().U16(7).U16(0).U16(1).U8(0).U16(0).U16(0).Out);
  const auto movie = ReadMovie(
      SoundMovie(Join({DefineSound(1, kPcm44Mono, 100, Constant(100, 700)), buttonSound, ShowFrame(), End()}), 12, 1));
  using Change = TMovieSound::ButtonChange;
  for (const auto& [change, button, heard] : {std::tuple{Change::IdleToOverUp, 7, 700}, {Change::OverUpToIdle, 7, 0},
                                              {Change::OverUpToOverDown, 7, 0}, {Change::IdleToOverUp, 8, 0}}) {
    TMovieSound sound(movie);
    sound.ButtonChanged(static_cast<CharacterId>(button), change);
    std::vector<std::int16_t> out(2 * 10);
    sound.Mixer().Mix(out);
    EXPECT_EQ(out[0], heard) << "button " << button << " change " << static_cast<int>(change);
  }
}

TEST(MovieSound, PointingAtAPlacedButtonPlaysItsSound)
{
  // Button 7 (shape 1 as its up and hit states) at (10, 10) px, with a sound
  // for idle to over-up only.
  const TBytes button = Tag(34, TBitWriter().U16(7).U8(0).U16(0).U8(0x09).U16(1).U16(1).Matrix(0, 0).U8(0).U8(0).Out);
  const TBytes buttonSound = Tag(17, TBitWriter().U16(7).U16(0).U16(1).U8(0).U16(0).U16(0).Out);
  const auto movie = ReadMovie(SoundMovie(Join({DefineSound(1, kPcm44Mono, 100, Constant(100, 700)), RectShape(1, 800, 800),
                                                button, buttonSound, Place2(1, 7, 200, 200), ShowFrame(), End()}),
                                          12, 1));
  TMovieSound sound(movie);
  avm1::PlayerOutput output;
  output.Sound = &sound;
  avm1::Player player(movie, output);
  std::vector<std::int16_t> out(2 * 10);
  player.MouseMove(80, 80);
  sound.Mixer().Mix(out);
  EXPECT_EQ(out[0], 0) << "a move that misses the button";
  player.MouseMove(20, 20);
  sound.Mixer().Mix(out);
  EXPECT_EQ(out[0], 700);
}

} // namespace
} // namespace quenloft::swf::test

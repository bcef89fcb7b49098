// quenloft-cli audio and the sound lines of info, run as a process over
// movies written by the test.
#include "tests/cli/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/swf/sound/SoundBuilder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using namespace swf::test;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;

// 12 fps, two frames; the stream holds 300 in frame 0 and 600 in frame 1
// (44.1 kHz mono), and sound 1 (8-bit, 11 kHz) starts with frame 1.
TBytes SoundTags()
{
  TBitWriter f0, f1;
  for (int i = 0; i < 3675; ++i) {
    f0.U16(300);
    f1.U16(600);
  }
  const std::uint8_t pcm = FormatByte(3, 3, true, false);
  return Join({DefineSound(1, FormatByte(3, 1, false, false), 5, TBytes(5, 0x80)), StreamHead(pcm, 3675),
               StreamBlock(f0.Out), ShowFrame(), StartSoundTag(1), StreamBlock(f1.Out), ShowFrame(), End()});
}

class CliAudio : public ::testing::Test {
protected:
  TempDir Dir;
  std::string Movie = Write("movie.swf", SoundMovie(SoundTags(), 12, 2));
  std::string Out = (Dir.Path() / "track.wav").string();
  std::string Write(const std::string& Name, const TBytes& B) { return Dir.WriteFile(Name, std::string(B.begin(), B.end())); }
};

std::int16_t SampleAt(const std::string& Wav, std::size_t Frame, int Channel)
{
  const std::size_t at = 44 + Frame * 4 + static_cast<std::size_t>(Channel) * 2;
  return static_cast<std::int16_t>(static_cast<std::uint8_t>(Wav[at]) | static_cast<std::uint8_t>(Wav[at + 1]) << 8);
}

TEST_F(CliAudio, WritesTheSoundtrackAsTheTimelinePlaysItOnce)
{
  struct Case {
    std::vector<std::string> Args;
    std::size_t Frames;
  } cases[] = {{{}, 2 * 3675}, {{"--frames", "1"}, 3675}, {{"--seconds", "0.5"}, 22050}};
  for (const Case& c : cases) {
    std::filesystem::remove(Out);
    std::vector<std::string> args{"audio", Movie, "-o", Out};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const auto run = RunProgram(QUENLOFT_CLI_PATH, args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string wav = ReadFileBytes(Out);
    ASSERT_EQ(wav.size(), 44 + c.Frames * 4);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(SampleAt(wav, 0, 0), 300);
    EXPECT_EQ(SampleAt(wav, 3674, 1), 300);
  }
  // The full track: frame 1 with the stream's 600 (the 8-bit silence of
  // sound 1 adds nothing); past the second frame --seconds plays on and
  // the movie loops.
  std::filesystem::remove(Out);
  ASSERT_EQ(RunProgram(QUENLOFT_CLI_PATH, {"audio", Movie, "-o", Out}).Status, 0);
  EXPECT_EQ(SampleAt(ReadFileBytes(Out), 3675, 0), 600);
}

TEST_F(CliAudio, InfoListsTheSounds)
{
  const auto text = RunProgram(QUENLOFT_CLI_PATH, {"info", Movie});
  EXPECT_NE(text.Out.find("sound        1: pcm 11025 Hz mono 8-bit, 5 samples"), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("stream       pcm 44100 Hz mono 16-bit, 3675 samples a frame"), std::string::npos);
  const auto json = nlohmann::json::parse(RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", Movie}).Out);
  EXPECT_EQ(json["sounds"][0]["format"], "pcm");
  EXPECT_EQ(json["sounds"][0]["rate"], 11025);
  EXPECT_EQ(json["sounds"][0]["channels"], 1);
  EXPECT_EQ(json["sounds"][0]["samples"], 5);
  EXPECT_EQ(json["stream"]["samples_per_frame"], 3675);
}

TEST_F(CliAudio, RefusesWhatItCannotDoWithExitStatusOne)
{
  const std::string silent = Write("silent.swf", MovieFile(Join({ShowFrame(), End()})));
  const std::string text = Dir.WriteFile("page.html", "<html></html>");
  const std::string taken = Dir.WriteFile("taken.wav", "keep me");
  struct Case {
    std::vector<std::string> Args;
    int Status;
    const char* Says;
  } cases[] = {
      {{"audio", silent, "-o", Out}, 1, "no sound"},
      {{"audio", text, "-o", Out}, 1, "not a movie"},
      {{"audio", Movie, "-o", taken}, 1, "exists"},
      {{"audio", Movie, "-o", (Dir.Path() / "no" / "x.wav").string()}, 1, "cannot create"},
      {{"audio", Movie, "--frames", "2", "--seconds", "1", "-o", Out}, 2, "excludes"},
  };
  for (const Case& c : cases) {
    const auto run = RunProgram(QUENLOFT_CLI_PATH, c.Args);
    EXPECT_EQ(run.Status, c.Status) << c.Args[1] << ": " << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
  }
  EXPECT_EQ(ReadFileBytes(taken), "keep me");
  EXPECT_FALSE(std::filesystem::exists(Out));
}

} // namespace
} // namespace quenloft

// quenloft-cli loads the decoders only for the commands that read movies
// (handed to quenloft-movie) and Qt only for those that draw (handed to
// quenloft-draw): what the dynamic loader loads for each command, and where
// quenloft-cli finds those programs.
#include "tests/cli/ChildProcess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quenloft {
namespace {

using testing::RunProgram;
using testing::ScriptedServer;
using testing::TempDir;

namespace fs = std::filesystem;

// A 550 x 400 movie of one empty frame.
std::string OneFrameMovie()
{
  const std::string body("\x78\x00\x05\x5F\x00\x00\x0F\xA0\x00\x00\x18\x01\x00\x40\x00\x00\x00", 17);
  std::string movie("FWS\x0A", 4);
  const auto length = static_cast<std::uint32_t>(8 + body.size());
  for (int i = 0; i < 4; ++i)
    movie += static_cast<char>((length >> (8 * i)) & 0xFF);
  return movie + body;
}

// Whether the dynamic loader's account of a run (LD_DEBUG=libs on stderr)
// shows a library whose name starts with Name being loaded.
bool Loads(const std::string& LoaderLog, const std::string& Name)
{
  return LoaderLog.find("library=" + Name) != std::string::npos;
}

TEST(CliCommandPrograms, OnlyTheCommandsThatReadMoviesLoadTheDecodersAndOnlyThoseThatDrawLoadQt)
{
  TempDir dir;
  const std::string movie = dir.WriteFile("movie.swf", OneFrameMovie());
  const std::string body = OneFrameMovie();
  ScriptedServer server(ScriptedServer::Replay(
      {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body}));
  struct Case {
    std::vector<std::string> Args;
    bool Decoders;
    bool Qt;
  };
  const Case cases[] = {
      {{"--version"}, false, false},
      {{"--help"}, false, false},
      {{"-o", (dir.Path() / "saved").string(), server.Url("/movie.swf")}, false, false},
      {{"info", movie}, true, false},
      {{"run", movie}, true, false},
      {{"audio", movie, "-o", (dir.Path() / "sound.wav").string()}, true, false}, // no sound: fails
      {{"render", movie, "-o", (dir.Path() / "frame.png").string()}, true, true},
      {{"convert", "--help"}, true, true},
  };
  testing::ScopedEnv loaderLog("LD_DEBUG", "libs");
  for (const Case& c : cases) {
    const auto run = RunProgram(QUENLOFT_CLI_PATH, c.Args);
    const std::string what = c.Args.front() + (c.Args.size() > 1 ? " " + c.Args[1] : "");
    EXPECT_EQ(Loads(run.Err, "libavcodec"), c.Decoders) << what;
    EXPECT_EQ(Loads(run.Err, "libQt6"), c.Qt) << what;
    EXPECT_NE(run.Status, -1) << what;
  }
  EXPECT_TRUE(fs::exists(dir.Path() / "saved" / "movie.swf"));
  EXPECT_TRUE(fs::exists(dir.Path() / "frame.png"));
}

// The programs are found where `make install` and the package put them
// (libexec/quenloft below the prefix), beside quenloft-cli as in the build
// tree, and a missing one is named.
TEST(CliCommandPrograms, FindsTheProgramsInstalledOrBesideAndSaysWhenOneIsMissing)
{
  const fs::path cli = QUENLOFT_CLI_PATH;
  const fs::path draw = cli.parent_path() / "quenloft-draw";
  ASSERT_TRUE(fs::exists(draw));
  struct Case {
    const char* Name;
    const char* DrawFolder; // relative to the prefix; nullptr: none
    int Status;
    const char* Says;
  };
  const Case cases[] = {
      {"installed", "libexec/quenloft", 0, "--frame"},
      {"beside", "bin", 0, "--frame"},
      {"missing", nullptr, 1, "needs the program quenloft-draw"},
  };
  for (const Case& c : cases) {
    TempDir prefix;
    fs::create_directories(prefix.Path() / "bin");
    fs::copy_file(cli, prefix.Path() / "bin" / "quenloft-cli");
    if (c.DrawFolder) {
      fs::create_directories(prefix.Path() / c.DrawFolder);
      fs::copy_file(draw, prefix.Path() / c.DrawFolder / "quenloft-draw");
    }
    const auto run = RunProgram((prefix.Path() / "bin" / "quenloft-cli").string(), {"render", "--help"});
    EXPECT_EQ(run.Status, c.Status) << c.Name << ": " << run.Err;
    EXPECT_NE((run.Out + run.Err).find(c.Says), std::string::npos) << c.Name << ": " << run.Out << run.Err;
  }
}

} // namespace
} // namespace quenloft

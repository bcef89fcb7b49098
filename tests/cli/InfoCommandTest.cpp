// quenloft-cli info, run as a process over movies written by the test.
#include "tests/cli/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <sys/stat.h>

namespace quenloft {
namespace {

using testing::Lines;
using testing::RunProgram;
using testing::TempDir;

// The frame size, rate and count of a 550 x 400 movie at 24 fps with 1 frame:
// Nbits 15, Xmin 0, Xmax 11000, Ymin 0, Ymax 8000.
const std::string Body("\x78\x00\x05\x5F\x00\x00\x0F\xA0\x00\x00\x18\x01\x00", 13);

std::string Prefix(const char* Signature, std::uint32_t Length)
{
  std::string p(Signature, 3);
  p += '\x0A';
  for (int i = 0; i < 4; ++i)
    p += static_cast<char>((Length >> (8 * i)) & 0xFF);
  return p;
}

std::string Compressed(const std::string& Bytes)
{
  uLongf size = compressBound(static_cast<uLong>(Bytes.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(Bytes.data()),
           static_cast<uLong>(Bytes.size()));
  out.resize(size);
  return out;
}

class CliInfo : public ::testing::Test {
protected:
  TempDir Dir;
  std::string Plain = Dir.WriteFile("plain.swf", Prefix("FWS", 21) + Body);
  std::string Packed =
      Dir.WriteFile("packed.swf", Prefix("CWS", 21) + Compressed(Body + std::string(64, '\0')));
  std::string Text = Dir.WriteFile("page.html", "<html></html>");
};

TEST_F(CliInfo, JsonGivesTheHeaderOfPlainAndCompressedMoviesAndSaysWhatIsNoMovie)
{
  const auto run = RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", Plain, Packed, Text});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 3u) << run.Out;
  for (int i = 0; i < 2; ++i) {
    const auto movie = nlohmann::json::parse(lines[i]);
    EXPECT_EQ(movie["signature"], i == 0 ? "FWS" : "CWS");
    EXPECT_EQ(movie["version"], 10);
    EXPECT_EQ(movie["file_length"], 21);
    EXPECT_EQ(movie["width"], 550);
    EXPECT_EQ(movie["height"], 400);
    EXPECT_DOUBLE_EQ(movie["frame_rate"].get<double>(), 24.0);
    EXPECT_EQ(movie["frame_count"], 1);
    EXPECT_FALSE(movie.contains("error"));
  }
  const auto page = nlohmann::json::parse(lines[2]);
  EXPECT_EQ(page["file"], Text);
  EXPECT_EQ(page["width"], 0);
  EXPECT_EQ(page["frame_count"], 0);
}

TEST_F(CliInfo, AnUnreadableFileGivesItsErrorAndExitStatusOne)
{
  const std::string missing = (Dir.Path() / "gone.swf").string();
  const auto json = RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", Plain, missing});
  EXPECT_EQ(json.Status, 1);
  const auto lines = Lines(json.Out);
  ASSERT_EQ(lines.size(), 2u) << json.Out;
  EXPECT_EQ(nlohmann::json::parse(lines[0])["width"], 550);
  EXPECT_EQ(nlohmann::json::parse(lines[1])["error"],
            "Cannot open file \"" + missing + "\". No such file or directory");

  const auto plain = RunProgram(QUENLOFT_CLI_PATH, {"info", Text, missing});
  EXPECT_EQ(plain.Status, 1);
  EXPECT_NE(plain.Out.find(Text + ": not a movie: not a Flash file\n"), std::string::npos) << plain.Out;
  EXPECT_NE(plain.Err.find("No such file or directory"), std::string::npos) << plain.Err;
}

// A FIFO would block the read for ever and a folder reads as nothing.
TEST_F(CliInfo, FoldersAndFilesThatAreNotRegularSayWhatTheyAre)
{
  const std::string fifo = (Dir.Path() / "pipe.swf").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {Dir.Path().string(), "is a directory"},
      {fifo, "not a regular file"},
      {"/dev/null", "not a regular file"},
  };
  for (const auto& [file, reason] : cases) {
    const auto json = RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", file}, std::chrono::seconds(10));
    EXPECT_EQ(json.Status, 1) << file;
    EXPECT_EQ(nlohmann::json::parse(Lines(json.Out).at(0))["error"], reason) << file;
    const auto plain = RunProgram(QUENLOFT_CLI_PATH, {"info", file}, std::chrono::seconds(10));
    EXPECT_EQ(plain.Status, 1) << file;
    EXPECT_EQ(plain.Err, file + ": " + reason + "\n");
  }
}

TEST_F(CliInfo, BrokenCompressedDataIsAnError)
{
  const std::string broken = Dir.WriteFile("broken.swf", Prefix("CWS", 21) + "not zlib at all");
  const auto run = RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", broken});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(nlohmann::json::parse(Lines(run.Out).at(0))["error"], "not a movie: damaged compressed movie");
}

// The header reader leaves LZMA movies alone; the movie reader reads them.
TEST_F(CliInfo, LzmaMoviesAreReportedAndWhatIsNoMovieSaysWhy)
{
  using namespace swf::test;
  const TBytes zws = MovieFile(Join({ShowFrame(), ShowFrame(), End()}), 'Z', 2, 320, 240, 13);
  ASSERT_GE(zws.size(), 8u);
  const std::string lzma = Dir.WriteFile("lzma.swf", std::string(zws.begin(), zws.end()));
  const std::string empty = Dir.WriteFile("empty.swf", "");
  const auto json = RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", lzma, empty});
  ASSERT_EQ(json.Status, 0) << json.Err;
  const auto lines = Lines(json.Out);
  ASSERT_EQ(lines.size(), 2u) << json.Out;
  const auto movie = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(movie["signature"], "ZWS");
  EXPECT_EQ(movie["version"], 13);
  EXPECT_EQ(movie["file_length"], zws[4] | zws[5] << 8);
  EXPECT_EQ(movie["width"], 320);
  EXPECT_EQ(movie["height"], 240);
  EXPECT_DOUBLE_EQ(movie["frame_rate"].get<double>(), 24.0);
  EXPECT_EQ(movie["frame_count"], 2);
  EXPECT_EQ(movie["script"], false);
  EXPECT_EQ(nlohmann::json::parse(lines[1])["not_a_movie"], "empty file");

  const auto plain = RunProgram(QUENLOFT_CLI_PATH, {"info", lzma, empty});
  EXPECT_EQ(plain.Status, 0);
  EXPECT_NE(plain.Out.find("  signature    ZWS\n"), std::string::npos) << plain.Out;
  EXPECT_NE(plain.Out.find("  size         320 x 240 pixels\n"), std::string::npos) << plain.Out;
  EXPECT_NE(plain.Out.find(empty + ": not a movie: empty file\n"), std::string::npos) << plain.Out;
}

TEST_F(CliInfo, SaysWhetherScriptDrivesTheMovieAndWhatIsSkipped)
{
  using namespace swf::test;
  const auto write = [&](const char* Name, const TBytes& Tags) {
    const TBytes file = MovieFile(Tags, 'C');
    return Dir.WriteFile(Name, std::string(file.begin(), file.end()));
  };
  const std::string plain =
      write("plain-anim.swf", Join({Tag(69, {0, 0, 0, 0}), RectShape(1, 20, 20), Place2(1, 1),
                                    DoAction({0x07}), ShowFrame(), End()}));
  const std::string scripted = write(
      "scripted.swf", Join({Tag(82, {1, 2, 3}), Tag(82, {}), DoAction({0x07, 0x26}), ShowFrame(), End()}));
  const auto run = RunProgram(QUENLOFT_CLI_PATH, {"info", "--json", plain, scripted});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 2u) << run.Out;
  const auto a = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(a["script"], false);
  EXPECT_EQ(a["skipped_tags"], nlohmann::json::parse(R"({"FileAttributes": 1})"));
  const auto b = nlohmann::json::parse(lines[1]);
  EXPECT_EQ(b["script"], true);
  EXPECT_EQ(b["skipped_tags"], nlohmann::json::parse(R"({"DoABC2": 2, "DoAction: action 0x26": 1})"));

  const auto text = RunProgram(QUENLOFT_CLI_PATH, {"info", scripted});
  EXPECT_NE(text.Out.find("  script       yes\n"), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("  skipped tags DoABC2 2, DoAction: action 0x26 1\n"), std::string::npos)
      << text.Out;
}

} // namespace
} // namespace quenloft

// Loading: which addresses a movie may read beside it, the form text of
// variables, and loads through the player arriving after the frame.
#include "swf/FileLoader.h"
#include "swf/MovieReader.h"
#include "swf/avm1/Loads.h"
#include "swf/avm1/Player.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/avm1/ActionBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

using namespace quenloft::swf;
using namespace quenloft::swf::test;
using quenloft::swf::avm1::testing::TActions;

namespace {

class TMapLoader final : public FileLoader {
public:
  std::map<std::string, std::string> Files;
  mutable std::vector<std::string> Asked;
  LoadedFile Load(std::string_view Url) const override
  {
    Asked.emplace_back(Url);
    LoadedFile f;
    f.Name = FolderPathOf(Url, f.Why);
    if (f.Name.empty())
      return f;
    const auto it = Files.find(f.Name);
    f.Result = it == Files.end() ? LoadedFile::Outcome::Missing : LoadedFile::Outcome::Read;
    if (it != Files.end())
      f.Bytes = it->second;
    return f;
  }
};

// GetURL2 with its flags byte.
TActions& GetUrl2(TActions& A, std::uint8_t Flags)
{
  return A.Op(0x9A, {Flags});
}

struct TRun {
  std::string Trace;
  std::string Log;
};

TRun Play(const TBytes& Tags, std::uint16_t Frames, int Advances, std::shared_ptr<const FileLoader> Files)
{
  TRun run;
  avm1::PlayerOutput output;
  output.Trace = [&run](std::string_view Line) { run.Trace += std::string(Line) + "\n"; };
  output.Log = [&run](std::string_view Line) { run.Log += std::string(Line) + "\n"; };
  output.Files = std::move(Files);
  avm1::Player player(ReadMovie(MovieFile(Tags, 'F', Frames, 100, 100, 8)), output);
  for (int i = 0; i < Advances; ++i)
    player.Advance();
  return run;
}

} // namespace

TEST(FileLoaderTest, ReadsOnlyPathsInsideTheFolder)
{
  const struct {
    const char* Url;
    const char* Path; // "" when refused
  } rows[] = {
      {"a.txt", "a.txt"},
      {"sub/../b.swf?x=1#top", "b.swf"},
      {"./dir\\c%20d.png", "dir/c d.png"},
      {"http://example.com/a.swf", ""},
      {"file:///etc/passwd", ""},
      {"C:\\movie.swf", ""},
      {"/etc/passwd", ""},
      {"../secret.txt", ""},
      {"a/../../b", ""},
      {"%2e%2e/x", ""},
      {"a%00b", ""},
      {"?only=query", ""},
  };
  for (const auto& r : rows) {
    std::string why;
    EXPECT_EQ(FolderPathOf(r.Url, why), r.Path) << r.Url;
    EXPECT_EQ(why.empty(), *r.Path != '\0') << r.Url;
  }
}

TEST(FileLoaderTest, AnswersFromTheFolderAndRefusesLinksOut)
{
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("quenloft-loads-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "movie");
  std::ofstream(root / "movie" / "vars.txt") << "a=1";
  std::ofstream(root / "outside.txt") << "secret";
  fs::create_symlink(root / "outside.txt", root / "movie" / "link.txt");
  const auto loader = FolderLoader::Beside(root / "movie" / "test.swf");
  const struct {
    const char* Url;
    LoadedFile::Outcome Result;
    const char* Bytes;
  } rows[] = {
      {"vars.txt", LoadedFile::Outcome::Read, "a=1"},
      {"missing.txt", LoadedFile::Outcome::Missing, ""},
      {"link.txt", LoadedFile::Outcome::Refused, ""},
      {"../outside.txt", LoadedFile::Outcome::Refused, ""},
      {"https://example.com/vars.txt", LoadedFile::Outcome::Refused, ""},
  };
  for (const auto& r : rows) {
    const LoadedFile f = loader->Load(r.Url);
    EXPECT_EQ(f.Result, r.Result) << r.Url;
    EXPECT_EQ(f.Bytes, r.Bytes) << r.Url;
  }
  fs::remove_all(root);
}

TEST(LoadsTest, FormTextAndLevelNames)
{
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(avm1::DecodeForm("a=1&b=x%20y+z&&flag&=v"),
            (Pairs{{"a", "1"}, {"b", "x y z"}, {"flag", ""}, {"", "v"}}));
  EXPECT_EQ(avm1::EscapeForm("a b&c=ü"), "a%20b%26c%3D%C3%BC");
  const struct {
    const char* Target;
    int Level;
  } rows[] = {{"_level0", 0}, {"_level12", 12}, {"_level", -1}, {"_level1x", -1}, {"_root", -1},
              {"_level99999999999", -1}};
  for (const auto& r : rows)
    EXPECT_EQ(avm1::LevelNumber(r.Target), r.Level) << r.Target;
}

TEST(LoadsTest, VariablesArriveAfterTheFrameAndNetworkAddressesAreLogged)
{
  auto files = std::make_shared<TMapLoader>();
  files->Files["vars.txt"] = "\xEF\xBB\xBFgreeting=hello%21&n=2";
  TActions first;
  first.Str("vars.txt").Str("_level0");
  GetUrl2(first, 0x80); // loadVariablesNum
  first.Str("http://example.com/x.swf").Str("_level0");
  GetUrl2(first, 0x00); // loadMovieNum over the network: refused
  first.GetVar("greeting").Trace();
  TActions second;
  second.GetVar("greeting").Trace().GetVar("n").Trace();
  const TBytes tags = Join({DoAction(first.Bytes), ShowFrame(), DoAction(second.Bytes), ShowFrame()});
  const TRun run = Play(tags, 2, 1, files);
  EXPECT_EQ(run.Trace, "undefined\nhello!\n2\n");
  EXPECT_NE(run.Log.find("http://example.com/x.swf"), std::string::npos) << run.Log;
  EXPECT_EQ(files->Asked, (std::vector<std::string>{"vars.txt", "http://example.com/x.swf"}));
}

TEST(LoadsTest, WithoutALoaderEveryLoadFailsAndIsLogged)
{
  TActions first;
  first.Str("vars.txt").Str("_level0");
  GetUrl2(first, 0x80);
  first.GetVar("greeting").Trace();
  const TRun run = Play(Join({DoAction(first.Bytes), ShowFrame(), ShowFrame()}), 2, 1, nullptr);
  EXPECT_EQ(run.Trace, "undefined\n");
  EXPECT_NE(run.Log.find("vars.txt"), std::string::npos);
}

TEST(LoadsTest, MoviesLoadIntoLevelsAndClipsAfterTheFrame)
{
  auto files = std::make_shared<TMapLoader>();
  TActions childScript;
  childScript.Str("child at ").GetVar("_root").Op(0x21).Trace();
  const TBytes child = MovieFile(Join({DoAction(childScript.Bytes), ShowFrame()}), 'F', 1, 100, 100, 8);
  files->Files["child.swf"] = std::string(child.begin(), child.end());
  const struct {
    const char* What;
    const char* Target;
    std::uint8_t Flags;
    const char* Lines;
  } rows[] = {
      {"a level", "_level3", 0x00, "before\nchild at _level3\nafter _level3\n"},
      // The child's one frame replaces the root's two: nothing more runs.
      {"the root, by path", "_root", 0x40, "before\nchild at _level0\n"},
      {"the network", "_level3", 0x00, "before\nafter undefined\n"},
  };
  for (const auto& r : rows) {
    const bool network = std::string(r.What) == "the network";
    TActions first;
    first.Str(network ? "http://example.com/child.swf" : "child.swf").Str(r.Target);
    GetUrl2(first, r.Flags);
    first.Str("before").Trace();
    TActions second;
    second.Str("after ").GetVar("_level3").Op(0x21).Trace();
    const TBytes tags = Join({DoAction(first.Bytes), ShowFrame(), DoAction(second.Bytes), ShowFrame()});
    EXPECT_EQ(Play(tags, 2, 1, files).Trace, r.Lines) << r.What;
  }
}

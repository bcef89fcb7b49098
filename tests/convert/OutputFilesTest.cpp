// Final names never replace a file; temporary files go unless committed.
#include "convert/OutputFiles.h"
#include "convert/Options.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quenloft::convert {
namespace {

namespace fs = std::filesystem;

TEST(OutputFiles, NamesAreFreeForTheWholeSetAndCommitMovesThemThere)
{
  testing::TempDir dir;
  const std::string base = dir.Folder();
  dir.WriteFile("a.gif", "old");
  dir.WriteFile("page.webm", "old"); // only a sibling is taken
  struct Case {
    std::string Output;
    std::vector<std::string> Siblings;
    std::vector<std::string> Final;
  } cases[] = {
      {"new.mp4", {}, {"new.mp4"}},
      {"a.gif", {}, {"a(2).gif"}},
      {"page.html", {".webm", ".png"}, {"page(2).html", "page(2).webm", "page(2).png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Output);
    TOutputFiles files(base + c.Output, c.Siblings);
    for (std::size_t i = 0; i < c.Final.size(); ++i) {
      EXPECT_EQ(files.Final(i), base + c.Final[i]);
      std::ofstream(files.Temporary(i)) << "new";
    }
    files.Commit();
    for (const std::string& name : c.Final)
      EXPECT_TRUE(fs::exists(base + name)) << name;
  }
  std::ifstream old(base + "a.gif");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
}

TEST(OutputFiles, UncommittedFilesGoAndALateArrivalIsNotReplaced)
{
  testing::TempDir dir;
  {
    TOutputFiles files(dir.Folder() + "x.mp4", {});
    std::ofstream(files.Temporary(0)) << "half";
  }
  EXPECT_TRUE(fs::is_empty(dir.Path()));

  TOutputFiles files(dir.Folder() + "x.mp4", {});
  std::ofstream(files.Temporary(0)) << "mine";
  dir.WriteFile("x.mp4", "theirs"); // appeared while converting
  EXPECT_THROW(files.Commit(), EConvertError);
  std::ifstream kept(dir.Folder() + "x.mp4");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "theirs");
}

} // namespace
} // namespace quenloft::convert

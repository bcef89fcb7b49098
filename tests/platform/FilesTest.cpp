#include "platform/kvuFiles.h"

#include "platform/Classes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace quenloft {
namespace {

using testing::TempDir;

TEST(UniqueFileName, AFreeNameStaysAndTakenNamesCountFromTwo)
{
  TempDir dir;
  const std::string movie = dir.Folder() + "movie.swf";
  EXPECT_EQ(UniqueFileName(movie), movie);

  dir.WriteFile("movie.swf", "x");
  EXPECT_EQ(UniqueFileName(movie), dir.Folder() + "movie(2).swf");
  dir.WriteFile("movie(2).swf", "x");
  EXPECT_EQ(UniqueFileName(movie), dir.Folder() + "movie(3).swf");

  // A gap is taken: only the first free candidate counts.
  dir.WriteFile("clip.swf", "x");
  dir.WriteFile("clip(3).swf", "x");
  EXPECT_EQ(UniqueFileName(dir.Folder() + "clip.swf"), dir.Folder() + "clip(2).swf");
}

TEST(UniqueFileName, NamesWithoutOrWithSeveralDotsAndOddSeparators)
{
  TempDir dir;
  dir.WriteFile("clip", "x");
  EXPECT_EQ(UniqueFileName(dir.Folder() + "clip"), dir.Folder() + "clip(2)");
  dir.WriteFile("a.b.swf", "x");
  EXPECT_EQ(UniqueFileName(dir.Folder() + "a.b.swf"), dir.Folder() + "a.b(2).swf");
  // ":" splits like a drive mark: the number goes after it, still in the folder.
  dir.WriteFile("x:y.swf", "x");
  EXPECT_EQ(UniqueFileName(dir.Folder() + "x:y.swf"), dir.Folder() + "x:y(2).swf");
}

TEST(UniqueFileName, FoldersAndDanglingLinksTakeTheirNames)
{
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "movie.swf");
  EXPECT_EQ(UniqueFileName(dir.Folder() + "movie.swf"), dir.Folder() + "movie(2).swf");
  // An exclusive create would fail on a dangling link, so it is not free.
  ASSERT_EQ(::symlink("/nonexistent/target", (dir.Path() / "gone.swf").c_str()), 0);
  EXPECT_TRUE(FileExists(dir.Folder() + "gone.swf"));
  EXPECT_EQ(UniqueFileName(dir.Folder() + "gone.swf"), dir.Folder() + "gone(2).swf");
  EXPECT_FALSE(FileExists(""));
}

TEST(UniqueFileName, ALongNameShortensItsStemSoTheNumberFits)
{
  TempDir dir;
  const std::string e = "\xC3\xA9"; // two bytes
  std::string twoByteStem = "a";
  for (int i = 0; i < 125; ++i)
    twoByteStem += e;
  struct Case {
    std::string Taken;    // 255 bytes, present
    std::string Expected; // the numbered copy, at most 255 bytes
  };
  const Case cases[] = {
      {std::string(251, 'n') + ".swf", std::string(248, 'n') + "(2).swf"},
      // The cut never splits a character: one byte less instead.
      {twoByteStem + ".swf", twoByteStem.substr(0, 247) + "(2).swf"},
      {"x:" + std::string(249, 'k') + ".swf", "x:" + std::string(246, 'k') + "(2).swf"},
      // Short names are not touched.
      {"short.swf", "short(2).swf"},
  };
  for (const auto& c : cases) {
    ASSERT_LE(c.Taken.size(), 255u);
    dir.WriteFile(c.Taken, "x");
    const std::string result = UniqueFileName(dir.Folder() + c.Taken);
    EXPECT_EQ(result, dir.Folder() + c.Expected) << c.Taken.size();
  }
  // The next copy of the first name counts on with the same cut.
  dir.WriteFile(cases[0].Expected, "x");
  EXPECT_EQ(UniqueFileName(dir.Folder() + cases[0].Taken), dir.Folder() + std::string(248, 'n') + "(3).swf");
}

TEST(FileSizeOf, SizesAndFailures)
{
  TempDir dir;
  EXPECT_EQ(FileSizeOf(dir.WriteFile("empty.swf", "")), 0);
  EXPECT_EQ(FileSizeOf(dir.WriteFile("ten.swf", "0123456789")), 10);

  const std::string missing = dir.Folder() + "missing.swf";
  try {
    FileSizeOf(missing);
    FAIL() << "no error for a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". " + SysErrorMessage(ENOENT));
  }

  // Held exclusively by another stream: the open fails, and nothing stays
  // open afterwards (the holder can still be joined by a fresh open later).
  const std::string held = dir.WriteFile("held.swf", "abc");
  {
    TFileStream holder(held, fmOpenRead | fmShareExclusive);
    EXPECT_THROW(FileSizeOf(held), EFOpenError);
  }
  EXPECT_EQ(FileSizeOf(held), 3);
}

} // namespace
} // namespace quenloft

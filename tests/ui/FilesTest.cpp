#include "ui/kvuFiles.h"

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
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + missing + "\". " + SysErrorMessage(ENOENT));
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

#include "platform/Classes.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

namespace quenloft {
namespace {

TEST(MemoryStream, ReadWriteSeekAndResize)
{
  TMemoryStream s;
  s.WriteBuffer("hello world");
  EXPECT_EQ(s.Size(), 11);
  s.SetPosition(6);
  char buf[5];
  s.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
  s.SetSize(5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Bytes(), "hello");
}

TEST(FileStream, CreateNewNeverOverwrites)
{
  testing::TempDir dir;
  const std::string file = dir.WriteFile("movie.swf", "keep me");
  try {
    TFileStream s(file, fmCreateNew | fmShareExclusive);
    FAIL() << "an existing file was opened for creation";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + file + "\". File exists");
  }
  EXPECT_EQ(testing::ReadFileBytes(file), "keep me");
}

TEST(FileStream, OpenErrorsNameTheFullPath)
{
  testing::TempDir dir;
  const std::string missing = (dir.Path() / "none.swf").string();
  try {
    TFileStream s(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". No such file or directory");
  }
}

// The stream keeps its position and, for a file it created, its size: each
// step is checked against what the file really holds.
TEST(FileStream, PositionAndSizeFollowWritesSeeksAndCuts)
{
  testing::TempDir dir;
  const std::string file = (dir.Path() / "out.swf").string();
  TFileStream s(file, fmCreateNew | fmShareExclusive);
  struct {
    const char* Step;
    std::function<void()> Do;
    std::int64_t Position;
    std::int64_t Size;
    std::string Bytes;
  } const steps[] = {
      {"write", [&] { s.WriteBuffer("0123456789", 10); }, 10, 10, "0123456789"},
      {"back 4", [&] { EXPECT_EQ(s.Seek(-4, TSeekOrigin::soCurrent), 6); }, 6, 10, "0123456789"},
      {"overwrite", [&] { s.WriteBuffer("XY", 2); }, 8, 10, "012345XY89"},
      {"to the end", [&] { EXPECT_EQ(s.Seek(0, TSeekOrigin::soEnd), 10); }, 10, 10, "012345XY89"},
      {"before the start", [&] { EXPECT_EQ(s.Seek(-11, TSeekOrigin::soEnd), -1); }, 10, 10, "012345XY89"},
      {"cut", [&] { s.SetSize(7); }, 7, 7, "012345X"},
      {"past the end",
       [&] {
         s.SetPosition(9);
         s.WriteBuffer("Z", 1);
       },
       10, 10, std::string("012345X\0\0Z", 10)},
      {"read back",
       [&] {
         s.SetPosition(5);
         char c[3];
         s.ReadBuffer(c, 3);
         EXPECT_EQ(std::string(c, 3), "5X" + std::string(1, '\0'));
       },
       8, 10, std::string("012345X\0\0Z", 10)},
  };
  for (const auto& step : steps) {
    step.Do();
    EXPECT_EQ(s.Position(), step.Position) << step.Step;
    EXPECT_EQ(s.Size(), step.Size) << step.Step;
    EXPECT_EQ(testing::ReadFileBytes(file), step.Bytes) << step.Step;
  }
  s.Close();
  // A stream that opened an existing file asks the system for its size.
  TFileStream reader(file, fmOpenRead);
  EXPECT_EQ(reader.Size(), 10);
  EXPECT_EQ(reader.Position(), 0);
}

TEST(FileStream, ExclusiveShareKeepsOtherStreamsOut)
{
  testing::TempDir dir;
  const std::string file = dir.WriteFile("a.bin", "x");
  TFileStream first(file, fmOpenRead | fmShareExclusive);
  EXPECT_THROW(TFileStream(file, fmOpenRead | fmShareExclusive), EFOpenError);
  first.Close();
  EXPECT_NO_THROW(TFileStream(file, fmOpenRead | fmShareExclusive));
}

} // namespace
} // namespace quenloft

#include "platform/Classes.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + missing + "\". No such file or directory");
  }
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

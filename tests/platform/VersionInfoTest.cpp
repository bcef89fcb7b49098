#include "platform/VersionInfo.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/VersionNote.h"
#include "tests/support/TempDir.h"

// This test program carries the version note like the program's own
// executables do, so it can read its own version.
QUENLOFT_VERSION_NOTE();

namespace quenloft {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

const TFileVersion kBuilt{QUENLOFT_VERSION_MAJOR, QUENLOFT_VERSION_MINOR, QUENLOFT_VERSION_PATCH,
                          QUENLOFT_VERSION_TWEAK};

// Replaces the first occurrence of From in Bytes by To (same length).
bool Patch(std::string& Bytes, const std::string& From, const std::string& To)
{
  const std::size_t at = Bytes.find(From);
  if (at == std::string::npos)
    return false;
  Bytes.replace(at, To.size(), To);
  return true;
}

// The whole note with the given version, as the build lays it out.
std::string Note(const TFileVersion& V)
{
  std::string d(8, '\0');
  const std::uint16_t words[4] = {V.Major, V.Minor, V.Release, V.Build};
  std::memcpy(d.data(), words, sizeof words);
  return std::string("\x09\0\0\0\x08\0\0\0\x01\0\0\0Quenloft\0\0\0\0", 24) + d;
}

TEST(VersionInfoTest, OurOwnExecutableCarriesTheBuiltVersion)
{
  const auto v = ReadFileVersion("/proc/self/exe");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(*v, kBuilt);
  EXPECT_EQ(quenloft_version_note.Version[0], QUENLOFT_VERSION_MAJOR);
}

TEST(VersionInfoTest, FilesWithoutTheNoteHaveNoVersion)
{
  TempDir dir;
  EXPECT_FALSE(ReadFileVersion(dir.Folder() + "missing"));
  EXPECT_FALSE(ReadFileVersion(dir.Folder()));
  EXPECT_FALSE(ReadFileVersion(dir.WriteFile("empty", "")));
  EXPECT_FALSE(ReadFileVersion(dir.WriteFile("text", "just some text, not a program")));
  EXPECT_FALSE(ReadFileVersion(dir.WriteFile("elfhead", "\x7F"
                                                        "ELF\x02\x01\x01")));
  // A real program of the system, which has notes but not ours.
  EXPECT_FALSE(ReadFileVersion("/bin/sh"));
}

TEST(VersionInfoTest, VersionIsReadFromTheFileOnDisk)
{
  TempDir dir;
  std::string exe = ReadFileBytes("/proc/self/exe");
  ASSERT_FALSE(exe.empty());
  ASSERT_TRUE(Patch(exe, Note(kBuilt), Note({1, 9, 0, 0})));
  const std::string copy = dir.WriteFile("copy", exe);
  EXPECT_EQ(ReadFileVersion(copy), (TFileVersion{1, 9, 0, 0}));

  // Without section headers the note is found through the note segments.
  std::string stripped = exe;
  std::memset(stripped.data() + 40, 0, 8); // e_shoff of an ELF64 header
  EXPECT_EQ(ReadFileVersion(dir.WriteFile("noshdr", stripped)), (TFileVersion{1, 9, 0, 0}));

  // A note whose size runs past its area is damage, not a version.
  std::string damaged = exe;
  const std::string head(std::string("\x09\0\0\0\x08\0\0\0\x01\0\0\0Quenloft", 20));
  ASSERT_TRUE(Patch(damaged, head, std::string("\x09\0\0\0\xFF\xFF\0\0\x01\0\0\0Quenloft", 20)));
  EXPECT_FALSE(ReadFileVersion(dir.WriteFile("damaged", damaged)));

  // A copy cut short inside its headers.
  EXPECT_FALSE(ReadFileVersion(dir.WriteFile("cut", exe.substr(0, 100))));
}

} // namespace
} // namespace quenloft

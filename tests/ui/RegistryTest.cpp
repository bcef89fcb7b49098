#include "ui/kvuRegistry.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/SettingsStore.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace quenloft {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

// Points the per-user store at a fresh folder for the test's duration.
class RegistryTest : public ::testing::Test {
protected:
  std::optional<TRegData> Stored(const std::string& Name, HKEY Root = HKEY_CURRENT_USER)
  {
    return TSettingsStore(RegStoreFileName(Root)).ReadValue(kKey, Name);
  }

  static constexpr const char* kKey = "Software\\Quenloft";
  TempDir FDir;
  ScopedEnv FConfigHome{"XDG_CONFIG_HOME", FDir.Path().string()};
};

TRegData DWord(std::uint32_t V)
{
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i)
    b[static_cast<std::size_t>(i)] = static_cast<char>(V >> (8 * i));
  return {TRegDataType::rdInteger, b};
}

TEST_F(RegistryTest, StoresLiveInTheConfigFolder)
{
  EXPECT_EQ(RegStoreFileName(HKEY_CURRENT_USER), FDir.Folder() + "Quenloft/registry.ini");
  EXPECT_EQ(RegStoreFileName(HKEY_CLASSES_ROOT), FDir.Folder() + "Quenloft/classes.ini");
}

TEST_F(RegistryTest, WritesEachKindWithItsRegistryType)
{
  ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, "True", true));
  EXPECT_EQ(Stored("True"), DWord(0xFFFFFFFF));
  ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, "False", false));
  EXPECT_EQ(Stored("False"), DWord(0));
  ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Min", std::int64_t{INT32_MIN}));
  EXPECT_EQ(Stored("Min"), DWord(0x80000000));
  ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Max", std::uint64_t{INT32_MAX}));
  EXPECT_EQ(Stored("Max"), DWord(0x7FFFFFFF));
  ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Text", std::string("/out/")));
  EXPECT_EQ(Stored("Text"), (TRegData{TRegDataType::rdString, "/out/"}));
  ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Real", 1.5));
  EXPECT_EQ(Stored("Real"), (TRegData{TRegDataType::rdBinary, std::string("\0\0\0\0\0\0\xF8\x3F", 8)}));

  // Integers outside the signed 32-bit range are refused, and nothing is stored.
  EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Big", std::int64_t{INT32_MAX} + 1));
  EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Low", std::int64_t{INT32_MIN} - 1));
  EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, kKey, "U", std::uint64_t{0xFFFFFFFF}));
  EXPECT_FALSE(Stored("Big"));
  EXPECT_FALSE(Stored("U"));
}

TEST_F(RegistryTest, ReadsFollowTheTypeRules)
{
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "Text"), "");
  EXPECT_FALSE(RegReadBool(HKEY_CURRENT_USER, kKey, "Flag"));

  RegWriteValue(HKEY_CURRENT_USER, kKey, "One", std::string("1"));
  RegWriteValue(HKEY_CURRENT_USER, kKey, "Int", std::int64_t{5});
  RegWriteValue(HKEY_CURRENT_USER, kKey, "Zero", std::int64_t{0});
  RegWriteValue(HKEY_CURRENT_USER, kKey, "Real", 2.0);
  RegWriteValue(HKEY_CURRENT_USER, kKey, "Nul", std::string("cut\0here", 8));
  EXPECT_FALSE(RegReadBool(HKEY_CURRENT_USER, kKey, "One")) << "a text '1' is not a boolean";
  EXPECT_TRUE(RegReadBool(HKEY_CURRENT_USER, kKey, "Int"));
  EXPECT_FALSE(RegReadBool(HKEY_CURRENT_USER, kKey, "Zero"));
  EXPECT_FALSE(RegReadBool(HKEY_CURRENT_USER, kKey, "Real"));
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "Int"), "") << "an integer is not a text";
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "Real"), "");
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "One"), "1");
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "Nul"), "cut");

  // An expandable string is returned as stored; a 4-byte binary is no boolean.
  TSettingsStore store(RegStoreFileName(HKEY_CURRENT_USER));
  store.WriteValue(kKey, "Exp", {TRegDataType::rdExpandString, "%HOME%/x"});
  store.WriteValue(kKey, "Bin4", {TRegDataType::rdBinary, std::string("\1\0\0\0", 4)});
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "Exp"), "%HOME%/x");
  EXPECT_FALSE(RegReadBool(HKEY_CURRENT_USER, kKey, "Bin4"));

  // The roots are separate stores.
  EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, kKey, "One"), "");
}

TEST_F(RegistryTest, AStoreThatCannotBeWrittenFailsQuietly)
{
  // The config folder is a plain file: no store can be made under it.
  const std::string blocker = FDir.WriteFile("blocker", "x");
  ScopedEnv configHome("XDG_CONFIG_HOME", blocker);
  EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, kKey, "Text", std::string("v")));
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kKey, "Text"), "");
  EXPECT_FALSE(RegReadBool(HKEY_CURRENT_USER, kKey, "Flag"));
}

} // namespace
} // namespace quenloft

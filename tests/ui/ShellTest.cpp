#include "ui/kvuShell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <sys/stat.h>

#include "platform/VersionNote.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "ui/kvuRegistry.h"

// The test program carries the version note, as the program's own do.
QUENLOFT_VERSION_NOTE();

namespace quenloft {
namespace {

using testing::ReadFileBytes;
using testing::ScopedEnv;
using testing::TempDir;

TEST(ShellTest, AppPathIsTheExecutablesFolder)
{
  const std::string path = GetAppPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.back(), '/');
  EXPECT_EQ(std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/", path);
}

TEST(ShellTest, DownloadPathFromTheEnvironmentTheUserDirsFileOrHome)
{
  TempDir dir;
  const std::string home = dir.Folder() + "home";
  const std::string config = dir.Folder() + "config";
  struct Case {
    const char* Env;      // XDG_DOWNLOAD_DIR
    const char* UserDirs; // user-dirs.dirs in XDG_CONFIG_HOME; nullptr: none
    std::string Expected;
  };
  const Case cases[] = {
      {"/data/dl", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n", "/data/dl/"},
      // A relative variable is no path; the file decides.
      {"dl", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n", home + "/Fetched/"},
      {"",
       "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
       "  XDG_DOWNLOAD_DIR=\"/srv/Down \\\"loads\\\"\"\n",
       "/srv/Down \"loads\"/"},
      // The last assignment wins, as in the shell; unusable lines are skipped.
      {"",
       "XDG_DOWNLOAD_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIR=\"$HOME/b\"\nXDG_DOWNLOAD_DIR=\"rel\"\n"
       "XDG_DOWNLOAD_DIR=\"/open\n",
       home + "/b/"},
      {"", "XDG_DOWNLOAD_DIR=\"$HOMEWORK/x\"\n", home + "/Downloads/"},
      {"", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", home + "/Downloads/"},
      {"", nullptr, home + "/Downloads/"},
  };
  ScopedEnv homeEnv("HOME", home);
  ScopedEnv configEnv("XDG_CONFIG_HOME", config);
  for (const Case& c : cases) {
    std::filesystem::remove_all(config);
    if (c.UserDirs != nullptr) {
      dir.WriteFile("config/user-dirs.dirs", c.UserDirs);
    }
    ScopedEnv downloadEnv("XDG_DOWNLOAD_DIR", c.Env);
    EXPECT_EQ(GetDownloadPath(), c.Expected) << c.Env << " | " << (c.UserDirs ? c.UserDirs : "(no file)");
  }
}

TEST(ShellTest, FileVersionTextInShortAndLongForm)
{
  const std::string built = std::to_string(QUENLOFT_VERSION_MAJOR) + "." +
                            std::to_string(QUENLOFT_VERSION_MINOR) + "." +
                            std::to_string(QUENLOFT_VERSION_PATCH);
  EXPECT_EQ(GetFileVersionText("/proc/self/exe", true), built);
  EXPECT_EQ(GetFileVersionText("/proc/self/exe", false),
            built + "." + std::to_string(QUENLOFT_VERSION_TWEAK));

  // The same program stamped 1.9.0.0.
  TempDir dir;
  std::string exe = ReadFileBytes("/proc/self/exe");
  const std::string head("\x09\0\0\0\x08\0\0\0\x01\0\0\0Quenloft\0\0\0\0", 24);
  const std::size_t at = exe.find(head);
  ASSERT_NE(at, std::string::npos);
  exe.replace(at + head.size(), 8, std::string("\x01\0\x09\0\0\0\0\0", 8));
  const std::string copy = dir.WriteFile("stamped", exe);
  EXPECT_EQ(GetFileVersionText(copy, true), "1.9.0");
  EXPECT_EQ(GetFileVersionText(copy, false), "1.9.0.0");

  EXPECT_EQ(GetFileVersionText(dir.Folder() + "missing", false), "");
  EXPECT_EQ(GetFileVersionText(dir.WriteFile("plain.txt", "no version"), true), "");
  EXPECT_EQ(GetFileVersionText("", true), "");
}

TEST(ShellTest, CompareVersionsComponentByComponent)
{
  EXPECT_EQ(CompareVersions("11.3.372.94", "11.3.372.94"), 0);
  EXPECT_EQ(CompareVersions("11.4", "11.3.372.94"), 1);
  EXPECT_EQ(CompareVersions("10.0.45.2", "11.3.372.94"), -1);
  EXPECT_EQ(CompareVersions("11.3.372.94.9", "11.3.372.94"), 0);
  EXPECT_EQ(CompareVersions("", "0.0.0.0"), 0);
  EXPECT_EQ(CompareVersions("11.3", "11.3.0.0"), 0);
  EXPECT_EQ(CompareVersions("11.3b.1", "11.0.1"), 0) << "'3b' counts as 0";
  EXPECT_EQ(CompareVersions("11.3.372.95", "11.3.372.94"), 1);
  EXPECT_EQ(CompareVersions("9", "10"), -1) << "numeric, not textual";
  EXPECT_EQ(CompareVersions("-1", "0"), -1);
  EXPECT_EQ(CompareVersions("99999999999", "0"), 0) << "beyond 32 bits is not a number";
  // Text past 255 characters is not compared.
  EXPECT_EQ(CompareVersions(std::string(254, '.') + "5", std::string(254, '.') + "4"), 0);
}

TEST(ShellTest, FitSizeInBoxKeepsTheAspectRatio)
{
  struct Case {
    int BoxW, BoxH, W, H;
    bool NeverEnlarge;
    int OutW, OutH;
  };
  const Case cases[] = {
      {255, 175, 550, 400, true, 241, 175}, // 240.625 rounds to 241; the height limits
      {255, 175, 100, 50, true, 100, 50},   // fits: kept
      {255, 175, 100, 100, true, 100, 100},
      {255, 175, 100, 100, false, 175, 175}, // enlarged to touch the box
      {255, 175, 1000, 100, true, 255, 26},  // the width limits: 25.5 rounds to even 26
      {5, 100, 2, 1, false, 5, 2},           // 2.5 rounds to even 2
      {3, 100, 2, 1, false, 3, 2},           // 1.5 rounds to even 2
      {100, 5, 1, 2, false, 2, 5},           // the height limits: 2.5 -> 2
      {200, 100, 400, 200, true, 200, 100},  // equal ratios: the width branch
      {255, 175, 0, 0, true, 0, 0},          // no movie size
      {255, 175, -100, 50, true, 0, 0},      // an inverted rectangle
      {-1, -1, 100, 50, true, 0, 0},         // a box too small to have room
  };
  for (const Case& c : cases) {
    int w = -9, h = -9;
    FitSizeInBox(c.BoxW, c.BoxH, c.W, c.H, c.NeverEnlarge, w, h);
    EXPECT_EQ(w, c.OutW) << c.BoxW << "x" << c.BoxH << " " << c.W << "x" << c.H;
    EXPECT_EQ(h, c.OutH) << c.BoxW << "x" << c.BoxH << " " << c.W << "x" << c.H;
  }
}

class ShellOpenTest : public ::testing::Test {
protected:
  // A program in Folder that records its arguments in <Folder>/<Name>.out,
  // and the first argument of every run in <Folder>/<Name>.runs.
  void FakeProgram(const std::filesystem::path& Folder, const std::string& Name)
  {
    const std::string out = (Folder / (Name + ".out")).string();
    const std::string runs = (Folder / (Name + ".runs")).string();
    const std::string script = "#!/bin/sh\necho \"$1\" >> '" + runs + "'\n" +
                               "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > '" + out +
                               ".tmp' && /bin/mv '" + out + ".tmp' '" + out + "'\n";
    const std::string file =
        FDir.WriteFile(std::filesystem::relative(Folder / Name, FDir.Path()).string(), script);
    ::chmod(file.c_str(), 0755);
  }
  // The recorded arguments, waiting a bounded time for the program to run.
  std::string Recorded(const std::filesystem::path& Folder, const std::string& Name)
  {
    const auto file = Folder / (Name + ".out");
    for (int i = 0; i < 500 && !std::filesystem::exists(file); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ReadFileBytes(file);
  }
  TempDir FDir;
};

TEST_F(ShellOpenTest, HandsTheTargetToTheDesktopOpener)
{
  const auto bin = FDir.Path() / "bin";
  FakeProgram(bin, "xdg-open");
  FakeProgram(bin, "sensible-browser");
  ScopedEnv path("PATH", bin.string());
  const std::string target = "http://example.test/a b\"c'd?x=1&y=2";
  EXPECT_TRUE(ShellOpen(target));
  EXPECT_EQ(Recorded(bin, "xdg-open"), "1\n" + target + "\n");
  // Without the opener the next call takes the fallback: that run is the
  // signal to wait for, and it must be the fallback's only one.
  std::filesystem::remove(bin / "xdg-open");
  EXPECT_TRUE(ShellOpen("https://example.test/second"));
  EXPECT_EQ(Recorded(bin, "sensible-browser"), "1\nhttps://example.test/second\n");
  EXPECT_EQ(ReadFileBytes(bin / "sensible-browser.runs"), "https://example.test/second\n")
      << "the fallback runs only when the opener cannot be started";
}

TEST_F(ShellOpenTest, FallsBackToTheBrowserOnlyWhenTheOpenerIsMissing)
{
  const auto bin = FDir.Path() / "bin";
  FakeProgram(bin, "x-www-browser");
  // An opener that exists but cannot be executed counts as missing.
  FDir.WriteFile("bin/xdg-open", "not a program");
  ScopedEnv path("PATH", bin.string());
  EXPECT_TRUE(ShellOpen("https://example.test/p"));
  EXPECT_EQ(Recorded(bin, "x-www-browser"), "1\nhttps://example.test/p\n");

  const auto empty = FDir.Path() / "empty";
  std::filesystem::create_directories(empty);
  ScopedEnv nothing("PATH", empty.string());
  EXPECT_FALSE(ShellOpen("https://example.test/p"));
}

TEST(FlashPlayerTest, RegisteredPlayerAndTheFocusDecision)
{
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
  EXPECT_EQ(GetFlashPlayerPath(), "") << "no player is registered here";
  ASSERT_TRUE(RegWriteValue(HKEY_CLASSES_ROOT,
                            "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32", "",
                            std::string("/opt/player/flash.so")));
  EXPECT_EQ(GetFlashPlayerPath(), "/opt/player/flash.so");

  int asked = 0;
  auto version = [&](std::string V) {
    return [&asked, V] {
      ++asked;
      return V;
    };
  };
  EXPECT_FALSE(DecideFlashFocusWorkaround(false, version("99.0")));
  EXPECT_EQ(asked, 0) << "the player is not consulted when the system test fails";
  EXPECT_TRUE(DecideFlashFocusWorkaround(true, version("11.3.372.95")));
  EXPECT_TRUE(DecideFlashFocusWorkaround(true, version("12")));
  EXPECT_FALSE(DecideFlashFocusWorkaround(true, version("11.3.372.94")));
  EXPECT_FALSE(DecideFlashFocusWorkaround(true, version("")));
  EXPECT_EQ(asked, 4);

  // This system is not Windows: skip, however new the registered player is.
  EXPECT_FALSE(FlashFocusWorkaroundNeeded());
  EXPECT_FALSE(FlashFocusWorkaroundNeeded());
}

} // namespace
} // namespace quenloft

#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sched.h>
#include <unistd.h>

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace quenloft {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

TRegData Text(const std::string& S)
{
  return {TRegDataType::rdString, S};
}

TRegData DWord(std::uint32_t V)
{
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i)
    b[static_cast<std::size_t>(i)] = static_cast<char>(V >> (8 * i));
  return {TRegDataType::rdInteger, b};
}

// Runs Body in a child process; its exit status comes back.
int InChild(const std::function<int()>& Body)
{
  const pid_t pid = ::fork();
  if (pid == 0)
    ::_exit(Body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> FolderEntries(const std::filesystem::path& Folder)
{
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SettingsStoreTest, ValuesRoundTripWithTheirTypes)
{
  TempDir dir;
  TSettingsStore store(dir.Folder() + "Quenloft/registry.ini");
  EXPECT_FALSE(store.KeyExists("Software/Quenloft"));
  EXPECT_FALSE(store.ReadValue("Software/Quenloft", "OutputPath"));

  const char raw[] = "a=b [c] \\d @e ;f #g\nline\r\ttab\x7F\0zero \xC3\xA9";
  const std::string awkward(raw, sizeof raw - 1);
  const std::string name("we=ird]name@", 12);
  const TRegData binary{TRegDataType::rdBinary, std::string("\x00\xFF\x10", 3)};
  const TRegData expand{TRegDataType::rdExpandString, "$HOME/x"};
  ASSERT_TRUE(store.WriteValue("Software/Quenloft", "OutputPath", Text(awkward)));
  ASSERT_TRUE(store.WriteValue("Software/Quenloft", name, DWord(0xFFFFFFFF)));
  ASSERT_TRUE(store.WriteValue("Software/Quenloft", "", Text("default")));
  ASSERT_TRUE(store.WriteValue("Software/Other", "Blob", binary));
  ASSERT_TRUE(store.WriteValue("Software/Other", "Path", expand));

  EXPECT_EQ(store.ReadValue("Software/Quenloft", "OutputPath"), Text(awkward));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", name), DWord(0xFFFFFFFF));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", ""), Text("default"));
  EXPECT_EQ(store.ReadValue("Software/Other", "Blob"), binary);
  EXPECT_EQ(store.ReadValue("Software/Other", "Path"), expand);
  // Keys and names ignore case, "\" separates like "/".
  EXPECT_EQ(store.ReadValue("software\\QUENLOFT\\", "outputpath"), Text(awkward));
  EXPECT_TRUE(store.KeyExists("/Software//Other"));
  EXPECT_FALSE(store.ReadValue("Software", "OutputPath"));

  // Overwriting keeps one value, of the new type.
  ASSERT_TRUE(store.WriteValue("Software/Quenloft", "OUTPUTPATH", DWord(7)));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "OutputPath"), DWord(7));

  // The file is text a person can read, one line per value.
  const std::string file = ReadFileBytes(store.FileName());
  EXPECT_NE(file.find("[Software/Quenloft]\n"), std::string::npos) << file;
  EXPECT_NE(file.find("OutputPath=dword:00000007\n"), std::string::npos) << file;
  EXPECT_NE(file.find("@=sz:default\n"), std::string::npos) << file;
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 10) << file;
  struct stat st {};
  ASSERT_EQ(::stat(store.FileName().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsStoreTest, DamagedFilesReadAsFarAsTheyMakeSense)
{
  TempDir dir;
  std::mt19937 random(3);
  std::string garbage(4096, '\0');
  for (char& c : garbage)
    c = static_cast<char>(random());
  TSettingsStore store(dir.WriteFile("Quenloft/registry.ini", garbage));
  EXPECT_FALSE(store.ReadValue("Software/Quenloft", "OutputPath"));

  dir.WriteFile("Quenloft/registry.ini", "Stray=sz:before any key\n"
                                         "[Software/Quenloft\n"
                                         "[Software/Quenloft]\n"
                                         "OutputPath=sz:/good/\n"
                                         "Broken=sz:bad \\q escape\n"
                                         "Count=dword:123456789\n"
                                         "Odd=hex:abc\n"
                                         "NoType=plain\n"
                                         "InstallTracked=dword:ffffffff\r\n" +
                                             garbage.substr(0, 200) + "\n");
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "OutputPath"), Text("/good/"));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "InstallTracked"), DWord(0xFFFFFFFF));
  for (const char* bad : {"Broken", "Count", "Odd", "NoType", "Stray"})
    EXPECT_FALSE(store.ReadValue("Software/Quenloft", bad)) << bad;

  // A write over a damaged file keeps what could be read and drops the rest.
  ASSERT_TRUE(store.WriteValue("Software/Quenloft", "New", Text("n")));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "OutputPath"), Text("/good/"));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "New"), Text("n"));
  EXPECT_EQ(ReadFileBytes(store.FileName()).find('\0'), std::string::npos);
}

TEST(SettingsStoreTest, FailedWritesLeaveTheOldStoreWhole)
{
  TempDir dir;
  const std::filesystem::path folder = dir.Path() / "Quenloft";
  TSettingsStore store((folder / "registry.ini").string());
  ASSERT_TRUE(store.WriteValue("Software/Quenloft", "OutputPath", Text("/old/")));
  const std::string before = ReadFileBytes(store.FileName());
  const auto entriesBefore = FolderEntries(folder);

  // A full disk: the file-size limit makes every write past 40 bytes fail
  // (for root too). The old store must survive, and no temporary file stay.
  EXPECT_EQ(InChild([&] {
              std::signal(SIGXFSZ, SIG_IGN);
              rlimit limit{40, 40};
              ::setrlimit(RLIMIT_FSIZE, &limit);
              return store.WriteValue("Software/Quenloft", "OutputPath", Text(std::string(500, 'n'))) ? 1 : 0;
            }),
            0);
  EXPECT_EQ(ReadFileBytes(store.FileName()), before);
  EXPECT_EQ(FolderEntries(folder), entriesBefore);

  // A read-only folder. Root ignores permission bits, so for root the child
  // sees the folder through a read-only bind mount of its own.
  ::chmod(folder.c_str(), 0555);
  const int status = InChild([&] {
    if (::geteuid() == 0) {
      if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
          ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return 77;
    }
    if (store.WriteValue("Software/Quenloft", "OutputPath", Text("/new/")))
      return 1;
    return store.ReadValue("Software/Quenloft", "OutputPath") == Text("/old/") ? 0 : 2;
  });
  ::chmod(folder.c_str(), 0755);
  if (status != 77) {
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(ReadFileBytes(store.FileName()), before);

  // A folder that cannot be made: a plain file stands where it would be.
  dir.WriteFile("blocker", "x");
  TSettingsStore blocked((dir.Path() / "blocker" / "Quenloft" / "registry.ini").string());
  EXPECT_FALSE(blocked.WriteValue("Software/Quenloft", "OutputPath", Text("/x/")));
  EXPECT_FALSE(blocked.ReadValue("Software/Quenloft", "OutputPath"));
  EXPECT_FALSE(TSettingsStore("").WriteValue("K", "N", Text("v")));
  if (status == 77)
    GTEST_SKIP() << "no mount namespace for the read-only folder case as root";
}

TEST(SettingsStoreTest, TwoProgramsWritingAtOnceLoseNothing)
{
  TempDir dir;
  const std::string file = dir.Folder() + "Quenloft/registry.ini";
  constexpr int kWrites = 60;
  auto writer = [&](const std::string& Name) {
    return [=] {
      TSettingsStore store(file);
      for (int i = 1; i <= kWrites; ++i) {
        if (!store.WriteValue("Software/Quenloft", Name, DWord(static_cast<std::uint32_t>(i))))
          return 1;
        // Our own latest value is always there, whatever the other wrote.
        if (store.ReadValue("Software/Quenloft", Name) != DWord(static_cast<std::uint32_t>(i)))
          return 2;
      }
      return 0;
    };
  };
  const pid_t a = ::fork();
  if (a == 0)
    ::_exit(writer("First")());
  const pid_t b = ::fork();
  if (b == 0)
    ::_exit(writer("Second")());
  int sa = 0, sb = 0;
  ::waitpid(a, &sa, 0);
  ::waitpid(b, &sb, 0);
  EXPECT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0) << sa;
  EXPECT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0) << sb;
  TSettingsStore store(file);
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "First"), DWord(kWrites));
  EXPECT_EQ(store.ReadValue("Software/Quenloft", "Second"), DWord(kWrites));
}

TEST(SettingsStoreTest, DefaultFolderFollowsTheBaseDirectoryRules)
{
  testing::ScopedEnv home("HOME", "/home/ann");
  {
    testing::ScopedEnv config("XDG_CONFIG_HOME", "/cfg/here");
    EXPECT_EQ(TSettingsStore::DefaultFolder(), "/cfg/here/Quenloft/");
  }
  {
    testing::ScopedEnv config("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(TSettingsStore::DefaultFolder(), "/home/ann/.config/Quenloft/");
  }
  testing::ScopedEnv config("XDG_CONFIG_HOME", "");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(TSettingsStore::DefaultFolder(), "/home/ann/.config/Quenloft/");
}

} // namespace
} // namespace quenloft

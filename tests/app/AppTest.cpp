#include "app/App.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/SettingsStore.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "ui/InstallTrack.h"
#include "ui/kvuRegistry.h"

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TraceCapture;

// Each test gets its own settings store and trace name.
class AppTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(FTrace.Open(), ""); }
  std::vector<std::string> Drain() { return FTrace.Drain(); }
  std::optional<TRegData> Stored(const char* Name)
  {
    return TSettingsStore(RegStoreFileName(HKEY_CURRENT_USER)).ReadValue(kSettingsKey, Name);
  }

  TempDir FConfig;
  ScopedEnv FConfigHome{"XDG_CONFIG_HOME", FConfig.Path().string()};
  TraceCapture FTrace;
};

TEST_F(AppTest, LifetimeCreatesAndFreesAppWithItsTraceLines)
{
  EXPECT_EQ(App, nullptr);
  {
    TAppLifetime lifetime;
    ASSERT_NE(App, nullptr);
    EXPECT_EQ(Drain(), (std::vector<std::string>{"Quenloft", "not Debug Version"}));
  }
  EXPECT_EQ(App, nullptr);
  EXPECT_EQ(Drain(), std::vector<std::string>{"over"});
}

TEST_F(AppTest, OutputPathIsRemembered)
{
  TAppLifetime lifetime;
  EXPECT_EQ(App->GetOutputPath(), "") << "first run: no key";
  App->SetOutputPath("/home/ann/Movies/");
  EXPECT_EQ(App->GetOutputPath(), "/home/ann/Movies/");
  EXPECT_EQ(Stored(kOutputPathValue), (TRegData{TRegDataType::rdString, "/home/ann/Movies/"}));
  // A folder that is gone is returned as stored; the window decides.
  App->SetOutputPath("/no/such/folder/");
  EXPECT_EQ(App->GetOutputPath(), "/no/such/folder/");
  // Stored as another type: empty.
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kOutputPathValue, std::int64_t{3});
  EXPECT_EQ(App->GetOutputPath(), "");
}

TEST_F(AppTest, InstallTrackedReadAndWriteRules)
{
  TAppLifetime lifetime;
  EXPECT_FALSE(App->IsInstallTracked());
  App->SetInstallTracked(true);
  EXPECT_EQ(Stored(kInstallTrackedValue), (TRegData{TRegDataType::rdInteger, "\xFF\xFF\xFF\xFF"}));
  EXPECT_TRUE(App->IsInstallTracked());
  App->SetInstallTracked(false);
  EXPECT_EQ(Stored(kInstallTrackedValue), (TRegData{TRegDataType::rdInteger, std::string(4, '\0')}));
  EXPECT_FALSE(App->IsInstallTracked());
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kInstallTrackedValue, std::int64_t{2});
  EXPECT_TRUE(App->IsInstallTracked()) << "any non-zero value is true";
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kInstallTrackedValue, std::string("1"));
  EXPECT_FALSE(App->IsInstallTracked()) << "a text is not an integer";
}

TEST_F(AppTest, StartInstallTrackPingsOncePerRun)
{
  if (IsDebuggerPresent())
    GTEST_SKIP() << "under a debugger the ping is never started";
  // Stored as a text, or as 0: not tracked, so the ping runs.
  for (const TRegValue& stored : {TRegValue{std::string("1")}, TRegValue{std::int64_t{0}}}) {
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kInstallTrackedValue, stored));
    TAppLifetime lifetime;
    Drain();
    App->StartInstallTrack();
    TInstallTrackThread* first = App->InstallThread();
    ASSERT_NE(first, nullptr);
    App->StartInstallTrack(); // the window shown again
    EXPECT_EQ(App->InstallThread(), first);
    first->WaitFor();
    App->StartInstallTrack(); // after the thread ended, still the same one
    EXPECT_EQ(App->InstallThread(), first);
    EXPECT_TRUE(App->IsInstallTracked());
    EXPECT_EQ(Drain(), std::vector<std::string>{"install track"});
  }
  // A later run: already tracked, no thread.
  TAppLifetime later;
  App->StartInstallTrack();
  EXPECT_EQ(App->InstallThread(), nullptr);
}

TEST_F(AppTest, ARegistryThatRefusesWritesRepeatsThePing)
{
  if (IsDebuggerPresent())
    GTEST_SKIP() << "under a debugger the ping is never started";
  const std::string blocker = FConfig.WriteFile("blocker", "x");
  ScopedEnv configHome("XDG_CONFIG_HOME", blocker);
  for (int run = 0; run < 2; ++run) {
    TAppLifetime lifetime;
    App->SetOutputPath("/chosen/");
    EXPECT_EQ(App->GetOutputPath(), "");
    App->StartInstallTrack();
    ASSERT_NE(App->InstallThread(), nullptr) << "run " << run;
    App->InstallThread()->WaitFor();
    EXPECT_FALSE(App->IsInstallTracked());
  }
}

TEST(DebuggerTest, SeesATracerAttachAndGo)
{
  if (IsDebuggerPresent())
    GTEST_SKIP() << "already running under a debugger";
  // A child process attaches to us as a debugger would, then goes away.
  ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
  int attached[2], done[2];
  ASSERT_EQ(::pipe(attached), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    const char ok = ::ptrace(PTRACE_SEIZE, parent, nullptr, nullptr) == 0 ? 'y' : 'n';
    (void)!::write(attached[1], &ok, 1);
    char c;
    (void)!::read(done[0], &c, 1);
    ::_exit(0); // a tracer that exits detaches
  }
  char ok = 'n';
  ASSERT_EQ(::read(attached[0], &ok, 1), 1);
  const bool whileTraced = IsDebuggerPresent();
  ASSERT_EQ(::write(done[1], "x", 1), 1);
  ::waitpid(child, nullptr, 0);
  for (int fd : {attached[0], attached[1], done[0], done[1]})
    ::close(fd);
  ::prctl(PR_SET_PTRACER, 0, 0, 0, 0);
  if (ok != 'y')
    GTEST_SKIP() << "this system does not allow the test's tracer";
  EXPECT_TRUE(whileTraced);
  EXPECT_FALSE(IsDebuggerPresent());
}

} // namespace
} // namespace quenloft

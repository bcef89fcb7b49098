// The HTTP client against curl, on the same nginx in the same run:
//  HTTPLargeFile   one 1 GiB body into a file (throughput),
//  HTTPSmallFiles  1000 files of 10 KiB one after another over one kept
//                  connection (files per second),
//  HTTPPeakMemory  the resident memory the 1 GiB download adds.
// Ours and curl's runs alternate (A B A B ...) because the disk is noisy;
// every run writes new files, and the medians are reported as counters
// together with their ratio to curl.
#include "http/IdHTTP.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quenloft {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t LargeSize = std::int64_t(1) << 30;
constexpr int SmallCount = 1000;
constexpr std::size_t SmallSize = 10 * 1024;
constexpr int Rounds = 3;
// A small-file round takes a fifth of a second, so the disk's write-back
// moves single rounds a lot; more rounds steady the median.
constexpr int SmallRounds = 9;

// nginx serving a folder with the large file and the small ones; made at
// first use, removed (files included) at the end of the program.
struct BenchSite {
  testing::TempDir Root;
  testing::TempDir Output;
  std::unique_ptr<testing::NginxServer> Server;
  int RunNumber = 0;

  BenchSite()
  {
    std::string Block(1 << 20, '\0');
    for (std::size_t I = 0; I < Block.size(); ++I)
      Block[I] = static_cast<char>((I * 131 + I / 4096) & 0xff);
    {
      std::ofstream Out(Root.Path() / "large.bin", std::ios::binary);
      for (std::int64_t Written = 0; Written < LargeSize; Written += static_cast<std::int64_t>(Block.size()))
        Out.write(Block.data(), static_cast<std::streamsize>(Block.size()));
    }
    for (int I = 0; I < SmallCount; ++I)
      Root.WriteFile("small/f" + std::to_string(I) + ".swf",
                     Block.substr(static_cast<std::size_t>(I), SmallSize));
    Server = std::make_unique<testing::NginxServer>(testing::NginxOptions{Root.Path(), false, {}});
  }

  // A folder no run has used. The dirty pages of earlier runs are flushed
  // first, so that their write-back does not fall into the next timed run.
  std::string NewFolder()
  {
    sync();
    const std::string Folder = Output.Folder() + "run" + std::to_string(++RunNumber) + "/";
    std::filesystem::create_directories(Folder);
    return Folder;
  }
};

BenchSite& Site()
{
  static BenchSite Instance;
  return Instance;
}

double Median(std::vector<double> Values)
{
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

// Runs a command and waits; its peak resident memory (KiB) in AMaxRSS.
bool RunCommand(const std::vector<std::string>& Args, long* AMaxRSS = nullptr)
{
  std::vector<char*> Argv;
  for (const auto& A : Args)
    Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  const pid_t Child = fork();
  if (Child == 0) {
    execvp(Argv[0], Argv.data());
    _exit(127);
  }
  int Status = 0;
  rusage Usage{};
  wait4(Child, &Status, 0, &Usage);
  if (AMaxRSS)
    *AMaxRSS = Usage.ru_maxrss;
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

double SecondsSince(Clock::time_point Start)
{
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

void Report(benchmark::State& State, const std::string& Name, double Ours, double Curl, const char* Unit)
{
  State.counters[Name] = Ours;
  State.counters[Name + "_curl"] = Curl;
  State.counters[Name + "_ratio"] = Ours / Curl;
  std::printf("%s: ours %.1f %s, curl %.1f %s, ratio %.3f\n", Name.c_str(), Ours, Unit, Curl, Unit,
              Ours / Curl);
}

void HTTPLargeFile(benchmark::State& State)
{
  BenchSite& S = Site();
  const std::string URL = S.Server->Url("/large.bin");
  std::vector<double> Ours, Curl;
  for (auto _ : State) {
    for (int Round = 0; Round < Rounds; ++Round) {
      {
        const std::string File = S.NewFolder() + "large.bin";
        TIdHTTP Client;
        const auto Start = Clock::now();
        TFileStream Stream(File, fmCreate);
        Client.Get(URL, Stream);
        Stream.Close();
        Ours.push_back(static_cast<double>(LargeSize) / SecondsSince(Start) / 1e6);
        if (std::filesystem::file_size(File) != static_cast<std::uintmax_t>(LargeSize))
          State.SkipWithError("short download");
      }
      {
        const std::string File = S.NewFolder() + "large.bin";
        const auto Start = Clock::now();
        if (!RunCommand({"curl", "-s", "-o", File, URL}))
          State.SkipWithError("curl failed");
        Curl.push_back(static_cast<double>(LargeSize) / SecondsSince(Start) / 1e6);
      }
    }
  }
  Report(State, "MBps", Median(Ours), Median(Curl), "MB/s");
}

void HTTPSmallFiles(benchmark::State& State)
{
  BenchSite& S = Site();
  std::vector<double> Ours, Curl;
  for (auto _ : State) {
    for (int Round = 0; Round < SmallRounds; ++Round) {
      {
        const std::string Folder = S.NewFolder();
        TIdHTTP Client;
        const auto Start = Clock::now();
        for (int I = 0; I < SmallCount; ++I) {
          TFileStream Stream(Folder + "f" + std::to_string(I) + ".swf", fmCreate);
          Client.Get(S.Server->Url("/small/f" + std::to_string(I) + ".swf"), Stream);
        }
        Ours.push_back(SmallCount / SecondsSince(Start));
        for (int I = 0; I < SmallCount; ++I)
          if (std::filesystem::file_size(Folder + "f" + std::to_string(I) + ".swf") != SmallSize)
            State.SkipWithError("a small file is wrong");
      }
      {
        const std::string Folder = S.NewFolder();
        const std::string Config = Folder + "curl.config";
        {
          std::ofstream Out(Config);
          for (int I = 0; I < SmallCount; ++I)
            Out << "url = \"" << S.Server->Url("/small/f" + std::to_string(I) + ".swf") << "\"\n"
                << "output = \"" << Folder << "f" << I << ".swf\"\n";
        }
        const auto Start = Clock::now();
        if (!RunCommand({"curl", "-s", "-K", Config}))
          State.SkipWithError("curl failed");
        Curl.push_back(SmallCount / SecondsSince(Start));
      }
    }
  }
  Report(State, "files_per_s", Median(Ours), Median(Curl), "files/s");
}

long StatusKiB(const char* Field)
{
  std::ifstream In("/proc/self/status");
  std::string Line;
  while (std::getline(In, Line))
    if (Line.rfind(Field, 0) == 0)
      return std::stol(Line.substr(std::strlen(Field)));
  return -1;
}

void HTTPPeakMemory(benchmark::State& State)
{
  BenchSite& S = Site();
  const std::string URL = S.Server->Url("/large.bin");
  long OursKiB = -1, CurlKiB = -1;
  for (auto _ : State) {
    // The download runs in a child, so that only its own growth counts.
    int Pipe[2];
    if (pipe(Pipe) != 0) {
      State.SkipWithError("pipe failed");
      return;
    }
    const std::string File = S.NewFolder() + "large.bin";
    const pid_t Child = fork();
    if (Child == 0) {
      close(Pipe[0]);
      std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again here
      const long Before = StatusKiB("VmRSS:");
      long Growth = -1;
      try {
        TIdHTTP Client;
        TFileStream Stream(File, fmCreate);
        Client.Get(URL, Stream);
        Growth = StatusKiB("VmHWM:") - Before;
      } catch (...) {
      }
      [[maybe_unused]] const auto Written = write(Pipe[1], &Growth, sizeof Growth);
      _exit(0);
    }
    close(Pipe[1]);
    if (read(Pipe[0], &OursKiB, sizeof OursKiB) != sizeof OursKiB)
      OursKiB = -1;
    close(Pipe[0]);
    waitpid(Child, nullptr, 0);
    RunCommand({"curl", "-s", "-o", S.NewFolder() + "large.bin", URL}, &CurlKiB);
  }
  if (OursKiB < 0)
    State.SkipWithError("the download in the child failed");
  State.counters["peak_growth_MiB"] = static_cast<double>(OursKiB) / 1024.0;
  State.counters["curl_maxrss_MiB"] = static_cast<double>(CurlKiB) / 1024.0;
  std::printf("peak memory: ours grows by %.1f MiB for the 1 GiB download (goal < 16); curl's whole "
              "process peaks at %.1f MiB\n",
              static_cast<double>(OursKiB) / 1024.0, static_cast<double>(CurlKiB) / 1024.0);
}

BENCHMARK(HTTPLargeFile)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(HTTPSmallFiles)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(HTTPPeakMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace quenloft

// quenloft-cli as a user runs it, against nginx on 127.0.0.1:
//  - CliVersusCurl: a page with 1000 links to 10 KiB movies, scanned and
//    downloaded by quenloft-cli, against one `curl -s --remote-name-all`
//    process given the same 1000 addresses (one kept-alive connection),
//    started in an empty folder. Each run writes into a fresh folder; the
//    runs alternate (A B A B ...) so that drift hits both alike; the medians
//    are compared. Goal: ratio ours / curl <= 0.77.
//  - CliVersusCurlThroughProxy: the same 1000 movies through one local
//    forward proxy (tinyproxy), quenloft-cli --proxy against curl -x with
//    the same proxy, alternating as above after one untimed run of each.
//    Goal: ours no slower than curl.
//  - CliMemory1GiB: one 1 GiB movie; the CLI's peak resident size (VmHWM
//    of that child) must stay flat, under 8 MiB: the body goes straight
//    from the socket into the file, and a download loads neither Qt nor the
//    media decoders. Throughput against `curl -O` of the same file, goal:
//    at least curl's; the peak of `quenloft-cli --version` beside it.
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TinyProxy.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quenloft {
namespace {

using testing::NginxOptions;
using testing::NginxServer;
using testing::TempDir;
using testing::TinyProxy;

const std::string Cli = std::string(QUENLOFT_BINARY_DIR) + "/cli/quenloft-cli";

struct TChildRun {
  int Status = -1;
  double Seconds = 0;
  long MaxRssKiB = 0;
};

enum class TWatch { TimeOnly, PeakMemory };

// Runs Args[0] with its output thrown away (in Folder when one is given);
// measures the wall time and, when asked, the child's own peak resident
// size.
TChildRun RunQuiet(std::vector<std::string> Args, const std::string& Folder = {},
                   TWatch Watch = TWatch::TimeOnly)
{
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!Folder.empty())
    posix_spawn_file_actions_addchdir_np(&actions, Folder.c_str());
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (auto& a : Args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  TChildRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    return run;
  // The child's peak comes from its own VmHWM, read while it runs: the
  // rusage figure of a spawned child starts from the spawning process's
  // peak (they share one address space until exec), which would charge the
  // benchmark's own memory to the CLI. VmHWM only grows, so the last
  // reading before the exit is within one poll interval of the true peak.
  const std::string statusFile = "/proc/" + std::to_string(pid) + "/status";
  int status = 0;
  // Timing alone waits for the exit itself: polling would round every run
  // up to the next look.
  for (;;) {
    if (::waitpid(pid, &status, Watch == TWatch::TimeOnly ? 0 : WNOHANG) == pid)
      break;
    std::ifstream in(statusFile);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("VmHWM:", 0) == 0)
        run.MaxRssKiB = std::max(run.MaxRssKiB, std::stol(line.substr(6)));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// The peak resident size in KiB of a run too short to watch (such as
// --version), as /usr/bin/time reports it: time forks a child of its own
// for the program, whose figure starts afresh, unlike one spawned from this
// process. -1 when time is missing or the run failed.
long ShortRunPeakKiB(const std::vector<std::string>& Args)
{
  if (::access("/usr/bin/time", X_OK) != 0)
    return -1;
  TempDir dir;
  const std::string report = (dir.Path() / "peak").string();
  std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
  timed.insert(timed.end(), Args.begin(), Args.end());
  if (RunQuiet(timed).Status != 0)
    return -1;
  std::ifstream in(report);
  long kib = -1;
  in >> kib;
  return kib;
}

// Microseconds to create (exclusively) and write one small file in a fresh
// folder under Parent: what the disk charges both programs per movie, shown
// beside the ratio, since a disk busy with recent deletions can make it
// the larger part of the whole run.
double FileCreateMicros(const std::filesystem::path& Parent)
{
  constexpr int files = 200;
  const auto folder = Parent / "probe";
  std::filesystem::create_directories(folder);
  const std::string body(10 * 1024, 'p');
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < files; ++i) {
    const int fd =
        ::open((folder / std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
      return -1;
    const bool written = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
    ::close(fd);
    if (!written)
      return -1;
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / files;
}

double Median(std::vector<double> Values)
{
  std::sort(Values.begin(), Values.end());
  const std::size_t n = Values.size();
  return n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

void CliVersusCurl(benchmark::State& State)
{
  if (!NginxServer::Available() || ::access(Cli.c_str(), X_OK) != 0) {
    State.SkipWithError("needs nginx and a built quenloft-cli");
    return;
  }
  constexpr int movies = 1000;
  constexpr int rounds = 11;
  TempDir site;
  const std::string movie(10 * 1024, 'm');
  for (int i = 0; i < movies; ++i)
    site.WriteFile("m/movie" + std::to_string(i) + ".swf", movie);
  NginxOptions options;
  options.Root = site.Path();
  NginxServer server(options);
  std::string page = "<html><body>\n";
  std::vector<std::string> curl = {"curl", "-s", "--remote-name-all"};
  for (int i = 0; i < movies; ++i) {
    const std::string name = "m/movie" + std::to_string(i) + ".swf";
    page += "<embed src=\"" + name + "\">\n";
    curl.push_back(server.Url("/" + name));
  }
  site.WriteFile("index.html", page + "</body></html>\n");

  TempDir work;
  const double createMicros = FileCreateMicros(work.Path());
  std::vector<double> ours;
  std::vector<double> theirs;
  int failures = 0;
  for (auto _ : State) {
    for (int round = 0; round < rounds; ++round) {
      const std::string a = (work.Path() / ("cli" + std::to_string(round))).string();
      const std::string b = (work.Path() / ("curl" + std::to_string(round))).string();
      std::filesystem::create_directories(b);
      // Every run writes into a fresh folder and nothing is removed until
      // the end: for a while after files were deleted, creating one may
      // cost the file system more than the whole download (ext4 without a
      // journal passes over every inode freed in the last minute, or five
      // while its table is not written back), which would measure the
      // removal rather than the two programs. Run it on a quiet disk.
      const auto cli = RunQuiet({Cli, "-o", a, server.Url("/index.html")});
      const auto other = RunQuiet(curl, b);
      failures += (cli.Status != 0) + (other.Status != 0);
      ours.push_back(cli.Seconds);
      theirs.push_back(other.Seconds);
    }
    State.SetIterationTime(Median(ours));
  }
  const double ratio = Median(ours) / Median(theirs);
  auto [lo, hi] = std::minmax_element(ours.begin(), ours.end());
  auto [clo, chi] = std::minmax_element(theirs.begin(), theirs.end());
  State.counters["cli_median_s"] = Median(ours);
  State.counters["curl_median_s"] = Median(theirs);
  State.counters["ratio_cli_curl"] = ratio;
  State.counters["failed_runs"] = failures;
  State.counters["file_create_us"] = createMicros;
  std::printf(
      "CliVersusCurl: %d movies of 10 KiB, %d rounds A/B: quenloft-cli %.3f s (%.3f..%.3f), "
      "curl %.3f s (%.3f..%.3f) (medians, range), ratio %.2f (goal <= 0.77), failed runs %d; "
      "creating a 10 KiB file here takes %.0f us%s\n",
      movies, rounds, Median(ours), *lo, *hi, Median(theirs), *clo, *chi, ratio, failures, createMicros,
      createMicros > 200 ? " (a disk busy with recent deletions: the file system dominates both)" : "");
}
BENCHMARK(CliVersusCurl)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void CliVersusCurlThroughProxy(benchmark::State& State)
{
  if (!NginxServer::Available() || !TinyProxy::Available() || ::access(Cli.c_str(), X_OK) != 0) {
    State.SkipWithError("needs nginx, tinyproxy and a built quenloft-cli");
    return;
  }
  constexpr int movies = 1000;
  constexpr int rounds = 9;
  TempDir site;
  const std::string movie(10 * 1024, 'm');
  std::string page = "<html><body>\n";
  for (int i = 0; i < movies; ++i) {
    const std::string name = "m/movie" + std::to_string(i) + ".swf";
    site.WriteFile(name, movie);
    page += "<embed src=\"" + name + "\">\n";
  }
  site.WriteFile("index.html", page + "</body></html>\n");
  NginxOptions options;
  options.Root = site.Path();
  NginxServer server(options);
  TinyProxy proxy;
  std::vector<std::string> curl = {"curl", "-s", "-x", proxy.Url(), "--remote-name-all"};
  for (int i = 0; i < movies; ++i)
    curl.push_back(server.Url("/m/movie" + std::to_string(i) + ".swf"));

  TempDir work;
  // One untimed run of each first: the proxy's, nginx's and the page
  // cache's first use is no part of either program's time.
  {
    const std::string warm = (work.Path() / "warm").string();
    std::filesystem::create_directories(warm + "/curl");
    RunQuiet({Cli, "--proxy", proxy.Url(), "-o", warm + "/cli", server.Url("/index.html")});
    RunQuiet(curl, warm + "/curl");
  }
  std::vector<double> ours;
  std::vector<double> theirs;
  int failures = 0;
  for (auto _ : State) {
    for (int round = 0; round < rounds; ++round) {
      const std::string a = (work.Path() / ("cli" + std::to_string(round))).string();
      const std::string b = (work.Path() / ("curl" + std::to_string(round))).string();
      std::filesystem::create_directories(b);
      const auto cli = RunQuiet({Cli, "--proxy", proxy.Url(), "-o", a, server.Url("/index.html")});
      const auto other = RunQuiet(curl, b);
      failures += (cli.Status != 0) + (other.Status != 0);
      ours.push_back(cli.Seconds);
      theirs.push_back(other.Seconds);
    }
    State.SetIterationTime(Median(ours));
  }
  const double ratio = Median(ours) / Median(theirs);
  auto [lo, hi] = std::minmax_element(ours.begin(), ours.end());
  auto [clo, chi] = std::minmax_element(theirs.begin(), theirs.end());
  State.counters["cli_median_s"] = Median(ours);
  State.counters["curl_median_s"] = Median(theirs);
  State.counters["ratio_cli_curl"] = ratio;
  State.counters["failed_runs"] = failures;
  std::printf("CliVersusCurlThroughProxy: %d movies of 10 KiB through tinyproxy, %d rounds A/B: quenloft-cli "
              "%.3f s (%.3f..%.3f), curl %.3f s (%.3f..%.3f) (medians, range), ratio %.2f (goal <= 1.0), "
              "failed runs %d\n",
              movies, rounds, Median(ours), *lo, *hi, Median(theirs), *clo, *chi, ratio, failures);
}
BENCHMARK(CliVersusCurlThroughProxy)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void CliMemory1GiB(benchmark::State& State)
{
  if (!NginxServer::Available() || ::access(Cli.c_str(), X_OK) != 0) {
    State.SkipWithError("needs nginx and a built quenloft-cli");
    return;
  }
  TempDir site;
  {
    // A sparse file: nginx serves its gigabyte of zeros without our disk.
    std::ofstream big(site.Path() / "big.swf", std::ios::binary);
  }
  std::filesystem::resize_file(site.Path() / "big.swf", 1ull << 30);
  NginxOptions options;
  options.Root = site.Path();
  NginxServer server(options);
  // Each program saves into a folder of its own, one after the other, so
  // the two never share the disk or the CPUs.
  TempDir out;
  const std::string ours = (out.Path() / "cli").string();
  const std::string theirs = (out.Path() / "curl").string();
  std::filesystem::create_directories(theirs);
  TChildRun run;
  TChildRun curl;
  long versionKiB = -1;
  for (auto _ : State) {
    versionKiB = ShortRunPeakKiB({Cli, "--version"});
    run = RunQuiet({Cli, "-o", ours, server.Url("/big.swf")}, {}, TWatch::PeakMemory);
    curl = RunQuiet({"curl", "-s", "-O", server.Url("/big.swf")}, theirs, TWatch::PeakMemory);
    State.SetIterationTime(run.Seconds);
  }
  std::error_code ec;
  const auto saved = std::filesystem::file_size(std::filesystem::path(ours) / "big.swf", ec);
  const auto mib = [](long KiB) { return static_cast<double>(KiB) / 1024.0; };
  const double ourRate = 1024.0 / std::max(run.Seconds, 1e-9);
  const double curlRate = 1024.0 / std::max(curl.Seconds, 1e-9);
  State.counters["max_rss_MiB"] = mib(run.MaxRssKiB);
  State.counters["version_rss_MiB"] = mib(versionKiB);
  State.counters["curl_rss_MiB"] = mib(curl.MaxRssKiB);
  State.counters["saved_ok"] = (run.Status == 0 && saved == (1ull << 30)) ? 1 : 0;
  State.counters["MiB_per_s"] = ourRate;
  State.counters["curl_MiB_per_s"] = curlRate;
  std::printf("CliMemory1GiB: exit %d, saved %llu bytes in %.2f s (%.0f MiB/s; curl %.0f MiB/s, exit %d), "
              "peak resident %.1f MiB (goal < 8 MiB; curl %.1f MiB; quenloft-cli --version %.1f MiB)\n",
              run.Status, static_cast<unsigned long long>(ec ? 0 : saved), run.Seconds, ourRate, curlRate,
              curl.Status, mib(run.MaxRssKiB), mib(curl.MaxRssKiB), mib(versionKiB));
}
BENCHMARK(CliMemory1GiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quenloft

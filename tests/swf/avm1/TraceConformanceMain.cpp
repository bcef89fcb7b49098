// script_conformance: plays each script case for its frames and compares
// the trace lines with the reference player's.
//
//   script_conformance [--fixtures DIR] [--expect FILE] [--verbose] [CASE...]
//
// --verbose also prints the whole trace of each failing case.
//
// A case's input.json, when there is one, is played frame by frame.
// DIR defaults to the shared fixtures beside the source tree. With --expect,
// the exit status is 1 when a case named in FILE (one per line, '#' starts a
// note) fails. A missing fixtures folder exits 77 (skipped). Every case runs
// in this process, bounded by its frame count and the machine's limits.
#include "tests/swf/avm1/InputScript.h"
#include "tests/swf/avm1/TraceCases.h"

#include "swf/FileLoader.h"
#include "swf/MovieReader.h"
#include "swf/avm1/Player.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace quenloft::swf;
using namespace quenloft::swf::avm1::conformance;

namespace {

std::string ReadText(const fs::path& File)
{
  std::ifstream in(File, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The reference traces were taken on a clock reading 2001-02-03 04:05:06
// local time in a zone 5 h 45 min east of UTC without summer time; every
// case plays at that moment in that zone.
constexpr double ReferenceStartTime = 981152406000.0;
constexpr const char* ReferenceZone = "<+0545>-05:45";

// The case's trace output, or an error.
std::string Play(const fs::path& Dir, const TraceCase& Case, std::string& Error)
{
  std::string out;
  try {
    const std::shared_ptr<Movie> movie = ReadMovieFile((Dir / "test.swf").string());
    avm1::PlayerOutput output;
    output.Files = std::make_shared<FolderLoader>(Dir);
    output.StartTime = ReferenceStartTime;
    output.ScreenWidth = Case.ScreenWidth;
    output.ScreenHeight = Case.ScreenHeight;
    output.Trace = [&out](std::string_view Line) {
      out.append(Line);
      out.push_back('\n');
    };
    std::vector<InputStep> input;
    if (fs::exists(Dir / "input.json"))
      input = ParseInputScript(ReadText(Dir / "input.json"));
    avm1::Player player(movie, output);
    // After each frame, that frame's share of the input.
    std::size_t next = PlayInputFrame(player, input, 0);
    for (int i = 1; i < Case.Frames; ++i) {
      player.Advance();
      next = PlayInputFrame(player, input, next);
    }
  } catch (const std::exception& e) {
    Error = e.what();
  }
  return out;
}

} // namespace

int main(int argc, char** argv)
{
  fs::path fixtures = fs::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures" / "ruffle-avm1";
  if (!fs::is_directory(fixtures))
    fixtures = fs::path(QUENLOFT_SOURCE_DIR) / ".." / ".." / "shared" / "fixtures" / "ruffle-avm1";
  fs::path expect;
  bool verbose = false;
  std::set<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fixtures" && i + 1 < argc)
      fixtures = argv[++i];
    else if (arg == "--expect" && i + 1 < argc)
      expect = argv[++i];
    else if (arg == "--verbose")
      verbose = true;
    else
      only.insert(arg);
  }
  if (!fs::is_directory(fixtures)) {
    std::cout << "skipped: no fixtures at " << fixtures.string() << '\n';
    return 77;
  }
  setenv("TZ", ReferenceZone, 1);
  tzset();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fixtures))
    if (entry.is_directory() && fs::exists(entry.path() / "test.swf") && fs::exists(entry.path() / "output.txt"))
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());

  const auto start = std::chrono::steady_clock::now();
  std::size_t passed = 0;
  std::size_t counted = 0;
  std::size_t counted_passed = 0;
  std::set<std::string> passing;
  for (const std::string& name : names) {
    if (!only.empty() && !only.count(name))
      continue;
    const fs::path dir = fixtures / name;
    const TraceCase c = ParseTraceToml(ReadText(dir / "test.toml"));
    const std::string expected = ReadText(dir / "output.txt");
    const bool empty = NormaliseLineEnds(expected).find_first_not_of('\n') == std::string::npos;
    const auto t0 = std::chrono::steady_clock::now();
    std::string error;
    const std::string actual = Play(dir, c, error);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const auto diff = FirstDifference(actual, expected, c.Approx);
    if (!empty)
      ++counted;
    if (!diff) {
      ++passed;
      passing.insert(name);
      if (!empty)
        ++counted_passed;
      if (verbose)
        std::cout << "pass " << name << " (" << static_cast<int>(ms) << " ms)\n";
      continue;
    }
    std::cout << "FAIL " << name << " line " << *diff << ": expected \"" << LineOf(expected, *diff)
              << "\", got \"" << LineOf(actual, *diff) << "\"";
    if (!error.empty())
      std::cout << " (" << error << ")";
    if (ms > 500)
      std::cout << " [" << static_cast<int>(ms) << " ms]";
    std::cout << '\n';
    // With --verbose, what the case traced, to read beside output.txt.
    if (verbose)
      std::cout << actual;
  }
  const double total =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << passed << "/" << names.size() << " traces match; " << counted_passed << "/" << counted
            << " of the cases with output (" << total << " s)\n";

  int status = 0;
  if (!expect.empty()) {
    std::istringstream list(ReadText(expect));
    std::string line;
    while (std::getline(list, line)) {
      const std::string name = line.substr(0, line.find('#'));
      const std::string trimmed = name.substr(0, name.find_last_not_of(" \t\r") + 1);
      if (trimmed.empty() || (!only.empty() && !only.count(trimmed)))
        continue;
      if (!passing.count(trimmed)) {
        std::cout << "REGRESSION: " << trimmed << " no longer matches\n";
        status = 1;
      }
    }
  }
  return status;
}

// swf_conformance: draws the frames the visual cases capture and compares
// them with their reference images.
//
//   swf_conformance [--script] [--fixtures DIR] [--out DIR] [--expect FILE] [CASE...]
//
// DIR defaults to the fixtures beside the source tree; difference images
// and our own renderings go to --out (default: the current folder). With
// --expect, the exit status is 1 when a case named in FILE (one per line,
// '#' starts a note) fails. A missing fixtures folder exits 77 (skipped).
//
// --script draws the script cases (ruffle-avm1) that hold image
// comparisons: each plays through the script player tick by tick as the
// script runner plays it (its input.json handed over after each tick),
// and the stage is captured at each comparison's trigger.
#include "tests/swf/render/Conformance.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <vector>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/FileLoader.h"
#include "swf/avm1/Player.h"
#include "swf/render/Renderer.h"
#include "tests/swf/avm1/InputScript.h"

namespace fs = std::filesystem;
using namespace quenloft::swf;

namespace {

std::string ReadText(const fs::path& File)
{
  std::ifstream in(File, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

render::Quality QualityNamed(const std::string& Name)
{
  if (Name == "low")
    return render::Quality::Low;
  if (Name == "medium")
    return render::Quality::Medium;
  if (Name == "best")
    return render::Quality::Best;
  return render::Quality::High;
}

// A case's movie played from its first tick: the bare timeline, or the
// script player with the case's input.
class Playback {
public:
  Playback(const std::shared_ptr<Movie>& M, const fs::path& Dir, bool Script)
  {
    if (!Script) {
      FBare = std::make_unique<Timeline>(M);
      return;
    }
    avm1::PlayerOutput output;
    output.Files = FolderLoader::Beside((Dir / "test.swf").string());
    FPlayer = std::make_unique<avm1::Player>(M, output);
    if (fs::exists(Dir / "input.json"))
      FInput = avm1::conformance::ParseInputScript(ReadText(Dir / "input.json"));
    FNext = avm1::conformance::PlayInputFrame(*FPlayer, FInput, 0);
  }
  void Advance()
  {
    if (FBare) {
      FBare->Advance();
      return;
    }
    FPlayer->Advance();
    FNext = avm1::conformance::PlayInputFrame(*FPlayer, FInput, FNext);
  }
  const DisplayList& List() { return FBare ? FBare->List() : FPlayer->List(); }

private:
  std::unique_ptr<Timeline> FBare;
  std::unique_ptr<avm1::Player> FPlayer;
  std::vector<avm1::conformance::InputStep> FInput;
  std::size_t FNext = 0;
};

struct CaseOutcome {
  bool Passed = true;
  std::string Detail;
};

CaseOutcome RunCase(const fs::path& Dir, const std::string& Name, const std::string& ManifestQuality,
                    const fs::path& Out, bool Script)
{
  CaseOutcome outcome;
  const conformance::CaseToml toml = conformance::ParseCaseToml(ReadText(Dir / "test.toml"));
  const std::string qualityName = toml.Quality.empty() ? ManifestQuality : toml.Quality;
  const render::Quality quality = QualityNamed(qualityName);
  if (Script && toml.Comparisons.empty())
    return {false, " no image comparison could be read from test.toml"};

  std::shared_ptr<Movie> movie;
  try {
    movie = ReadMovieFile((Dir / "test.swf").string());
  } catch (const std::exception& e) {
    return {false, std::string("cannot read the movie: ") + e.what()};
  }
  render::Renderer renderer(movie);
  std::unique_ptr<Playback> timeline;
  int advances = 0;
  for (const conformance::Comparison& c : toml.Comparisons) {
    // Making the timeline is the first advance.
    if (!timeline || advances > c.Trigger) {
      try {
        timeline = std::make_unique<Playback>(movie, Dir, Script);
      } catch (const std::exception& e) {
        return {false, std::string("cannot play the movie: ") + e.what()};
      }
      advances = 1;
    }
    while (advances < c.Trigger) {
      timeline->Advance();
      ++advances;
    }
    const QImage expected(QString::fromStdString((Dir / (c.Name + ".expected.png")).string()));
    if (expected.isNull()) {
      outcome.Passed = false;
      outcome.Detail += " " + c.Name + ": no reference image;";
      continue;
    }
    QImage actual;
    try {
      // The reference draws into a window of the viewport's size when the
      // case names one, the stage fitted into it.
      actual = toml.ViewportWidth > 0 && toml.ViewportHeight > 0
                   ? renderer.RenderViewport(timeline->List(), {toml.ViewportWidth, toml.ViewportHeight}, quality)
                   : renderer.RenderFrame(timeline->List(), renderer.StageSize(), quality);
    } catch (const std::exception& e) {
      outcome.Passed = false;
      outcome.Detail += " " + c.Name + ": " + e.what() + ";";
      continue;
    }
    QImage difference;
    const auto results = conformance::CompareImages(actual, expected, c.Checks, &difference);
    const std::string stem = (Out / (Name + "." + c.Name)).string();
    actual.save(QString::fromStdString(stem + ".actual.png"));
    bool passed = actual.size() == expected.size();
    std::ostringstream detail;
    detail << ' ' << c.Name << " (" << qualityName << ", frame advance " << c.Trigger << "):";
    if (!passed)
      detail << " size " << actual.width() << 'x' << actual.height() << " against " << expected.width() << 'x'
             << expected.height();
    for (const auto& r : results) {
      detail << " tol" << r.Limit.Tolerance << ' ' << r.Outliers << '/' << r.Limit.MaxOutliers;
      passed = passed && r.Passed();
    }
    if (!passed) {
      difference.save(QString::fromStdString(stem + ".difference.png"));
      outcome.Passed = false;
    }
    outcome.Detail += detail.str() + ';';
  }
  return outcome;
}

std::set<std::string> ReadList(const fs::path& File)
{
  std::set<std::string> names;
  std::ifstream in(File);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
      line.pop_back();
    if (!line.empty())
      names.insert(line);
  }
  return names;
}

} // namespace

int main(int argc, char** argv)
{
  // Device text needs the application's font database, as in the pane; the
  // offscreen platform needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  // The sixty cases of plain timeline drawing, and the newer ones of
  // filters, video and HTML text; --fixtures names one folder instead.
  const fs::path shared = fs::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures";
  std::vector<fs::path> folders{shared / "ruffle", shared / "ruffle-features"};
  fs::path out = ".";
  std::optional<fs::path> expectFile;
  std::set<std::string> only;
  bool script = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--script") {
      script = true;
      folders = {shared / "ruffle-avm1"};
    } else if (arg == "--fixtures" && i + 1 < argc)
      folders = {argv[++i]};
    else if (arg == "--out" && i + 1 < argc)
      out = argv[++i];
    else if (arg == "--expect" && i + 1 < argc)
      expectFile = argv[++i];
    else
      only.insert(arg);
  }
  std::erase_if(folders, [](const fs::path& F) { return !fs::is_directory(F); });
  if (folders.empty()) {
    std::cout << "skipped: no fixtures at " << shared.string() << '\n';
    return 77;
  }
  fs::create_directories(out);

  const std::set<std::string> expected = expectFile ? ReadList(*expectFile) : std::set<std::string>{};
  std::vector<std::string> regressions;
  for (const fs::path& fixtures : folders) {
    const std::string manifest = ReadText(fixtures / "MANIFEST.tsv");
    const auto qualities = conformance::ManifestColumn(manifest, "quality");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fixtures)) {
      if (!entry.is_directory() || !fs::exists(entry.path() / "test.toml"))
        continue;
      // The script cases count only those that compare images.
      if (script && ReadText(entry.path() / "test.toml").find("image_comparisons") == std::string::npos)
        continue;
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());

    int passed = 0;
    int run = 0;
    for (const std::string& name : names) {
      if (!only.empty() && !only.count(name))
        continue;
      ++run;
      const auto quality = qualities.count(name) ? qualities.at(name) : std::string();
      const auto started = std::chrono::steady_clock::now();
      const CaseOutcome o = RunCase(fixtures / name, name, quality, out, script);
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
              .count();
      passed += o.Passed ? 1 : 0;
      std::cout << (o.Passed ? "PASS " : "FAIL ") << name << " (" << ms << " ms)" << o.Detail << '\n';
      if (!o.Passed && expected.count(name))
        regressions.push_back(name);
    }
    std::cout << passed << '/' << run << " within tolerance (" << fixtures.filename().string() << ")\n";
  }
  for (const std::string& name : regressions)
    std::cout << "regression: " << name << " passed before\n";
  return regressions.empty() ? 0 : 1;
}

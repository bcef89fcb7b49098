// The visual conformance cases: a movie, a test.toml that says which frames
// to capture and how close a capture must come, and reference images.
//
// Threads: plain functions; any thread.
#pragma once

#include <QImage>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quenloft::swf::conformance {

struct Check {
  int Tolerance = 0;            // a channel value may differ by this much
  std::int64_t MaxOutliers = 0; // channel values allowed beyond it
};

struct Comparison {
  std::string Name; // the image is Name + ".expected.png"
  int Trigger = 0;  // frame advances counted from 1
  std::vector<Check> Checks;
};

struct CaseToml {
  int Advances = 1;    // num_frames or num_ticks
  std::string Quality; // low, medium, high or best; empty when unsaid
  bool KnownFailure = false;
  // [player_options] viewport_dimensions: the window the stage is fitted
  // into (pixels); 0 x 0 when unsaid (the stage's own size).
  int ViewportWidth = 0;
  int ViewportHeight = 0;
  double ScaleFactor = 1; // what the window's pixels are to the system's
  std::vector<Comparison> Comparisons; // sorted by trigger
};

// Reads the keys of a test.toml this runner needs: num_frames, num_ticks,
// known_failure, [image_comparisons.NAME] with tolerance, max_outliers and
// trigger, [[image_comparisons.NAME.checks]], the quality of
// [player_options] with_renderer and its viewport_dimensions. Anything else is ignored. A comparison
// without checks has one of its own keys (tolerance 0 and no outliers by
// default); one without trigger captures after the last advance.
CaseToml ParseCaseToml(const std::string& Text);

struct CheckResult {
  Check Limit;
  std::int64_t Outliers = 0; // channel values beyond the tolerance
  bool Passed() const { return Outliers <= Limit.MaxOutliers; }
};

// Compares two images of one size channel by channel (R, G, B and A apart,
// straight alpha). Fills Difference with the absolute differences (opaque).
std::vector<CheckResult> CompareImages(const QImage& Actual, const QImage& Expected,
                                       const std::vector<Check>& Checks, QImage* Difference);

// MANIFEST.tsv: the value of Column for every case name (the header row
// names the columns; lines starting with '#' are notes).
std::map<std::string, std::string> ManifestColumn(const std::string& Text, const std::string& Column);

} // namespace quenloft::swf::conformance

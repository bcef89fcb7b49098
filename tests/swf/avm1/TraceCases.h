// The script conformance cases: a movie, a test.toml that says how many
// frames to play and how close numbers must come, and output.txt, the trace
// lines the reference player wrote.
//
// Threads: plain functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quenloft::swf::avm1::conformance {

struct Approximations {
  bool BareNumbers = false;
  double Epsilon = 0;
  double MaxRelative = 0;
  std::vector<std::string> NumberPatterns; // regular expressions with groups
};

struct TraceCase {
  int Frames = 1; // num_ticks, else num_frames
  std::optional<Approximations> Approx;
  // [player_options] viewport_dimensions: the screen size the movie is
  // told, in logical pixels (width and height over scale_factor); 0: the
  // player's default.
  double ScreenWidth = 0, ScreenHeight = 0;
};

// Reads num_frames, num_ticks, [approximations] and the viewport of
// [player_options]; anything else is ignored.
TraceCase ParseTraceToml(const std::string& Text);

// Line ends as one '\n' each ("\r\n" and lone "\r" too).
std::string NormaliseLineEnds(const std::string& Text);

// The 1-based number of the first line where Actual and Expected differ
// beyond what Approx allows, or nullopt when they match. Both are normalised
// first.
std::optional<std::size_t> FirstDifference(const std::string& Actual, const std::string& Expected,
                                           const std::optional<Approximations>& Approx);

// Line N (1-based) of Text, or "(no line)".
std::string LineOf(const std::string& Text, std::size_t N);

} // namespace quenloft::swf::avm1::conformance

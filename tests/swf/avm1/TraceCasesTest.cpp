#include "tests/swf/avm1/TraceCases.h"

#include <gtest/gtest.h>

using namespace quenloft::swf::avm1::conformance;

TEST(TraceCasesTest, TomlGivesTicksOverFramesAndApproximations)
{
  const TraceCase c = ParseTraceToml("num_frames = 3\nnum_ticks = 7\n\n[approximations]\n"
                                     "number_patterns = [\"angle=([\\\\d.]+)\", \"x: (\\\\d+)\"]\n"
                                     "epsilon = 0.5\nmax_relative = 0.01\nbare_numbers = true\n");
  EXPECT_EQ(c.Frames, 7);
  ASSERT_TRUE(c.Approx);
  EXPECT_TRUE(c.Approx->BareNumbers);
  EXPECT_DOUBLE_EQ(c.Approx->Epsilon, 0.5);
  EXPECT_DOUBLE_EQ(c.Approx->MaxRelative, 0.01);
  ASSERT_EQ(c.Approx->NumberPatterns.size(), 2u);
  EXPECT_EQ(c.Approx->NumberPatterns[0], "angle=([\\d.]+)");
  EXPECT_FALSE(ParseTraceToml("num_frames = 2\n").Approx);
  EXPECT_EQ(ParseTraceToml("num_frames = 2\n").Frames, 2);
  EXPECT_EQ(ParseTraceToml("num_frames = 2\n").ScreenWidth, 0);
}

TEST(TraceCasesTest, ViewportGivesTheScreenInLogicalPixels)
{
  const struct {
    const char* Toml;
    double Width, Height;
  } cases[] = {
      {"[player_options]\nviewport_dimensions = { width = 1920, height = 1080, scale_factor = 1.25 }\n", 1536, 864},
      {"[player_options]\nviewport_dimensions = { width = 800, height = 600 }\n", 800, 600},
      {"viewport_dimensions = { width = 800, height = 600 }\n", 0, 0}, // outside its section
  };
  for (const auto& c : cases) {
    const TraceCase t = ParseTraceToml(c.Toml);
    EXPECT_DOUBLE_EQ(t.ScreenWidth, c.Width) << c.Toml;
    EXPECT_DOUBLE_EQ(t.ScreenHeight, c.Height) << c.Toml;
  }
}

TEST(TraceCasesTest, ComparesLinesExactlyUnlessApproximated)
{
  Approximations bare;
  bare.BareNumbers = true;
  bare.Epsilon = 0.01;
  Approximations pattern;
  pattern.NumberPatterns = {"angle=([\\d.]+)"};
  pattern.Epsilon = 0.001;
  struct Row {
    std::string Actual, Expected;
    std::optional<Approximations> Approx;
    std::optional<std::size_t> Difference;
  } rows[] = {
      {"a\nb\n", "a\r\nb\r\n", std::nullopt, std::nullopt},
      {"a\rb\n", "a\nb\n", std::nullopt, std::nullopt},
      {"a\nc\n", "a\nb\n", std::nullopt, 2},
      {"a\n", "a\nb\n", std::nullopt, 2},
      {"1.005\n", "1\n", bare, std::nullopt},
      {"1.02\n", "1\n", bare, 1},
      {"x 1.005\n", "x 1\n", bare, 1},
      {"angle=0.5001 deg\n", "angle=0.5 deg\n", pattern, std::nullopt},
      {"angle=0.6 deg\n", "angle=0.5 deg\n", pattern, 1},
      {"angle=0.5001 rad\n", "angle=0.5 deg\n", pattern, 1},
  };
  for (const Row& r : rows)
    EXPECT_EQ(FirstDifference(r.Actual, r.Expected, r.Approx), r.Difference) << r.Actual;
}

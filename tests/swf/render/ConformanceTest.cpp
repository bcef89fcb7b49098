// The conformance runner's reading of test.toml and its image comparison.
#include "tests/swf/render/Conformance.h"

#include <gtest/gtest.h>

namespace quenloft::swf::conformance {
namespace {

TEST(ConformanceToml, ReadsComparisonsChecksTriggersAndQuality)
{
  const CaseToml toml = ParseCaseToml(R"(# a note
num_frames = 30

[image_comparisons.frame2]
tolerance = 1
trigger = 3 # third advance

[[image_comparisons."output.01".checks]]
tolerance = 0
max_outliers = 30000

[[image_comparisons."output.01".checks]]
tolerance = 80
max_outliers = 3

[image_comparisons.frame1]
trigger = 2

[player_options]
with_renderer = { optional = false, quality = "high" }
viewport_dimensions = { width = 1920, height = 1080, scale_factor = 1.25 }
)");
  EXPECT_EQ(toml.Advances, 30);
  EXPECT_EQ(toml.Quality, "high");
  EXPECT_EQ(toml.ViewportWidth, 1920);
  EXPECT_EQ(toml.ViewportHeight, 1080);
  EXPECT_DOUBLE_EQ(toml.ScaleFactor, 1.25);
  ASSERT_EQ(toml.Comparisons.size(), 3u);
  EXPECT_EQ(toml.Comparisons[0].Name, "frame1");
  EXPECT_EQ(toml.Comparisons[0].Trigger, 2);
  ASSERT_EQ(toml.Comparisons[0].Checks.size(), 1u);
  EXPECT_EQ(toml.Comparisons[0].Checks[0].Tolerance, 0);
  EXPECT_EQ(toml.Comparisons[1].Name, "frame2");
  EXPECT_EQ(toml.Comparisons[1].Checks[0].Tolerance, 1);
  const Comparison& o = toml.Comparisons[2];
  EXPECT_EQ(o.Name, "output.01");
  EXPECT_EQ(o.Trigger, 30); // no trigger: after the last advance
  ASSERT_EQ(o.Checks.size(), 2u);
  EXPECT_EQ(o.Checks[1].Tolerance, 80);
  EXPECT_EQ(o.Checks[1].MaxOutliers, 3);
}

TEST(ConformanceCompare, CountsChannelsBeyondTheTolerance)
{
  QImage a(2, 1, QImage::Format_ARGB32);
  QImage e(2, 1, QImage::Format_ARGB32);
  a.setPixel(0, 0, qRgba(10, 20, 30, 255));
  e.setPixel(0, 0, qRgba(13, 20, 25, 255));
  a.setPixel(1, 0, qRgba(0, 0, 0, 255));
  e.setPixel(1, 0, qRgba(0, 0, 0, 200));
  QImage difference;
  const auto r = CompareImages(a, e, {{0, 0}, {3, 1}, {5, 0}}, &difference);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].Outliers, 3); // red, blue, and the other pixel's alpha
  EXPECT_FALSE(r[0].Passed());
  EXPECT_EQ(r[1].Outliers, 2);
  EXPECT_FALSE(r[1].Passed());
  EXPECT_EQ(r[2].Outliers, 1);
  EXPECT_EQ(qRed(difference.pixel(0, 0)), 3);
  const auto sizes = CompareImages(a, QImage(3, 1, QImage::Format_ARGB32), {{255, 0}}, nullptr);
  EXPECT_FALSE(sizes[0].Passed());
}

TEST(ConformanceManifest, FindsAColumnByItsHeader)
{
  const auto q = ManifestColumn("# note\nname\tx\tquality\na\t1\tlow\nb\t2\thigh\n", "quality");
  EXPECT_EQ(q.at("a"), "low");
  EXPECT_EQ(q.at("b"), "high");
}

} // namespace
} // namespace quenloft::swf::conformance

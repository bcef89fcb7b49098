// quenloft-cli convert, run as a process; what it writes is read back with
// ffprobe and ffmpeg and compared with quenloft-cli render.
#include "tests/cli/ChildProcess.h"
#include "tests/convert/MediaProbe.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QImage>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <cmath>

#include <sys/stat.h>
#include <unistd.h>

namespace quenloft {
namespace {

using testing::RunProgram;
using testing::TempDir;
namespace fs = std::filesystem;

class CliConvert : public ::testing::Test {
protected:
  TempDir Dir;
  std::string Movie = Dir.WriteFile("movie.swf", testing::ConvertTestMovie(12));

  std::string Out(const std::string& Name) const { return (Dir.Path() / Name).string(); }
  std::size_t FileCount() const
  {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()));
  }
  std::string Render(int Frame)
  {
    const std::string png = Out("frame" + std::to_string(Frame) + ".png");
    const auto run = RunProgram(QUENLOFT_CLI_PATH, {"render", Movie, "--frame", std::to_string(Frame), "-o", png});
    EXPECT_EQ(run.Status, 0) << run.Err;
    return png;
  }
};

TEST_F(CliConvert, EachVideoFormatReadsBackAsAskedAndMatchesTheRenderer)
{
  struct Case {
    const char* Name;
    std::vector<std::string> Args;
    const char* Codec;
    int Width, Height;
    std::int64_t Frames;
    double Fps, MinPSNR;
  } cases[] = {
      {"movie.mp4", {}, "h264", 550, 400, 12, 24, 38},
      {"movie.webm", {"--quality", "high"}, "vp9", 550, 400, 12, 24, 38},
      {"movie.gif", {}, "gif", 550, 400, 12, 24, 30},
      {"half.mp4", {"--scale", "0.5", "--frames", "30"}, "h264", 274, 200, 30, 24, -1}, // odd 275 made even
      {"fast.webm", {"--fps", "48", "--seconds", "0.5"}, "vp9", 550, 400, 24, 48, -1},
      {"sized.gif", {"--size", "201x101", "--frames", "5"}, "gif", 201, 101, 5, 24, -1},
  };
  const std::string first = Render(1), last = Render(12);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args{"convert", Movie, "-o", Out(c.Name)};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const auto run = RunProgram(QUENLOFT_CLI_PATH, args, std::chrono::seconds(120));
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, Out(c.Name) + "\n");
    const testing::TProbe p = testing::Probe(Out(c.Name));
    EXPECT_EQ(p.VideoCodec, c.Codec);
    EXPECT_EQ(p.Width, c.Width);
    EXPECT_EQ(p.Height, c.Height);
    EXPECT_EQ(p.Frames, c.Frames);
    EXPECT_NEAR(p.Fps, c.Fps, c.Codec == std::string("gif") ? 1.0 : 0.01); // GIF delays are in 1/100 s
    EXPECT_NEAR(p.Duration, c.Frames / c.Fps, 0.05);
    EXPECT_EQ(p.AudioCodec, ""); // the movie is silent
    if (c.Codec != std::string("gif")) {
      EXPECT_EQ(p.ColourSpace, "bt709");
      EXPECT_EQ(p.ColourRange, "tv");
    }
    if (c.MinPSNR > 0) {
      const bool yuv = c.Codec != std::string("gif");
      EXPECT_GE(testing::FramePSNR(Out(c.Name), 0, first, yuv), c.MinPSNR);
      EXPECT_GE(testing::FramePSNR(Out(c.Name), 11, last, yuv), c.MinPSNR);
    }
  }
}

TEST_F(CliConvert, TheHTMLPageComesWithItsVideoAndPosterAndNothingIsOverwritten)
{
  std::ofstream(Out("movie.html")) << "mine";
  const auto run = RunProgram(QUENLOFT_CLI_PATH, {"convert", Movie, "-o", Out("movie.html"), "--frames", "4"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Out("movie(2).html") + "\n" + Out("movie(2).webm") + "\n" + Out("movie(2).png") + "\n");
  std::ifstream mine(Out("movie.html"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "mine");
  std::ifstream page(Out("movie(2).html"));
  const std::string html(std::istreambuf_iterator<char>(page), {});
  EXPECT_NE(html.find("src=\"movie(2).webm\""), std::string::npos) << html;
  EXPECT_NE(html.find("poster=\"movie(2).png\""), std::string::npos);
  EXPECT_NE(html.find("width=\"550\" height=\"400\""), std::string::npos);
  EXPECT_NE(html.find("background: #20A040"), std::string::npos);
  EXPECT_EQ(testing::Probe(Out("movie(2).webm")).Frames, 4);
  EXPECT_EQ(testing::FramePSNR(Out("movie(2).png"), 0, Render(1), false), std::numeric_limits<double>::infinity());
}

TEST_F(CliConvert, FailuresLeaveNothingBehind)
{
  const std::string junk = Dir.WriteFile("junk.swf", "this is not a movie at all");
  fs::create_directory(Dir.Path() / "locked");
  ::chmod((Dir.Path() / "locked").c_str(), 0555);
  const bool root = ::access((Dir.Path() / "locked").c_str(), W_OK) == 0; // root writes anywhere
  struct Case {
    std::vector<std::string> Args;
    int Status;
    const char* Error;
  } cases[] = {
      {{junk, "-o", Out("junk.mp4")}, 1, "not a movie"},
      {{Movie, "-o", Out("movie.mp3")}, 1, "the movie has no sound"},
      {{Movie, "-o", Out("movie.avi")}, 1, ".mp4, .webm, .gif, .mp3 or .html"},
      {{Movie, "-o", Out("locked/movie.gif")}, root ? 0 : 1, "cannot write"},
      {{Movie, "-o", Out("missing/movie.webm")}, 1, "cannot write"},
      {{Movie, "-o", Out("long.mp4"), "--seconds", "120", "--max-minutes", "1"}, 1, "past the limit"},
      {{Movie, "-o", Out("x.mp4"), "--frames", "2", "--seconds", "1"}, 2, "excludes"},
  };
  const std::size_t before = FileCount();
  for (const Case& c : cases) {
    std::vector<std::string> args{"convert"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const auto run = RunProgram(QUENLOFT_CLI_PATH, args);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    if (c.Status != 0) {
      EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
    }
  }
  EXPECT_EQ(FileCount(), before);
  EXPECT_TRUE(fs::is_empty(Dir.Path() / "locked") || root);
}

TEST_F(CliConvert, CtrlCRemovesTheUnfinishedOutput)
{
  testing::TChildProcess child(QUENLOFT_CLI_PATH,
                               {"convert", Movie, "-o", Out("long.mp4"), "--frames", "40000", "--json"});
  ASSERT_TRUE(testing::WaitUntil([&] { return child.Out().find("\"converting\"") != std::string::npos; },
                                 std::chrono::seconds(60)));
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(), 130) << child.Err();
  EXPECT_NE(child.Out().find("\"stopped\""), std::string::npos);
  EXPECT_FALSE(fs::exists(Out("long.mp4")));
  EXPECT_EQ(FileCount(), 1u); // the movie only: no partial file
}

// How close two pictures are over their top Rows rows (the video's controls
// may cover the rest): PSNR in dB over the RGB channels.
double TopPSNR(const QImage& A, const QImage& B, int Rows)
{
  if (A.width() != B.width() || A.height() < Rows || B.height() < Rows)
    return -1;
  double sum = 0;
  for (int y = 0; y < Rows; ++y)
    for (int x = 0; x < A.width(); ++x) {
      const QRgb a = A.pixel(x, y), b = B.pixel(x, y);
      for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)})
        sum += d * d;
    }
  const double mse = sum / (3.0 * Rows * A.width());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(CliConvert, TheHTMLPagePlaysInAHeadlessBrowser)
{
  const std::string chromium = "/usr/bin/chromium";
  if (::access(chromium.c_str(), X_OK) != 0)
    GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
  // A still movie, so that whatever moment the browser shows is its first frame.
  const std::string still = Dir.WriteFile("still.swf", testing::ConvertTestMovie(1));
  const auto made = RunProgram(QUENLOFT_CLI_PATH, {"convert", still, "-o", Out("page.html"), "--seconds", "2"});
  ASSERT_EQ(made.Status, 0) << made.Err;
  // The page in a frame of a page of ours, which reads its video's state
  // once the page has loaded and again a second and a half later.
  const std::string harness = Dir.WriteFile("harness.html", R"(<!DOCTYPE html><html><body><pre id="out">-</pre>
<iframe id="f" src="page.html" width="600" height="450"></iframe>
<script>
const frame = document.getElementById('f');
frame.addEventListener('load', () => {
  const v = frame.contentDocument.querySelector('video');
  const t0 = v.currentTime;
  setTimeout(() => {
    document.getElementById('out').textContent =
        'state ' + v.readyState + ' ' + v.videoWidth + 'x' + v.videoHeight + ' ' + t0 + ' ' + v.currentTime + ' ';
  }, 1500);
});
</script></body></html>)");
  const std::vector<std::string> flags{"--headless=new", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                                       "--user-data-dir=" + Out("profile"),
                                       "--autoplay-policy=no-user-gesture-required"};
  std::vector<std::string> args = flags;
  args.insert(args.end(), {"--allow-file-access-from-files", "--virtual-time-budget=5000", "--dump-dom",
                           "file://" + harness});
  const auto dom = RunProgram(chromium, args, std::chrono::seconds(90));
  ASSERT_EQ(dom.Status, 0) << dom.Err;
  const std::size_t at = dom.Out.find("state ");
  ASSERT_NE(at, std::string::npos) << dom.Out;
  std::istringstream state(dom.Out.substr(at + 6));
  int ready = 0;
  std::string size;
  double t0 = -1, t1 = -1;
  state >> ready >> size >> t0 >> t1;
  EXPECT_EQ(ready, 4) << dom.Out; // enough data to play
  EXPECT_EQ(size, "550x400");
  EXPECT_GT(t1, t0) << "the video does not play";

  args = flags;
  args.insert(args.end(), {"--window-size=550,400", "--screenshot=" + Out("shot.png"), "file://" + Out("page.html")});
  const auto shot = RunProgram(chromium, args, std::chrono::seconds(90));
  ASSERT_EQ(shot.Status, 0) << shot.Err;
  const std::string frame = Out("frame.png");
  ASSERT_EQ(RunProgram(QUENLOFT_CLI_PATH, {"render", still, "--frame", "1", "-o", frame}).Status, 0);
  EXPECT_GE(TopPSNR(QImage(QString::fromStdString(Out("shot.png"))), QImage(QString::fromStdString(frame)), 280),
            30);
}

TEST_F(CliConvert, AFullDiskIsAClearErrorAndLeavesNothingBehind)
{
  // A 4 KiB file system of its own, in a mount namespace of the child.
  const fs::path small = Dir.Path() / "small";
  fs::create_directory(small);
  const std::string script = R"(mount -t tmpfs -o size=4k none "$1" || exit 77
"$2" convert "$3" -o "$1/movie.gif" --frames 96
status=$?
ls -A "$1"
exit $status)";
  std::vector<std::string> args{"-m"};
  if (::geteuid() != 0)
    args = {"-r", "-m"};
  args.insert(args.end(), {"sh", "-c", script, "sh", small.string(), QUENLOFT_CLI_PATH, Movie});
  const auto run = RunProgram("/usr/bin/unshare", args);
  if (run.Status == 77 || run.Err.find("unshare failed") != std::string::npos)
    GTEST_SKIP() << "no tmpfs can be mounted here: " << run.Err;
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("No space left on device"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out, ""); // the tmpfs was left empty
}

} // namespace
} // namespace quenloft

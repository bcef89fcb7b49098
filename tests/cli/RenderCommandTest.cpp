// quenloft-cli render, run as a process over movies written by the test.
#include "tests/cli/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"

#include <QImage>

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using testing::RunProgram;
using testing::TempDir;

// A 550 x 400 movie with two frames whose background is (10, 200, 30).
std::string BackgroundMovie()
{
  std::string body("\x78\x00\x05\x5F\x00\x00\x0F\xA0\x00" // stage 0..11000, 0..8000 twips
                   "\x00\x18\x02\x00",                    // 24 fps, 2 frames
                   13);
  body += std::string("\x43\x02\x0A\xC8\x1E", 5);     // SetBackgroundColor
  body += std::string("\x40\x00\x40\x00\x00\x00", 6); // ShowFrame twice, End
  std::string movie("FWS\x0A", 4);
  const std::uint32_t length = static_cast<std::uint32_t>(8 + body.size());
  for (int i = 0; i < 4; ++i)
    movie += static_cast<char>((length >> (8 * i)) & 0xFF);
  return movie + body;
}

class CliRender : public ::testing::Test {
protected:
  TempDir Dir;
  std::string Movie = Dir.WriteFile("movie.swf", BackgroundMovie());
  std::string Out = (Dir.Path() / "frame.png").string();
};

TEST_F(CliRender, DrawsTheFrameAtTheStageSizeTimesTheScale)
{
  struct Case {
    std::vector<std::string> Args;
    int Width, Height;
  } cases[] = {
      {{}, 550, 400},
      {{"--scale", "0.1", "--quality", "low"}, 55, 40},
      {{"--frame", "99", "--scale", "0.5", "--quality", "best"}, 275, 200}, // past the end: the last
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"render", Movie, "-o", Out};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const auto run = RunProgram(QUENLOFT_CLI_PATH, args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QImage image(QString::fromStdString(Out));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(c.Width, c.Height));
    EXPECT_EQ(image.pixel(c.Width / 2, c.Height / 2), qRgb(10, 200, 30));
  }
}

// A field in a device font: its text is drawn with the system's fonts,
// without a display.
TEST_F(CliRender, DrawsTextInDeviceFonts)
{
  using namespace swf::test;
  TBitWriter font;
  font.U16(1).U8(0).U8(0).U8(5).Raw({'_', 's', 'a', 'n', 's'}).U16(0).U16(0);
  TBitWriter field;
  field.U16(2).Rect(0, 11000, 0, 8000).U8(0x80 | 0x40 | 0x04 | 0x01).U8(0);
  field.U16(1).U16(1200).U8(0).U8(0).U8(255).U8(255).Str("").Str("WWW MMM WWW MMM WWW");
  const auto bytes = MovieFile(Join({Tag(48, font.Out), Tag(37, field.Out), Place2(1, 2), ShowFrame(), End()}));
  const std::string movie = Dir.WriteFile("text.swf", std::string(bytes.begin(), bytes.end()));
  const auto run = RunProgram(QUENLOFT_CLI_PATH, {"render", movie, "-o", Out});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");
  const QImage image(QString::fromStdString(Out));
  int blue = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      blue += qBlue(image.pixel(x, y)) > 128 && qRed(image.pixel(x, y)) < 128;
  EXPECT_GT(blue, 200);
}

TEST_F(CliRender, BadInputGivesAClearMessageAndExitStatusOne)
{
  const std::string text = Dir.WriteFile("page.html", "<html></html>");
  struct Case {
    std::vector<std::string> Args;
    int Status;
    const char* Says;
  } cases[] = {
      {{"render", text, "-o", Out}, 1, "not a movie"},
      {{"render", (Dir.Path() / "missing.swf").string(), "-o", Out}, 1, "missing.swf"},
      {{"render", Movie, "--scale", "100", "-o", Out}, 1, "limit"},
      {{"render", Movie, "-o", (Dir.Path() / "no" / "such" / "x.png").string()}, 1, "cannot write"},
      {{"render", Movie, "--quality", "ultra", "-o", Out}, 2, "ultra"},
      {{"render", Movie, "--frame", "0", "-o", Out}, 2, "frame"},
  };
  for (const Case& c : cases) {
    const auto run = RunProgram(QUENLOFT_CLI_PATH, c.Args);
    EXPECT_EQ(run.Status, c.Status) << c.Args[1] << ": " << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
  }
}

} // namespace
} // namespace quenloft

// render --ticks and --click, and run with the same clicks: both commands
// play a scripted movie tick by tick the same way.
#include "cli/MoviePlayback.h"

#include "tests/cli/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"

#include <QImage>

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using namespace swf::test;
using testing::RunProgram;
using testing::TempDir;

// A 550 x 400 movie stopped on frame 1 showing a red 40 x 40 button at
// (100, 100); releasing it traces "released" and goes to frame 2, where a
// blue rectangle covers the stage.
std::string ButtonMovie()
{
  TBitWriter b;
  b.U16(2).U8(0).U16(15);
  b.U8(0x0F).U16(1).U16(1).Matrix(0, 0).U8(0).U8(0);
  const TBytes actions = {0x96, 10, 0, 0, 'r', 'e', 'l', 'e', 'a', 's', 'e', 'd', 0, 0x26, // trace
                          0x81, 2,  0, 1, 0,   0x07, 0}; // gotoAndStop(2)
  b.U16(0).U8(1u << 3).U8(0).Raw(actions);
  const TBytes tags = Join({RectShape(1, 800, 800), Tag(34, b.Out), Place2(1, 2, 2000, 2000), DoAction({0x07}),
                            ShowFrame(), RectShape(3, 11000, 8000, 0, 0, 255), Place2(2, 3), ShowFrame(), End()});
  const TBytes file = MovieFile(tags, 'F', 2, 550, 400, 8);
  return {file.begin(), file.end()};
}

class CliPlayback : public ::testing::Test {
protected:
  TempDir Dir;
  std::string Movie = Dir.WriteFile("button.swf", ButtonMovie());
  std::string Out = (Dir.Path() / "frame.png").string();
};

TEST_F(CliPlayback, RenderDrawsTheStageAfterTheTicksAndClicks)
{
  const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
  const struct {
    std::vector<std::string> Args;
    QRgb AtButton;
  } Rows[] = {
      {{"--ticks", "3"}, red},
      {{"--ticks", "3", "--click", "120,120@1"}, blue},
      {{"--ticks", "1", "--click", "120,120@1"}, blue},
      {{"--ticks", "1", "--click", "120,120@2"}, red}, // after the tick drawn
      {{"--ticks", "3", "--click", "10,10@1", "--click", "130.5,101@2"}, blue},
      {{"--ticks", "3", "--click", "10,10@1"}, red},
      {{"--frame", "2"}, red}, // the script holds the root on frame 1
  };
  for (const auto& Row : Rows) {
    std::vector<std::string> args{"render", Movie, "-o", Out};
    args.insert(args.end(), Row.Args.begin(), Row.Args.end());
    const auto run = RunProgram(QUENLOFT_CLI_PATH, args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QImage image(QString::fromStdString(Out));
    ASSERT_EQ(image.size(), QSize(550, 400));
    EXPECT_EQ(image.pixel(120, 120), Row.AtButton) << ::testing::PrintToString(Row.Args);
  }
}

TEST_F(CliPlayback, RunPlaysTheSameClicks)
{
  const struct {
    std::vector<std::string> Args;
    std::string Out;
  } Rows[] = {
      {{"--frames", "3"}, ""},
      {{"--frames", "3", "--click", "120,120@2"}, "released\n"},
      {{"--frames", "1", "--click", "120,120@2"}, ""},
  };
  for (const auto& Row : Rows) {
    std::vector<std::string> args{"run", Movie};
    args.insert(args.end(), Row.Args.begin(), Row.Args.end());
    const auto run = RunProgram(QUENLOFT_CLI_PATH, args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, Row.Out) << ::testing::PrintToString(Row.Args);
  }
}

TEST_F(CliPlayback, BadClicksAreRefused)
{
  for (const std::string click : {"120,120", "a,1@1", "1,2@0", "1,2@x", "1@2,3"}) {
    EXPECT_FALSE(ParseClick(click)) << click;
    const auto run = RunProgram(QUENLOFT_CLI_PATH, {"render", Movie, "-o", Out, "--click", click});
    EXPECT_EQ(run.Status, 1) << click;
    EXPECT_NE(run.Err.find("--click"), std::string::npos) << run.Err;
  }
  const std::optional<TClick> good = ParseClick("-1.5,2e1@7");
  ASSERT_TRUE(good);
  EXPECT_EQ(good->X, -1.5);
  EXPECT_EQ(good->Y, 20);
  EXPECT_EQ(good->Tick, 7);
}

} // namespace
} // namespace quenloft

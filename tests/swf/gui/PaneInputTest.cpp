// The pane hands the mouse and the keys to a scripted movie: a click on the
// movie's button, sent as real mouse events to the player widget, runs the
// button's release actions and the root shows the frame they lead to.
#include "swf/gui/MovieInput.h"
#include "swf/gui/kvuFlash.h"

#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/gui/MovieFixtures.h"
#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

#include <vector>

namespace quenloft {
namespace {

using namespace swf::test;

// gotoAndStop(Frame), counted from 0.
TBytes GotoAndStop(std::uint16_t Frame)
{
  return {0x81, 2, 0, static_cast<std::uint8_t>(Frame), static_cast<std::uint8_t>(Frame >> 8), 0x07, 0};
}

// DefineButton2 2 showing shape 1 (also its hit area); releasing it, or
// pressing Enter, goes to frame 1 and stops.
TBytes ButtonToFrameOne()
{
  TBitWriter w;
  w.U16(2).U8(0).U16(15);
  w.U8(0x0F).U16(1).U16(1).Matrix(0, 0).U8(0); // all four states: shape 1 at depth 1
  w.U8(0);
  const TBytes actions = GotoAndStop(1);
  w.U16(static_cast<std::uint16_t>(4 + actions.size())).U8(1u << 3).U8(0).Raw(actions); // release
  w.U16(0).U8(0).U8(13u << 1).Raw(actions); // key press 13 (Enter) in bits 9..15
  return Tag(34, w.Out);
}

// A 550 x 400 movie of two frames stopped on the first, with a 40 x 40
// pixel button at (100, 100).
TBytes ButtonMovie()
{
  return MovieFile(Join({RectShape(1, 800, 800), ButtonToFrameOne(), Place2(1, 2, 2000, 2000),
                         DoAction({0x07}), ShowFrame(), ShowFrame(), End()}),
                   'F', 2, 550, 400, 8);
}

class PaneInputTest : public ::testing::Test {
protected:
  PaneInputTest()
  {
    QObject::connect(Flash, &TShockwaveFlash::FrameChanged, [this](int Frame) { Shown.push_back(Frame); });
  }
  void Load(QSize Size, bool Lock)
  {
    const std::string Path = Files.WriteFile("button.swf", testing::AsText(ButtonMovie()));
    Window.resize(Size.width() + 20, Size.height() + 20);
    Flash->setGeometry(10, 10, Size.width(), Size.height());
    Flash->LockMouseClick = Lock;
    Window.show();
    Flash->LoadMovie(QString::fromStdString(Path));
    ASSERT_EQ(Flash->CurrentFrame(), 0);
    Shown.clear();
  }

  testing::QtAppGuard Guard;
  testing::TempDir Files;
  QWidget Window;
  TkvuFlash* Flash = new TkvuFlash(&Window);
  std::vector<int> Shown;
};

TEST_F(PaneInputTest, AClickOnTheButtonShowsTheFrameItLeadsTo)
{
  const struct {
    const char* What;
    QSize Widget;
    QPoint At; // widget pixels
    bool Lock;
    int Frame;
  } Rows[] = {
      {"half size, on the button", {275, 200}, {60, 60}, false, 1},
      {"full size, on the button's far corner", {550, 400}, {138, 138}, false, 1},
      {"letterboxed: the stage starts 137 pixels in", {550, 200}, {137 + 60, 60}, false, 1},
      {"letterboxed: the button's place without the margin", {550, 200}, {60, 60}, false, 0},
      {"beside the button", {275, 200}, {40, 60}, false, 0},
      {"clicks locked by the pane", {275, 200}, {60, 60}, true, 0},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.What);
    Load(Row.Widget, Row.Lock);
    testing::SendMouse(*Flash, QEvent::MouseMove, Row.At, Qt::NoButton);
    testing::Press(*Flash, Row.At);
    testing::Release(*Flash, Row.At);
    EXPECT_EQ(Flash->CurrentFrame(), Row.Frame);
    EXPECT_EQ(Shown, Row.Frame ? std::vector<int>{1} : std::vector<int>{});
  }
}

TEST_F(PaneInputTest, TheCursorShowsTheHandOverTheButtonOnly)
{
  Load({275, 200}, false);
  const struct {
    QPoint At;
    Qt::CursorShape Shape;
  } Rows[] = {{{60, 60}, Qt::PointingHandCursor}, {{10, 10}, Qt::ArrowCursor}, {{51, 51}, Qt::PointingHandCursor}};
  for (const auto& Row : Rows) {
    testing::SendMouse(*Flash, QEvent::MouseMove, Row.At, Qt::NoButton);
    EXPECT_EQ(Flash->cursor().shape(), Row.Shape) << Row.At.x() << "," << Row.At.y();
  }
}

TEST_F(PaneInputTest, KeysReachTheMovie)
{
  Load({275, 200}, false);
  testing::PressKey(*Flash, Qt::Key_Escape);
  EXPECT_EQ(Flash->CurrentFrame(), 0) << "a key the button does not wait for";
  testing::PressKey(*Flash, Qt::Key_Return);
  EXPECT_EQ(Flash->CurrentFrame(), 1);
}

TEST(MovieInputTest, WidgetPointsMapToStagePixelsThroughTheFittedPicture)
{
  const struct {
    QSize Widget, Stage;
    QPointF At, Expected;
  } Rows[] = {
      {{275, 200}, {550, 400}, {60, 60}, {120, 120}},
      {{550, 200}, {550, 400}, {137, 0}, {0, 0}},
      {{550, 200}, {550, 400}, {100, 100}, {-74, 200}},
      {{200, 550}, {100, 100}, {100, 175}, {50, 0}},
  };
  for (const auto& Row : Rows) {
    const QPointF Got = WidgetToStage(Row.At, FittedStage(Row.Widget, Row.Stage), Row.Stage);
    EXPECT_DOUBLE_EQ(Got.x(), Row.Expected.x());
    EXPECT_DOUBLE_EQ(Got.y(), Row.Expected.y());
  }
}

TEST(MovieInputTest, QtKeysMapToThePlayersCodes)
{
  const struct {
    int Key;
    char32_t Text;
    std::uint8_t Code;
  } Rows[] = {{Qt::Key_A, U'a', 65}, {Qt::Key_7, U'7', 55},        {Qt::Key_F1, 0, 112},
              {Qt::Key_Left, 0, 37}, {Qt::Key_Return, U'\r', 13}, {Qt::Key_Semicolon, U';', 186},
              {Qt::Key_Exclam, U'!', 49}, {Qt::Key_Meta, 0, 0}};
  for (const auto& Row : Rows)
    EXPECT_EQ(MovieKeyCode(Row.Key, Row.Text), Row.Code) << Row.Key;
}

} // namespace
} // namespace quenloft

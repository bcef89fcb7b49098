#include "swf/gui/kvuFlash.h"

#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/gui/MovieFixtures.h"
#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMenu>
#include <QWheelEvent>

#include <vector>

namespace quenloft {
namespace {

using testing::WaitUntil;

// A shown window holding one player of the pane's size.
class PlayerTest : public ::testing::Test {
protected:
  PlayerTest()
  {
    Window.resize(300, 200);
    Flash->setGeometry(8, 1, 241, 175);
    Window.show();
    QObject::connect(Flash, &TShockwaveFlash::MovieMouse,
                     [this](std::uint32_t Message, QPoint) { Reached.push_back(Message); });
  }
  void Load(const std::string& Path) { Flash->LoadMovie(QString::fromStdString(Path)); }

  testing::QtAppGuard Guard;
  testing::TempDir Files;
  QWidget Window;
  TkvuFlash* Flash = new TkvuFlash(&Window);
  std::vector<std::uint32_t> Reached; // the mouse messages that reached the movie
};

TEST_F(PlayerTest, PlaysAtTheMovieFrameRateMeasuredByTheClock)
{
  QUENLOFT_REQUIRE_MOVIE(Path, "from_shumway__invalidClipDepth"); // 256 frames at 24 per second
  QElapsedTimer Clock;
  Clock.start();
  Load(Path);
  EXPECT_GE(Flash->TotalFrames(), 256);
  EXPECT_TRUE(Flash->Playing());
  const QImage First = Flash->grab().toImage();
  ASSERT_TRUE(WaitUntil([this] { return Flash->CurrentFrame() >= 12; }));
  const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
  EXPECT_NE(Flash->grab().toImage(), First) << "the picture moves with the frames";
  // Frame 12 is due after half a second: never sooner, and a busy machine
  // delays the steps a little but the clock keeps the movie at its rate.
  EXPECT_GE(Seconds, 0.49);
  EXPECT_LT(Seconds, 2.5);
  EXPECT_LE(static_cast<double>(Flash->FramesStepped()), Seconds * 24 + 1);
  EXPECT_GE(Flash->FramesDrawn(), 1);
}

TEST_F(PlayerTest, GotoFrameShowsTheFrameAndHoldsUntilPlay)
{
  QUENLOFT_REQUIRE_MOVIE(Path, "from_shumway__invalidClipDepth");
  Load(Path);
  std::vector<int> Shown;
  QObject::connect(Flash, &TShockwaveFlash::FrameChanged, [&Shown](int Frame) { Shown.push_back(Frame); });
  Flash->GotoFrame(100);
  EXPECT_EQ(Flash->CurrentFrame(), 100);
  EXPECT_FALSE(Flash->Playing());
  const std::int64_t Stepped = Flash->FramesStepped();
  ASSERT_TRUE(WaitUntil([&] { return Flash->FramesStepped() >= Stepped + 3; }));
  EXPECT_EQ(Flash->CurrentFrame(), 100) << "held while the clock went on";
  Flash->Play();
  ASSERT_TRUE(WaitUntil([this] { return Flash->CurrentFrame() > 100; }));
  Flash->GotoFrame(5);
  EXPECT_EQ(Flash->CurrentFrame(), 5) << "backwards";
  const int Last = Flash->TotalFrames() - 1;
  Flash->GotoFrame(1000);
  EXPECT_EQ(Flash->CurrentFrame(), Last) << "past the end: the last frame";
  ASSERT_GE(Shown.size(), 4u);
  EXPECT_EQ(Shown.front(), 100);
  EXPECT_EQ(Shown.back(), Last);
  // Writing the movie again starts it over.
  Load(Path);
  EXPECT_EQ(Flash->CurrentFrame(), 0);
  EXPECT_TRUE(Flash->Playing());
}

TEST_F(PlayerTest, CallsWithoutAMovieRaiseAndAFileThatIsNotAMovieHasNoFrames)
{
  EXPECT_THROW(Flash->CurrentFrame(), EFlashError);
  EXPECT_THROW(Flash->TotalFrames(), EFlashError);
  EXPECT_THROW(Flash->Play(), EFlashError);
  EXPECT_THROW(Flash->GotoFrame(0), EFlashError);
  Load(Files.WriteFile("page.swf", "<html></html>"));
  EXPECT_EQ(Flash->Text(), QStringLiteral("not a movie: not a Flash file"));
  EXPECT_EQ(Flash->LoadedMovie(), nullptr);
  EXPECT_EQ(Flash->CurrentFrame(), 0);
  EXPECT_EQ(Flash->TotalFrames(), 0);
  EXPECT_NO_THROW(Flash->Play());
  EXPECT_FALSE(Flash->Ticking());
  EXPECT_THROW(Flash->GotoFrame(-1), EFlashError);
}

TEST_F(PlayerTest, NothingTicksWhileHidden)
{
  using namespace swf::test;
  const TBytes Blue = MovieFile(Join({Tag(9, {0, 0, 255}), ShowFrame(), ShowFrame(), End()}), 'F', 2, 40, 30);
  Load(Files.WriteFile("blue.swf", testing::AsText(Blue)));
  EXPECT_TRUE(Flash->Ticking());
  Window.hide();
  EXPECT_FALSE(Flash->Ticking());
  Window.show();
  EXPECT_TRUE(Flash->Ticking());
  const QImage Shot = Flash->grab().toImage();
  EXPECT_EQ(Shot.pixelColor(120, 87), QColor(0, 0, 255)) << "the stage's background, fitted";
}

TEST_F(PlayerTest, StepsThatCannotChangeThePictureAreNotDrawn)
{
  using namespace swf::test;
  const TBytes Still =
      MovieFile(Join({RectShape(1, 400, 400), Place2(1, 1), ShowFrame(), End()}), 'F', 1, 40, 30);
  Load(Files.WriteFile("still.swf", testing::AsText(Still)));
  ASSERT_TRUE(WaitUntil([this] { return Flash->FramesStepped() >= 2 && Flash->FramesDrawn() >= 1; }));
  const std::int64_t Drawn = Flash->FramesDrawn();
  const std::int64_t Stepped = Flash->FramesStepped();
  ASSERT_TRUE(WaitUntil([&] { return Flash->FramesStepped() >= Stepped + 3; }));
  EXPECT_EQ(Flash->FramesDrawn(), Drawn) << "one frame, no sprite: the picture stays";
  Flash->GotoFrame(0);
  ASSERT_TRUE(WaitUntil([&] { return Flash->FramesDrawn() > Drawn; })) << "a seek draws";
}

TEST_F(PlayerTest, MouseFilterDecidesWhatReachesTheMovie)
{
  struct Case {
    const char* Name;
    Qt::MouseButton Button;
    bool Menu;
    bool Lock;
    std::vector<std::uint32_t> Reaching;
    int Clicks;
  };
  const std::vector<Case> Cases{
      {"right, no menu", Qt::RightButton, false, false, {}, 0},
      {"right, menu", Qt::RightButton, true, false, {WM_RBUTTONDOWN, WM_RBUTTONUP}, 0},
      {"left", Qt::LeftButton, false, false, {WM_LBUTTONDOWN, WM_LBUTTONUP}, 0},
      {"left, locked", Qt::LeftButton, false, true, {}, 1},
      {"middle, locked", Qt::MiddleButton, false, true, {WM_MBUTTONDOWN, WM_MBUTTONUP}, 0},
  };
  int Clicks = 0;
  Flash->OnClick = [&Clicks] { ++Clicks; };
  EXPECT_FALSE(Flash->Menu()) << "the program's player starts without its menu";
  for (const Case& C : Cases) {
    Reached.clear();
    Clicks = 0;
    Flash->SetMenu(C.Menu);
    Flash->LockMouseClick = C.Lock;
    testing::Press(*Flash, {5, 5}, C.Button);
    testing::Release(*Flash, {5, 5}, C.Button);
    EXPECT_EQ(Reached, C.Reaching) << C.Name;
    EXPECT_EQ(Clicks, C.Clicks) << C.Name;
  }
  for (QMenu* Open : Flash->findChildren<QMenu*>())
    Open->hide();

  // A locked press released outside is no click; moves and the wheel pass.
  Reached.clear();
  testing::Press(*Flash, {5, 5});
  testing::Release(*Flash, {400, 5});
  EXPECT_EQ(Clicks, 0);
  testing::SendMouse(*Flash, QEvent::MouseMove, {6, 6}, Qt::NoButton);
  QWheelEvent Wheel({6, 6}, Flash->mapToGlobal(QPoint(6, 6)), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(Flash, &Wheel);
  EXPECT_EQ(Reached, (std::vector<std::uint32_t>{WM_MOUSEMOVE, WM_MOUSEWHEEL}));

  // A right press is consumed by a popup menu on its release, a left
  // release consumes a press too.
  QMenu Popup;
  Popup.addAction(QStringLiteral("Item"));
  Flash->PopupMenu = &Popup;
  Flash->SetMenu(false);
  testing::Press(*Flash, {5, 5}, Qt::RightButton);
  EXPECT_TRUE(Flash->Pressed());
  testing::Release(*Flash, {5, 5}, Qt::RightButton);
  EXPECT_FALSE(Flash->Pressed());
  EXPECT_TRUE(Popup.isVisible());
  Popup.hide();
  Flash->PopupMenu = nullptr;
  testing::Press(*Flash, {5, 5}, Qt::RightButton);
  testing::Release(*Flash, {5, 5}, Qt::RightButton);
  EXPECT_TRUE(Flash->Pressed()) << "no popup menu consumed the press";
  testing::Release(*Flash, {5, 5});
  EXPECT_FALSE(Flash->Pressed());
}

} // namespace
} // namespace quenloft

#include "ui/gui/BaseUI2Frm.h"

#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace quenloft {
namespace {

using testing::Press;
using testing::QtApp;

// Counts what the base does, without asking a window system to move.
class TProbeForm : public TBaseUI2Form {
public:
  int Closes = 0;
  int Moves = 0;

protected:
  bool StartSystemMove() override
  {
    ++Moves;
    return true;
  }
  void closeEvent(QCloseEvent* Event) override
  {
    ++Closes;
    TBaseUI2Form::closeEvent(Event);
  }
};

void ExpectRoundCorners(const QRegion& Region, int W, int H)
{
  EXPECT_EQ(Region.boundingRect(), QRect(0, 0, W, H));
  for (QPoint Corner : {QPoint(0, 0), QPoint(W - 1, 0), QPoint(0, H - 1), QPoint(W - 1, H - 1), QPoint(2, 0),
                        QPoint(0, 2), QPoint(W - 3, H - 1), QPoint(W - 1, 1)})
    EXPECT_FALSE(Region.contains(Corner)) << Corner.x() << "," << Corner.y();
  for (QPoint Inside : {QPoint(3, 0), QPoint(0, 3), QPoint(W - 4, 0), QPoint(W - 1, H - 4), QPoint(1, 1),
                        QPoint(W / 2, H / 2), QPoint(W / 2, 0), QPoint(0, H / 2)})
    EXPECT_TRUE(Region.contains(Inside)) << Inside.x() << "," << Inside.y();
}

TEST(RoundRegion, CutsTheFourCornersWithARadiusOfFive)
{
  ExpectRoundCorners(RoundRectRegion(471, 409, 10), 471, 409);
  ExpectRoundCorners(RoundRectRegion(20, 12, 10), 20, 12);
  EXPECT_TRUE(RoundRectRegion(0, 10, 10).isEmpty());
}

class BaseFormTest : public ::testing::Test {
protected:
  void SetUp() override { QtApp(); }
};

TEST_F(BaseFormTest, DesignLayoutAndAnchoring)
{
  TProbeForm Form;
  EXPECT_TRUE(Form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(Form.size(), QSize(471, 409));
  EXPECT_EQ(Form.imgTopLeft->geometry(), QRect(0, 0, 32, 28));
  EXPECT_EQ(Form.imgTopRight->geometry(), QRect(463, 0, 8, 28));
  EXPECT_EQ(Form.imgBottomRight->geometry(), QRect(466, 404, 5, 5));
  EXPECT_EQ(Form.btnCloseMe->geometry(), QRect(437, 3, 28, 18));
  EXPECT_EQ(Form.btnOkMe->geometry(), QRect(284, 370, 78, 23));
  EXPECT_EQ(Form.btnCancelMe->Caption(), QStringLiteral("Cancel"));
  EXPECT_TRUE(Form.btnMin->isHidden());
  EXPECT_TRUE(Form.btnMax->isHidden());
  EXPECT_EQ(Form.lblCaption->pos(), QPoint(36, 5));
  EXPECT_EQ(Form.palette().color(QPalette::Window), QColor(191, 197, 201));
  ExpectRoundCorners(Form.mask(), 471, 409);

  Form.SetClientSize(723, 356);
  EXPECT_EQ(Form.imgTop->geometry(), QRect(0, 0, 723, 28));
  EXPECT_EQ(Form.imgLeft->geometry(), QRect(0, 0, 5, 356));
  EXPECT_EQ(Form.imgRight->geometry(), QRect(718, 0, 5, 356));
  EXPECT_EQ(Form.imgBottom->geometry(), QRect(0, 351, 723, 5));
  EXPECT_EQ(Form.imgTopRight->geometry(), QRect(715, 0, 8, 28));
  EXPECT_EQ(Form.imgBottomLeft->geometry(), QRect(0, 351, 5, 5));
  EXPECT_EQ(Form.imgBottomRight->geometry(), QRect(718, 351, 5, 5));
  EXPECT_EQ(Form.btnCloseMe->geometry(), QRect(689, 3, 28, 18));
  EXPECT_EQ(Form.btnCancelMe->geometry(), QRect(624, 317, 78, 23));
  EXPECT_EQ(Form.lblCaption->pos(), QPoint(36, 5));
  // A resize by the window system (here: shown, then resized) re-cuts the
  // outline as well.
  Form.show();
  Form.resize(600, 300);
  QCoreApplication::processEvents();
  ExpectRoundCorners(Form.mask(), 600, 300);
  EXPECT_EQ(Form.imgBottomRight->geometry(), QRect(595, 295, 5, 5));
}

TEST_F(BaseFormTest, DialogButtonsEndAModalRunWithTheirResults)
{
  TProbeForm Form;
  QTimer::singleShot(0, &Form, [&Form] { Form.btnOkMe->Click(); });
  EXPECT_EQ(Form.ShowModal(), mrOk);
  EXPECT_FALSE(Form.isVisible());
  QTimer::singleShot(0, &Form, [&Form] { Form.btnCancelMe->Click(); });
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  QTimer::singleShot(0, &Form, [&Form] { Form.btnCloseMe->Click(); });
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  EXPECT_EQ(Form.Closes, 1); // the ordinary close path ran
  // Without a modal run a result leaves the window open.
  Form.show();
  Form.btnOkMe->Click();
  EXPECT_TRUE(Form.isVisible());
  EXPECT_EQ(Form.ModalResult(), mrOk);
  Form.btnCloseMe->Click();
  EXPECT_FALSE(Form.isVisible());
  EXPECT_EQ(Form.Closes, 2);
}

TEST_F(BaseFormTest, DraggingTheCaptionStripOrTheTitleMovesTheWindow)
{
  TProbeForm Form;
  Form.lblCaption->setText(QStringLiteral("Title"));
  Form.show();
  testing::SendMouse(*Form.imgTop, QEvent::MouseMove, {100, 10}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(Form.Moves, 1);
  testing::SendMouse(*Form.imgTop, QEvent::MouseMove, {100, 29}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(Form.Moves, 1); // below the strip
  testing::SendMouse(*Form.lblCaption, QEvent::MouseMove, {2, 40}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(Form.Moves, 2); // the title has no Y test
  // A press on a caption button is the button's.
  Press(*Form.btnCloseMe, {3, 3});
  testing::SendMouse(*Form.btnCloseMe, QEvent::MouseMove, {4, 4}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(Form.Moves, 2);
  // Once per press: under a window manager the move follows the mouse from
  // then on, and a request on every mouse move would restart it each time.
  for (QWidget* Grip : {static_cast<QWidget*>(Form.imgTop), static_cast<QWidget*>(Form.lblCaption)}) {
    const int Before = Form.Moves;
    for (int Drag = 0; Drag < 2; ++Drag) {
      testing::SendMouse(*Grip, QEvent::MouseButtonPress, {10, 5}, Qt::LeftButton, Qt::LeftButton);
      for (int X = 11; X < 20; ++X)
        testing::SendMouse(*Grip, QEvent::MouseMove, {X, 5}, Qt::NoButton, Qt::LeftButton);
      testing::SendMouse(*Grip, QEvent::MouseButtonRelease, {20, 5}, Qt::LeftButton, Qt::NoButton);
    }
    EXPECT_EQ(Form.Moves, Before + 2);
  }
  EXPECT_FALSE(Form.HasUIText());
  EXPECT_TRUE(Form.GetUIText("CUI_TBaseUI2Form_lblCaption").empty());
}

TEST_F(BaseFormTest, MaximiseAndMinimiseButtons)
{
  TProbeForm Form;
  Form.show();
  Form.btnMax->Click();
  QCoreApplication::processEvents();
  EXPECT_TRUE(Form.windowState() & Qt::WindowMaximized);
  ExpectRoundCorners(Form.mask(), Form.width(), Form.height());
  EXPECT_EQ(Form.imgBottomRight->geometry().bottomRight(), QPoint(Form.width() - 1, Form.height() - 1));
  Form.btnMin->Click();
  EXPECT_TRUE(Form.windowState() & Qt::WindowMinimized);
}

// --- under a real X server ------------------------------------------------------

// Runs only inside the child process that the test below starts with an X
// display: shows a window and reads the screen at its corners.
TEST(BaseFormXvfb, Child)
{
  if (!std::getenv("QUENLOFT_XVFB_CHILD"))
    GTEST_SKIP() << "runs in the child process of OutlineIsCutOnScreen";
  QtApp();
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  TProbeForm Form;
  Form.move(40, 40);
  Form.show();
  ASSERT_TRUE(testing::WaitUntil([&] { return Form.isVisible() && Form.windowHandle()->isExposed(); }));
  testing::WaitUntil([] { return false; }, 300); // let the X server apply the shape
  const QImage Screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  const QPoint Origin = Form.mapToGlobal(QPoint(0, 0));
  const QColor Root = Screen.pixelColor(5, 5); // the bare root window
  EXPECT_EQ(Screen.pixelColor(Origin + QPoint(0, 0)), Root);
  EXPECT_EQ(Screen.pixelColor(Origin + QPoint(470, 408)), Root);
  EXPECT_EQ(Screen.pixelColor(Origin + QPoint(0, 408)), Root);
  EXPECT_NE(Screen.pixelColor(Origin + QPoint(6, 100)), Root);
  EXPECT_EQ(Screen.pixelColor(Origin + QPoint(200, 200)), QColor(191, 197, 201));
  // The move request reaches the window system (no window manager runs
  // here, so whether it then moves is not asked).
  TBaseUI2Form Plain;
  Plain.show();
  ASSERT_TRUE(testing::WaitUntil([&] { return Plain.windowHandle()->isExposed(); }));
  testing::SendMouse(*Plain.imgTop, QEvent::MouseMove, {100, 10}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(Plain.MoveRequests(), 1);
}

TEST(BaseFormXvfb, OutlineIsCutOnScreen)
{
  if (std::getenv("QUENLOFT_XVFB_CHILD"))
    GTEST_SKIP() << "the parent test";
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
  const int Display = 70 + static_cast<int>(::getpid() % 200);
  const std::string Socket = "/tmp/.X11-unix/X" + std::to_string(Display);
  const pid_t Server = ::fork();
  ASSERT_GE(Server, 0);
  if (Server == 0) {
    const std::string Name = ":" + std::to_string(Display);
    ::execlp("Xvfb", "Xvfb", Name.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp", nullptr);
    ::_exit(127);
  }
  bool Up = false;
  for (int I = 0; I < 100 && !Up; ++I) {
    Up = std::filesystem::exists(Socket);
    if (!Up)
      ::usleep(50000);
  }
  if (Up) {
    QProcess Child;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(Display));
    Env.insert(QStringLiteral("QUENLOFT_XVFB_CHILD"), QStringLiteral("1"));
    Env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    Child.setProcessEnvironment(Env);
    Child.setProcessChannelMode(QProcess::MergedChannels);
    Child.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--gtest_filter=BaseFormXvfb.Child")});
    const bool Finished = Child.waitForFinished(60000);
    if (!Finished)
      Child.kill();
    const QByteArray Output = Child.readAll();
    EXPECT_TRUE(Finished);
    EXPECT_EQ(Child.exitCode(), 0) << Output.toStdString();
    EXPECT_TRUE(Output.contains("[  PASSED  ] 1 test")) << Output.toStdString();
  }
  ::kill(Server, SIGTERM);
  ::waitpid(Server, nullptr, 0);
  ASSERT_TRUE(Up) << "Xvfb did not start on display :" << Display;
}

} // namespace
} // namespace quenloft

#include "ui/gui/kvuButton.h"

#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace quenloft {
namespace {

using testing::Enter;
using testing::Leave;
using testing::Press;
using testing::QtApp;
using testing::Release;

constexpr std::array<bool, 5> All{true, true, true, true, true};
constexpr std::array<bool, 5> OnlyUp{true, false, false, false, false};

// An image whose every pixel differs from its neighbours, so that a moved
// or scaled column shows.
QImage Pattern(int W, int H, int Seed = 0)
{
  QImage Image(W, H, QImage::Format_RGB32);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      Image.setPixel(X, Y, qRgb((X * 7 + Seed) % 256, (Y * 11 + X * 3) % 256, (X * Y + 5 * Seed) % 256));
  return Image;
}

QImage Solid(int W, int H, QColor Colour)
{
  QImage Image(W, H, QImage::Format_RGB32);
  Image.fill(Colour);
  return Image;
}

TEST(ButtonRules, ImageChoiceFollowsTheStateOrderAndFallsBackToUp)
{
  EXPECT_EQ(ChooseBitmap({false, true, true, true}, All), TBitmapSlot::Disabled);
  EXPECT_EQ(ChooseBitmap({true, true, true, true}, All), TBitmapSlot::StayDown);
  EXPECT_EQ(ChooseBitmap({true, false, true, true}, All), TBitmapSlot::Down);
  EXPECT_EQ(ChooseBitmap({true, false, false, true}, All), TBitmapSlot::Hot);
  EXPECT_EQ(ChooseBitmap({true, false, false, false}, All), TBitmapSlot::Up);
  // Only Up: every state shows it.
  for (const TButtonLook Look :
       {TButtonLook{false, false, false, false}, TButtonLook{true, true, false, false},
        TButtonLook{true, false, true, false}, TButtonLook{true, false, false, true}})
    EXPECT_EQ(ChooseBitmap(Look, OnlyUp), TBitmapSlot::Up);
  // No Up: nothing to draw, even when the state's own image exists.
  EXPECT_EQ(ChooseBitmap({true, false, false, true}, {false, false, false, false, false}), std::nullopt);
  EXPECT_EQ(ChooseBitmap({true, false, false, true}, {false, true, false, false, false}), TBitmapSlot::Hot);
}

TEST(ButtonRules, StretchColumnsKeepTheMargins)
{
  const std::vector<TColumnCopy> Expected{{0, 8, 0, 8}, {70, 8, 90, 8}, {8, 62, 8, 82}};
  EXPECT_EQ(StretchColumns(78, 98, 8, 8), Expected);
  // No wider than both margins: only the two margin copies.
  EXPECT_EQ(StretchColumns(78, 16, 8, 8).size(), 2u);
  EXPECT_EQ(StretchColumns(78, 17, 8, 8).size(), 3u);
  EXPECT_EQ(StretchColumns(78, 17, 8, 8)[2], (TColumnCopy{8, 62, 8, 1}));
}

TEST(ButtonRules, CaptionLinesSplitAtEveryKindOfLineBreak)
{
  using L = std::vector<std::string>;
  EXPECT_EQ(SplitCaptionLines("a\r\nb"), (L{"a", "b"}));
  EXPECT_EQ(SplitCaptionLines("a\rb\nc"), (L{"a", "b", "c"}));
  EXPECT_EQ(SplitCaptionLines("a\n"), (L{"a"}));
  EXPECT_EQ(SplitCaptionLines("a\n\nb"), (L{"a", "", "b"}));
  EXPECT_EQ(SplitCaptionLines("one"), (L{"one"}));
}

TEST(ButtonRules, TwoLineCaptionIsCentredAsABlockTruncatingTowardZero)
{
  TCaptionMetrics M;
  M.ButtonW = 98;
  M.ButtonH = 23;
  M.LineH = 13;
  auto Pos = LayoutCaption(M, {40, 21});
  ASSERT_EQ(Pos.size(), 2u);
  EXPECT_EQ(Pos[0], (TCaptionPos{29, -1})); // (23 - 26) / 2 = -1, not -2
  EXPECT_EQ(Pos[1], (TCaptionPos{38, 12}));
  M.Pressed = true;
  Pos = LayoutCaption(M, {40, 21});
  EXPECT_EQ(Pos[0], (TCaptionPos{30, 0}));
  EXPECT_EQ(Pos[1], (TCaptionPos{39, 13}));
  M.Pressed = false;
  M.Alignment = TCaptionAlignment::Right;
  M.OffX = 2;
  M.OffY = -3;
  EXPECT_EQ(LayoutCaption(M, {40})[0], (TCaptionPos{60, 2}));
  M.Alignment = TCaptionAlignment::Left;
  EXPECT_EQ(LayoutCaption(M, {40})[0], (TCaptionPos{2, 2}));
}

TEST(ButtonRules, GroupDownRules)
{
  EXPECT_FALSE(ResolveDown(0, false, true, true)); // ungrouped never latches
  EXPECT_TRUE(ResolveDown(1, false, true, false));
  EXPECT_TRUE(ResolveDown(1, true, false, false)); // stays down
  EXPECT_FALSE(ResolveDown(1, true, false, true));
  EXPECT_FALSE(InsideClient(98, 5, 98, 23));
  EXPECT_FALSE(InsideClient(5, 23, 98, 23));
  EXPECT_TRUE(InsideClient(97, 22, 98, 23));
  EXPECT_FALSE(InsideClient(-1, 0, 98, 23));
}

class ButtonTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    QtApp();
    Parent.resize(300, 200);
  }
  TkvuButton* MakeButton()
  {
    auto* B = new TkvuButton(&Parent);
    B->OnClick = [this] { ++Clicks; };
    B->OnEnter = [this] { ++Enters; };
    B->OnExit = [this] { ++Exits; };
    return B;
  }
  testing::QtAppGuard Guard;
  QWidget Parent;
  int Clicks = 0;
  int Enters = 0;
  int Exits = 0;
};

TEST_F(ButtonTest, StretchedImageKeepsTheOuterColumnsPixelIdentical)
{
  TkvuButton* B = MakeButton();
  B->SetAutoSize(false);
  B->SetStretch(true);
  B->SetStretchKeepL(8);
  B->SetStretchKeepR(8);
  const QImage Source = Pattern(78, 23);
  B->Bitmaps().SetUp(Source);
  B->setGeometry(10, 10, 98, 23);
  const QImage* Image = B->CurrentBitmap();
  ASSERT_NE(Image, nullptr);
  ASSERT_EQ(Image->size(), QSize(98, 23));
  for (int Y = 0; Y < 23; ++Y)
    for (int X = 0; X < 8; ++X) {
      ASSERT_EQ(Image->pixel(X, Y), Source.pixel(X, Y)) << X << "," << Y;
      ASSERT_EQ(Image->pixel(90 + X, Y), Source.pixel(70 + X, Y)) << X << "," << Y;
    }
  // The middle is a scaled copy of source columns 8..69: its ends come from
  // those columns, not from the margins.
  EXPECT_EQ(Image->pixel(8, 5), Source.pixel(8, 5));
  EXPECT_EQ(Image->pixel(89, 5), Source.pixel(69, 5));

  // Cached while the width stays; rebuilt for a new width.
  EXPECT_EQ(B->CurrentBitmap(), Image);
  const qint64 Key = Image->cacheKey();
  EXPECT_EQ(B->CurrentBitmap()->cacheKey(), Key);
  B->resize(120, 23);
  EXPECT_EQ(B->CurrentBitmap()->width(), 120);
  EXPECT_EQ(B->CurrentBitmap()->pixel(119, 3), Source.pixel(77, 3));
  // New margins empty the cache.
  B->SetStretchKeepL(4);
  EXPECT_TRUE(B->StretchCache()->Up().isNull());
  B->SetStretch(false);
  EXPECT_EQ(B->StretchCache(), nullptr);
  EXPECT_EQ(B->CurrentBitmap()->width(), 78);
}

TEST_F(ButtonTest, ButtonNoWiderThanItsMarginsGetsOnlyTheMarginCopies)
{
  TkvuButton* B = MakeButton();
  B->SetAutoSize(false);
  B->SetStretch(true);
  B->SetStretchKeepL(8);
  B->SetStretchKeepR(8);
  const QImage Source = Pattern(78, 23, 3);
  B->Bitmaps().SetUp(Source);
  B->resize(16, 23);
  const QImage* Image = B->CurrentBitmap();
  ASSERT_EQ(Image->width(), 16);
  for (int X = 0; X < 8; ++X) {
    EXPECT_EQ(Image->pixel(X, 4), Source.pixel(X, 4));
    EXPECT_EQ(Image->pixel(8 + X, 4), Source.pixel(70 + X, 4));
  }
}

TEST_F(ButtonTest, AutoSizeTakesTheCurrentImagesSizeExceptWhileLoading)
{
  TkvuButton* B = MakeButton();
  B->Bitmaps().SetUp(Solid(28, 18, Qt::gray));
  EXPECT_EQ(B->size(), QSize(28, 18));
  B->SetBounds(5, 6, 40, 40);
  EXPECT_EQ(B->geometry(), QRect(5, 6, 28, 18));
  B->Bitmaps().SetHot(Solid(30, 20, Qt::red));
  Enter(*B);
  EXPECT_TRUE(B->MouseInside());
  EXPECT_EQ(B->size(), QSize(30, 20));
  Leave(*B);
  EXPECT_EQ(B->size(), QSize(28, 18));
  EXPECT_EQ(Enters, 1);
  EXPECT_EQ(Exits, 1);

  TkvuButton* Loading = MakeButton();
  Loading->SetLoading(true);
  Loading->Bitmaps().SetUp(Solid(28, 18, Qt::gray));
  Loading->SetBounds(1, 2, 40, 40);
  EXPECT_EQ(Loading->geometry(), QRect(1, 2, 40, 40));
  Loading->SetLoading(false);
  EXPECT_EQ(Loading->size(), QSize(40, 40)); // design bounds are kept
}

TEST_F(ButtonTest, ClickNeedsPressAndReleaseInside)
{
  TkvuButton* B = MakeButton();
  B->SetAutoSize(false);
  B->setGeometry(0, 0, 98, 23);
  Enter(*B, {5, 5});
  Press(*B, {5, 5});
  EXPECT_TRUE(B->Pressed());
  Release(*B, {97, 22});
  EXPECT_EQ(Clicks, 1);
  EXPECT_FALSE(B->Pressed());
  EXPECT_TRUE(B->MouseInside());
  // Releasing exactly on the right edge column is outside: no click, and the
  // hot look goes with an OnExit.
  Press(*B, {5, 5});
  Release(*B, {98, 5});
  EXPECT_EQ(Clicks, 1);
  EXPECT_FALSE(B->MouseInside());
  EXPECT_EQ(Exits, 1);
  // A right press is no press.
  Press(*B, {5, 5}, Qt::RightButton);
  EXPECT_FALSE(B->Pressed());
  Release(*B, {5, 5}, Qt::RightButton);
  EXPECT_EQ(Clicks, 1);
  // A disabled button does not press.
  B->setEnabled(false);
  Press(*B, {5, 5});
  Release(*B, {5, 5});
  EXPECT_EQ(Clicks, 1);
}

TEST_F(ButtonTest, PressShowsTheDownImageAndDisabledTheDisabledOne)
{
  TkvuButton* B = MakeButton();
  B->Bitmaps().SetUp(Solid(20, 10, Qt::gray));
  B->Bitmaps().SetDown(Solid(20, 10, Qt::blue));
  B->Bitmaps().SetDisabled(Solid(20, 10, Qt::darkGray));
  Press(*B, {2, 2});
  EXPECT_EQ(B->CurrentBitmap()->pixelColor(1, 1), QColor(Qt::blue));
  Release(*B, {2, 2});
  EXPECT_EQ(B->CurrentBitmap()->pixelColor(1, 1), QColor(Qt::gray));
  B->setEnabled(false);
  EXPECT_EQ(B->CurrentBitmap()->pixelColor(1, 1), QColor(Qt::darkGray));
}

TEST_F(ButtonTest, LatchingGroupKeepsAtMostOneDown)
{
  TkvuButton* A = MakeButton();
  TkvuButton* B = MakeButton();
  TkvuButton* C = MakeButton();
  for (TkvuButton* X : {A, B, C}) {
    X->SetAutoSize(false);
    X->resize(20, 20);
    X->SetGroupIndex(1);
  }
  auto ClickOn = [](TkvuButton* X) {
    Press(*X, {3, 3});
    Release(*X, {3, 3});
  };
  ClickOn(A);
  EXPECT_TRUE(A->IsDown());
  ClickOn(B);
  EXPECT_TRUE(B->IsDown());
  EXPECT_FALSE(A->IsDown());
  EXPECT_EQ(B->FindDownSibling(), nullptr);
  EXPECT_EQ(A->FindDownSibling(), B);
  ClickOn(B); // without AllowAllUp the latched button stays down
  EXPECT_TRUE(B->IsDown());
  B->SetAllowAllUp(true);
  ClickOn(B);
  EXPECT_FALSE(B->IsDown());
  EXPECT_EQ(Clicks, 4);
  // A group release outside still toggles, without a click.
  Press(*C, {3, 3});
  Release(*C, {30, 3});
  EXPECT_TRUE(C->IsDown());
  EXPECT_EQ(Clicks, 4);
  // Moving a down button into a group with a down member releases the other.
  A->SetGroupIndex(2);
  A->SetDown(true);
  A->SetGroupIndex(1);
  EXPECT_TRUE(A->IsDown());
  EXPECT_FALSE(C->IsDown());

  TkvuButton* Plain = MakeButton();
  Plain->SetDown(true);
  EXPECT_FALSE(Plain->IsDown());
}

TEST_F(ButtonTest, NoHotLookWhileTheContainingWindowIsDisabled)
{
  TkvuButton* B = MakeButton();
  Parent.setEnabled(false);
  Enter(*B);
  EXPECT_FALSE(B->MouseInside());
  EXPECT_EQ(Enters, 0);
  Parent.setEnabled(true);
  Enter(*B);
  EXPECT_TRUE(B->MouseInside());
  Enter(*B); // already hot: nothing more
  EXPECT_EQ(Enters, 1);
}

TEST_F(ButtonTest, TransparentColourLetsTheParentShowThrough)
{
  Parent.setAutoFillBackground(true);
  QPalette Pal = Parent.palette();
  Pal.setColor(QPalette::Window, QColor(0, 128, 0));
  Parent.setPalette(Pal);
  TkvuButton* B = MakeButton();
  QImage Image = Solid(20, 20, QColor(0xFF, 0x00, 0xFF));
  for (int Y = 5; Y < 15; ++Y)
    for (int X = 5; X < 15; ++X)
      Image.setPixel(X, Y, qRgb(200, 10, 10));
  B->Bitmaps().SetUp(Image);
  B->move(0, 0);
  QImage Shot = Parent.grab(QRect(0, 0, 20, 20)).toImage();
  EXPECT_EQ(Shot.pixelColor(1, 1), QColor(0xFF, 0x00, 0xFF));
  B->Bitmaps().SetTransparent(true);
  Shot = Parent.grab(QRect(0, 0, 20, 20)).toImage();
  EXPECT_EQ(Shot.pixelColor(1, 1), QColor(0, 128, 0));
  EXPECT_EQ(Shot.pixelColor(10, 10), QColor(200, 10, 10));
}

TEST_F(ButtonTest, CaptionIsPaintedAndEngravedWhenDisabled)
{
  TkvuButton* B = MakeButton();
  B->SetAutoSize(false);
  B->resize(98, 23);
  B->SetCaption(QStringLiteral("Start\r\ndownload"));
  const auto Pos = B->CaptionPositions();
  ASSERT_EQ(Pos.size(), 2u);
  const int H = QFontMetrics(B->font()).height();
  EXPECT_EQ(Pos[0].Y, (23 - 2 * H) / 2);
  EXPECT_EQ(Pos[1].Y - Pos[0].Y, H);
  Press(*B, {2, 2});
  EXPECT_EQ(B->CaptionPositions()[0].Y, Pos[0].Y + 1);
  Release(*B, {2, 2});

  Parent.setAutoFillBackground(true);
  QPalette Pal = Parent.palette();
  Pal.setColor(QPalette::Window, QColor(0, 0, 200));
  Parent.setPalette(Pal);
  B->SetCaption(QStringLiteral("WWW"));
  B->setEnabled(false);
  const QImage Shot = Parent.grab(B->geometry()).toImage();
  bool White = false;
  for (int Y = 0; Y < Shot.height() && !White; ++Y)
    for (int X = 0; X < Shot.width() && !White; ++X)
      White = Shot.pixelColor(X, Y) == QColor(255, 255, 255);
  EXPECT_TRUE(White) << "the engraved caption has a white copy";
}

} // namespace
} // namespace quenloft

#include "ui/gui/kvuButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace quenloft {

// --- TButtonBitmaps --------------------------------------------------------

TButtonBitmaps::TButtonBitmaps(TkvuButton* Owner) : FOwner(Owner) {}

void TButtonBitmaps::SetImage(TBitmapSlot Slot, const QImage& Image)
{
  FImages[static_cast<int>(Slot)] = Image.copy();
  if (!FOwner || FOwner->Loading())
    return;
  if (FOwner->FStretchCache)
    FOwner->FStretchCache->Clear(Slot);
  // Up, Hot, Down and Disabled are watched for changes: a new image may
  // have a new size, so the auto size is applied again. StayDown only
  // repaints.
  if (Slot == TBitmapSlot::StayDown)
    FOwner->update();
  else
    FOwner->RefreshLook();
}

void TButtonBitmaps::SetTransparent(bool Value)
{
  if (Value == FTransparent)
    return;
  FTransparent = Value;
  if (FOwner && !FOwner->Loading())
    FOwner->update();
}

void TButtonBitmaps::SetTransparentColor(QRgb Value)
{
  if (Value == FTransparentColor)
    return;
  FTransparentColor = Value;
  if (FTransparent && FOwner && !FOwner->Loading())
    FOwner->update();
}

std::array<bool, BitmapSlotCount> TButtonBitmaps::Present() const
{
  std::array<bool, BitmapSlotCount> Result{};
  for (int I = 0; I < BitmapSlotCount; ++I)
    Result[I] = !FImages[I].isNull();
  return Result;
}

// --- TkvuButton ------------------------------------------------------------

TkvuButton::TkvuButton(QWidget* Parent) : QWidget(Parent), FBitmaps(std::make_unique<TButtonBitmaps>(this))
{
  resize(75, 25);
  // The parent shows through where no image pixel is drawn (no image, or the
  // transparent colour).
  setAttribute(Qt::WA_NoSystemBackground);
}

TkvuButton::~TkvuButton() = default;

TButtonLook TkvuButton::Look() const
{
  return {isEnabled(), FDown, FPressed, FMouseInside};
}

const QImage* TkvuButton::CurrentBitmap()
{
  const auto Slot = ChooseBitmap(Look(), FBitmaps->Present());
  if (!Slot)
    return nullptr;
  const QImage& Picked = FBitmaps->Image(*Slot);
  if (FAutoSize || !FStretch || !FStretchCache)
    return &Picked;
  // Only the width decides whether the cached copy is still good.
  QImage& Cached = FStretchCache->Mutable(*Slot);
  if (Cached.isNull() || Cached.width() != width())
    StretchBitmap(Picked, Cached);
  return &Cached;
}

void TkvuButton::StretchBitmap(const QImage& Source, QImage& Target) const
{
  const int W = width();
  const int Hs = Source.height();
  Target = QImage(W, Hs, QImage::Format_ARGB32_Premultiplied);
  Target.fill(Qt::transparent);
  const QImage Src = Source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter P(&Target);
  // Block copies without smoothing: unscaled margins stay pixel-identical.
  P.setCompositionMode(QPainter::CompositionMode_Source);
  P.setRenderHint(QPainter::SmoothPixmapTransform, false);
  for (const TColumnCopy& C : StretchColumns(Src.width(), W, FStretchKeepL, FStretchKeepR)) {
    // A source narrower than both margins leaves nothing to scale for the
    // middle; such a copy draws nothing.
    if (C.SrcW <= 0 || C.DstW <= 0)
      continue;
    P.drawImage(QRect(C.DstX, 0, C.DstW, Hs), Src, QRect(C.SrcX, 0, C.SrcW, Hs));
  }
}

void TkvuButton::SetBounds(int Left, int Top, int Width, int Height)
{
  if (FAutoSize && !FLoading) {
    if (const QImage* Image = CurrentBitmap()) {
      Width = Image->width();
      Height = Image->height();
    }
  }
  setGeometry(Left, Top, Width, Height);
}

void TkvuButton::Click()
{
  if (OnClick)
    OnClick();
}

void TkvuButton::RefreshLook()
{
  if (FAutoSize && !FLoading)
    SetBounds(x(), y(), width(), height());
  update();
}

TkvuButton* TkvuButton::FindDownSibling() const
{
  if (!parentWidget())
    return nullptr;
  for (QObject* Child : parentWidget()->children()) {
    auto* Button = qobject_cast<TkvuButton*>(Child);
    if (Button && Button != this && Button->FGroupIndex == FGroupIndex && Button->FDown)
      return Button;
  }
  return nullptr;
}

void TkvuButton::SetDown(bool Value)
{
  if (Value == FDown)
    return;
  if (FLoading) {
    FDown = Value;
    return;
  }
  const bool Was = FDown;
  FDown = ResolveDown(FGroupIndex, FDown, Value, FAllowAllUp);
  if (!Was && FDown) {
    if (TkvuButton* Other = FindDownSibling()) {
      Other->FDown = false;
      Other->RefreshLook();
    }
  }
  if (FDown == Value)
    RefreshLook();
}

void TkvuButton::SetGroupIndex(int Value)
{
  if (Value == FGroupIndex)
    return;
  FGroupIndex = Value;
  if (!FLoading && FDown) {
    if (TkvuButton* Other = FindDownSibling()) {
      Other->FDown = false;
      Other->RefreshLook();
    }
  }
}

void TkvuButton::SetOffX(int Value)
{
  FOffX = Value;
  if (!FLoading)
    update();
}

void TkvuButton::SetOffY(int Value)
{
  FOffY = Value;
  if (!FLoading)
    update();
}

void TkvuButton::SetAlignment(TCaptionAlignment Value)
{
  FAlignment = Value;
  if (!FLoading)
    update();
}

void TkvuButton::SetStretch(bool Value)
{
  FStretch = Value;
  // The cache follows Stretch even while loading.
  if (FStretch && !FStretchCache)
    FStretchCache = std::make_unique<TButtonBitmaps>(nullptr);
  else if (!FStretch)
    FStretchCache.reset();
  if (!FLoading)
    update();
}

void TkvuButton::SetStretchKeepL(int Value)
{
  FStretchKeepL = Value;
  StretchMarginsChanged();
}

void TkvuButton::SetStretchKeepR(int Value)
{
  FStretchKeepR = Value;
  StretchMarginsChanged();
}

void TkvuButton::StretchMarginsChanged()
{
  // Every stretched copy was cut with the old margins.
  if (FLoading)
    return;
  if (FStretchCache)
    for (int I = 0; I < BitmapSlotCount; ++I)
      FStretchCache->Clear(static_cast<TBitmapSlot>(I));
  if (FStretch && !FAutoSize)
    update();
}

void TkvuButton::SetAutoSize(bool Value)
{
  if (Value == FAutoSize)
    return;
  FAutoSize = Value;
  if (!FLoading && FAutoSize)
    RefreshLook();
}

void TkvuButton::SetCaption(const QString& Value)
{
  if (Value == FCaption)
    return;
  FCaption = Value;
  if (!FLoading)
    update();
}

bool TkvuButton::ContainingWindowDisabled() const
{
  const QWidget* Window = window();
  return Window && Window != this && !Window->isEnabled();
}

// --- painting ----------------------------------------------------------------

void TkvuButton::paintEvent(QPaintEvent*)
{
  QPainter P(this);
  if (const QImage* Image = CurrentBitmap()) {
    const QImage* ToDraw = Image;
    if (FBitmaps->Transparent()) {
      // Pixels of exactly the transparent colour are left out, so whatever
      // the parent painted shows through.
      FKeyed = Image->convertToFormat(QImage::Format_ARGB32);
      const QRgb Key = FBitmaps->TransparentColor() & 0xFFFFFF;
      for (int Y = 0; Y < FKeyed.height(); ++Y) {
        auto* Line = reinterpret_cast<QRgb*>(FKeyed.scanLine(Y));
        for (int X = 0; X < FKeyed.width(); ++X)
          if ((Line[X] & 0xFFFFFF) == Key)
            Line[X] = 0;
      }
      ToDraw = &FKeyed;
    }
    P.drawImage(QRect(0, 0, width(), height()), *ToDraw, ToDraw->rect());
  }
  if (!FCaption.isEmpty())
    DrawCaption(P);
}

std::vector<TCaptionPos> TkvuButton::CaptionPositions() const
{
  const QFontMetrics Metrics(font());
  std::vector<int> Widths;
  for (const std::string& Line : SplitCaptionLines(FCaption.toStdString()))
    Widths.push_back(Metrics.horizontalAdvance(QString::fromStdString(Line)));
  TCaptionMetrics M;
  M.ButtonW = width();
  M.ButtonH = height();
  M.LineH = Metrics.height(); // the height of "A": the font's line height
  M.Alignment = FAlignment;
  M.OffX = FOffX;
  M.OffY = FOffY;
  M.Pressed = FPressed;
  M.DownOffset = FCaptionDownOffSet;
  return LayoutCaption(M, Widths);
}

void TkvuButton::DrawCaption(QPainter& Painter) const
{
  Painter.setFont(font());
  const QFontMetrics Metrics(font());
  const std::vector<std::string> Lines = SplitCaptionLines(FCaption.toStdString());
  const std::vector<TCaptionPos> Pos = CaptionPositions();
  for (std::size_t I = 0; I < Lines.size(); ++I) {
    const QString Text = QString::fromStdString(Lines[I]);
    // Positions are the top-left corner of the line; drawText wants the
    // baseline.
    const int Baseline = Pos[I].Y + Metrics.ascent();
    if (isEnabled()) {
      Painter.setPen(palette().color(QPalette::Active, QPalette::WindowText));
      Painter.drawText(Pos[I].X, Baseline, Text);
    } else {
      // Engraved: white one pixel down-right, the shadow colour on top.
      Painter.setPen(QColor(0xFF, 0xFF, 0xFF));
      Painter.drawText(Pos[I].X + 1, Baseline + 1, Text);
      Painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
      Painter.drawText(Pos[I].X, Baseline, Text);
    }
  }
}

// --- mouse -------------------------------------------------------------------

namespace {
int EventX(const QMouseEvent* E)
{
  return static_cast<int>(E->position().x());
}
int EventY(const QMouseEvent* E)
{
  return static_cast<int>(E->position().y());
}
} // namespace

void TkvuButton::mousePressEvent(QMouseEvent* Event)
{
  if (Event->button() == Qt::LeftButton && isEnabled()) {
    FPressed = true;
    RefreshLook();
  }
  if (OnMouseDown)
    OnMouseDown(Event->button(), Event->modifiers(), EventX(Event), EventY(Event));
}

void TkvuButton::mouseReleaseEvent(QMouseEvent* Event)
{
  const int X = EventX(Event);
  const int Y = EventY(Event);
  if (FPressed) {
    FPressed = false;
    const bool Inside = InsideClient(X, Y, width(), height());
    if (FGroupIndex != 0)
      SetDown(!FDown);
    else
      RefreshLook();
    if (Inside)
      Click();
  }
  if (OnMouseUp)
    OnMouseUp(Event->button(), Event->modifiers(), X, Y);
  // The press grabbed the mouse, so no leave came while it was dragged off:
  // clear the hot look here when the release is outside. The release point
  // is where the cursor is.
  if (Event->button() == Qt::LeftButton && !FDown && FMouseInside && !InsideClient(X, Y, width(), height())) {
    FMouseInside = false;
    RefreshLook();
    if (OnExit)
      OnExit();
  }
}

void TkvuButton::mouseMoveEvent(QMouseEvent* Event)
{
  if (OnMouseMove)
    OnMouseMove(Event->button(), Event->modifiers(), EventX(Event), EventY(Event));
}

void TkvuButton::enterEvent(QEnterEvent* Event)
{
  QWidget::enterEvent(Event);
  if (FMouseInside || ContainingWindowDisabled())
    return;
  FMouseInside = true;
  RefreshLook();
  if (OnEnter)
    OnEnter();
}

void TkvuButton::leaveEvent(QEvent* Event)
{
  QWidget::leaveEvent(Event);
  if (!FMouseInside || ContainingWindowDisabled())
    return;
  FMouseInside = false;
  RefreshLook();
  if (OnExit)
    OnExit();
}

void TkvuButton::changeEvent(QEvent* Event)
{
  QWidget::changeEvent(Event);
  if (Event->type() == QEvent::EnabledChange || Event->type() == QEvent::FontChange)
    update();
}

} // namespace quenloft

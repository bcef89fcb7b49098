// The skinned push button: a widget that paints one of five state images
// (normal, hot, pressed, latched down, disabled) and its caption over it. It
// can stretch a narrow skin image to its width keeping both margins unscaled
// (the stretched copies are cached per state while the width stays the same)
// and can act as a latching button in a group of siblings of which at most
// one is down.
//
// The rules that need no window system live in kvuButtonRules.h.
//
// Threads: UI thread only (it is a widget).
#pragma once

#include "ui/kvuButtonRules.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace quenloft {

class TkvuButton;

// The five state images of a button. Setting an image copies it; the owner
// (if any) then drops the stretched copy of that slot and repaints.
class TButtonBitmaps {
public:
  explicit TButtonBitmaps(TkvuButton* Owner);

  const QImage& Image(TBitmapSlot Slot) const { return FImages[static_cast<int>(Slot)]; }
  void SetImage(TBitmapSlot Slot, const QImage& Image);
  // Empties one slot without telling the owner (the stretch cache uses it).
  void Clear(TBitmapSlot Slot) { FImages[static_cast<int>(Slot)] = QImage(); }
  QImage& Mutable(TBitmapSlot Slot) { return FImages[static_cast<int>(Slot)]; }

  const QImage& Up() const { return Image(TBitmapSlot::Up); }
  const QImage& Hot() const { return Image(TBitmapSlot::Hot); }
  const QImage& Down() const { return Image(TBitmapSlot::Down); }
  const QImage& Disabled() const { return Image(TBitmapSlot::Disabled); }
  const QImage& StayDown() const { return Image(TBitmapSlot::StayDown); }
  void SetUp(const QImage& I) { SetImage(TBitmapSlot::Up, I); }
  void SetHot(const QImage& I) { SetImage(TBitmapSlot::Hot, I); }
  void SetDown(const QImage& I) { SetImage(TBitmapSlot::Down, I); }
  void SetDisabled(const QImage& I) { SetImage(TBitmapSlot::Disabled, I); }
  void SetStayDown(const QImage& I) { SetImage(TBitmapSlot::StayDown, I); }

  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  QRgb TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(QRgb Value);

  std::array<bool, BitmapSlotCount> Present() const;

private:
  TkvuButton* FOwner; // none for a button's stretch cache
  std::array<QImage, BitmapSlotCount> FImages;
  bool FTransparent = false;
  QRgb FTransparentColor = qRgb(0xFF, 0x00, 0xFF);
};

class TkvuButton : public QWidget {
  Q_OBJECT

public:
  using TNotify = std::function<void()>;
  using TMouseEvent = std::function<void(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;

  explicit TkvuButton(QWidget* Parent = nullptr);
  ~TkvuButton() override;

  TButtonBitmaps& Bitmaps() { return *FBitmaps; }

  // The "design is being loaded" state: setters only store their values
  // (no repaint, no resize, no group handling, no cache emptying).
  void SetLoading(bool Value) { FLoading = Value; }
  bool Loading() const { return FLoading; }

  bool IsDown() const { return FDown; }
  void SetDown(bool Value);
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value) { FAllowAllUp = Value; }
  int OffX() const { return FOffX; }
  void SetOffX(int Value);
  int OffY() const { return FOffY; }
  void SetOffY(int Value);
  int CaptionDownOffSet() const { return FCaptionDownOffSet; }
  void SetCaptionDownOffSet(int Value) { FCaptionDownOffSet = Value; }
  TCaptionAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TCaptionAlignment Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  int StretchKeepL() const { return FStretchKeepL; }
  void SetStretchKeepL(int Value);
  int StretchKeepR() const { return FStretchKeepR; }
  void SetStretchKeepR(int Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& Value);

  bool Pressed() const { return FPressed; }
  bool MouseInside() const { return FMouseInside; }
  // The stretch cache; null exactly while Stretch is off.
  const TButtonBitmaps* StretchCache() const { return FStretchCache.get(); }

  // With AutoSize (and not loading) the size becomes the current image's.
  void SetBounds(int Left, int Top, int Width, int Height);
  // Fires OnClick.
  void Click();
  // Re-applies the auto size and requests a repaint.
  void RefreshLook();
  // The image to draw now (possibly the stretched copy), or null.
  const QImage* CurrentBitmap();
  // Builds Target as Source stretched to the button's width.
  void StretchBitmap(const QImage& Source, QImage& Target) const;
  // The other down button of this group among the parent's children.
  TkvuButton* FindDownSibling() const;

  TNotify OnClick;
  TNotify OnEnter;
  TNotify OnExit;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseEvent OnMouseMove;

  // The caption positions DrawCaption uses with the current font and state.
  std::vector<TCaptionPos> CaptionPositions() const;

protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void changeEvent(QEvent* Event) override;

private:
  // Empties the stretch cache after a margin change.
  void StretchMarginsChanged();
  friend class TButtonBitmaps;
  void DrawCaption(class QPainter& Painter) const;
  bool ContainingWindowDisabled() const;
  TButtonLook Look() const;

  std::unique_ptr<TButtonBitmaps> FBitmaps;
  std::unique_ptr<TButtonBitmaps> FStretchCache;
  bool FLoading = false;
  bool FDown = false;
  int FGroupIndex = 0;
  bool FAllowAllUp = false;
  int FOffX = 0;
  int FOffY = 0;
  int FCaptionDownOffSet = 1;
  TCaptionAlignment FAlignment = TCaptionAlignment::Center;
  bool FStretch = false;
  int FStretchKeepL = 0;
  int FStretchKeepR = 0;
  bool FAutoSize = true;
  QString FCaption;
  bool FPressed = false;
  bool FMouseInside = false;
  QImage FKeyed; // the current image with the transparent colour removed
};

} // namespace quenloft

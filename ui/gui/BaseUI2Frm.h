// The skinned base window: no system frame, an outline with corners rounded
// to a 5-pixel radius, edges and caption bar drawn by eight images, the title
// as a label on the caption bar, and bitmap buttons for minimise, maximise,
// close, OK and Cancel. Dragging the caption strip (Y <= 28) or the title
// moves the window.
//
// Creation: the constructor builds the child controls in their design order
// (later ones lie above earlier ones) with the buttons in their loading
// state, then runs the base creation step (FormCreate: rounded outline,
// double buffering). A derived window runs its own creation step at the end
// of its constructor, after the base step, as the design intends.
//
// Threads: UI thread only.
#pragma once

#include "ui/gui/kvuButton.h"
#include "ui/gui/kvuImage.h"

#include <QLabel>
#include <QRegion>
#include <QWidget>

#include <string>

class QEventLoop;

namespace quenloft {

// The rounded outline of a W x H window whose corners are arcs of a
// Diameter x Diameter circle: the pixels whose centres lie inside it.
QRegion RoundRectRegion(int W, int H, int Diameter);
// Gives the window that outline (QWidget::setMask) and repaints it.
void SetRoundRegion(QWidget& Window, int Diameter);

// Modal results of ShowModal.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// Loads one image of the skin (":/skin/<Name>.png").
QImage SkinImage(const char* Name);

class TBaseUI2Form : public QWidget {
  Q_OBJECT

public:
  explicit TBaseUI2Form(QWidget* Parent = nullptr);
  ~TBaseUI2Form() override;

  // Resizes the window (its client area is the whole window) and moves the
  // anchored controls.
  void SetClientSize(int W, int H);

  // Shows the window and runs a local event loop until a modal result is set
  // (btnOkMe: 1, btnCancelMe: 2) or the window is closed (2).
  int ShowModal();
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value);

  // Text hook for translated texts. Nothing calls ApplyUIText; there is no
  // source of texts, so HasUIText is false and GetUIText is empty.
  virtual void ApplyUIText() {}
  bool HasUIText() const { return false; }
  std::u16string GetUIText(const std::string& Key) const;

  // Qt widgets already paint through an off-screen buffer (the backing
  // store), so the images and bitmap buttons never flicker; nothing is left
  // to switch on. Kept so that the creation step reads as designed.
  void EnableDoubleBuffering() {}

  // How often the window asked the window system to start a move by mouse
  // (drag on the caption strip or the title): once per press.
  int MoveRequests() const { return FMoveRequests; }

  TkvuImage* imgTop;
  TkvuImage* imgLeft;
  TkvuImage* imgRight;
  TkvuImage* imgBottom;
  TkvuImage* imgTopLeft;
  TkvuImage* imgTopRight;
  TkvuImage* imgBottomLeft;
  TkvuImage* imgBottomRight;
  QLabel* lblCaption;
  TkvuButton* btnMin;
  TkvuButton* btnMax;
  TkvuButton* btnCloseMe;
  TkvuButton* btnOkMe;
  TkvuButton* btnCancelMe;

protected:
  virtual void FormCreate();
  virtual void FormResize();
  virtual void btnMinClick();
  virtual void btnMaxClick();
  virtual void btnCloseMeClick();
  virtual void btnOkMeClick();
  virtual void btnCancelMeClick();
  // Asks the window system to move the window with the mouse; false where it
  // cannot (the offscreen platform).
  virtual bool StartSystemMove();

  void imgTopMouseMove(int X, int Y);
  void lblCaptionMouseMove();

  // Registers a control with the anchoring of the window.
  void Anchor(QWidget* Control, unsigned Anchors) { FAnchors.Add(Control, Anchors); }

  void resizeEvent(QResizeEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  TAnchorLayout FAnchors;
  QEventLoop* FModalLoop = nullptr;
  int FModalResult = mrNone;
  int FMoveRequests = 0;
  // The grip (imgTop or lblCaption) that asked for a move since the last
  // press: under a window manager the move then follows the mouse by
  // itself, and asking again on every mouse move would restart it.
  const QObject* FMoveAskedBy = nullptr;
};

} // namespace quenloft

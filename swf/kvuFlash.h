// The preview player of the main window, as a stand-in: there is no movie
// player in this program yet, so TkvuFlash shows only what the file's header
// says (the stage size and frame count, "550 × 400 · 12 frames") in the
// fitted, centred area where the movie would play, and nothing claims to play.
// Its player interface (LoadMovie, Play, GotoFrame, CurrentFrame) records the
// calls so that the window's track-bar and timer handlers keep their shape;
// CurrentFrame is always 0.
//
// Mouse filter: right-button presses and releases are swallowed, so no
// context menu ever opens over the preview. With LockMouseClick, left clicks
// are handled by the control itself (OnMouseDown, OnClick, OnMouseUp).
//
// Also here: CenterInParent, the layout step that centres the player.
//
// Threads: UI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <string>

namespace quenloft {

class TkvuFlash : public QWidget {
  Q_OBJECT

public:
  explicit TkvuFlash(QWidget* Parent = nullptr);

  // Takes the movie: reads its header for the facts shown. A file that is
  // not a movie (no stage size) or cannot be read shows "not a movie".
  void LoadMovie(const std::string& Path);
  // Shows a text instead of movie facts.
  void ShowMessage(const QString& Text);

  void Play() { ++FPlayCalls; }
  void GotoFrame(int Frame) {
    ++FGotoCalls;
    FLastGotoFrame = Frame;
  }
  int CurrentFrame() const { return 0; }

  bool LockMouseClick = false;
  std::function<void()> OnClick;
  std::function<void(Qt::MouseButton Button, int X, int Y)> OnMouseDown;
  std::function<void(Qt::MouseButton Button, int X, int Y)> OnMouseUp;

  const std::string& Movie() const { return FMovie; }
  const QString& Text() const { return FText; }
  int PlayCalls() const { return FPlayCalls; }
  int GotoCalls() const { return FGotoCalls; }
  int LastGotoFrame() const { return FLastGotoFrame; }
  bool Pressed() const { return FPressed; }

protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void contextMenuEvent(QContextMenuEvent* Event) override;

private:
  std::string FMovie;
  QString FText;
  bool FPressed = false;
  int FPlayCalls = 0;
  int FGotoCalls = 0;
  int FLastGotoFrame = -1;
};

// The offset that centres a W-wide (or high) child in a ParentW-wide client
// area: (ParentW - W) div 2, truncated toward zero; 0 instead of a negative
// offset unless AllowNegative.
int CenterOffset(int ParentW, int W, bool AllowNegative);

// Sets Control's bounds to W x H centred in Parent's client area (-1 keeps
// the control's own width or height); a scroll area's scroll position is
// taken off.
void CenterInParent(QWidget& Control, const QWidget& Parent, int W, int H, bool AllowNegative);

} // namespace quenloft

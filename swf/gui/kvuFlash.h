// TkvuFlash: the preview pane's player (TShockwaveFlash) with the program's
// mouse filter and its way of loading a movie.
//
// Mouse filter: every Qt mouse event, as its message number of the range
// WM_MOUSEMOVE..WM_MOUSEWHEEL, goes through event() before it may reach the
// movie:
//   1. a left or right press sets FPressed, a left release clears it; a
//      right release with a popup menu set and FPressed set clears it and
//      opens that menu at the release point;
//   2. while the player's Menu is false, right presses and releases stop
//      here: they never reach the movie, and the player's own menu never
//      opens;
//   3. with LockMouseClick, left presses and releases are handled by the
//      control itself (OnMouseDown; on release OnClick when released inside,
//      then OnMouseUp) and never reach the movie;
//   4. anything else goes on to the player.
// The program sets no popup menu and leaves LockMouseClick false, so only
// rule 2 shows.
//
// Also here: CenterInParent, the layout step that centres the player.
//
// Threads: UI thread only.
#pragma once

#include "swf/gui/ShockwaveFlash.h"

#include <QString>
#include <QWidget>

#include <functional>

class QMenu;

namespace quenloft {

class TkvuFlash : public TShockwaveFlash {
  Q_OBJECT

public:
  explicit TkvuFlash(QWidget* Parent = nullptr);

  // Makes the player's window anew, settles the focus workaround (never
  // needed on this system) and writes Movie.
  void LoadMovie(const QString& Path);
  // "x" first, so that writing the same path again is still a change.
  void SetMovie(const QString& Path) override;

  bool LockMouseClick = false;
  QMenu* PopupMenu = nullptr; // not owned
  std::function<void()> OnClick;
  std::function<void(Qt::MouseButton Button, int X, int Y)> OnMouseDown;
  std::function<void(Qt::MouseButton Button, int X, int Y)> OnMouseUp;

  bool Pressed() const { return FPressed; }

protected:
  bool event(QEvent* Event) override;

private:
  void MoveFocusThrough();

  bool FPressed = false;
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

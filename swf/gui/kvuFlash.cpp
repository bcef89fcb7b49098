#include "swf/gui/kvuFlash.h"

#include "ui/kvuShell.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

namespace quenloft {

TkvuFlash::TkvuFlash(QWidget* Parent) : TShockwaveFlash(Parent)
{
  SetMenu(false);
}

void TkvuFlash::LoadMovie(const QString& Path)
{
  RecreateWnd();
  // Decided once per process; on a system that needs it, giving the player
  // the focus for a moment makes it take keyboard input after a load.
  if (FlashFocusWorkaroundNeeded())
    MoveFocusThrough();
  SetMovie(Path);
}

void TkvuFlash::MoveFocusThrough()
{
  QWidget* Previous = QApplication::focusWidget();
  if (Previous == this)
    return;
  for (const QWidget* W = this; W; W = W->parentWidget())
    if (!W->isEnabled() || !W->isVisible())
      return;
  setFocus(Qt::OtherFocusReason);
  if (Previous)
    Previous->setFocus(Qt::OtherFocusReason);
}

void TkvuFlash::SetMovie(const QString& Path)
{
  TShockwaveFlash::SetMovie(QStringLiteral("x"));
  TShockwaveFlash::SetMovie(Path);
}

bool TkvuFlash::event(QEvent* Event)
{
  const std::uint32_t Message = MouseMessageOf(*Event);
  if (Message == 0)
    return TShockwaveFlash::event(Event);
  const auto& Mouse = static_cast<const QSinglePointEvent&>(*Event);
  const QPoint Pos = Mouse.position().toPoint();

  if (Message == WM_LBUTTONDOWN || Message == WM_RBUTTONDOWN) {
    FPressed = true;
  } else if (Message == WM_LBUTTONUP) {
    FPressed = false;
  } else if (Message == WM_RBUTTONUP && PopupMenu && FPressed) {
    FPressed = false;
    PopupMenu->popup(mapToGlobal(Pos));
  }

  if (!Menu() && (Message == WM_RBUTTONDOWN || Message == WM_RBUTTONUP)) {
    Event->accept();
    return true;
  }

  if (LockMouseClick && (Message == WM_LBUTTONDOWN || Message == WM_LBUTTONUP)) {
    // Qt grabs the mouse for the widget that took the press, so the release
    // comes here even outside it.
    if (Message == WM_LBUTTONDOWN) {
      if (OnMouseDown)
        OnMouseDown(Qt::LeftButton, Pos.x(), Pos.y());
    } else {
      if (rect().contains(Pos) && OnClick)
        OnClick();
      if (OnMouseUp)
        OnMouseUp(Qt::LeftButton, Pos.x(), Pos.y());
    }
    Event->accept();
    return true;
  }
  return TShockwaveFlash::event(Event);
}

int CenterOffset(int ParentW, int W, bool AllowNegative)
{
  const int Offset = (ParentW - W) / 2; // truncates toward zero
  return (!AllowNegative && Offset < 0) ? 0 : Offset;
}

void CenterInParent(QWidget& Control, const QWidget& Parent, int W, int H, bool AllowNegative)
{
  if (W == -1)
    W = Control.width();
  if (H == -1)
    H = Control.height();
  const QRect Client = Parent.contentsRect();
  int X = CenterOffset(Client.width(), W, AllowNegative);
  int Y = CenterOffset(Client.height(), H, AllowNegative);
  if (const auto* Scroller = qobject_cast<const QAbstractScrollArea*>(&Parent)) {
    X -= Scroller->horizontalScrollBar()->value();
    Y -= Scroller->verticalScrollBar()->value();
  }
  Control.setGeometry(X, Y, W, H);
}

} // namespace quenloft

#include "swf/kvuFlash.h"

#include "swf/SWFStreams.h"

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace quenloft {

TkvuFlash::TkvuFlash(QWidget* Parent) : QWidget(Parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The context-menu event is turned away below; this keeps Qt from
  // asking the parent for one.
  setContextMenuPolicy(Qt::PreventContextMenu);
}

void TkvuFlash::LoadMovie(const std::string& Path) {
  FMovie = Path;
  int W = 0;
  int H = 0;
  int Frames = 0;
  if (!TryGetSWFInfo(Path, W, H, Frames)) {
    ShowMessage(QStringLiteral("not a movie"));
    return;
  }
  ShowMessage(QStringLiteral("%1 \u00D7 %2 \u00B7 %3 %4")
                  .arg(W)
                  .arg(H)
                  .arg(Frames)
                  .arg(Frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames")));
}

void TkvuFlash::ShowMessage(const QString& Text) {
  FText = Text;
  update();
}

void TkvuFlash::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.fillRect(rect(), QColor(36, 38, 41));
  P.setPen(QColor(92, 97, 103));
  P.drawRect(rect().adjusted(0, 0, -1, -1));
  P.setPen(QColor(214, 219, 223));
  P.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, FText);
}

void TkvuFlash::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton || Event->button() == Qt::RightButton)
    FPressed = true;
  if (Event->button() == Qt::RightButton) {
    Event->accept(); // swallowed: never reaches the movie
    return;
  }
  if (Event->button() == Qt::LeftButton && LockMouseClick) {
    if (OnMouseDown)
      OnMouseDown(Event->button(), static_cast<int>(Event->position().x()), static_cast<int>(Event->position().y()));
    Event->accept();
    return;
  }
  QWidget::mousePressEvent(Event);
}

void TkvuFlash::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton)
    FPressed = false;
  if (Event->button() == Qt::RightButton) {
    // Only a popup menu opened here would consume the press; none is
    // assigned, so FPressed stays until a left release.
    Event->accept();
    return;
  }
  if (Event->button() == Qt::LeftButton && LockMouseClick) {
    const int X = static_cast<int>(Event->position().x());
    const int Y = static_cast<int>(Event->position().y());
    if (rect().contains(X, Y) && OnClick)
      OnClick();
    if (OnMouseUp)
      OnMouseUp(Event->button(), X, Y);
    Event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(Event);
}

void TkvuFlash::contextMenuEvent(QContextMenuEvent* Event) { Event->accept(); }

int CenterOffset(int ParentW, int W, bool AllowNegative) {
  const int Offset = (ParentW - W) / 2; // truncates toward zero
  return (!AllowNegative && Offset < 0) ? 0 : Offset;
}

void CenterInParent(QWidget& Control, const QWidget& Parent, int W, int H, bool AllowNegative) {
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

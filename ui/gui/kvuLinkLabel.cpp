#include "ui/gui/kvuLinkLabel.h"

#include <QMouseEvent>

namespace quenloft {

TkvuLinkLabel::TkvuLinkLabel(const QString& Text, QWidget* Parent) : QLabel(Text, Parent)
{
  QFont F = font();
  F.setUnderline(true);
  setFont(F);
  QPalette P = palette();
  P.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(P);
  setCursor(Qt::PointingHandCursor);
  adjustSize();
}

void TkvuLinkLabel::mousePressEvent(QMouseEvent* Event)
{
  if (Event->button() == Qt::LeftButton)
    FPressed = true;
  QLabel::mousePressEvent(Event);
}

void TkvuLinkLabel::mouseReleaseEvent(QMouseEvent* Event)
{
  // A click is a left press and a release inside the label.
  const bool Click =
      FPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
  if (Event->button() == Qt::LeftButton)
    FPressed = false;
  QLabel::mouseReleaseEvent(Event);
  if (Click && OnClick)
    OnClick();
}

} // namespace quenloft

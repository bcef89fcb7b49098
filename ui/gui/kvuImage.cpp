#include "ui/gui/kvuImage.h"

#include <QPainter>

namespace quenloft {

TkvuImage::TkvuImage(QWidget* Parent) : QWidget(Parent)
{
  setAttribute(Qt::WA_NoSystemBackground);
  // Mouse moves reach the window-moving handlers while a button is held.
}

void TkvuImage::SetPicture(const QImage& Picture, bool AutoSize)
{
  FPicture = Picture;
  if (AutoSize && !FPicture.isNull())
    resize(FPicture.size());
  update();
}

void TkvuImage::SetStretch(bool Value)
{
  FStretch = Value;
  update();
}

void TkvuImage::paintEvent(QPaintEvent*)
{
  if (FPicture.isNull())
    return;
  QPainter P(this);
  if (FStretch)
    P.drawImage(rect(), FPicture, FPicture.rect());
  else
    P.drawImage(0, 0, FPicture);
}

void TAnchorLayout::Add(QWidget* Control, unsigned Anchors)
{
  FEntries.push_back({Control, Anchors});
}

void TAnchorLayout::Apply(QSize NewSize)
{
  const int DW = NewSize.width() - FSize.width();
  const int DH = NewSize.height() - FSize.height();
  FSize = NewSize;
  if (DW == 0 && DH == 0)
    return;
  for (const TEntry& E : FEntries) {
    QWidget* const Control = E.Control;
    if (!Control)
      continue;
    QRect R = Control->geometry();
    if ((E.Anchors & akRight) && (E.Anchors & akLeft))
      R.setWidth(R.width() + DW);
    else if (E.Anchors & akRight)
      R.translate(DW, 0);
    if ((E.Anchors & akBottom) && (E.Anchors & akTop))
      R.setHeight(R.height() + DH);
    else if (E.Anchors & akBottom)
      R.translate(0, DH);
    Control->setGeometry(R);
  }
}

} // namespace quenloft

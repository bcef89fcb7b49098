// The skin's picture control and the anchoring of controls to the sides of
// their window.
//
// TkvuImage paints one image, either at its own size or stretched over its
// whole rectangle (the 1-pixel strips of the window frame).
//
// TAnchorLayout keeps a control's distances to the sides it is anchored to
// when the window's size changes: anchored left and right it grows with the
// width; anchored right only it moves with the right edge; the same for top
// and bottom. Controls moved by hand keep their new place: only the change of
// the window's size is applied.
//
// Threads: UI thread only.
#pragma once

#include <QImage>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <vector>

namespace quenloft {

class TkvuImage : public QWidget {
  Q_OBJECT

public:
  explicit TkvuImage(QWidget* Parent = nullptr);

  const QImage& Picture() const { return FPicture; }
  // With AutoSize the control takes the picture's size.
  void SetPicture(const QImage& Picture, bool AutoSize);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  QImage FPicture;
  bool FStretch = false;
};

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TAnchorLayout {
public:
  // Starts from the given window size.
  explicit TAnchorLayout(QSize Size) : FSize(Size) {}

  void Add(QWidget* Control, unsigned Anchors);
  // Moves and sizes the anchored controls for a window of the new size.
  void Apply(QSize NewSize);
  QSize Size() const { return FSize; }

private:
  struct TEntry {
    QPointer<QWidget> Control;
    unsigned Anchors;
  };
  QSize FSize;
  std::vector<TEntry> FEntries;
};

} // namespace quenloft

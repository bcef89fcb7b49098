// A link label: blue, underlined text with a hand cursor that reports a
// click. Its Hint holds the address the click opens; hints are never shown
// as tool tips.
//
// Threads: UI thread only.
#pragma once

#include <QLabel>

#include <functional>
#include <string>

namespace quenloft {

class TkvuLinkLabel : public QLabel {
  Q_OBJECT

public:
  explicit TkvuLinkLabel(const QString& Text, QWidget* Parent = nullptr);

  std::string Hint;
  std::function<void()> OnClick;

protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

private:
  bool FPressed = false;
};

} // namespace quenloft

// The application object of the window program: a QApplication whose event
// delivery catches an exception that escapes a handler and shows it in the
// standard error box titled with the application's name ("Quenloft"), so
// the program goes on as before.
//
// Also: whether a display is there to open windows on.
//
// Threads: UI thread only.
#pragma once

#include <QApplication>

#include <functional>
#include <string>

namespace quenloft {

class TQuenloftApplication : public QApplication {
  Q_OBJECT

public:
  TQuenloftApplication(int& Argc, char** Argv);

  bool notify(QObject* Receiver, QEvent* Event) override;

  // Shows the text of an escaped exception; replaceable by tests (the
  // default is QMessageBox::critical with the application's name as title).
  std::function<void(const QString& Title, const QString& Text)> ShowError;
};

// True when a window can be shown: QT_QPA_PLATFORM names a platform, or
// DISPLAY or WAYLAND_DISPLAY is set.
bool DisplayAvailable();

// What the program says when there is none.
std::string NoDisplayMessage();

} // namespace quenloft

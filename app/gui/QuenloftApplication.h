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

#include <exception>
#include <functional>
#include <string>

namespace quenloft {

class TQuenloftApplication : public QApplication {
  Q_OBJECT

public:
  // Names the application "Quenloft" and sets no display name: Qt would add
  // a display name to every window's title for the window system, so the
  // taskbar would read "Quenloft 1.0.0 - Quenloft" and the folder dialog
  // "Select output path - Quenloft". Error boxes take the name instead.
  TQuenloftApplication(int& Argc, char** Argv);

  bool notify(QObject* Receiver, QEvent* Event) override;

  // Shows the text of an escaped exception; replaceable by tests (the
  // default is QMessageBox::critical with the application's name as title).
  std::function<void(const QString& Title, const QString& Text)> ShowError;
};

// Shows the text of an exception that escaped a handler the way notify
// does: through the program's application object's ShowError, or, under
// another application object, the standard error box titled with the
// application's name.
void ShowHandlerError(const QString& Text);

// Runs a handler that Qt code called (a click, a menu item, a queued task
// event, a timer tick, a selection change) and keeps an exception it raises
// from unwinding through Qt, whose widget code is built without exception
// support and would skip its own clean-up: the error is shown as above and
// the Qt code that called us goes on normally.
template <typename F>
void RunHandler(F&& Handler) noexcept
{
  try {
    Handler();
  } catch (const std::exception& Error) {
    ShowHandlerError(QString::fromUtf8(Error.what()));
  } catch (...) {
    ShowHandlerError(QStringLiteral("Unknown error"));
  }
}

// True when a window can be shown: QT_QPA_PLATFORM names a platform, or
// DISPLAY or WAYLAND_DISPLAY is set.
bool DisplayAvailable();

// What the program says when there is none.
std::string NoDisplayMessage();

} // namespace quenloft

#include "app/gui/QuenloftApplication.h"

#include <QMessageBox>

#include <cstdlib>
#include <exception>

namespace quenloft {

TQuenloftApplication::TQuenloftApplication(int& Argc, char** Argv) : QApplication(Argc, Argv)
{
  setApplicationName(QStringLiteral("Quenloft"));
  ShowError = [](const QString& Title, const QString& Text) { QMessageBox::critical(nullptr, Title, Text); };
}

bool TQuenloftApplication::notify(QObject* Receiver, QEvent* Event)
{
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& Error) {
    if (ShowError)
      ShowError(applicationDisplayName(), QString::fromUtf8(Error.what()));
  } catch (...) {
    if (ShowError)
      ShowError(applicationDisplayName(), QStringLiteral("Unknown error"));
  }
  return false;
}

void ShowHandlerError(const QString& Text)
{
  // Showing the error must not raise in turn: the caller is Qt code.
  try {
    auto* Application = qobject_cast<TQuenloftApplication*>(QCoreApplication::instance());
    if (Application) {
      if (Application->ShowError)
        Application->ShowError(QApplication::applicationDisplayName(), Text);
    } else if (QCoreApplication::instance()) {
      QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), Text);
    }
  } catch (...) {
  }
}

namespace {
bool Set(const char* Name)
{
  const char* Value = std::getenv(Name);
  return Value && *Value;
}
} // namespace

bool DisplayAvailable()
{
  return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

std::string NoDisplayMessage()
{
  return "quenloft: there is no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
         "To download the movies of a page without a window, use quenloft-cli.\n";
}

} // namespace quenloft

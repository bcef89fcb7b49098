// The window program: quenloft [URL] (see app/StartArguments.h).
//
// Order of start-up and shutdown: the settings object App first (it outlives
// the window), then the application object (display name "Quenloft", also
// the title of the error box for exceptions that escape a handler), the main
// window, the event loop until the window closes; the window is destroyed
// (joining a running download) before App is freed.
//
// Unattended runs (scripts/screenshot.sh) set three variables:
//   QUENLOFT_START_URL   typed into the address box, then Enter is pressed;
//   QUENLOFT_OUTPUT      the output folder shown in the path box;
//   QUENLOFT_SCREENSHOT  where to save a picture of the window once every row
//                        has finished; the program then quits (status 0, or
//                        2 when the chain has not ended within two minutes).
#include "app/App.h"
#include "app/gui/QuenloftApplication.h"
#include "app/StartArguments.h"
#include "app/gui/VellicorFrm.h"

#include <QIcon>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace quenloft;

const char* Env(const char* Name)
{
  const char* Value = std::getenv(Name);
  return (Value && *Value) ? Value : nullptr;
}

// Drives the window like a user for an unattended run.
void StartUnattended(TVellicorForm& Window, TQuenloftApplication& Application)
{
  const char* URL = Env("QUENLOFT_START_URL");
  if (!URL)
    return;
  if (const char* Output = Env("QUENLOFT_OUTPUT"))
    Window.edtPath->setText(QString::fromLocal8Bit(Output));
  const char* Screenshot = Env("QUENLOFT_SCREENSHOT");
  Window.OnChainIdle = [&Window, &Application, Screenshot] {
    if (!Screenshot)
      return;
    // Let the last row and the preview paint before the picture is taken.
    QTimer::singleShot(300, &Window, [&Window, &Application, Screenshot] {
      const bool Saved = Window.grab().save(QString::fromLocal8Bit(Screenshot), "PNG");
      Application.exit(Saved ? 0 : 3);
    });
  };
  QTimer::singleShot(200, &Window, [&Window, URL] {
    Window.edtURL->setFocus();
    Window.edtURL->setText(QString::fromLocal8Bit(URL));
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(Window.edtURL, &Press);
  });
  QTimer::singleShot(120000, &Application, [&Application] { Application.exit(2); });
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds: the font and message-bus libraries keep caches for the
// process's life on purpose.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif

int main(int argc, char** argv)
{
  // --help and --version answer without a display, before Qt has taken its
  // own options (which are no errors yet) off the line.
  const TStartArguments Asked = ParseStartArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (Asked.Help || Asked.Version) {
    std::fputs((Asked.Help ? StartUsageText() : StartVersionText()).c_str(), stdout);
    return 0;
  }
  if (!DisplayAvailable()) {
    std::fputs(NoDisplayMessage().c_str(), stderr);
    return 1;
  }
  TAppLifetime Settings;
  TQuenloftApplication Application(argc, argv);
  // Ties the windows to the menu entry (Wayland finds the icon through it);
  // on X11 the window carries the installed theme icon itself (none when the
  // program runs from its build folder).
  QGuiApplication::setDesktopFileName(QStringLiteral(QUENLOFT_APP_ID));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(QUENLOFT_APP_ID)));
  const TStartArguments Start = ParseStartArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!Start.Error.empty()) {
    std::fprintf(stderr, "quenloft: %s\n%s", Start.Error.c_str(), StartUsageText().c_str());
    return 2;
  }
  int Result = 0;
  {
    TVellicorForm Window;
    Window.show();
    if (!Start.URL.empty())
      Window.SetStartAddress(Start.URL);
    StartUnattended(Window, Application);
    Result = Application.exec();
  }
  return Result;
}

// The command line of the window program: `quenloft [URL]`, or --help or
// --version. A URL is typed into the address box of the new window; nothing
// starts until the user presses "Start download", so a browser, a file
// manager or the desktop's menu entry (Exec=quenloft %u) can hand the
// program a page.
//
// Threads: plain functions, any thread (main calls them before and after the
// application object takes Qt's own options, such as -platform, off argv).
#pragma once

#include <string>
#include <vector>

namespace quenloft {

struct TStartArguments {
  bool Help = false;    // -h or --help
  bool Version = false; // --version
  std::string URL;      // the address to fill in; "" for none
  std::string Error;    // what is wrong with the line; "" when nothing is
};

// Args without the program's name. Help and Version are found wherever they
// stand before "--", even on a line with errors, so that they work before
// Qt has taken its own options off the line. After "--" every argument is an
// address.
TStartArguments ParseStartArguments(const std::vector<std::string>& Args);

// The text of --help.
std::string StartUsageText();

// The text of --version: "quenloft " and the four-part version.
std::string StartVersionText();

} // namespace quenloft

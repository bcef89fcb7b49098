// The shell utilities: the program's own folder, the user's download folder,
// opening an address in the user's browser, file versions and their
// comparison, fitting a movie into the preview box, the registered player and
// the player focus decision.
// (The string and file-name helpers are in ui/kvuStrings.h, the registry
// values in ui/kvuRegistry.h.)
//
// None of them lets an error escape; each turns a failure into its neutral
// result ("", false, 0).
//
// Threads: re-entrant, any thread; ShellOpen is called on the UI thread.
#pragma once

#include <functional>
#include <string>

namespace quenloft {

// The folder of the running executable with its trailing "/".
std::string GetAppPath();

// The user's download folder with its trailing "/", as the XDG user-dirs
// convention names it: $XDG_DOWNLOAD_DIR when it is an absolute path, else
// the XDG_DOWNLOAD_DIR line of user-dirs.dirs in $XDG_CONFIG_HOME (or
// ~/.config), else ~/Downloads. "" when there is no home folder either.
std::string GetDownloadPath();

// The file's version from its version note: "%d.%d.%d" (Short) or
// "%d.%d.%d.%d"; "" when the file has none (or cannot be read).
std::string GetFileVersionText(const std::string& FileName, bool Short);

// 1 when dotted version A is the newer, 0 when equal, -1 otherwise; four
// components at most, numerically, a missing or non-numeric one counting 0.
// Each text is cut to 255 characters first.
int CompareVersions(const std::string& A, const std::string& B);

// Hands Target (an address or a file) to the desktop's opener, xdg-open.
// Only when that cannot be started: sensible-browser, then x-www-browser,
// with Target as their one argument. True when a program was started; what
// it does with the address later is not noticed.
bool ShellOpen(const std::string& Target);

// The size (OutW, OutH) of a W x H picture fitted into a BoxW x BoxH box,
// keeping its aspect ratio and touching the box on its limiting side; with
// NeverEnlarge a picture that fits keeps its size. Halves round to even.
// A picture without area (W or H not above 0) gives 0 x 0; a box side
// below 0 counts as 0.
void FitSizeInBox(int BoxW, int BoxH, int W, int H, bool NeverEnlarge, int& OutW, int& OutH);

// The file under which the player control is registered (the default value
// of its class's InprocServer32 key under HKEY_CLASSES_ROOT); "" when none is.
std::string GetFlashPlayerPath();

// The version newer than which the player needs the focus workaround.
inline constexpr const char* kFlashFocusFixedVersion = "11.3.372.94";

// The focus-workaround rule: apply it when the system is of the Windows NT
// family from version 6.2 on and the registered player (its long version
// text, asked from PlayerVersion only when the first test passes) is newer
// than kFlashFocusFixedVersion.
bool DecideFlashFocusWorkaround(bool SystemIsNT62OrLater, const std::function<std::string()>& PlayerVersion);

// The process-wide decision, made on the first call and kept: this system is
// not Windows, so it is "skip" (false), and the registry and player file are
// never consulted.
bool FlashFocusWorkaroundNeeded();

} // namespace quenloft

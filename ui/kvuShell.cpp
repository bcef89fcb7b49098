#include "ui/kvuShell.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string_view>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "platform/Shell.h"
#include "platform/VersionInfo.h"
#include "ui/kvuRegistry.h"

namespace quenloft {
namespace {

// A version component: a decimal 32-bit integer with an optional sign;
// anything else (empty, "3b", out of range) is 0.
std::int32_t ComponentValue(const std::string& Text)
{
  const char* first = Text.data();
  const char* last = first + Text.size();
  if (first != last && *first == '+')
    ++first;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last)
    return 0;
  return value;
}

// Takes the text before the first "." off S (all of S when it has none).
std::string TakeComponent(std::string& S)
{
  const std::size_t dot = S.find('.');
  std::string head = S.substr(0, dot);
  S = dot == std::string::npos ? std::string() : S.substr(dot + 1);
  return head;
}

int RoundHalfEven(double Value)
{
  // nearbyint follows the current rounding mode; the default one rounds
  // halves to the even neighbour.
  return static_cast<int>(std::nearbyint(Value));
}

// The value of an environment variable when it is an absolute path.
std::string AbsoluteEnv(const char* Name)
{
  const char* value = std::getenv(Name);
  return (value != nullptr && value[0] == '/') ? std::string(value) : std::string();
}

std::string HomeFolder()
{
  std::string home = AbsoluteEnv("HOME");
  if (home.empty())
    if (const passwd* pw = ::getpwuid(::getuid());
        pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/')
      home = pw->pw_dir;
  return home;
}

// The XDG_DOWNLOAD_DIR line of user-dirs.dirs, a shell assignment that
// xdg-user-dirs-update writes: XDG_DOWNLOAD_DIR="$HOME/Downloads". The value
// is "$HOME/..." or an absolute path, in double quotes, with "\" escaping
// the next character. "" when the file has no usable line.
std::string UserDirsDownloadFolder(const std::string& ConfigFolder, const std::string& Home)
{
  std::ifstream file(ConfigFolder + "/user-dirs.dirs");
  std::string line;
  std::string found;
  while (std::getline(file, line)) {
    const std::size_t start = line.find_first_not_of(" \t");
    static constexpr std::string_view Key = "XDG_DOWNLOAD_DIR=\"";
    if (start == std::string::npos || line.compare(start, Key.size(), Key) != 0)
      continue;
    std::string value;
    bool closed = false;
    for (std::size_t i = start + Key.size(); i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        value += line[++i];
      } else if (line[i] == '"') {
        closed = true;
        break;
      } else {
        value += line[i];
      }
    }
    if (!closed)
      continue;
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
      value = Home.empty() ? std::string() : Home + value.substr(5);
    if (!value.empty() && value[0] == '/')
      found = value; // as in the shell, the last assignment wins
  }
  return found;
}

std::string WithSlash(std::string Folder)
{
  if (!Folder.empty() && Folder.back() != '/')
    Folder += '/';
  return Folder;
}

} // namespace

std::string GetAppPath()
{
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size())
    return {};
  const std::string exe(buf.data(), static_cast<std::size_t>(n));
  const std::size_t slash = exe.find_last_of("/:");
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string GetDownloadPath()
{
  if (std::string env = AbsoluteEnv("XDG_DOWNLOAD_DIR"); !env.empty())
    return WithSlash(env);
  const std::string home = HomeFolder();
  std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty())
    config = home + "/.config";
  if (!config.empty())
    if (std::string listed = UserDirsDownloadFolder(config, home); !listed.empty())
      return WithSlash(listed);
  return home.empty() ? std::string() : home + "/Downloads/";
}

std::string GetFileVersionText(const std::string& FileName, bool Short)
{
  try {
    const auto v = ReadFileVersion(FileName);
    if (!v)
      return {};
    char text[64];
    if (Short)
      std::snprintf(text, sizeof text, "%d.%d.%d", v->Major, v->Minor, v->Release);
    else
      std::snprintf(text, sizeof text, "%d.%d.%d.%d", v->Major, v->Minor, v->Release, v->Build);
    return text;
  } catch (const std::exception&) {
    return {};
  }
}

int CompareVersions(const std::string& A, const std::string& B)
{
  std::string a = A.substr(0, 255);
  std::string b = B.substr(0, 255);
  for (int i = 0; i < 4; ++i) {
    const std::int32_t ca = ComponentValue(TakeComponent(a));
    const std::int32_t cb = ComponentValue(TakeComponent(b));
    if (ca > cb)
      return 1;
    if (ca < cb)
      return -1;
  }
  return 0;
}

bool ShellOpen(const std::string& Target)
{
  try {
    if (SpawnDetached("xdg-open", {Target}))
      return true;
    // No desktop opener: the Debian browser alternatives take the address
    // as their one argument.
    for (const char* browser : {"sensible-browser", "x-www-browser"})
      if (SpawnDetached(browser, {Target}))
        return true;
  } catch (const std::exception&) {
  }
  return false;
}

void FitSizeInBox(int BoxW, int BoxH, int W, int H, bool NeverEnlarge, int& OutW, int& OutH)
{
  // A movie whose rectangle is empty or inverted has nothing to show; its
  // ratios would be infinite or negative.
  if (W <= 0 || H <= 0) {
    OutW = 0;
    OutH = 0;
    return;
  }
  BoxW = BoxW < 0 ? 0 : BoxW;
  BoxH = BoxH < 0 ? 0 : BoxH;
  const double rx = static_cast<double>(BoxW) / W;
  const double ry = static_cast<double>(BoxH) / H;
  if (rx > ry) {
    // The height limits.
    if (NeverEnlarge && ry > 1) {
      OutW = W;
      OutH = H;
    } else {
      OutW = RoundHalfEven(W * ry);
      OutH = BoxH;
    }
  } else {
    // The width limits (also when both ratios are equal).
    if (NeverEnlarge && rx > 1) {
      OutW = W;
      OutH = H;
    } else {
      OutW = BoxW;
      OutH = RoundHalfEven(H * rx);
    }
  }
}

std::string GetFlashPlayerPath()
{
  return RegReadString(HKEY_CLASSES_ROOT, "CLSID/{D27CDB6E-AE6D-11cf-96B8-444553540000}/InprocServer32", "");
}

bool DecideFlashFocusWorkaround(bool SystemIsNT62OrLater, const std::function<std::string()>& PlayerVersion)
{
  if (!SystemIsNT62OrLater)
    return false;
  return CompareVersions(PlayerVersion(), kFlashFocusFixedVersion) == 1;
}

bool FlashFocusWorkaroundNeeded()
{
  // Decided once per process. The system test comes first and fails here:
  // this is not Windows NT 6.2 or later.
  static const bool decision =
      DecideFlashFocusWorkaround(false, [] { return GetFileVersionText(GetFlashPlayerPath(), false); });
  return decision;
}

} // namespace quenloft

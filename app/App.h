// TApp: the program's settings object, the one global App. It remembers the
// last output folder and whether the install ping was sent (per-user
// registry, HKEY_CURRENT_USER "Software/Quenloft": "OutputPath" as text,
// "InstallTracked" as a 32-bit integer, -1 for true), and owns the install
// ping thread, which it starts at most once per run.
//
// Threads: everything runs on the UI thread, except SetInstallTracked, which
// the install-ping thread calls. No lock is needed: each registry call opens
// the store on its own, and FInstallThread is touched only on the UI thread.
#pragma once

#include "download/SafeThread.h"

#include <memory>
#include <string>

namespace quenloft {

class TInstallTrackThread;

// The settings key and its values.
inline constexpr const char* kSettingsKey = "Software/Quenloft";
inline constexpr const char* kOutputPathValue = "OutputPath";
inline constexpr const char* kInstallTrackedValue = "InstallTracked";
// Tries after the first for a download that fails for a passing reason, as
// decimal text ("0" turns retries off).
inline constexpr const char* kRetriesValue = "Retries";
// One HTTP proxy for every address ("[http://][user:password@]host[:port]");
// empty or missing: the environment's proxies.
inline constexpr const char* kProxyValue = "Proxy";
// True: finish a partial file an earlier cut left (a 32-bit integer, -1
// for true); off when missing.
inline constexpr const char* kResumeValue = "Resume";
inline constexpr const char* kPreviewMutedValue = "PreviewMuted";

class TApp {
public:
  // Traces "Quenloft", then "not Debug Version" (or "Debug Version").
  TApp();
  // Frees the install-ping thread (waiting for a request in progress), then
  // traces "over".
  ~TApp();
  TApp(const TApp&) = delete;
  TApp& operator=(const TApp&) = delete;

  // "InstallTracked" is a non-zero integer; false when missing or of another type.
  bool IsInstallTracked();
  // "OutputPath", or "" when missing or of another type.
  std::string GetOutputPath();
  // Failures to write are swallowed: the folder is then not remembered.
  void SetOutputPath(const std::string& Path);
  // "Retries" from 0 to 10; DefaultRetries when missing or unreadable.
  int GetRetries();
  // "Proxy", or "".
  std::string GetProxy();
  // "Resume": finish partial files an earlier cut left; false when missing.
  bool GetResume();
  // The writers of the three download settings (the settings dialog's);
  // failures to write are swallowed like SetOutputPath's.
  void SetRetries(int Value);
  void SetProxy(const std::string& Proxy);
  void SetResume(bool Value);
  // Writes -1 for true, 0 for false. Called on the install-ping thread.
  void SetInstallTracked(bool Value);
  // Whether the previews are silenced ("PreviewMuted"; false when missing).
  bool IsPreviewMuted();
  void SetPreviewMuted(bool Value);
  // Starts the install ping unless a debugger is attached, a ping thread was
  // already started in this run, or the ping was sent in an earlier run.
  void StartInstallTrack();

  // The ping thread once started (it is kept until the destructor).
  TInstallTrackThread* InstallThread() const { return FInstallThread.get(); }

private:
  TThreadPtr<TInstallTrackThread> FInstallThread;
  bool FDebugBuild = false; // nothing sets it in this build
};

// The one settings object; exists while a TAppLifetime does.
extern TApp* App;

// Creates App in its constructor and frees it in its destructor: the
// window's main makes one first thing, so App outlives the main window.
class TAppLifetime {
public:
  TAppLifetime();
  ~TAppLifetime();
  TAppLifetime(const TAppLifetime&) = delete;
  TAppLifetime& operator=(const TAppLifetime&) = delete;
};

// Whether a tracer (a debugger) is attached to this process.
bool IsDebuggerPresent();

} // namespace quenloft

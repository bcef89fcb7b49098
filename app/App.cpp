#include "app/App.h"

#include "http/RetryPolicy.h"

#include <charconv>

#include <fstream>
#include <string>

#include "platform/Trace.h"
#include "ui/InstallTrack.h"
#include "ui/kvuRegistry.h"

namespace quenloft {

TApp* App = nullptr;

bool IsDebuggerPresent()
{
  // A debugger traces the process: the kernel shows its pid in "TracerPid:".
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) {
      const std::size_t digit = line.find_first_not_of(" \t", 10);
      return digit != std::string::npos && line.compare(digit, std::string::npos, "0") != 0;
    }
  }
  return false;
}

TApp::TApp()
{
  Trace("Quenloft");
  Trace(FDebugBuild ? "Debug Version" : "not Debug Version");
}

TApp::~TApp()
{
  // The thread's destructor waits for a request still in progress.
  FInstallThread.reset();
  Trace("over");
}

bool TApp::IsInstallTracked()
{
  return RegReadBool(HKEY_CURRENT_USER, kSettingsKey, kInstallTrackedValue);
}

std::string TApp::GetOutputPath()
{
  return RegReadString(HKEY_CURRENT_USER, kSettingsKey, kOutputPathValue);
}

void TApp::SetOutputPath(const std::string& Path)
{
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kOutputPathValue, Path);
}

int TApp::GetRetries()
{
  const std::string Text = RegReadString(HKEY_CURRENT_USER, kSettingsKey, kRetriesValue);
  int Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Error != std::errc() || End != Text.data() + Text.size() || Value < 0 || Value > 10)
    return DefaultRetries;
  return Value;
}

std::string TApp::GetProxy()
{
  return RegReadString(HKEY_CURRENT_USER, kSettingsKey, kProxyValue);
}

bool TApp::GetResume()
{
  return RegReadBool(HKEY_CURRENT_USER, kSettingsKey, kResumeValue);
}

void TApp::SetRetries(int Value)
{
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kRetriesValue, std::to_string(Value));
}

void TApp::SetProxy(const std::string& Proxy)
{
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kProxyValue, Proxy);
}

void TApp::SetResume(bool Value)
{
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kResumeValue, Value);
}

void TApp::SetInstallTracked(bool Value)
{
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kInstallTrackedValue, Value);
}

bool TApp::IsPreviewMuted()
{
  return RegReadBool(HKEY_CURRENT_USER, kSettingsKey, kPreviewMutedValue);
}

void TApp::SetPreviewMuted(bool Value)
{
  RegWriteValue(HKEY_CURRENT_USER, kSettingsKey, kPreviewMutedValue, Value);
}

void TApp::StartInstallTrack()
{
  if (IsDebuggerPresent())
    return;
  if (FInstallThread)
    return; // at most one ping per run
  if (IsInstallTracked())
    return;
  FInstallThread = TSafeThread::Make<TInstallTrackThread>([this] { SetInstallTracked(true); });
  FInstallThread->Resume();
}

TAppLifetime::TAppLifetime()
{
  App = new TApp();
}

TAppLifetime::~TAppLifetime()
{
  delete App;
  App = nullptr;
}

} // namespace quenloft

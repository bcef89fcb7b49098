#include "http/IdComponent.h"

#include "http/IdTransferLease.h"

#include <limits>

namespace quenloft {

namespace {

// The events carry 32-bit counts; bodies past 2 GiB report the largest
// value instead of a wrapped (negative) one.
std::int32_t ClampCount(std::int64_t Value)
{
  if (Value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (Value < std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(Value);
}

int ModeIndex(TWorkMode AWorkMode)
{
  return AWorkMode == TWorkMode::wmRead ? 0 : 1;
}

} // namespace

void TIdComponent::BeginWork(TWorkMode AWorkMode, std::int64_t ASize)
{
  TWorkInfo& Info = FWork[ModeIndex(AWorkMode)];
  ++Info.Level;
  if (Info.Level == 1) {
    Info.Max = ASize;
    Info.Count = 0;
    const TWorkBeginEvent& Handler = FLeaseHooks ? FLeaseHooks->OnWorkBegin : OnWorkBegin;
    if (Handler) {
      try {
        Handler(*this, AWorkMode, ClampCount(ASize));
      } catch (...) {
        // The caller never reaches its EndWork: without this the level
        // would stay open and no later transfer would report its begin.
        --Info.Level;
        throw;
      }
    }
  }
}

void TIdComponent::DoWork(TWorkMode AWorkMode, std::int64_t ACount)
{
  TWorkInfo& Info = FWork[ModeIndex(AWorkMode)];
  if (Info.Level < 1) {
    return;
  }
  Info.Count += ACount;
  const TWorkEvent& Handler = FLeaseHooks ? FLeaseHooks->OnWork : OnWork;
  if (Handler) {
    Handler(*this, AWorkMode, ClampCount(Info.Count));
  }
}

void TIdComponent::EndWork(TWorkMode AWorkMode)
{
  TWorkInfo& Info = FWork[ModeIndex(AWorkMode)];
  if (Info.Level <= 0) {
    return; // unbalanced end: nothing is open
  }
  if (Info.Level == 1 && OnWorkEnd) {
    // The level falls even when the handler raises, so a later
    // transfer starts at the outermost level again.
    struct TLeave {
      int& Level;
      ~TLeave() { --Level; }
    } Leave{Info.Level};
    OnWorkEnd(*this, AWorkMode);
    return;
  }
  --Info.Level;
}

void TIdComponent::DoStatus(TIdStatus AStatus, const std::string& AArgument)
{
  if (!OnStatus) {
    return;
  }
  std::string Text;
  switch (AStatus) {
  case TIdStatus::hsResolving: Text = "Resolving hostname " + AArgument + "."; break;
  case TIdStatus::hsConnecting: Text = "Connecting to " + AArgument + "."; break;
  case TIdStatus::hsConnected: Text = "Connected."; break;
  case TIdStatus::hsDisconnecting: Text = "Disconnecting."; break;
  case TIdStatus::hsDisconnected: Text = "Disconnected."; break;
  case TIdStatus::hsStatusText: Text = AArgument; break;
  }
  OnStatus(*this, AStatus, Text);
}

} // namespace quenloft

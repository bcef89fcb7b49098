// TIdComponent: the status and work events of the client's component family.
// Work is counted per mode with a nesting level: only the outermost
// BeginWork/EndWork pair fires OnWorkBegin/OnWorkEnd, and DoWork fires
// OnWork with the running count while a level is open. While a transfer
// lease (TIdTransferLease) is held, its handlers are called instead.
//
// Threads: the events run on the thread that drives the component (the one
// that called Get); a handler may raise to abort the transfer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quenloft {

enum class TWorkMode { wmRead, wmWrite };

enum class TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText
};

class TIdComponent;
struct TIdTransferHooks;

using TWorkBeginEvent =
    std::function<void(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCountMax)>;
using TWorkEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode)>;
using TStatusEvent = std::function<void(TIdComponent& Sender, TIdStatus AStatus, const std::string& AText)>;

class TIdComponent {
public:
  TIdComponent() = default;
  virtual ~TIdComponent() = default;
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;

  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;
  TStatusEvent OnStatus;

  // When OnWorkBegin raises, the level is left as it was before the call.
  void BeginWork(TWorkMode AWorkMode, std::int64_t ASize = 0);
  void DoWork(TWorkMode AWorkMode, std::int64_t ACount);
  void EndWork(TWorkMode AWorkMode);

protected:
  // Formats the status text ("Resolving hostname %s.", "Connected.", ...) and fires OnStatus.
  void DoStatus(TIdStatus AStatus, const std::string& AArgument = {});

private:
  friend class TIdTransferLease;
  // The handlers of the lease in force (TIdTransferLease); they stand in
  // for OnWorkBegin and OnWork while it lives.
  const TIdTransferHooks* FLeaseHooks = nullptr;

  struct TWorkInfo {
    int Level = 0;
    std::int64_t Max = 0;
    std::int64_t Count = 0;
  };
  TWorkInfo FWork[2];
};

} // namespace quenloft

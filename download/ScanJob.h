// TScanJob: the page scan as a job of the coordinator's worker. It runs the
// scanner (TURLSWFParser) with the coordinator's client and reports to one
// window the way a download does, by posted messages carrying the scan's
// number as LParam: WM_SCAN_PROGRESS (WParam = whole percent of the page
// read, only while a total is known) and, last of all and exactly once,
// WM_SCAN_DONE. The links found and the reason of a failed fetch stay in the
// job for its owner.
//
// Threads: made, configured, resumed and freed on the owner's thread (the
// coordinator's); SafeExecute and HandleError run on the worker thread and
// only post; DoTerminate raises the job's abort signal from the owner's
// thread. The results are read by the owner after WaitFor.
#pragma once

#include "download/SafeThread.h"
#include "http/IdAbortSignal.h"
#include "platform/Messages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quenloft {

class TIdHTTP;

class TScanJob : public TSafeThread {
public:
  TScanJob(TMakeKey Key, TIdHTTP* HTTP) : TSafeThread(Key), FHTTP(HTTP) {}

  // Filled by the creator before Resume.
  std::string FURL; // as typed
  HWND FWnd = 0;
  std::uint64_t FScan = 0;

  // After WaitFor: the absolute movie URLs in page order, why the page
  // could not be fetched ("" when it could), and whether Terminate ended it.
  const std::vector<std::string>& Links() const { return FLinks; }
  const std::string& Error() const { return FError; }
  bool Stopped() const { return FStopped; }

protected:
  void DoTerminate() override { FStop.Abort(); }
  void SafeExecute() override;
  void HandleError(const std::string& Msg) override;
  bool ReusesThread() const override { return true; }

private:
  TIdHTTP* FHTTP;
  TIdAbortSignal FStop;
  std::vector<std::string> FLinks;
  std::string FError;
  bool FStopped = false;
  bool FReported = false;
};

} // namespace quenloft

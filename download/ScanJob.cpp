#include "download/ScanJob.h"

#include "scan/URLSWFParse.h"

namespace quenloft {

void TScanJob::SafeExecute()
{
  TURLSWFParser parser;
  parser.FHTTP = FHTTP;
  parser.FAbort = &FStop;
  parser.FURL = FURL;
  parser.OnLoadProgress = [this](std::uint8_t Percent) {
    SafePostMessage(FWnd, WM_SCAN_PROGRESS, Percent, FScan);
  };
  parser.FindLinks(FLinks);
  FError = parser.LastError();
  FStopped = Terminated();
  FReported = true;
  SafePostMessage(FWnd, WM_SCAN_DONE, 0, FScan);
}

void TScanJob::HandleError(const std::string& Msg)
{
  TSafeThread::HandleError(Msg);
  if (FReported)
    return;
  // The scanner reports its own failures; anything else still ends the
  // scan with its one final message.
  FLinks.clear();
  FError = Msg.empty() ? "the scan failed" : Msg;
  FStopped = Terminated();
  FReported = true;
  SafePostMessage(FWnd, WM_SCAN_DONE, 0, FScan);
}

} // namespace quenloft

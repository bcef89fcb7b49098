// TDownLoad: the download worker. It fetches one URL with the shared HTTP
// client straight into its output file and reports to one window by posted
// task-event messages, each carrying the task's Id as LParam:
//   WM_DOWNLOAD_WORKBEGIN (WParam = announced total, 0 when none),
//   WM_DOWNLOAD_WORK      (WParam = bytes of the current transfer so far),
//   WM_DOWNLOAD_RETRY     (WParam = the try about to be made, Text
//                          "retrying (2/3)") before each retry's wait,
//   then exactly one WM_DOWNLOAD_DONE or WM_DOWNLOAD_ERROR (the error text in
//   TMessage::Text, WParam 0) - or neither after a cancel. A cancel is the
//   worker's own stop (Terminate), never recognised by an error's text.
//
// With FResume, a partial file that FResumeFrom describes is finished with
// a range request (Range from its size, If-Range on the record's validator):
// a 206 whose Content-Range starts at that size is appended; any other
// answer (the range ignored, the validator changed) goes to a fresh numbered
// file, announced by WM_DOWNLOAD_FILE. A download that is cut or fails with
// a partial file leaves a resume record beside it; a finished one removes it.
//
// A failure that may pass by itself (IsTransientFailure) is tried again up
// to FRetries times, after the wait RetryWait names; the file starts over
// for each try. Terminate ends such a wait at once, as a cancel.
//
// Terminate (Stop, a new scan, closing the window) aborts the client's
// transfer at once: every wait of the connection ends within a poll's
// wake-up, whatever the server does. The worker's own abort signal and work
// handlers reach the client only through a transfer lease held while the
// body runs; nothing of the worker stays on the client afterwards.
//
// Threads:
//   - the constructor, the F-fields' set-up, Resume and the destructor (with
//     Cleanup) run on the UI / CLI-loop thread (the coordinator);
//   - DoTerminate runs on the thread that calls Terminate (the owner's); it
//     only raises the worker's abort signal, which is safe from any thread;
//   - SafeExecute, HTTPWorkBegin, HTTPWork and HandleError run on the worker
//     thread. They read only the fields the owner wrote before Resume and the
//     terminate flag, and they only post messages.
// The client is used by one job at a time: the coordinator frees (joins)
// the previous job before it starts the next one, and the lease refuses a
// second user.
#pragma once

#include "download/ResumeRecord.h"
#include "download/SafeThread.h"
#include "http/IdAbortSignal.h"
#include "http/IdComponent.h"
#include "platform/Messages.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quenloft {

class TIdHTTP;
class TFileStream;
class TStream;

class TDownLoad : public TSafeThread {
public:
  // Created suspended (through TSafeThread::Make); HTTP is used only by
  // the body, through a lease.
  TDownLoad(TMakeKey Key, TIdHTTP* HTTP);

  // Filled by the creator before Resume, read-only afterwards.
  std::string FURL;      // as stored in the task
  std::string FFileName; // full path, already made unique
  HWND FWnd = 0;
  std::uint32_t FMsgWorkBegin = 0;
  std::uint32_t FMsgWork = 0;
  std::uint32_t FMsgDone = 0;
  std::uint32_t FMsgError = 0;
  std::uint64_t FTask = 0; // the task's Id; opaque to the worker
  std::uint32_t FMsgRetry = 0;
  int FRetries = 0; // tries after the first for passing failures
  // How long one second of a retry's wait lasts (tests shorten it).
  std::chrono::milliseconds FRetrySecond{1000};
  std::uint32_t FMsgFile = 0;
  bool FResume = false; // keep resume records; finish FResumeFrom's file
  std::optional<TResumeRecord> FResumeFrom;

  // The last error text (also carried by the error message). Written on
  // the worker thread: read it only after WaitFor.
  const std::string& ErrorText() const { return FErrorText; }

protected:
  void DoTerminate() override;
  void SafeExecute() override;
  void HandleError(const std::string& Msg) override;
  // One parked thread serves the whole chain: no thread is created per task.
  bool ReusesThread() const override { return true; }

private:
  void HTTPWorkBegin(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCountMax);
  void HTTPWork(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCount);
  // The stream the body goes to once the answer's head is known: the
  // partial file at its end for a 206 that fits it, else a fresh file.
  TStream& ResumeTarget(TFileStream& Partial, std::int64_t Offset);
  // After a failure or cancel: the record of a partial file worth resuming.
  void KeepResumeRecord();
  // Waits before try number ATry; false when Terminate ended the wait.
  bool WaitBeforeTry(int ATry, std::chrono::milliseconds AWait);

  TIdHTTP* FHTTP;
  TIdAbortSignal FStop; // raised by Terminate, for this worker's transfer only
  std::string FErrorText;
  // Whether this worker created the output file. Only a file of our own may
  // be deleted after a failure: when the exclusive create fails, the file of
  // that name belongs to someone else.
  bool FCreated = false;
  // Set on the worker thread when the body ended because of Terminate.
  bool FCancelled = false;
  // A resumed download's fresh file, when the server sent the whole file.
  std::unique_ptr<TFileStream> FFresh;
};

} // namespace quenloft

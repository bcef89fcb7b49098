// TDownLoad: the download worker. It fetches one URL with the shared HTTP
// client straight into its output file and reports to one window by posted
// task-event messages, each carrying the task's Id as LParam:
//   WM_DOWNLOAD_WORKBEGIN (WParam = announced total, 0 when none),
//   WM_DOWNLOAD_WORK      (WParam = bytes of the current transfer so far),
//   then exactly one WM_DOWNLOAD_DONE or WM_DOWNLOAD_ERROR (the error text in
//   TMessage::Text, WParam 0) - or neither after a cancel. A cancel is the
//   worker's own stop (Terminate), never recognised by an error's text.
//
// Terminate (Stop, a new scan, closing the window) aborts the client's
// transfer at once: every wait of the connection ends within a poll's
// wake-up, whatever the server does.
//
// Threads:
//   - the constructor, the F-fields' set-up, Resume and the destructor (with
//     Cleanup) run on the UI / CLI-loop thread (the coordinator);
//   - DoTerminate runs on the thread that calls Terminate (the owner's); it
//     only raises the client's abort signal, which is safe from any thread;
//   - SafeExecute, HTTPWorkBegin, HTTPWork and HandleError run on the worker
//     thread. They read only the fields the owner wrote before Resume and the
//     terminate flag, and they only post messages.
// The client is used by one worker at a time: the coordinator frees (joins)
// the previous worker before it creates the next one.
#pragma once

#include "download/SafeThread.h"
#include "http/IdComponent.h"
#include "platform/Messages.h"

#include <cstdint>
#include <string>

namespace quenloft {

class TIdHTTP;

class TDownLoad : public TSafeThread {
public:
  // Created suspended (through TSafeThread::Make); installs HTTPWork /
  // HTTPWorkBegin on the client.
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

  // The last error text (also carried by the error message). Written on
  // the worker thread: read it only after WaitFor.
  const std::string& ErrorText() const { return FErrorText; }

protected:
  void DoTerminate() override;
  void SafeExecute() override;
  void Cleanup() override;
  void HandleError(const std::string& Msg) override;
  // One parked thread serves the whole chain: no thread is created per task.
  bool ReusesThread() const override { return true; }

private:
  void HTTPWorkBegin(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCountMax);
  void HTTPWork(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCount);
  void DetachHandlers();

  TIdHTTP* FHTTP;
  std::string FErrorText;
  // Whether this worker created the output file. Only a file of our own may
  // be deleted after a failure: when the exclusive create fails, the file of
  // that name belongs to someone else.
  bool FCreated = false;
  // Set on the worker thread when the body ended because of Terminate.
  bool FCancelled = false;
};

} // namespace quenloft

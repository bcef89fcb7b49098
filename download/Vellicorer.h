// TVellicorer: the download coordinator. It owns the program's one HTTP
// client and the one job that uses it at a time: the page scan (StartScan,
// a TScanJob) or the download of one task (StartTask, a TDownLoad). It keeps
// one TSWFTask per movie URL in the scanner's order and runs them strictly
// one at a time. Every job reports to a window by posted messages; the
// window (or the CLI loop) hands each to HandleTaskEvent, which updates the
// scan or the task and, when a task has ended, counts it and starts the
// next one unless Stop was pressed; the caller only shows what changed.
//
// Threads: every method runs on the UI / CLI-loop thread, which also owns
// the tasks. Freeing a job (StartScan, StartTask, Clear, destruction) joins
// it, so at most one job uses the client at any time; each holds the client
// through a transfer lease (TIdTransferLease) while it runs.
#pragma once

#include "download/DownLoad.h"
#include "download/SWFTask.h"
#include "download/ScanJob.h"
#include "http/IdHTTP.h"
#include "http/RetryPolicy.h"
#include "platform/Messages.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quenloft {

// The whole percentage of Count bytes out of Size: rounded to the nearest,
// ties to even, kept within 0..100 (a server may send more than it
// announced); 0 when no total was announced (Size <= 0).
std::uint8_t WorkPercent(std::int64_t Count, std::int32_t Size);

// What one task event did, for the caller to show.
struct TTaskEvent {
  TSWFTask* Task = nullptr; // nullptr: the event's task is gone, nothing changed
  bool Redraw = false;      // the task's row shows something new
  bool Final = false;       // a done or error event: the task has ended
  bool ChainOver = false;   // Final, and no task follows it
  // The page scan's events (Task stays nullptr): a new whole percent of the
  // page (-1: none), or the scan's end with its outcome. A stale scan event
  // (of a scan that a newer one or Clear replaced) changes nothing.
  int ScanPercent = -1;
  bool ScanDone = false;
  bool ScanStopped = false; // ended by Stop (or Clear): show nothing of it
  std::string ScanError;    // why the page could not be fetched, "" if it could
};

class TVellicorer {
public:
  TVellicorer() = default;
  // Joins a running job, then frees the tasks.
  ~TVellicorer();
  TVellicorer(const TVellicorer&) = delete;
  TVellicorer& operator=(const TVellicorer&) = delete;

  // The client the jobs use. Configure it only while no job runs (before
  // the first scan, or after WaitForWorker).
  TIdHTTP& HTTP() { return FHTTP; }

  // Joins a running job (asking it to stop first) and frees all tasks.
  void Clear();
  // Clears, then scans the page at URL (as typed) on the worker, reporting
  // to Wnd. When WM_SCAN_DONE arrives, HandleTaskEvent turns the links into
  // tasks; the caller starts the first one.
  void StartScan(const std::string& URL, HWND Wnd);
  bool Scanning() const { return FScanJob != nullptr; }
  // One task per non-empty entry, in order; no duplicate test.
  void AddTasks(const std::vector<std::string>& List);
  // The task after Task, or nullptr when Task is last or not in the list.
  // Task must be a live task (the window finds it through FindTask first).
  TSWFTask* NextTask(const TSWFTask* Task) const;
  // Names the task's output file (the URL's file-name part, control bytes
  // other than NUL turned into "_") and starts a worker for it that reports
  // to Wnd. A URL whose file-name part is unusable (empty, "." or "..", a NUL
  // byte, longer than a file name may be) starts no worker: the task's
  // error message is posted to Wnd at once and nullptr is returned.
  TDownLoad* StartTask(TSWFTask* Task, HWND Wnd);
  // Stops the job at once (its transfer is aborted); sets the stop flag.
  void Stop();
  bool Stopped() const { return FStopped; }
  // Waits until the worker of the task started last has ended (at once
  // when there is none); its events may still be queued.
  void WaitForWorker();

  // One task or scan event (WM_DOWNLOAD_*, WM_SCAN_*) as the window takes
  // it. Scan progress sets ScanPercent; the scan's end joins the scan job,
  // adds one task per link found (none after Stop) and sets ScanDone. Work-begin sets
  // Size and tsDownloading; work sets Percent (WorkPercent), a redraw only
  // when the whole percentage changes; done sets 100 and tsDone; error sets
  // tsFailed, and 0 percent when no output file exists; a retry sets the
  // task's Note, which the next work-begin and the task's end clear. A done or error is
  // counted, then the next task is started, reporting to Wnd, unless Stop
  // was pressed. An event whose task was freed is dropped.
  TTaskEvent HandleTaskEvent(const TMessage& Message, HWND Wnd);
  // Tasks ended since the last Clear, by outcome.
  std::size_t DoneCount() const { return FDone; }
  std::size_t FailedCount() const { return FFailed; }
  // The task started last, or nullptr.
  TSWFTask* CurrentTask() const { return FCurrent; }

  TSWFTaskList& Tasks() { return FTasks; }
  // The live task with that Id, or nullptr (a message of a freed task).
  TSWFTask* FindTask(std::uint64_t Id) const { return FTasks.FindById(Id); }

  // Tries after the first for a download that fails for a passing reason
  // (0: none); how long one second of a retry's wait lasts (tests shorten
  // it). Read when a task starts.
  int Retries = DefaultRetries;
  // Finish a partial file that an earlier cut left (with its resume
  // record) instead of starting a new numbered file; keep such records.
  bool Resume = false;
  std::chrono::milliseconds RetrySecond{1000};

  // Stored with a trailing "/" ("" stays "").
  void SetOutputFolder(const std::string& Folder);
  const std::string& OutputFolder() const { return FOutputFolder; }

private:
  void FreeWorker();
  TTaskEvent HandleScanEvent(const TMessage& Message);

  TIdHTTP FHTTP;
  TThreadPtr<TSafeThread> FWorker; // the running or last job
  TDownLoad* FDownload = nullptr;  // FWorker when it is a download
  TScanJob* FScanJob = nullptr;    // FWorker when it is a scan not yet reported
  std::uint64_t FScanNumber = 0;   // the scan whose events count
  bool FStopped = false;
  TSWFTask* FCurrent = nullptr;
  std::size_t FDone = 0;
  std::size_t FFailed = 0;
  TSWFTaskList FTasks;
  std::string FOutputFolder;
};

// Why Name (the file-name part of a URL) cannot name an output file, or ""
// when it can. Percent escapes are not decoded, so "%2e%2e" is an ordinary
// name; only names that would leave the folder or cannot exist are refused.
std::string CheckOutputName(const std::string& Name, const std::string& URL);

} // namespace quenloft

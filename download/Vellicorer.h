// TVellicorer: the download coordinator. It keeps one TSWFTask per movie URL
// in the scanner's order and runs them strictly one at a time: StartTask
// fixes a task's output file and starts a TDownLoad worker that reports to a
// window. The window (or the CLI loop) hands every task event it receives to
// HandleTaskEvent, which updates the task and, when the task has ended,
// counts it and starts the next one unless Stop was pressed; the caller only
// shows what changed.
//
// Threads: every method runs on the UI / CLI-loop thread, which also owns
// the tasks. Freeing a worker (StartTask, Clear, destruction) joins its
// thread, so at most one worker uses the shared HTTP client at any time.
#pragma once

#include "download/DownLoad.h"
#include "download/SWFTask.h"
#include "platform/Messages.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quenloft {

class TIdHTTP;

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
};

class TVellicorer {
public:
  explicit TVellicorer(TIdHTTP* HTTP) : FHTTP(HTTP) {}
  // Joins a running worker, then frees the tasks.
  ~TVellicorer();
  TVellicorer(const TVellicorer&) = delete;
  TVellicorer& operator=(const TVellicorer&) = delete;

  // Joins a running worker (asking it to stop first) and frees all tasks.
  void Clear();
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
  // Stops the worker at once (its transfer is aborted); sets the stop flag.
  void Stop();
  bool Stopped() const { return FStopped; }
  // Waits until the worker of the task started last has ended (at once
  // when there is none); its events may still be queued.
  void WaitForWorker();

  // One task event (WM_DOWNLOAD_*) as the window takes it. Work-begin sets
  // Size and tsDownloading; work sets Percent (WorkPercent), a redraw only
  // when the whole percentage changes; done sets 100 and tsDone; error sets
  // tsFailed, and 0 percent when no output file exists. A done or error is
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

  // Stored with a trailing "/" ("" stays "").
  void SetOutputFolder(const std::string& Folder);
  const std::string& OutputFolder() const { return FOutputFolder; }

private:
  void FreeWorker();

  TThreadPtr<TDownLoad> FWorker;
  bool FStopped = false;
  TSWFTask* FCurrent = nullptr;
  std::size_t FDone = 0;
  std::size_t FFailed = 0;
  TSWFTaskList FTasks;
  TIdHTTP* FHTTP;
  std::string FOutputFolder;
};

// Why Name (the file-name part of a URL) cannot name an output file, or ""
// when it can. Percent escapes are not decoded, so "%2e%2e" is an ordinary
// name; only names that would leave the folder or cannot exist are refused.
std::string CheckOutputName(const std::string& Name, const std::string& URL);

} // namespace quenloft

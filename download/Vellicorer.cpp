#include "download/Vellicorer.h"

#include "download/ResumeRecord.h"

#include "scan/URLUtils.h"
#include "platform/kvuFiles.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <system_error>

namespace quenloft {
namespace {

// The longest name a folder entry may have on the file systems we write to.
constexpr std::size_t MaxFileNameBytes = 255;

// The first of Path, Path's "(2)", "(3)", ... that holds a partial file of
// URL with its resume record: its record, with its name in FileName.
std::optional<TResumeRecord> FindPartialFile(const std::string& Path, const std::string& URL,
                                             std::string& FileName)
{
  const std::size_t dot = Path.rfind('.');
  const std::size_t slash = Path.rfind('/');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExt ? Path.substr(0, dot) : Path;
  const std::string ext = hasExt ? Path.substr(dot) : std::string();
  for (int n = 1; n <= 1000; ++n) {
    const std::string candidate = n == 1 ? Path : stem + "(" + std::to_string(n) + ")" + ext;
    if (!FileExists(candidate))
      return std::nullopt;
    const auto record = ReadResumeRecord(candidate);
    if (record && record->URL == URL && !record->Validator.empty()) {
      FileName = candidate;
      return record;
    }
  }
  return std::nullopt;
}

} // namespace

std::uint8_t WorkPercent(std::int64_t Count, std::int32_t Size)
{
  if (Size <= 0)
    return 0;
  // The default rounding mode rounds halves to the even neighbour.
  const double p = std::nearbyint(static_cast<double>(Count) / Size * 100.0);
  if (p <= 0)
    return 0;
  return p >= 100 ? 100 : static_cast<std::uint8_t>(p);
}

std::string CheckOutputName(const std::string& Name, const std::string& URL)
{
  if (Name.empty())
    return "The address names no file: " + URL;
  if (Name == "." || Name == "..")
    return "The address names no file but a folder step: " + URL;
  if (Name.find('\0') != std::string::npos)
    return "The file name of the address holds a NUL byte: " + URL;
  if (Name.size() > MaxFileNameBytes)
    return "The file name of the address is longer than " + std::to_string(MaxFileNameBytes) +
           " bytes: " + URL;
  return {};
}

TVellicorer::~TVellicorer()
{
  FreeWorker();
  FTasks.Clear();
}

void TVellicorer::FreeWorker()
{
  // Freeing a job asks it to stop (aborting its own transfer) and joins it;
  // its lease has ended by then and the client is free for the next job.
  FWorker.reset();
  FDownload = nullptr;
  FScanJob = nullptr;
}

void TVellicorer::StartScan(const std::string& URL, HWND Wnd)
{
  Clear();
  FStopped = false;
  auto job = TSafeThread::Make<TScanJob>(&FHTTP);
  job->FURL = URL;
  job->FWnd = Wnd;
  job->FScan = ++FScanNumber;
  try {
    job->Resume();
  } catch (const std::system_error& e) {
    // No thread: the scan fails like a fetch that could not be made, with
    // its one final message.
    job.reset();
    SafePostMessage(Wnd, WM_SCAN_DONE, 0, FScanNumber, e.what());
    return;
  }
  FScanJob = job.get();
  FWorker = std::move(job);
}

TTaskEvent TVellicorer::HandleScanEvent(const TMessage& Message)
{
  TTaskEvent event;
  if (Message.LParam != FScanNumber)
    return event; // a scan that a newer one or Clear replaced
  if (Message.Msg == WM_SCAN_PROGRESS) {
    if (FScanJob)
      event.ScanPercent = static_cast<int>(Message.WParam);
    return event;
  }
  event.ScanDone = true;
  if (!FScanJob) {
    // Reported without a job: it could not be started.
    event.ScanError = Message.Text;
    return event;
  }
  // The job posts its end last: the wait is over at once.
  FScanJob->WaitFor();
  event.ScanStopped = FScanJob->Stopped() || FStopped;
  event.ScanError = FScanJob->Error();
  if (!event.ScanStopped)
    AddTasks(FScanJob->Links());
  FScanJob = nullptr;
  ++FScanNumber; // nothing more of this scan counts
  return event;
}

void TVellicorer::Clear()
{
  FreeWorker();
  ++FScanNumber; // a scan's late events no longer count
  FCurrent = nullptr;
  FDone = 0;
  FFailed = 0;
  FTasks.Clear();
}

void TVellicorer::AddTasks(const std::vector<std::string>& List)
{
  for (const auto& line : List) {
    if (line.empty())
      continue;
    auto task = std::make_unique<TSWFTask>();
    task->URL = line;
    FTasks.Add(std::move(task));
  }
}

TSWFTask* TVellicorer::NextTask(const TSWFTask* Task) const
{
  // Through the Id map: the window asks once per finished task, and a
  // linear search would make a long list quadratic. A task of another list
  // has an Id that is not in our map.
  if (Task == nullptr)
    return nullptr;
  const std::ptrdiff_t at = FTasks.IndexOfId(Task->Id);
  if (at < 0 || FTasks.Items(static_cast<std::size_t>(at)) != Task ||
      static_cast<std::size_t>(at) + 1 >= FTasks.Count())
    return nullptr;
  return FTasks.Items(static_cast<std::size_t>(at) + 1);
}

TDownLoad* TVellicorer::StartTask(TSWFTask* Task, HWND Wnd)
{
  FStopped = false;
  FCurrent = Task;
  // The name is the URL's file-name part as it stands (no decoding), but
  // without control bytes: a newline or an escape sequence in a file name
  // splits listings and drives terminals. NUL is refused below instead.
  std::string name = ExtractURLFileName(Task->URL);
  for (char& c : name)
    if ((c > 0 && c < 0x20) || c == 0x7F)
      c = '_';
  // The previous worker goes first: each worker hooks the shared client's
  // events in its constructor and unhooks them when it ends.
  FreeWorker();

  std::string refusal = CheckOutputName(name, Task->URL);
  std::optional<TResumeRecord> resumeFrom;
  if (refusal.empty() && Resume)
    resumeFrom = FindPartialFile(FOutputFolder + name, Task->URL, Task->FileName);
  if (refusal.empty() && !resumeFrom) {
    Task->FileName = UniqueFileName(FOutputFolder + name);
    // "(n)" may push a name that just fitted past the limit.
    refusal = CheckOutputName(Task->FileName.substr(Task->FileName.rfind('/') + 1), Task->URL);
  }
  if (!refusal.empty()) {
    // No worker: report the failure the way a worker would, so the window
    // still gets exactly one final message for this task.
    Task->FileName.clear();
    SafePostMessage(Wnd, WM_DOWNLOAD_ERROR, 0, Task->Id, refusal);
    return nullptr;
  }

  auto worker = TSafeThread::Make<TDownLoad>(&FHTTP);
  worker->FURL = Task->URL;
  worker->FFileName = Task->FileName;
  worker->FWnd = Wnd;
  worker->FMsgWorkBegin = WM_DOWNLOAD_WORKBEGIN;
  worker->FMsgWork = WM_DOWNLOAD_WORK;
  worker->FMsgDone = WM_DOWNLOAD_DONE;
  worker->FMsgError = WM_DOWNLOAD_ERROR;
  worker->FTask = Task->Id;
  worker->FMsgRetry = WM_DOWNLOAD_RETRY;
  worker->FRetries = std::max(Retries, 0);
  worker->FRetrySecond = RetrySecond;
  worker->FMsgFile = WM_DOWNLOAD_FILE;
  worker->FResume = Resume;
  worker->FResumeFrom = resumeFrom;
  try {
    worker->Resume();
  } catch (const std::system_error& e) {
    // No thread could be started (the system is out of threads): the task
    // fails like any other, so the chain goes on and the window still gets
    // its one final message.
    worker.reset();
    SafePostMessage(Wnd, WM_DOWNLOAD_ERROR, 0, Task->Id, e.what());
    return nullptr;
  }
  FDownload = worker.get();
  FWorker = std::move(worker);
  return FDownload;
}

void TVellicorer::Stop()
{
  if (FWorker)
    FWorker->Terminate();
  FStopped = true;
}

void TVellicorer::WaitForWorker()
{
  if (FWorker)
    FWorker->WaitFor();
}

TTaskEvent TVellicorer::HandleTaskEvent(const TMessage& Message, HWND Wnd)
{
  if (Message.Msg == WM_SCAN_PROGRESS || Message.Msg == WM_SCAN_DONE)
    return HandleScanEvent(Message);
  TTaskEvent event;
  // A task freed since the event was posted (a new scan) is gone.
  TSWFTask* task = FindTask(Message.LParam);
  if (!task)
    return event;
  event.Task = task;
  switch (Message.Msg) {
  case WM_DOWNLOAD_FILE: task->FileName = Message.Text; return event;
  case WM_DOWNLOAD_RETRY:
    task->Note = Message.Text;
    event.Redraw = true;
    return event;
  case WM_DOWNLOAD_WORKBEGIN:
    task->Note.clear();
    task->Size = static_cast<std::int32_t>(Message.WParam);
    task->State = tsDownloading;
    event.Redraw = true;
    return event;
  case WM_DOWNLOAD_WORK: {
    // The whole count: past 2 GiB a 32-bit cut would turn it negative.
    if (task->Size <= 0)
      return event;
    const std::uint8_t percent = WorkPercent(Message.WParam, task->Size);
    event.Redraw = percent != task->Percent;
    task->Percent = percent;
    return event;
  }
  case WM_DOWNLOAD_DONE:
    task->Note.clear();
    task->Percent = 100;
    task->State = tsDone;
    ++FDone;
    break;
  case WM_DOWNLOAD_ERROR:
    task->Note.clear();
    task->State = tsFailed;
    // A partial file keeps its percentage; no file means nothing arrived.
    if (!FileExists(task->FileName))
      task->Percent = 0;
    ++FFailed;
    break;
  default: event.Task = nullptr; return event;
  }
  event.Redraw = true;
  event.Final = true;
  TSWFTask* next = NextTask(task);
  event.ChainOver = next == nullptr;
  if (next && !FStopped)
    StartTask(next, Wnd);
  return event;
}

void TVellicorer::SetOutputFolder(const std::string& Folder)
{
  FOutputFolder = IncludeBackslash(Folder);
}

} // namespace quenloft

#include "download/Vellicorer.h"

#include "http/IdHTTP.h"
#include "scan/URLUtils.h"
#include "platform/kvuFiles.h"
#include "platform/kvuStrings.h"

#include <system_error>

namespace quenloft {
namespace {

// The longest name a folder entry may have on the file systems we write to.
constexpr std::size_t MaxFileNameBytes = 255;

} // namespace

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
  // The worker's destructor asks its thread to stop (aborting the client's
  // transfer) and joins it; the client is then free for the next user.
  FWorker.reset();
  FHTTP->ResetAbort();
}

void TVellicorer::Clear()
{
  FreeWorker();
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
  if (refusal.empty()) {
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

  auto worker = std::make_unique<TDownLoad>(FHTTP);
  worker->FURL = Task->URL;
  worker->FFileName = Task->FileName;
  worker->FWnd = Wnd;
  worker->FMsgWorkBegin = WM_DOWNLOAD_WORKBEGIN;
  worker->FMsgWork = WM_DOWNLOAD_WORK;
  worker->FMsgDone = WM_DOWNLOAD_DONE;
  worker->FMsgError = WM_DOWNLOAD_ERROR;
  worker->FTask = Task->Id;
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
  FWorker = std::move(worker);
  return FWorker.get();
}

void TVellicorer::Stop()
{
  if (FWorker)
    FWorker->Terminate();
  FStopped = true;
}

void TVellicorer::SetOutputFolder(const std::string& Folder)
{
  FOutputFolder = IncludeBackslash(Folder);
}

} // namespace quenloft

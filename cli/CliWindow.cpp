#include "cli/CliWindow.h"

#include "cli/ProgressView.h"
#include "cli/StopSignal.h"
#include "platform/kvuFiles.h"

#include <cmath>
#include <iostream>

namespace quenloft {

TCliWindow::TCliWindow(TVellicorer& Downloader, TProgressView& View, TMessageQueue& Queue)
    : FDownloader(Downloader), FView(View), FQueue(Queue), FWindow(Queue)
{
}

std::size_t TCliWindow::RowOf(const TSWFTask& Task) const
{
  // Asked on every redraw: the Id map answers in constant time.
  return static_cast<std::size_t>(FDownloader.Tasks().IndexOfId(Task.Id) + 1);
}

void TCliWindow::Start(TSWFTask& Task)
{
  FCurrent = &Task;
  FWorker = FDownloader.StartTask(&Task, FWindow.Handle());
}

int TCliWindow::Run(const TStopSignal& Stop)
{
  auto& tasks = FDownloader.Tasks();
  if (tasks.Count() == 0)
    return 3;
  Start(*tasks.Items(0));
  while (!FChainOver && !Stop.Requested()) {
    TMessage message;
    // The time-out only bounds how long a lost wake-up could delay us.
    if (FQueue.WaitPop(message, std::chrono::seconds(1)))
      Dispatch(message);
  }

  if (!FChainOver) {
    // "Stop": the worker's transfer is aborted at once, whatever the server
    // does. Its final event, if the cancel came too late, is still handled;
    // nothing further starts because the stop flag is set.
    FDownloader.Stop();
    if (FWorker)
      FWorker->WaitFor();
    TMessage message;
    while (FQueue.TryPop(message))
      Dispatch(message);
  }

  std::size_t stopped = 0;
  std::size_t notStarted = 0;
  const std::ptrdiff_t current = tasks.IndexOf(FCurrent);
  for (std::size_t i = 0; i < tasks.Count(); ++i) {
    TSWFTask& task = *tasks.Items(i);
    if (task.State == tsDone || task.State == tsFailed)
      continue;
    if (static_cast<std::ptrdiff_t>(i) == current) {
      FView.Stopped(i + 1, task);
      FPartialKept = FPartialKept || FileExists(task.FileName);
      ++stopped;
    } else {
      FView.NotStarted(i + 1, task);
      ++notStarted;
    }
  }
  FView.Summary(FDone, FFailed, stopped, notStarted, FDownloader.OutputFolder(), std::cerr);
  if (stopped + notStarted > 0)
    return 130;
  return FFailed > 0 ? 1 : 0;
}

std::string TCliWindow::StopNote(std::string_view Signal) const
{
  return "stopped by " + std::string(Signal) +
         (FPartialKept ? ": the partial file stays, nothing further was started" : ": nothing further was started");
}

void TCliWindow::Dispatch(const TMessage& Message)
{
  // A task freed since the event was posted is gone: drop the event.
  TSWFTask* task = FDownloader.FindTask(Message.LParam);
  if (!task)
    return;
  switch (Message.Msg) {
  case WM_DOWNLOAD_WORKBEGIN: WorkBegin(*task, Message.WParam); break;
  case WM_DOWNLOAD_WORK: Work(*task, Message.WParam); break;
  case WM_DOWNLOAD_DONE: Done(*task); break;
  case WM_DOWNLOAD_ERROR: Error(*task, Message.Text); break;
  default: break;
  }
}

void TCliWindow::WorkBegin(TSWFTask& Task, std::int64_t WParam)
{
  Task.Size = static_cast<std::int32_t>(WParam);
  Task.State = tsDownloading;
  FView.Progress(RowOf(Task), Task, 0);
}

void TCliWindow::Work(TSWFTask& Task, std::int64_t WParam)
{
  if (Task.Size <= 0)
    return;
  // nearbyint in the default rounding mode: halves go to the even neighbour.
  const double p = std::nearbyint(static_cast<double>(WParam) / Task.Size * 100.0);
  const auto percent = static_cast<std::uint8_t>(static_cast<std::int64_t>(p));
  if (percent == Task.Percent)
    return;
  Task.Percent = percent;
  FView.Progress(RowOf(Task), Task, WParam);
}

void TCliWindow::Done(TSWFTask& Task)
{
  Task.Percent = 100;
  Task.State = tsDone;
  ++FDone;
  FView.Finished(RowOf(Task), Task, {});
  StartNextTask(Task);
}

void TCliWindow::Error(TSWFTask& Task, const std::string& Text)
{
  Task.State = tsFailed;
  if (!FileExists(Task.FileName))
    Task.Percent = 0;
  ++FFailed;
  FView.Finished(RowOf(Task), Task, Text.empty() ? "failed" : Text);
  StartNextTask(Task);
}

void TCliWindow::StartNextTask(TSWFTask& Task)
{
  TSWFTask* next = FDownloader.NextTask(&Task);
  if (!next) {
    FChainOver = true;
    return;
  }
  if (!FDownloader.Stopped())
    Start(*next);
}

} // namespace quenloft

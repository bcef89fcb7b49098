#include "cli/CliWindow.h"

#include "cli/ProgressView.h"
#include "cli/StopSignal.h"
#include "platform/kvuFiles.h"

#include <iostream>

namespace quenloft {

TCliWindow::TCliWindow(TVellicorer& Downloader, TProgressView& View, TMessageQueue& Queue)
    : FDownloader(Downloader), FView(View), FQueue(Queue), FWindow(Queue)
{}

std::size_t TCliWindow::RowOf(const TSWFTask& Task) const
{
  // Asked on every redraw: the Id map answers in constant time.
  return static_cast<std::size_t>(FDownloader.Tasks().IndexOfId(Task.Id) + 1);
}

int TCliWindow::Run(const TStopSignal& Stop)
{
  auto& tasks = FDownloader.Tasks();
  if (tasks.Count() == 0)
    return 3;
  FDownloader.StartTask(tasks.Items(0), FWindow.Handle());
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
    FDownloader.WaitForWorker();
    TMessage message;
    while (FQueue.TryPop(message))
      Dispatch(message);
  }

  std::size_t stopped = 0;
  std::size_t notStarted = 0;
  const std::ptrdiff_t current = tasks.IndexOf(FDownloader.CurrentTask());
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
  FView.Summary(DoneCount(), FailedCount(), stopped, notStarted, FDownloader.OutputFolder(), std::cerr);
  if (stopped + notStarted > 0)
    return 130;
  return FailedCount() > 0 ? 1 : 0;
}

std::string TCliWindow::StopNote(std::string_view Signal) const
{
  return "stopped by " + std::string(Signal) +
         (FPartialKept ? ": the partial file stays, nothing further was started"
                       : ": nothing further was started");
}

void TCliWindow::Dispatch(const TMessage& Message)
{
  const TTaskEvent event = FDownloader.HandleTaskEvent(Message, FWindow.Handle());
  if (!event.Task || !event.Redraw)
    return;
  TSWFTask& task = *event.Task;
  if (!event.Final)
    FView.Progress(RowOf(task), task, Message.Msg == WM_DOWNLOAD_WORK ? Message.WParam : 0);
  else if (Message.Msg == WM_DOWNLOAD_DONE)
    FView.Finished(RowOf(task), task, {});
  else
    FView.Finished(RowOf(task), task, Message.Text.empty() ? "failed" : Message.Text);
  if (event.ChainOver)
    FChainOver = true;
}

} // namespace quenloft

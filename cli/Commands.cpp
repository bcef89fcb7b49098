#include "cli/Commands.h"

#include "cli/CliWindow.h"
#include "cli/OutputText.h"
#include "cli/ProgressView.h"
#include "cli/StopSignal.h"
#include "http/ClientSettings.h"
#include "download/Vellicorer.h"
#include "http/IdHTTP.h"
#include "platform/Trace.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <vector>

#include <unistd.h>

namespace quenloft {
namespace {

void ConfigureClient(TIdHTTP& HTTP, const TCliOptions& Options)
{
  ApplyProgramClientSettings(HTTP);
  HTTP.CAFile = Options.CAFile;
  HTTP.ReadTimeout = Options.TimeoutSeconds * 1000;
  HTTP.Proxy.Disabled = Options.NoProxy;
  HTTP.Proxy.Explicit = Options.Proxy;
}

// Scans the page through the coordinator's worker, as the window does; the
// links become the coordinator's tasks. False (with the reason on stderr)
// when the page could not be fetched; "no movies" is then not the right
// message.
bool ScanPage(TVellicorer& Downloader, TMessageQueue& Queue, const std::string& URL)
{
  const bool live = ::isatty(STDERR_FILENO) != 0;
  const TWindowHandle window(Queue);
  Downloader.StartScan(URL, window.Handle());
  TTaskEvent event;
  while (!event.ScanDone) {
    TMessage message;
    if (!Queue.WaitPop(message, std::chrono::seconds(1)))
      continue;
    event = Downloader.HandleTaskEvent(message, window.Handle());
    if (live && event.ScanPercent >= 0) {
      std::fprintf(stderr, "\rLoading..%d%%", event.ScanPercent);
      std::fflush(stderr);
    }
  }
  if (live)
    std::fputs("\r\x1b[K", stderr);
  if (!event.ScanError.empty()) {
    std::cerr << "could not fetch the page: " << ShowLine(event.ScanError) << '\n';
    return false;
  }
  return true;
}

} // namespace

int RunDownload(const TCliOptions& Options)
{
  TMessageQueue queue;
  TStopSignal stop([&queue] { queue.Interrupt(); });
  // Nothing to save while the page is fetched: Ctrl-C leaves at once.
  stop.SetExitAtOnce(true);

  TVellicorer downloader;
  ConfigureClient(downloader.HTTP(), Options);
  if (!ScanPage(downloader, queue, Options.URL))
    return 3;
  if (downloader.Tasks().Count() == 0) {
    std::cerr << "no movies found on " << ShowText(Options.URL) << '\n';
    return 3;
  }
  downloader.SetOutputFolder(Options.Folder.empty() ? "." : Options.Folder);
  downloader.Retries = Options.Retries;
  downloader.Resume = Options.Continue;

  const TOutputMode mode = Options.Json                   ? TOutputMode::Json
                           : ::isatty(STDOUT_FILENO) != 0 ? TOutputMode::Terminal
                                                          : TOutputMode::Lines;
  TProgressView view(mode, std::cout, downloader.Tasks().Count());
  TCliWindow window(downloader, view, queue);
  stop.SetExitAtOnce(false);
  const int status = window.Run(stop);
  if (status != 130)
    return status;
  const bool terminated = stop.SignalNumber() == SIGTERM;
  std::cerr << window.StopNote(terminated ? "SIGTERM" : "Ctrl-C") << '\n';
  return terminated ? 128 + SIGTERM : status;
}

int RunScan(const TCliOptions& Options)
{
  TMessageQueue queue;
  TStopSignal stop([&queue] { queue.Interrupt(); });
  stop.SetExitAtOnce(true);

  TVellicorer downloader;
  ConfigureClient(downloader.HTTP(), Options);
  if (!ScanPage(downloader, queue, Options.URL))
    return 3;
  const TSWFTaskList& tasks = downloader.Tasks();
  std::size_t row = 0;
  for (; row < tasks.Count(); ++row) {
    const std::string& link = tasks.Items(row)->URL;
    if (Options.Json) {
      nlohmann::ordered_json line;
      line["row"] = row + 1;
      line["url"] = link;
      line["file"] = nullptr;
      line["size"] = nullptr;
      line["state"] = "found";
      line["error"] = nullptr;
      std::cout << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
      std::cout << ShowText(link) << '\n';
    }
  }
  std::cout << std::flush;
  if (tasks.Count() == 0) {
    std::cerr << "no movies found on " << ShowText(Options.URL) << '\n';
    return 3;
  }
  return 0;
}

int RunTrace()
{
  TMessageQueue queue;
  TStopSignal stop([&queue] { queue.Interrupt(); });
  TTraceListener listener;
  const std::string error = listener.Open();
  if (!error.empty()) {
    std::cerr << "cannot listen for trace lines at " << TraceSocketPath() << ": " << error << '\n';
    return 1;
  }
  std::cerr << "listening at " << TraceSocketPath() << "; Ctrl-C ends\n";
  while (!stop.Requested()) {
    if (auto line = listener.Receive(std::chrono::milliseconds(200)))
      std::cout << ShowLine(*line) << std::endl;
  }
  return 0;
}

} // namespace quenloft

#include "cli/Commands.h"

#include "cli/CliWindow.h"
#include "cli/OutputText.h"
#include "cli/ProgressView.h"
#include "cli/StopSignal.h"
#include "http/ClientSettings.h"
#include "download/Vellicorer.h"
#include "http/IdHTTP.h"
#include "platform/Trace.h"
#include "scan/URLSWFParse.h"

#include <nlohmann/json.hpp>

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
}

// Scans the page as the window does. False (with the reason on stderr) when
// the page could not be fetched; "no movies" is then not the right message.
bool ScanPage(TIdHTTP& HTTP, const std::string& URL, std::vector<std::string>& Links)
{
  const bool live = ::isatty(STDERR_FILENO) != 0;
  TURLSWFParser parser;
  parser.FHTTP = &HTTP;
  parser.FURL = URL;
  if (live)
    parser.OnLoadProgress = [](std::uint8_t Percent) {
      std::fprintf(stderr, "\rLoading..%d%%", Percent);
      std::fflush(stderr);
    };
  parser.FindLinks(Links);
  if (live)
    std::fputs("\r\x1b[K", stderr);
  if (!parser.LastError().empty()) {
    std::cerr << "could not fetch the page: " << ShowLine(parser.LastError()) << '\n';
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

  TIdHTTP http;
  ConfigureClient(http, Options);
  std::vector<std::string> links;
  if (!ScanPage(http, Options.URL, links))
    return 3;

  TVellicorer downloader(&http);
  downloader.AddTasks(links);
  if (downloader.Tasks().Count() == 0) {
    std::cerr << "no movies found on " << ShowText(Options.URL) << '\n';
    return 3;
  }
  downloader.SetOutputFolder(Options.Folder.empty() ? "." : Options.Folder);

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

  TIdHTTP http;
  ConfigureClient(http, Options);
  std::vector<std::string> links;
  if (!ScanPage(http, Options.URL, links))
    return 3;
  std::size_t row = 0;
  for (const auto& link : links) {
    ++row;
    if (Options.Json) {
      nlohmann::ordered_json line;
      line["row"] = row;
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
  if (links.empty()) {
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

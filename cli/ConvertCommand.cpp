#include "cli/ConvertCommand.h"

#include "cli/CommandPrograms.h"

#include "cli/StopSignal.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <QGuiApplication>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>

#include <unistd.h>

namespace quenloft {
namespace {

struct TConvertArgs {
  convert::TConvertOptions Options;
  std::string Size;
  std::string Quality = "high";
  double MaxMinutes = 30;
  bool Json = false;
};

std::string Clock(double Seconds)
{
  const long s = std::lround(std::max(0.0, Seconds));
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// The speed against real time: seconds of output per second of work.
double Speed(const convert::TProgress& P)
{
  return P.Elapsed > 0 && P.Fps > 0 ? P.Frames / P.Fps / P.Elapsed : 0;
}

nlohmann::ordered_json ProgressJson(const convert::TProgress& P)
{
  nlohmann::ordered_json line;
  line["state"] = "converting";
  line["frames"] = P.Frames;
  line["total"] = P.Total ? nlohmann::ordered_json(*P.Total) : nlohmann::ordered_json(nullptr);
  line["elapsed"] = std::round(P.Elapsed * 1000) / 1000;
  line["speed"] = std::round(Speed(P) * 100) / 100;
  if (P.Total && P.Frames > 0)
    line["left"] = std::round(P.Elapsed / P.Frames * (*P.Total - P.Frames) * 10) / 10;
  else
    line["left"] = nullptr;
  return line;
}

void PrintJson(const nlohmann::ordered_json& Line)
{
  std::cout << Line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << std::endl;
}

// Fonts for text in device fonts need a running application; one without a
// display is made (its notes about the session are not the user's business).
std::unique_ptr<QGuiApplication> FontApplication()
{
  if (QGuiApplication::instance())
    return nullptr;
  static int argc = 3;
  static char name[] = "quenloft-cli";
  static char platform[] = "-platform";
  static char offscreen[] = "offscreen";
  static char* argv[] = {name, platform, offscreen, nullptr};
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  return std::make_unique<QGuiApplication>(argc, argv);
}

int RunConvert(TConvertArgs& Args)
{
  convert::TConvertOptions& options = Args.Options;
  if (!Args.Size.empty()) {
    int w = 0, h = 0;
    char rest = 0;
    if (std::sscanf(Args.Size.c_str(), "%dx%d%c", &w, &h, &rest) != 2) {
      std::cerr << "quenloft-cli: --size takes WIDTHxHEIGHT, such as 640x480\n";
      return 2;
    }
    options.Width = w;
    options.Height = h;
  }
  options.Level = convert::QualityNamed(Args.Quality).value_or(convert::Quality::High);
  options.MaxSeconds = Args.MaxMinutes * 60;

  std::atomic<bool> cancel{false};
  TStopSignal stop([&cancel] { cancel = true; });
  const auto fonts = FontApplication();
  const bool live = !Args.Json && ::isatty(STDERR_FILENO) != 0;
  const auto onProgress = [&](const convert::TProgress& P) {
    if (Args.Json)
      PrintJson(ProgressJson(P));
    else if (live)
      std::cerr << '\r' << ConvertProgressLine(P) << "\x1b[K" << std::flush;
  };
  try {
    convert::TConverter converter(options);
    converter.ProgressInterval = Args.Json ? 0.5 : 0.2;
    const convert::TResult result = converter.Run(cancel, onProgress);
    if (live)
      std::cerr << '\n';
    if (Args.Json) {
      nlohmann::ordered_json line;
      line["state"] = "done";
      line["files"] = result.Files;
      line["frames"] = result.Frames;
      line["width"] = result.Plan.Width;
      line["height"] = result.Plan.Height;
      line["fps"] = result.Plan.Fps;
      line["elapsed"] = std::round(result.Elapsed * 1000) / 1000;
      line["draw"] = std::round(result.Spent.Draw * 1000) / 1000;
      line["colour"] = std::round(result.Spent.Colour * 1000) / 1000;
      line["encode"] = std::round(result.Spent.Encode * 1000) / 1000;
      PrintJson(line);
    } else {
      for (const std::string& file : result.Files)
        std::cout << file << '\n';
    }
    return 0;
  } catch (const convert::EConvertCancelled&) {
    if (live)
      std::cerr << '\n';
    const bool terminated = stop.SignalNumber() == SIGTERM;
    std::cerr << "stopped by " << (terminated ? "SIGTERM" : "Ctrl-C") << "; the unfinished output was removed\n";
    if (Args.Json)
      PrintJson({{"state", "stopped"}});
    return terminated ? 128 + SIGTERM : 130;
  } catch (const std::exception& e) {
    if (live)
      std::cerr << '\n';
    std::cerr << "quenloft-cli: " << e.what() << '\n';
    if (Args.Json)
      PrintJson({{"state", "failed"}, {"error", e.what()}});
    return 1;
  }
}

} // namespace

std::string ConvertProgressLine(const convert::TProgress& P)
{
  std::string line;
  if (P.Total && *P.Total > 0) {
    constexpr int width = 24;
    const auto filled = static_cast<int>(std::min<std::uint64_t>(width, P.Frames * width / *P.Total));
    line = "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] " + std::to_string(P.Frames) +
           "/" + std::to_string(*P.Total) + " frames";
  } else {
    line = std::to_string(P.Frames) + " frames";
  }
  char speed[32];
  std::snprintf(speed, sizeof speed, ", %.1fx real time", Speed(P));
  line += speed;
  if (P.Total && P.Frames > 0)
    line += ", " + Clock(P.Elapsed / P.Frames * (*P.Total - P.Frames)) + " left";
  return line;
}

void AddConvertCommand(CLI::App& App, int& ExitCode)
{
  auto args = std::make_shared<TConvertArgs>();
  convert::TConvertOptions& o = args->Options;
  CLI::App* cmd = App.add_subcommand("convert", HandedCommandDescription("convert"));
  cmd->add_option("FILE", o.Input, "Movie file (.swf)")->required();
  cmd->add_option("-o,--output", o.Output, "File to write; .mp4, .webm, .gif, .mp3 or .html")->required();
  auto* size = cmd->add_option("--size", args->Size, "Picture size WIDTHxHEIGHT (the stage is fitted in)");
  cmd->add_option("--scale", o.Scale, "Times the stage size")->default_str("1")->check(CLI::PositiveNumber)->excludes(size);
  cmd->add_option("--fps", o.Fps, "Frames per second (the movie's own by default)");
  auto* frames = cmd->add_option("--frames", o.Frames, "Length in output frames")->check(CLI::PositiveNumber);
  cmd->add_option("--seconds", o.Seconds, "Length in seconds")->check(CLI::PositiveNumber)->excludes(frames);
  cmd->add_option("--quality", args->Quality, "low, medium, high or best")
      ->default_str("high")
      ->check(CLI::IsMember({"low", "medium", "high", "best"}));
  cmd->add_option("--max-minutes", args->MaxMinutes, "Length limit in minutes")
      ->default_str("30")
      ->check(CLI::PositiveNumber);
  cmd->add_flag("--json", args->Json, "One JSON object per progress step and a last one with the outcome");
  cmd->callback([args, &ExitCode] { ExitCode = RunConvert(*args); });
}

} // namespace quenloft

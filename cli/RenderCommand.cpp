#include "cli/RenderCommand.h"

#include "cli/CommandPrograms.h"
#include "cli/MoviePlayback.h"

#include <CLI/CLI.hpp>

#include <QGuiApplication>

#include <cmath>
#include <iostream>
#include <memory>
#include <variant>

#include "swf/FileLoader.h"
#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/avm1/Player.h"
#include "platform/Trace.h"
#include "swf/render/Renderer.h"

namespace quenloft {
namespace {

swf::render::Quality QualityNamed(const std::string& Name)
{
  if (Name == "low")
    return swf::render::Quality::Low;
  if (Name == "medium")
    return swf::render::Quality::Medium;
  if (Name == "best")
    return swf::render::Quality::Best;
  return swf::render::Quality::High;
}

bool HasDeviceText(const swf::Movie& Movie)
{
  for (const auto& [id, character] : Movie.Dictionary) {
    const auto* text = std::get_if<swf::Text>(&character);
    if (text && text->Device)
      return true;
  }
  return false;
}

} // namespace

int RunRender(const TRenderOptions& Options)
{
  const std::optional<std::vector<TClick>> parsed = ParseClicks(Options.Clicks);
  if (!parsed)
    return 1;
  const std::vector<TClick>& clicks = *parsed;
  try {
    const std::shared_ptr<swf::Movie> movie = swf::ReadMovieFile(Options.File);
    // Fields in device fonts need the font database of a running
    // application: one without a display is made for them.
    std::unique_ptr<QGuiApplication> fonts;
    if (HasDeviceText(*movie) && !QGuiApplication::instance()) {
      static int argc = 3;
      static char name[] = "quenloft-cli";
      static char platform[] = "-platform";
      static char offscreen[] = "offscreen";
      static char* argv[] = {name, platform, offscreen, nullptr};
      // Qt's notes about the session (no runtime folder, no display) are
      // not the user's business here; our own errors are reported below.
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
      fonts = std::make_unique<QGuiApplication>(argc, argv);
    }
    // With script the movie plays up to the frame as the player would; the
    // bare timeline seeks there. The movie's trace lines are not shown.
    std::unique_ptr<swf::avm1::Player> player;
    std::unique_ptr<swf::Timeline> bare;
    const swf::DisplayList* list = nullptr;
    const bool scripted = !Options.NoScript && swf::avm1::RunsScript(*movie);
    if (!clicks.empty() && !scripted) {
      std::cerr << Options.File << ": --click needs the movie's script to run\n";
      return 1;
    }
    if (scripted) {
      swf::avm1::PlayerOutput output;
      output.Files = swf::FolderLoader::Beside(Options.File);
      output.Log = [](std::string_view Message) { Trace("movie script: " + std::string(Message)); };
      player = std::make_unique<swf::avm1::Player>(movie, output);
      PlayTicks(*player, Options.Ticks > 0 ? Options.Ticks : Options.Frame, clicks);
      list = &player->List();
    } else {
      bare = std::make_unique<swf::Timeline>(movie);
      // Without script a tick is a frame of the root's, which stops at its end.
      const std::int64_t frame = Options.Ticks > 0 ? Options.Ticks : Options.Frame;
      bare->GotoFrame(static_cast<std::uint32_t>(std::min<std::int64_t>(frame, 0x7FFFFFFF) - 1));
      list = &bare->List();
    }
    swf::render::Renderer renderer(movie);
    const QSize stage = renderer.StageSize();
    const double w = std::round(stage.width() * Options.Scale);
    const double h = std::round(stage.height() * Options.Scale);
    // Sizes far out of range are left to the renderer's own refusal.
    const auto side = [](double V) { return static_cast<int>(std::clamp(V, -1.0, 1e6)); };
    const QImage frame =
        renderer.RenderFrame(*list, QSize(side(w), side(h)), QualityNamed(Options.Quality));
    if (!frame.save(QString::fromStdString(Options.Output), "PNG")) {
      std::cerr << Options.Output << ": cannot write the image\n";
      return 1;
    }
    return 0;
  } catch (const swf::EMovieError& e) {
    std::cerr << Options.File << ": not a movie that can be read: " << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << Options.File << ": " << e.what() << '\n';
  }
  return 1;
}

void AddRenderCommand(CLI::App& App, int& ExitCode)
{
  auto options = std::make_shared<TRenderOptions>();
  CLI::App* render = App.add_subcommand("render", HandedCommandDescription("render"));
  render->add_option("FILE", options->File, "Movie file (.swf)")->required();
  render->add_option("-o,--output", options->Output, "PNG file to write")->required();
  CLI::Option* frame = render->add_option("--frame", options->Frame, "Root frame, counted from 1")
                           ->default_str("1")
                           ->check(CLI::PositiveNumber);
  render->add_option("--ticks", options->Ticks, "Ticks of the movie's clock played from the start, script included")
      ->check(CLI::Range(static_cast<std::int64_t>(1), static_cast<std::int64_t>(100000000)))
      ->excludes(frame);
  render->add_option("--click", options->Clicks, "Press and release at stage pixel X,Y after tick TICK (repeatable)")
      ->expected(1)
      ->take_all()
      ->type_name("X,Y@TICK");
  render->add_option("--scale", options->Scale, "Times the stage size")
      ->default_str("1")
      ->check(CLI::PositiveNumber);
  render->add_option("--quality", options->Quality, "Stage quality")
      ->default_str("high")
      ->check(CLI::IsMember({"low", "medium", "high", "best"}));
  render->add_flag("--no-script", options->NoScript, "Play the bare timeline without running script");
  render->callback([options, &ExitCode] { ExitCode = RunRender(*options); });
}

} // namespace quenloft

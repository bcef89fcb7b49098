// The pictures of a movie that script drives: the script machine's player
// plays it (frame scripts, timers and clip events on the movie's clock),
// exactly as `quenloft-cli run` and the preview pane play it. What the movie
// traces or asks of the outside world goes to the program's trace log.
//
// Threads: the thread that runs the conversion.
#pragma once

#include "convert/Sources.h"
#include "swf/avm1/Player.h"
#include "platform/Trace.h"

#include <string>

namespace quenloft::convert {

class TPlayerSource final : public TFrameSource {
public:
  // Sound, when given, hears every frame entered; it must outlive the source.
  explicit TPlayerSource(std::shared_ptr<const swf::Movie> Movie, TSoundSource* Sound = nullptr)
      : FSound(Sound), FPlayer(std::move(Movie), Output(Sound))
  {}

  const swf::DisplayList& List() const override { return FPlayer.List(); }
  void Advance() override
  {
    FPlayer.Advance();
    if (FSound && Stopped())
      FSound->RootStopped();
  }
  std::uint32_t CurrentFrame() const override { return FPlayer.Timeline().CurrentFrame(); }
  std::uint32_t TotalFrames() const override
  {
    return std::max<std::uint32_t>(1, FPlayer.Timeline().TotalFrames());
  }
  bool Stopped() const override { return !FPlayer.Timeline().Playing() || TotalFrames() == 1; }

private:
  static swf::avm1::PlayerOutput Output(TSoundSource* Sound)
  {
    swf::avm1::PlayerOutput out;
    out.Trace = [](std::string_view Line) { Trace("movie trace: " + std::string(Line)); };
    out.Log = [](std::string_view Message) { Trace("movie script: " + std::string(Message)); };
    if (Sound) {
      out.Frames = [Sound](const swf::Sprite& Timeline, std::uint32_t Frame) { Sound->FrameEntered(Timeline, Frame); };
      out.Sound = Sound->MovieSound();
    }
    return out;
  }

  TSoundSource* FSound;
  mutable swf::avm1::Player FPlayer;
};

} // namespace quenloft::convert

// Plays a movie with its script: the timeline for the display list, the
// script machine for DoAction, DoInitAction and clip events, in the order
// the player runs them.
//
// One frame (Advance): every clip steps as the timeline does; the frame
// scripts of the frames entered are queued (a clip's DoInitAction blocks
// ahead of its frame's other blocks) and run after the display list has
// changed; clip events (load, enterFrame, unload) run from the same queue;
// then the timers due on the movie's clock; then, at a safe point, the
// collector.
//
// Threads: one thread per player (the one that plays the movie). The trace
// and log callbacks run on it, inside Advance and the constructor.
#pragma once

#include "swf/FileLoader.h"
#include "swf/Timeline.h"
#include "swf/avm1/Input.h"

namespace quenloft::swf {
class TMovieSound;
}

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace quenloft::swf::avm1 {

struct PlayerOutput {
  // A `trace` line of the movie, exactly as the player writes it.
  std::function<void(std::string_view)> Trace;
  // A note for the program's trace log (uncaught errors, getURL and
  // fscommand requests that are never carried out, limits reached).
  std::function<void(std::string_view)> Log;
  // Every frame a timeline enters (the movie's sound follows them).
  swf::Timeline::FrameListener Frames;
  // The movie's sound, when it is heard: script's Sound objects and
  // stopAllSounds play and stop sounds in its mixer. Outlives the player.
  swf::TMovieSound* Sound = nullptr;
  // The wall-clock time the movie starts at, in milliseconds since 1970
  // UTC, for runs that must repeat exactly (script dates); NaN: the real
  // time.
  double StartTime = std::numeric_limits<double>::quiet_NaN();
  // The screen size System.capabilities reports, in pixels; 0: the
  // player's default.
  double ScreenWidth = 0, ScreenHeight = 0;
  // Where the files the movie loads come from (its own folder); none:
  // every load fails as a missing file does, and is logged.
  std::shared_ptr<const FileLoader> Files;
  // Actions one block may run before it is ended; 0: the player's own
  // limit (MaxActionsPerBlock). Fuzzing sets a small one.
  std::uint64_t BlockBudget = 0;
  // Actions all the blocks of one frame may run together; 0: no bound
  // but each block's. Fuzzing sets one.
  std::uint64_t FrameBudget = 0;
};

class PlayerImpl;

class Player {
public:
  // Shows the first frame and runs its scripts.
  Player(std::shared_ptr<const swf::Movie> Movie, PlayerOutput Output);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // One frame of the movie's clock: timeline, scripts, events, timers.
  void Advance();
  swf::Timeline& Timeline();
  const DisplayList& List();
  // The movie's sound changes (a pane opens or closes its output); null:
  // nobody hears it. Sounds script started in the old one are forgotten.
  void SetSound(swf::TMovieSound* Sound);
  // Frames advanced since the start.
  std::uint64_t Frames() const;

  // Input, handled at once (its scripts run before the call returns):
  // the pointer in stage pixels, keys by the player's key codes (Input.h)
  // with the character they type (0 for none), and typed text.
  void MouseMove(double X, double Y);
  void MouseDown(double X, double Y, MouseButton B = MouseButton::Left);
  void MouseUp(double X, double Y, MouseButton B = MouseButton::Left);
  void KeyDown(std::uint8_t Code, char32_t Char);
  void KeyUp(std::uint8_t Code, char32_t Char);
  void TextInput(char32_t Char);
  // How the pointer should look at its last position (its scripts may have
  // changed the stage under it since).
  PointerShape Shape();
  // An edit command for the focused text field, and the clipboard it
  // copies to and pastes from (UTF-8; the player's own, not the system's).
  void Command(TextCommand C);
  void SetClipboard(std::string_view Text);
  std::string Clipboard() const;

  // Heap figures, for benchmarks and the log.
  std::size_t LiveObjects() const;
  std::size_t LiveBytes() const;

private:
  std::unique_ptr<PlayerImpl> FImpl;
};

// True when the player runs this movie's script: ActionScript 1 and 2;
// ActionScript 3 (DoABC) is not run.
bool RunsScript(const swf::Movie& Movie);

} // namespace quenloft::swf::avm1

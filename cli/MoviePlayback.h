// How `run` and `render` play a scripted movie, so both see the same
// frames: one tick is one frame of the movie's clock; tick 1 is the
// player's first frame (shown when it is made), each further tick one
// Advance. The clicks given for tick T press and release the left button at
// their stage pixel right after tick T has played, in the order given. The
// pointer rests where it is until a click moves it there: with no clicks
// the movie hears nothing of the mouse.
//
// Threads: the caller's (the player's) thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenloft {

namespace swf::avm1 {
class Player;
}

struct TClick {
  double X = 0, Y = 0;   // stage pixels
  std::int64_t Tick = 1; // from 1
};

// "X,Y@TICK" (X and Y numbers, TICK a whole number from 1); nullopt for
// anything else.
std::optional<TClick> ParseClick(const std::string& Text);
// Every --click of a command; nullopt, with the message written to
// standard error, when one is not of that form.
std::optional<std::vector<TClick>> ParseClicks(const std::vector<std::string>& Texts);

// Plays P from its first tick (already shown) to tick Ticks with Clicks.
void PlayTicks(swf::avm1::Player& P, std::int64_t Ticks, const std::vector<TClick>& Clicks);

} // namespace quenloft

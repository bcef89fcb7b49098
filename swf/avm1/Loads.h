// What a playing movie loads: variables, text (LoadVars, XML), movies and
// images into clips and levels, through the FileLoader the program gives
// the player (the movie's own folder; never the network).
//
// A load reads its file when it is asked for and completes after the
// frame's scripts, as the player completes its downloads between frames:
// the loader's onData, the clip's new movie and its first frame, the
// MovieClipLoader's events. What is refused or missing goes to the
// program's trace log and fails as a missing file does in the player.
//
// Threads: the player's thread.
#pragma once

#include "swf/FileLoader.h"
#include "swf/avm1/Object.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quenloft::swf::avm1 {

class ClipObject;
class Machine;
class PlayerImpl;

class Loads {
public:
  Loads(PlayerImpl& Player, Machine& M, std::shared_ptr<const FileLoader> Files);

  // GetURL and GetURL2: a load into the clip Target (when the flags ask
  // for a clip), into a level ("_levelN"), variables, or a page (only
  // logged). Clip is the resolved target clip or nullptr.
  void GetUrl(const std::string& Url, const std::string& Target, Object* Clip, std::uint8_t Flags);

  // Text for Loader (LoadVars, XML): Loader.onData(text) after the frame,
  // or onData() with no text when the file cannot be had. What names the
  // call in the log ("LoadVars.load").
  void LoadText(Object* Loader, const std::string& Url, std::string_view What);
  // loadVariables: the file's name=value pairs become variables of Clip.
  void LoadVariables(Object* Clip, const std::string& Url);
  // loadMovie into a clip (Level < 0) or level Level; Listener: the
  // MovieClipLoader that hears of it. False when nothing was started.
  bool LoadMovie(Object* Clip, int Level, const std::string& Url, Object* Listener);
  // unloadMovie: after the frame the clip shows nothing (a level goes
  // away) and hears onUnload; a load still on its way to it is dropped.
  void Unload(Object* Clip, int Level);
  // The clip object of level N, or nullptr.
  Object* Level(int N);
  // Bytes a clip's movie came with, for getBytesLoaded/Total.
  double BytesOf(Object* Clip) const;
  // The address the movie of a clip that received a load came from, as
  // the script gave it; empty for any other clip.
  std::string UrlOf(Object* Clip) const;

  // Broadcaster.broadcastMessage(Event, Broadcaster) after the frame, as
  // a dialog the person closed answers (FileReference.onCancel).
  void Announce(Object* Broadcaster, std::string Event);

  // Completes what was asked for up to now (more loads asked for while
  // completing are completed too, within a bound).
  void Complete();
  void Trace(Marker& M) const;

private:
  struct Pending {
    enum class Kind { Text, Variables, Movie, Unload, Event } Type = Kind::Text;
    Object* Target = nullptr;
    Object* Listener = nullptr;
    int Level = -1;
    std::string Url;
    LoadedFile File;
    // Unloaded before it arrived: the listener hears it start, no more.
    bool Cancelled = false;
  };
  LoadedFile Fetch(const std::string& Url, std::string_view What);
  void CompleteText(Pending& P);
  void CompleteVariables(Pending& P);
  void CompleteMovie(Pending& P);
  void CompleteUnload(Pending& P);
  void Notify(Object* Listener, std::string_view Event, std::vector<Value> Args);

  PlayerImpl& FPlayer;
  Machine& FM;
  std::shared_ptr<const FileLoader> FFiles;
  std::deque<Pending> FPending;
  struct Arrived {
    Object* Clip = nullptr;
    double Bytes = 0;
    std::string Url;
  };
  std::vector<Arrived> FArrived;
};

// The name=value pairs of a form-encoded text ("a=1&b=x%20y"), decoded
// ('+' reads as a space).
std::vector<std::pair<std::string, std::string>> DecodeForm(std::string_view Text);
// Escapes a name or value for a form-encoded text.
std::string EscapeForm(std::string_view Text);
// The level a target names ("_level3" -> 3), or -1.
int LevelNumber(std::string_view Target);

} // namespace quenloft::swf::avm1

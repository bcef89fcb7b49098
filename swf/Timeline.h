// The timeline: plays a Movie's frames into a display list.
//
// The root and every placed sprite keep their own frame counter; advancing
// one frame runs each of them one step, as the player does. The display list
// is the only thing the renderer reads.
//
// Threads: one thread at a time per Timeline; the Movie it reads is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "swf/Movie.h"

namespace quenloft::swf {

struct SpriteInstance;

// One placed character at one depth.
struct DisplayObject {
  swf::Depth Depth = 0;
  CharacterId Character = 0;
  std::string Name; // the instance name the PlaceObject gave; may be empty
  Matrix Transform;
  ColorTransform Color;
  std::uint16_t Ratio = 0;
  std::uint16_t ClipDepth = 0; // non-zero: a mask for the depths up to this one
  BlendMode Blend = BlendMode::Normal;
  bool Visible = true;
  bool CacheAsBitmap = false;
  // Script moved, scaled or coloured the object: the timeline's
  // PlaceObject changes no longer apply to it.
  bool ScriptMoved = false;
  std::shared_ptr<const FilterList> Filters; // null or empty: none
  // Set when the character is a sprite: its own playhead and display list.
  std::shared_ptr<SpriteInstance> Sprite;
  // Set once script has changed an edit field (or made one): what it shows
  // now, drawn instead of the character's own text.
  std::shared_ptr<const Text> Shown;
};

// Sorted by depth, lowest (drawn first) at the front.
using DisplayList = std::vector<DisplayObject>;

struct SpriteInstance {
  const swf::Sprite* Definition = nullptr;
  std::uint32_t CurrentFrame = 0; // from 0
  bool Playing = true;
  DisplayList List;
  // Where it sits: its parent (nullptr for the root), depth and name.
  SpriteInstance* Parent = nullptr;
  swf::Depth Depth = 0;
  std::string Name;
  // Set once the instance has left the display list for good.
  bool Removed = false;
  // The movie a clip plays after a load replaced its content (and a
  // level's movie); nullptr: the movie of its parent.
  std::shared_ptr<const swf::Movie> Loaded;
  // What script drew on the clip (the drawing methods); shown under its
  // display list. nullptr: nothing.
  std::shared_ptr<const Shape> Drawing;
  // The 9-slice grid the clip is drawn with, in twips of its own space: its
  // definition's until script sets scale9Grid.
  std::optional<Rect> ScalingGrid;
  // The script machine's object for this clip (owned there; see
  // TimelineHooks). Opaque to the timeline.
  void* Script = nullptr;
};

// A copy of List that no later frame changes: every sprite instance in it is
// copied too (with no parent and no script object), so another thread can
// draw it while the timeline plays on. Lists nested deeper than Levels
// (which nothing draws) are left out.
DisplayList DetachedCopy(const DisplayList& List, int Levels = 64);

// What the timeline tells a script machine. Calls come from Advance,
// GotoFrame, Goto and the constructor, on the timeline's thread.
class TimelineHooks {
public:
  virtual ~TimelineHooks() = default;
  // A sprite instance was made by a PlaceObject (P) and shows its first
  // frame; its own children were announced before it.
  virtual void Placed(SpriteInstance& Clip, const PlaceObject* P) = 0;
  // The instance reached Frame (by playing or by a goto): its scripts are
  // due. Called after the frame's display-list changes.
  virtual void FrameEntered(SpriteInstance& Clip, std::uint32_t Frame) = 0;
  // The instance left the display list (its children are announced first).
  virtual void Removed(SpriteInstance& Clip) = 0;
};

class Timeline {
public:
  // Told of every frame a timeline (the root or a sprite's definition)
  // enters by playing: the root's first frame, each step, a frame action's
  // goto, a sprite's first frame when it is placed; never of the frames a
  // GotoFrame seek passes through. The sound of a movie hangs on this.
  using FrameListener = std::function<void(const Sprite& Timeline, std::uint32_t Frame)>;

  explicit Timeline(std::shared_ptr<const swf::Movie> Movie, FrameListener Listener = {});

  const swf::Movie& Movie() const { return *FMovie; }
  const DisplayList& List() const { return FRoot.List; }

  // The root's frame shown, from 0.
  std::uint32_t CurrentFrame() const { return FRoot.CurrentFrame; }
  std::uint32_t TotalFrames() const;
  bool Playing() const { return FRoot.Playing; }
  void Play() { FRoot.Playing = true; }
  void Stop() { FRoot.Playing = false; }

  // Shows root frame N (from 0) exactly as playing from the start would
  // have shown it: backwards rebuilds from the first frame; a frame past the
  // end shows the last. Sprites are stepped along with the root. The root's
  // own frame actions do not stop or divert a seek, and Playing() stays as
  // it was.
  void GotoFrame(std::uint32_t Frame);

  // One tick of the player: the root (unless stopped) and every sprite
  // (unless stopped) advance one frame; the root loops at its end.
  void Advance();

  // With hooks set, the timeline no longer obeys the plain frame actions:
  // it reports frames entered, clips made and removed, and the script
  // machine behind the hooks decides. Set before the first Advance; the
  // constructor's first frame is announced again through Announce.
  void SetHooks(TimelineHooks* Hooks) { FHooks = Hooks; }
  // Who hears of every frame entered (sound); set before Announce so the
  // first frame is heard once.
  void SetFrameListener(FrameListener Listener) { FListener = std::move(Listener); }
  // Announces the root and what the first frame placed (after SetHooks).
  void Announce();
  SpriteInstance& Root() { return FRoot; }
  // A goto on one clip as script asks for it: the display list changes at
  // once; the hooks hear of the frame entered.
  void Goto(SpriteInstance& S, std::uint32_t Frame);
  // Steps one clip by one frame as the tick does, without its children.
  void StepClip(SpriteInstance& S, bool Forced);
  // Places a clip as script does (attachMovie, duplicateMovieClip,
  // createEmptyMovieClip) at depth D of Parent, replacing what is there.
  // Id 0 makes an empty clip of one frame. Like, when given, lends its
  // transform, colour and visibility. nullptr when Id is no sprite or a
  // limit refuses the clip.
  SpriteInstance* PlaceClip(SpriteInstance& Parent, CharacterId Id, swf::Depth D, const std::string& Name,
                            const DisplayObject* Like);
  // Takes a clip out of its parent's list (removeMovieClip).
  void RemoveClip(SpriteInstance& S);

  // Replaces what S plays with Movie's main timeline, as a load does: S
  // keeps its place, name and object; what it showed leaves; the new
  // movie's first frame shows. Movie nullptr empties S (an unload).
  void LoadInto(SpriteInstance& S, std::shared_ptr<const swf::Movie> Movie);
  // The root of level N (0: Root()), or nullptr when there is none.
  SpriteInstance* Level(int N);
  // Makes level N (N > 0) for Movie, replacing the level that was there;
  // its first frame shows. nullptr when N is out of range.
  SpriteInstance* MakeLevel(int N, std::shared_ptr<const swf::Movie> Movie);
  // Takes level N (N > 0) away.
  void RemoveLevel(int N);
  const std::vector<std::pair<int, std::shared_ptr<SpriteInstance>>>& Levels() const { return FLevels; }
  // The movie whose characters S places.
  const swf::Movie& MovieOf(const SpriteInstance* S) const;

  static constexpr int MaxLevel = 16000;

  // How many sprite instances were refused because they nested deeper than
  // MaxNesting or would pass MaxInstances (a sprite that places itself).
  std::uint64_t RefusedInstances() const { return FRefused; }

  static constexpr int MaxNesting = 64;
  static constexpr std::size_t MaxInstances = 50000;

private:
  void Reset(bool RunRootActions);
  void RunActions(SpriteInstance& S, std::uint32_t Frame, int Nesting, int Chain);
  void Step(SpriteInstance& S, int Nesting, bool Forced);
  void GotoInstance(SpriteInstance& S, std::uint32_t Frame, int Nesting);
  // Applies one frame's changes; with Nesting < 0 no sprite instance is
  // made (a plan for Merge).
  void Apply(SpriteInstance* Owner, DisplayList& List, const swf::Frame& F, int Nesting);
  void Merge(SpriteInstance& S, DisplayList Wanted, bool Rewind, int Nesting);
  std::shared_ptr<SpriteInstance> NewInstance(SpriteInstance* Parent, const DisplayObject& O,
                                              const PlaceObject* P, int Nesting);
  // Tells the hooks that S and everything in it left the display list.
  void Detach(SpriteInstance& S);
  int NestingOf(const SpriteInstance& S) const;
  void Entered(const SpriteInstance& S);

  std::shared_ptr<const swf::Movie> FMovie;
  SpriteInstance FRoot;
  std::shared_ptr<std::size_t> FLive = std::make_shared<std::size_t>(0);
  std::uint64_t FRefused = 0;
  TimelineHooks* FHooks = nullptr;
  FrameListener FListener;
  bool FSeeking = false;
  // Levels above 0 by number, lowest first.
  std::vector<std::pair<int, std::shared_ptr<SpriteInstance>>> FLevels;
  // Depths a goto's plan placed objects at, in the order it placed them.
  std::vector<Depth> FPlanned;
};

} // namespace quenloft::swf

// The player's inside: the timeline, the machine, the decoded-block cache
// and the action queue. Internal to swf/avm1.
//
// Threads: the player's thread.
#pragma once

#include "swf/Timeline.h"
#include "swf/avm1/ButtonObject.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Decoder.h"
#include "swf/avm1/Loads.h"
#include "swf/avm1/InputRouter.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/Player.h"
#include "swf/avm1/globals/TextFields.h"
#include "swf/avm1/ScriptSound.h"

#include <deque>
#include <memory>
#include <set>
#include <unordered_map>

namespace quenloft::swf::avm1 {

class PlayerImpl final : public TimelineHooks, public Host {
public:
  PlayerImpl(std::shared_ptr<const swf::Movie> Movie, PlayerOutput Output);
  ~PlayerImpl() override;

  void Advance();
  swf::Timeline& Timeline() { return FTimeline; }
  Machine& GetMachine() { return FMachine; }
  TextFields& Texts() { return FTexts; }
  ButtonObjects& Buttons() { return FButtons; }
  ScriptSound& Sounds() { return FSound; }
  std::uint64_t Frames() const { return FFrames; }

  // TimelineHooks
  void Placed(SpriteInstance& Clip, const PlaceObject* P) override;
  void FrameEntered(SpriteInstance& Clip, std::uint32_t Frame) override;
  void Removed(SpriteInstance& Clip) override;
  // Host
  void Trace(std::string_view Line) override;
  void Log(std::string_view Message) override;

  ClipObject* ObjectOf(SpriteInstance* S) const { return S ? static_cast<ClipObject*>(S->Script) : nullptr; }
  // Runs what is queued, including what running it queues.
  void RunQueue();
  InputRouter& Input() { return FInput; }
  // getBounds of an empty clip into another clip's space answers 0x8000000
  // twips once any getBounds ran in SWF 8 code or under an SWF 8 root, and
  // 0x7FFFFFF before.
  bool NewInvalidBounds = false;
  // The constructor registered for the clip's symbol, or nullptr.
  Object* RegisteredClass(ClipObject* Clip);
  // A clip script made: its class and the init object (ClipConstruct.cpp).
  void Construct(ClipObject* Clip, Object* Init);
  const swf::Movie& Movie() const { return *FMovie; }

private:
  struct Queued {
    ClipObject* Clip = nullptr;
    std::shared_ptr<const ActionBlock> Block; // a frame script or clip event
    Atom Handler = 0;                         // or a handler method (onLoad, onEnterFrame)
    Atom Method = 0;                          // or this method of Clip (input events)...
    Object* Broadcaster = nullptr;            // ... or of Broadcaster's listeners
  };
  friend class InputRouter;
  // Version 0: the movie's own.
  std::shared_ptr<const ActionBlock> Decoded(const ActionBytes& Bytes, int Version = 0);
  void QueueEvent(ClipObject* Clip, std::uint32_t Event, Atom Handler);
  void QueueEnterFrames(SpriteInstance& S);
  // Gives the unnamed buttons of S's list their "instanceN" names.
  void NameButtons(SpriteInstance& S);
  void TraceRoots(Marker& M);
  void TraceTree(Marker& M, SpriteInstance& S);

  // What the timeline reported during one step: queued in reverse, so
  // clips that were there step before their parents and clips placed by a
  // frame run after the frame's own scripts, as in the player.
  struct Note {
    ClipObject* Clip = nullptr;
    std::uint32_t Frame = 0;
    std::uint32_t Event = 0; // ClipLoad or ClipUnload; 0 for a frame
    ClipObject* Parent = nullptr;
    bool New = false; // the clip was placed during this step
    swf::Depth Depth = 0; // where an unloaded clip was
  };
  void Flush();
  void FlushNew(ClipObject* Clip, std::vector<Note>& Notes, std::vector<bool>& Done);
  void FlushGone(ClipObject* Clip, std::vector<Note>& Notes, std::vector<bool>& Done);
  void QueueNote(const Note& N);
  void QueueFrame(ClipObject* Clip, std::uint32_t Frame);
  // The frame's scripts with the new clips among Notes it placed, in file
  // order.
  void QueueFrameWith(ClipObject* Clip, std::uint32_t Frame, std::vector<Note>& Notes, std::vector<bool>& Done);
  // Clips the timeline placed wait here for their initialize and construct
  // events and class, which run ahead of the rest of the queue.
  void QueueConstruct(ClipObject* Clip);
  void RunConstructs();

  std::shared_ptr<const swf::Movie> FMovie;
  PlayerOutput FOutput;
  Machine FMachine;
  TextFields FTexts{FMachine};
  ButtonObjects FButtons{FMachine};
  ScriptSound FSound;
  std::unordered_map<const void*, std::shared_ptr<const ActionBlock>> FDecoded;
  std::set<const void*> FInitDone;
  std::deque<Queued> FQueue;
  std::deque<Queued> FInits; // DoInitAction blocks: ahead of everything
  std::vector<ClipObject*> FConstructing;
  std::vector<Note> FNotes;
  std::set<ClipObject*> FNewThisStep;
  std::set<ClipObject*> FLoadPending; // placed by script, load not yet queued
  bool FBuffering = false;
  // Clip events of each clip, from its PlaceObject.
  std::unordered_map<ClipObject*, const std::vector<ClipAction>*> FClipActions;
  std::uint64_t FFrames = 0;
  std::uint64_t FInstances = 0; // clips named "instanceN" so far
  bool FRunning = false;
  std::unique_ptr<Loads> FLoads;
  Atom FOnLoad = 0, FOnEnterFrame = 0, FOnUnload = 0;
  InputRouter FInput{*this};
  // Last: its constructor announces the first frame through the hooks.
  swf::Timeline FTimeline;
};

} // namespace quenloft::swf::avm1

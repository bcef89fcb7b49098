// The script object of a movie clip: the timeline's SpriteInstance seen from
// script. Display properties (_x, _alpha, _currentframe...) and named
// children are computed properties; timeline control goes to the player.
//
// A clip removed from the display list keeps its object (script may hold
// it) but Instance() is then nullptr and its methods do nothing.
//
// Threads: the machine's thread.
#pragma once

#include "swf/Timeline.h"
#include "swf/avm1/ClipDrawing.h"
#include "swf/avm1/Object.h"
#include "swf/avm1/ScriptSound.h"

#include <memory>
#include <string>

namespace quenloft::swf::avm1 {

class PlayerImpl;

class ClipObject final : public Object {
public:
  ClipObject(Object* Proto, PlayerImpl& Player, SpriteInstance* Instance)
      : Object(Proto), FPlayer(Player), FInstance(Instance)
  {
  }

  SpriteInstance* Instance() const { return FInstance; }
  void Detach() { FInstance = nullptr; }
  PlayerImpl& Player() const { return FPlayer; }

  ClipObject* Parent() const;
  ClipObject* RootClip() const;
  // The named child (a clip), or nullptr.
  ClipObject* Child(Machine& M, Atom Name) const;
  // The target path in dot form ("_level0.a.b") and slash form ("/a/b").
  std::string DotPath() const;
  std::string SlashPath() const;

  // Timeline control; frames count from 0.
  void Play();
  void Stop();
  void GotoFrame(std::uint32_t Frame, bool AndPlay);
  // False when the label is not on the clip's timeline.
  bool GotoLabel(std::string_view Label, bool AndPlay);
  void NextFrame();
  void PrevFrame();
  std::uint32_t CurrentFrame() const { return FInstance ? FInstance->CurrentFrame : 0; }
  std::uint32_t TotalFrames() const;

  // duplicateMovieClip: a copy under the same parent at Depth, named Name;
  // nullptr when there is no such copy to make.
  ClipObject* Duplicate(Machine& M, const std::string& Name, double Depth, Object* Init);
  // removeMovieClip: only clips made by script (depth 0 and up in the
  // player's numbering) can be removed.
  void Remove();
  // attachMovie (an exported symbol) and createEmptyMovieClip (Id 0): a new
  // child at script depth Depth; nullptr when it cannot be made.
  ClipObject* Attach(Machine& M, CharacterId Id, const std::string& Name, double Depth);
  // The depth as script numbers it (timeline depths from -16384).
  double ScriptDepth() const { return FInstance ? static_cast<double>(FInstance->Depth) - 16384 : 0; }

  // The colour transform of the clip's placement (Color objects change
  // it); nullptr for the root or a removed clip.
  swf::ColorTransform* ColorTransformOf() const
  {
    DisplayObject* o = Placement();
    return o ? &o->Color : nullptr;
  }

  // The volume and pan of the sounds script starts for this clip (a
  // Sound object targeting it sets them).
  SoundLevels Levels;
  // Script changed the clip's transform or colour: the timeline leaves
  // them alone from now on.
  void MarkScriptMoved()
  {
    if (DisplayObject* o = Placement())
      o->ScriptMoved = true;
  }

  // The drawing methods work on this; Drew() shows what they made.
  ClipDrawing& Drawing()
  {
    if (!FDrawing)
      FDrawing = std::make_unique<ClipDrawing>();
    return *FDrawing;
  }
  void Drew()
  {
    if (FInstance && FDrawing)
      FInstance->Drawing = FDrawing->Made();
  }

  bool GetOwnVirtual(Machine& M, Atom Name, Value& Out) override;
  bool SetOwnVirtual(Machine& M, Atom Name, Value V) override;
  bool HasOwnVirtual(Machine& M, Atom Name) override;
  void OwnVirtualNames(Machine& M, std::vector<Atom>& Out) override;
  std::string_view TypeName() const override { return "movieclip"; }
  const String* DisplayPath(Machine& M) override;

  // The placement that holds the clip in its parent (for the root, one of
  // its own); nullptr for a removed clip.
  DisplayObject* Placement() const;

private:
  // Scale and rotation as script last saw or set them: the player reports
  // them from these (a negative scale stays negative) until the matrix
  // changes under them.
  struct ScaleRotation {
    double ScaleX = 1, ScaleY = 1, Rotation = 0, Skew = 0;
  };
  ScaleRotation Cached();
  void Store(const ScaleRotation& R);
  bool GetDisplay(Machine& M, std::string_view Lower, Value& Out);
  bool SetDisplay(Machine& M, std::string_view Lower, Value V);
  void SetSize(double Pixels, bool Width);

  PlayerImpl& FPlayer;
  SpriteInstance* FInstance;
  mutable DisplayObject FRootPlacement;
  std::unique_ptr<ClipDrawing> FDrawing;
  ScaleRotation FCache;
  Matrix FCachedFor;
  bool FHasCache = false;
  bool FLockRoot = false;
  int FFocusRect = -1; // -1: not set (null), else false or true
};

} // namespace quenloft::swf::avm1

// Buttons (and videos) the timeline placed, seen from script: an object per
// placement with the display properties (_x, _name, _target...), the
// Button prototype's (enabled, useHandCursor, getDepth) and the handlers
// script gives it (onPress, onKeyDown...), which the input router calls.
//
// Like a text field's, the object finds its placement in its parent clip's
// list by depth and character; once the placement is gone it stays,
// detached, and its display properties read as undefined.
//
// Threads: the machine's thread.
#pragma once

#include "swf/Timeline.h"
#include "swf/avm1/Object.h"

#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

class ClipObject;

class ButtonObject final : public Object {
public:
  ButtonObject(Object* Proto, ClipObject* Parent, swf::Depth D, CharacterId Id)
      : Object(Proto), FParent(Parent), FDepth(D), FCharacter(Id)
  {
  }

  DisplayObject* Placement() const;
  ClipObject* ParentClip() const { return FDetached ? nullptr : FParent; }
  swf::Depth Depth() const { return FDepth; }
  void Detach() { FDetached = true; }
  bool Matches(const ClipObject* Parent, swf::Depth D, CharacterId Id) const
  {
    return !FDetached && FParent == Parent && FDepth == D && FCharacter == Id;
  }
  // The placement's button character; nullptr for a video or once detached.
  const Button* Definition() const;
  std::string DotPath() const;
  std::string SlashPath() const;

  // Set from script: tabIndex (undefined: none) and tabEnabled.
  Value TabIndex;

  bool GetOwnVirtual(Machine& M, Atom Name, Value& Out) override;
  bool SetOwnVirtual(Machine& M, Atom Name, Value V) override;
  bool HasOwnVirtual(Machine& M, Atom Name) override;
  const String* DisplayPath(Machine& M) override;
  void Trace(Marker& M) override;

private:
  ClipObject* FParent;
  swf::Depth FDepth;
  CharacterId FCharacter;
  bool FDetached = false;
};

// The player's button objects, traced as roots while placed.
class ButtonObjects {
public:
  explicit ButtonObjects(Machine& M);
  // The object of the button or video placed at O in Parent's list, made on
  // first use; nullptr when O is neither (or the movie predates buttons as
  // objects: SWF 5 and older).
  ButtonObject* Of(Machine& M, ClipObject& Parent, const DisplayObject& O);
  // Every live object (the focus and tab order walk them).
  const std::vector<ButtonObject*>& All() const { return FButtons; }

private:
  void TraceLive(Marker& M);
  std::vector<ButtonObject*> FButtons;
};

// What a child name of a clip resolves to: a clip, a text field, a button
// or video object; another named character (a shape, a static text)
// resolves to its parent. Undefined when Parent has no child of that name.
Value NamedChild(Machine& M, ClipObject& Parent, Atom Name);

} // namespace quenloft::swf::avm1

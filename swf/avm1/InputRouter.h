// Hands the pointer and the keys to the movie as the player does: clip
// events (mouseDown, keyUp...) and their methods to every clip, then the
// Mouse and Key listeners; after those have run, what the pointer is over
// is worked out again and the buttons (button characters and clips with
// button handlers) hear of roll-overs, presses, releases and drags.
//
// Threads: the player's thread (called from Player's input methods).
#pragma once

#include "swf/Timeline.h"
#include "swf/avm1/Atoms.h"
#include "swf/avm1/Input.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>
#include <string_view>

namespace quenloft::swf::avm1 {

class PlayerImpl;
class ClipObject;
class Object;
class Marker;

class InputRouter {
public:
  explicit InputRouter(PlayerImpl& Player) : FPlayer(Player) {}

  void MouseMove(double X, double Y);
  void MouseDown(double X, double Y, MouseButton B);
  void MouseUp(double X, double Y, MouseButton B);
  void KeyDown(std::uint8_t Code, char32_t Char);
  void KeyUp(std::uint8_t Code, char32_t Char);
  void TextInput(char32_t Char);

  // startDrag: Clip follows the pointer, its origin on it when LockCenter,
  // kept within Bounds (left, top, right, bottom in its parent's pixels)
  // when given; stopDrag ends it.
  struct DragBounds {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
  };
  void StartDrag(ClipObject* Clip, bool LockCenter, std::optional<DragBounds> Bounds);
  void StopDrag();
  // _droptarget: the slash path of what the pointer was over when Clip was
  // last dragged, or "".
  std::string DropTarget(ClipObject* Clip) const;

  // What has the keyboard focus (a clip, a button or a text field's
  // object), or nullptr.
  Object* Focus() const;
  // Selection.setFocus, from script: moves the focus to To (nullptr
  // clears it); the old one's onKillFocus(new), the new one's
  // onSetFocus(old), then Selection's listeners' onSetFocus(old, new) run
  // before it returns. False when To cannot take the focus.
  bool SetFocus(Object* To);
  // Tab: the focus moves to the next object of the tab order (the previous
  // one with Reverse): by tabIndex when any object has one, else by place
  // on the stage, left to right and top to bottom.
  void CycleFocus(bool Reverse);

  // How the pointer looks where it is now (PointerShape.cpp).
  PointerShape Shape();

  // The pointer in S's own coordinates, in pixels (_xmouse, _ymouse).
  Point PointerIn(const SpriteInstance& S) const;

  // A queued input method: Clip's own, or each of Broadcaster's listeners'.
  void RunMethod(ClipObject* Clip, Object* Broadcaster, Atom Method);
  void Mark(Marker& M) const;

private:
  // What the pointer can be over: a clip with button handlers, or a button
  // character placed in a clip.
  struct Target {
    ClipObject* Clip = nullptr; // the clip, or the clip holding the button
    swf::Depth Depth = 0;       // the button's depth in Clip
    const Button* Def = nullptr;
    friend bool operator==(const Target&, const Target&) = default;
  };
  enum class Change : std::uint8_t { RollOver, RollOut, Press, Release, ReleaseOutside, DragOver, DragOut };

  void Pointer(double X, double Y);
  // Every clip's clip event and method, then the listeners of Listeners.
  void Broadcast(std::uint32_t Event, std::string_view Method, std::string_view Listeners);
  void QueueClipEvents(SpriteInstance& S, std::uint32_t Event, Atom Method, bool Mouse);
  // Key presses: `on (keyPress)` of clips and buttons, first taker only.
  bool KeyPress(SpriteInstance& S, std::uint8_t ButtonKey);
  void UpdatePointer(bool Moved, bool LeftChanged);
  // The topmost button under the pointer; with Any, the topmost clip with
  // anything under it too (what a dragged clip is dropped on).
  std::optional<Target> Pick(bool Any);
  bool PickList(ClipObject* Holder, const DisplayList& List, const Matrix& Parent, Point P, bool Any,
                Target& Out);
  Point PointerTwips() const;
  void UpdateDrag();
  bool ButtonMode(ClipObject* Clip);
  // True when an input text field lies under P (twips) in S's list.
  bool OverInputText(ClipObject* Holder, const DisplayList& List, const Matrix& Parent, Point P, int Depth);
  bool Alive(const Target& T) const;
  void Fire(const Target& T, Change C);
  // Moves the focus and runs the focus handlers (SetFocus without its
  // checks).
  void MoveFocus(Object* To);
  // The objects Tab visits, in order.
  std::vector<Object*> TabOrder();
  void FillTabOrder(ClipObject* Clip, std::vector<Object*>& Out);
  bool Tabbable(Object* O);
  // Presses and releases the focused object as Enter or space does.
  void PressFocus();
  // The sound DefineButtonSound gives Button for C, when the movie is heard.
  void PlayButtonSound(CharacterId Button, Change C);

  PlayerImpl& FPlayer;
  std::optional<Target> FHovered, FPressed;
  ClipObject* FDragged = nullptr;
  Object* FFocus = nullptr;
  // The focus was set by script or the keyboard and no click has happened
  // since: keys reach the focused object's methods; Enter presses it.
  bool FHighlight = false;
  bool FLockCenter = false;
  std::optional<DragBounds> FBounds;
  Point FLastPointer; // twips, where the drag last followed the pointer
  std::unordered_map<ClipObject*, std::string> FDropTargets;
};

} // namespace quenloft::swf::avm1

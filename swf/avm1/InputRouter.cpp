#include "swf/avm1/InputRouter.h"

#include "swf/avm1/ButtonObject.h"
#include "swf/avm1/HitTest.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/sound/MovieSound.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace quenloft::swf::avm1 {

namespace {

constexpr std::uint32_t ButtonEvents =
    ClipPress | ClipRelease | ClipReleaseOutside | ClipRollOver | ClipRollOut | ClipDragOver | ClipDragOut;

constexpr std::array<std::string_view, 7> ButtonMethods = {
    "onRollOver", "onRollOut", "onPress", "onRelease", "onReleaseOutside", "onDragOver", "onDragOut"};

// The code `on (keyPress "<Left>")` waits for: the special keys have codes
// of their own; typed characters arrive as text.
std::uint8_t ButtonKeyOf(std::uint8_t Code)
{
  switch (Code) {
  case Keys::Left: return 1;
  case Keys::Right: return 2;
  case Keys::Home: return 3;
  case Keys::End: return 4;
  case Keys::Insert: return 5;
  case Keys::Delete: return 6;
  case Keys::Backspace: return 8;
  case Keys::Enter: return 13;
  case Keys::Up: return 14;
  case Keys::Down: return 15;
  case Keys::PageUp: return 16;
  case Keys::PageDown: return 17;
  case Keys::Tab: return 18;
  case Keys::Escape: return 19;
  default: return 0;
  }
}

} // namespace

void InputRouter::Pointer(double X, double Y)
{
  InputState& in = FPlayer.GetMachine().Input();
  in.MouseX = X;
  in.MouseY = Y;
}

void InputRouter::MouseMove(double X, double Y)
{
  const InputState& in = FPlayer.GetMachine().Input();
  const bool moved = X != in.MouseX || Y != in.MouseY;
  Pointer(X, Y);
  Broadcast(ClipMouseMove, "onMouseMove", "Mouse");
  FPlayer.RunQueue();
  UpdatePointer(moved, false);
  // The mouse ends what the keyboard's focus highlight allowed.
  FHighlight = false;
}

void InputRouter::MouseDown(double X, double Y, MouseButton B)
{
  InputState& in = FPlayer.GetMachine().Input();
  const bool moved = X != in.MouseX || Y != in.MouseY;
  Pointer(X, Y);
  const std::uint8_t code = KeyCodeOfButton(B);
  if (!in.Down[code])
    in.Toggled.flip(code);
  in.Down.set(code);
  in.LastCode = code;
  const bool left = B == MouseButton::Left && !in.ButtonDown;
  if (B == MouseButton::Left) {
    in.ButtonDown = true;
    if (left && FPlayer.Texts().Press(FPlayer.GetMachine(), PointerTwips()))
      FFocus = nullptr;
    Broadcast(ClipMouseDown, "onMouseDown", "Mouse");
  }
  FPlayer.RunQueue();
  UpdatePointer(moved, left);
  FHighlight = false;
}

void InputRouter::MouseUp(double X, double Y, MouseButton B)
{
  InputState& in = FPlayer.GetMachine().Input();
  const bool moved = X != in.MouseX || Y != in.MouseY;
  Pointer(X, Y);
  const std::uint8_t code = KeyCodeOfButton(B);
  in.Down.reset(code);
  in.LastCode = code;
  const bool left = B == MouseButton::Left && in.ButtonDown;
  if (B == MouseButton::Left) {
    in.ButtonDown = false;
    Broadcast(ClipMouseUp, "onMouseUp", "Mouse");
  }
  FPlayer.RunQueue();
  UpdatePointer(moved, left);
  FHighlight = false;
}

void InputRouter::KeyDown(std::uint8_t Code, char32_t Char)
{
  InputState& in = FPlayer.GetMachine().Input();
  in.LastChar = Char;
  if (Code != 0 && !in.Down[Code])
    in.Toggled.flip(Code);
  in.LastCode = Code;
  if (Code != 0)
    in.Down.set(Code);
  Broadcast(ClipKeyDown, "onKeyDown", "Key");
  // Key presses come after the key's own events; a key a button or clip
  // takes does not move or press the focus.
  bool taken = false;
  if (const std::uint8_t key = ButtonKeyOf(Code))
    taken = KeyPress(FPlayer.Timeline().Root(), key);
  if (!taken && Code == Keys::Tab)
    CycleFocus(in.Down[Keys::Shift]);
  else if (!taken && Code == Keys::Enter)
    PressFocus();
  FPlayer.RunQueue();
}

void InputRouter::KeyUp(std::uint8_t Code, char32_t Char)
{
  InputState& in = FPlayer.GetMachine().Input();
  in.LastChar = Char;
  in.LastCode = Code;
  if (Code != 0)
    in.Down.reset(Code);
  Broadcast(ClipKeyUp, "onKeyUp", "Key");
  FPlayer.RunQueue();
}

void InputRouter::TextInput(char32_t Char)
{
  // A key press handler takes the character before the focus does: a space
  // presses a focused button, anything else goes to a focused field.
  const bool taken = Char >= 32 && Char <= 126 && KeyPress(FPlayer.Timeline().Root(), static_cast<std::uint8_t>(Char));
  if (!taken && Char == ' ' && Focus() && !dynamic_cast<TextFieldObject*>(Focus()))
    PressFocus();
  else if (!taken)
    FPlayer.Texts().Type(FPlayer.GetMachine(), std::u32string(1, Char));
  FPlayer.RunQueue();
}

void InputRouter::Broadcast(std::uint32_t Event, std::string_view Method, std::string_view Listeners)
{
  Machine& m = FPlayer.GetMachine();
  const Atom method = m.Intern(Method);
  const bool mouse = Event == ClipMouseMove || Event == ClipMouseDown || Event == ClipMouseUp;
  QueueClipEvents(FPlayer.Timeline().Root(), Event, method, mouse);
  ClipObject* root = FPlayer.ObjectOf(&FPlayer.Timeline().Root());
  Object* broadcaster = m.Global()->Get(m, m.Intern(Listeners)).ObjectOrNull();
  if (root && broadcaster && FPlayer.FQueue.size() < MaxQueuedActions)
    FPlayer.FQueue.push_back({root, nullptr, 0, method, broadcaster});
}

void InputRouter::QueueClipEvents(SpriteInstance& S, std::uint32_t Event, Atom Method, bool Mouse)
{
  // Children first: the topmost first for the mouse, the lowest first for
  // keys; then the clip itself, its clip events before its method.
  ClipObject* clip = FPlayer.ObjectOf(&S);
  auto* focusedButton = Mouse || !FHighlight ? nullptr : dynamic_cast<ButtonObject*>(Focus());
  const auto child = [&](const DisplayObject& O) {
    if (O.Sprite)
      QueueClipEvents(*O.Sprite, Event, Method, Mouse);
    else if (focusedButton && clip && focusedButton->Matches(clip, O.Depth, O.Character) &&
             FPlayer.FQueue.size() < MaxQueuedActions)
      FPlayer.FQueue.push_back({clip, nullptr, 0, Method, focusedButton});
  };
  if (Mouse)
    for (auto it = S.List.rbegin(); it != S.List.rend(); ++it)
      child(*it);
  else
    for (const DisplayObject& o : S.List)
      child(o);
  if (!clip || FPlayer.FQueue.size() >= MaxQueuedActions)
    return;
  if (const auto it = FPlayer.FClipActions.find(clip); it != FPlayer.FClipActions.end())
    for (const ClipAction& a : *it->second)
      if (a.Events & Event)
        FPlayer.FQueue.push_back({clip, FPlayer.Decoded(a.Actions), 0});
  // A clip hears of keys in its methods only while it has the focus.
  if (Mouse || (clip == Focus() && FHighlight))
    FPlayer.FQueue.push_back({clip, nullptr, 0, Method, nullptr});
}

bool InputRouter::KeyPress(SpriteInstance& S, std::uint8_t ButtonKey)
{
  ClipObject* clip = FPlayer.ObjectOf(&S);
  if (!clip)
    return false;
  for (const DisplayObject& o : S.List) {
    if (!o.Visible)
      continue;
    if (o.Sprite) {
      if (KeyPress(*o.Sprite, ButtonKey))
        return true;
      continue;
    }
    const Character* c = FPlayer.Movie().Find(o.Character);
    const auto* button = c ? std::get_if<Button>(c) : nullptr;
    if (!button)
      continue;
    bool taken = false;
    for (const ButtonAction& a : button->Actions)
      if (a.KeyCode == ButtonKey && FPlayer.FQueue.size() < MaxQueuedActions) {
        FPlayer.FQueue.push_back({clip, FPlayer.Decoded(a.Actions), 0});
        taken = true;
      }
    if (taken)
      return true;
  }
  bool taken = false;
  if (const auto it = FPlayer.FClipActions.find(clip); it != FPlayer.FClipActions.end())
    for (const ClipAction& a : *it->second)
      if ((a.Events & ClipKeyPress) && a.KeyCode == ButtonKey && FPlayer.FQueue.size() < MaxQueuedActions) {
        FPlayer.FQueue.push_back({clip, FPlayer.Decoded(a.Actions), 0});
        taken = true;
      }
  return taken;
}

void InputRouter::RunMethod(ClipObject* Clip, Object* Broadcaster, Atom Method)
{
  Machine& m = FPlayer.GetMachine();
  // A button's own method comes in Broadcaster's place.
  if (auto* button = dynamic_cast<ButtonObject*>(Broadcaster)) {
    const Value handler = button->Placement() ? button->Get(m, Method) : Value();
    if (handler.IsObject())
      m.RunFunction(handler, button, {});
    return;
  }
  if (Broadcaster) {
    avm1::Broadcast(m, Broadcaster, m.Text(Method), {});
    return;
  }
  if (!Clip || !Clip->Instance())
    return;
  const Value handler = Clip->Get(m, Method);
  if (handler.IsObject())
    m.RunFunction(handler, Clip, {});
}

bool InputRouter::ButtonMode(ClipObject* Clip)
{
  if (const auto it = FPlayer.FClipActions.find(Clip); it != FPlayer.FClipActions.end())
    for (const ClipAction& a : *it->second)
      if (a.Events & ButtonEvents)
        return true;
  Machine& m = FPlayer.GetMachine();
  if (m.Version() < 6)
    return false;
  for (std::string_view name : ButtonMethods)
    if (Clip->Has(m, m.Intern(name)))
      return true;
  return false;
}

bool InputRouter::PickList(ClipObject* Holder, const DisplayList& List, const Matrix& Parent, Point P,
                           bool Any, Target& Out)
{
  Machine& m = FPlayer.GetMachine();
  const swf::Movie& movie = FPlayer.Movie();
  for (auto it = List.rbegin(); it != List.rend(); ++it) {
    const DisplayObject& o = *it;
    if (!o.Visible || o.ClipDepth != 0)
      continue;
    if (o.Sprite) {
      ClipObject* clip = FPlayer.ObjectOf(o.Sprite.get());
      if (!clip || (Any && clip == FDragged))
        continue;
      const Value enabled = clip->Get(m, m.Intern("enabled"));
      if ((enabled.IsUndefined() || enabled.ToBoolean(m.Version())) && ButtonMode(clip)) {
        if (HitsObject(movie, o, Parent, P)) {
          Out = {clip, 0, nullptr};
          return true;
        }
        continue;
      }
      if (PickList(clip, o.Sprite->List, Parent * o.Transform, P, Any, Out))
        return true;
      continue;
    }
    const Character* c = movie.Find(o.Character);
    const auto* button = c ? std::get_if<Button>(c) : nullptr;
    if ((button || Any) && HitsObject(movie, o, Parent, P)) {
      Out = {Holder, button ? o.Depth : swf::Depth{0}, button};
      return true;
    }
  }
  return false;
}

Point InputRouter::PointerTwips() const
{
  const InputState& in = FPlayer.GetMachine().Input();
  const Rect& stage = FPlayer.Movie().Stage;
  return {in.MouseX * 20 + stage.XMin, in.MouseY * 20 + stage.YMin};
}

std::optional<InputRouter::Target> InputRouter::Pick(bool Any)
{
  Machine& m = FPlayer.GetMachine();
  const InputState& in = m.Input();
  const Machine::Screen& screen = m.Display();
  if (in.MouseX < 0 || in.MouseY < 0 || in.MouseX >= screen.StageWidth || in.MouseY >= screen.StageHeight)
    return std::nullopt;
  SpriteInstance& root = FPlayer.Timeline().Root();
  Target t;
  if (PickList(FPlayer.ObjectOf(&root), root.List, Matrix{}, PointerTwips(), Any, t))
    return t;
  return std::nullopt;
}

void InputRouter::StartDrag(ClipObject* Clip, bool LockCenter, std::optional<DragBounds> Bounds)
{
  if (!Clip || !Clip->Instance() || !Clip->Instance()->Parent)
    return;
  FDragged = Clip;
  FLockCenter = LockCenter;
  FBounds = Bounds;
  FLastPointer = PointerTwips();
  UpdateDrag();
}

void InputRouter::StopDrag()
{
  FDragged = nullptr;
}

std::string InputRouter::DropTarget(ClipObject* Clip) const
{
  const auto it = FDropTargets.find(Clip);
  return it == FDropTargets.end() ? std::string() : it->second;
}

void InputRouter::UpdateDrag()
{
  if (!FDragged)
    return;
  SpriteInstance* s = FDragged->Instance();
  if (!s || !s->Parent) {
    FDragged = nullptr;
    return;
  }
  Machine& m = FPlayer.GetMachine();
  const Matrix parent = GlobalMatrix(*s->Parent);
  const std::optional<Matrix> inverse = Inverse(parent);
  if (!inverse)
    return;
  const Point pointer = PointerTwips();
  const Atom xName = m.Intern("_x"), yName = m.Intern("_y");
  Point at; // pixels in the parent
  if (FLockCenter) {
    const Point local = inverse->Apply(pointer);
    at = {local.X / 20, local.Y / 20};
  } else {
    const double dx = pointer.X - FLastPointer.X, dy = pointer.Y - FLastPointer.Y;
    at = {FDragged->Get(m, xName).ToNumber(m) + (inverse->A * dx + inverse->C * dy) / 20,
          FDragged->Get(m, yName).ToNumber(m) + (inverse->B * dx + inverse->D * dy) / 20};
  }
  if (FBounds) {
    at.X = std::clamp(at.X, std::min(FBounds->Left, FBounds->Right), std::max(FBounds->Left, FBounds->Right));
    at.Y = std::clamp(at.Y, std::min(FBounds->Top, FBounds->Bottom), std::max(FBounds->Top, FBounds->Bottom));
  }
  if (!FLockCenter) {
    // What the clamp held back stays owed to the pointer.
    const double ox = FDragged->Get(m, xName).ToNumber(m), oy = FDragged->Get(m, yName).ToNumber(m);
    const double mx = (at.X - ox) * 20, my = (at.Y - oy) * 20;
    FLastPointer.X += parent.A * mx + parent.C * my;
    FLastPointer.Y += parent.B * mx + parent.D * my;
  }
  FDragged->Set(m, xName, Value(at.X));
  FDragged->Set(m, yName, Value(at.Y));
  // Where it would be dropped: what is under the pointer, itself left out.
  std::string path;
  if (const std::optional<Target> under = Pick(true)) {
    path = under->Clip->SlashPath();
    if (under->Def)
      for (const DisplayObject& o : under->Clip->Instance()->List)
        if (o.Depth == under->Depth)
          path += (path == "/" ? "" : "/") + o.Name;
  }
  FDropTargets[FDragged] = path;
}

Point InputRouter::PointerIn(const SpriteInstance& S) const
{
  InputState& in = FPlayer.GetMachine().Input();
  const Rect& stage = FPlayer.Movie().Stage;
  const Point global{in.MouseX * 20 + stage.XMin, in.MouseY * 20 + stage.YMin};
  const std::optional<Matrix> inverse = Inverse(GlobalMatrix(S));
  if (!inverse)
    return {};
  const Point local = inverse->Apply(global);
  return {local.X / 20, local.Y / 20};
}

bool InputRouter::Alive(const Target& T) const
{
  SpriteInstance* s = T.Clip ? T.Clip->Instance() : nullptr;
  if (!s)
    return false;
  if (!T.Def)
    return true;
  for (const DisplayObject& o : s->List)
    if (o.Depth == T.Depth)
      return o.Character == T.Def->Id && !o.Sprite;
  return false;
}

void InputRouter::UpdatePointer(bool Moved, bool LeftChanged)
{
  if (FHovered && !Alive(*FHovered))
    FHovered.reset();
  if (FPressed && !Alive(*FPressed))
    FPressed.reset();
  UpdateDrag();
  const std::optional<Target> over = Pick(false);
  const bool down = FPlayer.GetMachine().Input().ButtonDown;
  std::vector<std::pair<Target, Change>> events;
  const bool skip = !Moved && !LeftChanged && FHovered;
  if (!skip && over != FHovered) {
    const std::optional<Target> was = FHovered;
    if (down) {
      if (FPressed && FPressed == was)
        events.emplace_back(*FPressed, Change::DragOut);
      else if (FPressed && FPressed == over)
        events.emplace_back(*FPressed, Change::DragOver);
      // While a clip is dragged the others hear nothing.
      if (was && was != FPressed && !FDragged)
        events.emplace_back(*was, Change::DragOut);
      if (over && over != FPressed && !FDragged)
        events.emplace_back(*over, Change::DragOver);
    } else {
      if (was)
        events.emplace_back(*was, Change::RollOut);
      if (over)
        events.emplace_back(*over, Change::RollOver);
    }
    FHovered = over;
  }
  if (LeftChanged) {
    if (down) {
      if (FHovered) {
        events.emplace_back(*FHovered, Change::Press);
        FPressed = FHovered;
      }
    } else {
      if (FPressed == FHovered) {
        if (FPressed)
          events.emplace_back(*FPressed, Change::Release);
      } else {
        if (FPressed)
          events.emplace_back(*FPressed, Change::ReleaseOutside);
        if (FHovered)
          events.emplace_back(*FHovered, Change::RollOver);
      }
      FPressed.reset();
    }
  }
  for (const auto& [target, change] : events)
    if (Alive(target))
      Fire(target, change);
  FPlayer.RunQueue();
}

void InputRouter::PlayButtonSound(CharacterId Button, Change C)
{
  TMovieSound* sound = FPlayer.Sounds().Sound();
  if (!sound)
    return;
  using Sound = TMovieSound::ButtonChange;
  switch (C) {
  case Change::RollOver:
    return sound->ButtonChanged(Button, Sound::IdleToOverUp);
  case Change::RollOut:
    return sound->ButtonChanged(Button, Sound::OverUpToIdle);
  case Change::Press:
    return sound->ButtonChanged(Button, Sound::OverUpToOverDown);
  case Change::Release:
    return sound->ButtonChanged(Button, Sound::OverDownToOverUp);
  default:
    return; // the moves while pressed have no sound of their own
  }
}

void InputRouter::Fire(const Target& T, Change C)
{
  auto& queue = FPlayer.FQueue;
  if (queue.size() >= MaxQueuedActions)
    return;
  if (T.Def) {
    // The transitions of a button's conditions (Movie.h); a menu button
    // also counts entering and leaving while pressed elsewhere.
    static constexpr std::array<std::uint16_t, 7> plain = {1u << 0, 1u << 1, 1u << 2, 1u << 3,
                                                           1u << 6, 1u << 5, 1u << 4};
    static constexpr std::array<std::uint16_t, 7> menu = {1u << 0, 1u << 1, 1u << 2, 1u << 3,
                                                          1u << 6, 1u << 7, 1u << 8};
    const std::uint16_t bit = (T.Def->TrackAsMenu ? menu : plain)[static_cast<std::size_t>(C)];
    Machine& m = FPlayer.GetMachine();
    // From SWF 6 on a button has an object: its enabled can silence it and
    // its handlers run after its conditions' actions.
    ButtonObject* object = nullptr;
    for (const DisplayObject& o : T.Clip->Instance()->List)
      if (o.Depth == T.Depth && !o.Sprite)
        object = FPlayer.Buttons().Of(m, *T.Clip, o);
    if (object && !object->Get(m, m.Intern("enabled")).ToBoolean(m.Version()))
      return;
    PlayButtonSound(T.Def->Id, C);
    for (const ButtonAction& a : T.Def->Actions)
      if ((a.Conditions & bit) && queue.size() < MaxQueuedActions)
        queue.push_back({T.Clip, FPlayer.Decoded(a.Actions), 0});
    if (object && queue.size() < MaxQueuedActions)
      queue.push_back({T.Clip, nullptr, 0, m.Intern(ButtonMethods[static_cast<std::size_t>(C)]), object});
    return;
  }
  Machine& m = FPlayer.GetMachine();
  static constexpr std::array<std::uint32_t, 7> events = {
      ClipRollOver, ClipRollOut, ClipPress, ClipRelease, ClipReleaseOutside, ClipDragOver, ClipDragOut};
  static constexpr std::array<std::string_view, 7> frames = {"_over", "_up",   "_down", "_over",
                                                             "_up",   "_down", "_over"};
  const auto index = static_cast<std::size_t>(C);
  // A clip acting as a button shows its _up, _over and _down frames.
  T.Clip->GotoLabel(frames[index], false);
  if (const auto it = FPlayer.FClipActions.find(T.Clip); it != FPlayer.FClipActions.end())
    for (const ClipAction& a : *it->second)
      if ((a.Events & events[index]) && queue.size() < MaxQueuedActions)
        queue.push_back({T.Clip, FPlayer.Decoded(a.Actions), 0});
  if (m.Version() >= 6 && queue.size() < MaxQueuedActions)
    queue.push_back({T.Clip, nullptr, 0, m.Intern(ButtonMethods[index]), nullptr});
}

void InputRouter::Mark(Marker& M) const
{
  M.Mark(FFocus);
  if (FHovered)
    M.Mark(FHovered->Clip);
  if (FPressed)
    M.Mark(FPressed->Clip);
  M.Mark(FDragged);
  for (const auto& [clip, path] : FDropTargets)
    M.Mark(clip);
}

} // namespace quenloft::swf::avm1

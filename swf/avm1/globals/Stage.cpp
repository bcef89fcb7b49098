// Stage, Mouse and Selection: objects the player makes once, each a
// broadcaster (AsBroadcaster.cpp) for its events. The pointer is always
// shown.
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"

#include <cctype>

namespace quenloft::swf::avm1 {

namespace {

// Stage state lives in hidden slots on the Stage object itself, so each
// machine has its own.
Value Slot(Machine& M, Object* This, std::string_view Name, Value Default)
{
  Property* p = This ? This->FindOwn(M, M.Intern(Name)) : nullptr;
  return p ? p->Data : Default;
}
void SetSlot(Machine& M, Object* This, std::string_view Name, Value V)
{
  if (This)
    This->Define(M, M.Intern(Name), V, DontEnum | DontDelete);
}

Value Width(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.Display().StageWidth);
}
Value Height(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.Display().StageHeight);
}

Value ScaleMode(Machine& M, Object* This, std::span<const Value>)
{
  return Slot(M, This, "__scaleMode", Value(M.NewString("showAll")));
}
Value SetScaleMode(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string mode = Arg(Args, 0).ToText(M);
  for (char& c : mode)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // Unknown modes fall back to the default.
  std::string_view name = "showAll";
  if (mode == "exactfit")
    name = "exactFit";
  else if (mode == "noborder")
    name = "noBorder";
  else if (mode == "noscale")
    name = "noScale";
  SetSlot(M, This, "__scaleMode", Value(M.NewString(std::string(name))));
  return Value();
}

// The alignment keeps which of T, B, L, R were named and reads back in
// the order L, T, R, B.
Value Align(Machine& M, Object* This, std::span<const Value>)
{
  return Slot(M, This, "__align", Value(M.EmptyString()));
}
Value SetAlign(Machine& M, Object* This, std::span<const Value> Args)
{
  bool l = false, t = false, r = false, b = false;
  for (char c : Arg(Args, 0).ToText(M)) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'L': l = true; break;
    case 'T': t = true; break;
    case 'R': r = true; break;
    case 'B': b = true; break;
    default: break;
    }
  }
  std::string out;
  if (l)
    out += 'L';
  if (t)
    out += 'T';
  if (r)
    out += 'R';
  if (b)
    out += 'B';
  SetSlot(M, This, "__align", Value(M.NewString(out)));
  return Value();
}

Value ShowMenu(Machine& M, Object* This, std::span<const Value>)
{
  return Slot(M, This, "__showMenu", Value(true));
}
Value SetShowMenu(Machine& M, Object* This, std::span<const Value> Args)
{
  SetSlot(M, This, "__showMenu", Value(Arg(Args, 0).ToBoolean(M.Version())));
  return Value();
}

Value DisplayState(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.NewString("normal"));
}
Value SetDisplayState(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("Stage.displayState = " + Arg(Args, 0).ToText(M) + " is not carried out");
  return Value();
}

const Member StageMembers[] = {
    Accessor("align", Align, SetAlign, 0),
    Accessor("scaleMode", ScaleMode, SetScaleMode, 0),
    Accessor("height", Height, nullptr, 0),
    Accessor("width", Width, nullptr, 0),
    Accessor("showMenu", ShowMenu, SetShowMenu, 0),
    Accessor("displayState", DisplayState, SetDisplayState, 0),
};

// --- Mouse: show and hide answer whether the pointer was hidden before ---

Value ShowPointer(Machine& M, Object* This, std::span<const Value>)
{
  const bool wasShown = Slot(M, This, "__shown", Value(true)).ToBoolean(7);
  SetSlot(M, This, "__shown", Value(true));
  return Value(wasShown ? 0 : 1);
}
Value HidePointer(Machine& M, Object* This, std::span<const Value>)
{
  const bool wasShown = Slot(M, This, "__shown", Value(true)).ToBoolean(7);
  SetSlot(M, This, "__shown", Value(false));
  return Value(wasShown ? 0 : 1);
}
Value Ignore(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

constexpr std::uint16_t MouseFlags = DontEnum | DontDelete | ReadOnly;
const Member MouseMembers[] = {
    Method("show", ShowPointer, MouseFlags),
    Method("hide", HidePointer, MouseFlags),
    Method("setTrailer", Ignore, MouseFlags),
    Method("setTrailerPosition", Ignore, MouseFlags),
    Method("setTrailerMode", Ignore, MouseFlags),
};

// --- Selection: the focus is the player's; no text field has a selection yet ---

InputRouter* Router(Machine& M)
{
  auto* root = dynamic_cast<ClipObject*>(M.Root());
  return root ? &root->Player().Input() : nullptr;
}

Value GetFocus(Machine& M, Object*, std::span<const Value>)
{
  InputRouter* r = Router(M);
  Object* focus = r ? r->Focus() : nullptr;
  if (auto* root = dynamic_cast<ClipObject*>(M.Root()); root && !focus)
    focus = root->Player().Texts().Focused();
  const String* path = focus ? focus->DisplayPath(M) : nullptr;
  return path ? Value(path) : Value::Null();
}

// setFocus(null) clears the focus; a clip takes it if it can.
Value SetFocus(Machine& M, Object*, std::span<const Value> Args)
{
  InputRouter* r = Router(M);
  const Value target = Arg(Args, 0);
  if (!r)
    return Value(false);
  if (target.IsUndefined() || target.IsNull())
    return Value(r->SetFocus(nullptr));
  // A target path names the object as well.
  Object* object = target.IsString() ? M.ResolvePath(target.ToText(M)) : target.ObjectOrNull();
  if (auto* field = dynamic_cast<TextFieldObject*>(object)) {
    if (!field->Placement())
      return Value(false);
    r->SetFocus(nullptr);
    dynamic_cast<ClipObject*>(M.Root())->Player().Texts().SetFocused(field, true);
    return Value(true);
  }
  return Value(object && r->SetFocus(object));
}

Value NoIndex(Machine&, Object*, std::span<const Value>)
{
  return Value(-1);
}

constexpr std::uint16_t SelectionFlags = DontEnum | DontDelete | ReadOnly;
const Member SelectionMembers[] = {
    Method("getBeginIndex", NoIndex, SelectionFlags),
    Method("getEndIndex", NoIndex, SelectionFlags),
    Method("getCaretIndex", NoIndex, SelectionFlags),
    Method("getFocus", GetFocus, SelectionFlags),
    Method("setFocus", SetFocus, SelectionFlags),
    Method("setSelection", Ignore, SelectionFlags),
};

void Broadcaster(Machine& M, Object& Made)
{
  MakeBroadcaster(M, Made);
}

} // namespace

extern const ObjectSpec StageObject = {.Name = "Stage", .Members = StageMembers, .Setup = Broadcaster};
extern const ObjectSpec MouseObject = {.Name = "Mouse", .Members = MouseMembers, .Setup = Broadcaster};
extern const ObjectSpec SelectionObject = {.Name = "Selection", .Members = SelectionMembers, .Setup = Broadcaster};

} // namespace quenloft::swf::avm1

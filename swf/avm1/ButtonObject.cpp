#include "swf/avm1/ButtonObject.h"

#include "swf/avm1/ClipGeometry.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quenloft::swf::avm1 {

namespace {

std::string Lowered(std::string_view S)
{
  std::string out(S);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

constexpr double Degrees = 180 / std::numbers::pi;

bool IsDisplayName(std::string_view Lower)
{
  return Lower == "_x" || Lower == "_y" || Lower == "_width" || Lower == "_height" || Lower == "_xscale" ||
         Lower == "_yscale" || Lower == "_alpha" || Lower == "_visible" || Lower == "_rotation" ||
         Lower == "_name" || Lower == "_target";
}

} // namespace

DisplayObject* ButtonObject::Placement() const
{
  if (FDetached || !FParent->Instance())
    return nullptr;
  for (DisplayObject& o : FParent->Instance()->List)
    if (o.Depth == FDepth && !o.Sprite && o.Character == FCharacter)
      return &o;
  return nullptr;
}

const Button* ButtonObject::Definition() const
{
  if (!Placement())
    return nullptr;
  const Character* c = FParent->Player().Timeline().MovieOf(FParent->Instance()).Find(FCharacter);
  return c ? std::get_if<Button>(c) : nullptr;
}

std::string ButtonObject::DotPath() const
{
  const DisplayObject* o = Placement();
  return o ? FParent->DotPath() + "." + o->Name : std::string();
}

std::string ButtonObject::SlashPath() const
{
  const DisplayObject* o = Placement();
  if (!o)
    return {};
  const std::string parent = FParent->SlashPath();
  return (parent == "/" ? "" : parent) + "/" + o->Name;
}

const String* ButtonObject::DisplayPath(Machine& M)
{
  return M.NewString(DotPath());
}

void ButtonObject::Trace(Marker& Mk)
{
  Object::Trace(Mk);
  Mk.Mark(FParent);
  if (TabIndex.IsObject())
    Mk.Mark(TabIndex.AsObject());
}

bool ButtonObject::GetOwnVirtual(Machine& M, Atom Name, Value& Out)
{
  const std::string_view raw = M.Atoms().View(Name);
  if (raw.empty() || raw[0] != '_')
    return false;
  const std::string name = Lowered(raw);
  if (name == "_parent") {
    Out = ParentClip() ? Value(static_cast<Object*>(ParentClip())) : Value();
    return true;
  }
  if (name == "_root") {
    Out = ParentClip() ? Value(static_cast<Object*>(ParentClip()->RootClip())) : Value(M.Root());
    return true;
  }
  if (name == "_global") {
    Out = Value(M.Global());
    return true;
  }
  const DisplayObject* o = Placement();
  if (!o) {
    const bool known = IsDisplayName(name);
    if (known)
      Out = Value();
    return known;
  }
  const Matrix& m = o->Transform;
  if (name == "_x" || name == "_y") {
    Out = Value((name == "_x" ? m.Tx : m.Ty) / 20);
  } else if (name == "_xscale") {
    Out = Value(std::hypot(m.A, m.B) * 100);
  } else if (name == "_yscale") {
    Out = Value(std::hypot(m.C, m.D) * 100);
  } else if (name == "_rotation") {
    Out = Value(std::atan2(m.B, m.A) * Degrees);
  } else if (name == "_width" || name == "_height") {
    const Box b = ObjectBounds(FParent->Player().Timeline().MovieOf(FParent->Instance()), *o);
    Out = Value(b.Empty ? 0.0 : (name == "_width" ? b.XMax - b.XMin : b.YMax - b.YMin) / 20);
  } else if (name == "_alpha") {
    Out = Value(o->Color.AMul * 100);
  } else if (name == "_visible") {
    Out = Value(o->Visible);
  } else if (name == "_name") {
    Out = Value(M.NewString(o->Name));
  } else if (name == "_target") {
    Out = Value(M.NewString(SlashPath()));
  } else if (name == "_highquality") {
    Out = Value(1.0);
  } else if (name == "_quality") {
    Out = Value(M.NewString("HIGH"));
  } else if (name == "_xmouse" || name == "_ymouse") {
    const Point p = FParent->Player().Input().PointerIn(*FParent->Instance());
    Out = Value((name == "_xmouse" ? p.X - m.Tx / 20 : p.Y - m.Ty / 20));
  } else {
    return false;
  }
  return true;
}

bool ButtonObject::SetOwnVirtual(Machine& M, Atom Name, Value V)
{
  const std::string_view raw = M.Atoms().View(Name);
  if (raw.empty() || raw[0] != '_')
    return false;
  const std::string name = Lowered(raw);
  if (!IsDisplayName(name))
    return name == "_parent" || name == "_root";
  DisplayObject* o = Placement();
  if (!o || name == "_target")
    return true;
  if (name == "_name") {
    o->Name = V.ToText(M);
    return true;
  }
  if (V.IsUndefined() || V.IsNull())
    return true;
  const double d = V.ToNumber(M);
  if (std::isnan(d))
    return true;
  o->ScriptMoved = true;
  Matrix& m = o->Transform;
  if (name == "_visible") {
    o->Visible = d != 0;
    // Hiding what has the focus takes the focus away.
    if (!o->Visible && FParent->Player().Input().Focus() == this)
      FParent->Player().Input().SetFocus(nullptr);
  } else if (name == "_x") {
    m.Tx = std::trunc(d * 20);
  } else if (name == "_y") {
    m.Ty = std::trunc(d * 20);
  } else if (name == "_alpha") {
    o->Color.AMul = d / 100;
  } else if (name == "_xscale" || name == "_yscale" || name == "_rotation") {
    const double sx = name == "_xscale" ? d / 100 : std::hypot(m.A, m.B);
    const double sy = name == "_yscale" ? d / 100 : std::hypot(m.C, m.D);
    double r = name == "_rotation" ? std::fmod(d, 360) : std::atan2(m.B, m.A) * Degrees;
    r = r > 180 ? r - 360 : r < -180 ? r + 360 : r;
    m.A = sx * std::cos(r / Degrees);
    m.B = sx * std::sin(r / Degrees);
    m.C = -sy * std::sin(r / Degrees);
    m.D = sy * std::cos(r / Degrees);
  }
  return true;
}

bool ButtonObject::HasOwnVirtual(Machine& M, Atom Name)
{
  Value v;
  return GetOwnVirtual(M, Name, v);
}

// --- The player's list ------------------------------------------------------

ButtonObjects::ButtonObjects(Machine& M)
{
  M.AddRoots([this](Marker& Mk) { TraceLive(Mk); });
}

void ButtonObjects::TraceLive(Marker& Mk)
{
  std::erase_if(FButtons, [](ButtonObject* B) {
    if (B->Placement())
      return false;
    B->Detach();
    return true;
  });
  for (ButtonObject* b : FButtons)
    Mk.Mark(b);
}

ButtonObject* ButtonObjects::Of(Machine& M, ClipObject& Parent, const DisplayObject& O)
{
  if (O.Sprite || !Parent.Instance())
    return nullptr;
  for (ButtonObject* b : FButtons)
    if (b->Matches(&Parent, O.Depth, O.Character))
      return b;
  const Character* c = Parent.Player().Timeline().MovieOf(Parent.Instance()).Find(O.Character);
  const bool button = c && std::holds_alternative<Button>(*c);
  const bool video = c && std::holds_alternative<VideoStream>(*c);
  if (!(button && M.Version() >= 6) && !video)
    return nullptr;
  Object* proto = M.Prototype(button ? "Button" : "Video");
  auto* b = M.Heap().Make<ButtonObject>(proto ? proto : M.ObjectPrototype(), &Parent, O.Depth, O.Character);
  FButtons.push_back(b);
  return b;
}

Value NamedChild(Machine& M, ClipObject& Parent, Atom Name)
{
  SpriteInstance* s = Parent.Instance();
  if (!s)
    return Value();
  const Atom key = M.Key(Name);
  for (const DisplayObject& o : s->List) {
    if (o.Name.empty() || M.Key(M.Intern(o.Name)) != key)
      continue;
    if (o.Sprite) {
      ClipObject* clip = Parent.Player().ObjectOf(o.Sprite.get());
      return clip ? Value(static_cast<Object*>(clip)) : Value();
    }
    if (Object* field = Parent.Player().Texts().Of(M, Parent, o))
      return Value(field);
    if (Object* button = Parent.Player().Buttons().Of(M, Parent, o))
      return Value(button);
    return Value(static_cast<Object*>(&Parent));
  }
  return Value();
}

} // namespace quenloft::swf::avm1

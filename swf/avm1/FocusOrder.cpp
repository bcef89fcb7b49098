// The keyboard focus: what may take it, the tab order Tab walks, and the
// press Enter or space gives the focused button.
#include "swf/avm1/ButtonObject.h"
#include "swf/avm1/ClipGeometry.h"
#include "swf/avm1/InputRouter.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace quenloft::swf::avm1 {

namespace {

// A tabIndex as the player keeps it: none for undefined, null and -1.
std::optional<std::int32_t> TabIndexOf(Machine& M, Value V)
{
  if (V.IsUndefined() || V.IsNull())
    return std::nullopt;
  const std::int32_t i = V.ToInt32(M);
  if (i == -1)
    return std::nullopt;
  return i;
}

std::optional<std::int32_t> TabIndexOf(Machine& M, Object* O)
{
  if (auto* b = dynamic_cast<ButtonObject*>(O))
    return TabIndexOf(M, b->TabIndex);
  if (auto* t = dynamic_cast<TextFieldObject*>(O))
    return TabIndexOf(M, t->TabIndex);
  return TabIndexOf(M, O->Get(M, M.Intern("tabIndex")));
}

// Where the focus highlight of O lies on the stage; the tab order goes by
// its top left corner.
Box HighlightBounds(PlayerImpl& P, Object* O)
{
  if (auto* clip = dynamic_cast<ClipObject*>(O)) {
    const SpriteInstance* s = clip->Instance();
    return s ? ContentBounds(P.Timeline().MovieOf(s), *s).Transformed(StageMatrix(*s)) : Box{};
  }
  if (auto* b = dynamic_cast<ButtonObject*>(O)) {
    const DisplayObject* o = b->Placement();
    const SpriteInstance* parent = b->ParentClip() ? b->ParentClip()->Instance() : nullptr;
    return o && parent ? ObjectBounds(P.Timeline().MovieOf(parent), *o).Transformed(StageMatrix(*parent)) : Box{};
  }
  if (auto* t = dynamic_cast<TextFieldObject*>(O)) {
    const DisplayObject* o = t->Placement();
    const SpriteInstance* parent = t->ParentClip() ? t->ParentClip()->Instance() : nullptr;
    if (!o || !parent)
      return {};
    Box b;
    b.Add(Point{static_cast<double>(t->Bounds.XMin), static_cast<double>(t->Bounds.YMin)});
    b.Add(Point{static_cast<double>(t->Bounds.XMax), static_cast<double>(t->Bounds.YMax)});
    return b.Transformed(StageMatrix(*parent) * o->Transform);
  }
  return {};
}

// True when the focus highlight shows around O: never for a text field;
// for a clip or button as its _focusrect (or else the stage's) says, when
// there is something to draw it around.
bool Highlighted(PlayerImpl& P, Object* O)
{
  if (dynamic_cast<TextFieldObject*>(O) || HighlightBounds(P, O).Empty)
    return false;
  Machine& m = P.GetMachine();
  const Atom name = m.Intern("_focusrect");
  Value own;
  if (dynamic_cast<ClipObject*>(O) && m.Version() >= 6)
    own = O->Get(m, name);
  if (own.IsUndefined() || own.IsNull()) {
    ClipObject* root = P.ObjectOf(&P.Timeline().Root());
    own = root ? root->Get(m, name) : Value(true);
  }
  return own.ToBoolean(m.Version());
}

bool Placed(Object* O)
{
  if (auto* clip = dynamic_cast<ClipObject*>(O))
    return clip->Instance() != nullptr;
  if (auto* b = dynamic_cast<ButtonObject*>(O))
    return b->Placement() != nullptr;
  if (auto* t = dynamic_cast<TextFieldObject*>(O))
    return t->Placement() != nullptr;
  return false;
}

} // namespace

Object* InputRouter::Focus() const
{
  return FFocus && Placed(FFocus) ? FFocus : nullptr;
}

bool InputRouter::SetFocus(Object* To)
{
  Machine& m = FPlayer.GetMachine();
  if (To) {
    if (!Placed(To))
      return false;
    // The root never takes the focus; a clip does when it acts as a button
    // or its focusEnabled is set.
    if (auto* clip = dynamic_cast<ClipObject*>(To)) {
      if (!clip->Instance()->Parent)
        return false;
      if (!ButtonMode(clip) && !clip->Get(m, m.Intern("focusEnabled")).ToBoolean(m.Version()))
        return false;
    }
  }
  MoveFocus(To);
  return true;
}

void InputRouter::MoveFocus(Object* To)
{
  Machine& m = FPlayer.GetMachine();
  Object* old = Focus();
  // Typing goes to the field that has the focus, and to no other.
  auto* field = dynamic_cast<TextFieldObject*>(To);
  if (FPlayer.Texts().Focused() != field)
    FPlayer.Texts().SetFocused(field, field != nullptr);
  if (old == To)
    return;
  FFocus = To;
  FHighlight = To != nullptr;
  const auto value = [](Object* O) { return O ? Value(O) : Value::Null(); };
  if (old) {
    const Value args[] = {value(To)};
    m.CallMethod(value(old), "onKillFocus", args);
  }
  if (To) {
    const Value args[] = {value(old)};
    m.CallMethod(value(To), "onSetFocus", args);
  }
  if (Object* selection = m.Global()->Get(m, m.Intern("Selection")).ObjectOrNull()) {
    const Value args[] = {value(old), value(To)};
    avm1::Broadcast(m, selection, m.Text(m.Intern("onSetFocus")), args);
  }
}

bool InputRouter::Tabbable(Object* O)
{
  Machine& m = FPlayer.GetMachine();
  const Value enabled = O->Get(m, m.Intern("tabEnabled"));
  const bool set = !enabled.IsUndefined();
  if (auto* clip = dynamic_cast<ClipObject*>(O)) {
    if (!clip->Instance() || !clip->Instance()->Parent)
      return false;
    return set ? enabled.ToBoolean(m.Version()) : ButtonMode(clip) || TabIndexOf(m, O).has_value();
  }
  if (auto* t = dynamic_cast<TextFieldObject*>(O))
    return t->Input && (!set || enabled.ToBoolean(m.Version()));
  return !set || enabled.ToBoolean(m.Version());
}

void InputRouter::FillTabOrder(ClipObject* Clip, std::vector<Object*>& Out)
{
  Machine& m = FPlayer.GetMachine();
  SpriteInstance* s = Clip ? Clip->Instance() : nullptr;
  if (!s)
    return;
  for (std::size_t i = 0; i < s->List.size() && Out.size() < MaxQueuedActions; ++i) {
    const DisplayObject& o = s->List[i];
    if (!o.Visible)
      continue;
    Object* object = nullptr;
    if (o.Sprite)
      object = FPlayer.ObjectOf(o.Sprite.get());
    else if (Object* field = FPlayer.Texts().Of(m, *Clip, o))
      object = field;
    else
      object = FPlayer.Buttons().Of(m, *Clip, o);
    if (object && Tabbable(object))
      Out.push_back(object);
    if (o.Sprite)
      FillTabOrder(static_cast<ClipObject*>(object), Out);
  }
}

std::vector<Object*> InputRouter::TabOrder()
{
  Machine& m = FPlayer.GetMachine();
  std::vector<Object*> all;
  FillTabOrder(FPlayer.ObjectOf(&FPlayer.Timeline().Root()), all);
  // Once any object has a tabIndex only those with one take part, in its
  // order; otherwise the order goes by the highlight's top left corner, and
  // of objects whose corners weigh the same only the first stays.
  const bool custom = std::any_of(all.begin(), all.end(), [&](Object* O) { return TabIndexOf(m, O).has_value(); });
  if (custom) {
    std::vector<std::pair<std::int32_t, Object*>> keyed;
    for (Object* o : all)
      if (const auto i = TabIndexOf(m, o))
        keyed.emplace_back(*i, o);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    all.clear();
    for (const auto& k : keyed)
      all.push_back(k.second);
    return all;
  }
  std::vector<std::pair<std::int64_t, Object*>> keyed;
  for (Object* o : all) {
    const Box b = HighlightBounds(FPlayer, o);
    const std::int64_t x = b.Empty ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int64_t>(b.XMin);
    const std::int64_t y = b.Empty ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int64_t>(b.YMin);
    keyed.emplace_back(y * 6 + x, o);
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  keyed.erase(std::unique(keyed.begin(), keyed.end(), [](const auto& A, const auto& B) { return A.first == B.first; }),
              keyed.end());
  all.clear();
  for (const auto& k : keyed)
    all.push_back(k.second);
  return all;
}

void InputRouter::CycleFocus(bool Reverse)
{
  std::vector<Object*> order = TabOrder();
  if (order.empty())
    return;
  if (Reverse)
    std::reverse(order.begin(), order.end());
  Object* next = order.front();
  if (Object* current = Focus()) {
    const auto it = std::find(order.begin(), order.end(), current);
    if (it != order.end() && it + 1 != order.end())
      next = *(it + 1);
  }
  // What the key queued runs first; Tab moves the focus to whatever the
  // order holds, focusable by script or not.
  FPlayer.RunQueue();
  MoveFocus(next);
}

void InputRouter::PressFocus()
{
  Object* focus = Focus();
  // Only a button or clip whose highlight shows is pressed.
  if (!focus || !FHighlight || !Highlighted(FPlayer, focus))
    return;
  Target t;
  if (auto* clip = dynamic_cast<ClipObject*>(focus)) {
    t = {clip, 0, nullptr};
  } else if (auto* b = dynamic_cast<ButtonObject*>(focus)) {
    if (!b->Definition())
      return;
    t = {b->ParentClip(), b->Depth(), b->Definition()};
  } else {
    return;
  }
  Fire(t, Change::Press);
  if (Alive(t))
    Fire(t, Change::Release);
}

} // namespace quenloft::swf::avm1

// The look of the pointer: worked out from what lies under it now, the same
// pick the buttons' roll-overs use, so the hand shows exactly where a press
// would reach a button.
#include "swf/avm1/HitTest.h"
#include "swf/avm1/InputRouter.h"
#include "swf/avm1/PlayerImpl.h"

namespace quenloft::swf::avm1 {

namespace {

// Nesting deeper than this is not searched for text fields.
constexpr int MaxTextDepth = 64;

} // namespace

PointerShape InputRouter::Shape()
{
  Machine& m = FPlayer.GetMachine();
  if (const std::optional<Target> over = Pick(false)) {
    if (over->Def || !over->Clip)
      return PointerShape::Hand;
    // useHandCursor is true unless script made it false.
    const Value hand = over->Clip->Get(m, m.Intern("useHandCursor"));
    return hand.IsUndefined() || hand.ToBoolean(m.Version()) ? PointerShape::Hand : PointerShape::Arrow;
  }
  const InputState& in = m.Input();
  const Machine::Screen& screen = m.Display();
  if (in.MouseX < 0 || in.MouseY < 0 || in.MouseX >= screen.StageWidth || in.MouseY >= screen.StageHeight)
    return PointerShape::Arrow;
  SpriteInstance& root = FPlayer.Timeline().Root();
  ClipObject* holder = FPlayer.ObjectOf(&root);
  return holder && OverInputText(holder, root.List, Matrix{}, PointerTwips(), 0) ? PointerShape::IBeam
                                                                                : PointerShape::Arrow;
}

bool InputRouter::OverInputText(ClipObject* Holder, const DisplayList& List, const Matrix& Parent, Point P,
                                int Depth)
{
  if (Depth > MaxTextDepth)
    return false;
  Machine& m = FPlayer.GetMachine();
  for (auto it = List.rbegin(); it != List.rend(); ++it) {
    const DisplayObject& o = *it;
    if (!o.Visible || o.ClipDepth != 0)
      continue;
    const Matrix placed = Parent * o.Transform;
    if (o.Sprite) {
      ClipObject* clip = FPlayer.ObjectOf(o.Sprite.get());
      if (clip && OverInputText(clip, o.Sprite->List, placed, P, Depth + 1))
        return true;
      continue;
    }
    TextFieldObject* field = FPlayer.Texts().Of(m, *Holder, o);
    if (!field) {
      // Something drawn above the fields hides them from the pointer.
      if (HitsObject(FPlayer.Movie(), o, Parent, P))
        return false;
      continue;
    }
    const std::optional<Matrix> inverse = Inverse(placed);
    if (!inverse)
      continue;
    const Point local = inverse->Apply(P);
    const Rect& box = field->Bounds;
    if (local.X >= box.XMin && local.X < box.XMax && local.Y >= box.YMin && local.Y < box.YMax)
      return field->Input;
  }
  return false;
}

} // namespace quenloft::swf::avm1

// MovieClip: where clips are and what they cover (getBounds, getRect,
// hitTest, localToGlobal, globalToLocal) and their depths (swapDepths,
// getInstanceAtDepth, getNextHighestDepth).
#include "swf/avm1/ClipGeometry.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// Script depths start this far below the file's.
constexpr double DepthBias = 16384;

ClipObject* Live(Object* This)
{
  auto* c = dynamic_cast<ClipObject*>(This);
  return c && c->Instance() ? c : nullptr;
}

// A clip given as itself or as a path from From ("a.b", "/a/b", "_root",
// "_parent", "..").
ClipObject* TargetClip(Machine& M, ClipObject* From, Value V)
{
  if (V.IsObject())
    return Live(V.AsObject());
  if (!V.IsString())
    return nullptr;
  const std::string path = V.ToText(M);
  if (path.empty())
    return nullptr;
  ClipObject* at = From;
  std::size_t i = 0;
  if (!path.empty() && path[0] == '/') {
    at = From->RootClip();
    i = 1;
  }
  // A path with a slash is in slash form ("../a/b"), else in dot form.
  const char* separator = path.find('/') != std::string::npos ? "/" : ".";
  while (at && i < path.size()) {
    std::size_t end = path.find_first_of(separator, i);
    if (end == std::string::npos)
      end = path.size();
    const std::string part = path.substr(i, end - i);
    i = end + 1;
    if (part.empty())
      continue;
    if (part == "..") {
      at = at->Parent();
      continue;
    }
    const Value next = at->Get(M, M.Intern(part));
    at = next.IsObject() ? Live(next.AsObject()) : nullptr;
  }
  return at;
}

// From the clip's space to the stage's, through the root's own transform.
Matrix ToStage(ClipObject* C)
{
  const DisplayObject* root = nullptr;
  for (ClipObject* p = C; p; p = p->Parent())
    if (!p->Parent())
      root = p->Placement();
  const Matrix inner = StageMatrix(*C->Instance());
  return root ? root->Transform * inner : inner;
}

Object* BoxObject(Machine& M, double XMin, double XMax, double YMin, double YMax)
{
  Object* out = M.NewObject();
  out->Set(M, M.Intern("xMin"), Value(XMin));
  out->Set(M, M.Intern("xMax"), Value(XMax));
  out->Set(M, M.Intern("yMin"), Value(YMin));
  out->Set(M, M.Intern("yMax"), Value(YMax));
  return out;
}

Value GetBounds(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value();
  ClipObject* target = Args.empty() ? c : TargetClip(M, c, Args[0]);
  if (!target)
    return Value();
  PlayerImpl& player = c->Player();
  if (M.Version() >= 8 || player.Movie().Version >= 8)
    player.NewInvalidBounds = true;
  const swf::Movie& movie = player.Timeline().Movie();
  const Box own = ContentBounds(movie, *c->Instance());
  if (own.Empty) {
    // An empty clip answers with the player's "no bounds" value.
    const double none = target != c && player.NewInvalidBounds ? 0x8000000 / 20.0 : 0x7FFFFFF / 20.0;
    return Value(BoxObject(M, none, none, none, none));
  }
  Box b = own;
  if (target != c) {
    Matrix back;
    if (!Invert(ToStage(target), back))
      back = Matrix{};
    b = own.Transformed(back * ToStage(c));
  }
  return Value(BoxObject(M, b.XMin / 20, b.XMax / 20, b.YMin / 20, b.YMax / 20));
}

// The point of an {x, y} object: own stored numbers only.
bool PointOf(Machine& M, Object* P, Point& Out)
{
  const Property* x = P ? P->FindOwn(M, M.Intern("x")) : nullptr;
  const Property* y = P ? P->FindOwn(M, M.Intern("y")) : nullptr;
  if (!x || !y || x->IsVirtual() || y->IsVirtual() || !x->Data.IsNumber() || !y->Data.IsNumber())
    return false;
  Out = Point{x->Data.AsNumber() * 20, y->Data.AsNumber() * 20};
  return true;
}

Value Convert(Machine& M, Object* This, std::span<const Value> Args, bool ToGlobal)
{
  ClipObject* c = Live(This);
  Object* p = Arg(Args, 0).ObjectOrNull();
  Point at;
  if (!c || !PointOf(M, p, at))
    return Value();
  Matrix m = ToStage(c);
  if (!ToGlobal && !Invert(m, m))
    return Value();
  // Positions are whole twips.
  const Point out = m.Apply(at);
  p->Set(M, M.Intern("x"), Value(std::trunc(out.X) / 20));
  p->Set(M, M.Intern("y"), Value(std::trunc(out.Y) / 20));
  return Value();
}

Value LocalToGlobal(Machine& M, Object* This, std::span<const Value> Args)
{
  return Convert(M, This, Args, true);
}

Value GlobalToLocal(Machine& M, Object* This, std::span<const Value> Args)
{
  return Convert(M, This, Args, false);
}

Value HitTest(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value(false);
  const swf::Movie& movie = c->Player().Timeline().Movie();
  const Matrix toStage = ToStage(c);
  if (Args.size() > 1) {
    const double x = Args[0].ToNumber(M), y = Args[1].ToNumber(M);
    const bool shape = Arg(Args, 2).ToBoolean(M.Version());
    if (!std::isfinite(x) || !std::isfinite(y))
      return Value(false);
    // The point is in the root's space.
    ClipObject* root = c;
    while (root->Parent())
      root = root->Parent();
    const Point stage = ToStage(root).Apply({x * 20, y * 20});
    if (!shape) {
      const Box b = ContentBounds(movie, *c->Instance()).Transformed(toStage);
      return Value(b.Contains(stage));
    }
    Matrix back;
    return Value(Invert(toStage, back) && ContentHits(movie, *c->Instance(), back.Apply(stage)));
  }
  if (Args.size() == 1) {
    ClipObject* other = TargetClip(M, c, Args[0]);
    if (!other)
      return Value(false);
    const Box a = ContentBounds(movie, *c->Instance()).Transformed(toStage);
    const Box b = ContentBounds(movie, *other->Instance()).Transformed(ToStage(other));
    return Value(a.Intersects(b));
  }
  return Value(false);
}

Value SwapDepths(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c || !c->Instance()->Parent)
    return Value();
  SpriteInstance& self = *c->Instance();
  SpriteInstance& parent = *self.Parent;
  const Value a = Arg(Args, 0);
  double depth = 0;
  if (a.IsNumber()) {
    depth = static_cast<double>(NumberToInt32(a.AsNumber())) + DepthBias;
  } else {
    ClipObject* other = TargetClip(M, c, a);
    if (!other || other->Instance()->Parent != &parent)
      return Value();
    depth = other->Instance()->Depth;
  }
  if (depth < 0 || depth > 65535 || depth == self.Depth)
    return Value();
  const auto to = static_cast<swf::Depth>(depth);
  const swf::Depth from = self.Depth;
  for (DisplayObject& o : parent.List) {
    if (o.Depth == to) {
      o.ScriptMoved = true;
      o.Depth = from;
      if (o.Sprite)
        o.Sprite->Depth = from;
    } else if (o.Sprite.get() == &self) {
      o.ScriptMoved = true;
      o.Depth = to;
    }
  }
  self.Depth = to;
  std::stable_sort(parent.List.begin(), parent.List.end(),
                   [](const DisplayObject& A, const DisplayObject& B) { return A.Depth < B.Depth; });
  return Value();
}

Value GetInstanceAtDepth(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c || Args.empty())
    return Value();
  const double depth = static_cast<double>(NumberToInt32(Args[0].ToNumber(M))) + DepthBias;
  for (const DisplayObject& o : c->Instance()->List) {
    if (o.Depth != depth)
      continue;
    // What has no script object of its own answers with the clip.
    ClipObject* found = o.Sprite ? c->Player().ObjectOf(o.Sprite.get()) : c;
    return Value(static_cast<Object*>(found));
  }
  return Value();
}

Value GetNextHighestDepth(Machine&, Object* This, std::span<const Value>)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value();
  double next = 0;
  for (const DisplayObject& o : c->Instance()->List)
    next = std::max(next, static_cast<double>(o.Depth) - DepthBias + 1);
  return Value(next);
}

// scale9Grid: the clip's 9-slice grid as a flash.geom.Rectangle in pixels,
// or undefined when it has none.
Value GetScale9Grid(Machine& M, Object* This, std::span<const Value>)
{
  ClipObject* c = Live(This);
  if (!c || !c->Instance()->ScalingGrid)
    return Value();
  const Rect& g = *c->Instance()->ScalingGrid;
  const Value args[] = {Value(g.XMin / 20.0), Value(g.YMin / 20.0), Value((double(g.XMax) - g.XMin) / 20),
                        Value((double(g.YMax) - g.YMin) / 20)};
  return M.Construct(Value(static_cast<Object*>(M.Constructor("Rectangle"))), args);
}

// Anything but an object (undefined, null) takes the grid away.
Value SetScale9Grid(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value();
  const Value v = Arg(Args, 0);
  if (!v.IsObject()) {
    c->Instance()->ScalingGrid.reset();
    return Value();
  }
  Object* r = v.AsObject();
  const auto twips = [&](std::string_view Name) {
    const double t = std::round(r->Get(M, M.Intern(Name)).ToNumber(M) * 20);
    return std::isfinite(t) ? std::clamp(t, -1e9, 1e9) : 0.0;
  };
  const double x = twips("x"), y = twips("y");
  const double w = twips("width"), h = twips("height");
  const auto edge = [](double V) { return static_cast<std::int32_t>(std::clamp(V, -1e9, 1e9)); };
  c->Instance()->ScalingGrid = Rect{edge(x), edge(x + w), edge(y), edge(y + h)};
  return Value();
}

} // namespace

extern const Member MovieClipSpaceMethods[] = {
    Accessor("scale9Grid", GetScale9Grid, SetScale9Grid, DontDelete | DontEnum | OnlySwf8),
    Method("getBounds", GetBounds),
    Method("getRect", GetBounds, DontEnum | OnlySwf8),
    Method("hitTest", HitTest),
    Method("localToGlobal", LocalToGlobal),
    Method("globalToLocal", GlobalToLocal),
    Method("swapDepths", SwapDepths),
    Method("getInstanceAtDepth", GetInstanceAtDepth, DontEnum | OnlySwf7),
    Method("getNextHighestDepth", GetNextHighestDepth, DontEnum | OnlySwf7),
};
extern const std::size_t MovieClipSpaceMethodCount = std::size(MovieClipSpaceMethods);

} // namespace quenloft::swf::avm1

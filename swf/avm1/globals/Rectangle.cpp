// flash.geom.Rectangle: a plain object with x, y, width and height; edges,
// corners and size are computed from them on each access.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

Value Get(Machine& M, Object* O, std::string_view Name)
{
  return O ? O->Get(M, M.Intern(Name)) : Value();
}
double Num(Machine& M, Object* O, std::string_view Name)
{
  return Get(M, O, Name).ToNumber(M);
}
void Put(Machine& M, Object* O, std::string_view Name, Value V)
{
  if (O)
    O->Set(M, M.Intern(Name), V);
}

struct Box {
  double Left, Top, Right, Bottom;
};
Box Edges(Machine& M, Object* O)
{
  const double x = Num(M, O, "x");
  const double y = Num(M, O, "y");
  return {x, y, x + Num(M, O, "width"), y + Num(M, O, "height")};
}

Value NewRectangle(Machine& M, double X, double Y, double W, double H)
{
  const Value args[] = {Value(X), Value(Y), Value(W), Value(H)};
  return M.Construct(Value(static_cast<Object*>(M.Constructor("Rectangle"))), args);
}

std::pair<double, double> PointOf(Machine& M, Value V)
{
  Object* o = V.ToObject(M);
  return {Num(M, o, "x"), Num(M, o, "y")};
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Args.empty()) {
    for (const char* name : {"height", "width", "y", "x"})
      Put(M, This, name, Value(0));
  } else {
    Put(M, This, "x", Args[0]);
    Put(M, This, "y", Arg(Args, 1));
    Put(M, This, "width", Arg(Args, 2));
    Put(M, This, "height", Arg(Args, 3));
  }
  return Value(This);
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  return Value(M.NewString("(x=" + Get(M, This, "x").ToText(M) + ", y=" + Get(M, This, "y").ToText(M) +
                           ", w=" + Get(M, This, "width").ToText(M) + ", h=" + Get(M, This, "height").ToText(M) +
                           ")"));
}

Value IsEmpty(Machine& M, Object* This, std::span<const Value>)
{
  const double w = Num(M, This, "width");
  const double h = Num(M, This, "height");
  return Value(!(w > 0) || !(h > 0));
}

Value SetEmpty(Machine& M, Object* This, std::span<const Value>)
{
  for (const char* name : {"x", "y", "width", "height"})
    Put(M, This, name, Value(0));
  return Value();
}

Value Clone(Machine& M, Object* This, std::span<const Value>)
{
  const Value args[] = {Get(M, This, "x"), Get(M, This, "y"), Get(M, This, "width"), Get(M, This, "height")};
  return M.Construct(Value(static_cast<Object*>(M.Constructor("Rectangle"))), args);
}

Value Inside(const Box& B, double X, double Y)
{
  if (std::isnan(X) || std::isnan(Y))
    return Value();
  return Value(X >= B.Left && X < B.Right && Y >= B.Top && Y < B.Bottom);
}
Value Contains(Machine& M, Object* This, std::span<const Value> Args)
{
  const double x = Arg(Args, 0).ToNumber(M);
  const double y = Arg(Args, 1).ToNumber(M);
  return Inside(Edges(M, This), x, y);
}
Value ContainsPoint(Machine& M, Object* This, std::span<const Value> Args)
{
  const auto [x, y] = PointOf(M, Arg(Args, 0));
  return Inside(Edges(M, This), x, y);
}

Value ContainsRectangle(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* other = Arg(Args, 0).ObjectOrNull();
  if (!other)
    return Value();
  const Box a = Edges(M, This);
  const Box b = Edges(M, other);
  if (std::isnan(b.Left) || std::isnan(b.Top) || std::isnan(b.Right) || std::isnan(b.Bottom))
    return Value();
  return Value(b.Left >= a.Left && b.Right <= a.Right && b.Top >= a.Top && b.Bottom <= a.Bottom);
}

Value Intersects(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* other = Arg(Args, 0).ObjectOrNull();
  if (!other)
    return Value(false);
  const Box a = Edges(M, This);
  const Box b = Edges(M, other);
  return Value(a.Left < b.Right && a.Right > b.Left && a.Top < b.Bottom && a.Bottom > b.Top);
}

Box OtherEdges(Machine& M, std::span<const Value> Args)
{
  Object* other = Arg(Args, 0).ObjectOrNull();
  const double nan = std::nan("");
  return other ? Edges(M, other) : Box{nan, nan, nan, nan};
}

Value Intersection(Machine& M, Object* This, std::span<const Value> Args)
{
  const Box a = Edges(M, This);
  const Box b = OtherEdges(M, Args);
  Box r{0, 0, 0, 0};
  const bool anyNaN = std::isnan(a.Left) || std::isnan(b.Left) || std::isnan(a.Top) || std::isnan(b.Top) ||
                      std::isnan(a.Right) || std::isnan(b.Right) || std::isnan(a.Bottom) || std::isnan(b.Bottom);
  if (!anyNaN)
    r = {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.Right <= r.Left || r.Bottom <= r.Top)
    r = {0, 0, 0, 0};
  return NewRectangle(M, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

// The smaller (or larger) of two edges; NaN in this rectangle wins, then
// NaN in the other.
double Pick(double A, double B, bool Smaller)
{
  if (std::isnan(A))
    return A;
  if (std::isnan(B))
    return B;
  return Smaller ? std::min(A, B) : std::max(A, B);
}

Value Union(Machine& M, Object* This, std::span<const Value> Args)
{
  const Box a = Edges(M, This);
  const Box b = OtherEdges(M, Args);
  const double left = Pick(a.Left, b.Left, true);
  const double top = Pick(a.Top, b.Top, true);
  return NewRectangle(M, left, top, Pick(a.Right, b.Right, false) - left, Pick(a.Bottom, b.Bottom, false) - top);
}

Value Inflate(Machine& M, Object* This, std::span<const Value> Args)
{
  const double x = Num(M, This, "x"), y = Num(M, This, "y");
  const double w = Num(M, This, "width"), h = Num(M, This, "height");
  const double dx = Arg(Args, 0).ToNumber(M), dy = Arg(Args, 1).ToNumber(M);
  Put(M, This, "x", Value(x - dx));
  Put(M, This, "y", Value(y - dy));
  Put(M, This, "width", Value(w + dx * 2));
  Put(M, This, "height", Value(h + dy * 2));
  return Value();
}

Value InflatePoint(Machine& M, Object* This, std::span<const Value> Args)
{
  const double x = Num(M, This, "x"), y = Num(M, This, "y");
  const double w = Num(M, This, "width"), h = Num(M, This, "height");
  const auto [dx, dy] = PointOf(M, Arg(Args, 0));
  Put(M, This, "x", Value(x - dx));
  Put(M, This, "y", Value(y - dy));
  Put(M, This, "width", Value(w + dx * 2));
  Put(M, This, "height", Value(h + dy * 2));
  return Value();
}

Value Offset(Machine& M, Object* This, std::span<const Value> Args)
{
  const double x = Num(M, This, "x"), y = Num(M, This, "y");
  const double dx = Arg(Args, 0).ToNumber(M), dy = Arg(Args, 1).ToNumber(M);
  Put(M, This, "x", Value(x + dx));
  Put(M, This, "y", Value(y + dy));
  return Value();
}

Value OffsetPoint(Machine& M, Object* This, std::span<const Value> Args)
{
  const double x = Num(M, This, "x"), y = Num(M, This, "y");
  const auto [dx, dy] = PointOf(M, Arg(Args, 0));
  Put(M, This, "x", Value(x + dx));
  Put(M, This, "y", Value(y + dy));
  return Value();
}

Value EqualsFn(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* other = Arg(Args, 0).ObjectOrNull();
  if (!other)
    return Value(false);
  for (const char* name : {"x", "y", "width", "height"})
    if (!Get(M, This, name).StrictEquals(Get(M, other, name)))
      return Value(false);
  Object* proto = M.Prototype("Rectangle");
  for (Object* p = other->Proto(); p; p = p->Proto())
    if (p == proto)
      return Value(true);
  return Value(false);
}

Value Left(Machine& M, Object* This, std::span<const Value>)
{
  return Get(M, This, "x");
}
// Moving an edge keeps the opposite one: the new value is stored as given,
// the size is worked out in numbers.
Value SetLeft(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value to = Arg(Args, 0);
  const double old = Num(M, This, "x");
  const double w = Num(M, This, "width");
  Put(M, This, "x", to);
  Put(M, This, "width", Value(w + (old - to.ToNumber(M))));
  return Value();
}
Value Top(Machine& M, Object* This, std::span<const Value>)
{
  return Get(M, This, "y");
}
Value SetTop(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value to = Arg(Args, 0);
  const double old = Num(M, This, "y");
  const double h = Num(M, This, "height");
  Put(M, This, "y", to);
  Put(M, This, "height", Value(h + (old - to.ToNumber(M))));
  return Value();
}
Value Right(Machine& M, Object* This, std::span<const Value>)
{
  return Value(Edges(M, This).Right);
}
Value SetRight(Machine& M, Object* This, std::span<const Value> Args)
{
  const double to = Args.empty() ? std::nan("") : Args[0].ToNumber(M);
  Put(M, This, "width", Value(to - Num(M, This, "x")));
  return Value();
}
Value Bottom(Machine& M, Object* This, std::span<const Value>)
{
  return Value(Edges(M, This).Bottom);
}
Value SetBottom(Machine& M, Object* This, std::span<const Value> Args)
{
  const double to = Args.empty() ? std::nan("") : Args[0].ToNumber(M);
  Put(M, This, "height", Value(to - Num(M, This, "y")));
  return Value();
}
Value Size(Machine& M, Object* This, std::span<const Value>)
{
  return NewPoint(M, Get(M, This, "width"), Get(M, This, "height"));
}
Value SetSize(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* o = Arg(Args, 0).ObjectOrNull();
  Put(M, This, "width", Get(M, o, "x"));
  Put(M, This, "height", Get(M, o, "y"));
  return Value();
}
Value TopLeft(Machine& M, Object* This, std::span<const Value>)
{
  return NewPoint(M, Get(M, This, "x"), Get(M, This, "y"));
}
Value SetTopLeft(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* o = Arg(Args, 0).ObjectOrNull();
  const Value left = Get(M, o, "x");
  const Value top = Get(M, o, "y");
  const double oldLeft = Num(M, This, "x"), w = Num(M, This, "width");
  const double oldTop = Num(M, This, "y"), h = Num(M, This, "height");
  Put(M, This, "x", left);
  Put(M, This, "y", top);
  Put(M, This, "width", Value(w + (oldLeft - left.ToNumber(M))));
  Put(M, This, "height", Value(h + (oldTop - top.ToNumber(M))));
  return Value();
}
Value BottomRight(Machine& M, Object* This, std::span<const Value>)
{
  const Box b = Edges(M, This);
  return NewPoint(M, Value(b.Right), Value(b.Bottom));
}
Value SetBottomRight(Machine& M, Object* This, std::span<const Value> Args)
{
  const auto [right, bottom] = PointOf(M, Arg(Args, 0));
  Put(M, This, "width", Value(right - Num(M, This, "x")));
  Put(M, This, "height", Value(bottom - Num(M, This, "y")));
  return Value();
}

const Member Methods[] = {
    Method("clone", Clone, 0),
    Method("setEmpty", SetEmpty, 0),
    Method("isEmpty", IsEmpty, 0),
    Accessor("left", Left, SetLeft, 0),
    Accessor("right", Right, SetRight, 0),
    Accessor("top", Top, SetTop, 0),
    Accessor("bottom", Bottom, SetBottom, 0),
    Accessor("topLeft", TopLeft, SetTopLeft, 0),
    Accessor("bottomRight", BottomRight, SetBottomRight, 0),
    Accessor("size", Size, SetSize, 0),
    Method("inflate", Inflate, 0),
    Method("inflatePoint", InflatePoint, 0),
    Method("offset", Offset, 0),
    Method("offsetPoint", OffsetPoint, 0),
    Method("contains", Contains, 0),
    Method("containsPoint", ContainsPoint, 0),
    Method("containsRectangle", ContainsRectangle, 0),
    Method("intersection", Intersection, 0),
    Method("intersects", Intersects, 0),
    Method("union", Union, 0),
    Method("equals", EqualsFn, 0),
    Method("toString", ToStringFn, 0),
};

} // namespace

extern const ClassSpec RectangleClass = {.Name = "Rectangle", .Construct = Construct, .Prototype = Methods};

} // namespace quenloft::swf::avm1

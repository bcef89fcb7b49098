// flash.geom.Point: a plain object with x and y; the methods read them back
// through ordinary property access, so any object with x and y will do.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

double Num(Machine& M, Object* O, std::string_view Name)
{
  return O ? O->Get(M, M.Intern(Name)).ToNumber(M) : std::nan("");
}

// x and y of any value (undefined reads as an object without them).
std::pair<double, double> XY(Machine& M, Value V)
{
  Object* o = V.ToObject(M);
  return {Num(M, o, "x"), Num(M, o, "y")};
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  if (Args.empty()) {
    This->Set(M, M.Intern("y"), Value(0));
    This->Set(M, M.Intern("x"), Value(0));
  } else {
    This->Set(M, M.Intern("y"), Arg(Args, 1));
    This->Set(M, M.Intern("x"), Args[0]);
  }
  return Value(This);
}

Value Clone(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  return NewPoint(M, This->Get(M, M.Intern("x")), This->Get(M, M.Intern("y")));
}

Value Equals(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value(false);
  Object* other = Args[0].ToObject(M);
  const auto get = [&](Object* O, const char* N) { return O ? O->Get(M, M.Intern(N)) : Value(); };
  return Value(get(This, "x").StrictEquals(get(other, "x")) && get(This, "y").StrictEquals(get(other, "y")));
}

Value Add(Machine& M, Object* This, std::span<const Value> Args)
{
  const auto [x, y] = XY(M, Value(This));
  const auto [ox, oy] = XY(M, Arg(Args, 0));
  return NewPoint(M, Value(x + ox), Value(y + oy));
}

Value Subtract(Machine& M, Object* This, std::span<const Value> Args)
{
  const auto [x, y] = XY(M, Value(This));
  const auto [ox, oy] = XY(M, Arg(Args, 0));
  return NewPoint(M, Value(x - ox), Value(y - oy));
}

Value Length(Machine& M, Object* This, std::span<const Value>)
{
  const auto [x, y] = XY(M, Value(This));
  return Value(std::sqrt(x * x + y * y));
}

Value Normalize(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const double length = This->Get(M, M.A.Length).ToNumber(M);
  if (!std::isfinite(length))
    return Value();
  const auto [x, y] = XY(M, Value(This));
  const double to = Arg(Args, 0).ToNumber(M);
  This->Set(M, M.Intern("x"), Value(length == 0 ? x * to : x / length * to));
  This->Set(M, M.Intern("y"), Value(length == 0 ? y * to : y / length * to));
  return Value();
}

Value Offset(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const auto [x, y] = XY(M, Value(This));
  const double dx = Arg(Args, 0).ToNumber(M);
  const double dy = Arg(Args, 1).ToNumber(M);
  This->Set(M, M.Intern("x"), Value(x + dx));
  This->Set(M, M.Intern("y"), Value(y + dy));
  return Value();
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  const auto text = [&](const char* N) { return This ? This->Get(M, M.Intern(N)).ToText(M) : std::string(); };
  return Value(M.NewString("(x=" + text("x") + ", y=" + text("y") + ")"));
}

Value Distance(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.size() < 2)
    return Value(std::nan(""));
  const Value delta = M.CallMethod(Value(Args[0].ToObject(M)), "subtract", Args.subspan(1, 1));
  Object* d = delta.ToObject(M);
  return d ? d->Get(M, M.A.Length) : Value();
}

Value Polar(Machine& M, Object*, std::span<const Value> Args)
{
  const double length = Arg(Args, 0).ToNumber(M);
  const double angle = Arg(Args, 1).ToNumber(M);
  return NewPoint(M, Value(length * std::cos(angle)), Value(length * std::sin(angle)));
}

Value Interpolate(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.size() < 3)
    return NewPoint(M, Value(std::nan("")), Value(std::nan("")));
  const auto [ax, ay] = XY(M, Args[0]);
  const auto [bx, by] = XY(M, Args[1]);
  const double f = Args[2].ToNumber(M);
  return NewPoint(M, Value(bx - (bx - ax) * f), Value(by - (by - ay) * f));
}

const Member Methods[] = {
    Accessor("length", Length, nullptr, ReadOnly),
    Method("clone", Clone, 0),
    Method("offset", Offset, 0),
    Method("equals", Equals, 0),
    Method("subtract", Subtract, 0),
    Method("add", Add, 0),
    Method("normalize", Normalize, 0),
    Method("toString", ToStringFn, 0),
};

const Member Statics[] = {
    Method("distance", Distance, 0),
    Method("polar", Polar, 0),
    Method("interpolate", Interpolate, 0),
};

} // namespace

Value NewPoint(Machine& M, Value X, Value Y)
{
  const Value args[] = {X, Y};
  return M.Construct(Value(static_cast<Object*>(M.Constructor("Point"))), args);
}

extern const ClassSpec PointClass = {.Name = "Point", .Construct = Construct, .Prototype = Methods, .Statics = Statics};

} // namespace quenloft::swf::avm1

// flash.geom.Matrix: a plain object with a, b, c, d, tx and ty, the 2x3
// affine matrix [a c tx; b d ty] that maps (x, y) to
// (a*x + c*y + tx, b*x + d*y + ty).
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <array>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

using Affine = std::array<double, 6>; // a, b, c, d, tx, ty
constexpr const char* Names[] = {"a", "b", "c", "d", "tx", "ty"};

Affine Read(Machine& M, Object* O)
{
  Affine m{};
  for (std::size_t i = 0; i < 6; ++i)
    m[i] = O ? O->Get(M, M.Intern(Names[i])).ToNumber(M) : std::nan("");
  return m;
}

void Write(Machine& M, Object* O, const Affine& A)
{
  if (!O)
    return;
  for (std::size_t i = 0; i < 6; ++i)
    O->Set(M, M.Intern(Names[i]), Value(A[i]));
}

// First L, then R.
Affine Multiply(const Affine& L, const Affine& R)
{
  return {L[0] * R[0] + L[1] * R[2], L[0] * R[1] + L[1] * R[3],        L[2] * R[0] + L[3] * R[2],
          L[2] * R[1] + L[3] * R[3], L[4] * R[0] + L[5] * R[2] + R[4], L[4] * R[1] + L[5] * R[3] + R[5]};
}

Value Identity(Machine& M, Object* This, std::span<const Value>)
{
  Write(M, This, {1, 0, 0, 1, 0, 0});
  return Value();
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  if (Args.empty()) {
    Identity(M, This, Args);
    return Value(This);
  }
  for (std::size_t i = 0; i < Args.size() && i < 6; ++i)
    This->Set(M, M.Intern(Names[i]), Args[i]);
  return Value(This);
}

Value Clone(Machine& M, Object* This, std::span<const Value>)
{
  std::array<Value, 6> args;
  for (std::size_t i = 0; i < 6; ++i)
    args[i] = This ? This->Get(M, M.Intern(Names[i])) : Value();
  return M.Construct(Value(static_cast<Object*>(M.Constructor("Matrix"))), args);
}

Value Concat(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* other = Arg(Args, 0).ObjectOrNull();
  if (other)
    Write(M, This, Multiply(Read(M, This), Read(M, other)));
  return Value();
}

Value Invert(Machine& M, Object* This, std::span<const Value>)
{
  const Affine m = Read(M, This);
  const double det = m[0] * m[3] - m[1] * m[2];
  if (det == 0 || !std::isfinite(det)) {
    Write(M, This, {1, 0, 0, 1, 0, 0});
    return Value();
  }
  Write(M, This,
        {m[3] / det, -m[1] / det, -m[2] / det, m[0] / det, (m[2] * m[5] - m[3] * m[4]) / det,
         (m[1] * m[4] - m[0] * m[5]) / det});
  return Value();
}

double NumberOr(Machine& M, std::span<const Value> Args, std::size_t I, double Default)
{
  return I < Args.size() ? Args[I].ToNumber(M) : Default;
}

Affine Box(double Sx, double Sy, double Rotation, double Tx, double Ty)
{
  const double c = std::cos(Rotation);
  const double s = std::sin(Rotation);
  return {c * Sx, s * Sy, -s * Sx, c * Sy, Tx, Ty};
}

Value CreateBox(Machine& M, Object* This, std::span<const Value> Args)
{
  Write(M, This,
        Box(NumberOr(M, Args, 0, std::nan("")), NumberOr(M, Args, 1, std::nan("")), NumberOr(M, Args, 2, 0),
            NumberOr(M, Args, 3, 0), NumberOr(M, Args, 4, 0)));
  return Value();
}

// A gradient spans 1638.4 pixels (32768 twips) before its box scales it.
Value CreateGradientBox(Machine& M, Object* This, std::span<const Value> Args)
{
  const double w = NumberOr(M, Args, 0, std::nan(""));
  const double h = NumberOr(M, Args, 1, std::nan(""));
  Write(M, This,
        Box(w / 1638.4, h / 1638.4, NumberOr(M, Args, 2, 0), NumberOr(M, Args, 3, 0) + w / 2,
            NumberOr(M, Args, 4, 0) + h / 2));
  return Value();
}

Value Rotate(Machine& M, Object* This, std::span<const Value> Args)
{
  const double angle = Arg(Args, 0).ToNumber(M);
  Write(M, This, Multiply(Read(M, This), Box(1, 1, angle, 0, 0)));
  return Value();
}

Value Scale(Machine& M, Object* This, std::span<const Value> Args)
{
  const Affine s = {Arg(Args, 0).ToNumber(M), 0, 0, Arg(Args, 1).ToNumber(M), 0, 0};
  Write(M, This, Multiply(Read(M, This), s));
  return Value();
}

Value Translate(Machine& M, Object* This, std::span<const Value> Args)
{
  Affine m = Read(M, This);
  m[4] += Arg(Args, 0).ToNumber(M);
  m[5] += Arg(Args, 1).ToNumber(M);
  Write(M, This, m);
  return Value();
}

Value MapPoint(Machine& M, Object* This, std::span<const Value> Args, bool Translated)
{
  const Affine m = Read(M, This);
  Object* p = Arg(Args, 0).ToObject(M);
  const double x = p ? p->Get(M, M.Intern("x")).ToNumber(M) : std::nan("");
  const double y = p ? p->Get(M, M.Intern("y")).ToNumber(M) : std::nan("");
  const double tx = Translated ? m[4] : 0;
  const double ty = Translated ? m[5] : 0;
  return NewPoint(M, Value(m[0] * x + m[2] * y + tx), Value(m[1] * x + m[3] * y + ty));
}
Value DeltaTransformPoint(Machine& M, Object* This, std::span<const Value> Args)
{
  return MapPoint(M, This, Args, false);
}
Value TransformPoint(Machine& M, Object* This, std::span<const Value> Args)
{
  return MapPoint(M, This, Args, true);
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  std::string out = "(";
  for (std::size_t i = 0; i < 6; ++i) {
    if (i)
      out += ", ";
    out += std::string(Names[i]) + "=" + (This ? This->Get(M, M.Intern(Names[i])).ToText(M) : "undefined");
  }
  return Value(M.NewString(out + ")"));
}

const Member Methods[] = {
    Method("concat", Concat, 0),
    Method("invert", Invert, 0),
    Method("createBox", CreateBox, 0),
    Method("createGradientBox", CreateGradientBox, 0),
    Method("clone", Clone, 0),
    Method("identity", Identity, 0),
    Method("rotate", Rotate, 0),
    Method("translate", Translate, 0),
    Method("scale", Scale, 0),
    Method("deltaTransformPoint", DeltaTransformPoint, 0),
    Method("transformPoint", TransformPoint, 0),
    Method("toString", ToStringFn, 0),
};

} // namespace

extern const ClassSpec MatrixClass = {.Name = "Matrix", .Construct = Construct, .Prototype = Methods};

} // namespace quenloft::swf::avm1

// Math.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>
#include <numbers>

namespace quenloft::swf::avm1 {

namespace {

template <double (*F)(double)>
Value Unary(Machine& M, Object*, std::span<const Value> Args)
{
  return Value(Args.empty() ? std::nan("") : F(Args[0].ToNumber(M)));
}

double Abs(double X) { return std::fabs(X); }
double Acos(double X) { return std::acos(X); }
double Asin(double X) { return std::asin(X); }
double Atan(double X) { return std::atan(X); }
double Ceil(double X) { return std::ceil(X); }
double Cos(double X) { return std::cos(X); }
double Exp(double X) { return std::exp(X); }
double Floor(double X) { return std::floor(X); }
double Log(double X) { return std::log(X); }
double Sin(double X) { return std::sin(X); }
double Sqrt(double X) { return std::sqrt(X); }
double Tan(double X) { return std::tan(X); }
// Halves round up, as in the player (-2.5 gives -2).
double Round(double X) { return std::floor(X + 0.5); }

Value Atan2(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.size() < 2)
    return Value(std::nan(""));
  return Value(std::atan2(Args[0].ToNumber(M), Args[1].ToNumber(M)));
}

Value Pow(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.size() < 2)
    return Value(std::nan(""));
  return Value(std::pow(Args[0].ToNumber(M), Args[1].ToNumber(M)));
}

Value Max(Machine& M, Object*, std::span<const Value> Args)
{
  double r = -INFINITY;
  if (Args.empty())
    return Value(r);
  for (const Value& v : Args) {
    const double d = v.ToNumber(M);
    if (std::isnan(d))
      return Value(d);
    r = std::max(r, d);
  }
  return Value(r);
}

Value Min(Machine& M, Object*, std::span<const Value> Args)
{
  double r = INFINITY;
  for (const Value& v : Args) {
    const double d = v.ToNumber(M);
    if (std::isnan(d))
      return Value(d);
    r = std::min(r, d);
  }
  return Value(r);
}

Value RandomFn(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.Random() / 4294967296.0);
}

const Member Members[] = {
    Method("abs", Unary<Abs>),     Method("acos", Unary<Acos>),   Method("asin", Unary<Asin>),
    Method("atan", Unary<Atan>),   Method("atan2", Atan2),        Method("ceil", Unary<Ceil>),
    Method("cos", Unary<Cos>),     Method("exp", Unary<Exp>),     Method("floor", Unary<Floor>),
    Method("log", Unary<Log>),     Method("max", Max),            Method("min", Min),
    Method("pow", Pow),            Method("random", RandomFn),    Method("round", Unary<Round>),
    Method("sin", Unary<Sin>),     Method("sqrt", Unary<Sqrt>),   Method("tan", Unary<Tan>),
    Constant("E", std::numbers::e),          Constant("LN10", std::numbers::ln10),
    Constant("LN2", std::numbers::ln2),      Constant("LOG10E", std::numbers::log10e),
    Constant("LOG2E", std::numbers::log2e),  Constant("PI", std::numbers::pi),
    Constant("SQRT1_2", 0.7071067811865476), Constant("SQRT2", std::numbers::sqrt2),
};

} // namespace

extern const ObjectSpec MathObject = {.Name = "Math", .Members = Members};

} // namespace quenloft::swf::avm1

// Math: the player's native table 200. Every method turns its first two
// arguments into numbers (calling valueOf) whether it uses them or not;
// min and max look at two arguments only.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <array>
#include <cmath>
#include <numbers>
#include <utility>

namespace quenloft::swf::avm1 {

namespace {

enum : int {
  Abs, Min, Max, Sin, Cos, Atan2, Tan, Exp, Log, Sqrt, Round, Random, Floor, Ceil, Atan, Asin, Acos, Pow,
  Count,
  Unknown = -1,
};

Value Run(Machine& M, std::span<const Value> Args, int Id)
{
  const double nan = std::nan("");
  const double x = Args.size() > 0 ? Args[0].ToNumber(M) : nan;
  const double y = Args.size() > 1 ? Args[1].ToNumber(M) : nan;
  // Up to SWF 6 a method called with too few arguments gives NaN.
  if (M.Version() <= 6 && Id != Random) {
    const bool binary = Id == Min || Id == Max || Id == Pow || Id == Atan2;
    bool valid = !Args.empty();
    if ((Id == Min || Id == Max) && Args.empty())
      valid = true;
    else if (Id == Pow && Args.size() == 1 && x == 1)
      valid = true;
    else if (binary && Args.size() < 2)
      valid = false;
    if (!valid)
      return Value(nan);
  }
  switch (Id) {
  case Abs: return Value(std::fabs(x));
  case Min:
    if (Args.empty())
      return Value(INFINITY);
    return Value(std::isnan(x) || std::isnan(y) ? nan : std::min(x, y));
  case Max:
    if (Args.empty())
      return Value(-INFINITY);
    return Value(std::isnan(x) || std::isnan(y) ? nan : std::max(x, y));
  case Sin: return Value(std::sin(x));
  case Cos: return Value(std::cos(x));
  case Atan2: return Value(std::atan2(x, y));
  case Tan: return Value(std::tan(x));
  case Exp: return Value(std::exp(x));
  case Log: return Value(std::log(x));
  case Sqrt: return Value(std::sqrt(x));
  // Halves round up, as in the player (-2.5 gives -2).
  case Round: return Value(std::floor(x + 0.5));
  // 31 random bits over 2^31, as the player makes them.
  case Random: return Value((M.Random() & 0x7FFFFFFFu) / 2147483648.0);
  case Floor: return Value(std::floor(x));
  case Ceil: return Value(std::ceil(x));
  case Atan: return Value(std::atan(x));
  case Asin: return Value(std::asin(x));
  case Acos: return Value(std::acos(x));
  case Pow: return Value(std::pow(x, y));
  default: return Value(nan);
  }
}

template <int Id>
Value Fn(Machine& M, Object*, std::span<const Value> Args)
{
  return Run(M, Args, Id);
}

template <int... Ids>
constexpr std::array<NativeFn, sizeof...(Ids)> Table(std::integer_sequence<int, Ids...>)
{
  return {Fn<Ids>...};
}
constexpr auto Methods = Table(std::make_integer_sequence<int, Count>());

constexpr std::uint16_t F = DontEnum | DontDelete | ReadOnly;
const Member Members[] = {
    Constant("SQRT2", std::numbers::sqrt2),  Constant("SQRT1_2", 0.7071067811865476),
    Constant("PI", std::numbers::pi),        Constant("LOG2E", std::numbers::log2e),
    Constant("LOG10E", std::numbers::log10e), Constant("LN2", std::numbers::ln2),
    Constant("LN10", std::numbers::ln10),    Constant("E", std::numbers::e),
    Method("abs", Fn<Abs>, F),     Method("min", Fn<Min>, F),     Method("max", Fn<Max>, F),
    Method("sin", Fn<Sin>, F),     Method("cos", Fn<Cos>, F),     Method("atan2", Fn<Atan2>, F),
    Method("tan", Fn<Tan>, F),     Method("exp", Fn<Exp>, F),     Method("log", Fn<Log>, F),
    Method("sqrt", Fn<Sqrt>, F),   Method("round", Fn<Round>, F), Method("random", Fn<Random>, F),
    Method("floor", Fn<Floor>, F), Method("ceil", Fn<Ceil>, F),   Method("atan", Fn<Atan>, F),
    Method("asin", Fn<Asin>, F),   Method("acos", Fn<Acos>, F),   Method("pow", Fn<Pow>, F),
};

} // namespace

NativeFn MathNative(int Index)
{
  // Unlike other tables, every number here is a function (giving NaN).
  if (Index >= 0 && Index < Count)
    return Methods[static_cast<std::size_t>(Index)];
  return Fn<Unknown>;
}

extern const ObjectSpec MathObject = {.Name = "Math", .Members = Members};

} // namespace quenloft::swf::avm1

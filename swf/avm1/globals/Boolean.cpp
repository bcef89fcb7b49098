// Boolean, Number and Error: small classes around a value.
#include "swf/avm1/Box.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>
#include <limits>

namespace quenloft::swf::avm1 {

namespace {

Object* MakeBoolProto(Machine& M, Object* Base)
{
  return M.Heap().Make<BoxObject>(Base, Value(false));
}
Object* MakeNumberProto(Machine& M, Object* Base)
{
  return M.Heap().Make<BoxObject>(Base, Value(0.0));
}

Value PrimitiveOf(Object* This)
{
  const Value* p = This ? This->Primitive() : nullptr;
  return p ? *p : Value();
}

Value BoolConstruct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (auto* b = dynamic_cast<BoxObject*>(This))
    b->SetPrimitive(Value(Arg(Args, 0).ToBoolean(M.Version())));
  return Value(This);
}
Value BoolCall(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.empty())
    return Value();
  return Value(Args[0].ToBoolean(M.Version()));
}
Value BoolToString(Machine& M, Object* This, std::span<const Value>)
{
  const Value v = PrimitiveOf(This);
  return v.IsBool() ? Value(v.ToString(M)) : Value();
}
Value BoolValueOf(Machine&, Object* This, std::span<const Value>)
{
  const Value v = PrimitiveOf(This);
  return v.IsBool() ? v : Value();
}

Value NumberConstruct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (auto* b = dynamic_cast<BoxObject*>(This))
    b->SetPrimitive(Args.empty() ? Value(0.0) : Value(Args[0].ToNumber(M)));
  return Value(This);
}
Value NumberCall(Machine& M, Object*, std::span<const Value> Args)
{
  return Args.empty() ? Value(0.0) : Value(Args[0].ToNumber(M));
}
Value NumberToString(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value v = PrimitiveOf(This);
  if (!v.IsNumber())
    return Value();
  int radix = 10;
  if (!Args.empty()) {
    const double r = Args[0].ToNumber(M);
    radix = r >= 2 && r < 37 ? static_cast<int>(r) : 10;
  }
  if (radix == 10)
    return Value(v.ToString(M));
  // Other radixes write the number as a 32-bit integer; NaN and numbers out
  // of that range become its lowest value, whose digits come out as the
  // player's own (signed) division makes them: "-/0000..." in base 2.
  const double d = v.AsNumber();
  const std::int32_t n = d >= -2147483648.0 && d <= 2147483647.0 ? static_cast<std::int32_t>(d) : std::numeric_limits<std::int32_t>::min();
  if (n == 0)
    return Value(M.NewString("0"));
  const bool negative = n < 0;
  std::int32_t rest = negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(n)) : n;
  std::string out;
  while (rest != 0) {
    const std::int32_t digit = rest % radix;
    rest /= radix;
    out.insert(out.begin(), static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10));
  }
  if (negative)
    out.insert(out.begin(), '-');
  return Value(M.NewString(out));
}
Value NumberValueOf(Machine&, Object* This, std::span<const Value>)
{
  const Value v = PrimitiveOf(This);
  return v.IsNumber() ? v : Value();
}

Value ErrorConstruct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (This && !Args.empty() && !Args[0].IsUndefined())
    This->Set(M, M.A.Message, Args[0]);
  return Value(This);
}
Value ErrorToString(Machine& M, Object* This, std::span<const Value>)
{
  return This ? Value(This->Get(M, M.A.Message).ToString(M)) : Value();
}

const Member BoolMethods[] = {
    Method("toString", BoolToString, DontEnum | DontDelete),
    Method("valueOf", BoolValueOf, DontEnum | DontDelete),
};
const Member NumberMethods[] = {
    Method("toString", NumberToString, DontEnum | DontDelete),
    Method("valueOf", NumberValueOf, DontEnum | DontDelete),
};
const Member NumberStatics[] = {
    Constant("MAX_VALUE", std::numeric_limits<double>::max()),
    Constant("MIN_VALUE", 4.9406564584124654e-324),
    Constant("NaN", std::numeric_limits<double>::quiet_NaN()),
    Constant("NEGATIVE_INFINITY", -std::numeric_limits<double>::infinity()),
    Constant("POSITIVE_INFINITY", std::numeric_limits<double>::infinity()),
};
const Member ErrorMethods[] = {
    TextConstant("message", "Error", DontEnum),
    TextConstant("name", "Error", DontEnum),
    Method("toString", ErrorToString),
};

} // namespace

extern const ClassSpec BooleanClass = {.Name = "Boolean", .Construct = BoolConstruct, .Call = BoolCall, .Prototype = BoolMethods, .MakePrototype = MakeBoolProto};
extern const ClassSpec NumberClass = {.Name = "Number", .Construct = NumberConstruct, .Call = NumberCall, .Prototype = NumberMethods, .Statics = NumberStatics, .MakePrototype = MakeNumberProto};
extern const ClassSpec ErrorClass = {.Name = "Error", .Construct = ErrorConstruct, .Prototype = ErrorMethods};

} // namespace quenloft::swf::avm1

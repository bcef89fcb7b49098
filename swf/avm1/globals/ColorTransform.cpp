// flash.geom.ColorTransform: four multipliers and four offsets, held by the
// object itself (not as ordinary properties) and read through accessors.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <array>

namespace quenloft::swf::avm1 {

namespace {

// Red, green, blue and alpha multipliers, then the four offsets.
using Channels = std::array<double, 8>;
constexpr Channels Identity = {1, 1, 1, 1, 0, 0, 0, 0};

class ColorTransformObject final : public Object {
public:
  ColorTransformObject(Object* Proto, const Channels& C) : Object(Proto), Values(C) {}
  Object* CreateInstance(Machine& M, Object* Proto) override
  {
    return M.Heap().Make<ColorTransformObject>(Proto, Identity);
  }
  Channels Values;
};

// The prototype makes color transforms for `new` without being one.
class ColorTransformPrototype final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override
  {
    return M.Heap().Make<ColorTransformObject>(Proto, Identity);
  }
};

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<ColorTransformPrototype>(Base);
}

ColorTransformObject* Self(Object* O)
{
  return dynamic_cast<ColorTransformObject*>(O);
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  ColorTransformObject* self = Self(This);
  if (!self)
    return Value(This);
  if (Args.size() >= 8) {
    for (std::size_t i = 0; i < 8; ++i)
      self->Values[i] = Args[i].ToNumber(M);
  } else if (Args.size() == 1 && Self(Args[0].ObjectOrNull())) {
    self->Values = Self(Args[0].ObjectOrNull())->Values;
  } else {
    self->Values = Identity;
  }
  return Value(This);
}

template <std::size_t I>
Value GetChannel(Machine&, Object* This, std::span<const Value>)
{
  ColorTransformObject* self = Self(This);
  return self ? Value(self->Values[I]) : Value();
}

template <std::size_t I>
Value SetChannel(Machine& M, Object* This, std::span<const Value> Args)
{
  ColorTransformObject* self = Self(This);
  if (self && !Args.empty())
    self->Values[I] = Args[0].ToNumber(M);
  return Value();
}

// The offsets as one 0xRRGGBB number (each offset wrapped to 32 bits).
Value GetRgb(Machine&, Object* This, std::span<const Value>)
{
  ColorTransformObject* self = Self(This);
  if (!self)
    return Value();
  const auto wrap = [](double D) { return static_cast<std::uint32_t>(NumberToInt32(D)); };
  const std::uint32_t rgb = (wrap(self->Values[4]) << 16) + (wrap(self->Values[5]) << 8) + wrap(self->Values[6]);
  return Value(static_cast<double>(rgb));
}

Value SetRgb(Machine& M, Object* This, std::span<const Value> Args)
{
  ColorTransformObject* self = Self(This);
  if (!self || Args.empty())
    return Value();
  const std::uint32_t rgb = Args[0].ToUInt32(M);
  self->Values[0] = self->Values[1] = self->Values[2] = 0;
  self->Values[4] = (rgb >> 16) & 0xFF;
  self->Values[5] = (rgb >> 8) & 0xFF;
  self->Values[6] = rgb & 0xFF;
  return Value();
}

// This transform after Other: offsets first, as they use the old multipliers.
Value Concat(Machine&, Object* This, std::span<const Value> Args)
{
  ColorTransformObject* self = Self(This);
  ColorTransformObject* other = Self(Arg(Args, 0).ObjectOrNull());
  if (!self || !other)
    return Value();
  for (std::size_t i = 0; i < 4; ++i)
    self->Values[i + 4] += other->Values[i + 4] * self->Values[i];
  for (std::size_t i = 0; i < 4; ++i)
    self->Values[i] *= other->Values[i];
  return Value();
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  static constexpr const char* Names[] = {"redMultiplier", "greenMultiplier", "blueMultiplier",
                                          "alphaMultiplier", "redOffset",     "greenOffset",
                                          "blueOffset",      "alphaOffset"};
  std::string out = "(";
  for (const char* name : Names) {
    if (out.size() > 1)
      out += ", ";
    out += std::string(name) + "=" + (This ? This->Get(M, M.Intern(name)).ToText(M) : "undefined");
  }
  return Value(M.NewString(out + ")"));
}

const Member Methods[] = {
    Accessor("alphaMultiplier", GetChannel<3>, SetChannel<3>, 0),
    Accessor("redMultiplier", GetChannel<0>, SetChannel<0>, 0),
    Accessor("greenMultiplier", GetChannel<1>, SetChannel<1>, 0),
    Accessor("blueMultiplier", GetChannel<2>, SetChannel<2>, 0),
    Accessor("alphaOffset", GetChannel<7>, SetChannel<7>, 0),
    Accessor("redOffset", GetChannel<4>, SetChannel<4>, 0),
    Accessor("greenOffset", GetChannel<5>, SetChannel<5>, 0),
    Accessor("blueOffset", GetChannel<6>, SetChannel<6>, 0),
    Accessor("rgb", GetRgb, SetRgb, 0),
    Method("concat", Concat, 0),
    Method("toString", ToStringFn, 0),
};

} // namespace

extern const ClassSpec ColorTransformClass = {.Name = "ColorTransform", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1

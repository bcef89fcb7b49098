// Button: the prototype of the objects of placed buttons (ButtonObject.h).
// Its enabled and useHandCursor start true; getDepth and tabIndex work on
// the placement.
#include "swf/avm1/ButtonObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/Native.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

Value GetDepth(Machine&, Object* This, std::span<const Value>)
{
  auto* b = dynamic_cast<ButtonObject*>(This);
  if (!b || !b->Placement())
    return Value();
  return Value(static_cast<double>(b->Depth()) - 16384);
}

Value GetTabIndex(Machine&, Object* This, std::span<const Value>)
{
  auto* b = dynamic_cast<ButtonObject*>(This);
  return b ? b->TabIndex : Value();
}

Value SetTabIndex(Machine&, Object* This, std::span<const Value> Args)
{
  if (auto* b = dynamic_cast<ButtonObject*>(This))
    b->TabIndex = Arg(Args, 0);
  return Value();
}

Object* MakeProto(Machine& M, Object* Base)
{
  auto* proto = M.Heap().Make<Object>(Base);
  proto->Define(M, M.Intern("useHandCursor"), Value(true));
  proto->Define(M, M.Intern("enabled"), Value(true));
  return proto;
}

const Member Methods[] = {
    Method("getDepth", GetDepth, DontEnum | OnlySwf6),
    Accessor("tabIndex", GetTabIndex, SetTabIndex, DontEnum | OnlySwf6),
};

} // namespace

extern const ClassSpec ButtonClass = {.Name = "Button", .Prototype = Methods, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1

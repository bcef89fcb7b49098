// Function: call and apply.
#include "swf/avm1/Array.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

Value CallFn(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* self = Arg(Args, 0).ToObject(M);
  return M.Call(Value(This), self, Args.size() > 1 ? Args.subspan(1) : std::span<const Value>());
}

Value ApplyFn(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* self = Arg(Args, 0).ToObject(M);
  std::vector<Value> list;
  if (Object* a = Arg(Args, 1).ObjectOrNull()) {
    if (auto* array = dynamic_cast<ArrayObject*>(a)) {
      list = ElementsOf(M, *array);
    } else {
      const double n = a->Get(M, M.A.Length).ToNumber(M);
      for (std::size_t i = 0; i < n && i < MaxArrayLength; ++i)
        list.push_back(a->Get(M, M.Intern(std::to_string(i))));
    }
  }
  return M.Call(Value(This), self, list);
}

const Member Methods[] = {
    Method("call", CallFn, DontEnum | DontDelete),
    Method("apply", ApplyFn, DontEnum | DontDelete),
};

} // namespace

extern const ClassSpec FunctionClass = {.Name = "Function", .Construct = Construct, .Prototype = Methods};

} // namespace quenloft::swf::avm1

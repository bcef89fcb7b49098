// Function: call and apply.
#include "swf/avm1/Array.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

// `new Function(x)` and `Function(x)` give x back; without it, the new
// object, or for a plain call a bare object with no prototype.
Value Construct(Machine&, Object* This, std::span<const Value> Args)
{
  return Args.empty() ? Value(This) : Args[0];
}

Value PlainCall(Machine& M, Object*, std::span<const Value> Args)
{
  if (!Args.empty())
    return Args[0];
  return Value(M.Heap().Make<Object>(nullptr));
}

// The `this` of call and apply: an object, else the global object.
Object* ThisArg(Machine& M, std::span<const Value> Args)
{
  Object* self = Arg(Args, 0).ToObject(M);
  return self ? self : M.Global();
}

Value CallFn(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* self = ThisArg(M, Args);
  return M.Call(Value(This), self, Args.size() > 1 ? Args.subspan(1) : std::span<const Value>());
}

Value ApplyFn(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* self = ThisArg(M, Args);
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

// The global name Function came with SWF 6.
extern const ClassSpec FunctionClass = {
    .Name = "Function", .Construct = Construct, .Call = PlainCall, .Prototype = Methods, .GlobalFlags = DontEnum | OnlySwf6};

} // namespace quenloft::swf::avm1

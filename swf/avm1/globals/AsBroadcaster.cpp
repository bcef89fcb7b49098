// AsBroadcaster: gives an object a `_listeners` array and the methods that
// add, remove and call listeners. Key, Mouse, Stage and others are made
// broadcasters the same way.
#include "swf/avm1/Function.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

Value Listeners(Machine& M, Object* This)
{
  return This ? This->Get(M, M.Intern("_listeners")) : Value();
}

std::size_t LengthOf(Machine& M, Object& List)
{
  const double n = List.Get(M, M.A.Length).ToNumber(M);
  return std::isfinite(n) && n > 0 ? static_cast<std::size_t>(std::min(n, 1e7)) : 0;
}

Atom IndexName(Machine& M, std::size_t I)
{
  return M.Intern(std::to_string(I));
}

Value AddListener(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value listener = Arg(Args, 0);
  if (Object* list = Listeners(M, This).ObjectOrNull()) {
    const std::size_t n = LengthOf(M, *list);
    for (std::size_t i = 0; i < n; ++i) {
      const Atom at = IndexName(M, i);
      if (M.LooseEquals(list->Get(M, at), listener)) {
        list->Set(M, at, listener);
        return Value(true);
      }
    }
    M.CallMethod(Value(list), "push", std::span<const Value>(&listener, 1));
  }
  return Value(true);
}

Value RemoveListener(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value listener = Arg(Args, 0);
  Object* list = Listeners(M, This).ObjectOrNull();
  if (!list)
    return Value(false);
  const std::size_t n = LengthOf(M, *list);
  for (std::size_t i = 0; i < n; ++i) {
    if (M.LooseEquals(list->Get(M, IndexName(M, i)), listener)) {
      const Value args[] = {Value(static_cast<double>(i)), Value(1)};
      M.CallMethod(Value(list), "splice", args);
      return Value(true);
    }
  }
  return Value(false);
}

Value BroadcastMessage(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Args.empty())
    return Value();
  Broadcast(M, This, Args[0].ToString(M), Args.subspan(1));
  return Value(true);
}

Value Initialize(Machine& M, Object*, std::span<const Value> Args)
{
  if (Object* o = Arg(Args, 0).ObjectOrNull())
    MakeBroadcaster(M, *o);
  return Value();
}

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

constexpr std::uint16_t F = DontEnum | DontDelete;
const Member Statics[] = {
    Method("initialize", Initialize, F),
    Method("addListener", AddListener, F),
    Method("removeListener", RemoveListener, F),
    Method("broadcastMessage", BroadcastMessage, F),
};

} // namespace

bool Broadcast(Machine& M, Object* Broadcaster, const String* Message, std::span<const Value> Args)
{
  Object* list = Listeners(M, Broadcaster).ObjectOrNull();
  if (!list)
    return false;
  const std::size_t n = LengthOf(M, *list);
  const Atom name = M.Atoms().Intern(Message);
  for (std::size_t i = 0; i < n; ++i) {
    Object* listener = list->Get(M, IndexName(M, i)).ToObject(M);
    if (!listener)
      continue;
    if (Message->Text.empty())
      M.Call(Value(listener), listener, Args);
    else
      M.CallMethod(Value(listener), name, Args);
  }
  return n > 0;
}

void MakeBroadcaster(Machine& M, Object& Target)
{
  // The very functions AsBroadcaster holds, not copies.
  FunctionObject* source = M.Constructor("AsBroadcaster");
  for (const char* name : {"broadcastMessage", "addListener", "removeListener"}) {
    const Atom atom = M.Intern(name);
    Property* p = source ? source->FindOwn(M, atom) : nullptr;
    Target.Define(M, atom, p ? p->Data : Value(), DontEnum | DontDelete);
  }
  Target.Define(M, M.Intern("_listeners"), Value(M.NewArray()), DontEnum | DontDelete);
}

extern const ClassSpec AsBroadcasterClass = {.Name = "AsBroadcaster", .Construct = Construct, .Statics = Statics};

} // namespace quenloft::swf::avm1

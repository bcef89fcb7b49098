// SharedObject and LocalConnection. A previewed movie writes nothing to
// disk and talks to no other movie: getLocal gives an object that lives as
// long as the machine (the same one for the same name), flush answers true,
// and connections only note what was asked in the program's log.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

// Shared objects already made, kept on a hidden property of the class.
Object* Registry(Machine& M)
{
  FunctionObject* ctor = M.Constructor("SharedObject");
  if (!ctor)
    return nullptr;
  const Atom name = M.Intern("__objects");
  if (Property* p = ctor->FindOwn(M, name))
    return p->Data.ObjectOrNull();
  Object* registry = M.NewObject();
  ctor->Define(M, name, Value(registry), DontEnum | DontDelete);
  return registry;
}

Value GetLocal(Machine& M, Object*, std::span<const Value> Args)
{
  const std::string name = Arg(Args, 0).ToText(M);
  const std::string path = Args.size() > 1 && !Args[1].IsNullish() ? Args[1].ToText(M) : std::string();
  // Names cannot hold these characters; the player answers null.
  if (name.empty() || name.find_first_of("~%&\\;:\"',<>?# ") != std::string::npos)
    return Value::Null();
  Object* registry = Registry(M);
  if (!registry)
    return Value::Null();
  const Atom key = M.Intern(path + "\n" + name);
  if (Property* p = registry->FindOwn(M, key))
    return p->Data;
  const Value made = M.Construct(Value(static_cast<Object*>(M.Constructor("SharedObject"))), {});
  if (Object* so = made.ObjectOrNull()) {
    so->Define(M, M.Intern("data"), Value(M.NewObject()), DontDelete);
    registry->Define(M, key, made, DontEnum);
  }
  return made;
}

Value GetRemote(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("SharedObject.getRemote(" + Arg(Args, 0).ToText(M) + ") is not carried out");
  return Value::Null();
}

Value Flush(Machine&, Object*, std::span<const Value>)
{
  return Value(true);
}

Value Clear(Machine& M, Object* This, std::span<const Value>)
{
  if (This)
    This->Define(M, M.Intern("data"), Value(M.NewObject()), DontDelete);
  return Value();
}

// The size in bytes the data would take on disk: estimated from its text.
Value GetSize(Machine& M, Object* This, std::span<const Value>)
{
  Object* data = This ? This->Get(M, M.Intern("data")).ObjectOrNull() : nullptr;
  if (!data)
    return Value(0);
  double size = 0;
  for (Atom name : data->EnumerableNames(M))
    size += static_cast<double>(M.Text(name)->Text.size() + data->Get(M, name).ToText(M).size() + 2);
  return Value(size);
}

Value Zero(Machine&, Object*, std::span<const Value>)
{
  return Value(0);
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}
Value False(Machine&, Object*, std::span<const Value>)
{
  return Value(false);
}

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

constexpr std::uint16_t F = DontEnum | DontDelete;
const Member SharedMethods[] = {
    Method("connect", False, F), Method("send", Nothing, F),  Method("flush", Flush, F),
    Method("close", Nothing, F), Method("getSize", GetSize, F), Method("setFps", False, F),
    Method("clear", Clear, F),
};
const Member SharedStatics[] = {
    Method("deleteAll", Zero, DontEnum),
    Method("getDiskUsage", Zero, DontEnum),
    Method("getLocal", GetLocal, 0),
    Method("getRemote", GetRemote, 0),
};

// --- LocalConnection ---

Value Connect(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("LocalConnection.connect(" + Arg(Args, 0).ToText(M) + ") is not carried out");
  return Value(false);
}
Value Send(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("LocalConnection.send(" + Arg(Args, 0).ToText(M) + ") is not carried out");
  return Value(false);
}
Value Domain(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.NewString("localhost"));
}

const Member ConnectionMethods[] = {
    Method("connect", Connect, F),
    Method("send", Send, F),
    Method("close", Nothing, F),
    Method("domain", Domain, F),
};

} // namespace

extern const ClassSpec SharedObjectClass = {.Name = "SharedObject", .Construct = Construct, .Prototype = SharedMethods, .Statics = SharedStatics};
extern const ClassSpec LocalConnectionClass = {.Name = "LocalConnection", .Construct = Construct, .Prototype = ConnectionMethods};

} // namespace quenloft::swf::avm1

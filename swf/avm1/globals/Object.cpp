// Object: the root of every prototype chain.
#include "swf/avm1/Function.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  // new Object(x) gives x as an object (a primitive boxed).
  if (!Args.empty() && !Args[0].IsNullish())
    return Value(Args[0].ToObject(M));
  return Value(This ? This : M.NewObject());
}

Value CallPlain(Machine& M, Object*, std::span<const Value> Args)
{
  if (!Args.empty() && !Args[0].IsNullish())
    return Value(Args[0].ToObject(M));
  return Value(M.NewObject());
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  if (This && This->TypeName() == "function")
    return Value(M.NewString("[type Function]"));
  return Value(M.NewString("[object Object]"));
}

Value ValueOfFn(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

Value HasOwnProperty(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value(false);
  // A property hidden from this version still counts.
  const Atom name = M.Atoms().Intern(Args[0].ToString(M));
  const Atom key = M.Key(name);
  for (const Property& p : This->OwnProperties())
    if (p.Key == key)
      return Value(true);
  return Value(This->HasOwnVirtual(M, name));
}

Value IsPropertyEnumerable(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value(false);
  Property* p = This->FindOwn(M, M.Atoms().Intern(Args[0].ToString(M)));
  return Value(p != nullptr && !(p->Flags & DontEnum));
}

Value IsPrototypeOf(Machine&, Object* This, std::span<const Value> Args)
{
  Object* o = Arg(Args, 0).ObjectOrNull();
  if (!This || !o)
    return Value(false);
  for (Object* p = o->Proto(); p; p = p->Proto())
    if (p == This)
      return Value(true);
  return Value(false);
}

Value AddProperty(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.size() < 2)
    return Value(false);
  const String* name = Args[0].ToString(M);
  auto* getter = dynamic_cast<FunctionObject*>(Args[1].ObjectOrNull());
  auto* setter = dynamic_cast<FunctionObject*>(Arg(Args, 2).ObjectOrNull());
  if (name->Text.empty() || !getter)
    return Value(false);
  // No setter is allowed only as an explicit null (a read-only property).
  if (!setter && !Arg(Args, 2).IsNull())
    return Value(false);
  This->DefineAccessor(M, M.Atoms().Intern(name), getter, setter, 0);
  return Value(true);
}

Value Watch(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* callback = Arg(Args, 1).ObjectOrNull();
  if (!This || !callback || callback->TypeName() != "function")
    return Value(false);
  This->Watch(M, M.Atoms().Intern(Args[0].ToString(M)), callback, Arg(Args, 2));
  return Value(true);
}

Value Unwatch(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value(false);
  return Value(This->Unwatch(M, M.Atoms().Intern(Args[0].ToString(M))));
}

Value RegisterClass(Machine& M, Object*, std::span<const Value> Args)
{
  // registerClass(name, constructor): clips of that exported symbol are made
  // with the constructor from now on; null or undefined forgets it.
  if (Args.size() < 2)
    return Value(false);
  Object* ctor = Args[1].ObjectOrNull();
  if (ctor && ctor->TypeName() != "function")
    return Value(false);
  if (!ctor && !Args[1].IsNullish())
    return Value(false);
  const Atom key = M.Key(M.Intern(Args[0].ToText(M)));
  if (ctor)
    M.RegisteredClasses()[key] = ctor;
  else
    M.RegisteredClasses().erase(key);
  return Value(true);
}

const Member Methods[] = {
    Method("addProperty", AddProperty, DontEnum | DontDelete | OnlySwf6),
    Method("hasOwnProperty", HasOwnProperty, DontEnum | DontDelete | OnlySwf6),
    Method("isPropertyEnumerable", IsPropertyEnumerable, DontEnum | DontDelete | OnlySwf6),
    Method("isPrototypeOf", IsPrototypeOf, DontEnum | DontDelete | OnlySwf6),
    Method("toString", ToStringFn, DontEnum | DontDelete),
    Method("toLocaleString", ToStringFn, DontEnum | DontDelete),
    Method("valueOf", ValueOfFn, DontEnum | DontDelete),
    Method("watch", Watch, DontEnum | DontDelete | OnlySwf6),
    Method("unwatch", Unwatch, DontEnum | DontDelete | OnlySwf6),
};

const Member Statics[] = {
    Method("registerClass", RegisterClass, DontEnum | DontDelete | ReadOnly),
};

} // namespace

extern const ClassSpec ObjectClass = {.Name = "Object", .Construct = Construct, .Call = CallPlain, .Prototype = Methods, .Statics = Statics};

} // namespace quenloft::swf::avm1

#include "swf/avm1/Machine.h"

#include "swf/avm1/Array.h"
#include "swf/avm1/Box.h"
#include "swf/avm1/Decoder.h"
#include "swf/avm1/Interpreter.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <chrono>

namespace quenloft::swf::avm1 {

Object* BoxObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<BoxObject>(Proto, FValue.IsString() ? Value(M.EmptyString()) : Value());
}

bool BoxObject::GetOwnVirtual(Machine& M, Atom Name, Value& Out)
{
  if (FValue.IsString() && Name == M.A.Length) {
    std::size_t n = 0;
    for (unsigned char c : FValue.AsString()->Text)
      if ((c & 0xC0) != 0x80)
        ++n;
    Out = Value(static_cast<double>(n));
    return true;
  }
  return false;
}

Machine::Machine(int SwfVersion, Host& H)
    : FHost(H), FVersion(SwfVersion), FCaseSensitive(SwfVersion >= 7), FAtoms(FHeap),
      FInterpreter(std::make_unique<Interpreter>(*this))
{
  A.Empty = Intern("");
  A.Length = Intern("length");
  A.Prototype = Intern("prototype");
  A.Constructor = Intern("constructor");
  A.Proto = Intern("__proto__");
  A.ProtoCtor = Intern("__constructor__");
  A.ToStringA = Intern("toString");
  A.ValueOf = Intern("valueOf");
  A.Resolve = Intern("__resolve");
  A.Arguments = Intern("arguments");
  A.Callee = Intern("callee");
  A.Caller = Intern("caller");
  A.This = Intern("this");
  A.Super = Intern("super");
  A.Global = Intern("_global");
  A.Root = Intern("_root");
  A.Parent = Intern("_parent");
  A.Level0 = Intern("_level0");
  A.Undefined = Intern("undefined");
  A.Null = Intern("null");
  A.TrueA = Intern("true");
  A.FalseA = Intern("false");
  A.NaN = Intern("NaN");
  A.Message = Intern("message");
  A.Name = Intern("name");
  FStartTime = static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::system_clock::now().time_since_epoch())
                                      .count());
  FEmpty = Text(A.Empty);
  FObjectProto = FHeap.Make<Object>(nullptr);
  FFunctionProto = FHeap.Make<Object>(FObjectProto);
  // The global object inherits nothing (_global.toString is undefined).
  FGlobal = FHeap.Make<Object>(nullptr);
  InstallGlobals(*this);
}

Machine::~Machine() = default;

Object* Machine::ResolvePath(std::string_view Path)
{
  Interpreter& in = *FInterpreter;
  if (in.FCurrent)
    return in.ResolveTarget(*in.FCurrent, in.CurrentClip(*in.FCurrent), Path);
  Activation none;
  none.BaseClip = FRoot;
  return in.ResolveTarget(none, FRoot, Path);
}

std::uint32_t Machine::Random()
{
  // xorshift64*: fast, and the same sequence for the same seed.
  FRandom ^= FRandom >> 12;
  FRandom ^= FRandom << 25;
  FRandom ^= FRandom >> 27;
  return static_cast<std::uint32_t>((FRandom * 0x2545F4914F6CDD1Dull) >> 32);
}

const String* Machine::NewString(std::string Text)
{
  if (Text.size() > MaxStringLength)
    Abort("a string longer than the player allows");
  if (Text.empty())
    return FEmpty;
  return FHeap.Make<String>(std::move(Text));
}

Object* Machine::Prototype(std::string_view ClassName) const
{
  const auto it = FClassProtos.find(std::string(ClassName));
  return it == FClassProtos.end() ? nullptr : it->second;
}

FunctionObject* Machine::Constructor(std::string_view ClassName) const
{
  const auto it = FClasses.find(std::string(ClassName));
  return it == FClasses.end() ? nullptr : it->second;
}

Object* Machine::NewObject()
{
  return FHeap.Make<Object>(FObjectProto);
}

Object* Machine::NewArray(std::span<const Value> Elements)
{
  auto* a = FHeap.Make<ArrayObject>(Prototype("Array"));
  InitElements(*this, *a, Elements);
  return a;
}

FunctionObject* Machine::NewNative(NativeFn Fn, NativeFn Ctor)
{
  return FHeap.Make<FunctionObject>(FFunctionProto, Fn, Ctor);
}

Object* Machine::Box(Value Primitive, std::string_view ClassName)
{
  Object* proto = Prototype(ClassName);
  return FHeap.Make<BoxObject>(proto ? proto : FObjectProto, Primitive);
}

FunctionObject* Machine::Install(const ClassSpec& Spec)
{
  Object* proto = nullptr;
  if (Spec.Name == "Object") {
    proto = FObjectProto;
  } else if (Spec.Name == "Function") {
    proto = FFunctionProto;
  } else {
    Object* base = Spec.Base.empty() ? FObjectProto : Prototype(Spec.Base);
    if (!base)
      base = FObjectProto;
    proto = Spec.MakePrototype ? Spec.MakePrototype(*this, base) : FHeap.Make<Object>(base);
  }
  FunctionObject* ctor = NewNative(Spec.Call ? Spec.Call : Spec.Construct, Spec.Construct);
  DefineMembers(*this, *proto, Spec.Prototype);
  DefineMembers(*this, *ctor, Spec.Statics);
  ctor->Define(*this, A.Prototype, Value(proto), DontEnum | DontDelete);
  proto->Define(*this, A.Constructor, Value(static_cast<Object*>(ctor)), DontEnum | DontDelete);
  FGlobal->Define(*this, Intern(Spec.Name), Value(static_cast<Object*>(ctor)), Spec.GlobalFlags);
  FClasses[std::string(Spec.Name)] = ctor;
  FClassProtos[std::string(Spec.Name)] = proto;
  return ctor;
}

Object* Machine::Install(const ObjectSpec& Spec)
{
  Object* o = NewObject();
  DefineMembers(*this, *o, Spec.Members);
  FGlobal->Define(*this, Intern(Spec.Name), Value(o), Spec.GlobalFlags);
  if (Spec.Setup)
    Spec.Setup(*this, *o);
  return o;
}

void DefineMembers(Machine& M, Object& Target, std::span<const Member> Members)
{
  for (const Member& m : Members) {
    const Atom name = M.Intern(m.Name);
    switch (m.Type) {
    case Member::Kind::Method: {
      FunctionObject* f = M.NewNative(m.Function);
      Target.Define(M, name, Value(static_cast<Object*>(f)), m.Flags);
      break;
    }
    case Member::Kind::Accessor:
      Target.DefineAccessor(M, name, M.NewNative(m.Function), m.Setter ? M.NewNative(m.Setter) : nullptr,
                            m.Flags);
      break;
    case Member::Kind::Number: Target.Define(M, name, Value(m.Number), m.Flags); break;
    case Member::Kind::String: Target.Define(M, name, Value(M.Text(M.Intern(m.Text))), m.Flags); break;
    }
  }
}

Value Machine::CallFrom(Value Function, Object* This, std::span<const Value> Args, Object* Home)
{
  auto* f = dynamic_cast<FunctionObject*>(Function.ObjectOrNull());
  if (!f)
    return Value();
  if (f->Code())
    return FInterpreter->CallScript(f, This, Args, Home);
  if (!f->Native())
    return Value();
  EnterCall();
  struct Leave {
    Machine& M;
    ~Leave() { M.LeaveCall(); }
  } leave{*this};
  return f->Native()(*this, This, Args);
}

Value Machine::CallMethod(Value Target, Atom Name, std::span<const Value> Args)
{
  return FInterpreter->CallMethodValue(Target, Name, Args);
}

Value Machine::Construct(Value Function, std::span<const Value> Args)
{
  auto* f = dynamic_cast<FunctionObject*>(Function.ObjectOrNull());
  if (!f)
    return Value();
  Object* proto = f->Get(*this, A.Prototype).ObjectOrNull();
  Object* obj = proto ? proto->CreateInstance(*this, proto) : NewObject();
  obj->Define(*this, A.ProtoCtor, Value(static_cast<Object*>(f)), DontEnum);
  if (FVersion < 7)
    obj->Define(*this, A.Constructor, Value(static_cast<Object*>(f)), DontEnum);
  if (f->Code()) {
    FInterpreter->CallScript(f, obj, Args, proto, true);
    return Value(obj);
  }
  NativeFn ctor = f->NativeConstruct() ? f->NativeConstruct() : f->Native();
  if (!ctor)
    return Value(obj);
  EnterCall();
  struct Leave {
    Machine& M;
    ~Leave() { M.LeaveCall(); }
  } leave{*this};
  const Value r = ctor(*this, obj, Args);
  // A native constructor answers null to refuse its arguments (a bitmap
  // too large): `new` then gives undefined, as in the reference player.
  if (r.IsNull() && f->NativeConstruct())
    return Value();
  return r.IsObject() ? r : Value(obj);
}

void Machine::ClearStack()
{
  FInterpreter->FStack.clear();
  for (Value& r : FInterpreter->FGlobalRegisters)
    r = Value();
}

bool Machine::Constructing() const
{
  return FInterpreter->Constructing();
}

bool Machine::LooseEquals(Value Left, Value Right)
{
  return FInterpreter->Equals(Left, Right);
}

void Machine::ThrowError(std::string_view Message)
{
  const Value message(NewString(std::string(Message)));
  throw ScriptThrow{Construct(Value(static_cast<Object*>(Constructor("Error"))), std::span<const Value>(&message, 1))};
}

void Machine::Abort(std::string Why)
{
  throw ScriptAbort{std::move(Why)};
}

void Machine::EnterCall()
{
  if (FDepth >= MaxCallDepth)
    Abort("256 levels of recursion were exceeded in one action list");
  ++FDepth;
}

void Machine::RunBlock(const std::shared_ptr<const ActionBlock>& Block, const RunContext& Context)
{
  if (!Block)
    return;
  Activation a;
  a.Holder = Block;
  a.Block = Block.get();
  a.Start = 0;
  a.End = static_cast<std::uint32_t>(Block->Actions.size());
  a.This = Context.This ? Context.This : Context.Clip;
  a.BaseClip = Context.Clip;
  a.Version = Block->Version;
  // A block run from inside another one keeps its hands off that one's values.
  a.StackBase = Running() ? FInterpreter->FStack.size() : 0;
  a.Chain = Context.Chain ? Context.Chain
                          : FHeap.Make<Scope>(Scope::Kind::Target, Context.Clip,
                                              FHeap.Make<Scope>(Scope::Kind::Global, FGlobal, nullptr));
  Guarded("action block", [&] { FInterpreter->Run(a); });
}

Value Machine::RunFunction(Value Function, Object* This, std::span<const Value> Args)
{
  Value r;
  Guarded("event handler", [&] { r = Call(Function, This, Args); });
  return r;
}

void Machine::ConstructOn(Value Function, Object* Obj, std::span<const Value> Args)
{
  auto* f = dynamic_cast<FunctionObject*>(Function.ObjectOrNull());
  if (!f || !Obj)
    return;
  Obj->Define(*this, A.ProtoCtor, Value(static_cast<Object*>(f)), DontEnum);
  if (FVersion < 7)
    Obj->Define(*this, A.Constructor, Value(static_cast<Object*>(f)), DontEnum);
  Guarded("constructor", [&] {
    if (f->Code()) {
      FInterpreter->CallScript(f, Obj, Args, f->Get(*this, A.Prototype).ObjectOrNull(), true);
    } else if (NativeFn ctor = f->NativeConstruct() ? f->NativeConstruct() : f->Native()) {
      EnterCall();
      struct Leave {
        Machine& M;
        ~Leave() { M.LeaveCall(); }
      } leave{*this};
      ctor(*this, Obj, Args);
    }
  });
}

void Machine::Guarded(std::string_view What, const std::function<void()>& Body)
{
  const bool outer = FBlockDepth == 0;
  if (outer && FFrameBudget != 0 && FFrameLeft == 0)
    return;
  if (outer)
    FBudget = FFrameBudget != 0 ? std::min(FBlockBudget, FFrameLeft) : FBlockBudget;
  const std::uint64_t given = FBudget;
  ++FBlockDepth;
  const std::size_t stack = FInterpreter->FStack.size();
  const int depth = FDepth;
  bool failed = true;
  try {
    Body();
    failed = false;
  } catch (const ScriptThrow& e) {
    std::string text;
    try {
      text = e.Thrown.ToText(*this);
    } catch (...) {
      text = "(a value that failed to turn into text)";
    }
    FHost.Log("An error nobody caught ended an " + std::string(What) + ": " + text);
  } catch (const ScriptAbort& e) {
    FHost.Log("An " + std::string(What) + " was ended: " + e.Why);
    if (!outer) {
      --FBlockDepth;
      throw;
    }
  }
  // What a block leaves on the stack stays for the next one; a failed one
  // leaves nothing.
  if (failed)
    FInterpreter->FStack.resize(std::min(FInterpreter->FStack.size(), stack));
  FDepth = depth;
  --FBlockDepth;
  if (outer && FFrameBudget != 0)
    FFrameLeft -= std::min(FFrameLeft, given - FBudget);
}

std::size_t Machine::Collect()
{
  if (Running())
    return 0;
  return FHeap.Collect([this](Marker& M) {
    M.Mark(FGlobal);
    M.Mark(FObjectProto);
    M.Mark(FFunctionProto);
    M.Mark(FRoot);
    M.Mark(FEmpty);
    for (const auto& [name, ctor] : FRegistered)
      M.Mark(ctor);
    for (const auto& [name, ctor] : FClasses)
      M.Mark(ctor);
    for (const auto& [name, proto] : FClassProtos)
      M.Mark(proto);
    for (const Value& v : FInterpreter->FStack)
      v.Trace(M);
    for (const Value& v : FInterpreter->FGlobalRegisters)
      v.Trace(M);
    for (const Timer& t : FTimers) {
      t.Function.Trace(M);
      M.Mark(t.Target);
      for (const Value& v : t.Args)
        v.Trace(M);
    }
    for (const RootTracer& t : FRootTracers)
      t(M);
  });
}

} // namespace quenloft::swf::avm1

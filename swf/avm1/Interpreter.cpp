// The action loop: one switch arm per action, each a line or two that
// hands work to a small method here or to the value and object model.
#include "swf/avm1/Interpreter.h"

#include "swf/avm1/Loads.h"

#include "swf/avm1/Array.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/PlayerImpl.h"

#include <chrono>
#include <optional>
#include <cmath>
#include <limits>

namespace quenloft::swf::avm1 {

namespace {

// DefineFunction2 flags.
enum : std::uint16_t {
  PreloadThis = 0x01,
  SuppressThis = 0x02,
  PreloadArguments = 0x04,
  SuppressArguments = 0x08,
  PreloadSuper = 0x10,
  SuppressSuper = 0x20,
  PreloadRoot = 0x40,
  PreloadParent = 0x80,
  PreloadGlobal = 0x100,
};

const char* const PropertyNames[] = {"_x",         "_y",         "_xscale",      "_yscale",   "_currentframe",
                                     "_totalframes", "_alpha",   "_visible",     "_width",    "_height",
                                     "_rotation",  "_target",    "_framesloaded", "_name",    "_droptarget",
                                     "_url",       "_highquality", "_focusrect", "_soundbuftime", "_quality",
                                     "_xmouse",    "_ymouse"};

} // namespace

Object* Interpreter::CurrentClip(Activation& A)
{
  if (A.NoTarget) {
    auto* base = dynamic_cast<ClipObject*>(A.BaseClip);
    return base ? static_cast<Object*>(base->RootClip()) : FM.Root();
  }
  return A.Target ? A.Target : A.BaseClip;
}

ClipObject* Interpreter::TimelineClip(Activation& A)
{
  return A.NoTarget ? nullptr : dynamic_cast<ClipObject*>(CurrentClip(A));
}

void Interpreter::SetTargetPath(Activation& A, std::string_view Path)
{
  auto* base = dynamic_cast<ClipObject*>(A.BaseClip);
  // Once the code's own clip has left the stage no target holds.
  const bool baseGone = base && !base->Instance();
  A.Target = nullptr;
  A.NoTarget = baseGone;
  if (Path.empty() || baseGone)
    return;
  Object* t = ResolveTarget(A, A.BaseClip, Path);
  auto* clip = dynamic_cast<ClipObject*>(t);
  if (!t || (clip && !clip->Instance())) {
    A.NoTarget = true;
    FM.GetHost().Log("tellTarget: no clip at \"" + std::string(Path) + "\"");
    return;
  }
  A.Target = t;
}

void Interpreter::DropRemovedTarget(Activation& A)
{
  auto* target = dynamic_cast<ClipObject*>(A.Target ? A.Target : A.BaseClip);
  if (A.NoTarget || !target || target->Instance())
    return;
  auto* base = dynamic_cast<ClipObject*>(A.BaseClip);
  A.Target = nullptr;
  A.NoTarget = base && !base->Instance();
}

Atom Interpreter::NameOf(Value V)
{
  if (V.IsString())
    return FM.Atoms().Intern(V.AsString());
  if (V.IsNumber()) {
    const double d = V.AsNumber();
    if (d >= 0 && d < 1e9 && d == std::trunc(d))
      return FM.Intern(std::to_string(static_cast<std::int64_t>(d)));
  }
  return FM.Atoms().Intern(V.ToString(FM));
}

Value Interpreter::Add2(Value A, Value B)
{
  // A + B with A pushed first.
  if (A.IsNumber() && B.IsNumber())
    return Value(A.AsNumber() + B.AsNumber());
  // The operand pushed last is converted first.
  const Value b = B.ToPrimitive(FM);
  const Value a = A.ToPrimitive(FM);
  if (a.IsString() || b.IsString()) {
    const String* sa = a.ToString(FM);
    const String* sb = b.ToString(FM);
    if (sa->Text.empty())
      return Value(sb);
    if (sb->Text.empty())
      return Value(sa);
    return Value(FM.NewString(sa->Text + sb->Text));
  }
  return Value(a.ToNumber(FM) + b.ToNumber(FM));
}

Value Interpreter::Less(Value A, Value B)
{
  const auto primitive = [&](Value V) {
    return V.IsObject() && V.AsObject()->DisplayPath(FM) == nullptr ? V.ToPrimitive(FM, Value::Hint::Number)
                                                                    : V;
  };
  const Value a = primitive(A);
  if (a.IsObject() && a.AsObject()->DisplayPath(FM) == nullptr)
    return Value(false);
  const Value b = primitive(B);
  if (b.IsObject() && b.AsObject()->DisplayPath(FM) == nullptr)
    return Value(false);
  if (a.IsString() && b.IsString())
    return Value(a.AsString()->Text < b.AsString()->Text);
  const double x = a.ToNumber(FM);
  const double y = b.ToNumber(FM);
  if (std::isnan(x) || std::isnan(y))
    return Value();
  return Value(x < y);
}

bool Interpreter::Equals(Value A, Value B)
{
  if (FM.Version() <= 5) {
    A = A.IsObject() ? A.ToPrimitive(FM, Value::Hint::Number) : A;
    B = B.IsObject() ? B.ToPrimitive(FM, Value::Hint::Number) : B;
  }
  const Type ta = A.Kind();
  const Type tb = B.Kind();
  if (A.IsNullish() && B.IsNullish())
    return true;
  if (ta == tb) {
    switch (ta) {
    case Type::Boolean: return A.AsBool() == B.AsBool();
    case Type::String: return A.AsString()->Text == B.AsString()->Text;
    case Type::Object: return A.AsObject() == B.AsObject();
    case Type::Number: {
      const double x = A.AsNumber();
      const double y = B.AsNumber();
      return x == y || (std::isnan(x) && std::isnan(y));
    }
    default: return false;
    }
  }
  if (A.IsBool())
    return Equals(Value(A.AsBool() ? 1.0 : 0.0), B);
  if (B.IsBool())
    return Equals(A, Value(B.AsBool() ? 1.0 : 0.0));
  if (A.IsNumber() && B.IsString())
    return A.AsNumber() == B.ToNumber(FM);
  if (A.IsString() && B.IsNumber())
    return A.ToNumber(FM) == B.AsNumber();
  // An object compares by what its valueOf gives, when that is no object.
  if (A.IsObject() && !B.IsObject()) {
    const Value p = A.ToPrimitive(FM, Value::Hint::Number);
    return !p.IsObject() && Equals(p, B);
  }
  if (B.IsObject() && !A.IsObject()) {
    const Value p = B.ToPrimitive(FM, Value::Hint::Number);
    return !p.IsObject() && Equals(A, p);
  }
  return false;
}

bool Interpreter::InstanceOf(Value O, Value Ctor)
{
  Object* obj = O.ObjectOrNull();
  Object* ctor = Ctor.ObjectOrNull();
  if (!obj || !ctor)
    return false;
  Object* proto = ctor->Get(FM, FM.A.Prototype).ObjectOrNull();
  if (!proto)
    return false;
  Object* p = obj->Proto();
  for (int depth = 0; p && depth < MaxPrototypeChain; ++depth, p = p->Proto()) {
    if (p == proto)
      return true;
    // Interfaces the class declared (`implements`).
    Object* c = p->Get(FM, FM.A.Constructor).ObjectOrNull();
    (void)c;
    for (Object* i : p->Interfaces) {
      if (i == ctor)
        return true;
      Object* ip = i->Get(FM, FM.A.Prototype).ObjectOrNull();
      if (ip == proto)
        return true;
    }
  }
  return false;
}

Value Interpreter::NewObject(Value Ctor, std::span<const Value> Args)
{
  return FM.Construct(Ctor, Args);
}

Value Interpreter::GetMember(Value Target, Value Name)
{
  Object* o = Target.ToObject(FM);
  if (!o)
    return Value();
  return o->Get(FM, NameOf(Name));
}

void Interpreter::SetMember(Value Target, Value Name, Value V)
{
  Object* o = Target.ObjectOrNull();
  if (!o)
    return;
  o->Set(FM, NameOf(Name), V);
}

Object* Interpreter::ResolveTarget(Activation& A, Object* Start, std::string_view Path)
{
  if (Path.empty())
    return Start;
  Object* o = Start;
  if (Path.front() == '/') {
    auto* clip = dynamic_cast<ClipObject*>(Start);
    o = clip ? static_cast<Object*>(clip->RootClip()) : FM.Root();
    Path.remove_prefix(1);
  }
  std::size_t i = 0;
  while (i < Path.size() && o) {
    std::string_view part;
    if (Path.substr(i, 2) == "..") {
      part = "..";
      i += 2;
    } else {
      const std::size_t j = std::min(Path.find_first_of("/.", i), Path.size());
      part = Path.substr(i, j - i);
      i = j;
    }
    if (i < Path.size() && (Path[i] == '/' || (Path[i] == '.' && Path.substr(i, 2) != "..")))
      ++i;
    if (part.empty())
      continue;
    if (part == ".." || part == "_parent") {
      auto* clip = dynamic_cast<ClipObject*>(o);
      o = clip ? clip->Parent() : nullptr;
      continue;
    }
    if (part == "_root") {
      auto* clip = dynamic_cast<ClipObject*>(o);
      o = clip ? static_cast<Object*>(clip->RootClip()) : FM.Root();
      continue;
    }
    if (part == "_global") {
      o = FM.Global();
      continue;
    }
    if (part.starts_with("_level")) {
      o = part == "_level0" ? FM.Root() : FM.Loads() ? FM.Loads()->Level(LevelNumber(part)) : nullptr;
      continue;
    }
    if (part == "this") {
      o = A.This ? A.This : o;
      continue;
    }
    o = o->Get(FM, FM.Intern(part)).ObjectOrNull();
  }
  return o;
}

Value Interpreter::GetVariable(Activation& A, std::string_view Name, Atom NameAtom, Object** Holder)
{
  const std::size_t colon = Name.rfind(':');
  const std::size_t dot = Name.rfind('.');
  const bool slash = Name.find('/') != std::string_view::npos;
  if (colon != std::string_view::npos || dot != std::string_view::npos || slash) {
    std::size_t cut = colon != std::string_view::npos ? colon : dot;
    if (Name == ".." )
      cut = std::string_view::npos;
    if (cut != std::string_view::npos && cut > 0 && Name[cut - 1] == '.' && Name[cut] == '.')
      cut = std::string_view::npos;
    const std::string_view path = cut == std::string_view::npos ? Name : Name.substr(0, cut);
    const std::string_view var = cut == std::string_view::npos ? std::string_view() : Name.substr(cut + 1);
    for (Scope* s = A.Chain; s; s = s->Parent) {
      Object* start = s->Type == Scope::Kind::Global ? CurrentClip(A) : s->Target;
      if (s->Type == Scope::Kind::Target)
        start = CurrentClip(A);
      Object* target = ResolveTarget(A, start, path);
      if (!target)
        continue;
      if (var.empty())
        return Value(target);
      if (Holder)
        *Holder = target;
      return target->Get(FM, FM.Intern(var));
    }
    return Value();
  }
  const Atom key = FM.Key(NameAtom);
  if (key == FM.Key(FM.A.This) && FM.Version() >= 5)
    return A.ThisValue ? *A.ThisValue : Value(A.This);
  if (key == FM.Key(FM.A.Global) && FM.Version() >= 6)
    return Value(FM.Global());
  for (Scope* s = A.Chain; s; s = s->Parent) {
    Object* target = s->Type == Scope::Kind::Target ? CurrentClip(A) : s->Target;
    if (!target)
      continue;
    if (target->Has(FM, NameAtom)) {
      if (Holder && (s->Type == Scope::Kind::With || s->Type == Scope::Kind::Global))
        *Holder = target;
      return target->Get(FM, NameAtom);
    }
  }
  return Value();
}

void Interpreter::SetVariable(Activation& A, std::string_view Name, Atom NameAtom, Value V)
{
  // `this = x` changes what `this` means for the rest of this call.
  if (FM.Key(NameAtom) == FM.Key(FM.A.This) && FM.Version() >= 5) {
    A.ThisValue = V;
    A.This = V.ObjectOrNull();
    return;
  }
  const std::size_t colon = Name.rfind(':');
  const std::size_t dot = Name.rfind('.');
  const std::size_t cut = colon != std::string_view::npos ? colon : dot;
  if (cut != std::string_view::npos || Name.find('/') != std::string_view::npos) {
    std::string_view path = cut == std::string_view::npos ? std::string_view() : Name.substr(0, cut);
    std::string_view var = cut == std::string_view::npos ? Name : Name.substr(cut + 1);
    if (cut == std::string_view::npos) {
      const std::size_t lastSlash = Name.rfind('/');
      path = Name.substr(0, lastSlash == 0 ? 1 : lastSlash);
      var = Name.substr(lastSlash + 1);
    }
    for (Scope* s = A.Chain; s; s = s->Parent) {
      Object* start = s->Type == Scope::Kind::Target || s->Type == Scope::Kind::Global ? CurrentClip(A) : s->Target;
      Object* target = ResolveTarget(A, start, path);
      if (target) {
        target->Set(FM, FM.Intern(var), V);
        return;
      }
    }
    return;
  }
  for (Scope* s = A.Chain; s; s = s->Parent) {
    Object* target = s->Type == Scope::Kind::Target ? CurrentClip(A) : s->Target;
    if (!target)
      continue;
    if (s->Type == Scope::Kind::Target || s->Type == Scope::Kind::Global || target->Has(FM, NameAtom)) {
      target->Set(FM, NameAtom, V);
      return;
    }
  }
}

void Interpreter::DefineLocal(Activation& A, Atom Name, Value V)
{
  for (Scope* s = A.Chain; s; s = s->Parent) {
    if (s->Type == Scope::Kind::With) {
      if (s->Target->HasOwn(FM, Name)) {
        s->Target->Set(FM, Name, V);
        return;
      }
      continue;
    }
    Object* target = s->Type == Scope::Kind::Target ? CurrentClip(A) : s->Target;
    if (!target)
      continue; // code run without a clip keeps its variables on the global object
    if (s->Type == Scope::Kind::Local)
      target->Define(FM, Name, V);
    else
      target->Set(FM, Name, V);
    return;
  }
}

bool Interpreter::InFunctionScope(const Activation& A) const
{
  for (const Scope* s = A.Chain; s; s = s->Parent) {
    if (s->Type == Scope::Kind::Local)
      return true;
    if (s->Type != Scope::Kind::With)
      return false;
  }
  return false;
}

void Interpreter::DefineNamed(Activation& A, Atom Name, Value V)
{
  const std::string_view text = FM.Atoms().View(Name);
  if (!InFunctionScope(A) && text.find_first_of(":.") != std::string_view::npos)
    SetVariable(A, text, Name, V);
  else
    DefineLocal(A, Name, V);
}

Value Interpreter::DefineFunction(Activation& A, const FunctionCode& Code)
{
  Object* proto = FM.NewObject();
  auto* f = FM.Heap().Make<FunctionObject>(FM.FunctionPrototype(), A.Holder, &Code,
                                           A.Chain, A.BaseClip, A.Version);
  f->Pool = A.Pool;
  proto->Define(FM, FM.A.Constructor, Value(static_cast<Object*>(f)), DontEnum);
  f->Define(FM, FM.A.Prototype, Value(proto), DontEnum | DontDelete);
  return Value(static_cast<Object*>(f));
}

Object* Interpreter::TargetFromValue(Activation& A, Value Target)
{
  if (Target.IsObject())
    return Target.AsObject();
  const std::string path = Target.ToText(FM);
  // After a tellTarget that led nowhere, paths start at the code's clip.
  Object* start = A.NoTarget ? A.BaseClip : CurrentClip(A);
  if (path.empty())
    return start;
  // Dot and slash paths both name a clip; variables are not targets.
  return ResolveTarget(A, start, path);
}

Value Interpreter::GetProperty(Activation& A, Value Target, int Index)
{
  if (Index < 0 || Index >= static_cast<int>(std::size(PropertyNames)))
    return Value();
  Object* clip = TargetFromValue(A, Target);
  if (!clip)
    return Value();
  return clip->Get(FM, FM.Intern(PropertyNames[Index]));
}

void Interpreter::SetProperty(Activation& A, Value Target, int Index, Value V)
{
  if (Index < 0 || Index >= static_cast<int>(std::size(PropertyNames)))
    return;
  Object* clip = TargetFromValue(A, Target);
  if (clip)
    clip->Set(FM, FM.Intern(PropertyNames[Index]), V);
}

Value Interpreter::CallScript(FunctionObject* F, Object* This, std::span<const Value> Args, Object* Home,
                              bool Constructing)
{
  const FunctionCode& code = *F->Code();
  Activation a;
  a.Holder = F->Block();
  a.Block = F->Block().get();
  a.Start = code.Start;
  a.End = code.End;
  a.This = This;
  a.BaseClip = F->BaseClip();
  // A function of a clip that was removed runs in the clip now at its path.
  if (auto* clip = dynamic_cast<ClipObject*>(a.BaseClip); clip && !clip->Instance())
    if (ClipObject* now = clip->Rebound(FM))
      a.BaseClip = now;
  a.Callee = F;
  a.Home = Home;
  a.Pool = F->Pool;
  a.Version = F->Version();
  a.IsFunction = true;
  a.Constructing = Constructing;
  a.StackBase = FStack.size();
  // A body that defines no function cannot let its locals outlive the call:
  // they live on this stack frame and make no garbage.
  std::optional<Object> stackLocals;
  std::optional<Scope> stackScope;
  Object* locals = nullptr;
  if (code.DefinesFunctions) {
    locals = FM.Heap().Make<Object>(nullptr);
  } else {
    stackLocals.emplace(nullptr);
    locals = &*stackLocals;
  }
  Activation* caller = FCurrent;
  Scope* parent = F->Closure();
  if (F->Version() < 6) {
    // Before SWF 6 functions close over nothing: they run in the clip of
    // `this` (or the caller's clip) under the global object.
    Object* clip = dynamic_cast<ClipObject*>(This);
    if (!clip && caller)
      clip = CurrentClip(*caller);
    if (!clip)
      clip = FM.Root();
    a.BaseClip = clip;
    // Such a function runs by the rules of SWF 5 at least.
    a.Version = std::max(a.Version, 5);
    parent = FM.Heap().Make<Scope>(Scope::Kind::Target, clip,
                                   FM.Heap().Make<Scope>(Scope::Kind::Global, FM.Global(), nullptr));
  }
  if (code.DefinesFunctions) {
    a.Chain = FM.Heap().Make<Scope>(Scope::Kind::Local, locals, parent);
  } else {
    stackScope.emplace(Scope::Kind::Local, locals, parent);
    a.Chain = &*stackScope;
  }
  a.Registers.assign(code.Version2 ? code.RegisterCount : 0, Value());
  const std::uint16_t flags = code.Version2 ? code.Flags : 0;
  const bool mentioned = a.Block->MentionsArguments;
  const bool wantArguments = (flags & PreloadArguments) || (mentioned && !(flags & SuppressArguments));
  if (wantArguments) {
    Object* args = FM.NewArray(Args);
    args->Define(FM, FM.A.Callee, Value(static_cast<Object*>(F)), DontEnum);
    args->Define(FM, FM.A.Caller,
                 caller && caller->Callee ? Value(static_cast<Object*>(caller->Callee)) : Value::Null(), DontEnum);
    a.Arguments = args;
  }
  const auto superObject = [&](bool Preloaded) -> Value {
    if (!This || (!Preloaded && !a.Block->MentionsSuper))
      return Value();
    return Value(static_cast<Object*>(FM.Heap().Make<SuperObject>(This, Home ? Home : This->Proto())));
  };
  if (code.Version2) {
    std::size_t reg = 1;
    const auto preload = [&](Value V) {
      if (reg < a.Registers.size())
        a.Registers[reg] = V;
      ++reg;
    };
    // Preloading and suppressing `this` or `super` at once takes the
    // register but leaves it undefined; for `arguments` preloading wins.
    if (flags & PreloadThis)
      preload(flags & SuppressThis ? Value() : Value(This));
    if (flags & PreloadArguments)
      preload(Value(a.Arguments));
    if (flags & PreloadSuper)
      preload(flags & SuppressSuper ? Value() : superObject(true));
    if (flags & PreloadRoot) {
      // The root of the level the function's clip is in.
      auto* clip = dynamic_cast<ClipObject*>(a.BaseClip);
      preload(Value(clip && clip->RootClip() ? static_cast<Object*>(clip->RootClip()) : FM.Root()));
    }
    if (flags & PreloadParent) {
      // A clip with no parent takes no register: _global lands in its place.
      auto* clip = dynamic_cast<ClipObject*>(a.BaseClip);
      if (clip && clip->Parent())
        preload(Value(static_cast<Object*>(clip->Parent())));
    }
    if (flags & PreloadGlobal)
      preload(Value(FM.Global()));
    if (!(flags & SuppressArguments) && !(flags & PreloadArguments) && a.Arguments)
      locals->Define(FM, FM.A.Arguments, Value(a.Arguments), DontEnum);
    if (!(flags & SuppressSuper) && !(flags & PreloadSuper) && a.Block->MentionsSuper)
      locals->Define(FM, FM.A.Super, superObject(false), DontEnum);
  } else {
    if (a.Arguments)
      locals->Define(FM, FM.A.Arguments, Value(a.Arguments), DontEnum);
    if (a.Block->MentionsSuper)
      locals->Define(FM, FM.A.Super, superObject(false), DontEnum);
  }
  // A function that preloads or suppresses `this` sees its caller's `this`
  // under that name.
  if (code.Version2 && (flags & (PreloadThis | SuppressThis)))
    a.This = caller ? caller->This : This;
  for (std::size_t i = 0; i < code.Params.size(); ++i) {
    const FunctionParam& p = code.Params[i];
    const Value v = i < Args.size() ? Args[i] : Value();
    if (code.Version2 && p.Register != 0) {
      if (p.Register < a.Registers.size())
        a.Registers[p.Register] = v;
    } else
      locals->Define(FM, p.Name, v);
  }
  return Run(a);
}

bool Interpreter::RunTry(Activation& A, const TryCode& T, std::uint32_t& Pc, Value& Result, bool& Returned)
{
  const std::uint32_t tryStart = Pc + 1;
  const std::size_t base = FStack.size();
  bool pending = false;
  ScriptThrow thrown;
  try {
    Result = RunRange(A, tryStart, T.TryEnd, Returned);
  } catch (ScriptThrow& e) {
    FStack.resize(std::min(FStack.size(), base));
    if (T.HasCatch) {
      if (T.CatchInRegister) {
        SetRegister(A, T.Register, e.Thrown);
      } else {
        DefineLocal(A, T.Name, e.Thrown);
      }
      try {
        Result = RunRange(A, T.TryEnd, T.CatchEnd, Returned);
      } catch (ScriptThrow& again) {
        if (!T.HasFinally)
          throw;
        pending = true;
        thrown = again;
      }
    } else {
      pending = true;
      thrown = e;
    }
  }
  if (T.HasFinally) {
    bool finallyReturned = false;
    const Value r = RunRange(A, T.CatchEnd, T.FinallyEnd, finallyReturned);
    if (finallyReturned) {
      Result = r;
      Returned = true;
      return true;
    }
  }
  if (pending)
    throw thrown;
  Pc = T.FinallyEnd;
  return Returned;
}

Value Interpreter::Run(Activation& A)
{
  FM.EnterCall();
  struct Leave {
    Machine& M;
    Activation*& Current;
    Activation* Saved;
    int Version;
    ~Leave()
    {
      M.LeaveCall();
      Current = Saved;
      M.FVersion = Version;
    }
  } leave{FM, FCurrent, FCurrent, FM.FVersion};
  FCurrent = &A;
  // Conversions follow the version of the code running.
  if (A.Version > 0)
    FM.FVersion = A.Version;
  bool returned = false;
  return RunRange(A, A.Start, A.End, returned);
}

Value Interpreter::CallMethodValue(Value Target, Atom Name, std::span<const Value> Args)
{
  Object* o = Target.ToObject(FM);
  if (!o)
    return Value();
  if (auto* sup = dynamic_cast<SuperObject*>(o)) {
    Object* home = sup->Proto();
    for (Object* p = home; p; p = p->Proto())
      if (p->HasOwn(FM, Name)) {
        home = p;
        break;
      }
    const Value fn = sup->Proto() ? sup->Proto()->Get(FM, Name) : Value();
    return FM.CallFrom(fn, sup->This(), Args, home);
  }
  Object* home = o;
  int depth = 0;
  for (Object* p = o; p && depth < MaxPrototypeChain; p = p->Proto(), ++depth)
    if (p->HasOwn(FM, Name)) {
      home = p;
      break;
    }
  const Value fn = o->Get(FM, Name);
  if (!fn.IsObject()) {
    FM.GetHost().Log("a call of " + std::string(FM.Atoms().View(Name)) + ", which is no function");
    return Value();
  }
  return FM.CallFrom(fn, o, Args, home);
}

void Interpreter::CloneSprite(Activation& A, Value Source, Value Target, Value Depth)
{
  Object* source = TargetFromValue(A, Source);
  if (auto* field = dynamic_cast<TextFieldObject*>(source); field && field->ParentClip())
    field->ParentClip()->Player().Texts().Duplicate(FM, *field, Target.ToText(FM), Depth.ToNumber(FM));
  auto* clip = dynamic_cast<ClipObject*>(source);
  if (!clip)
    return;
  clip->Duplicate(FM, Target.ToText(FM), Depth.ToNumber(FM), nullptr);
}

void Interpreter::RemoveSprite(Activation& A, Value Target)
{
  if (auto* clip = dynamic_cast<ClipObject*>(TargetFromValue(A, Target))) {
    clip->Remove();
    DropRemovedTarget(A);
  }
}

} // namespace quenloft::swf::avm1

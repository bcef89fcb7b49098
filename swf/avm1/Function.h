// Functions: native ones (a C++ function pointer) and script ones (a
// DefineFunction or DefineFunction2 body with the scope chain it closed
// over), and the scope chain itself.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Object.h"

#include <memory>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

struct ActionBlock;
struct FunctionCode;

// One link of a scope chain: a function's locals, a `with` object, a clip
// the code runs in, or the global object at the end.
class Scope final : public Cell {
public:
  enum class Kind : std::uint8_t { Global, Target, Local, With };
  Scope(Kind K, Object* T, Scope* P) : Type(K), Target(T), Parent(P) {}
  void Trace(Marker& M) override
  {
    M.Mark(Target);
    M.Mark(Parent);
  }
  Kind Type;
  Object* Target;
  Scope* Parent;
};

class FunctionObject final : public Object {
public:
  // A native function. Construct, when set, runs for `new F()` in place of
  // Native.
  FunctionObject(Object* Proto, NativeFn Fn, NativeFn Ctor = nullptr)
      : Object(Proto), FNative(Fn), FConstruct(Ctor)
  {
  }
  // A script function: Code lives in Block, which the function keeps alive.
  FunctionObject(Object* Proto, std::shared_ptr<const ActionBlock> Block, const FunctionCode* Code,
                 Scope* Closure, Object* BaseClip, int Version)
      : Object(Proto), FBlock(std::move(Block)), FCode(Code), FClosure(Closure), FBaseClip(BaseClip),
        FVersion(Version)
  {
  }

  NativeFn Native() const { return FNative; }
  NativeFn NativeConstruct() const { return FConstruct; }
  const FunctionCode* Code() const { return FCode; }
  const std::shared_ptr<const ActionBlock>& Block() const { return FBlock; }
  Scope* Closure() const { return FClosure; }
  // The clip whose timeline defined the function: its code runs there.
  Object* BaseClip() const { return FBaseClip; }
  int Version() const { return FVersion; }

  std::string_view TypeName() const override { return "function"; }

  // The constant pool in force where the function was defined.
  const std::vector<Atom>* Pool = nullptr;
  void Trace(Marker& M) override
  {
    Object::Trace(M);
    M.Mark(FClosure);
    M.Mark(FBaseClip);
  }

private:
  NativeFn FNative = nullptr;
  NativeFn FConstruct = nullptr;
  std::shared_ptr<const ActionBlock> FBlock;
  const FunctionCode* FCode = nullptr;
  Scope* FClosure = nullptr;
  Object* FBaseClip = nullptr;
  int FVersion = 0;
};

} // namespace quenloft::swf::avm1

// Runs decoded actions: one Activation per block or call (its scope chain,
// registers, this, target clip and constant pool) over the machine's operand
// stack. Internal to the machine; natives go through Machine::Call.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Decoder.h"
#include "swf/avm1/Machine.h"

#include <optional>
#include <vector>

namespace quenloft::swf::avm1 {

class ClipObject;

// `super`: lookups start above the prototype the running method came from,
// with `this` kept.
class SuperObject final : public Object {
public:
  SuperObject(Object* This, Object* Home) : Object(Home ? Home->Proto() : nullptr), FThis(This), FHome(Home) {}
  Object* This() const { return FThis; }
  Object* Home() const { return FHome; }
  void Trace(Marker& M) override
  {
    Object::Trace(M);
    M.Mark(FThis);
    M.Mark(FHome);
  }

private:
  Object* FThis;
  Object* FHome;
};

struct Activation {
  std::shared_ptr<const ActionBlock> Holder; // keeps Block alive for the functions it defines
  const ActionBlock* Block = nullptr;
  std::uint32_t Start = 0; // the actions run: [Start, End)
  std::uint32_t End = 0;
  Scope* Chain = nullptr;
  Object* This = nullptr;
  // What `this` reads as once the script assigned it (any value).
  std::optional<Value> ThisValue;
  Object* Target = nullptr;   // the clip tellTarget/SetTarget points at
  // tellTarget named no clip (or its clip left the stage): timeline
  // actions do nothing and names resolve on the root until the next one.
  bool NoTarget = false;
  Object* BaseClip = nullptr; // the clip the code belongs to
  FunctionObject* Callee = nullptr;
  Object* Home = nullptr;     // where the called method was found (for super)
  Object* Arguments = nullptr;
  const std::vector<Atom>* Pool = nullptr;
  std::vector<Value> Registers; // a DefineFunction2 body's own; the rest are the machine's
  int Version = 0;
  bool IsFunction = false;
  bool Constructing = false; // run by `new`
  std::size_t StackBase = 0; // the shared stack below this is the caller's
};

class Interpreter {
public:
  explicit Interpreter(Machine& M) : FM(M) {}

  // Runs A to its end or a return; the returned value (undefined at the end).
  Value Run(Activation& A);
  // Calls a script function.
  Value CallScript(FunctionObject* F, Object* This, std::span<const Value> Args, Object* Home,
                   bool Constructing = false);
  // True when the innermost script function running was called by `new`.
  bool Constructing() const { return FCurrent && FCurrent->Constructing; }

  // A target path ("/a/b", "_root.a", "../x") from Start; nullptr when it
  // leads nowhere.
  Object* ResolveTarget(Activation& A, Object* Start, std::string_view Path);
  // Holder, when given, receives the object a path led to, or the object
  // of a `with` scope or the global object the name was found on (a called
  // function's `this`).
  Value GetVariable(Activation& A, std::string_view Name, Atom NameAtom, Object** Holder = nullptr);
  void SetVariable(Activation& A, std::string_view Name, Atom NameAtom, Value V);

  // Register Index of A: its own when the function has that many, else one
  // of the four the whole movie shares; undefined past those.
  Value Register(const Activation& A, std::size_t Index) const
  {
    if (Index < A.Registers.size())
      return A.Registers[Index];
    return Index < std::size(FGlobalRegisters) ? FGlobalRegisters[Index] : Value();
  }
  void SetRegister(Activation& A, std::size_t Index, Value V)
  {
    if (Index < A.Registers.size())
      A.Registers[Index] = V;
    else if (Index < std::size(FGlobalRegisters))
      FGlobalRegisters[Index] = V;
  }

private:
  void Push(Value V)
  {
    if (FStack.size() >= MaxStackDepth)
      FM.Abort("the script's stack grew past the player's limit");
    FStack.push_back(V);
  }
  Value Pop(std::size_t Base)
  {
    if (FStack.size() <= Base)
      return Value();
    Value v = FStack.back();
    FStack.pop_back();
    return v;
  }
  Value Add2(Value A, Value B);
  Value Less(Value A, Value B);
  bool Equals(Value A, Value B);
  bool InstanceOf(Value O, Value Ctor);
  Value NewObject(Value Ctor, std::span<const Value> Args);
  Value CallMethodValue(Value Target, Atom Name, std::span<const Value> Args);
  void CloneSprite(Activation& A, Value Source, Value Target, Value Depth);
  void RemoveSprite(Activation& A, Value Target);
  Value GetMember(Value Target, Value Name);
  void SetMember(Value Target, Value Name, Value V);
  Atom NameOf(Value V);
  Object* CurrentClip(Activation& A);
  // The clip timeline actions (play, gotoAndStop...) work on: nullptr
  // after a tellTarget that led nowhere.
  ClipObject* TimelineClip(Activation& A);
  // SetTarget and SetTarget2 with a path ("" for the clip the code
  // belongs to).
  void SetTargetPath(Activation& A, std::string_view Path);
  // After a removal: a target that left the stage falls back to the code's
  // own clip, or to none when that left too.
  void DropRemovedTarget(Activation& A);
  // The Call action: runs the scripts of a frame (FrameCall.cpp).
  void CallFrame(Activation& A, Value Frame);
  Value GetProperty(Activation& A, Value Target, int Index);
  void SetProperty(Activation& A, Value Target, int Index, Value V);
  Object* TargetFromValue(Activation& A, Value Target);
  void DefineLocal(Activation& A, Atom Name, Value V);
  // `var name = V`: DefineLocal, or outside functions a path as SetVariable.
  void DefineNamed(Activation& A, Atom Name, Value V);
  // True when the nearest scope under any `with` blocks is a function's.
  bool InFunctionScope(const Activation& A) const;
  Value DefineFunction(Activation& A, const FunctionCode& Code);
  bool RunTry(Activation& A, const TryCode& T, std::uint32_t& Pc, Value& Result, bool& Returned);
  Value RunRange(Activation& A, std::uint32_t From, std::uint32_t To, bool& Returned);

  friend class Machine;
  Machine& FM;
  Activation* FCurrent = nullptr; // the activation running now
  std::vector<Value> FStack;
  Value FGlobalRegisters[4];
};

} // namespace quenloft::swf::avm1

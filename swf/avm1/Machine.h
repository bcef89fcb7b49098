// The script machine: the heap, the interned names, the global object and
// the built-in classes, and calls into script. One machine runs one movie
// (and the clips it makes); the player (Player.h) feeds it the action blocks
// of frames and events.
//
// Errors: a script `throw`, or an error a native raises, travels as a
// ScriptThrow C++ exception up to the script's try/catch or to the block's
// end. A block that runs out of its budget, calls too deep or asks for too
// much memory ends with ScriptAbort, which no script can catch.
//
// Threads: one thread per machine (the thread that plays the movie).
#pragma once

#include "swf/avm1/Atoms.h"
#include "swf/avm1/Function.h"
#include "swf/avm1/Heap.h"
#include "swf/avm1/Input.h"
#include "swf/avm1/Limits.h"
#include "swf/avm1/Native.h"
#include "swf/avm1/Object.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quenloft::swf::avm1 {

struct ActionBlock;
class Interpreter;
class Loads;

struct ScriptThrow {
  Value Thrown;
};

struct ScriptAbort {
  std::string Why;
};

// What the machine asks of the program around it.
class Host {
public:
  virtual ~Host() = default;
  // A `trace` line of the movie.
  virtual void Trace(std::string_view Line) = 0;
  // A note for the program's trace log: an uncaught error, a getURL or
  // fscommand the movie asked for (never carried out).
  virtual void Log(std::string_view Message) = 0;
};

// Where a block runs: its clip (`this` for a frame script, the target of
// play() and of variables without a path) and the `this` object.
struct RunContext {
  Object* Clip = nullptr;
  Object* This = nullptr;
  // The scope chain the code sees; nullptr: the global object, then Clip.
  Scope* Chain = nullptr;
};

class Machine {
public:
  Machine(int SwfVersion, Host& H);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The SWF version whose rules the running code follows: the movie's, or
  // 5 at least inside a function of an older movie.
  int Version() const { return FVersion; }
  Host& GetHost() { return FHost; }
  avm1::Heap& Heap() { return FHeap; }
  AtomTable& Atoms() { return FAtoms; }

  // --- Names and strings ---
  Atom Intern(std::string_view Text) { return FAtoms.Intern(Text); }
  // The key a property table uses for Name: the name itself from SWF 7 on,
  // else its case-folded twin.
  Atom Key(Atom Name) const { return FCaseSensitive ? Name : FAtoms.Folded(Name); }
  const String* Text(Atom Name) const { return FAtoms.Text(Name); }
  // A new string; ScriptAbort past MaxStringLength.
  const String* NewString(std::string Text);
  const String* EmptyString() const { return FEmpty; }

  // --- Objects ---
  Object* Global() const { return FGlobal; }
  Object* ObjectPrototype() const { return FObjectProto; }
  Object* FunctionPrototype() const { return FFunctionProto; }
  // A built-in class's prototype by its global name ("Array"); nullptr when
  // no such class is installed.
  Object* Prototype(std::string_view ClassName) const;
  // A built-in class's constructor by its global name.
  FunctionObject* Constructor(std::string_view ClassName) const;
  Object* NewObject();
  // A new Array holding Elements.
  Object* NewArray(std::span<const Value> Elements = {});
  FunctionObject* NewNative(NativeFn Fn, NativeFn Ctor = nullptr);
  // A Boolean, Number or String object holding a primitive.
  Object* Box(Value Primitive, std::string_view ClassName);
  // Installs a built-in class or object on the global object (Globals.cpp
  // does this for every one listed there).
  FunctionObject* Install(const ClassSpec& Spec);
  Object* Install(const ObjectSpec& Spec);

  // --- Calls ---
  Value Call(Value Function, Object* This, std::span<const Value> Args)
  {
    return CallFrom(Function, This, Args, nullptr);
  }
  // As Call, for a method found on Home (where `super` starts looking).
  Value CallFrom(Value Function, Object* This, std::span<const Value> Args, Object* Home);
  // Target[Name](Args...); undefined when Target has no such function.
  Value CallMethod(Value Target, Atom Name, std::span<const Value> Args);
  Value CallMethod(Value Target, std::string_view Name, std::span<const Value> Args)
  {
    return CallMethod(Target, Intern(Name), Args);
  }
  // `new Function(Args...)`.
  Value Construct(Value Function, std::span<const Value> Args);
  // Empties the stack that blocks share and the four shared registers (the
  // player does this at each frame).
  void ClearStack();
  // True when the innermost script function running was called by `new`
  // (natives called from it see the same).
  bool Constructing() const;
  // The script's `==` for the movie's version.
  bool LooseEquals(Value Left, Value Right);
  // Throws a new Error with Message to the script.
  [[noreturn]] void ThrowError(std::string_view Message);

  // --- Running blocks ---
  // Runs a decoded block (a frame script, an event handler) in Context with
  // a fresh budget. A thrown value nobody catches ends the block and goes to
  // the program's log; so does an abort.
  void RunBlock(const std::shared_ptr<const ActionBlock>& Block, const RunContext& Context);
  // Runs Function(Args) as a block of its own (a timer, an event handler).
  Value RunFunction(Value Function, Object* This, std::span<const Value> Args);
  // Runs Function as the constructor of Obj, an object that already exists
  // (a clip made for a registered class); an error ends the call alone.
  void ConstructOn(Value Function, Object* Obj, std::span<const Value> Args);

  // --- The display side ---
  // The movie's main clip (_root, _level0) and the clip an unqualified
  // target path starts from; set by the player.
  Object* Root() const { return FRoot; }
  // The movie's exported symbols by name (attachMovie); set by the player.
  const std::map<std::string, std::uint16_t>& Exports() const { return *FExports; }
  void SetExports(const std::map<std::string, std::uint16_t>* E) { FExports = E ? E : &FNoExports; }
  void SetRoot(Object* R) { FRoot = R; }
  // Object.registerClass: the constructor each exported symbol's clips are
  // made with, by the symbol's name (its atom's key).
  std::map<Atom, Object*>& RegisteredClasses() { return FRegistered; }
  // Files, movies and variables the movie loads (Loads.h); nullptr when
  // the program around the machine loads nothing.
  avm1::Loads* Loads() const { return FLoads; }
  void SetLoads(avm1::Loads* L) { FLoads = L; }
  // A target path ("a.b", "/a/b", "_level0.a") from the clip the running
  // code targets (the root when nothing runs), as a native resolves one;
  // nullptr when it leads nowhere.
  Object* ResolvePath(std::string_view Path);

  // Random numbers (random(), Math.random) from a seed the player sets,
  // so runs can be reproduced.
  std::uint32_t Random();
  void Seed(std::uint64_t S) { FRandom = S ? S : 1; }
  // Milliseconds since the movie started on its own clock (getTimer).
  double Milliseconds() const { return FClockMs; }
  void SetClock(double Ms) { FClockMs = Ms; }
  // The wall-clock time (milliseconds since 1970 UTC) at which the movie's
  // clock read 0: `new Date()` is this plus Milliseconds(). The real time
  // when the machine was made, unless the player fixes it.
  double StartTime() const { return FStartTime; }
  void SetStartTime(double Ms) { FStartTime = Ms; }
  // The stage size in pixels that Stage.width and Stage.height report
  // (the movie's own size until a player with a window says otherwise),
  // and the screen size System.capabilities reports.
  struct Screen {
    double StageWidth = 550, StageHeight = 400;
    double ScreenWidth = 1920, ScreenHeight = 1080;
  };
  const Screen& Display() const { return FDisplay; }
  // The keys held and the pointer, as the player last heard of them.
  InputState& Input() { return FInput; }
  void SetDisplay(const Screen& S) { FDisplay = S; }

  // setInterval and setTimeout: called as Function(Args) or
  // Target[Method](Args) when the movie's clock reaches Due.
  struct Timer {
    std::uint32_t Id = 0;
    Value Function;
    Object* Target = nullptr;
    Atom Method = 0;
    std::vector<Value> Args;
    double Interval = 0; // milliseconds
    double Due = 0;
    bool Repeat = true;
  };
  std::vector<Timer>& Timers() { return FTimers; }
  std::uint32_t NextTimerId() { return ++FTimerId; }
  // Runs the timers due by the clock (globals/Timers.cpp).
  void RunTimers();

  // --- Memory ---
  // Extra roots a player or native kind keeps (the clips, timers, queues).
  using RootTracer = std::function<void(Marker&)>;
  void AddRoots(RootTracer Roots) { FRootTracers.push_back(std::move(Roots)); }
  // Frees what no root reaches. Call only at a safe point: no native frame
  // on the stack, no block running.
  std::size_t Collect();
  bool Running() const { return FDepth > 0; }

  // --- Limits, used by the interpreter ---
  // Counts Actions against the block's budget; ScriptAbort when spent.
  void Spend(std::uint64_t Actions)
  {
    if (Actions > FBudget) {
      FBudget = 0; // all of it spent
      Abort("the script ran longer than the player lets a block run");
    }
    FBudget -= Actions;
  }
  [[noreturn]] void Abort(std::string Why);
  // Actions a block may run (MaxActionsPerBlock unless a tool such as a
  // fuzzer wants less).
  void SetBlockBudget(std::uint64_t Actions) { FBlockBudget = Actions; }
  // Actions all blocks together may run until the next NewFrame; once
  // spent, further blocks do not run. 0: no such bound (the player has
  // none; a fuzzer, where every clip may run a long block each frame,
  // wants one).
  void SetFrameBudget(std::uint64_t Actions) { FFrameBudget = FFrameLeft = Actions; }
  void NewFrame() { FFrameLeft = FFrameBudget; }
  // Enter/leave one call level; ScriptAbort past MaxCallDepth.
  void EnterCall();
  void LeaveCall() { --FDepth; }
  // Checks the live cell count after making cells.
  void CheckHeap()
  {
    if (FHeap.LiveCells() > MaxLiveCells)
      Abort("the script made more objects than the player keeps");
  }

  // Common atoms, interned once.
  struct CommonAtoms {
    Atom Empty, Length, Prototype, Constructor, Proto, ProtoCtor, ToStringA, ValueOf, Resolve,
        Arguments, Callee, Caller, This, Super, Global, Root, Parent, Level0, Undefined, Null,
        TrueA, FalseA, NaN, Message, Name;
  } A{};

private:
  friend class Interpreter;

  // Runs Body as one top-level piece of script (What names it in the log):
  // the outermost one gets a fresh budget; an uncaught error ends it alone;
  // the stack and call depth are put back whatever happens.
  void Guarded(std::string_view What, const std::function<void()>& Body);

  Host& FHost;
  int FVersion;
  bool FCaseSensitive;
  avm1::Heap FHeap;
  AtomTable FAtoms;
  const String* FEmpty = nullptr;
  Object* FObjectProto = nullptr;
  Object* FFunctionProto = nullptr;
  Object* FGlobal = nullptr;
  Object* FRoot = nullptr;
  avm1::Loads* FLoads = nullptr;
  std::map<std::string, std::uint16_t> FNoExports;
  const std::map<std::string, std::uint16_t>* FExports = &FNoExports;
  std::unordered_map<std::string, FunctionObject*> FClasses;
  std::unordered_map<std::string, Object*> FClassProtos;
  std::vector<RootTracer> FRootTracers;
  std::map<Atom, Object*> FRegistered;
  std::uint64_t FBudget = MaxActionsPerBlock;
  std::uint64_t FBlockBudget = MaxActionsPerBlock;
  std::uint64_t FFrameBudget = 0;
  std::uint64_t FFrameLeft = 0;
  int FDepth = 0;
  int FBlockDepth = 0;
  std::uint64_t FRandom = 0x2545F4914F6CDD1Dull;
  double FClockMs = 0;
  double FStartTime = 0;
  Screen FDisplay;
  InputState FInput;
  std::vector<Timer> FTimers;
  std::uint32_t FTimerId = 0;
  std::unique_ptr<Interpreter> FInterpreter;
};

} // namespace quenloft::swf::avm1

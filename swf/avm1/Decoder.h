// Action bytes to decoded actions. A block (a DoAction, DoInitAction, clip
// event or button action) is decoded once into a flat vector; jump and
// branch targets, function bodies, `with` and `try` ranges become indices
// into it, and string operands become atoms, so running never re-parses.
//
// Bad input never escapes: an action whose length runs past the block, a
// jump to the middle of an action or outside the block, a function body
// longer than what follows it, functions nested deeper than
// MaxFunctionNesting: decoding stops at the bad action (the block ends
// there) or the bad target ends the block when taken. Error says why.
//
// Threads: Decode is a pure function of the bytes and the atom table.
#pragma once

#include "swf/avm1/Atoms.h"
#include "swf/avm1/Value.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

// Jump targets that lead nowhere valid end the block.
inline constexpr std::uint32_t EndOfBlock = 0xFFFFFFFF;

struct Action {
  std::uint8_t Code = 0;   // the action code of the file
  std::uint8_t Flags = 0;  // GotoFrame2: play; GetURL2: method and flags; Try: flags
  std::uint16_t Extra = 0; // GotoFrame2: scene bias (low 16 bits)
  std::uint32_t A = 0;     // see the decoder: a target index, a register, an atom...
  std::uint32_t B = 0;
};

// One value of a Push.
struct PushItem {
  enum class Kind : std::uint8_t { Value, Register, Constant };
  Kind Type = Kind::Value;
  std::uint32_t Index = 0; // Register or Constant
  avm1::Value Data;        // Value: strings are interned (never collected)
};

struct FunctionParam {
  Atom Name = 0;
  std::uint8_t Register = 0; // DefineFunction2: 0 means no register
};

struct FunctionCode {
  Atom Name = 0; // 0: anonymous
  bool Version2 = false;
  std::uint8_t RegisterCount = 4; // DefineFunction keeps the four global-style registers
  std::uint16_t Flags = 0;        // DefineFunction2's preload/suppress bits
  std::vector<FunctionParam> Params;
  std::uint32_t Start = 0; // the body's actions: [Start, End)
  std::uint32_t End = 0;
  // The body defines functions (which may close over its locals).
  bool DefinesFunctions = false;
};

struct TryCode {
  std::uint32_t TryEnd = 0; // [index of the try + 1, TryEnd)
  std::uint32_t CatchEnd = 0;
  std::uint32_t FinallyEnd = 0;
  bool HasCatch = false;
  bool HasFinally = false;
  bool CatchInRegister = false;
  std::uint8_t Register = 0;
  Atom Name = 0;
};

struct ActionBlock {
  std::vector<Action> Actions;
  std::vector<PushItem> Pushes;            // Push: A = first item, B = count
  std::vector<std::vector<Atom>> Pools;    // ConstantPool: A = pool
  std::vector<FunctionCode> Functions;     // DefineFunction(2): A = function
  std::vector<TryCode> Trys;               // Try: A = entry
  int Version = 0;                         // the SWF version of the movie it came from
  // The block names `arguments` or `super` somewhere (a string constant):
  // functions of blocks that do not need not make those objects.
  bool MentionsArguments = false;
  bool MentionsSuper = false;
  std::string Error;                       // empty when the whole block decoded
};

// Decodes Bytes (a block's actions up to its end action or its end).
std::shared_ptr<const ActionBlock> Decode(std::span<const std::uint8_t> Bytes, AtomTable& Atoms,
                                          int Version);

} // namespace quenloft::swf::avm1

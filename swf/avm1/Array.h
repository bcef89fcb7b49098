// Arrays. As in the player, an array's elements are ordinary properties
// named "0", "1", ... and `length` is an ordinary stored property (not
// enumerable, not deletable): holes are names that do not exist, for..in
// lists elements with the other properties newest first, and flags,
// getters and watchers work on elements as on any property. What makes an
// array an array is that writing an index at or past `length` moves it, and
// writing `length` deletes the elements past it.
//
// The element helpers below are how the Array methods work on any object
// (they are generic, as the player's are): they read and write the stored
// data of own properties, without getters, setters or the prototype chain.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Object.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quenloft::swf::avm1 {

class ArrayObject final : public Object {
public:
  explicit ArrayObject(Object* Proto) : Object(Proto) {}

  // Keeps `length` in step with a script write; never takes the write.
  bool SetOwnVirtual(Machine& M, Atom Name, Value V) override;
  Object* CreateInstance(Machine& M, Object* Proto) override;
};

// A new array's elements and length, on an object with none yet.
void InitElements(Machine& M, Object& O, std::span<const Value> Elements);
// `length` as the methods read it (the stored value as a 32-bit integer).
std::int32_t LengthOf(Machine& M, Object& O);
// Sets `length`; on an array, first deletes the elements from N on.
void SetLengthOf(Machine& M, Object& O, std::int32_t N);
bool HasElement(Machine& M, Object& O, std::int32_t I);
Value ElementOf(Machine& M, Object& O, std::int32_t I);
// Writes element I; on an array, an index at or past `length` moves it.
void SetElementOf(Machine& M, Object& O, std::int32_t I, Value V);
bool DeleteElementOf(Machine& M, Object& O, std::int32_t I);
// Elements 0 to length-1 (holes read undefined); ScriptAbort past
// MaxArrayLength.
std::vector<Value> ElementsOf(Machine& M, Object& O);
// Replaces every element and the length with Elements.
void AssignElements(Machine& M, Object& O, std::span<const Value> Elements);

// The index a property name stands for, as the player reads it when an
// array is written: leading blanks, an optional sign and digits, wrapped to
// 32 bits ("4294967295" is -1).
std::optional<std::int32_t> ArrayIndexOf(std::string_view Name);

} // namespace quenloft::swf::avm1

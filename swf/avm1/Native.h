// How a built-in class or object is declared: a table of members (methods,
// getter/setter pairs, constants) with their flags, so adding a method is
// one line in the class's file under globals/.
//
//   const Member ArrayMethods[] = {
//     Method("push", Push),
//     Method("sort", Sort, DontEnum | DontDelete),
//     Accessor("length", GetLength, SetLength),
//   };
//   extern const ClassSpec ArrayClass = {"Array", Construct, Call, ArrayMethods, ArrayStatics};
//
// globals/Globals.cpp lists every ClassSpec and plain function; the machine
// installs them on its global object when it starts.
//
// Threads: constant tables; installing runs on the machine's thread.
#pragma once

#include "swf/avm1/Object.h"

#include <span>
#include <string_view>

namespace quenloft::swf::avm1 {

struct Member {
  enum class Kind : std::uint8_t { Method, Accessor, Number, String };
  Kind Type = Kind::Method;
  std::string_view Name;
  NativeFn Function = nullptr; // a method, or the getter
  NativeFn Setter = nullptr;   // an accessor's setter (nullptr: read-only)
  double Number = 0;
  std::string_view Text;
  std::uint16_t Flags = DontEnum;
};

constexpr Member Method(std::string_view Name, NativeFn Fn, std::uint16_t Flags = DontEnum)
{
  return {Member::Kind::Method, Name, Fn, nullptr, 0, {}, Flags};
}
constexpr Member Accessor(std::string_view Name, NativeFn Get, NativeFn Set = nullptr,
                          std::uint16_t Flags = DontEnum)
{
  return {Member::Kind::Accessor, Name, Get, Set, 0, {}, Flags};
}
constexpr Member Constant(std::string_view Name, double N,
                          std::uint16_t Flags = DontEnum | DontDelete | ReadOnly)
{
  return {Member::Kind::Number, Name, nullptr, nullptr, N, {}, Flags};
}
constexpr Member TextConstant(std::string_view Name, std::string_view Text,
                              std::uint16_t Flags = DontEnum | DontDelete | ReadOnly)
{
  return {Member::Kind::String, Name, nullptr, nullptr, 0, Text, Flags};
}

// A built-in class: `Name` on the global object is a function whose
// `prototype` holds the Prototype members and which itself holds Statics.
struct ClassSpec {
  std::string_view Name = {};
  // `new Name(...)`: This is the object made from the prototype
  // (Object::CreateInstance); the result replaces it when it is an object.
  NativeFn Construct = nullptr;
  // `Name(...)` called plainly; nullptr: as Construct with no This.
  NativeFn Call = nullptr;
  std::span<const Member> Prototype = {};
  std::span<const Member> Statics = {};
  // The class whose prototype this one's inherits from ("" is Object).
  std::string_view Base = {};
  // Makes the prototype object when it must be of a native kind (the
  // Array prototype is an array); nullptr: a plain object.
  Object* (*MakePrototype)(Machine& M, Object* BaseProto) = nullptr;
  // Flags of the global name (a version bit hides the class from older movies).
  std::uint16_t GlobalFlags = DontEnum;
};

// A plain built-in object with members (Math, Key, Stage): `Name` on the
// global object.
struct ObjectSpec {
  std::string_view Name = {};
  std::span<const Member> Members = {};
  std::uint16_t GlobalFlags = DontEnum;
  // Runs once the object has its members (Key and Mouse become broadcasters).
  void (*Setup)(Machine& M, Object& Made) = nullptr;
};

// Puts the members on an object.
void DefineMembers(Machine& M, Object& Target, std::span<const Member> Members);

// The arguments a native receives, with undefined past the end.
inline Value Arg(std::span<const Value> Args, std::size_t I)
{
  return I < Args.size() ? Args[I] : Value();
}

} // namespace quenloft::swf::avm1

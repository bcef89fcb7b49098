// A script value: undefined, null, a boolean, a number, a string or an
// object. Sixteen bytes, trivially copyable; strings and objects live on the
// machine's heap (Heap.h).
//
// Conversions take the machine: converting an object calls its valueOf or
// toString, and the SWF version changes several rules (undefined is "" as a
// string before SWF 7, a string is true when non-empty from SWF 7 on...).
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Heap.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quenloft::swf::avm1 {

class Machine;
class Object;

using Atom = std::uint32_t; // an interned name; see AtomTable

// An immutable string cell. Text is UTF-8 (older movies' text is converted
// from their code page when it is read).
struct String final : Cell {
  explicit String(std::string T) : Text(std::move(T)) {}
  std::size_t ExtraBytes() const override { return Text.capacity(); }
  std::string Text;
  Atom Name = 0; // its atom when interned; 0 when not (yet) known
};

enum class Type : std::uint8_t { Undefined, Null, Boolean, Number, String, Object };

class Value {
public:
  constexpr Value() = default;
  constexpr Value(bool B) : FType(Type::Boolean) { FData.B = B; }
  constexpr Value(double D) : FType(Type::Number) { FData.D = D; }
  constexpr Value(int I) : FType(Type::Number) { FData.D = I; }
  Value(const avm1::String* S) : FType(Type::String) { FData.C = S; }
  Value(Object* O); // Object.h
  static constexpr Value Null()
  {
    Value v;
    v.FType = Type::Null;
    return v;
  }

  Type Kind() const { return FType; }
  bool IsUndefined() const { return FType == Type::Undefined; }
  bool IsNull() const { return FType == Type::Null; }
  bool IsNullish() const { return FType <= Type::Null; }
  bool IsBool() const { return FType == Type::Boolean; }
  bool IsNumber() const { return FType == Type::Number; }
  bool IsString() const { return FType == Type::String; }
  bool IsObject() const { return FType == Type::Object; }

  bool AsBool() const { return FData.B; }
  double AsNumber() const { return FData.D; }
  const avm1::String* AsString() const { return static_cast<const avm1::String*>(FData.C); }
  Object* AsObject() const; // Object.h
  // The object, or nullptr for any other type.
  Object* ObjectOrNull() const { return FType == Type::Object ? AsObject() : nullptr; }

  // The language's conversions (ECMA-262 3rd edition as the player bends it).
  double ToNumber(Machine& M) const;
  const avm1::String* ToString(Machine& M) const;
  std::string ToText(Machine& M) const { return ToString(M)->Text; }
  bool ToBoolean(int Version) const;
  enum class Hint : std::uint8_t { None, Number, String };
  Value ToPrimitive(Machine& M, Hint H = Hint::None) const;
  // The object itself, a wrapper (Boolean, Number, String) for a primitive,
  // or nullptr for undefined and null.
  Object* ToObject(Machine& M) const;
  std::int32_t ToInt32(Machine& M) const;
  std::uint32_t ToUInt32(Machine& M) const { return static_cast<std::uint32_t>(ToInt32(M)); }
  // "undefined", "null", "boolean", "number", "string", "object",
  // "function" or "movieclip".
  std::string_view TypeOf() const;

  // Identity: same type and same number, boolean, string text or object.
  bool StrictEquals(const Value& Other) const;
  void Trace(Marker& M) const
  {
    if (FType >= Type::String)
      M.Mark(FData.C);
  }

private:
  Type FType = Type::Undefined;
  union {
    bool B;
    double D;
    const Cell* C; // a String or an Object
  } FData{.D = 0};
};

static_assert(sizeof(Value) == 16);

// Number to text as the player writes it: up to 15 significant digits,
// exponent form below 1e-5 and from 1e15 on ("1e+21", "1.5e-7"), "NaN",
// "Infinity", "-Infinity".
std::string NumberToText(double D);
// Text to number as the player reads it for the given SWF version: leading
// and trailing white space, "0x" hexadecimal (SWF 6 and later, also
// negative), an empty string is NaN (0 before SWF 5... see the source).
double TextToNumber(std::string_view Text, int Version);
// Text with every byte that is not part of well-formed UTF-8 (surrogate
// halves included) replaced by U+FFFD.
std::string ValidUtf8(std::string_view Text);
// ECMA ToInt32 on a number.
std::int32_t NumberToInt32(double D);

} // namespace quenloft::swf::avm1

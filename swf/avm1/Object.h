// The object model: a property table per object, a prototype link, property
// flags, getters and setters (addProperty) and watchers.
//
// Names are atoms. Whether case matters is decided by the machine (SWF 7 and
// later: it does) when it turns a name into a lookup key (Machine::Key).
// Properties keep insertion order; for..in lists them newest first, as the
// player does.
//
// Objects of a native kind (arrays, clips, boxed primitives) derive from
// Object and override the virtual hooks.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Value.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quenloft::swf::avm1 {

class Machine;
class FunctionObject;

// Property flags, as ASSetPropFlags numbers them. The version bits hide a
// property from movies older than the version that introduced it.
enum PropertyFlag : std::uint16_t {
  DontEnum = 1 << 0,
  DontDelete = 1 << 1,
  ReadOnly = 1 << 2,
  OnlySwf6 = 0x0080, // visible from SWF 6 on
  OnlySwf7 = 0x0500, // from SWF 7 on
  OnlySwf8 = 0x1000,
  OnlySwf9 = 0x2000,
  OnlySwf10 = 0x4000,
  VersionMask = 0x7FF8,
};
// True when Flags hide the property from a movie of this SWF version.
bool HiddenFrom(std::uint16_t Flags, int Version);

struct Property {
  Atom Name = 0;  // as first written (enumeration shows it)
  Atom Key = 0;   // the lookup key (Name, or its folded twin)
  Value Data;     // a stored property's value
  FunctionObject* Getter = nullptr; // a virtual property (addProperty)
  FunctionObject* Setter = nullptr;
  std::uint16_t Flags = 0;
  bool IsVirtual() const { return Getter != nullptr; }
};

class Object : public Cell {
public:
  explicit Object(Object* Proto) : FProto(Proto) {}

  Object* Proto() const { return FProto; }
  void SetProto(Object* P) { FProto = P; }

  // --- Script-visible access (prototype chain, getters, setters, watch) ---
  // The property's value as `o.Name` reads it; undefined when absent.
  Value Get(Machine& M, Atom Name);
  // `o.Name = V`: calls a watcher and a setter found on the chain, respects
  // ReadOnly, else stores an own property.
  void Set(Machine& M, Atom Name, Value V);
  // True when Name is found on this object or its chain (the `in` test).
  bool Has(Machine& M, Atom Name);
  // `delete o.Name`; false when absent or DontDelete.
  bool Delete(Machine& M, Atom Name);
  // The names for..in visits: own then inherited, newest first, without
  // DontEnum or version-hidden ones, each name once.
  std::vector<Atom> EnumerableNames(Machine& M);

  // --- Own properties, no chain, no getters ---
  // Defines or overwrites an own stored property with these flags.
  void Define(Machine& M, Atom Name, Value V, std::uint16_t Flags = 0);
  void DefineAccessor(Machine& M, Atom Name, FunctionObject* Getter, FunctionObject* Setter,
                      std::uint16_t Flags = 0);
  Property* FindOwn(Machine& M, Atom Name);
  // The stored data of an own property (undefined when absent), whatever
  // its flags and getter; and its plain write, which only ReadOnly stops
  // (it creates the property when absent and clears its version bits).
  Value OwnData(Machine& M, Atom Name);
  void SetOwnData(Machine& M, Atom Name, Value V);
  // Deletes, in one pass, the own properties Pick chooses that may be
  // deleted.
  void DeleteOwnWhere(const std::function<bool(const Property&)>& Pick);
  bool HasOwn(Machine& M, Atom Name) { return FindOwn(M, Name) != nullptr || HasOwnVirtual(M, Name); }
  std::span<Property> OwnProperties() { return FProps; }

  // watch / unwatch: a callback called as callback(name, old, new) whose
  // result is stored instead of the new value.
  void Watch(Machine& M, Atom Name, Object* Callback, Value UserData);
  bool Unwatch(Machine& M, Atom Name);

  // --- Hooks for native kinds ---
  // Properties the object computes (a clip's _x, an array's elements):
  // return true and set Out when Name is one of them.
  virtual bool GetOwnVirtual(Machine&, Atom, Value&) { return false; }
  // Return true when the write was taken.
  virtual bool SetOwnVirtual(Machine&, Atom, Value) { return false; }
  virtual bool HasOwnVirtual(Machine&, Atom) { return false; }
  virtual bool DeleteOwnVirtual(Machine&, Atom) { return false; }
  virtual void OwnVirtualNames(Machine&, std::vector<Atom>&) {}
  // The object `new F()` makes when F.prototype is this object: a plain
  // object, or one of this object's native kind (an array's prototype
  // makes arrays).
  virtual Object* CreateInstance(Machine& M, Object* Proto);
  // "function" or "movieclip" for typeof; "object" by default.
  virtual std::string_view TypeName() const { return "object"; }
  // A boxed primitive's value (Number, String, Boolean objects).
  virtual const Value* Primitive() const { return nullptr; }
  // A display object's target path ("_level0.a.b"), which is what it turns
  // into as a string; nullptr for other objects.
  virtual const String* DisplayPath(Machine&) { return nullptr; }
  // A Date: turns to text rather than a number where no hint is given.
  virtual bool IsDate() const { return false; }

  void Trace(Marker& M) override;
  std::size_t ExtraBytes() const override;

  // The object's interfaces (`implements`), for instanceof.
  std::vector<Object*> Interfaces;

private:
  struct Watcher {
    Atom Key = 0;
    Object* Callback = nullptr;
    Value UserData;
  };
  Property* FindKey(Atom Key);
  Value StoredOnChain(Machine& M, Atom Key);
  void Insert(Property P);
  void Erase(std::size_t Index);

  Object* FProto = nullptr;
  std::vector<Property> FProps;
  // Key -> index into FProps, kept once an object grows past a few names.
  std::unordered_map<Atom, std::uint32_t> FIndex;
  std::vector<Watcher> FWatchers;
};

inline Value::Value(Object* O)
{
  if (O) {
    FType = Type::Object;
    FData.C = O;
  }
}
inline Object* Value::AsObject() const
{
  return static_cast<Object*>(const_cast<Cell*>(FData.C));
}

// A native function: This is the object it was called on (nullptr for none);
// Args are the arguments. Throws ScriptThrow for a script-visible error.
using NativeFn = Value (*)(Machine& M, Object* This, std::span<const Value> Args);

} // namespace quenloft::swf::avm1

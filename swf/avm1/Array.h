// Arrays: elements in a vector, `length` and the indices as computed
// properties; other properties go to the ordinary table.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Object.h"

#include <optional>
#include <vector>

namespace quenloft::swf::avm1 {

class ArrayObject final : public Object {
public:
  explicit ArrayObject(Object* Proto) : Object(Proto) {}

  std::vector<Value>& Elements() { return FElements; }
  // Grows or shrinks to N elements; ScriptAbort past MaxArrayLength.
  void Resize(Machine& M, std::size_t N);

  bool GetOwnVirtual(Machine& M, Atom Name, Value& Out) override;
  bool SetOwnVirtual(Machine& M, Atom Name, Value V) override;
  bool HasOwnVirtual(Machine& M, Atom Name) override;
  bool DeleteOwnVirtual(Machine& M, Atom Name) override;
  void OwnVirtualNames(Machine& M, std::vector<Atom>& Names) override;
  Object* CreateInstance(Machine& M, Object* Proto) override;
  void Trace(Marker& M) override;
  std::size_t ExtraBytes() const override { return Object::ExtraBytes() + FElements.capacity() * sizeof(Value); }

private:
  std::vector<Value> FElements;
};

// The index a property name stands for ("0", "17"), if it is one.
std::optional<std::size_t> IndexOf(std::string_view Name);

} // namespace quenloft::swf::avm1

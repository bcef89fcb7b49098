// Boolean, Number and String objects: an object holding a primitive.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Object.h"

namespace quenloft::swf::avm1 {

class BoxObject final : public Object {
public:
  explicit BoxObject(Object* Proto, Value V = Value()) : Object(Proto), FValue(V) {}
  const Value* Primitive() const override { return &FValue; }
  void SetPrimitive(Value V) { FValue = V; }
  Object* CreateInstance(Machine& M, Object* Proto) override;
  bool GetOwnVirtual(Machine& M, Atom Name, Value& Out) override;
  void Trace(Marker& M) override
  {
    Object::Trace(M);
    FValue.Trace(M);
  }

private:
  Value FValue;
};

} // namespace quenloft::swf::avm1

// The built-in classes and functions a machine starts with. Each class is a
// file of its own here, declared by its member tables (../Native.h).
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Native.h"

namespace quenloft::swf::avm1 {

class Machine;

extern const ClassSpec ObjectClass;
extern const ClassSpec FunctionClass;
extern const ClassSpec ArrayClass;
extern const ClassSpec StringClass;
extern const ClassSpec NumberClass;
extern const ClassSpec BooleanClass;
extern const ClassSpec ErrorClass;
extern const ClassSpec MovieClipClass;
extern const ClassSpec XMLNodeClass;
extern const ClassSpec XMLClass;
extern const ObjectSpec MathObject;
extern const std::span<const Member> GlobalFunctions;

// Installs every class, object and function above on M's global object.
void InstallGlobals(Machine& M);

} // namespace quenloft::swf::avm1

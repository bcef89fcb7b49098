// Accessibility: no screen reader is ever attached to a preview, so it is
// never active and its updates go nowhere.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

Value IsActive(Machine&, Object*, std::span<const Value>)
{
  return Value(false);
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

constexpr std::uint16_t F = DontDelete | ReadOnly | OnlySwf6;
const Member Members[] = {
    Method("isActive", IsActive, F),
    Method("sendEvent", Nothing, F),
    Method("updateProperties", Nothing, F),
};

} // namespace

extern const ObjectSpec AccessibilityObject = {.Name = "Accessibility", .Members = Members};

} // namespace quenloft::swf::avm1

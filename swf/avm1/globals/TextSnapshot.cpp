// TextSnapshot: the static text of a clip as script sees it. No static
// text is collected yet, so a snapshot is empty.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}
Value Zero(Machine&, Object*, std::span<const Value>)
{
  return Value(0);
}
Value Empty(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.EmptyString());
}
Value False(Machine&, Object*, std::span<const Value>)
{
  return Value(false);
}
Value NotFound(Machine&, Object*, std::span<const Value>)
{
  return Value(-1);
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}
Value NoRuns(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.NewArray());
}

const Member Methods[] = {
    Method("getCount", Zero, OnlySwf6),
    Method("setSelected", Nothing, OnlySwf6),
    Method("getSelected", False, OnlySwf6),
    Method("getText", Empty, OnlySwf6),
    Method("getSelectedText", Empty, OnlySwf6),
    Method("hitTestTextNearPos", NotFound, OnlySwf6),
    Method("findText", NotFound, OnlySwf6),
    Method("setSelectColor", Nothing, OnlySwf6),
    Method("getTextRunInfo", NoRuns, OnlySwf6),
};

} // namespace

extern const ClassSpec TextSnapshotClass = {.Name = "TextSnapshot", .Construct = Construct, .Prototype = Methods};

} // namespace quenloft::swf::avm1

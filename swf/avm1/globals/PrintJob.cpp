// PrintJob: a preview prints nothing. start, addPage and send (SWF 7 on)
// are accepted and logged; the page and paper sizes read 0.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

Value Refuse(Machine& M, std::string_view What, bool Result)
{
  M.GetHost().Log("PrintJob." + std::string(What) + " is not carried out: a preview prints nothing");
  return Value(Result);
}
Value Start(Machine& M, Object*, std::span<const Value>)
{
  // As a print dialog the person closed.
  return Refuse(M, "start", false);
}
Value AddPage(Machine& M, Object*, std::span<const Value>)
{
  return Refuse(M, "addPage", false);
}
Value Send(Machine& M, Object*, std::span<const Value>)
{
  Refuse(M, "send", false);
  return Value();
}
Value Zero(Machine&, Object*, std::span<const Value>)
{
  return Value(0);
}

constexpr std::uint16_t Sizes = DontDelete | ReadOnly;
const Member Methods[] = {
    Method("start", Start, DontEnum | DontDelete | OnlySwf7),
    Method("addPage", AddPage, DontEnum | DontDelete | OnlySwf7),
    Method("send", Send, DontEnum | DontDelete | OnlySwf7),
    Accessor("paperHeight", Zero, nullptr, Sizes),
    Accessor("paperWidth", Zero, nullptr, Sizes),
    Accessor("pageHeight", Zero, nullptr, Sizes),
    Accessor("pageWidth", Zero, nullptr, Sizes),
    Accessor("orientation", Zero, nullptr, Sizes),
};

// Before SWF 7 the reference player's PrintJob prototype does not inherit
// Object's methods: such objects trace as "[type Object]".
Object* MakePrototype(Machine& M, Object* Base)
{
  return M.Heap().Make<Object>(M.Version() >= 7 ? Base : nullptr);
}

} // namespace

extern const ClassSpec PrintJobClass = {
    .Name = "PrintJob", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakePrototype};

} // namespace quenloft::swf::avm1

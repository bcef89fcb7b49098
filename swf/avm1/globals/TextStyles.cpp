// flash.text.TextRenderer as scripts find it. Text is drawn by the
// program's own renderer, so the anti-aliasing tables scripts hand it are
// accepted and not used.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}
Value MaxLevel(Machine&, Object*, std::span<const Value>)
{
  return Value(4);
}

const Member RendererStatics[] = {
    Accessor("maxLevel", MaxLevel, Nothing),
    Method("setAdvancedAntialiasingTable", Nothing),
};
} // namespace

extern const ClassSpec TextRendererClass = {.Name = "TextRenderer", .Construct = Construct, .Statics = RendererStatics};

} // namespace quenloft::swf::avm1

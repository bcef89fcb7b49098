// flash.geom.Transform: made for a clip (`new Transform(clip)`), it
// remembers the clip it describes.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (This)
    This->Define(M, M.Intern("_clip"), Arg(Args, 0), DontEnum);
  return Value(This);
}

} // namespace

extern const ClassSpec TransformClass = {.Name = "Transform", .Construct = Construct};

} // namespace quenloft::swf::avm1

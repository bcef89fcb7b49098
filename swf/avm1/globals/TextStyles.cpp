// flash.text.TextRenderer and TextField.StyleSheet as scripts find them.
// Text is drawn by the program's own renderer, so the anti-aliasing
// tables scripts hand TextRenderer are accepted and not used; a style
// sheet keeps the styles set on it by name.
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

// Styles live in a hidden object on the sheet, by name.
Object* Styles(Machine& M, Object* Sheet, bool Make)
{
  if (!Sheet)
    return nullptr;
  const Atom key = M.Intern("_styles");
  if (Object* s = Sheet->OwnData(M, key).ObjectOrNull())
    return s;
  if (!Make)
    return nullptr;
  Object* s = M.NewObject();
  Sheet->Define(M, key, Value(s), DontEnum);
  return s;
}
Value SetStyle(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Object* s = Styles(M, This, true))
    s->Define(M, M.Intern(Arg(Args, 0).ToText(M)), Arg(Args, 1), 0);
  return Value();
}
Value GetStyle(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* s = Styles(M, This, false);
  return s ? s->OwnData(M, M.Intern(Arg(Args, 0).ToText(M))) : Value::Null();
}
Value GetStyleNames(Machine& M, Object* This, std::span<const Value>)
{
  std::vector<Value> names;
  if (Object* s = Styles(M, This, false))
    for (Atom name : s->EnumerableNames(M))
      names.emplace_back(M.Text(name));
  return Value(M.NewArray(names));
}
Value Clear(Machine& M, Object* This, std::span<const Value>)
{
  if (This)
    This->Define(M, M.Intern("_styles"), Value(M.NewObject()), DontEnum);
  return Value();
}
Value Load(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("TextField.StyleSheet.load(" + Arg(Args, 0).ToText(M) + ") is not carried out");
  return Value(false);
}

const Member RendererStatics[] = {
    Accessor("maxLevel", MaxLevel, Nothing),
    Method("setAdvancedAntialiasingTable", Nothing),
};
const Member SheetMethods[] = {
    Method("setStyle", SetStyle),
    Method("getStyle", GetStyle),
    Method("getStyleNames", GetStyleNames),
    Method("clear", Clear),
    Method("load", Load),
};

} // namespace

extern const ClassSpec TextRendererClass = {.Name = "TextRenderer", .Construct = Construct, .Statics = RendererStatics};
extern const ClassSpec StyleSheetClass = {.Name = "StyleSheet", .Construct = Construct, .Prototype = SheetMethods};

} // namespace quenloft::swf::avm1

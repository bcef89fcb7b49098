// ContextMenu and ContextMenuItem: the menu a movie puts on the right
// button. They hold what the movie sets; the preview shows no such menu.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

namespace quenloft::swf::avm1 {

namespace {

constexpr const char* BuiltIns[] = {"print", "forward_back", "rewind", "loop", "play", "quality", "zoom", "save"};

Value Get(Machine& M, Object* O, std::string_view Name)
{
  return O ? O->Get(M, M.Intern(Name)) : Value();
}

Value MenuConstruct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  Object* callback = Arg(Args, 0).ToObject(M);
  This->Set(M, M.Intern("onSelect"), callback ? Value(callback) : Value(M.NewObject()));
  Object* builtIns = M.NewObject();
  for (const char* name : BuiltIns)
    builtIns->Set(M, M.Intern(name), Value(true));
  This->Set(M, M.Intern("builtInItems"), Value(builtIns));
  This->Set(M, M.Intern("customItems"), Value(M.NewArray()));
  return Value(This);
}

Value MenuCopy(Machine& M, Object* This, std::span<const Value>)
{
  const Value callback = Get(M, This, "onSelect");
  const Value copy = M.Construct(Value(static_cast<Object*>(M.Constructor("ContextMenu"))),
                                 std::span<const Value>(&callback, 1));
  Object* from = Get(M, This, "builtInItems").ToObject(M);
  Object* to = Get(M, copy.ObjectOrNull(), "builtInItems").ToObject(M);
  if (to) {
    // Written in the player's order, which for..in shows reversed.
    for (const char* name : {"save", "zoom", "quality", "play", "loop", "rewind", "forward_back", "print"})
      to->Set(M, M.Intern(name), Value(Get(M, from, name).ToBoolean(M.Version())));
  }
  Object* items = Get(M, This, "customItems").ToObject(M);
  Object* copyItems = Get(M, copy.ObjectOrNull(), "customItems").ToObject(M);
  if (items && copyItems) {
    const double n = items->Get(M, M.A.Length).ToNumber(M);
    for (double i = 0; i < n && i < MaxArrayLength; ++i) {
      const Atom index = M.Intern(NumberToText(i));
      copyItems->Set(M, index, items->Get(M, index));
    }
  }
  return copy;
}

Value HideBuiltInItems(Machine& M, Object* This, std::span<const Value>)
{
  if (Object* builtIns = Get(M, This, "builtInItems").ToObject(M))
    for (const char* name : {"zoom", "quality", "play", "loop", "rewind", "forward_back", "print"})
      builtIns->Set(M, M.Intern(name), Value(false));
  return Value();
}

Value ItemConstruct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const int v = M.Version();
  This->Set(M, M.Intern("caption"), Value(Arg(Args, 0).ToString(M)));
  if (Args.size() > 1)
    This->Set(M, M.Intern("onSelect"), Args[1]);
  This->Set(M, M.Intern("separatorBefore"), Value(Args.size() > 2 && Args[2].ToBoolean(v)));
  This->Set(M, M.Intern("enabled"), Value(Args.size() <= 3 || Args[3].ToBoolean(v)));
  This->Set(M, M.Intern("visible"), Value(Args.size() <= 4 || Args[4].ToBoolean(v)));
  return Value(This);
}

Value ItemCopy(Machine& M, Object* This, std::span<const Value>)
{
  const int v = M.Version();
  Object* callback = Get(M, This, "onSelect").ToObject(M);
  const Value args[] = {
      Value(Get(M, This, "caption").ToString(M)),
      callback ? Value(callback) : Value(M.NewObject()),
      Value(Get(M, This, "separatorBefore").ToBoolean(v)),
      Value(Get(M, This, "enabled").ToBoolean(v)),
      Value(Get(M, This, "visible").ToBoolean(v)),
  };
  return M.Construct(Value(static_cast<Object*>(M.Constructor("ContextMenuItem"))), args);
}

const Member MenuMethods[] = {
    Method("copy", MenuCopy, DontEnum | DontDelete),
    Method("hideBuiltInItems", HideBuiltInItems, DontEnum | DontDelete),
};
const Member ItemMethods[] = {
    Method("copy", ItemCopy, DontEnum | DontDelete),
};

} // namespace

extern const ClassSpec ContextMenuClass = {.Name = "ContextMenu", .Construct = MenuConstruct, .Prototype = MenuMethods};
extern const ClassSpec ContextMenuItemClass = {.Name = "ContextMenuItem", .Construct = ItemConstruct, .Prototype = ItemMethods};

} // namespace quenloft::swf::avm1

// ASnative(table, index): the player's numbered native functions, and
// ASSetNative, which puts a run of them on an object under given names.
// Tables known here: 2 (the call itself), 103 (Date), 200 (Math).
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// ASnative(2, 0): whether the script function running was called by `new`.
Value CalledByNew(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.Constructing());
}

NativeFn Lookup(double Table, double Index)
{
  if (!std::isfinite(Table) || !std::isfinite(Index))
    return nullptr;
  const auto index = static_cast<int>(std::trunc(Index));
  switch (static_cast<int>(std::trunc(Table))) {
  case 2: return index == 0 ? CalledByNew : nullptr;
  case 103: return DateNative(index);
  case 200: return MathNative(index);
  default: return nullptr;
  }
}

Value AsNativeFn(Machine& M, Object*, std::span<const Value> Args)
{
  const double table = Arg(Args, 0).ToNumber(M);
  const double index = Arg(Args, 1).ToNumber(M);
  NativeFn fn = Lookup(table, index);
  if (!fn)
    return Value();
  return Value(static_cast<Object*>(M.NewNative(fn)));
}

// ASSetNative(target, table, "name1,name2,...", first): names get the
// functions first, first + 1, ...; an empty name still takes its number.
Value AsSetNative(Machine& M, Object*, std::span<const Value> Args)
{
  Object* target = Arg(Args, 0).ObjectOrNull();
  if (!target)
    return Value();
  const double table = Arg(Args, 1).ToNumber(M);
  const std::string names = Arg(Args, 2).ToText(M);
  double index = Arg(Args, 3).ToNumber(M);
  std::size_t at = 0;
  while (at <= names.size()) {
    std::size_t comma = names.find(',', at);
    if (comma == std::string::npos)
      comma = names.size();
    const std::string name = names.substr(at, comma - at);
    if (!name.empty()) {
      if (NativeFn fn = Lookup(table, index))
        target->Define(M, M.Intern(name), Value(static_cast<Object*>(M.NewNative(fn))), DontEnum | DontDelete);
    }
    index += 1;
    at = comma + 1;
  }
  return Value();
}

const Member Members[] = {
    Method("ASnative", AsNativeFn),
    Method("ASSetNative", AsSetNative),
};

} // namespace

extern const std::span<const Member> NativeFunctions = Members;

} // namespace quenloft::swf::avm1

// Array.
#include "swf/avm1/Array.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<ArrayObject>(Base);
}

ArrayObject* Self(Object* This)
{
  return dynamic_cast<ArrayObject*>(This);
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a)
    a = static_cast<ArrayObject*>(M.NewArray());
  if (Args.size() == 1 && Args[0].IsNumber()) {
    const double n = Args[0].AsNumber();
    if (n >= 0 && n == std::trunc(n))
      a->Resize(M, static_cast<std::size_t>(std::min(n, 4294967295.0)));
  } else {
    a->Elements().assign(Args.begin(), Args.end());
  }
  return Value(static_cast<Object*>(a));
}

Value CallPlain(Machine& M, Object*, std::span<const Value> Args)
{
  return Construct(M, nullptr, Args);
}

Value Push(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a)
    return Value();
  if (a->Elements().size() + Args.size() > MaxArrayLength)
    M.Abort("an array longer than the player allows");
  a->Elements().insert(a->Elements().end(), Args.begin(), Args.end());
  return Value(static_cast<double>(a->Elements().size()));
}

Value Pop(Machine&, Object* This, std::span<const Value>)
{
  ArrayObject* a = Self(This);
  if (!a || a->Elements().empty())
    return Value();
  const Value v = a->Elements().back();
  a->Elements().pop_back();
  return v;
}

Value Shift(Machine&, Object* This, std::span<const Value>)
{
  ArrayObject* a = Self(This);
  if (!a || a->Elements().empty())
    return Value();
  const Value v = a->Elements().front();
  a->Elements().erase(a->Elements().begin());
  return v;
}

Value Unshift(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a)
    return Value();
  if (a->Elements().size() + Args.size() > MaxArrayLength)
    M.Abort("an array longer than the player allows");
  a->Elements().insert(a->Elements().begin(), Args.begin(), Args.end());
  return Value(static_cast<double>(a->Elements().size()));
}

std::string JoinText(Machine& M, ArrayObject& A, const std::string& Sep)
{
  std::string out;
  for (std::size_t i = 0; i < A.Elements().size(); ++i) {
    if (i)
      out += Sep;
    const Value v = A.Elements()[i];
    if (v.IsUndefined())
      out += M.Version() >= 7 ? "undefined" : "";
    else
      out += v.ToText(M);
    if (out.size() > MaxStringLength)
      M.Abort("a string longer than the player allows");
  }
  return out;
}

Value Join(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a)
    return Value();
  const std::string sep = Args.empty() || Args[0].IsUndefined() ? "," : Args[0].ToText(M);
  return Value(M.NewString(JoinText(M, *a, sep)));
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  ArrayObject* a = Self(This);
  if (!a)
    return Value(M.NewString("[object Object]"));
  return Value(M.NewString(JoinText(M, *a, ",")));
}

Value Reverse(Machine&, Object* This, std::span<const Value>)
{
  if (ArrayObject* a = Self(This))
    std::reverse(a->Elements().begin(), a->Elements().end());
  return Value(This);
}

std::size_t Clamp(Machine& M, Value V, std::size_t Length, std::size_t Default)
{
  if (V.IsUndefined())
    return Default;
  double d = std::trunc(V.ToNumber(M));
  if (std::isnan(d))
    d = 0;
  if (d < 0)
    d = std::max(0.0, static_cast<double>(Length) + d);
  return static_cast<std::size_t>(std::min(d, static_cast<double>(Length)));
}

Value Slice(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a)
    return Value();
  const std::size_t n = a->Elements().size();
  const std::size_t from = Clamp(M, Arg(Args, 0), n, 0);
  const std::size_t to = Clamp(M, Arg(Args, 1), n, n);
  std::vector<Value> out;
  if (from < to)
    out.assign(a->Elements().begin() + static_cast<std::ptrdiff_t>(from),
               a->Elements().begin() + static_cast<std::ptrdiff_t>(to));
  return Value(M.NewArray(out));
}

Value Splice(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a || Args.empty())
    return Value();
  auto& e = a->Elements();
  const std::size_t from = Clamp(M, Args[0], e.size(), 0);
  std::size_t count = e.size() - from;
  if (Args.size() > 1) {
    const double c = Args[1].ToNumber(M);
    count = std::isnan(c) || c < 0 ? 0 : static_cast<std::size_t>(std::min(c, static_cast<double>(count)));
  }
  std::vector<Value> removed(e.begin() + static_cast<std::ptrdiff_t>(from),
                             e.begin() + static_cast<std::ptrdiff_t>(from + count));
  e.erase(e.begin() + static_cast<std::ptrdiff_t>(from), e.begin() + static_cast<std::ptrdiff_t>(from + count));
  if (Args.size() > 2)
    e.insert(e.begin() + static_cast<std::ptrdiff_t>(from), Args.begin() + 2, Args.end());
  return Value(M.NewArray(removed));
}

Value Concat(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  std::vector<Value> out;
  if (a)
    out = a->Elements();
  for (const Value& v : Args) {
    if (auto* other = dynamic_cast<ArrayObject*>(v.ObjectOrNull()))
      out.insert(out.end(), other->Elements().begin(), other->Elements().end());
    else
      out.push_back(v);
    if (out.size() > MaxArrayLength)
      M.Abort("an array longer than the player allows");
  }
  return Value(M.NewArray(out));
}

enum SortFlags : int { CaseInsensitive = 1, Descending = 2, UniqueSort = 4, ReturnIndexedArray = 8, Numeric = 16 };

int Compare(Machine& M, const Value& A, const Value& B, int Flags, Value Fn)
{
  if (Fn.IsObject()) {
    const Value args[] = {A, B};
    const double r = M.Call(Fn, nullptr, args).ToNumber(M);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  // undefined sorts last.
  if (A.IsUndefined() || B.IsUndefined())
    return A.IsUndefined() == B.IsUndefined() ? 0 : (A.IsUndefined() ? 1 : -1);
  if ((Flags & Numeric) && A.IsNumber() && B.IsNumber()) {
    const double x = A.AsNumber();
    const double y = B.AsNumber();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  std::string x = A.ToText(M);
  std::string y = B.ToText(M);
  if (Flags & CaseInsensitive) {
    for (char& c : x)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : y)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return x < y ? -1 : (x > y ? 1 : 0);
}

Value SortWith(Machine& M, ArrayObject& A, Value Fn, int Flags,
               const std::function<Value(const Value&)>& Key)
{
  std::vector<std::size_t> order(A.Elements().size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::vector<Value> keys;
  keys.reserve(order.size());
  for (const Value& v : A.Elements())
    keys.push_back(Key ? Key(v) : v);
  bool duplicate = false;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    int c = Compare(M, keys[x], keys[y], Flags, Fn);
    if (c == 0 && x != y)
      duplicate = true;
    if (Flags & Descending)
      c = -c;
    return c < 0;
  });
  if ((Flags & UniqueSort) && duplicate)
    return Value(0.0);
  if (Flags & ReturnIndexedArray) {
    std::vector<Value> idx;
    for (std::size_t i : order)
      idx.push_back(Value(static_cast<double>(i)));
    return Value(M.NewArray(idx));
  }
  std::vector<Value> sorted;
  for (std::size_t i : order)
    sorted.push_back(A.Elements()[i]);
  A.Elements() = std::move(sorted);
  return Value(static_cast<Object*>(&A));
}

Value Sort(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a)
    return Value();
  Value fn;
  int flags = 0;
  std::size_t i = 0;
  if (i < Args.size() && Args[i].IsObject())
    fn = Args[i++];
  if (i < Args.size())
    flags = Args[i].ToInt32(M);
  return SortWith(M, *a, fn, flags, nullptr);
}

Value SortOn(Machine& M, Object* This, std::span<const Value> Args)
{
  ArrayObject* a = Self(This);
  if (!a || Args.empty())
    return Value();
  const Atom field = M.Atoms().Intern(Args[0].ToString(M));
  const int flags = Args.size() > 1 ? Args[1].ToInt32(M) : 0;
  return SortWith(M, *a, Value(), flags, [&](const Value& V) {
    Object* o = V.ObjectOrNull();
    return o ? o->Get(M, field) : Value();
  });
}

const Member Methods[] = {
    Method("push", Push),       Method("pop", Pop),         Method("shift", Shift),
    Method("unshift", Unshift), Method("join", Join),       Method("toString", ToStringFn),
    Method("reverse", Reverse), Method("slice", Slice),     Method("splice", Splice),
    Method("concat", Concat),   Method("sort", Sort),       Method("sortOn", SortOn),
};

const Member Statics[] = {
    Constant("CASEINSENSITIVE", CaseInsensitive), Constant("DESCENDING", Descending),
    Constant("UNIQUESORT", UniqueSort),           Constant("RETURNINDEXEDARRAY", ReturnIndexedArray),
    Constant("NUMERIC", Numeric),
};

} // namespace

extern const ClassSpec ArrayClass = {.Name = "Array", .Construct = Construct, .Call = CallPlain, .Prototype = Methods, .Statics = Statics, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1

// Array.
#include "swf/avm1/Array.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace quenloft::swf::avm1 {

namespace {

Object* MakeProto(Machine& M, Object* Base)
{
  Object* proto = M.Heap().Make<ArrayObject>(Base);
  InitElements(M, *proto, {});
  return proto;
}

[[noreturn]] void TooLong(Machine& M)
{
  M.Abort("an array longer than the player allows");
}

// The length of This for a method that walks every element.
std::int32_t WalkLength(Machine& M, Object& This)
{
  const std::int32_t n = LengthOf(M, This);
  if (n > 0 && static_cast<std::size_t>(n) > MaxArrayLength)
    TooLong(M);
  return n;
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* a = This ? This : M.NewArray();
  if (Args.size() == 1 && Args[0].IsNumber()) {
    InitElements(M, *a, {});
    const double n = Args[0].AsNumber();
    const std::int32_t length = std::isnan(n) ? 0
                                : n >= 2147483647.0 ? 2147483647
                                : n <= -2147483648.0 ? -2147483647 - 1
                                                     : static_cast<std::int32_t>(n);
    SetLengthOf(M, *a, length);
  } else {
    InitElements(M, *a, Args);
  }
  return Value(a);
}

Value CallPlain(Machine& M, Object*, std::span<const Value> Args)
{
  return Construct(M, nullptr, Args);
}

Value Push(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const std::int32_t old = LengthOf(M, *This);
  if (old > 0 && static_cast<std::size_t>(old) + Args.size() > MaxArrayLength)
    TooLong(M);
  const auto length = static_cast<std::int32_t>(old + static_cast<std::int32_t>(Args.size()));
  for (std::size_t i = 0; i < Args.size(); ++i)
    SetElementOf(M, *This, old + static_cast<std::int32_t>(i), Args[i]);
  SetLengthOf(M, *This, length);
  return Value(static_cast<double>(length));
}

Value Pop(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  const std::int32_t n = LengthOf(M, *This);
  if (n == 0)
    return Value();
  const Value last = ElementOf(M, *This, n - 1);
  DeleteElementOf(M, *This, n - 1);
  if (dynamic_cast<ArrayObject*>(This))
    SetLengthOf(M, *This, n - 1);
  return last;
}

Value Shift(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  const std::int32_t n = WalkLength(M, *This);
  if (n == 0)
    return Value();
  const Value first = ElementOf(M, *This, 0);
  for (std::int32_t i = 1; i < n; ++i) {
    const Value v = ElementOf(M, *This, i);
    DeleteElementOf(M, *This, i - 1);
    SetElementOf(M, *This, i - 1, v);
  }
  if (dynamic_cast<ArrayObject*>(This))
    SetLengthOf(M, *This, n - 1);
  return first;
}

Value Unshift(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const std::int32_t old = WalkLength(M, *This);
  if (static_cast<std::size_t>(std::max(old, 0)) + Args.size() > MaxArrayLength)
    TooLong(M);
  const auto length = static_cast<std::int32_t>(old + static_cast<std::int32_t>(Args.size()));
  for (std::int32_t i = 0; i < old; ++i) {
    const Value v = ElementOf(M, *This, old - i - 1);
    DeleteElementOf(M, *This, length - i - 1);
    SetElementOf(M, *This, length - i - 1, v);
  }
  for (std::size_t i = 0; i < Args.size(); ++i) {
    DeleteElementOf(M, *This, static_cast<std::int32_t>(i));
    SetElementOf(M, *This, static_cast<std::int32_t>(i), Args[i]);
  }
  if (dynamic_cast<ArrayObject*>(This))
    SetLengthOf(M, *This, length);
  return Value(static_cast<double>(length));
}

std::string JoinText(Machine& M, Object& A, const std::string& Sep)
{
  std::string out;
  const std::int32_t n = WalkLength(M, A);
  for (std::int32_t i = 0; i < n; ++i) {
    if (i)
      out += Sep;
    const Value v = ElementOf(M, A, i);
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
  if (!This)
    return Value();
  const std::string sep = Args.empty() || Args[0].IsUndefined() ? "," : Args[0].ToText(M);
  return Value(M.NewString(JoinText(M, *This, sep)));
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value(M.NewString("[object Object]"));
  return Value(M.NewString(JoinText(M, *This, ",")));
}

Value Reverse(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  const std::int32_t n = WalkLength(M, *This);
  for (std::int32_t lo = 0; lo < n / 2; ++lo) {
    const std::int32_t hi = n - lo - 1;
    const Value low = ElementOf(M, *This, lo);
    const Value high = ElementOf(M, *This, hi);
    DeleteElementOf(M, *This, lo);
    DeleteElementOf(M, *This, hi);
    SetElementOf(M, *This, lo, high);
    SetElementOf(M, *This, hi, low);
  }
  return Value(This);
}

// A start or end argument: counted from the end when negative, within
// 0..Length.
std::int32_t Absolute(std::int32_t Index, std::int32_t Length)
{
  return Index < 0 ? std::max(Index + Length, 0) : std::min(Index, Length);
}

Value Slice(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const std::int32_t n = LengthOf(M, *This);
  const std::int32_t from = Absolute(Arg(Args, 0).ToInt32(M), n);
  const std::int32_t to = Args.size() > 1 && !Args[1].IsUndefined() ? Absolute(Args[1].ToInt32(M), n) : n;
  if (to > from && static_cast<std::size_t>(to - from) > MaxArrayLength)
    TooLong(M);
  std::vector<Value> out;
  for (std::int32_t i = from; i < to; ++i)
    out.push_back(ElementOf(M, *This, i));
  return Value(M.NewArray(out));
}

Value Splice(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty() || Args[0].IsUndefined())
    return Value();
  const std::int32_t n = WalkLength(M, *This);
  const std::int32_t start = Absolute(Args[0].ToInt32(M), n);
  std::int32_t count = n - start;
  if (Args.size() > 1) {
    if (Args[1].IsUndefined())
      return Value();
    count = std::min(Args[1].ToInt32(M), n - start);
  }
  if (count < 0)
    return Value();
  std::vector<Value> removed;
  for (std::int32_t i = 0; i < count; ++i)
    removed.push_back(ElementOf(M, *This, start + i));
  const std::span<const Value> items = Args.size() > 2 ? Args.subspan(2) : std::span<const Value>();
  if (items.size() > MaxArrayLength)
    TooLong(M);
  const auto added = static_cast<std::int32_t>(items.size());
  const auto move = [&](std::int32_t I) {
    const std::int32_t to = I - count + added;
    if (HasElement(M, *This, I))
      SetElementOf(M, *This, to, ElementOf(M, *This, I));
    else
      DeleteElementOf(M, *This, to);
  };
  if (added > count) {
    for (std::int32_t i = n - 1; i >= start + count; --i)
      move(i);
  } else {
    for (std::int32_t i = start + count; i < n; ++i)
      move(i);
  }
  for (std::int32_t i = 0; i < added; ++i)
    SetElementOf(M, *This, start + i, items[static_cast<std::size_t>(i)]);
  SetLengthOf(M, *This, n - count + added);
  return Value(M.NewArray(removed));
}

Value Concat(Machine& M, Object* This, std::span<const Value> Args)
{
  std::vector<Value> out;
  const auto add = [&](Object* O) {
    const std::vector<Value> e = ElementsOf(M, *O);
    out.insert(out.end(), e.begin(), e.end());
  };
  if (This)
    add(This);
  for (const Value& v : Args) {
    if (auto* other = dynamic_cast<ArrayObject*>(v.ObjectOrNull()))
      add(other);
    else
      out.push_back(v);
    if (out.size() > MaxArrayLength)
      TooLong(M);
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

// The player's quicksort: the leftmost element of each range is its pivot,
// the two scans meet in the middle, and ranges wait on an explicit stack.
// The order in which it calls a compare function is visible to scripts.
void QuickSort(std::vector<std::size_t>& Order, const std::function<int(std::size_t, std::size_t)>& Cmp)
{
  if (Order.size() < 2)
    return;
  std::vector<std::pair<std::size_t, std::size_t>> ranges{{0, Order.size() - 1}};
  while (!ranges.empty()) {
    const auto [low, high] = ranges.back();
    ranges.pop_back();
    if (low >= high)
      continue;
    const std::size_t pivot = Order[low];
    std::size_t left = low + 1;
    std::size_t right = high;
    for (;;) {
      while (left < right && Cmp(pivot, Order[left]) > 0)
        ++left;
      while (right > low && Cmp(pivot, Order[right]) <= 0)
        --right;
      if (left >= right)
        break;
      std::swap(Order[left], Order[right]);
    }
    std::swap(Order[low], Order[right]);
    ranges.emplace_back(right + 1, high);
    if (right > 0)
      ranges.emplace_back(low, right - 1);
  }
}

Value SortWith(Machine& M, Object& A, Value Fn, int Flags, bool ByField,
               const std::function<Value(const Value&)>& Key)
{
  const std::vector<Value> elements = ElementsOf(M, A);
  std::vector<std::size_t> order(elements.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::vector<Value> keys;
  keys.reserve(order.size());
  for (const Value& v : elements)
    keys.push_back(Key ? Key(v) : v);
  // sort() reverses its result for DESCENDING; sortOn() compares backwards.
  const bool reverseAfter = !ByField && (Flags & Descending);
  const int compareFlags = reverseAfter ? Flags & ~Descending : Flags;
  const auto cmp = [&](std::size_t X, std::size_t Y) {
    const int c = Compare(M, keys[X], keys[Y], compareFlags, Fn);
    return (compareFlags & Descending) ? -c : c;
  };
  QuickSort(order, cmp);
  if (reverseAfter)
    std::reverse(order.begin(), order.end());
  if (Flags & UniqueSort)
    for (std::size_t i = 1; i < order.size(); ++i)
      if (cmp(order[i - 1], order[i]) == 0)
        return Value(0.0);
  if (Flags & ReturnIndexedArray) {
    std::vector<Value> idx;
    for (std::size_t i : order)
      idx.push_back(Value(static_cast<double>(i)));
    return Value(M.NewArray(idx));
  }
  for (std::size_t i = 0; i < order.size(); ++i)
    SetElementOf(M, A, static_cast<std::int32_t>(i), elements[order[i]]);
  return Value(&A);
}

Value Sort(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  Value fn;
  int flags = 0;
  std::size_t i = 0;
  if (i < Args.size() && Args[i].IsObject())
    fn = Args[i++];
  if (i < Args.size())
    flags = Args[i].ToInt32(M);
  return SortWith(M, *This, fn, flags, false, nullptr);
}

Value SortOn(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value();
  const Atom field = M.Atoms().Intern(Args[0].ToString(M));
  const int flags = Args.size() > 1 ? Args[1].ToInt32(M) : 0;
  return SortWith(M, *This, Value(), flags, true, [&](const Value& V) {
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

// String: methods work on characters (code points), not bytes.
#include "swf/avm1/Box.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/Utf8.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<BoxObject>(Base, Value(M.EmptyString()));
}

std::u32string Text(Machine& M, Object* This)
{
  if (!This)
    return {};
  return DecodeUtf8(Value(This).ToText(M));
}

Value Str(Machine& M, std::u32string_view S)
{
  return Value(M.NewString(EncodeUtf8(S)));
}

// Positions are 32-bit integers: 4294967297 is 1.
double Integer(Machine& M, const Value& V)
{
  return V.ToInt32(M);
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (auto* b = dynamic_cast<BoxObject*>(This))
    b->SetPrimitive(Args.empty() ? Value(M.EmptyString()) : Value(Args[0].ToString(M)));
  return Value(This);
}

Value CallPlain(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.empty())
    return Value(M.EmptyString());
  return Value(Args[0].ToString(M));
}

Value ToStringFn(Machine&, Object* This, std::span<const Value>)
{
  const Value* p = This ? This->Primitive() : nullptr;
  return p && p->IsString() ? *p : Value();
}

Value CharAt(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::u32string s = Text(M, This);
  const double i = Integer(M, Arg(Args, 0));
  if (i < 0 || i >= static_cast<double>(s.size()))
    return Value(M.EmptyString());
  return Str(M, std::u32string_view(s).substr(static_cast<std::size_t>(i), 1));
}

Value CharCodeAt(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::u32string s = Text(M, This);
  const double i = Integer(M, Arg(Args, 0));
  if (i < 0)
    return Value(std::nan(""));
  // Past the end SWF 5 gives 0, other versions NaN.
  if (i >= static_cast<double>(s.size()))
    return Value(M.Version() == 5 ? 0.0 : std::nan(""));
  return Value(static_cast<double>(s[static_cast<std::size_t>(i)]));
}

Value IndexOf(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::u32string s = Text(M, This);
  if (Args.empty())
    return Value();
  const std::u32string f = DecodeUtf8(Args[0].ToText(M));
  double from = Args.size() > 1 && !Args[1].IsUndefined() ? Integer(M, Args[1]) : 0;
  if (from < 0)
    from = 0;
  if (from > static_cast<double>(s.size()))
    return Value(-1);
  const std::size_t at = s.find(f, static_cast<std::size_t>(from));
  return Value(at == std::u32string::npos ? -1.0 : static_cast<double>(at));
}

Value LastIndexOf(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::u32string s = Text(M, This);
  if (Args.empty())
    return Value();
  const std::u32string f = DecodeUtf8(Args[0].ToText(M));
  std::size_t from = std::u32string::npos;
  if (Args.size() > 1 && !Args[1].IsUndefined()) {
    const double d = Integer(M, Args[1]);
    if (d < 0)
      return Value(-1);
    from = static_cast<std::size_t>(std::min(d, 1e9));
  }
  const std::size_t at = s.rfind(f, from);
  return Value(at == std::u32string::npos ? -1.0 : static_cast<double>(at));
}

Value Substr(Machine& M, Object* This, std::span<const Value> Args)
{
  // Both ends count from the end when negative: the length too, as an end
  // that far back from (start + length).
  if (Args.empty())
    return Value();
  const std::u32string s = Text(M, This);
  const auto n = static_cast<std::int64_t>(s.size());
  const auto wrap = [n](std::int64_t I) { return I < 0 ? std::max<std::int64_t>(0, n + I) : std::min(I, n); };
  const std::int64_t from = wrap(Args[0].ToInt32(M));
  const std::int64_t len = Args.size() > 1 && !Args[1].IsUndefined() ? Args[1].ToInt32(M) : n;
  const std::int64_t to = wrap(from + len);
  if (from >= to)
    return Value(M.EmptyString());
  return Str(M, std::u32string_view(s).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

Value Substring(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Args.empty())
    return Value();
  const std::u32string s = Text(M, This);
  const double n = static_cast<double>(s.size());
  double from = std::clamp(Integer(M, Arg(Args, 0)), 0.0, n);
  double to = Args.size() > 1 && !Args[1].IsUndefined() ? std::clamp(Integer(M, Args[1]), 0.0, n) : n;
  if (from > to)
    std::swap(from, to);
  return Str(M, std::u32string_view(s).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

Value Slice(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Args.empty())
    return Value();
  const std::u32string s = Text(M, This);
  const double n = static_cast<double>(s.size());
  const auto pos = [&](const Value& V, double Default) {
    if (V.IsUndefined())
      return Default;
    double d = Integer(M, V);
    if (d < 0)
      d = std::max(0.0, n + d);
    return std::min(d, n);
  };
  const double from = pos(Arg(Args, 0), 0);
  const double to = pos(Arg(Args, 1), n);
  if (to <= from)
    return Value(M.EmptyString());
  return Str(M, std::u32string_view(s).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

Value Split(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::u32string s = Text(M, This);
  std::vector<Value> parts;
  std::size_t limit = MaxArrayLength;
  if (Args.size() > 1 && !Args[1].IsUndefined())
    limit = static_cast<std::size_t>(std::clamp(Integer(M, Args[1]), 0.0, static_cast<double>(MaxArrayLength)));
  // SWF 5 splits at commas without a separator and not at all with "".
  const bool swf5 = M.Version() == 5;
  const bool none = Args.empty() || Args[0].IsUndefined();
  const std::u32string sep = none ? (swf5 ? U"," : U"") : DecodeUtf8(Args[0].ToText(M));
  if ((none && !swf5) || (swf5 && sep.empty())) {
    parts.push_back(Str(M, s));
    return Value(M.NewArray(parts));
  }
  if (sep.empty()) {
    for (std::size_t i = 0; i < s.size() && parts.size() < limit; ++i)
      parts.push_back(Str(M, std::u32string_view(s).substr(i, 1)));
    return Value(M.NewArray(parts));
  }
  std::size_t at = 0;
  while (parts.size() < limit) {
    const std::size_t next = s.find(sep, at);
    parts.push_back(Str(M, std::u32string_view(s).substr(at, next == std::u32string::npos ? std::u32string::npos : next - at)));
    if (next == std::u32string::npos)
      break;
    at = next + sep.size();
  }
  return Value(M.NewArray(parts));
}

Value ToUpper(Machine& M, Object* This, std::span<const Value>)
{
  std::u32string s = Text(M, This);
  for (char32_t& c : s)
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
      c -= 32;
  return Str(M, s);
}

Value ToLower(Machine& M, Object* This, std::span<const Value>)
{
  std::u32string s = Text(M, This);
  for (char32_t& c : s)
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
      c += 32;
  return Str(M, s);
}

Value ConcatFn(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string s = This ? Value(This).ToText(M) : std::string();
  for (const Value& v : Args) {
    s += v.ToText(M);
    if (s.size() > MaxStringLength)
      M.Abort("a string longer than the player allows");
  }
  return Value(M.NewString(s));
}

Value FromCharCode(Machine& M, Object*, std::span<const Value> Args)
{
  std::u32string s;
  for (const Value& v : Args) {
    const auto c = static_cast<char32_t>(v.ToUInt32(M) & 0xFFFF);
    if (c == 0)
      break;
    s.push_back(c);
  }
  return Str(M, s);
}

const Member Methods[] = {
    Method("toString", ToStringFn),   Method("valueOf", ToStringFn),       Method("charAt", CharAt),
    Method("charCodeAt", CharCodeAt), Method("indexOf", IndexOf),          Method("lastIndexOf", LastIndexOf),
    Method("substr", Substr),         Method("substring", Substring),      Method("slice", Slice),
    Method("split", Split),           Method("toUpperCase", ToUpper),      Method("toLowerCase", ToLower),
    Method("concat", ConcatFn),
};

const Member Statics[] = {
    Method("fromCharCode", FromCharCode),
};

} // namespace

extern const ClassSpec StringClass = {.Name = "String", .Construct = Construct, .Call = CallPlain, .Prototype = Methods, .Statics = Statics, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1

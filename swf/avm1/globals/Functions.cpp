// The global functions: number parsing, escape, ASSetPropFlags and timers.
#include "swf/avm1/Array.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// Called with no argument at all, isNaN() is true and isFinite() false.
Value IsNaN(Machine& M, Object*, std::span<const Value> Args)
{
  return Value(Args.empty() || std::isnan(Args[0].ToNumber(M)));
}

Value IsFinite(Machine& M, Object*, std::span<const Value> Args)
{
  return Value(!Args.empty() && std::isfinite(Args[0].ToNumber(M)));
}

// NaN and Infinity read as undefined in SWF 4 code.
Value GetNaN(Machine& M, Object*, std::span<const Value>)
{
  return M.Version() < 5 ? Value() : Value(std::nan(""));
}

Value GetInfinity(Machine& M, Object*, std::span<const Value>)
{
  return M.Version() < 5 ? Value() : Value(static_cast<double>(INFINITY));
}

Value ParseFloat(Machine& M, Object*, std::span<const Value> Args)
{
  const std::string s = Arg(Args, 0).ToText(M);
  // The longest prefix that reads as a number.
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
    ++i;
  std::size_t j = i;
  if (j < s.size() && (s[j] == '+' || s[j] == '-'))
    ++j;
  bool digits = false;
  while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
    ++j;
    digits = true;
  }
  if (j < s.size() && s[j] == '.') {
    ++j;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
      ++j;
      digits = true;
    }
  }
  if (!digits)
    return Value(std::nan(""));
  if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
    std::size_t k = j + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-'))
      ++k;
    if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
      while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k])))
        ++k;
      j = k;
    }
  }
  return Value(TextToNumber(s.substr(i, j - i), 5));
}

Value ParseInt(Machine& M, Object*, std::span<const Value> Args)
{
  const std::string s = Arg(Args, 0).ToText(M);
  int radix = Args.size() > 1 && !Args[1].IsUndefined() ? Args[1].ToInt32(M) : 0;
  if (Args.size() > 1 && !Args[1].IsUndefined() && (radix < 2 || radix > 36))
    return Value(std::nan(""));
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    negative = s[i++] == '-';
  if (radix == 0) {
    if (s.size() > i + 1 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      radix = 16;
      i += 2;
    } else if (s.size() > i + 1 && s[i] == '0') {
      // A leading zero reads octal when every digit is one.
      bool octal = true;
      for (std::size_t k = i; k < s.size() && !std::isspace(static_cast<unsigned char>(s[k])); ++k)
        if (s[k] < '0' || s[k] > '7')
          octal = false;
      radix = octal ? 8 : 10;
    } else {
      radix = 10;
    }
  } else if (radix == 16 && s.size() > i + 1 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    i += 2;
  }
  double r = 0;
  bool any = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'z')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
      d = c - 'A' + 10;
    if (d < 0 || d >= radix)
      break;
    r = r * radix + d;
    any = true;
  }
  if (!any)
    return Value(std::nan(""));
  return Value(negative ? -r : r);
}

Value Escape(Machine& M, Object*, std::span<const Value> Args)
{
  const std::string s = Arg(Args, 0).ToText(M);
  static const char* const Hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (std::isalnum(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(Hex[c >> 4]);
      out.push_back(Hex[c & 15]);
    }
  }
  return Value(M.NewString(out));
}

// "%XX" gives a byte and "+" a space; a "%" followed by anything but two
// hex digits drops itself and the character that broke the pair.
Value Unescape(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.empty())
    return Value();
  const std::string s = Args[0].ToText(M);
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  std::string out;
  int remain = 0;
  int byte = 0;
  for (const char c : s) {
    if (c == '%') {
      remain = 2;
      byte = 0;
    } else if (remain > 0) {
      if (hex(c) < 0) {
        remain = 0;
        continue;
      }
      byte = byte * 16 + hex(c);
      if (--remain == 0)
        out.push_back(static_cast<char>(byte));
    } else {
      out.push_back(c == '+' ? ' ' : c);
    }
  }
  return Value(M.NewString(ValidUtf8(out)));
}

Value SetPropFlags(Machine& M, Object*, std::span<const Value> Args)
{
  Object* o = Arg(Args, 0).ObjectOrNull();
  if (!o)
    return Value();
  const int set = Arg(Args, 2).ToInt32(M);
  const int clear = Args.size() > 3 ? Args[3].ToInt32(M) : 0;
  const auto apply = [&](Property& P) {
    P.Flags = static_cast<std::uint16_t>((P.Flags & ~clear) | set);
  };
  const Value names = Arg(Args, 1);
  if (names.IsNull()) {
    for (Property& p : o->OwnProperties())
      apply(p);
    return Value();
  }
  std::vector<std::string> list;
  if (auto* a = dynamic_cast<ArrayObject*>(names.ObjectOrNull())) {
    for (const Value& v : ElementsOf(M, *a))
      list.push_back(v.ToText(M));
  } else {
    const std::string text = names.ToText(M);
    std::size_t at = 0;
    while (at <= text.size()) {
      const std::size_t comma = text.find(',', at);
      list.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
      if (comma == std::string::npos)
        break;
      at = comma + 1;
    }
  }
  for (const std::string& name : list) {
    const Atom key = M.Key(M.Intern(name));
    for (Property& p : o->OwnProperties())
      if (p.Key == key)
        apply(p);
  }
  return Value();
}

Value AddTimer(Machine& M, std::span<const Value> Args, bool Repeat)
{
  Machine::Timer t;
  t.Repeat = Repeat;
  std::size_t next = 0;
  Object* first = Arg(Args, 0).ObjectOrNull();
  if (first && first->TypeName() == "function") {
    t.Function = Args[0];
    next = 1;
  } else if (first && Args.size() > 1) {
    t.Target = first;
    t.Method = M.Atoms().Intern(Args[1].ToString(M));
    next = 2;
  } else {
    return Value();
  }
  if (Args.size() <= next || Args[next].IsUndefined())
    return Value();
  if (M.Timers().size() >= MaxTimers)
    return Value();
  const double ms = Args[next].ToNumber(M);
  t.Interval = std::isfinite(ms) && ms > 0 ? ms : 0;
  t.Args.assign(Args.begin() + static_cast<std::ptrdiff_t>(next + 1), Args.end());
  t.Due = M.Milliseconds() + t.Interval;
  t.Id = M.NextTimerId();
  M.Timers().push_back(std::move(t));
  return Value(static_cast<double>(M.Timers().back().Id));
}

Value SetInterval(Machine& M, Object*, std::span<const Value> Args)
{
  return AddTimer(M, Args, true);
}

Value SetTimeout(Machine& M, Object*, std::span<const Value> Args)
{
  return AddTimer(M, Args, false);
}

Value ClearTimer(Machine& M, Object*, std::span<const Value> Args)
{
  const double id = Arg(Args, 0).ToNumber(M);
  auto& timers = M.Timers();
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Machine::Timer& T) { return T.Id == id; }),
               timers.end());
  return Value();
}

const Member Members[] = {
    Method("isNaN", IsNaN),           Method("isFinite", IsFinite),         Method("parseFloat", ParseFloat),
    Method("parseInt", ParseInt),     Method("escape", Escape),             Method("unescape", Unescape),
    Method("ASSetPropFlags", SetPropFlags), Method("setInterval", SetInterval), Method("clearInterval", ClearTimer),
    Method("setTimeout", SetTimeout, DontEnum | OnlySwf8), Method("clearTimeout", ClearTimer, DontEnum | OnlySwf8),
    Accessor("NaN", GetNaN),          Accessor("Infinity", GetInfinity),
};

} // namespace

double ParseIntOf(Machine& M, Value V)
{
  const std::array<Value, 1> args{V};
  return ParseInt(M, nullptr, args).ToNumber(M);
}

extern const std::span<const Member> GlobalFunctions = Members;

void Machine::RunTimers()
{
  // Each timer due runs once per call; one that falls behind catches up
  // on later frames rather than all at once.
  std::vector<std::uint32_t> due;
  for (const Timer& t : FTimers)
    if (t.Due <= FClockMs)
      due.push_back(t.Id);
  for (std::uint32_t id : due) {
    auto it = std::find_if(FTimers.begin(), FTimers.end(), [&](const Timer& T) { return T.Id == id; });
    if (it == FTimers.end())
      continue;
    Timer t = *it;
    if (t.Repeat)
      it->Due = std::max(it->Due + std::max(t.Interval, 1.0), FClockMs);
    else
      FTimers.erase(it);
    if (t.Target)
      RunFunction(t.Target->Get(*this, t.Method), t.Target, t.Args);
    else
      RunFunction(t.Function, nullptr, t.Args);
  }
}

} // namespace quenloft::swf::avm1

// Date: a time in milliseconds since 1970 UTC, read and written in local
// time or UTC field by field (calendar arithmetic in DateTime.cpp).
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/DateTime.h"
#include "swf/avm1/globals/Globals.h"

#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace quenloft::swf::avm1 {

namespace {

namespace dt = datetime;

class DateObject final : public Object {
public:
  DateObject(Object* Proto, double T) : Object(Proto), Time(T) {}
  bool IsDate() const override { return true; }
  Object* CreateInstance(Machine& M, Object* Proto) override;
  double Time;
};

// Date.prototype: an ordinary object that makes dates for `new`.
class DatePrototype final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override
  {
    return M.Heap().Make<DateObject>(Proto, std::nan(""));
  }
};

Object* DateObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<DateObject>(Proto, std::nan(""));
}

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<DatePrototype>(Base);
}

// The method numbers of the player's native table 103; the UTC twins of
// the field methods are 128 higher.
enum : int {
  GetFullYear, GetYear, GetMonth, GetDate, GetDay, GetHours, GetMinutes, GetSeconds, GetMilliseconds,
  SetFullYear, SetMonth, SetDate, SetHours, SetMinutes, SetSeconds, SetMilliseconds,
  GetTime, SetTime, GetTimezoneOffset, ToString, SetYear,
  Utc = 128,
  ConstructId = 256, UtcFunction = 257,
};

double Now(Machine& M)
{
  return M.StartTime() + M.Milliseconds();
}

// The numeric arguments: up to seven, ending at the first undefined.
std::vector<double> Numbers(Machine& M, std::span<const Value> Args)
{
  std::vector<double> out;
  for (std::size_t i = 0; i < Args.size() && i < 7 && !Args[i].IsUndefined(); ++i)
    out.push_back(Args[i].ToNumber(M));
  return out;
}

// A time from local or UTC fields; years 0 to 99 mean 1900 to 1999.
double FromFields(const std::vector<double>& F)
{
  const auto at = [&](std::size_t I, double Default) { return I < F.size() ? F[I] : Default; };
  double year = F[0];
  if (year < 100)
    year += 1900;
  return dt::MakeDate(dt::MakeDay(year, F[1], at(2, 1)), dt::MakeTime(at(3, 0), at(4, 0), at(5, 0), at(6, 0)));
}

double TimeWithinDay(Machine& M, double T)
{
  double r = std::fmod(T, dt::MsPerDay);
  if (M.Version() > 7 && r < 0)
    r += dt::MsPerDay;
  return r;
}

Value Run(Machine& M, Object* This, std::span<const Value> Args, int Id)
{
  const std::vector<double> args = Numbers(M, Args);
  if (Id == ConstructId) {
    double t;
    if (args.empty()) {
      t = Now(M);
      if (M.Version() > 7)
        t = std::round(t);
    } else if (args.size() == 1) {
      t = args[0];
    } else {
      t = dt::ToUtc(FromFields(args));
    }
    if (auto* d = dynamic_cast<DateObject*>(This)) {
      d->Time = t;
      return Value(This);
    }
    return Value(static_cast<Object*>(M.Heap().Make<DateObject>(M.Prototype("Date"), t)));
  }
  if (Id == UtcFunction)
    return args.size() < 2 ? Value() : Value(FromFields(args));

  auto* date = dynamic_cast<DateObject*>(This);
  if (!date)
    return Value();
  const double t = date->Time;
  switch (Id) {
  case GetTime: return Value(t);
  case SetTime: date->Time = dt::TimeClip(args.empty() ? std::nan("") : args[0]); return Value(date->Time);
  case GetTimezoneOffset: return Value((t - dt::ToLocal(t)) / 60000.0);
  case ToString: return Value(M.NewString(dt::DateText(t)));
  default: break;
  }
  const bool utc = Id >= Utc;
  int id = utc ? Id - Utc : Id;
  if (id <= GetMilliseconds && std::isnan(t))
    return Value(std::nan(""));
  const bool setYear = id == SetYear;
  if (setYear)
    id = SetFullYear;
  const double f = utc ? t : dt::ToLocal(t);
  // The argument for field I of a setter that starts at field `id`: given,
  // NaN for a missing first one, else the field's current value.
  const auto field = [&](int I, double Current) {
    if (I < id)
      return Current;
    const auto k = static_cast<std::size_t>(I - id);
    if (k < args.size())
      return args[k];
    return I == id ? std::nan("") : Current;
  };
  const auto store = [&](double Day, double Time) {
    double n = dt::MakeDate(Day, Time);
    if (!utc)
      n = dt::ToUtc(n);
    date->Time = dt::TimeClip(n);
    return Value(date->Time);
  };
  switch (id) {
  case GetFullYear: return Value(dt::YearFromTime(f));
  case GetYear: return Value(dt::YearFromTime(f) - 1900);
  case GetMonth: return Value(dt::MonthFromTime(f));
  case GetDate: return Value(dt::DateFromTime(f));
  case GetDay: return Value(dt::WeekDay(f));
  case GetHours: return Value(dt::Hours(f));
  case GetMinutes: return Value(dt::Minutes(f));
  case GetSeconds: return Value(dt::Seconds(f));
  case GetMilliseconds: return Value(dt::Milliseconds(f));
  case SetFullYear:
  case SetMonth:
  case SetDate: {
    double year = field(SetFullYear, dt::YearFromTime(f));
    if (setYear && id == SetFullYear && year >= 0 && year <= 99)
      year += 1900;
    double month = field(SetMonth, dt::MonthFromTime(f));
    if (id == SetMonth && std::isnan(month))
      month = 0;
    const double day = field(SetDate, dt::DateFromTime(f));
    return store(dt::MakeDay(year, month, day), TimeWithinDay(M, f));
  }
  case SetHours:
  case SetMinutes:
  case SetSeconds:
  case SetMilliseconds: {
    const double hours = field(SetHours, dt::Hours(f));
    double minutes = field(SetMinutes, dt::Minutes(f));
    double seconds = field(SetSeconds, dt::Seconds(f));
    double ms = field(SetMilliseconds, dt::Milliseconds(f));
    if (id == SetMinutes) {
      // setMinutes takes its three numbers as 32-bit integers.
      const auto whole = [](double D) {
        return D >= -2147483648.0 && D <= 2147483647.0 ? std::trunc(D) : -2147483648.0;
      };
      minutes = whole(minutes);
      seconds = whole(seconds);
      ms = whole(ms);
    }
    return store(dt::Day(f), dt::MakeTime(hours, minutes, seconds, ms));
  }
  default: return Value();
  }
}

template <int Id>
Value Fn(Machine& M, Object* This, std::span<const Value> Args)
{
  return Run(M, This, Args, Id);
}

Value CallPlain(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.NewString(dt::DateText(Now(M))));
}

constexpr std::uint16_t F = DontEnum | DontDelete;
const Member Methods[] = {
    Method("getFullYear", Fn<GetFullYear>, F),       Method("getYear", Fn<GetYear>, F),
    Method("getMonth", Fn<GetMonth>, F),             Method("getDate", Fn<GetDate>, F),
    Method("getDay", Fn<GetDay>, F),                 Method("getHours", Fn<GetHours>, F),
    Method("getMinutes", Fn<GetMinutes>, F),         Method("getSeconds", Fn<GetSeconds>, F),
    Method("getMilliseconds", Fn<GetMilliseconds>, F), Method("setFullYear", Fn<SetFullYear>, F),
    Method("setMonth", Fn<SetMonth>, F),             Method("setDate", Fn<SetDate>, F),
    Method("setHours", Fn<SetHours>, F),             Method("setMinutes", Fn<SetMinutes>, F),
    Method("setSeconds", Fn<SetSeconds>, F),         Method("setMilliseconds", Fn<SetMilliseconds>, F),
    Method("getTime", Fn<GetTime>, F),               Method("setTime", Fn<SetTime>, F),
    Method("getTimezoneOffset", Fn<GetTimezoneOffset>, F), Method("toString", Fn<ToString>, F),
    Method("setYear", Fn<SetYear>, F),
    Method("getUTCFullYear", Fn<Utc + GetFullYear>, F), Method("getUTCYear", Fn<Utc + GetYear>, F),
    Method("getUTCMonth", Fn<Utc + GetMonth>, F),    Method("getUTCDate", Fn<Utc + GetDate>, F),
    Method("getUTCDay", Fn<Utc + GetDay>, F),        Method("getUTCHours", Fn<Utc + GetHours>, F),
    Method("getUTCMinutes", Fn<Utc + GetMinutes>, F), Method("getUTCSeconds", Fn<Utc + GetSeconds>, F),
    Method("getUTCMilliseconds", Fn<Utc + GetMilliseconds>, F),
    Method("setUTCFullYear", Fn<Utc + SetFullYear>, F), Method("setUTCMonth", Fn<Utc + SetMonth>, F),
    Method("setUTCDate", Fn<Utc + SetDate>, F),      Method("setUTCHours", Fn<Utc + SetHours>, F),
    Method("setUTCMinutes", Fn<Utc + SetMinutes>, F), Method("setUTCSeconds", Fn<Utc + SetSeconds>, F),
    Method("setUTCMilliseconds", Fn<Utc + SetMilliseconds>, F),
    Method("valueOf", Fn<GetTime>, F),
};

const Member Statics[] = {
    Method("UTC", Fn<UtcFunction>, DontEnum | DontDelete | ReadOnly),
};

template <int Offset, int... Ids>
constexpr std::array<NativeFn, sizeof...(Ids)> Table(std::integer_sequence<int, Ids...>)
{
  return {Fn<Offset + Ids>...};
}
// Methods 0..20 and their UTC twins 128..143.
constexpr auto LocalTable = Table<0>(std::make_integer_sequence<int, SetYear + 1>());
constexpr auto UtcTable = Table<Utc>(std::make_integer_sequence<int, SetMilliseconds + 1>());

} // namespace

extern const ClassSpec DateClass = {.Name = "Date", .Construct = Fn<ConstructId>, .Call = CallPlain, .Prototype = Methods, .Statics = Statics, .MakePrototype = MakeProto};

NativeFn DateNative(int Index)
{
  if (Index >= 0 && Index < static_cast<int>(LocalTable.size()))
    return LocalTable[static_cast<std::size_t>(Index)];
  if (Index >= Utc && Index < Utc + static_cast<int>(UtcTable.size()))
    return UtcTable[static_cast<std::size_t>(Index - Utc)];
  if (Index == ConstructId)
    return Fn<ConstructId>;
  if (Index == UtcFunction)
    return Fn<UtcFunction>;
  return nullptr;
}

} // namespace quenloft::swf::avm1

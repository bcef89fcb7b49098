// Script dates: calendar arithmetic, the player's text form in a fixed
// zone, and the Date methods called through a machine.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace quenloft::swf::avm1;
namespace dt = quenloft::swf::avm1::datetime;

// Sets TZ for one test and puts the old value back.
class ZoneGuard {
public:
  explicit ZoneGuard(const char* Zone)
  {
    if (const char* old = std::getenv("TZ"))
      FOld = old;
    setenv("TZ", Zone, 1);
    tzset();
  }
  ~ZoneGuard()
  {
    if (FOld.empty())
      unsetenv("TZ");
    else
      setenv("TZ", FOld.c_str(), 1);
    tzset();
  }

private:
  std::string FOld;
};

TEST(AvmDateTime, FieldsOfTimes)
{
  struct Case {
    double T;
    int Year, Month, Date, Day, Hours, Minutes, Seconds, Ms;
  };
  const Case cases[] = {
      {0, 1970, 0, 1, 4, 0, 0, 0, 0},
      {-1, 1969, 11, 31, 3, 23, 59, 59, 999},
      {951782400000, 2000, 1, 29, 2, 0, 0, 0, 0},        // leap day of a year divisible by 400
      {-2203891200000, 1900, 2, 1, 4, 0, 0, 0, 0},       // 1900 has no 29 February
      {1594844387653, 2020, 6, 15, 3, 20, 19, 47, 653},
      {8.64e15, 275760, 8, 13, 6, 0, 0, 0, 0},
      {-8.64e15, -271821, 3, 20, 2, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.T);
    EXPECT_EQ(dt::YearFromTime(c.T), c.Year);
    EXPECT_EQ(dt::MonthFromTime(c.T), c.Month);
    EXPECT_EQ(dt::DateFromTime(c.T), c.Date);
    EXPECT_EQ(dt::WeekDay(c.T), c.Day);
    EXPECT_EQ(dt::Hours(c.T), c.Hours);
    EXPECT_EQ(dt::Minutes(c.T), c.Minutes);
    EXPECT_EQ(dt::Seconds(c.T), c.Seconds);
    EXPECT_EQ(dt::Milliseconds(c.T), c.Ms);
  }
}

TEST(AvmDateTime, MakeDayCarriesMonthsAndDays)
{
  struct Case {
    double Year, Month, Date, Expected;
  };
  const Case cases[] = {
      {1970, 0, 1, 0},
      {1970, 12, 1, 365},     // month 12 is January of the next year
      {1970, -1, 1, -31},     // month -1 is December of the year before
      {2000, 1, 30, 11017},   // 30 February 2000 is 1 March
      {1969, 11, 32, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(dt::MakeDay(c.Year, c.Month, c.Date), c.Expected) << c.Year << "-" << c.Month << "-" << c.Date;
  EXPECT_TRUE(std::isnan(dt::TimeClip(8.64e15 + 1)));
}

TEST(AvmDateTime, TextInFixedAndSummerTimeZones)
{
  struct Case {
    const char* Zone;
    double T;
    const char* Text;
  };
  const Case cases[] = {
      {"UTC0", 0, "Thu Jan 1 00:00:00 GMT+0000 1970"},
      {"<+0545>-5:45", 981152406000, "Sat Feb 3 04:05:06 GMT+0545 2001"},
      {"<-0330>3:30", -1, "Wed Dec 31 20:29:59 GMT-0330 1969"},
      // Central Europe: summer time in July, not in January.
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1594844387653, "Wed Jul 15 22:19:47 GMT+0200 2020"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1579046400000, "Wed Jan 15 01:00:00 GMT+0100 2020"},
      {"UTC0", std::nan(""), "Invalid Date"},
  };
  for (const Case& c : cases) {
    ZoneGuard zone(c.Zone);
    EXPECT_EQ(dt::DateText(c.T), c.Text) << c.Zone;
  }
}

TEST(AvmDateTime, LocalTimeRoundTripsAcrossSummerTime)
{
  ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
  for (double t : {1585443600000.0, 1603587600000.0, 1594844387653.0, 0.0})
    EXPECT_EQ(dt::ToUtc(dt::ToLocal(t)), t) << t;
}

class NullHost final : public Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view) override {}
};

// Runs Date methods on a machine the way a movie's script would.
class AvmDateScript : public ::testing::Test {
protected:
  AvmDateScript() : FZone("<+0545>-5:45"), FMachine(8, FHost) {}
  Value NewDate(std::vector<Value> Args)
  {
    return FMachine.Construct(Value(static_cast<Object*>(FMachine.Constructor("Date"))), Args);
  }
  Value Call(Value Target, const char* Method, std::vector<Value> Args = {})
  {
    return FMachine.CallMethod(Target, Method, Args);
  }
  std::string Text(Value V) { return V.ToText(FMachine); }

  ZoneGuard FZone;
  NullHost FHost;
  Machine FMachine;
};

TEST_F(AvmDateScript, ConstructorForms)
{
  struct Case {
    std::vector<Value> Args;
    const char* Text;
  };
  const std::vector<Case> cases = {
      {{Value(0)}, "Thu Jan 1 05:45:00 GMT+0545 1970"},
      {{Value(1), Value(2)}, "Fri Mar 1 00:00:00 GMT+0545 1901"},            // two-digit year
      {{Value(2000), Value(11), Value(31), Value(23), Value(59), Value(59), Value(999)},
       "Sun Dec 31 23:59:59 GMT+0545 2000"},
      {{Value(-1), Value(-2), Value(-3), Value(-4), Value(-5), Value(-6), Value(-7)},
       "Thu Oct 27 19:54:53 GMT+0545 1898"},
      {{Value(std::nan(""))}, "Invalid Date"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Text(Call(NewDate(c.Args), "toString")), c.Text);
}

TEST_F(AvmDateScript, SettersWithOptionalArguments)
{
  struct Case {
    const char* Method;
    std::vector<Value> Args;
    const char* Text;
  };
  // Each starts from 2001-02-03 04:05:06.007 local time.
  const std::vector<Case> cases = {
      {"setFullYear", {Value(1999)}, "Wed Feb 3 04:05:06 GMT+0545 1999"},
      {"setFullYear", {Value(2004), Value(1), Value(29)}, "Sun Feb 29 04:05:06 GMT+0545 2004"},
      {"setYear", {Value(99)}, "Wed Feb 3 04:05:06 GMT+0545 1999"},
      {"setMonth", {Value(13)}, "Sun Feb 3 04:05:06 GMT+0545 2002"},
      {"setDate", {Value(0)}, "Wed Jan 31 04:05:06 GMT+0545 2001"},
      {"setHours", {Value(25), Value(1)}, "Sun Feb 4 01:01:06 GMT+0545 2001"},
      {"setMinutes", {Value(-1)}, "Sat Feb 3 03:59:06 GMT+0545 2001"},
      {"setSeconds", {Value(60), Value(1000)}, "Sat Feb 3 04:06:01 GMT+0545 2001"},
      {"setUTCHours", {Value(0)}, "Fri Feb 2 06:05:06 GMT+0545 2001"},
      {"setUTCDate", {Value(1)}, "Fri Feb 2 04:05:06 GMT+0545 2001"},
      {"setMonth", {Value()}, "Wed Jan 3 04:05:06 GMT+0545 2001"},
      {"setHours", {}, "Invalid Date"},
  };
  for (const Case& c : cases) {
    const Value date =
        NewDate({Value(2001), Value(1), Value(3), Value(4), Value(5), Value(6), Value(7)});
    Call(date, c.Method, c.Args);
    EXPECT_EQ(Text(Call(date, "toString")), c.Text) << c.Method;
  }
}

TEST_F(AvmDateScript, GettersUtcAndInvalid)
{
  const Value date = NewDate({Value(-500)});
  EXPECT_EQ(Call(date, "getMinutes").AsNumber(), 44);
  EXPECT_EQ(Call(date, "getUTCFullYear").AsNumber(), 1969);
  EXPECT_EQ(Call(date, "getUTCMilliseconds").AsNumber(), 500);
  EXPECT_EQ(Call(date, "getTimezoneOffset").AsNumber(), -345);
  EXPECT_EQ(Call(date, "valueOf").AsNumber(), -500);
  const Value invalid = NewDate({Value(std::nan(""))});
  for (const char* getter : {"getFullYear", "getUTCDay", "getTime", "getTimezoneOffset"})
    EXPECT_TRUE(std::isnan(Call(invalid, getter).AsNumber())) << getter;
  const Value utc = Call(Value(static_cast<Object*>(FMachine.Constructor("Date"))), "UTC",
                         {Value(70), Value(0), Value(2)});
  EXPECT_EQ(utc.AsNumber(), 86400000);
}

} // namespace

#include "swf/avm1/globals/DateTime.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>

namespace quenloft::swf::avm1::datetime {

namespace {

constexpr double MsPerHour = 3600000.0;
constexpr double MsPerMinute = 60000.0;
constexpr double MsPerSecond = 1000.0;

constexpr std::array<std::array<int, 13>, 2> MonthStart = {{
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
}};

// The player turns numbers it cannot hold in 32 bits (NaN included) into
// the smallest 32-bit integer, and truncates the others.
std::int32_t Clamp32(double D)
{
  if (D >= -2147483648.0 && D <= 2147483647.0)
    return static_cast<std::int32_t>(D);
  return std::numeric_limits<std::int32_t>::min();
}

// A remainder in [0, Divisor) for the field getters.
int Wrap(double D, int Divisor)
{
  const std::int32_t r = Clamp32(std::fmod(D, Divisor));
  return r < 0 ? r + Divisor : r;
}

} // namespace

double Day(double T)
{
  return std::floor(T / MsPerDay);
}

double DayFromYear(double Year)
{
  return 365.0 * (Year - 1970.0) + std::floor((Year - 1969.0) / 4.0) - std::floor((Year - 1901.0) / 100.0) +
         std::floor((Year - 1601.0) / 400.0);
}

bool LeapYear(int Year)
{
  return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

int YearFromTime(double T)
{
  const double day = Day(T);
  const auto start = [](std::int64_t Y) { return MsPerDay * DayFromYear(static_cast<double>(Y)); };
  // Bounds from the shortest and longest years, then a binary search.
  std::int64_t low = static_cast<std::int64_t>(Clamp32(std::floor(day / (T < 0 ? 365.0 : 366.0)))) + 1970;
  std::int64_t high = static_cast<std::int64_t>(Clamp32(std::ceil(day / (T < 0 ? 366.0 : 365.0)))) + 1970;
  while (low < high) {
    const std::int64_t mid = Clamp32(std::trunc((static_cast<double>(low) + static_cast<double>(high)) / 2));
    if (start(mid) <= T) {
      if (start(mid + 1) > T)
        return static_cast<int>(mid);
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  return static_cast<int>(static_cast<std::int32_t>(low));
}

namespace {

int DayWithinYear(double T, int Year)
{
  return Clamp32(Day(T) - DayFromYear(Year));
}

} // namespace

int MonthFromTime(double T)
{
  const int year = YearFromTime(T);
  const int day = DayWithinYear(T, year);
  const auto& starts = MonthStart[LeapYear(year) ? 1 : 0];
  for (int m = 0; m < 11; ++m)
    if (day < starts[static_cast<std::size_t>(m) + 1])
      return m;
  return 11;
}

int DateFromTime(double T)
{
  const int year = YearFromTime(T);
  const int month = MonthFromTime(T);
  return DayWithinYear(T, year) - MonthStart[LeapYear(year) ? 1 : 0][static_cast<std::size_t>(month)] + 1;
}

int WeekDay(double T)
{
  return Wrap(Day(T) + 4, 7);
}

int Hours(double T)
{
  return Wrap(std::floor((T + 0.5) / MsPerHour), 24);
}

int Minutes(double T)
{
  return Wrap(std::floor(T / MsPerMinute), 60);
}

int Seconds(double T)
{
  return Wrap(std::floor(T / MsPerSecond), 60);
}

int Milliseconds(double T)
{
  return Wrap(T, 1000);
}

double MakeTime(double Hour, double Min, double Sec, double Ms)
{
  return std::floor(Hour) * MsPerHour + std::floor(Min) * MsPerMinute + std::floor(Sec) * MsPerSecond +
         std::floor(Ms);
}

double MakeDay(double Year, double Month, double Date)
{
  double year = std::floor(Year);
  const double month = std::floor(Month);
  year += std::floor(month / 12.0);
  double m = std::fmod(month, 12.0);
  if (m < 0)
    m += 12.0;
  const std::int32_t y = Clamp32(year);
  const std::int32_t mi = Clamp32(std::floor(m));
  if (mi < 0 || mi > 11)
    return std::nan("");
  const double first = DayFromYear(y) + MonthStart[LeapYear(y) ? 1 : 0][static_cast<std::size_t>(mi)];
  return first + std::floor(Date) - 1.0;
}

double MakeDate(double Day, double Time)
{
  return Day * MsPerDay + Time;
}

double TimeClip(double T)
{
  if (!std::isfinite(T) || std::fabs(T) > 8.64e15)
    return std::nan("");
  return std::floor(T);
}

double LocalOffset(double T)
{
  // Times past what time_t and the zone database describe use the offset
  // of the nearest time they do.
  double seconds = std::isfinite(T) ? std::floor(T / 1000.0) : 0.0;
  seconds = std::fmax(-67768040609740800.0, std::fmin(seconds, 67767976233316800.0));
  if (sizeof(std::time_t) < 8)
    seconds = std::fmax(-2147483648.0, std::fmin(seconds, 2147483647.0));
  const auto t = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (!localtime_r(&t, &parts))
    return 0;
  return static_cast<double>(parts.tm_gmtoff) * 1000.0;
}

double ToLocal(double T)
{
  return T + LocalOffset(T);
}

double ToUtc(double LocalT)
{
  // The offset at the UTC time this local time names; asked twice so a
  // time near a summer-time change finds the offset on its side.
  double offset = LocalOffset(LocalT);
  offset = LocalOffset(LocalT - offset);
  return LocalT - offset;
}

std::string DateText(double T)
{
  if (!std::isfinite(T))
    return "Invalid Date";
  static constexpr const char* Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const double local = ToLocal(T);
  const std::int32_t zone = Clamp32((local - T) / MsPerMinute);
  const std::int32_t zoneAbs = zone < 0 ? -zone : zone;
  char text[96];
  std::snprintf(text, sizeof text, "%s %s %d %02d:%02d:%02d GMT%c%02d%02d %d", Days[WeekDay(local)],
                Months[MonthFromTime(local)], DateFromTime(local), Hours(local), Minutes(local), Seconds(local),
                zone < 0 ? '-' : '+', zoneAbs / 60, zoneAbs % 60, YearFromTime(local));
  return text;
}

} // namespace quenloft::swf::avm1::datetime

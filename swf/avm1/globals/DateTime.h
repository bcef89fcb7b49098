// Calendar arithmetic of script dates: a time is milliseconds since
// 1970-01-01 00:00 UTC held in a double (NaN: an invalid date), split into
// fields and put back together the way ECMA-262 3rd edition does it, with
// the player's text form ("Mon Dec 7 17:24:18 GMT+0000 2026").
//
// The local zone is the C library's (TZ), asked for the offset in force at
// each time, so summer time applies where the zone has it.
//
// Threads: any; pure functions apart from the zone lookup (localtime_r).
#pragma once

#include <string>

namespace quenloft::swf::avm1::datetime {

constexpr double MsPerDay = 86400000.0;

double Day(double T);             // whole days since 1970 (floor)
double DayFromYear(double Year);  // day number of January 1st
int YearFromTime(double T);
bool LeapYear(int Year);
int MonthFromTime(double T);      // 0..11
int DateFromTime(double T);       // 1..31
int WeekDay(double T);            // 0 (Sunday)..6
int Hours(double T);
int Minutes(double T);
int Seconds(double T);
int Milliseconds(double T);

double MakeTime(double Hour, double Min, double Sec, double Ms);
// NaN when any part is not finite.
double MakeDay(double Year, double Month, double Date);
double MakeDate(double Day, double Time);
// NaN past 8.64e15 ms either way, else the time without its fraction.
double TimeClip(double T);

// The local zone's offset from UTC at the UTC time T, in milliseconds
// (east positive).
double LocalOffset(double T);
double ToLocal(double T);
double ToUtc(double LocalT);

// The player's text of a date: the local time with the zone's offset, or
// "Invalid Date".
std::string DateText(double T);

} // namespace quenloft::swf::avm1::datetime

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Date and time of the run-time library: the date-time value (a double
// counting days since 1899-12-30, the fraction being the time of day), the
// time stamp (a day count from 0001-01-01 plus milliseconds of the day) and
// the conversions between them, their parts and text.
//
// The fraction of a date-time value is the time of day also for negative
// values: -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00. Code that combines
// a date and a time therefore subtracts the time for dates before 1899-12-30
// (EncodeDateTime, ComposeDateTime); adding it would move the value the wrong
// way. Text forms are fixed and ISO-like ("yyyy-mm-dd", "hh:nn:ss[.zzz]"),
// whatever the locale, since they are exchanged with drivers and stored.
#pragma once

#include "velora/rtl/SysUtils.h"

#include <cstdint>
#include <string_view>

namespace velora {

/// Days since 1899-12-30 00:00; the fraction is the time of day.
using TDateTime = double;

/// Days (Date) counted so that 0001-01-01 is 1, and milliseconds of the day.
struct TTimeStamp {
    std::int32_t Time = 0;  ///< milliseconds since midnight, 0 .. 86399999
    std::int32_t Date = 0;  ///< 1 = 0001-01-01, DateDelta = 1899-12-30
    friend bool operator==(const TTimeStamp&, const TTimeStamp&) = default;
};

inline constexpr std::int32_t DateDelta = 693594;  ///< TTimeStamp.Date of 1899-12-30
inline constexpr std::int32_t MSecsPerDay = 86400000;
inline constexpr TDateTime MinDateTime = -693593.0;         ///< 0001-01-01 00:00
inline constexpr TDateTime MaxDateTime = 2958465.99999999;  ///< 9999-12-31 23:59:59.999

bool IsLeapYear(int year);
/// Days of the month in that year; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

/// The date-time of a calendar day (year 1..9999). Raises EConvertError
/// "Invalid argument to date encode" for an invalid date.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
/// The calendar day of a date-time; 0/0/0 for values before 0001-01-01.
void DecodeDate(TDateTime dateTime, int& year, int& month, int& day);

/// The fraction of a day (hour < 24, minute and second < 60, ms < 1000).
/// Raises EConvertError "Invalid argument to time encode" otherwise.
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
/// The time of day of a date-time, to the millisecond (rounded as
/// DateTimeToTimeStamp rounds).
void DecodeTime(TDateTime dateTime, int& hour, int& minute, int& second, int& msec);

/// Date and time in one value; exact also before 1899-12-30, where the time
/// is subtracted. Raises EConvertError as EncodeDate/EncodeTime do.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec, TDateTime& result);
void DecodeDateTime(TDateTime dateTime, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec);
/// The whole days of `date` with the time of day of `time` (a value of
/// EncodeTime, 0 <= time < 1), following the sign convention above.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

/// Splits a date-time into days and milliseconds. The value × 86400000 is
/// rounded half away from zero to whole milliseconds; for a negative value
/// the day count goes down and the milliseconds still count from midnight.
/// Raises EConvertError "Invalid date/time value" for NaN, infinities and
/// values whose day count does not fit 32 bits.
TTimeStamp DateTimeToTimeStamp(TDateTime dateTime);
/// The inverse of DateTimeToTimeStamp.
TDateTime TimeStampToDateTime(const TTimeStamp& timeStamp);
/// Date = msecs div 86400000, Time = msecs mod 86400000 (msecs is taken as a
/// whole number of milliseconds, rounded half away from zero; it must not be
/// negative). Raises EConvertError for values out of range.
TTimeStamp MSecsToTimeStamp(double msecs);
/// Date × 86400000 + Time.
double TimeStampToMSecs(const TTimeStamp& timeStamp);

/// Today at 00:00, local time.
TDateTime Date();
/// The local time of day.
TDateTime Time();
/// The local date and time, to the millisecond.
TDateTime Now();

/// "yyyy-mm-dd" ("0000-00-00" before 0001-01-01).
String DateToStr(TDateTime dateTime);
/// "hh:nn:ss", followed by ".zzz" when the milliseconds are not 0.
String TimeToStr(TDateTime dateTime);
/// DateToStr, then " " and TimeToStr unless the time of day is 00:00:00.000.
String DateTimeToStr(TDateTime dateTime);

/// Parses "yyyy-mm-dd" (year of 1 to 4 digits, month and day of 1 or 2;
/// blanks around are ignored). Raises EConvertError "'<text>' is not a valid
/// date".
TDateTime StrToDate(std::string_view text);
bool TryStrToDate(std::string_view text, TDateTime& value);
/// Parses "hh:nn", "hh:nn:ss" or "hh:nn:ss.z" with 1 to 3 fraction digits
/// (".5" is 500 ms). Raises EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(std::string_view text);
bool TryStrToTime(std::string_view text, TDateTime& value);
/// Parses a date, a date and a time separated by one blank or "T", or a time
/// alone (on day 0). Raises EConvertError "'<text>' is not a valid date and
/// time".
TDateTime StrToDateTime(std::string_view text);
bool TryStrToDateTime(std::string_view text, TDateTime& value);

}  // namespace velora

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Calendar arithmetic and the date/time text forms of DateUtils.h.
//
// The date-time value is converted to whole milliseconds once
// (DateTimeToTimeStamp) and every decoding works on that integer form, so
// DecodeDate and DecodeTime always agree on which day a value near midnight
// belongs to. Products with 86400000 are formed in extended precision, as the
// x87 floating point unit forms them, so that values stored in form files
// and records decode to the same millisecond they were written from.
#include "velora/rtl/DateUtils.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace velora {

namespace {

constexpr int D1 = 365;            // days in a common year
constexpr int D4 = D1 * 4 + 1;     // days in 4 years
constexpr int D100 = D4 * 25 - 1;  // days in 100 years
constexpr int D400 = D100 * 4 + 1;

constexpr int MonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

/// x rounded half away from zero.
long double RoundHalfAway(long double x) {
    long double t = std::trunc(x);
    if (std::fabs(x - t) >= 0.5L) t += x < 0 ? -1 : 1;
    return t;
}

bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

/// Reads minDigits..maxDigits decimal digits at s[pos].
bool ReadNumber(std::string_view s, std::size_t& pos, int minDigits, int maxDigits, int& value) {
    int n = 0;
    value = 0;
    while (pos < s.size() && n < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    return n >= minDigits;
}

bool Expect(std::string_view s, std::size_t& pos, char c) {
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

/// "y-m-d" from s[pos]; pos ends after the day.
bool ScanDate(std::string_view s, std::size_t& pos, TDateTime& value) {
    int y = 0, m = 0, d = 0;
    return ReadNumber(s, pos, 1, 4, y) && Expect(s, pos, '-') && ReadNumber(s, pos, 1, 2, m) && Expect(s, pos, '-') &&
           ReadNumber(s, pos, 1, 2, d) && TryEncodeDate(y, m, d, value);
}

/// "h:n[:s[.z]]" from s[pos]; pos ends after the last part.
bool ScanTime(std::string_view s, std::size_t& pos, TDateTime& value) {
    int h = 0, n = 0, sec = 0, ms = 0;
    if (!ReadNumber(s, pos, 1, 2, h) || !Expect(s, pos, ':') || !ReadNumber(s, pos, 2, 2, n)) return false;
    if (Expect(s, pos, ':')) {
        if (!ReadNumber(s, pos, 2, 2, sec)) return false;
        if (Expect(s, pos, '.')) {
            std::size_t start = pos;
            if (!ReadNumber(s, pos, 1, 3, ms)) return false;
            for (std::size_t k = pos - start; k < 3; ++k) ms *= 10;
        }
    }
    return TryEncodeTime(h, n, sec, ms, value);
}

String TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return MonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    const int* table = MonthDays[IsLeapYear(year) ? 1 : 0];
    for (int i = 0; i < month - 1; ++i) day += table[i];
    int i = year - 1;
    result = static_cast<double>(i * 365 + i / 4 - i / 100 + i / 400 + day - DateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r = 0;
    if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

void DecodeDate(TDateTime dateTime, int& year, int& month, int& day) {
    int t = DateTimeToTimeStamp(dateTime).Date;
    if (t <= 0) {
        year = month = day = 0;
        return;
    }
    --t;
    int y = 1;
    while (t >= D400) {
        t -= D400;
        y += 400;
    }
    int i = t / D100, d = t % D100;
    if (i == 4) {  // the last day of a 400-year cycle
        --i;
        d += D100;
    }
    y += i * 100;
    i = d / D4;
    d %= D4;
    y += i * 4;
    i = d / D1;
    d %= D1;
    if (i == 4) {  // the last day of a leap cycle
        --i;
        d += D1;
    }
    y += i;
    const int* table = MonthDays[IsLeapYear(y) ? 1 : 0];
    int m = 0;
    while (d >= table[m]) {
        d -= table[m];
        ++m;
    }
    year = y;
    month = m + 1;
    day = d + 1;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    result = static_cast<double>(hour * 3600000 + minute * 60000 + second * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    TDateTime r = 0;
    if (!TryEncodeTime(hour, minute, second, msec, r)) throw EConvertError("Invalid argument to time encode");
    return r;
}

void DecodeTime(TDateTime dateTime, int& hour, int& minute, int& second, int& msec) {
    int ms = DateTimeToTimeStamp(dateTime).Time;
    hour = ms / 3600000;
    minute = ms / 60000 % 60;
    second = ms / 1000 % 60;
    msec = ms % 1000;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
    double days = std::trunc(date);
    return days >= 0 ? days + time : days - time;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec, TDateTime& result) {
    TDateTime d = 0, t = 0;
    if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, minute, second, msec, t)) return false;
    result = ComposeDateTime(d, t);
    return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    TDateTime d = EncodeDate(year, month, day);
    return ComposeDateTime(d, EncodeTime(hour, minute, second, msec));
}

void DecodeDateTime(TDateTime dateTime, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec) {
    DecodeDate(dateTime, year, month, day);
    DecodeTime(dateTime, hour, minute, second, msec);
}

TTimeStamp DateTimeToTimeStamp(TDateTime dateTime) {
    long double ms = RoundHalfAway(static_cast<long double>(dateTime) * MSecsPerDay);
    // Days must fit the 32-bit day count once DateDelta is added.
    constexpr long double limit = static_cast<long double>(INT32_MAX - DateDelta) * MSecsPerDay;
    if (!std::isfinite(ms) || std::fabs(ms) >= limit) throw EConvertError("Invalid date/time value");
    auto total = static_cast<std::int64_t>(ms);
    std::int64_t magnitude = total < 0 ? -total : total;
    TTimeStamp r;
    // The fraction is the time of day also for negative values.
    r.Time = static_cast<std::int32_t>(magnitude % MSecsPerDay);
    std::int64_t days = magnitude / MSecsPerDay;
    r.Date = static_cast<std::int32_t>((total < 0 ? -days : days) + DateDelta);
    return r;
}

TDateTime TimeStampToDateTime(const TTimeStamp& timeStamp) {
    std::int64_t t = static_cast<std::int64_t>(timeStamp.Date - static_cast<std::int64_t>(DateDelta)) * MSecsPerDay;
    t = t < 0 ? t - timeStamp.Time : t + timeStamp.Time;
    return static_cast<double>(static_cast<long double>(t) / MSecsPerDay);
}

TTimeStamp MSecsToTimeStamp(double msecs) {
    constexpr std::int64_t limit = std::int64_t{INT32_MAX} * MSecsPerDay;
    // Whole milliseconds, as every record holds them, are the count as they
    // are; only a count with a fraction is rounded (in long double).
    auto total = msecs >= 0 && msecs < 0x1p62 ? static_cast<std::int64_t>(msecs) : std::int64_t{-1};
    if (total < 0 || static_cast<double>(total) != msecs) {
        const long double ms = RoundHalfAway(msecs);
        if (!std::isfinite(ms) || ms < 0 || ms >= static_cast<long double>(limit))
            throw EConvertError("Invalid date/time value");
        total = static_cast<std::int64_t>(ms);
    }
    if (total >= limit) throw EConvertError("Invalid date/time value");
    TTimeStamp r;
    r.Date = static_cast<std::int32_t>(total / MSecsPerDay);
    r.Time = static_cast<std::int32_t>(total % MSecsPerDay);
    return r;
}

double TimeStampToMSecs(const TTimeStamp& timeStamp) {
    return static_cast<double>(static_cast<std::int64_t>(timeStamp.Date) * MSecsPerDay + timeStamp.Time);
}

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    int sec = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second stays in its minute
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, sec,
                          static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
    TDateTime now = Now();
    return now - std::trunc(now);
}

String DateToStr(TDateTime dateTime) {
    int y = 0, m = 0, d = 0;
    DecodeDate(dateTime, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

String TimeToStr(TDateTime dateTime) {
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(dateTime, h, n, s, ms);
    String r = TwoDigits(h) + ":" + TwoDigits(n) + ":" + TwoDigits(s);
    if (ms != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%03d", ms);
        r += buf;
    }
    return r;
}

String DateTimeToStr(TDateTime dateTime) {
    String r = DateToStr(dateTime);
    if (DateTimeToTimeStamp(dateTime).Time != 0) {
        r += ' ';
        r += TimeToStr(dateTime);
    }
    return r;
}

bool TryStrToDate(std::string_view text, TDateTime& value) {
    std::string_view s = TrimView(text);
    std::size_t pos = 0;
    TDateTime d = 0;
    if (!ScanDate(s, pos, d) || pos != s.size()) return false;
    value = d;
    return true;
}

TDateTime StrToDate(std::string_view text) {
    TDateTime v = 0;
    if (!TryStrToDate(text, v)) throw EConvertError("'" + String(text) + "' is not a valid date");
    return v;
}

bool TryStrToTime(std::string_view text, TDateTime& value) {
    std::string_view s = TrimView(text);
    std::size_t pos = 0;
    TDateTime t = 0;
    if (!ScanTime(s, pos, t) || pos != s.size()) return false;
    value = t;
    return true;
}

TDateTime StrToTime(std::string_view text) {
    TDateTime v = 0;
    if (!TryStrToTime(text, v)) throw EConvertError("'" + String(text) + "' is not a valid time");
    return v;
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) {
    std::string_view s = TrimView(text);
    std::size_t pos = 0;
    TDateTime d = 0, t = 0;
    if (ScanDate(s, pos, d)) {
        if (pos == s.size()) {
            value = d;
            return true;
        }
        if (s[pos] != ' ' && s[pos] != 'T') return false;
        ++pos;
        if (!ScanTime(s, pos, t) || pos != s.size()) return false;
        value = ComposeDateTime(d, t);
        return true;
    }
    return TryStrToTime(s, value);
}

TDateTime StrToDateTime(std::string_view text) {
    TDateTime v = 0;
    if (!TryStrToDateTime(text, v)) throw EConvertError("'" + String(text) + "' is not a valid date and time");
    return v;
}

}  // namespace velora

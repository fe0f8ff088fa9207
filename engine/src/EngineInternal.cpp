// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Helpers shared by the engine's sources (see EngineInternal.h).
#include "EngineInternal.h"

#include "velora/rtl/DateUtils.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace velora::detail {

void RaiseDiagnostics(const std::vector<odbc::DiagRecord>& records) {
    String msg;
    for (const auto& r : records) msg += "ODBC32 Error " + r.State + " :" + r.Text + "\r\n";
    if (records.empty()) {
        msg = "ODBC32 Error 00000 :failure without diagnostics\r\n";
        throw EODBCError(msg, "00000", 0);
    }
    throw EODBCError(msg, records);
}

SQLRETURN CheckStmt(SQLHSTMT stmt, SQLRETURN rc) {
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, stmt, rc);
    return rc;
}

bool AllRecordsAre(const std::vector<odbc::DiagRecord>& records, const char* state) {
    if (records.empty()) return false;
    for (const auto& r : records)
        if (r.State != state) return false;
    return true;
}

bool IsPsqlODBC(SQLHDBC dbc) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    return ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &length)) &&
           std::string_view(name).starts_with("psqlodbc");
}

namespace {

/// A day of the calendar from 0001-01-01 to 9999-12-31. Every month has 28
/// days; only a later day asks the calendar.
bool ValidDay(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           (day <= 28 || day <= DaysInMonth(year, month));
}

}  // namespace

bool EncodeMSecs(int year, int month, int day, int hour, int minute, int second, int msec, double& msecs) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    if (!ValidDay(year, month, day)) return false;
    // The day count (1 = 0001-01-01) in whole integers: every row's time
    // stamp passes here, so no floating-point round trip through TDateTime.
    // Days from 0001-03-01 in 400-year eras of 146,097 days, years starting
    // in March so the leap day ends a year.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 305;
    const std::int64_t time = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
    msecs = static_cast<double>(days * MSecsPerDay + time);
    return true;
}

bool DecodeDayCount(std::int32_t days, int& year, int& month, int& day) {
    if (days < 1 || days > 3652059) return false;  // 0001-01-01 .. 9999-12-31
    TTimeStamp ts;
    ts.Date = days;
    DecodeDate(TimeStampToDateTime(ts), year, month, day);
    return year >= 1;
}

bool DecodeMSecs(double msecs, int& year, int& month, int& day, int& hour, int& minute, int& second, int& msec) {
    if (!std::isfinite(msecs)) return false;
    double whole = std::round(msecs);
    if (whole < MSecsPerDay || whole >= 3652060.0 * MSecsPerDay) return false;
    TTimeStamp ts = MSecsToTimeStamp(whole);
    if (!DecodeDayCount(ts.Date, year, month, day)) return false;
    std::int32_t t = ts.Time;
    msec = t % 1000;
    t /= 1000;
    second = t % 60;
    t /= 60;
    minute = t % 60;
    hour = t / 60;
    return true;
}

namespace {

/// Reads up to `maxDigits` decimal digits at `i`; false when there is none.
bool ReadNumber(std::string_view text, std::size_t& i, std::size_t maxDigits, int& out) {
    out = 0;
    std::size_t digits = 0;
    while (i < text.size() && digits < maxDigits && text[i] >= '0' && text[i] <= '9') {
        out = out * 10 + (text[i++] - '0');
        ++digits;
    }
    return digits > 0;
}

/// Reads ".digits" at `i` (if there) as nanoseconds; false when a digit past
/// the ninth is not zero, or when the point has no digit.
bool ReadFraction(std::string_view text, std::size_t& i, std::uint32_t& nanos) {
    nanos = 0;
    if (i >= text.size() || text[i] != '.') return true;
    ++i;
    std::uint32_t scale = 100000000;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        if (scale == 0) {
            if (text[i] != '0') return false;
            continue;
        }
        nanos += static_cast<std::uint32_t>(text[i] - '0') * scale;
        scale /= 10;
    }
    return digits > 0;
}

}  // namespace

bool ParseTimeParts(std::string_view text, TimeParts& t) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    t = TimeParts{};
    if (i < text.size() && text[i] == '-') {
        t.Negative = true;
        ++i;
    }
    if (!ReadNumber(text, i, 4, t.Hour) || i >= text.size() || text[i++] != ':') return false;
    if (!ReadNumber(text, i, 2, t.Minute) || i >= text.size() || text[i++] != ':') return false;
    if (!ReadNumber(text, i, 2, t.Second) || !ReadFraction(text, i, t.Nanos)) return false;
    if (i < text.size() && text[i] >= '0' && text[i] <= '9') return false;
    return t.Minute <= 59 && t.Second <= 59;
}

namespace {

/// Writes `value` as `width` decimal digits, zero-padded, at `out`; the
/// value must fit (the callers check). A row of a scan formats its time
/// stamps here, so no format string is read for each of them.
char* PutDigits(char* out, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

/// The fraction's digits: three, six or nine, the fewest that hold it.
char* PutFraction(char* out, std::uint32_t nanos) {
    if (nanos == 0 || nanos > 999999999u) return out;
    *out++ = '.';
    if (nanos % 1000000u == 0) return PutDigits(out, nanos / 1000000u, 3);
    if (nanos % 1000u == 0) return PutDigits(out, nanos / 1000u, 6);
    return PutDigits(out, nanos, 9);
}

}  // namespace

String FormatFraction(std::uint32_t nanos) {
    char buf[16];
    if (nanos == 0) return String();
    if (nanos > 999999999u) {
        // Not a fraction a driver delivers; printed whole rather than cut.
        std::snprintf(buf, sizeof buf, ".%09u", nanos);
        return buf;
    }
    return String(buf, PutFraction(buf, nanos));
}

String FormatTimeParts(const TimeParts& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%02d:%02d:%02d", t.Negative ? "-" : "", t.Hour, t.Minute, t.Second);
    return buf + FormatFraction(t.Nanos);
}

namespace {

/// The parts as a time stamp, when they name a valid moment.
bool TimeStampOf(int y, int mo, int d, int h, int mi, int s, std::uint32_t nanos, SQL_TIMESTAMP_STRUCT& ts) {
    if (!ValidDay(y, mo, d) || h > 23 || mi > 59 || s > 59) return false;
    ts = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y),
                              static_cast<SQLUSMALLINT>(mo),
                              static_cast<SQLUSMALLINT>(d),
                              static_cast<SQLUSMALLINT>(h),
                              static_cast<SQLUSMALLINT>(mi),
                              static_cast<SQLUSMALLINT>(s),
                              nanos};
    return true;
}

/// The two digits at `p` as a number, or -1 when either is not a digit.
int TwoDigits(const char* p) {
    const unsigned a = static_cast<unsigned char>(p[0]) - '0', b = static_cast<unsigned char>(p[1]) - '0';
    return a <= 9 && b <= 9 ? static_cast<int>(a * 10 + b) : -1;
}

/// "YYYY-MM-DD HH:MM:SS" with up to nine digits of fraction, the form every
/// data source writes, read at its fixed places: every time stamp a scan of
/// SQLite reads is text in this form, and the general reader below costs
/// several times as much. False when the text is not exactly this form or
/// names no valid moment; the general reader then decides.
bool ParseUsualTimeStamp(std::string_view text, SQL_TIMESTAMP_STRUCT& ts) {
    if (text.size() < 19 || text.size() == 20 || text.size() > 29) return false;
    const char* p = text.data();
    const int yh = TwoDigits(p), yl = TwoDigits(p + 2), mo = TwoDigits(p + 5), d = TwoDigits(p + 8),
              h = TwoDigits(p + 11), mi = TwoDigits(p + 14), s = TwoDigits(p + 17);
    if ((yh | yl | mo | d | h | mi | s) < 0 || p[4] != '-' || p[7] != '-' || (p[10] != ' ' && p[10] != 'T') ||
        p[13] != ':' || p[16] != ':')
        return false;
    std::uint32_t nanos = 0;
    if (text.size() > 19) {
        if (p[19] != '.') return false;
        std::uint32_t scale = 100000000;
        for (std::size_t i = 20; i < text.size(); ++i, scale /= 10) {
            const unsigned digit = static_cast<unsigned char>(p[i]) - '0';
            if (digit > 9) return false;
            nanos += digit * scale;
        }
    }
    return TimeStampOf(yh * 100 + yl, mo, d, h, mi, s, nanos, ts);
}

}  // namespace

bool ParseTimeStampText(std::string_view text, bool dateOnly, SQL_TIMESTAMP_STRUCT& ts) {
    if (!dateOnly && ParseUsualTimeStamp(text, ts)) return true;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    std::uint32_t nanos = 0;
    if (!ReadNumber(text, i, 4, y) || i >= text.size() || text[i++] != '-') return false;
    if (!ReadNumber(text, i, 2, mo) || i >= text.size() || text[i++] != '-') return false;
    if (!ReadNumber(text, i, 2, d)) return false;
    if (!dateOnly && i < text.size() && (text[i] == ' ' || text[i] == 'T')) {
        ++i;
        if (!ReadNumber(text, i, 2, h) || i >= text.size() || text[i++] != ':') return false;
        if (!ReadNumber(text, i, 2, mi)) return false;
        if (i < text.size() && text[i] == ':') {
            ++i;
            if (!ReadNumber(text, i, 2, s) || !ReadFraction(text, i, nanos)) return false;
        }
    }
    while (i < text.size() && text[i] == ' ') ++i;
    return i == text.size() && TimeStampOf(y, mo, d, h, mi, s, nanos, ts);
}

String FormatTemporal(const SQL_TIMESTAMP_STRUCT& ts, std::uint16_t kind, bool midnightAsDate) {
    // The common case, every part within its width, written digit by digit.
    if (ts.year >= 0 && ts.year <= 9999 && ts.month <= 99 && ts.day <= 99 && ts.hour <= 99 && ts.minute <= 99 &&
        ts.second <= 99 && ts.fraction <= 999999999u) {
        char out[40];
        char* p = out;
        if (kind != fcTime) {
            p = PutDigits(p, static_cast<unsigned>(ts.year), 4);
            *p++ = '-';
            p = PutDigits(p, ts.month, 2);
            *p++ = '-';
            p = PutDigits(p, ts.day, 2);
            if (kind == fcDate) return String(out, p);
            if (midnightAsDate && ts.hour == 0 && ts.minute == 0 && ts.second == 0 && ts.fraction == 0)
                return String(out, p);
            *p++ = ' ';
        }
        p = PutDigits(p, ts.hour, 2);
        *p++ = ':';
        p = PutDigits(p, ts.minute, 2);
        *p++ = ':';
        p = PutDigits(p, ts.second, 2);
        p = PutFraction(p, ts.fraction);
        return String(out, p);
    }
    char buf[48];
    String text;
    if (kind != fcTime) {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ts.year), static_cast<unsigned>(ts.month),
                      static_cast<unsigned>(ts.day));
        text = buf;
        if (kind == fcDate) return text;
        if (midnightAsDate && ts.hour == 0 && ts.minute == 0 && ts.second == 0 && ts.fraction == 0) return text;
        text += ' ';
    }
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", static_cast<unsigned>(ts.hour), static_cast<unsigned>(ts.minute),
                  static_cast<unsigned>(ts.second));
    return text + buf + FormatFraction(ts.fraction);
}

String FormatTimeStampText(const SQL_TIMESTAMP_STRUCT& ts) { return FormatTemporal(ts, fcTimeStamp, false); }

String FormatTimeStamp(const SQL_TIMESTAMP_STRUCT& ts) { return FormatTemporal(ts, fcTimeStamp, true); }

}  // namespace velora::detail

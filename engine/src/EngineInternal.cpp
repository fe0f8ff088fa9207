// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Helpers shared by the engine's sources (see EngineInternal.h).
#include "EngineInternal.h"

#include "velora/rtl/DateUtils.h"

#include <cmath>
#include <cstdio>

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

bool EncodeMSecs(int year, int month, int day, int hour, int minute, int second, int msec, double& msecs) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    if (day > kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0)) return false;
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

bool ParseTimeText(const char* text, std::size_t length, int& hour, int& minute, int& second, int& msec) {
    std::size_t i = 0;
    while (i < length && text[i] == ' ') ++i;
    auto number = [&](int maxDigits, int& out) {
        int n = 0, digits = 0;
        while (i < length && digits < maxDigits && text[i] >= '0' && text[i] <= '9') {
            n = n * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        out = n;
        return digits > 0;
    };
    if (!number(2, hour) || i >= length || text[i] != ':') return false;
    ++i;
    if (!number(2, minute) || i >= length || text[i] != ':') return false;
    ++i;
    if (!number(2, second)) return false;
    msec = 0;
    if (i < length && text[i] == '.') {
        ++i;
        int scale = 100;
        bool any = false;
        while (i < length && text[i] >= '0' && text[i] <= '9') {
            msec += (text[i] - '0') * scale;
            scale /= 10;
            any = true;
            ++i;
        }
        if (!any) return false;
    }
    if (i < length && text[i] >= '0' && text[i] <= '9') return false;
    return hour <= 23 && minute <= 59 && second <= 59;
}

String FormatTimeText(int hour, int minute, int second, int msec) {
    char buf[32];
    if (msec != 0)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", hour, minute, second, msec);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}

}  // namespace velora::detail

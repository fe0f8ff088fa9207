// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Date and time: the calendar against the standard library's proleptic
// Gregorian calendar, the sign convention of dates before 1899-12-30, time
// stamps, millisecond rounding, the range ends and the text forms.
#include "velora/rtl/DateUtils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <random>

using namespace velora;
namespace chr = std::chrono;

namespace {

/// Days from 1899-12-30 by the standard library's calendar.
long long OracleDays(int y, int m, int d) {
    auto days = chr::sys_days(chr::year(y) / chr::month(static_cast<unsigned>(m)) / chr::day(static_cast<unsigned>(d)));
    return days.time_since_epoch().count() + 25569;  // 1970-01-01 is day 25569
}

struct TParts {
    int Year, Month, Day, Hour, Minute, Second, MSec;
    friend bool operator==(const TParts&, const TParts&) = default;
};

std::ostream& operator<<(std::ostream& os, const TParts& p) {
    return os << p.Year << '-' << p.Month << '-' << p.Day << ' ' << p.Hour << ':' << p.Minute << ':' << p.Second << '.'
              << p.MSec;
}

TParts Decode(TDateTime v) {
    TParts p{};
    DecodeDateTime(v, p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.MSec);
    return p;
}

}  // namespace

// ---- calendar -----------------------------------------------------------------

TEST(DateUtilsCalendar, FixedPointsOfTheDayCount) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(2000, 1, 1)).Date, 730120);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
    EXPECT_EQ(DateTimeToTimeStamp(0).Date, DateDelta);
}

TEST(DateUtilsCalendar, EveryDayOfYears1To9999MatchesTheStandardCalendar) {
    double expected = MinDateTime;
    for (int y = 1; y <= 9999; ++y) {
        ASSERT_EQ(IsLeapYear(y), chr::year(y).is_leap()) << y;
        for (int m = 1; m <= 12; ++m) {
            int days = DaysInMonth(y, m);
            ASSERT_EQ(days, static_cast<int>(static_cast<unsigned>(
                                (chr::year(y) / chr::month(static_cast<unsigned>(m)) / chr::last).day())));
            ASSERT_EQ(EncodeDate(y, m, 1), static_cast<double>(OracleDays(y, m, 1))) << y << '-' << m;
            for (int d = 1; d <= days; ++d) {
                TDateTime v = EncodeDate(y, m, d);
                ASSERT_EQ(v, expected) << y << '-' << m << '-' << d;
                int yy = 0, mm = 0, dd = 0;
                DecodeDate(v, yy, mm, dd);
                ASSERT_TRUE(yy == y && mm == m && dd == d) << y << '-' << m << '-' << d;
                expected += 1;
            }
        }
    }
}

TEST(DateUtilsCalendar, LeapYearsAndMonthLengths) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(1600));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
    EXPECT_EQ(DaysInMonth(2023, 0), 0);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
    EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);
    EXPECT_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1.0);
}

TEST(DateUtilsCalendar, InvalidDatesRaiseAndTryLeavesTheResult) {
    for (auto [y, m, d] : {std::tuple{2023, 2, 29},
                           {0, 1, 1},
                           {10000, 1, 1},
                           {2020, 0, 1},
                           {2020, 13, 1},
                           {2020, 4, 31},
                           {2020, 1, 0},
                           {-5, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << y << '-' << m << '-' << d);
        TDateTime r = 123;
        EXPECT_FALSE(TryEncodeDate(y, m, d, r));
        EXPECT_EQ(r, 123);
        try {
            EncodeDate(y, m, d);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to date encode");
        }
    }
}

TEST(DateUtilsCalendar, DaysBeforeYearOneDecodeAsZero) {
    int y = 1, m = 1, d = 1;
    DecodeDate(MinDateTime - 1, y, m, d);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(d, 0);
}

// ---- time of day ------------------------------------------------------------------

TEST(DateUtilsTime, EncodeTimeIsTheFractionOfTheDay) {
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeTime(12, 0, 0, 0)).Time, 43200000);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeTime(23, 59, 59, 999)).Time, MSecsPerDay - 1);
    EXPECT_EQ(EncodeTime(0, 0, 0, 1), 1.0 / MSecsPerDay);
}

TEST(DateUtilsTime, InvalidTimesRaise) {
    for (auto [h, n, s, ms] :
         {std::tuple{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}, {0, 0, 0, -1}}) {
        SCOPED_TRACE(testing::Message() << h << ':' << n << ':' << s << '.' << ms);
        TDateTime r = 7;
        EXPECT_FALSE(TryEncodeTime(h, n, s, ms, r));
        EXPECT_EQ(r, 7);
        try {
            EncodeTime(h, n, s, ms);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to time encode");
        }
    }
    TDateTime r = 7;
    EXPECT_FALSE(TryEncodeDateTime(2000, 1, 1, 24, 0, 0, 0, r));
    EXPECT_FALSE(TryEncodeDateTime(2000, 2, 30, 0, 0, 0, 0, r));
    EXPECT_EQ(r, 7);
}

TEST(DateUtilsTime, EveryMillisecondOfTheDayRoundTripsOnDaysAroundZeroAndTheEnds) {
    const TDateTime days[] = {EncodeDate(1, 1, 1),      EncodeDate(1800, 1, 1),   EncodeDate(1899, 12, 29),
                              EncodeDate(1899, 12, 30), EncodeDate(1899, 12, 31), EncodeDate(2000, 1, 1),
                              EncodeDate(9999, 12, 31)};
    for (TDateTime day : days) {
        int y = 0, m = 0, d = 0;
        DecodeDate(day, y, m, d);
        for (int ms = 0; ms < MSecsPerDay; ms += (ms < 2000 || ms > MSecsPerDay - 2000) ? 1 : 997) {
            int h = ms / 3600000, n = ms / 60000 % 60, s = ms / 1000 % 60, z = ms % 1000;
            TDateTime v = EncodeDateTime(y, m, d, h, n, s, z);
            ASSERT_EQ(Decode(v), (TParts{y, m, d, h, n, s, z}));
            TTimeStamp ts = DateTimeToTimeStamp(v);
            ASSERT_EQ(ts.Time, ms);
            ASSERT_EQ(ts.Date, static_cast<int>(day) + DateDelta);
            // Both roads may differ in the last bit, never in the millisecond.
            ASSERT_EQ(DateTimeToTimeStamp(TimeStampToDateTime(ts)), ts);
        }
    }
}

// ---- negative date-time values ------------------------------------------------------

TEST(DateUtilsNegative, TheFractionIsTheTimeOfDayAlsoBefore1899) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
    TTimeStamp ts = DateTimeToTimeStamp(-1.25);
    EXPECT_EQ(ts.Date, DateDelta - 1);
    EXPECT_EQ(ts.Time, 6 * 3600000);
    EXPECT_EQ(TimeStampToDateTime(ts), -1.25);
    EXPECT_EQ(Decode(-1.25), (TParts{1899, 12, 29, 6, 0, 0, 0}));
    // Within day 0 a negative fraction still reads as a time of day.
    EXPECT_EQ(Decode(-0.25), (TParts{1899, 12, 30, 6, 0, 0, 0}));
}

TEST(DateUtilsNegative, EncodeDateTimeSubtractsTheTimeBefore1899) {
    TDateTime v = EncodeDateTime(1800, 1, 1, 10, 0, 0, 0);
    EXPECT_EQ(v, EncodeDate(1800, 1, 1) - EncodeTime(10, 0, 0, 0));
    EXPECT_EQ(Decode(v), (TParts{1800, 1, 1, 10, 0, 0, 0}));
    EXPECT_EQ(DateTimeToStr(v), "1800-01-01 10:00:00");
    EXPECT_EQ(StrToDateTime("1800-01-01 10:00:00"), v);
    // Adding the time, the naive way, lands on another day and hour.
    EXPECT_EQ(Decode(EncodeDate(1800, 1, 1) + EncodeTime(10, 0, 0, 0)), (TParts{1800, 1, 2, 14, 0, 0, 0}));
    EXPECT_EQ(ComposeDateTime(EncodeDate(1800, 1, 1), EncodeTime(10, 0, 0, 0)), v);
    EXPECT_EQ(ComposeDateTime(EncodeDate(2000, 1, 1) + 0.75, EncodeTime(10, 0, 0, 0)),
              EncodeDateTime(2000, 1, 1, 10, 0, 0, 0));
}

TEST(DateUtilsNegative, RandomInstantsRoundTripThroughPartsStampsAndText) {
    std::mt19937 rng(4242);
    for (int i = 0; i < 50000; ++i) {
        int y = 1 + static_cast<int>(rng() % 9999), m = 1 + static_cast<int>(rng() % 12);
        int d = 1 + static_cast<int>(rng() % static_cast<unsigned>(DaysInMonth(y, m)));
        int ms = static_cast<int>(rng() % MSecsPerDay);
        TParts p{y, m, d, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000};
        TDateTime v = EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.MSec);
        ASSERT_EQ(Decode(v), p);
        TTimeStamp ts = DateTimeToTimeStamp(v);
        ASSERT_EQ(ts.Date, OracleDays(y, m, d) + DateDelta);
        ASSERT_EQ(ts.Time, ms);
        ASSERT_EQ(MSecsToTimeStamp(TimeStampToMSecs(ts)), ts);
        ASSERT_EQ(Decode(TimeStampToDateTime(ts)), p);
        ASSERT_EQ(StrToDateTime(DateTimeToStr(v)), v) << DateTimeToStr(v);
    }
}

// ---- time stamps and rounding --------------------------------------------------------

TEST(DateUtilsTimeStamp, MillisecondsRoundHalfAwayFromZero) {
    const double ms = 1.0 / MSecsPerDay;
    EXPECT_EQ(DateTimeToTimeStamp(1.4 * ms).Time, 1);
    EXPECT_EQ(DateTimeToTimeStamp(1.6 * ms).Time, 2);
    EXPECT_EQ(DateTimeToTimeStamp(0.4 * ms).Time, 0);
    EXPECT_EQ(DateTimeToTimeStamp(0.6 * ms).Time, 1);
    // The same digits below zero: mirrored, still counted from midnight.
    EXPECT_EQ(DateTimeToTimeStamp(-1.6 * ms).Time, 2);
    EXPECT_EQ(DateTimeToTimeStamp(-1.6 * ms).Date, DateDelta);
    // 23:59:59.9996 is the next midnight.
    TTimeStamp ts = DateTimeToTimeStamp(EncodeDate(2000, 1, 1) + (MSecsPerDay - 0.4) * ms);
    EXPECT_EQ(ts.Date, 730121);
    EXPECT_EQ(ts.Time, 0);
    EXPECT_EQ(MSecsToTimeStamp(1.5).Time, 2);
    EXPECT_EQ(MSecsToTimeStamp(2.5).Time, 3);
    EXPECT_EQ(MSecsToTimeStamp(2.49).Time, 2);
}

TEST(DateUtilsTimeStamp, MillisecondCountsAreDaysTimesADayPlusTime) {
    TTimeStamp ts = DateTimeToTimeStamp(EncodeDateTime(2000, 1, 1, 12, 0, 0, 0));
    EXPECT_EQ(ts.Date, 730120);
    EXPECT_EQ(ts.Time, 43200000);
    EXPECT_EQ(TimeStampToMSecs(ts), 730120.0 * MSecsPerDay + 43200000);
    TTimeStamp back = MSecsToTimeStamp(730120.0 * MSecsPerDay + 43200000);
    EXPECT_EQ(back, ts);
    EXPECT_EQ(TimeStampToDateTime(TTimeStamp{0, DateDelta}), 0.0);
    EXPECT_EQ(TimeStampToDateTime(TTimeStamp{43200000, DateDelta}), 0.5);
    EXPECT_EQ(TimeStampToDateTime(TTimeStamp{0, 1}), MinDateTime);
    EXPECT_EQ(TimeStampToDateTime(TTimeStamp{43200000, 1}), MinDateTime - 0.5);
}

TEST(DateUtilsTimeStamp, ValuesBeyondTheDayCountRaise) {
    EXPECT_THROW(DateTimeToTimeStamp(std::nan("")), EConvertError);
    EXPECT_THROW(DateTimeToTimeStamp(HUGE_VAL), EConvertError);
    EXPECT_THROW(DateTimeToTimeStamp(1e300), EConvertError);
    EXPECT_THROW(DateTimeToTimeStamp(-3e9), EConvertError);
    EXPECT_THROW(MSecsToTimeStamp(-1), EConvertError);
    EXPECT_THROW(MSecsToTimeStamp(1e300), EConvertError);
    EXPECT_THROW(MSecsToTimeStamp(std::nan("")), EConvertError);
    // Whole milliseconds split exactly into days and time, up to the last
    // one the day count holds.
    const std::int64_t limit = std::int64_t{INT32_MAX} * MSecsPerDay;
    for (const std::int64_t whole :
         {std::int64_t{0}, std::int64_t{86399999}, std::int64_t{86400000}, (std::int64_t{1} << 53) + 2, limit - 1024}) {
        const TTimeStamp split = MSecsToTimeStamp(static_cast<double>(whole));
        EXPECT_EQ(std::int64_t{split.Date} * MSecsPerDay + split.Time, whole) << whole;
        EXPECT_LT(split.Time, MSecsPerDay) << whole;
    }
    EXPECT_EQ(MSecsToTimeStamp(-0.0), TTimeStamp{});
    EXPECT_THROW(MSecsToTimeStamp(static_cast<double>(limit)), EConvertError);
    EXPECT_NO_THROW(DateTimeToTimeStamp(MaxDateTime));
    EXPECT_EQ(Decode(MaxDateTime), (TParts{9999, 12, 31, 23, 59, 59, 999}));
}

// ---- clock ------------------------------------------------------------------------------

TEST(DateUtilsClock, NowIsTheLocalTime) {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    TDateTime expected = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                        local.tm_min, std::min(local.tm_sec, 59), 0);
    TDateTime now = Now();
    EXPECT_GE(now, expected - 1e-9);
    EXPECT_LT(now, expected + 5.0 / 86400);
    TDateTime today = Date(), time = Time();
    EXPECT_EQ(today, std::floor(today));
    EXPECT_LE(std::fabs(today + time - Now()), 5.0 / 86400);
}

// ---- text ------------------------------------------------------------------------------

TEST(DateUtilsText, FixedIsoLikeForms) {
    EXPECT_EQ(DateToStr(EncodeDate(2000, 1, 1)), "2000-01-01");
    EXPECT_EQ(DateToStr(EncodeDate(1, 2, 3)), "0001-02-03");
    EXPECT_EQ(TimeToStr(EncodeTime(13, 5, 9, 0)), "13:05:09");
    EXPECT_EQ(TimeToStr(EncodeTime(13, 5, 9, 7)), "13:05:09.007");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 2, 29)), "2024-02-29");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 2, 29, 0, 0, 0, 1)), "2024-02-29 00:00:00.001");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999)), "9999-12-31 23:59:59.999");
    EXPECT_EQ(DateTimeToStr(0.5), "1899-12-30 12:00:00");
}

TEST(DateUtilsText, ParsingAcceptsTheDocumentedForms) {
    EXPECT_EQ(StrToDate("2000-1-1"), 36526.0);
    EXPECT_EQ(StrToDate(" 2024-02-29 "), EncodeDate(2024, 2, 29));
    EXPECT_EQ(StrToDate("1-01-01"), MinDateTime);
    EXPECT_EQ(StrToTime("12:00"), 0.5);
    EXPECT_EQ(StrToTime("23:59:59.999"), EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(StrToTime("1:02:03.5"), EncodeTime(1, 2, 3, 500));
    EXPECT_EQ(StrToTime("1:02:03.05"), EncodeTime(1, 2, 3, 50));
    EXPECT_EQ(StrToDateTime("2000-01-01T12:00:00"), EncodeDateTime(2000, 1, 1, 12, 0, 0, 0));
    EXPECT_EQ(StrToDateTime("2000-01-01 12:00:00.250"), EncodeDateTime(2000, 1, 1, 12, 0, 0, 250));
    EXPECT_EQ(StrToDateTime("2000-01-01"), 36526.0);
    EXPECT_EQ(StrToDateTime("06:00"), 0.25);
}

TEST(DateUtilsText, ParsingRejectsEverythingElse) {
    for (const char* bad :
         {"", "2000/01/01", "20000-01-01", "2000-01-01x", "2023-02-29", "2000-001-01", "-2000-01-01", "0-01-01"}) {
        SCOPED_TRACE(bad);
        TDateTime v = 9;
        EXPECT_FALSE(TryStrToDate(bad, v));
        EXPECT_EQ(v, 9);
        try {
            StrToDate(bad);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + String(bad) + "' is not a valid date");
        }
    }
    for (const char* bad : {"", "12", "12:60", "24:00", "12:00:00.1234", "12:0", "12:00:5", "12:00:00.", "123:00"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(StrToTime(bad), EConvertError);
    }
    for (const char* bad : {"2000-01-01  12:00", "2000-01-01 25:00", "2000-01-01 T", "2000-01-01X12:00", "x"}) {
        SCOPED_TRACE(bad);
        try {
            StrToDateTime(bad);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + String(bad) + "' is not a valid date and time");
        }
    }
}

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The packed decimal and its conversions to and from currency.
#include "velora/engine/FMTBCD.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace velora {
namespace {

ODBCFMTBCD Make(int precision, int scale, bool negative, std::initializer_list<std::uint8_t> bytes) {
    ODBCFMTBCD bcd;
    bcd.Precision = static_cast<std::uint8_t>(precision);
    bcd.SignSpecialPlaces = static_cast<std::uint8_t>(scale | (negative ? 0x80 : 0));
    int i = 0;
    for (auto b : bytes) bcd.Fraction[i++] = b;
    return bcd;
}

/// The digit string of the used bytes, e.g. "0150" for ...01 50.
std::string Digits(const ODBCFMTBCD& bcd) {
    std::string s;
    for (int i = 0; i < bcd.Precision; ++i) {
        std::uint8_t b = bcd.Fraction[i / 2];
        s += static_cast<char>('0' + (i % 2 == 0 ? b >> 4 : b & 15));
    }
    return s;
}

TEST(FMTBCD, ReadsDigitsSignAndScale) {
    Currency c;
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(3, 2, false, {0x12, 0x30}), c));
    EXPECT_EQ(c.Units(), 12300);
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(3, 2, true, {0x12, 0x30}), c));
    EXPECT_EQ(c.Units(), -12300);
    // Bit 6 of the sign byte is ignored.
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(3, 2 | 0x40, false, {0x12, 0x30}), c));
    EXPECT_EQ(c.Units(), 12300);
    // All zeros is zero.
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(6, 2, true, {0, 0, 0}), c));
    EXPECT_EQ(c.Units(), 0);
}

TEST(FMTBCD, PrecisionZeroLeavesCurrencyUntouched) {
    Currency c = Currency::FromUnits(4711);
    EXPECT_FALSE(ODBCFMTBCDToCurr(Make(0, 0, false, {0x12}), c));
    EXPECT_EQ(c.Units(), 4711);
}

TEST(FMTBCD, ReadingRoundsHalfToEvenBeyondFourDecimals) {
    Currency c;
    // 1234.5 units at scale 5 (0.12345): the tie goes to the even 1234.
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(5, 5, false, {0x12, 0x34, 0x50}), c));
    EXPECT_EQ(c.Units(), 1234);
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(5, 5, false, {0x12, 0x35, 0x50}), c));
    EXPECT_EQ(c.Units(), 1236);
    ASSERT_TRUE(ODBCFMTBCDToCurr(Make(6, 6, true, {0x12, 0x34, 0x56}), c));
    EXPECT_EQ(c.Units(), -1235);
}

TEST(FMTBCD, ReadingAValueBeyondCurrencyFails) {
    Currency c;
    // 20 nines with scale 0 exceed 922337203685477.5807.
    ODBCFMTBCD big = Make(20, 0, false, {0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99});
    EXPECT_FALSE(ODBCFMTBCDToCurr(big, c));
    EXPECT_EQ(c, MinCurrency);
}

TEST(FMTBCD, WritesTheExamplesOfTheFormat) {
    ODBCFMTBCD bcd;
    ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromDouble(-1.5), bcd, 32, 2));
    EXPECT_EQ(bcd.Precision, 32);
    EXPECT_EQ(bcd.SignSpecialPlaces, 0x82);
    EXPECT_EQ(Digits(bcd), std::string(28, '0') + "0150");

    ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromDouble(123.4567), bcd, 32, 2));
    EXPECT_EQ(Digits(bcd), std::string(27, '0') + "12346");

    bcd = ODBCFMTBCD{};
    bcd.Fraction[0] = 0xAB;
    EXPECT_FALSE(ODBCCurrToFMTBCD(Currency::FromInt(12345), bcd, 4, 0));
    EXPECT_EQ(bcd.Precision, 4);
    EXPECT_EQ(bcd.SignSpecialPlaces, 0);
    EXPECT_EQ(bcd.Fraction[0], 0xAB);  // digits not written
}

TEST(FMTBCD, WritingRoundsHalfToEvenAndPadsOddPrecision) {
    ODBCFMTBCD bcd;
    ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromUnits(25000), bcd, 3, 0));  // 2.5 -> 2
    EXPECT_EQ(Digits(bcd), "002");
    EXPECT_EQ(bcd.Fraction[1] & 0x0F, 0);                                   // the pad nibble
    ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromUnits(-35000), bcd, 3, 0));  // -3.5 -> -4
    EXPECT_EQ(Digits(bcd), "004");
    EXPECT_EQ(bcd.SignSpecialPlaces, 0x80);
    // More decimals than a currency has: the extra places stay 0.
    ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromUnits(12345), bcd, 8, 6));  // 1.2345
    EXPECT_EQ(Digits(bcd), "01234500");
    EXPECT_FALSE(ODBCCurrToFMTBCD(Currency::FromUnits(1), bcd, 2, 7));  // 3 zero places > 2 digits
    // The most negative currency value.
    ASSERT_TRUE(ODBCCurrToFMTBCD(MinCurrency, bcd, 19, 4));
    EXPECT_EQ(Digits(bcd), "9223372036854775808");
    Currency back;
    EXPECT_TRUE(ODBCFMTBCDToCurr(bcd, back));
    EXPECT_EQ(back, MinCurrency);
}

TEST(FMTBCD, RejectsArgumentsOutOfRange) {
    ODBCFMTBCD bcd;
    EXPECT_FALSE(ODBCCurrToFMTBCD(Currency::FromInt(1), bcd, 0, 0));
    EXPECT_FALSE(ODBCCurrToFMTBCD(Currency::FromInt(1), bcd, 65, 0));
    EXPECT_FALSE(ODBCCurrToFMTBCD(Currency::FromInt(1), bcd, 10, 64));
}

// Every precision 1..32 and scale 0..4 on random values that fit: writing
// then reading gives the value rounded to the scale.
TEST(FMTBCD, RoundTripsEveryPrecisionAndScale) {
    std::mt19937_64 rng(20260512);
    for (int precision = 1; precision <= 32; ++precision) {
        for (int scale = 0; scale <= 4; ++scale) {
            // Largest magnitude in units that fits `precision` digits at `scale`.
            long double maxValue = 1;
            for (int i = 0; i < precision; ++i) maxValue *= 10;
            maxValue = maxValue * 1e4L / [&] {
                long double p = 1;
                for (int i = 0; i < scale; ++i) p *= 10;
                return p;
            }();
            const std::uint64_t limit =
                maxValue > 9.2e18L ? 9200000000000000000ull : static_cast<std::uint64_t>(maxValue) - 1;
            for (int n = 0; n < 40; ++n) {
                std::uint64_t magnitude = limit == 0 ? 0 : rng() % limit;
                // Keep the value below the limit after rounding up to the scale.
                std::uint64_t step = 1;
                for (int i = scale; i < 4; ++i) step *= 10;
                if (magnitude + step >= limit) magnitude = magnitude > step ? magnitude - step : 0;
                auto units = static_cast<std::int64_t>(magnitude) * ((rng() & 1) ? -1 : 1);
                // The expected value: units rounded half to even to `scale` places.
                std::int64_t q = units / static_cast<std::int64_t>(step);
                std::int64_t r = units % static_cast<std::int64_t>(step);
                std::int64_t twice = 2 * (r < 0 ? -r : r);
                if (twice > static_cast<std::int64_t>(step) || (twice == static_cast<std::int64_t>(step) && (q & 1)))
                    q += units < 0 ? -1 : 1;
                const std::int64_t expected = q * static_cast<std::int64_t>(step);

                ODBCFMTBCD bcd;
                ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromUnits(units), bcd, precision, scale))
                    << "precision " << precision << " scale " << scale << " units " << units;
                Currency back;
                ASSERT_TRUE(ODBCFMTBCDToCurr(bcd, back));
                ASSERT_EQ(back.Units(), expected)
                    << "precision " << precision << " scale " << scale << " units " << units;
            }
        }
    }
}

TEST(FMTBCD, TextKeepsScaleAndSign) {
    EXPECT_EQ(ODBCFMTBCDToText(Make(3, 2, true, {0x12, 0x30})), "-1.23");
    EXPECT_EQ(ODBCFMTBCDToText(Make(4, 2, true, {0x00, 0x00})), "0.00");
    EXPECT_EQ(ODBCFMTBCDToText(Make(2, 4, false, {0x15})), "0.0015");
    EXPECT_EQ(ODBCFMTBCDToText(Make(5, 0, false, {0x00, 0x12, 0x00})), "120");
    EXPECT_EQ(ODBCFMTBCDToText(Make(0, 0, false, {})), "");
}

TEST(FMTBCD, TextIsPackedHighNibbleFirst) {
    // Read back by the digit layout itself (Digits), not by the reverse
    // conversion, which would undo a layout fault in both directions.
    struct TCase {
        const char* Text;
        const char* Digits;
        int Scale;
        bool Negative;
    } const cases[] = {
        {"12345678901234567890.123", "12345678901234567890123", 3, false},
        {"-0.5", "05", 1, true},
        {"007", "7", 0, false},
        {"+10.", "10", 0, false},
    };
    for (const TCase& c : cases) {
        ODBCFMTBCD bcd;
        ASSERT_TRUE(ODBCTextToFMTBCD(c.Text, bcd)) << c.Text;
        EXPECT_EQ(Digits(bcd), c.Digits) << c.Text;
        EXPECT_EQ(bcd.SignSpecialPlaces & 0x3F, c.Scale) << c.Text;
        EXPECT_EQ((bcd.SignSpecialPlaces & 0x80) != 0, c.Negative) << c.Text;
    }
    ODBCFMTBCD untouched = Make(2, 0, false, {0x42});
    for (const char* bad : {"", ".", "1e5", "1.2.3", "--1", "12a"}) {
        EXPECT_FALSE(ODBCTextToFMTBCD(bad, untouched)) << bad;
        EXPECT_EQ(Digits(untouched), "42") << bad;
    }
}

}  // namespace
}  // namespace velora

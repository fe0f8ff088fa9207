// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Number text conversions and Currency: the rounding rules of FloatToStrF,
// the syntax StrToFloat accepts, independence from the process locale, and
// exact currency arithmetic and parsing.
#include "velora/rtl/Numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <locale>
#include <random>
#include <string>
#include <vector>

#include <locale.h>

#include <unistd.h>

using namespace velora;

namespace {

String Fixed(double v, int precision, int digits) { return FloatToStrF(v, ffFixed, precision, digits); }

}  // namespace

// ---- StrToFloat ---------------------------------------------------------------

TEST(StrToFloat, AcceptsDecimalTextWithPointSignAndExponent) {
    EXPECT_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_EQ(StrToFloat("  -2.25  "), -2.25);
    EXPECT_EQ(StrToFloat("+3"), 3.0);
    EXPECT_EQ(StrToFloat("1e3"), 1000.0);
    EXPECT_EQ(StrToFloat("1E-2"), 0.01);
    EXPECT_EQ(StrToFloat("2.5e+2"), 250.0);
    EXPECT_EQ(StrToFloat(".5"), 0.5);
    EXPECT_EQ(StrToFloat("5."), 5.0);
    EXPECT_EQ(StrToFloat("0.1"), 0.1);
    EXPECT_EQ(StrToFloat("123456789012345678901234567890"), 123456789012345678901234567890.0);
    EXPECT_TRUE(std::signbit(StrToFloat("-0")));
}

// Plain numbers are read in place; every one must give the double the C
// library's strtod gives in the C locale (the general reading), to the sign
// of a zero, with the hard cases of rounding: many digits, halfway values,
// exponents, subnormals.
TEST(StrToFloat, PlainNumbersGiveTheDoubleTheCLibraryGives) {
    locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    ASSERT_NE(c, static_cast<locale_t>(nullptr));
    std::vector<std::string> texts = {
        "-0", "0.0", "-.5", "5.", "9007199254740993", "9007199254740995", "0.1000000000000000055511151231257827",
        "2.2250738585072011e-308", "4.9e-324", "1.7976931348623157e308", "1e22", "1e23", "-1.5E+3", "1e-5",
        // Around the length the short decimals' road takes.
        "123456789012345", "1234567890123456", "12345678901234.5", "-0.00000000000001", "999999999999999.9"};
    std::mt19937_64 rng(7);
    for (int i = 0; i < 4000; ++i) {
        std::string text = rng() % 2 ? "-" : "";
        // Half of them 16 digits or fewer, around the short decimals' road.
        const int digits = 1 + static_cast<int>(rng() % (i % 2 ? 16 : 40));
        for (int k = 0; k < digits; ++k) text += static_cast<char>('0' + rng() % 10);
        text.insert(text.size() - rng() % static_cast<unsigned>(digits + 1), ".");
        if (rng() % 3 == 0) text += (rng() % 2 ? "e" : "E") + std::to_string(static_cast<int>(rng() % 660) - 330);
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        double got = 0;
        char* end = nullptr;
        const double want = strtod_l(text.c_str(), &end, c);
        ASSERT_EQ(end, text.c_str() + text.size()) << text;
        if (std::isinf(want)) {
            EXPECT_FALSE(TryStrToFloat(text, got)) << text;
            continue;
        }
        ASSERT_TRUE(TryStrToFloat(text, got)) << text;
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << text << ": " << got << " against " << want;
    }
    freelocale(c);
}

TEST(StrToFloat, RejectsEverythingElseWithTheHostMessage) {
    for (const char* bad : {"",    " ",   "abc", "1,5", "1.2.3", "0x10", "inf", "nan",  "1e",    "e5",
                            "--1", "1 2", "+",   ".",   "1e+",   "1.5f", "١",   "1..2", "12.5.", "-"}) {
        SCOPED_TRACE(bad);
        double v = 42;
        EXPECT_FALSE(TryStrToFloat(bad, v));
        EXPECT_EQ(v, 42);
        try {
            StrToFloat(bad);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + String(bad) + "' is not a valid floating point value");
        }
    }
}

TEST(StrToFloat, OverflowIsAnErrorUnderflowIsZero) {
    EXPECT_THROW(StrToFloat("1e400"), EConvertError);
    EXPECT_THROW(StrToFloat("-1e99999999999999999999"), EConvertError);
    EXPECT_EQ(StrToFloat("1e-400"), 0.0);
    EXPECT_EQ(StrToFloat("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(StrToFloat("1.7976931348623157e308"), std::numeric_limits<double>::max());
}

TEST(StrToFloat, SeventeenDigitsRoundTripEveryDouble) {
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        String text = FloatToStrF(v, ffGeneral, 17, 0);
        ASSERT_EQ(StrToFloat(text), v) << text;
    }
}

// ---- FloatToStr / FloatToStrF -------------------------------------------------------

/// The digits of `v` rounded half away from zero to `precision` significant
/// digits and its decimal exponent, from glibc's exact expansion.
std::pair<std::string, int> HalfUpDigits(double v, int precision) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, "%.800e", std::fabs(v));
    std::string s(buf);
    const std::size_t e = s.find('e');
    int exp10 = std::atoi(s.c_str() + e + 1);
    std::string digits = s.substr(0, 1) + s.substr(2, e - 2);
    const bool up = digits[static_cast<std::size_t>(precision)] >= '5';
    digits.resize(static_cast<std::size_t>(precision));
    if (up) {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exp10;
        } else {
            ++digits[i - 1];
        }
    }
    return {digits, exp10};
}

TEST(FloatToStrF, SignificantDigitsRoundHalfAwayFromZeroOnTheExactValue) {
    // Ties on the exact value (each an exact expansion of one digit more
    // than kept, ending in 5), values just off a tie, and random doubles.
    std::vector<std::pair<double, int>> cases = {
        {0.125, 2},       {2.5, 1},       {-2.5, 1},    {1000000000000005.0, 15}, {1234567890123456.25, 17},
        {1234567890123456.75, 17}, {2.675, 3}, {0.5, 1}, {9.5, 1}, {999999999999999.5, 15}, {1.5, 1},
        {std::numeric_limits<double>::denorm_min(), 17}, {std::numeric_limits<double>::max(), 17}};
    std::mt19937_64 rng(2026);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v) && v != 0) cases.push_back({v, 1 + i % 18});
        cases.push_back({static_cast<double>(rng() % 2000001) / 8.0 - 125000.0, 1 + i % 18});
    }
    for (auto [v, precision] : cases) {
        if (v == 0) continue;
        auto [digits, exp10] = HalfUpDigits(v, precision);
        const std::string want = std::string(v < 0 ? "-" : "") + digits.substr(0, 1) +
                                 (precision > 1 ? "." + digits.substr(1) : "") + "E" + (exp10 < 0 ? "-" : "+") +
                                 std::to_string(std::abs(exp10));
        ASSERT_EQ(FloatToStrF(v, ffExponent, precision, 0), want) << v << " to " << precision << " digits";
    }
}

TEST(FloatToStr, FifteenSignificantDigitsAndScientificOutsideTheFixedRange) {
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FloatToStr(1), "1");
    EXPECT_EQ(FloatToStr(-1.5), "-1.5");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(FloatToStr(999999999999999.9), "1E15");  // rounding adds the sixteenth digit
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00012345), "0.00012345");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(-1.5e-10), "-1.5E-10");
    EXPECT_EQ(FloatToStr(1e100), "1E100");
    EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
    EXPECT_EQ(FloatToStr(HUGE_VAL), "INF");
    EXPECT_EQ(FloatToStr(-HUGE_VAL), "-INF");
}

namespace {

/// ffExponent's text for v with `precision` digits, built independently:
/// the C library prints the exact binary value in full ("%.780e"), and the
/// digits are rounded half away from zero here.
String ExponentOracle(double v, int precision) {
    static char buf[1000];
    std::snprintf(buf, sizeof buf, "%.780e", std::fabs(v));
    String s = buf;
    std::size_t e = s.find('e');
    String digits = s.substr(0, 1) + s.substr(2, e - 2);
    int exp10 = std::atoi(s.c_str() + e + 1);
    bool up = digits[static_cast<std::size_t>(precision)] >= '5';
    digits.resize(static_cast<std::size_t>(precision));
    if (up) {
        int i = precision - 1;
        while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') digits[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            digits = "1" + digits.substr(0, digits.size() - 1);
            ++exp10;
        } else {
            ++digits[static_cast<std::size_t>(i)];
        }
    }
    String r = v < 0 ? "-" : "";
    r += digits[0];
    if (precision > 1) r += "." + digits.substr(1);
    return r + (exp10 < 0 ? "E-" : "E+") + std::to_string(std::abs(exp10));
}

}  // namespace

TEST(FloatToStrF, RandomDoublesRoundFromTheirExactExpansion) {
    std::mt19937_64 rng(777);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || v == 0) continue;
        int precision = 1 + static_cast<int>(rng() % 18);
        ASSERT_EQ(FloatToStrF(v, ffExponent, precision, 0), ExponentOracle(v, precision)) << "precision " << precision;
    }
    // Short values, whose expansions end early, and exact ties.
    for (double v : {0.5, 1.25, 0.125, 2.5, 1e22, 0.1, 1.0 / 3, 123456.75, 5e-324, 1.7976931348623157e308})
        for (int precision = 1; precision <= 18; ++precision)
            ASSERT_EQ(FloatToStrF(v, ffExponent, precision, 0), ExponentOracle(v, precision)) << v << " " << precision;
}

TEST(FloatToStrF, GeneralHonoursPrecisionAndMinimumExponentDigits) {
    EXPECT_EQ(FloatToStrF(0.1f, ffGeneral, 7, 0), "0.1");
    EXPECT_EQ(FloatToStrF(1234.5678, ffGeneral, 6, 0), "1234.57");
    EXPECT_EQ(FloatToStrF(1234.5678, ffGeneral, 3, 0), "1.23E3");
    EXPECT_EQ(FloatToStrF(1e20, ffGeneral, 15, 3), "1E020");
    EXPECT_EQ(FloatToStrF(1e-7, ffGeneral, 15, 2), "1E-07");
    EXPECT_EQ(FloatToStrF(1e20, ffGeneral, 15, 9), "1E0020");  // at most four
    EXPECT_EQ(FloatToStrF(0.1, ffGeneral, 18, 0), "0.100000000000000006");
    EXPECT_EQ(FloatToStrF(0.1, ffGeneral, 40, 0), "0.100000000000000006");  // precision stops at 18
}

TEST(FloatToStrF, FixedRoundsHalfAwayOnTheExactBinaryValue) {
    EXPECT_EQ(Fixed(3.14159, 15, 2), "3.14");
    EXPECT_EQ(Fixed(2.5, 15, 0), "3");
    EXPECT_EQ(Fixed(-2.5, 15, 0), "-3");
    EXPECT_EQ(Fixed(0.5, 15, 0), "1");
    EXPECT_EQ(Fixed(0.49999999999999994, 15, 0), "0");
    EXPECT_EQ(Fixed(0.125, 15, 2), "0.13");  // an exact tie goes away from zero
    EXPECT_EQ(Fixed(-0.125, 15, 2), "-0.13");
    EXPECT_EQ(Fixed(1.005, 15, 2), "1.00");    // 1.005 is stored as 1.00499999999999989...
    EXPECT_EQ(Fixed(-0.005, 15, 2), "-0.01");  // stored as -0.00500000000000000010...
    EXPECT_EQ(Fixed(0.006, 15, 2), "0.01");
    EXPECT_EQ(Fixed(999.996, 15, 2), "1000.00");
}

TEST(FloatToStrF, FixedPadsDecimalsAndDropsTheSignOfAZeroResult) {
    EXPECT_EQ(Fixed(0, 15, 2), "0.00");
    EXPECT_EQ(Fixed(-0.001, 15, 2), "0.00");
    EXPECT_EQ(Fixed(-0.0, 15, 0), "0");
    EXPECT_EQ(Fixed(12, 15, 3), "12.000");
    EXPECT_EQ(Fixed(1.5, 15, 25), "1.500000000000000000");  // decimals stop at 18
    EXPECT_EQ(Fixed(1.5, 15, -3), "2");
}

TEST(FloatToStrF, FixedKeepsAtMostPrecisionSignificantDigits) {
    EXPECT_EQ(Fixed(123.456, 4, 2), "123.50");
    EXPECT_EQ(Fixed(1234.5678, 6, 4), "1234.5700");
    EXPECT_EQ(Fixed(0.000123456, 2, 8), "0.00012000");
    EXPECT_EQ(Fixed(999999999999999.0, 15, 2), "999999999999999.00");
}

TEST(FloatToStrF, FixedFallsBackToScientificBeyondPrecisionIntegerDigits) {
    EXPECT_EQ(Fixed(12345.678, 4, 2), "1.235E4");
    EXPECT_EQ(Fixed(1e15, 15, 2), "1E15");
    EXPECT_EQ(Fixed(-123456789012345678.0, 15, 2), "-1.23456789012346E17");
    EXPECT_EQ(Fixed(9999.6, 4, 0), "1E4");  // rounding to 10000 adds the fifth digit
    EXPECT_EQ(Fixed(9999.4, 4, 0), "9999");
}

TEST(FloatToStrF, NumberAndCurrencyGroupThousands) {
    EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1,234,567.89");
    EXPECT_EQ(FloatToStrF(-1234.5, ffNumber, 15, 1), "-1,234.5");
    EXPECT_EQ(FloatToStrF(123, ffNumber, 15, 0), "123");
    EXPECT_EQ(FloatToStrF(123456, ffNumber, 15, 0), "123,456");
    EXPECT_EQ(FloatToStrF(999.999, ffNumber, 15, 2), "1,000.00");
    EXPECT_EQ(FloatToStrF(1234.5, ffCurrency, 15, 2), "$1,234.50");
    EXPECT_EQ(FloatToStrF(-1234.5, ffCurrency, 15, 2), "($1,234.50)");
    EXPECT_EQ(FloatToStrF(0.004, ffCurrency, 15, 2), "$0.00");
}

TEST(FloatToStrF, ExponentAlwaysShowsPrecisionDigitsAndASignedExponent) {
    EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2), "1.235E+03");
    EXPECT_EQ(FloatToStrF(0, ffExponent, 4, 2), "0.000E+00");
    EXPECT_EQ(FloatToStrF(-0.000123456, ffExponent, 3, 0), "-1.23E-4");
    EXPECT_EQ(FloatToStrF(1, ffExponent, 1, 3), "1E+000");
    EXPECT_EQ(FloatToStrF(9.99, ffExponent, 2, 2), "1.0E+01");
    EXPECT_EQ(FloatToStrF(1e-300, ffExponent, 3, 1), "1.00E-300");
}

// ---- locale independence ----------------------------------------------------------

namespace {

/// Switches LC_NUMERIC to a locale whose decimal point is a comma for the
/// scope: de_DE when installed, else one compiled with localedef into a
/// temporary folder (LOCPATH). Available() is false when neither works.
class TScopedCommaLocale {
public:
    TScopedCommaLocale() {
        FSaved = std::setlocale(LC_NUMERIC, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (std::setlocale(LC_NUMERIC, name)) return;
        if (std::system("command -v localedef >/dev/null 2>&1") != 0) return;
        FDir = std::filesystem::temp_directory_path() / ("velora-locale-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FDir);
        String cmd = "localedef -i de_DE -f UTF-8 '" + (FDir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return;
        const char* old = std::getenv("LOCPATH");
        if (old) FOldLocPath = old;
        FHadLocPath = old != nullptr;
        ::setenv("LOCPATH", FDir.c_str(), 1);
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    }
    ~TScopedCommaLocale() {
        std::setlocale(LC_NUMERIC, FSaved.c_str());
        if (!FDir.empty()) {
            if (FHadLocPath)
                ::setenv("LOCPATH", FOldLocPath.c_str(), 1);
            else
                ::unsetenv("LOCPATH");
            std::error_code ec;
            std::filesystem::remove_all(FDir, ec);
        }
    }
    bool Available() const { return String(std::localeconv()->decimal_point) == ","; }

private:
    String FSaved;
    std::filesystem::path FDir;
    String FOldLocPath;
    bool FHadLocPath = false;
};

/// A C++ locale whose numbers use "," as decimal point and "." for thousands.
struct TCommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(NumbersLocale, DriverConversionsIgnoreACommaCLocale) {
    TScopedCommaLocale locale;
    if (!locale.Available()) GTEST_SKIP() << "no locale with a decimal comma can be set up here";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5");  // the C library really formats with a comma now
    EXPECT_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_THROW(StrToFloat("1,5"), EConvertError);
    EXPECT_EQ(FloatToStr(1234.5), "1234.5");
    EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 2), "1,234.50");
    EXPECT_EQ(FloatToStrF(1e-7, ffGeneral, 15, 0), "1E-7");
    EXPECT_EQ(StrToCurr("12.34").Units(), 123400);
    EXPECT_EQ(CurrToStr(Currency::FromUnits(123400)), "12.34");
}

TEST(NumbersLocale, TypedTextFollowsTheCLocaleDecimalPoint) {
    TScopedCommaLocale locale;
    if (!locale.Available()) GTEST_SKIP() << "no locale with a decimal comma can be set up here";
    EXPECT_EQ(LocaleDecimalSeparator(), ",");
    EXPECT_EQ(LocaleStrToFloat(" 1,5 "), 1.5);
    EXPECT_EQ(LocaleStrToFloat("-2,5e2"), -250.0);
    EXPECT_THROW(LocaleStrToFloat("1.5"), EConvertError);
    EXPECT_THROW(LocaleStrToFloat("1,5,5"), EConvertError);
    EXPECT_EQ(LocaleFloatToStr(1.5), "1,5");
    EXPECT_EQ(LocaleFloatToStrF(1234567.5, ffNumber, 15, 2), "1.234.567,50");
}

TEST(NumbersLocale, TypedTextInTheCLocaleUsesThePoint) {
    EXPECT_EQ(LocaleDecimalSeparator(), ".");
    EXPECT_EQ(LocaleStrToFloat("1.5"), 1.5);
    EXPECT_EQ(LocaleFloatToStr(-0.25), "-0.25");
}

TEST(NumbersLocale, DriverConversionsIgnoreTheGlobalCppLocale) {
    std::locale saved = std::locale::global(std::locale(std::locale::classic(), new TCommaPunct));
    String formatted = FloatToStrF(1234.5, ffNumber, 15, 2);
    double parsed = 0;
    bool ok = TryStrToFloat("1.25", parsed);
    std::locale::global(saved);
    EXPECT_EQ(formatted, "1,234.50");
    EXPECT_TRUE(ok);
    EXPECT_EQ(parsed, 1.25);
}

// ---- Currency -------------------------------------------------------------------------

TEST(Currency, FromDoubleRoundsHalfToEvenOnTheFourthDecimal) {
    EXPECT_EQ(Currency::FromDouble(1.5).Units(), 15000);
    EXPECT_EQ(Currency::FromDouble(0.1).Units(), 1000);
    EXPECT_EQ(Currency::FromDouble(-123.4567).Units(), -1234567);
    // 1/32 and 3/32 are exact in binary and lie halfway between two units.
    EXPECT_EQ(Currency::FromDouble(0.03125).Units(), 312);
    EXPECT_EQ(Currency::FromDouble(0.09375).Units(), 938);
    EXPECT_EQ(Currency::FromDouble(-0.03125).Units(), -312);
    EXPECT_EQ(Currency::FromDouble(-0.09375).Units(), -938);
    // Near a tie the stored binary value decides: 1.00005 is stored as
    // 1.0000500000000001..., 2.00005 as 2.0000499999999998...
    EXPECT_EQ(Currency::FromDouble(1.00005).Units(), 10001);
    EXPECT_EQ(Currency::FromDouble(2.00005).Units(), 20000);
}

TEST(Currency, FromDoubleOutOfRangeRaisesIntOverflow) {
    EXPECT_EQ(Currency::FromDouble(9e14).Units(), 9000000000000000000LL);
    EXPECT_THROW(Currency::FromDouble(1e15), EIntOverflow);
    EXPECT_THROW(Currency::FromDouble(-1e15), EIntOverflow);
    EXPECT_THROW(Currency::FromDouble(std::nan("")), EIntOverflow);
    EXPECT_THROW(Currency::FromDouble(HUGE_VAL), EIntOverflow);
    Currency c = Currency::FromUnits(7);
    EXPECT_FALSE(Currency::TryFromDouble(1e300, c));
    EXPECT_EQ(c.Units(), 7);
}

TEST(Currency, ToDoubleGivesTheNearestDouble) {
    EXPECT_EQ(Currency::FromUnits(15000).ToDouble(), 1.5);
    EXPECT_EQ(Currency::FromUnits(1).ToDouble(), 0.0001);
    EXPECT_EQ(Currency::FromUnits(1000).ToDouble(), 0.1);
    EXPECT_EQ(StrToCurr("123.4567").ToDouble(), 123.4567);
}

TEST(Currency, AdditionIsExactAndChecked) {
    Currency a = StrToCurr("0.1"), b = StrToCurr("0.2");
    EXPECT_EQ(a + b, StrToCurr("0.3"));
    EXPECT_EQ(b - a, a);
    EXPECT_EQ(-a, StrToCurr("-0.1"));
    EXPECT_THROW(MaxCurrency + Currency::FromUnits(1), EIntOverflow);
    EXPECT_THROW(MinCurrency - Currency::FromUnits(1), EIntOverflow);
    EXPECT_THROW(-MinCurrency, EIntOverflow);
    EXPECT_EQ(MaxCurrency + MinCurrency, Currency::FromUnits(-1));
    try {
        Currency c = MaxCurrency;
        c += MaxCurrency;
        ADD_FAILURE();
    } catch (const EIntOverflow& e) {
        EXPECT_EQ(e.Message(), "Currency overflow");
    }
}

TEST(Currency, ProductsAndQuotientsRoundHalfToEven) {
    EXPECT_EQ(StrToCurr("1.5") * StrToCurr("1.5"), StrToCurr("2.25"));
    EXPECT_EQ((StrToCurr("0.0001") * StrToCurr("0.5")).Units(), 0);  // 0.5 unit -> even 0
    EXPECT_EQ((StrToCurr("0.0003") * StrToCurr("0.5")).Units(), 2);  // 1.5 units -> even 2
    EXPECT_EQ((StrToCurr("-0.0003") * StrToCurr("0.5")).Units(), -2);
    EXPECT_EQ((StrToCurr("0.0003") * StrToCurr("0.4")).Units(), 1);
    EXPECT_EQ(Currency::FromInt(1) / Currency::FromInt(3), StrToCurr("0.3333"));
    EXPECT_EQ(Currency::FromInt(2) / Currency::FromInt(3), StrToCurr("0.6667"));
    EXPECT_EQ(Currency::FromInt(-2) / Currency::FromInt(3), StrToCurr("-0.6667"));
    EXPECT_EQ((StrToCurr("0.0001") / Currency::FromInt(2)).Units(), 0);
    EXPECT_EQ((StrToCurr("0.0003") / Currency::FromInt(-2)).Units(), -2);
    // Products beyond 64 bits in between still come out exact.
    EXPECT_EQ(StrToCurr("900000000000") * StrToCurr("0.0001"), StrToCurr("90000000"));
    EXPECT_THROW(MaxCurrency * Currency::FromInt(2), EIntOverflow);
    EXPECT_THROW(MinCurrency / Currency::FromInt(-1), EIntOverflow);
    EXPECT_THROW(Currency::FromInt(1) / Currency(), EZeroDivide);
    EXPECT_THROW(Currency::FromInt(1000000000000000LL), EIntOverflow);
}

TEST(Currency, ComparesByValue) {
    EXPECT_LT(StrToCurr("-0.0001"), Currency());
    EXPECT_GT(StrToCurr("10"), StrToCurr("9.9999"));
    EXPECT_EQ(Currency::FromInt(5), StrToCurr("5.0000"));
    EXPECT_LT(MinCurrency, MaxCurrency);
}

TEST(CurrToStr, ShowsTheExactValueWithoutTrailingZeros) {
    EXPECT_EQ(CurrToStr(Currency()), "0");
    EXPECT_EQ(CurrToStr(Currency::FromUnits(15000)), "1.5");
    EXPECT_EQ(CurrToStr(Currency::FromUnits(-1)), "-0.0001");
    EXPECT_EQ(CurrToStr(Currency::FromInt(100)), "100");
    EXPECT_EQ(CurrToStr(StrToCurr("12.3400")), "12.34");
    EXPECT_EQ(CurrToStr(MaxCurrency), "922337203685477.5807");
    EXPECT_EQ(CurrToStr(MinCurrency), "-922337203685477.5808");
}

TEST(CurrToStrF, FormatsTheExactDecimalValue) {
    EXPECT_EQ(CurrToStrF(StrToCurr("1234.5678"), ffFixed, 2), "1234.57");
    EXPECT_EQ(CurrToStrF(StrToCurr("1234.5678"), ffNumber, 2), "1,234.57");
    EXPECT_EQ(CurrToStrF(StrToCurr("0.125"), ffFixed, 2), "0.13");
    EXPECT_EQ(CurrToStrF(StrToCurr("-0.125"), ffCurrency, 2), "($0.13)");
    EXPECT_EQ(CurrToStrF(StrToCurr("2.5"), ffFixed, 0), "3");
    EXPECT_EQ(CurrToStrF(MaxCurrency, ffFixed, 4), "922337203685477.5807");
    EXPECT_EQ(CurrToStrF(MaxCurrency, ffFixed, 0), "922337203685478");
    EXPECT_EQ(CurrToStrF(StrToCurr("1.5"), ffFixed, 6), "1.500000");
}

TEST(StrToCurr, ParsesDecimalTextExactly) {
    EXPECT_EQ(StrToCurr("1.5").Units(), 15000);
    EXPECT_EQ(StrToCurr("  7  ").Units(), 70000);
    EXPECT_EQ(StrToCurr("-0.0001").Units(), -1);
    EXPECT_EQ(StrToCurr("1e3").Units(), 10000000);
    EXPECT_EQ(StrToCurr("1.23456e2").Units(), 1234560);
    EXPECT_EQ(StrToCurr("123456E-4").Units(), 123456);
    EXPECT_EQ(StrToCurr("000000000000000000000012.5").Units(), 125000);
    // Beyond the 53 bits of a double: the last unit survives.
    EXPECT_EQ(StrToCurr("900719925474.0993").Units(), 9007199254740993LL);
    EXPECT_EQ(StrToCurr("922337203685477.5807"), MaxCurrency);
    EXPECT_EQ(StrToCurr("-922337203685477.5808"), MinCurrency);
}

TEST(StrToCurr, DigitsBeyondTheFourthDecimalRoundHalfToEven) {
    EXPECT_EQ(StrToCurr("0.00005").Units(), 0);
    EXPECT_EQ(StrToCurr("0.00015").Units(), 2);
    EXPECT_EQ(StrToCurr("0.00025").Units(), 2);
    EXPECT_EQ(StrToCurr("-0.00015").Units(), -2);
    EXPECT_EQ(StrToCurr("0.000050001").Units(), 1);
    EXPECT_EQ(StrToCurr("0.00004999999").Units(), 0);
    EXPECT_EQ(StrToCurr("5e-5").Units(), 0);
    EXPECT_EQ(StrToCurr("15e-5").Units(), 2);
    EXPECT_EQ(StrToCurr("0.000000000000000000000001").Units(), 0);
    EXPECT_EQ(StrToCurr("922337203685477.58069999").Units(), INT64_MAX);
}

TEST(StrToCurr, RejectsBadTextAndValuesOutOfRange) {
    for (const char* bad : {"", "abc", "1,5", "922337203685477.5808", "-922337203685477.5809", "922337203685477.58075",
                            "12345678901234567890", "1e15", "1e999999999999"}) {
        SCOPED_TRACE(bad);
        Currency c = Currency::FromUnits(3);
        EXPECT_FALSE(TryStrToCurr(bad, c));
        EXPECT_EQ(c.Units(), 3);
        try {
            StrToCurr(bad);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + String(bad) + "' is not a valid floating point value");
        }
    }
    EXPECT_EQ(StrToCurr("0e999999999999").Units(), 0);
}

TEST(StrToCurr, AgreesWithCurrToStrOnRandomValues) {
    std::mt19937_64 rng(99);
    for (int i = 0; i < 20000; ++i) {
        auto c = Currency::FromUnits(static_cast<std::int64_t>(rng()) >> (rng() % 63));
        ASSERT_EQ(StrToCurr(CurrToStr(c)), c) << CurrToStr(c);
    }
}

TEST(AllocMem, ReturnsZeroedMemory) {
    auto block = AllocMem(4096);
    ASSERT_NE(block, nullptr);
    for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(block[i], std::byte{0}) << i;
}

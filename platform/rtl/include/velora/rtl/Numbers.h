// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Number conversions of the run-time library: text to and from floating
// point (StrToFloat, FloatToStrF), the Currency type (a 64-bit count of
// 1/10000 units) with its exact text conversions, and zero-filled allocation.
//
// Drivers hand numbers over as text with "." as the decimal separator, and the
// stored forms of this library use it too, so StrToFloat, FloatToStr,
// FloatToStrF, StrToCurr and CurrToStr never look at the process locale. Text
// that a person types or reads goes through the Locale... variants, which
// follow the decimal point of the C library's LC_NUMERIC locale.
#pragma once

#include "velora/rtl/SysUtils.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace velora {

/// Formats of FloatToStrF and CurrToStrF.
enum TFloatFormat {
    ffGeneral,   ///< shortest of fixed and scientific; trailing zeros removed
    ffExponent,  ///< "-d.ddddE+xx": Precision digits, exponent of at least Digits digits
    ffFixed,     ///< "-ddd.dd": Digits decimals, at most Precision significant digits
    ffNumber,    ///< as ffFixed with "," between groups of three integer digits
    ffCurrency,  ///< as ffNumber inside the currency format: "$1,234.50", "($1,234.50)"
};

/// Parses a floating point number written with "." as decimal separator:
/// optional blanks, an optional sign, digits with an optional fraction (at
/// least one digit in all), an optional exponent "E"/"e" with optional sign,
/// optional blanks. Whatever the locale. Raises EConvertError
/// "'<text>' is not a valid floating point value" for any other text and for
/// a value beyond the range of a double (values below it become 0).
double StrToFloat(std::string_view text);
/// As StrToFloat, answering False instead of raising; value is untouched then.
bool TryStrToFloat(std::string_view text, double& value);

/// FloatToStrF(value, ffGeneral, 15, 0): "0.1", "1E20", "1.5E-5".
String FloatToStr(double value);

/// Formats a double with "." as decimal separator:
/// - the value is first rounded (half away from zero, on its exact binary
///   value) to at most `precision` significant digits (clamped to 1..18) and,
///   for ffFixed/ffNumber/ffCurrency, to at most `digits` decimals (0..18);
/// - ffGeneral: fixed notation without trailing zeros when the rounded value
///   has at most `precision` integer digits and is not below 0.0001 (decimal
///   exponent >= -3); else "d.dddE[-]x" with at least `digits` (0..4) exponent
///   digits and no "+";
/// - ffExponent: "d.ddd" with exactly `precision` digits, "E", a sign and at
///   least `digits` (0..4) exponent digits;
/// - ffFixed/ffNumber/ffCurrency: exactly `digits` decimals; when the value
///   has more integer digits than `precision`, the ffGeneral scientific form
///   ("1.23456789012346E17").
/// A value that rounds to zero has no minus sign. NaN and infinities give
/// "NAN", "INF" and "-INF".
String FloatToStrF(double value, TFloatFormat format, int precision, int digits);

/// The decimal point of the process's LC_NUMERIC locale ("." in "C").
String LocaleDecimalSeparator();
/// StrToFloat for text a person typed: takes the locale's decimal point and
/// rejects "." where the locale uses another one. Raises EConvertError.
double LocaleStrToFloat(std::string_view text);
bool TryLocaleStrToFloat(std::string_view text, double& value);
/// FloatToStr with the locale's decimal point.
String LocaleFloatToStr(double value);
/// FloatToStrF with the locale's decimal point and thousands separator.
String LocaleFloatToStrF(double value, TFloatFormat format, int precision, int digits);

/// Currency: a signed 64-bit integer counting units of 1/10000,
/// so that decimal amounts with up to four decimals are exact. The range is
/// -922337203685477.5808 .. 922337203685477.5807. Arithmetic is exact where
/// the result is representable; products and quotients are rounded half to
/// even on the fourth decimal (as the x87 floating point unit stores them);
/// any result out of range raises EIntOverflow "Currency overflow", a
/// division by zero EZeroDivide.
class Currency {
public:
    static constexpr std::int64_t Scale = 10000;

    /// Zero.
    constexpr Currency() noexcept = default;
    /// The value whose internal count of 1/10000 units is `units`.
    static constexpr Currency FromUnits(std::int64_t units) noexcept {
        Currency c;
        c.FUnits = units;
        return c;
    }
    /// A whole amount; EIntOverflow when out of range.
    static Currency FromInt(std::int64_t whole);
    /// value × 10000 in extended precision, rounded half to even; EIntOverflow
    /// for NaN, infinities and values out of range.
    static Currency FromDouble(double value);
    /// As FromDouble, answering False instead of raising.
    static bool TryFromDouble(double value, Currency& result) noexcept;

    constexpr std::int64_t Units() const noexcept { return FUnits; }
    /// The nearest double (units / 10000 computed in extended precision).
    double ToDouble() const noexcept;

    Currency operator-() const;
    Currency& operator+=(Currency other);
    Currency& operator-=(Currency other);
    Currency& operator*=(Currency other);
    Currency& operator/=(Currency other);
    friend Currency operator+(Currency a, Currency b) { return a += b; }
    friend Currency operator-(Currency a, Currency b) { return a -= b; }
    friend Currency operator*(Currency a, Currency b) { return a *= b; }
    friend Currency operator/(Currency a, Currency b) { return a /= b; }

    friend constexpr bool operator==(Currency, Currency) noexcept = default;
    friend constexpr std::strong_ordering operator<=>(Currency, Currency) noexcept = default;

private:
    std::int64_t FUnits = 0;
};

inline constexpr Currency MinCurrency = Currency::FromUnits(INT64_MIN);
inline constexpr Currency MaxCurrency = Currency::FromUnits(INT64_MAX);

/// CurrToStrF(value, ffGeneral, 0): the exact value without trailing zeros
/// ("1.5", "-0.0001", "922337203685477.5807").
String CurrToStr(Currency value);
/// Formats a currency value as FloatToStrF does with precision 19, working on
/// the exact decimal value (rounding half away from zero to `digits`).
String CurrToStrF(Currency value, TFloatFormat format, int digits);
/// Parses decimal text (the StrToFloat syntax) exactly, without passing
/// through a double; digits beyond the fourth decimal round half to even.
/// Raises EConvertError "'<text>' is not a valid floating point value" for a
/// bad text or a value outside the currency range.
Currency StrToCurr(std::string_view text);
bool TryStrToCurr(std::string_view text, Currency& value);

/// `size` bytes, all zero.
std::unique_ptr<std::byte[]> AllocMem(std::size_t size);

}  // namespace velora

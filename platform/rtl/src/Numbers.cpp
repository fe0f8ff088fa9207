// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Number text conversions and the Currency type of Numbers.h.
//
// Every formatting routine works on one decimal form of the value (a digit
// string and a decimal exponent, TDecimal below): a double is expanded to its
// exact decimal value with std::to_chars, a currency value is already a
// decimal integer. Rounding to the asked digits then happens once, on the
// exact digits, half away from zero. Parsing
// goes through our own scanner first, so that the accepted syntax does not
// depend on what strtod would take (hex, "inf", the locale's decimal point).
#include "velora/rtl/Numbers.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace velora {

namespace {

bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

String InvalidFloatText(std::string_view text) { return "'" + String(text) + "' is not a valid floating point value"; }

/// A number as written: sign, the digits before and after the point, and the
/// exponent (saturated far beyond any representable range).
struct TNumberText {
    bool Negative = false;
    std::string_view IntDigits;
    std::string_view FracDigits;
    long long Exponent = 0;
};

bool ScanNumber(std::string_view s, TNumberText& out) {
    std::size_t i = 0, n = s.size();
    while (i < n && IsBlank(s[i])) ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        out.Negative = s[i] == '-';
        ++i;
    }
    std::size_t b = i;
    while (i < n && IsDigit(s[i])) ++i;
    out.IntDigits = s.substr(b, i - b);
    if (i < n && s[i] == '.') {
        b = ++i;
        while (i < n && IsDigit(s[i])) ++i;
        out.FracDigits = s.substr(b, i - b);
    }
    if (out.IntDigits.empty() && out.FracDigits.empty()) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            negExp = s[i] == '-';
            ++i;
        }
        b = i;
        long long e = 0;
        while (i < n && IsDigit(s[i])) {
            if (e < 1000000000LL) e = e * 10 + (s[i] - '0');
            ++i;
        }
        if (i == b) return false;
        out.Exponent = negExp ? -e : e;
    }
    while (i < n && IsBlank(s[i])) ++i;
    return i == n;
}

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

/// value = 0.Digits × 10^Exponent; Digits has no leading or trailing zeros
/// and is empty for zero.
struct TDecimal {
    bool Negative = false;
    std::string Digits;
    long long Exponent = 0;
};

void StripTrailingZeros(TDecimal& d) {
    while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
    if (d.Digits.empty()) {
        d.Negative = false;
        d.Exponent = 0;
    }
}

/// The digits and exponent of to_chars' scientific text ("1.2345e+02"),
/// trailing zeros dropped.
void ReadScientific(std::string_view s, TDecimal& d) {
    const std::size_t e = std::min(s.find('e'), s.size());
    d.Digits.reserve(e);
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.') d.Digits += s[i];
    int exp10 = 0;
    std::string_view es = s.substr(std::min(e + 1, s.size()));
    if (!es.empty() && es.front() == '+') es.remove_prefix(1);
    std::from_chars(es.data(), es.data() + es.size(), exp10);
    d.Exponent = exp10 + 1;
    StripTrailingZeros(d);
}

TDecimal DecimalOf(double value) {
    TDecimal d;
    d.Negative = std::signbit(value);
    double a = std::fabs(value);
    if (a == 0) {
        d.Negative = false;
        return d;
    }
    // Print the exact expansion: a = M × 2^q with M odd has at most
    // log10(M) + |q| × log10(5) + 1 significant digits when q < 0, and the
    // digits of its integer value otherwise; never more than 767. Asking
    // for that many (or a few more) digits makes to_chars print without
    // rounding, and asking for no more keeps it fast.
    int e2 = 0;
    double m = std::frexp(a, &e2);
    auto mant = static_cast<std::uint64_t>(std::ldexp(m, 53));
    int q = e2 - 53 + std::countr_zero(mant);
    mant >>= std::countr_zero(mant);
    int sig = q >= 0
                  ? static_cast<int>(std::floor(std::log10(a))) + 2
                  : static_cast<int>(std::ceil(std::log10(static_cast<double>(mant)) + -q * 0.69897000433601886)) + 2;
    sig = std::clamp(sig, 1, 767);
    char buf[800];
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, sig - 1);
    ReadScientific(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)), d);
    return d;
}

/// The value rounded half away from zero to `precision` significant digits
/// (1 to 17), as RoundDecimal rounds DecimalOf's exact expansion, without
/// printing that expansion (hundreds of digits for most doubles): to_chars
/// rounds the exact value correctly, ties to even. The two differ only on a
/// tie, which needs an exact expansion of precision + 1 digits ending in 5;
/// then the next digit, printed correctly rounded, is that 5, and the caller
/// takes the exact road. False then.
bool RoundedDecimalOf(double value, int precision, TDecimal& d) {
    const double a = std::fabs(value);
    char buf[48];
    auto more = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision);
    if (more.ec != std::errc{}) return false;
    const std::string_view longer(buf, static_cast<std::size_t>(more.ptr - buf));
    const std::size_t e1 = longer.find('e');
    if (e1 == std::string_view::npos || e1 == 0 || longer[e1 - 1] == '5') return false;
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision - 1);
    if (res.ec != std::errc{}) return false;
    d = TDecimal{};
    d.Negative = std::signbit(value);
    ReadScientific(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)), d);
    return true;
}

TDecimal DecimalOf(Currency value) {
    TDecimal d;
    std::int64_t u = value.Units();
    d.Negative = u < 0;
    // Magnitude as unsigned so that the most negative value has one.
    std::uint64_t m = u < 0 ? (~static_cast<std::uint64_t>(u) + 1) : static_cast<std::uint64_t>(u);
    d.Digits = std::to_string(m);
    d.Exponent = static_cast<long long>(d.Digits.size()) - 4;
    StripTrailingZeros(d);
    return d;
}

/// Rounds to at most maxSig significant digits and at most maxDecimals
/// digits after the point, half away from zero.
void RoundDecimal(TDecimal& d, int maxSig, int maxDecimals) {
    long long keep = std::min<long long>(maxSig, d.Exponent + maxDecimals);
    if (static_cast<long long>(d.Digits.size()) <= keep) return;
    if (keep < 0) {
        d.Digits.clear();
        StripTrailingZeros(d);
        return;
    }
    bool up = d.Digits[static_cast<std::size_t>(keep)] >= '5';
    d.Digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        std::size_t i = d.Digits.size();
        while (i > 0 && d.Digits[i - 1] == '9') d.Digits[--i] = '0';
        if (i == 0) {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.Exponent;
        } else {
            ++d.Digits[i - 1];
        }
    }
    StripTrailingZeros(d);
}

struct TSeparators {
    std::string_view Decimal = ".";
    std::string_view Thousands = ",";
};

String ExponentText(long long x, bool plusSign, int minDigits) {
    String r = "E";
    if (x < 0)
        r += '-';
    else if (plusSign)
        r += '+';
    String num = std::to_string(x < 0 ? -x : x);
    if (static_cast<int>(num.size()) < minDigits) r.append(static_cast<std::size_t>(minDigits) - num.size(), '0');
    return r + num;
}

String FormatScientificGeneral(const TDecimal& d, int expDigits, const TSeparators& sep) {
    String r = d.Negative ? "-" : "";
    r += d.Digits[0];
    if (d.Digits.size() > 1) {
        r += sep.Decimal;
        r.append(d.Digits, 1);
    }
    return r + ExponentText(d.Exponent - 1, false, expDigits);
}

String FormatGeneral(TDecimal d, int precision, int expDigits, const TSeparators& sep) {
    RoundDecimal(d, precision, 9999);
    if (d.Digits.empty()) return "0";
    if (d.Exponent > precision || d.Exponent < -3) return FormatScientificGeneral(d, expDigits, sep);
    String r = d.Negative ? "-" : "";
    const auto len = static_cast<long long>(d.Digits.size());
    if (d.Exponent <= 0) {
        r += '0';
        r += sep.Decimal;
        r.append(static_cast<std::size_t>(-d.Exponent), '0');
        r += d.Digits;
    } else {
        r.append(d.Digits, 0, static_cast<std::size_t>(std::min(d.Exponent, len)));
        if (d.Exponent > len) r.append(static_cast<std::size_t>(d.Exponent - len), '0');
        if (len > d.Exponent) {
            r += sep.Decimal;
            r.append(d.Digits, static_cast<std::size_t>(d.Exponent));
        }
    }
    return r;
}

String FormatExponent(TDecimal d, int precision, int expDigits, const TSeparators& sep) {
    RoundDecimal(d, precision, 9999);
    long long x = d.Digits.empty() ? 0 : d.Exponent - 1;
    String digits = d.Digits;
    digits.resize(static_cast<std::size_t>(precision), '0');
    String r = d.Negative ? "-" : "";
    r += digits[0];
    if (precision > 1) {
        r += sep.Decimal;
        r.append(digits, 1);
    }
    return r + ExponentText(x, true, expDigits);
}

String GroupThousands(const String& intPart, std::string_view thousands) {
    if (thousands.empty() || intPart.size() <= 3) return intPart;
    String r;
    std::size_t first = intPart.size() % 3;
    if (first == 0) first = 3;
    r.append(intPart, 0, first);
    for (std::size_t i = first; i < intPart.size(); i += 3) {
        r += thousands;
        r.append(intPart, i, 3);
    }
    return r;
}

String FormatFixed(TDecimal d, TFloatFormat format, int precision, int decimals, const TSeparators& sep) {
    RoundDecimal(d, precision, decimals);
    if (!d.Digits.empty() && d.Exponent > precision) return FormatScientificGeneral(d, 0, sep);
    const auto len = static_cast<long long>(d.Digits.size());
    String intPart;
    if (d.Exponent <= 0) {
        intPart = "0";
    } else {
        intPart.assign(d.Digits, 0, static_cast<std::size_t>(std::min(d.Exponent, len)));
        if (d.Exponent > len) intPart.append(static_cast<std::size_t>(d.Exponent - len), '0');
    }
    if (format != ffFixed) intPart = GroupThousands(intPart, sep.Thousands);
    String number = intPart;
    if (decimals > 0) {
        number += sep.Decimal;
        for (int i = 0; i < decimals; ++i) {
            long long k = d.Exponent + i;
            number += (k >= 0 && k < len) ? d.Digits[static_cast<std::size_t>(k)] : '0';
        }
    }
    if (format == ffCurrency) return d.Negative ? "($" + number + ")" : "$" + number;
    return d.Negative ? "-" + number : number;
}

String FormatDecimal(const TDecimal& d, TFloatFormat format, int precision, int digits, const TSeparators& sep) {
    switch (format) {
        case ffGeneral:
            return FormatGeneral(d, precision, std::clamp(digits, 0, 4), sep);
        case ffExponent:
            return FormatExponent(d, precision, std::clamp(digits, 0, 4), sep);
        case ffFixed:
        case ffNumber:
        case ffCurrency:
            return FormatFixed(d, format, precision, std::clamp(digits, 0, 18), sep);
    }
    throw EConvertError("Invalid floating point format");
}

String FloatToText(double value, TFloatFormat format, int precision, int digits, const TSeparators& sep) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    precision = std::clamp(precision, 1, 18);
    TDecimal rounded;
    if ((format == ffGeneral || format == ffExponent) && value != 0 && precision <= 17 &&
        RoundedDecimalOf(value, precision, rounded))
        return FormatDecimal(rounded, format, precision, digits, sep);
    return FormatDecimal(DecimalOf(value), format, precision, digits, sep);
}

TSeparators LocaleSeparators(String& decimalStore, String& thousandsStore) {
    const lconv* lc = std::localeconv();
    decimalStore = (lc && lc->decimal_point && *lc->decimal_point) ? lc->decimal_point : ".";
    thousandsStore = (lc && lc->thousands_sep) ? lc->thousands_sep : "";
    return TSeparators{decimalStore, thousandsStore};
}

[[noreturn]] void CurrencyOverflow() { throw EIntOverflow("Currency overflow"); }

Currency CheckedCurrency(__int128 units) {
    if (units < INT64_MIN || units > INT64_MAX) CurrencyOverflow();
    return Currency::FromUnits(static_cast<std::int64_t>(units));
}

/// q = n / d rounded half to even (d != 0).
__int128 DivRoundHalfEven(__int128 n, __int128 d) {
    __int128 q = n / d, r = n % d;
    if (r == 0) return q;
    __int128 ar = r < 0 ? -r : r, ad = d < 0 ? -d : d;
    bool away = 2 * ar > ad || (2 * ar == ad && (q % 2 != 0));
    if (away) q += ((n < 0) != (d < 0)) ? -1 : 1;
    return q;
}

}  // namespace

// ---- floating point text ---------------------------------------------------

namespace {

/// Digits with an optional fraction, 15 digits at most ("1234.56"), read as
/// the whole number of their digits divided by a power of ten: both are
/// doubles exactly, and one division rounds to the nearest double, the value
/// std::from_chars gives at a fraction of its cost. Most numbers read as text
/// from a data source are such decimals. False for any other text.
bool ReadShortDecimal(const char* p, const char* last, bool negative, double& value) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // Fifteen digits and a point at most: the length alone refuses longer
    // text, and the digits then fit 64 bits with no count kept in the loops.
    const auto length = last - p;
    if (length < 1 || length > 16) return false;
    std::uint64_t digits = 0;
    const char* q = p;
    for (unsigned digit; q != last && (digit = static_cast<unsigned char>(*q) - '0') <= 9; ++q)
        digits = digits * 10 + digit;
    if (q == p) return false;
    long places = 0;
    if (q != last) {
        if (*q != '.' || ++q == last) return false;
        const char* fraction = q;
        for (unsigned digit; q != last && (digit = static_cast<unsigned char>(*q) - '0') <= 9; ++q)
            digits = digits * 10 + digit;
        places = q - fraction;
        if (q != last) return false;
    } else if (length > 15) {
        return false;
    }
    const double v = static_cast<double>(digits) / kPowers[places];
    value = negative ? -v : v;
    return true;
}

/// The number as most text holds it ("-12.5", "1.5E+3"), read in place with
/// std::from_chars, which is locale-free and rounds to the nearest double as
/// strtod does: the general road below gives the same double. False for text
/// it does not take whole (blanks, a "+" sign, out of range) and for text that
/// starts with neither a digit nor a point ("inf", "nan", which from_chars
/// reads but the syntax refuses); that text takes the general road.
bool ReadPlainNumber(std::string_view text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    const char* p = first != last && *first == '-' ? first + 1 : first;
    if (p == last || !(IsDigit(*p) || *p == '.')) return false;
    if (ReadShortDecimal(p, last, p != first, value)) return true;
    double v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec != std::errc{} || end != last) return false;
    value = v;
    return true;
}

/// Any number TryStrToFloat takes that is not plain: apart, so that the
/// plain road does not pay for its frame.
[[gnu::noinline]] bool ReadGeneralNumber(std::string_view text, double& value) {
    TNumberText num;
    if (!ScanNumber(text, num)) return false;
    // A normalised copy that strtod cannot misread: digits, ".", digits, "e".
    String clean;
    clean.reserve(num.IntDigits.size() + num.FracDigits.size() + 24);
    if (num.Negative) clean += '-';
    clean += num.IntDigits.empty() ? std::string_view("0") : num.IntDigits;
    clean += '.';
    clean += num.FracDigits;
    clean += 'e';
    clean += std::to_string(num.Exponent);
    errno = 0;
    char* end = nullptr;
    double v = strtod_l(clean.c_str(), &end, CLocale());
    if (end != clean.c_str() + clean.size()) return false;
    if (errno == ERANGE && std::isinf(v)) return false;  // overflow; underflow keeps the tiny value
    value = v;
    return true;
}

}  // namespace

bool TryStrToFloat(std::string_view text, double& value) {
    return ReadPlainNumber(text, value) || ReadGeneralNumber(text, value);
}

double StrToFloat(std::string_view text) {
    double v = 0;
    if (!TryStrToFloat(text, v)) throw EConvertError(InvalidFloatText(text));
    return v;
}

String FloatToStr(double value) { return FloatToStrF(value, ffGeneral, 15, 0); }

String FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
    return FloatToText(value, format, precision, digits, TSeparators{});
}

String LocaleDecimalSeparator() {
    String dec, thou;
    LocaleSeparators(dec, thou);
    return dec;
}

bool TryLocaleStrToFloat(std::string_view text, double& value) {
    String dec = LocaleDecimalSeparator();
    if (dec == ".") return TryStrToFloat(text, value);
    if (text.find('.') != std::string_view::npos) return false;
    String t(text);
    std::size_t p = t.find(dec);
    if (p != String::npos) t.replace(p, dec.size(), ".");
    return TryStrToFloat(t, value);
}

double LocaleStrToFloat(std::string_view text) {
    double v = 0;
    if (!TryLocaleStrToFloat(text, v)) throw EConvertError(InvalidFloatText(text));
    return v;
}

String LocaleFloatToStr(double value) { return LocaleFloatToStrF(value, ffGeneral, 15, 0); }

String LocaleFloatToStrF(double value, TFloatFormat format, int precision, int digits) {
    String dec, thou;
    TSeparators sep = LocaleSeparators(dec, thou);
    return FloatToText(value, format, precision, digits, sep);
}

// ---- Currency ----------------------------------------------------------------

Currency Currency::FromInt(std::int64_t whole) { return CheckedCurrency(static_cast<__int128>(whole) * Scale); }

bool Currency::TryFromDouble(double value, Currency& result) noexcept {
    if (!std::isfinite(value)) return false;
    // Scaled in extended precision, so that x.xxxx5 values round as written.
    long double x = static_cast<long double>(value) * 10000.0L;
    long double f = std::floor(x);
    long double diff = x - f;
    if (diff > 0.5L || (diff == 0.5L && std::fmod(f, 2.0L) != 0)) f += 1;
    if (f < -9223372036854775808.0L || f >= 9223372036854775808.0L) return false;
    result = FromUnits(static_cast<std::int64_t>(f));
    return true;
}

Currency Currency::FromDouble(double value) {
    Currency c;
    if (!TryFromDouble(value, c)) CurrencyOverflow();
    return c;
}

double Currency::ToDouble() const noexcept { return static_cast<double>(static_cast<long double>(FUnits) / 10000.0L); }

Currency Currency::operator-() const { return CheckedCurrency(-static_cast<__int128>(FUnits)); }

Currency& Currency::operator+=(Currency other) {
    *this = CheckedCurrency(static_cast<__int128>(FUnits) + other.FUnits);
    return *this;
}

Currency& Currency::operator-=(Currency other) {
    *this = CheckedCurrency(static_cast<__int128>(FUnits) - other.FUnits);
    return *this;
}

Currency& Currency::operator*=(Currency other) {
    *this = CheckedCurrency(DivRoundHalfEven(static_cast<__int128>(FUnits) * other.FUnits, Scale));
    return *this;
}

Currency& Currency::operator/=(Currency other) {
    if (other.FUnits == 0) throw EZeroDivide("Division by zero");
    *this = CheckedCurrency(DivRoundHalfEven(static_cast<__int128>(FUnits) * Scale, other.FUnits));
    return *this;
}

String CurrToStr(Currency value) { return CurrToStrF(value, ffGeneral, 0); }

String CurrToStrF(Currency value, TFloatFormat format, int digits) {
    return FormatDecimal(DecimalOf(value), format, 19, digits, TSeparators{});
}

bool TryStrToCurr(std::string_view text, Currency& value) {
    TNumberText num;
    if (!ScanNumber(text, num)) return false;
    std::string digits;
    digits.reserve(num.IntDigits.size() + num.FracDigits.size());
    digits.append(num.IntDigits).append(num.FracDigits);
    std::size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) {
        value = Currency();
        return true;
    }
    digits.erase(0, lead);
    // units = digits × 10^shift
    long long shift = num.Exponent - static_cast<long long>(num.FracDigits.size()) + 4;
    const unsigned __int128 limit =
        num.Negative ? static_cast<unsigned __int128>(INT64_MAX) + 1 : static_cast<unsigned __int128>(INT64_MAX);
    std::string kept;
    bool up = false;
    if (shift >= 0) {
        if (static_cast<long long>(digits.size()) + shift > 19) return false;
        kept = digits + std::string(static_cast<std::size_t>(shift), '0');
    } else {
        auto drop = static_cast<unsigned long long>(-shift);
        std::string dropped;
        if (drop >= digits.size()) {
            // Every digit is beyond the fourth decimal; pad the dropped part
            // with the zeros in front of it (capped: they only decide < 0.5).
            std::size_t pad = static_cast<std::size_t>(std::min<unsigned long long>(drop - digits.size(), 2));
            dropped = std::string(pad, '0') + digits;
        } else {
            kept = digits.substr(0, digits.size() - drop);
            dropped = digits.substr(digits.size() - drop);
        }
        bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
        bool lastOdd = !kept.empty() && ((kept.back() - '0') % 2 != 0);
        up = dropped[0] > '5' || (dropped[0] == '5' && (restNonZero || lastOdd));
        if (kept.size() > 19) return false;
    }
    unsigned __int128 m = 0;
    for (char c : kept) m = m * 10 + static_cast<unsigned>(c - '0');
    if (up) ++m;
    if (m > limit) return false;
    value = Currency::FromUnits(num.Negative ? static_cast<std::int64_t>(-static_cast<__int128>(m))
                                             : static_cast<std::int64_t>(m));
    return true;
}

Currency StrToCurr(std::string_view text) {
    Currency c;
    if (!TryStrToCurr(text, c)) throw EConvertError(InvalidFloatText(text));
    return c;
}

std::unique_ptr<std::byte[]> AllocMem(std::size_t size) {
    return std::make_unique<std::byte[]>(size);  // value-initialised: all zero
}

}  // namespace velora

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Packed decimal conversions. Reading accumulates the digits in 80-bit
// extended floating point and rounds once, half to even, as the
// x87 floating point unit does; writing works on the 64-bit currency count.
#include "velora/engine/FMTBCD.h"

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>

namespace velora {

namespace {

int DigitAt(const ODBCFMTBCD& bcd, int i) {
    std::uint8_t b = bcd.Fraction[i / 2];
    return (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
}

long double Pow10(int n) {
    long double p = 1.0L;
    for (int i = 0; i < n; ++i) p *= 10.0L;
    return p;
}

}  // namespace

bool ODBCFMTBCDToCurr(const ODBCFMTBCD& bcd, Currency& curr) {
    const int precision = bcd.Precision;
    if (precision == 0) return false;
    const int digits = precision > 64 ? 64 : precision;
    const int scale = bcd.SignSpecialPlaces & 0x3F;
    const bool negative = (bcd.SignSpecialPlaces & 0x80) != 0;

    long double value = 0.0L;
    for (int i = 0; i < digits; ++i) value = value * 10.0L + DigitAt(bcd, i);
    if (negative) value = -value;
    // Scale to units of 1/10000. Dividing by an exact power of ten (rather
    // than multiplying by its inexact inverse) keeps halves exact, so they
    // round to even as they should.
    if (scale <= 4)
        value *= Pow10(4 - scale);
    else
        value /= Pow10(scale - 4);

    const int oldRound = std::fegetround();
    std::fesetround(FE_TONEAREST);
    long double rounded = std::nearbyintl(value);
    std::fesetround(oldRound);

    // 2^63 is exact in extended precision; values at or beyond it do not fit.
    constexpr long double limit = 9223372036854775808.0L;
    if (!(rounded < limit) || rounded < -limit) {
        curr = MinCurrency;
        return false;
    }
    curr = Currency::FromUnits(static_cast<std::int64_t>(rounded));
    return true;
}

bool ODBCCurrToFMTBCD(Currency curr, ODBCFMTBCD& bcd, int precision, int decimals) {
    if (precision < 1 || precision > 64 || decimals < 0 || decimals > 63) return false;
    bcd.Precision = static_cast<std::uint8_t>(precision);
    bcd.SignSpecialPlaces = static_cast<std::uint8_t>(decimals);

    std::int64_t units = curr.Units();
    // The magnitude in unsigned arithmetic, so the most negative value works.
    bool negative = units < 0;
    std::uint64_t magnitude = negative ? (~static_cast<std::uint64_t>(units) + 1) : static_cast<std::uint64_t>(units);
    int zeroTail = 0;  // trailing digit positions that stay 0
    if (decimals < 4) {
        static constexpr std::uint64_t divisors[] = {10000, 1000, 100, 10};
        const std::uint64_t d = divisors[decimals];
        std::uint64_t q = magnitude / d;
        std::uint64_t r = magnitude % d;
        // Half to even on the magnitude is the same as on the signed value.
        if (r * 2 > d || (r * 2 == d && (q & 1) != 0)) ++q;
        magnitude = q;
    } else if (decimals > 4) {
        zeroTail = decimals - 4;
        if (zeroTail > precision) return false;
    }
    if (magnitude == 0) negative = false;
    if (negative) bcd.SignSpecialPlaces |= 0x80;

    const int available = precision - zeroTail;
    std::uint8_t positions[64] = {};
    int pos = available - 1;
    while (magnitude != 0) {
        if (pos < 0) return false;  // the value needs more positions than there are
        positions[pos--] = static_cast<std::uint8_t>(magnitude % 10);
        magnitude /= 10;
    }

    std::memset(bcd.Fraction, 0, sizeof bcd.Fraction);
    for (int i = 0; i < precision; ++i) {
        std::uint8_t digit = positions[i];
        if (i % 2 == 0)
            bcd.Fraction[i / 2] = static_cast<std::uint8_t>(digit << 4);
        else
            bcd.Fraction[i / 2] = static_cast<std::uint8_t>(bcd.Fraction[i / 2] | digit);
    }
    return true;
}

bool ODBCTextToFMTBCD(std::string_view text, ODBCFMTBCD& bcd) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    auto digits = [](std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; };
    if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction)) return false;
    while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
    const std::string all = std::string(whole.empty() ? "0" : whole) + std::string(fraction);
    if (all.size() > 64 || fraction.size() > 63) return false;
    ODBCFMTBCD out;
    out.Precision = static_cast<std::uint8_t>(all.size());
    out.SignSpecialPlaces = static_cast<std::uint8_t>(fraction.size() | (negative ? 0x80u : 0u));
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto d = static_cast<std::uint8_t>(all[i] - '0');
        out.Fraction[i / 2] = static_cast<std::uint8_t>(out.Fraction[i / 2] | (i % 2 ? d : d << 4));
    }
    bcd = out;
    return true;
}

String ODBCFMTBCDToText(const ODBCFMTBCD& bcd) {
    const int precision = bcd.Precision > 64 ? 64 : bcd.Precision;
    if (precision == 0) return String();
    const int scale = bcd.SignSpecialPlaces & 0x3F;
    String digits;
    for (int i = 0; i < precision; ++i) digits += static_cast<char>('0' + (DigitAt(bcd, i) % 10));
    // Digits the scale reaches beyond the precision are leading zeros.
    if (static_cast<int>(digits.size()) < scale + 1)
        digits.insert(0, static_cast<std::size_t>(scale + 1) - digits.size(), '0');
    String whole = digits.substr(0, digits.size() - static_cast<std::size_t>(scale));
    String fraction = digits.substr(digits.size() - static_cast<std::size_t>(scale));
    std::size_t first = whole.find_first_not_of('0');
    whole = first == String::npos ? "0" : whole.substr(first);
    bool zero = whole == "0" && fraction.find_first_not_of('0') == String::npos;
    String text = (bcd.SignSpecialPlaces & 0x80) && !zero ? "-" : "";
    text += whole;
    if (scale > 0) text += "." + fraction;
    return text;
}

}  // namespace velora

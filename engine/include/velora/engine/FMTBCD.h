// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// ODBCFMTBCD, the 34-byte packed decimal in which BCD field values and BCD
// parameters are held, and its conversions to and from Currency (velora/rtl/Numbers.h).
// The dataset's BCDToCurr/CurrToBCD and the parameters are built on these.
#pragma once

#include "velora/rtl/Numbers.h"
#include "velora/rtl/SysUtils.h"

#include <cstdint>

namespace velora {

/// Packed decimal: (-1)^sign × (the digit string as an integer) / 10^scale.
struct ODBCFMTBCD {
    /// Number of decimal digits, 1..64; 0 means no value.
    std::uint8_t Precision = 0;
    /// Bit 7: sign (1 = negative); bits 0..5: scale (digits after the point);
    /// bit 6 unused (ignored on reading).
    std::uint8_t SignSpecialPlaces = 0;
    /// The digits, two per byte, high nibble first, most significant first;
    /// only the first (Precision + 1) / 2 bytes are used, and when Precision is
    /// odd the low nibble of the last one is a zero pad.
    std::uint8_t Fraction[32] = {};
};
static_assert(sizeof(ODBCFMTBCD) == 34);

/// Converts a packed decimal to currency (units of 1/10000), rounding half to
/// even. False when the precision byte is 0 (`curr` untouched) or the value
/// does not fit (then `curr` holds the most negative currency value).
bool ODBCFMTBCDToCurr(const ODBCFMTBCD& bcd, Currency& curr);

/// Writes `curr` as a packed decimal of `precision` digits (1..64) with
/// `decimals` of them after the point (0..63), rounding half to even when
/// `decimals` < 4. False when the value needs more digits than `precision`
/// allows (bytes 0 and 1 are written, the digits are not), or when the
/// arguments are out of range.
bool ODBCCurrToFMTBCD(Currency curr, ODBCFMTBCD& bcd, int precision, int decimals);

/// The value as decimal text with "." ("-12.50"; "0" for zero digits, keeping
/// the scale: "0.00"); empty when the precision byte is 0. Digits beyond the
/// precision are not read.
String ODBCFMTBCDToText(const ODBCFMTBCD& bcd);

/// Reads a plain decimal text ("[-|+]digits[.digits]") into a packed decimal
/// holding exactly its digits (precision at most 64, scale at most 63).
/// False for other text or more digits; `bcd` is then untouched.
bool ODBCTextToFMTBCD(std::string_view text, ODBCFMTBCD& bcd);

}  // namespace velora

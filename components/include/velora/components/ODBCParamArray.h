// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParamArray: the values of one query parameter for every parameter set
// of an array execution (TODBCQuery::SetArraySize, ArrayValues). A set holds
// NULL, an integer, a floating-point number, a date and time (to the
// nanosecond), or text/bytes; ExecSQL converts each value to the parameter's
// DataType as it lays out the sets, refusing what would change on the way
// (a fraction for an integer parameter, text that is no number or date, a
// floating-point number for a decimal parameter) with the set's index named.
//
// Storage: one fixed cell a set, allocated when the size is set, and one
// growing block for every text and byte value of the parameter; filling any
// number of sets allocates nothing per set. A set written twice keeps its
// first text's bytes in the block until Clear.
#pragma once

#include "velora/db/DBTypes.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/SysUtils.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace velora {

/// One parameter's values across the sets of an array execution.
class TODBCParamArray {
public:
    /// What a set holds.
    enum class TKind : std::uint8_t { Unset, Null, Int, Float, DateTime, Text };

    /// The number of sets (values beyond it are dropped, new sets unset).
    std::int64_t Size() const { return static_cast<std::int64_t>(FKinds.size()); }
    void SetSize(std::int64_t Value);
    /// Every set unset; the text block emptied.
    void Clear();

    /// NULL in set `Set`. Every setter raises EListError for a set outside
    /// 0 .. Size - 1.
    void SetNull(std::int64_t Set);
    void SetAsLargeInt(std::int64_t Set, std::int64_t Value);
    void SetAsInteger(std::int64_t Set, std::int32_t Value) { SetAsLargeInt(Set, Value); }
    void SetAsBoolean(std::int64_t Set, bool Value) { SetAsLargeInt(Set, Value ? 1 : 0); }
    void SetAsFloat(std::int64_t Set, double Value);
    /// A date and time to the millisecond.
    void SetAsDateTime(std::int64_t Set, TDateTime Value);
    /// A date and time to the nanosecond (year 1 .. 9999).
    void SetAsTimeStamp(std::int64_t Set, int Year, int Month, int Day, int Hour, int Minute, int Second,
                        std::uint32_t Nanos);
    /// Characters or bytes, or the exact text of a value: a decimal's digits
    /// ("-12345.678901"), a date "YYYY-MM-DD", a time "HH:MM:SS[.fraction]",
    /// a date and time "YYYY-MM-DD HH:MM:SS[.fraction]" with up to nine
    /// fraction digits, an integer's digits.
    void SetAsString(std::int64_t Set, const String& Value) { SetText(Set, Value.data(), Value.size()); }
    void SetText(std::int64_t Set, const char* Data, std::size_t Length);

    TKind Kind(std::int64_t Set) const { return FKinds[Index(Set)]; }
    bool IsNull(std::int64_t Set) const { return Kind(Set) == TKind::Null; }
    std::int64_t AsLargeInt(std::int64_t Set) const { return FCells[Index(Set)].A; }
    double AsFloat(std::int64_t Set) const;
    /// The text or bytes of a Text set.
    std::string_view AsText(std::int64_t Set) const;
    /// The parts of a DateTime set.
    void DecodeTimeStamp(std::int64_t Set, int& Year, int& Month, int& Day, int& Hour, int& Minute, int& Second,
                         std::uint32_t& Nanos) const;

private:
    /// 16 bytes a set: an integer or double's bits (A), a text's offset and
    /// length (A, B), or a date and time's packed parts.
    struct TCell {
        std::int64_t A = 0;
        std::int64_t B = 0;
    };
    std::size_t Index(std::int64_t Set) const;

    std::vector<TKind> FKinds;
    std::vector<TCell> FCells;
    String FText;
};

}  // namespace velora

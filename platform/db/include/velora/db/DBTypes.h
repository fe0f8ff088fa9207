// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The dataset framework's enumerations. Their ordinals are stored (parameter
// lists in form files keep TFieldType ordinals) and compared, so the order of
// the values must not change.
#pragma once

#include <cstdint>
#include <iterator>

namespace velora {

enum TFieldType : std::uint16_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftLargeint,  ///< 64-bit integer; after the others, so stored type codes keep their numbers
    ftGuid       ///< a GUID, as its text {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} (a TStringField of size 38)
};
/// The last field type: the tables indexed by field type end here.
inline constexpr TFieldType kLastFieldType = ftGuid;
inline constexpr int kFieldTypeCount = kLastFieldType + 1;

/// What a field type's value is, whatever its buffer form: what copies,
/// binds and converts a value by its kind reads this.
enum class TValueKind : std::uint8_t {
    None,      ///< no value (ftUnknown, ftCursor)
    Text,      ///< characters of a bounded length (ftString, ftGuid)
    LongText,  ///< characters of any length (the memo kinds)
    Integer,   ///< an integer of DataSize bytes, Signed or not
    Boolean,
    Float,     ///< a double (ftFloat, ftCurrency)
    Decimal,   ///< a packed decimal (ftBCD)
    Date,
    Time,
    DateTime,
    Bytes,     ///< binary data (fixed, variable, or the binary BLOB kinds)
};

/// The facts of one field type, in one row of FieldTypes: what the field
/// classes, the field definitions and the datasets ask about a type reads
/// this row instead of restating it.
struct TFieldTypeInfo {
    const char* Name;          ///< "ftString", ...
    std::uint8_t DataSize;     ///< bytes of the fixed buffer form; 0: sized by the field (text, bytes) or none (BLOBs)
    std::uint8_t Align;        ///< alignment of the buffer form's value (1 for text and bytes)
    bool Signed;               ///< integers: the buffer form is signed
    TValueKind Kind;           ///< what the value is
    std::uint8_t DefaultWidth; ///< characters a control shows; 0: the field's size
    bool RightJustify;         ///< numbers are shown right-aligned
    bool Blob;                 ///< values go through BLOB streams, never a buffer form
    std::uint16_t FixedSize;   ///< a text type of one length (the field's size is always this), else 0
    /// The type whose field class serves this one: its own type when it has a
    /// class of its own, another (ftBlob for the BLOB kinds) when it shares
    /// one, ftUnknown when no field can hold it.
    TFieldType ClassOf;
};

/// One row per TFieldType, in the order of the enumeration.
inline constexpr TFieldTypeInfo FieldTypes[] = {
    // Name           Size Al Sgn    Kind                  Width Right  Blob   Fixed ClassOf
    {"ftUnknown",     0,   1, false, TValueKind::None,     10, false, false, 0, ftUnknown},
    {"ftString",      0,   1, false, TValueKind::Text,      0, false, false, 0, ftString},
    {"ftSmallint",    2,   2, true,  TValueKind::Integer,   6, true,  false, 0, ftSmallint},
    {"ftInteger",     4,   4, true,  TValueKind::Integer,  11, true,  false, 0, ftInteger},
    {"ftWord",        2,   2, false, TValueKind::Integer,   5, true,  false, 0, ftWord},
    {"ftBoolean",     2,   2, false, TValueKind::Boolean,   5, false, false, 0, ftBoolean},
    {"ftFloat",       8,   8, true,  TValueKind::Float,    10, true,  false, 0, ftFloat},
    {"ftCurrency",    8,   8, true,  TValueKind::Float,    10, true,  false, 0, ftCurrency},
    {"ftBCD",         34,  1, true,  TValueKind::Decimal,  10, true,  false, 0, ftBCD},
    {"ftDate",        4,   4, true,  TValueKind::Date,     10, false, false, 0, ftDate},
    {"ftTime",        4,   4, true,  TValueKind::Time,      8, false, false, 0, ftTime},
    {"ftDateTime",    8,   8, true,  TValueKind::DateTime, 19, false, false, 0, ftDateTime},
    {"ftBytes",       0,   1, false, TValueKind::Bytes,    10, false, false, 0, ftBytes},
    {"ftVarBytes",    0,   2, false, TValueKind::Bytes,    10, false, false, 0, ftVarBytes},
    {"ftAutoInc",     4,   4, true,  TValueKind::Integer,  11, true,  false, 0, ftAutoInc},
    {"ftBlob",        0,   1, false, TValueKind::Bytes,    10, false, true,  0, ftBlob},
    {"ftMemo",        0,   1, false, TValueKind::LongText, 10, false, true,  0, ftMemo},
    {"ftGraphic",     0,   1, false, TValueKind::Bytes,    10, false, true,  0, ftGraphic},
    {"ftFmtMemo",     0,   1, false, TValueKind::LongText, 10, false, true,  0, ftBlob},
    {"ftParadoxOle",  0,   1, false, TValueKind::Bytes,    10, false, true,  0, ftBlob},
    {"ftDBaseOle",    0,   1, false, TValueKind::Bytes,    10, false, true,  0, ftBlob},
    {"ftTypedBinary", 0,   1, false, TValueKind::Bytes,    10, false, true,  0, ftBlob},
    {"ftCursor",      0,   1, false, TValueKind::None,     10, false, false, 0, ftUnknown},
    {"ftLargeint",    8,   8, true,  TValueKind::Integer,  20, true,  false, 0, ftLargeint},
    {"ftGuid",        0,   1, false, TValueKind::Text,      0, false, false, 38, ftString},
};
static_assert(std::size(FieldTypes) == kFieldTypeCount, "one row of FieldTypes per TFieldType");

/// The row of a field type; types beyond the enumeration read as ftUnknown.
inline const TFieldTypeInfo& FieldTypeInfo(TFieldType t) {
    return static_cast<int>(t) < kFieldTypeCount ? FieldTypes[t] : FieldTypes[ftUnknown];
}

/// The name of a field type ("ftString", ...).
inline const char* FieldTypeName(TFieldType t) { return FieldTypeInfo(t).Name; }

enum TDataSetState : std::uint8_t {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue
};
enum TGetMode : std::uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : std::uint8_t { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag : std::uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TBlobStreamMode : std::uint8_t { bmRead, bmWrite, bmReadWrite };
enum TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };
enum TUpdateKind : std::uint8_t { ukModify, ukInsert, ukDelete };

/// Data events sent to data links; 0 is the field change, 8 the property change.
enum TDataEvent : std::uint8_t {
    deFieldChange = 0,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
    dePropertyChange,
    deFieldListChange,
    deFocusControl
};

}  // namespace velora

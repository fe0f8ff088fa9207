// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The dataset framework's enumerations. Their ordinals are stored (parameter
// lists in form files keep TFieldType ordinals) and compared, so the order of
// the values must not change.
#pragma once

#include <cstdint>

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
    ftLargeint  ///< 64-bit integer; after the others, so stored type codes keep their numbers
};
inline constexpr int kFieldTypeCount = ftLargeint + 1;

/// The name of a field type ("ftString", ...).
inline const char* FieldTypeName(TFieldType t) {
    static const char* const names[] = {"ftUnknown",  "ftString",      "ftSmallint", "ftInteger",  "ftWord",
                                        "ftBoolean",  "ftFloat",       "ftCurrency", "ftBCD",      "ftDate",
                                        "ftTime",     "ftDateTime",    "ftBytes",    "ftVarBytes", "ftAutoInc",
                                        "ftBlob",     "ftMemo",        "ftGraphic",  "ftFmtMemo",  "ftParadoxOle",
                                        "ftDBaseOle", "ftTypedBinary", "ftCursor",   "ftLargeint"};
    return static_cast<int>(t) < kFieldTypeCount ? names[t] : "ftUnknown";
}

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

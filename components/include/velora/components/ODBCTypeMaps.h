// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The four translation tables between the dataset framework's field types (TFieldType)
// and the engine's type codes (fcXxx, fscXxx). The dataset reads
// ODBCDataTypeMap and ODBCBlobTypeMap when it turns column descriptors into
// field definitions; a query reads ODBCFldTypeMap and ODBCFldSubTypeMap when
// it builds descriptors for its parameters.
#pragma once

#include "velora/engine/ODBCTypes.h"
#include "velora/db/DBTypes.h"

#include <array>
#include <cstdint>

namespace velora {

/// A read-only table indexed from Low to High, like a C array with
/// bounds of its own (the BLOB map is indexed by sub-types 22..28).
template <typename T, int Low, int High>
struct TRangeTable {
    std::array<T, High - Low + 1> Items;
    static constexpr int LowIndex = Low;
    static constexpr int HighIndex = High;
    /// The entry for `index` (Low <= index <= High).
    constexpr const T& operator[](int index) const { return Items[static_cast<std::size_t>(index - Low)]; }
    static constexpr bool Contains(int index) { return index >= Low && index <= High; }
};

/// Dataset field type -> engine field type code.
extern const TRangeTable<std::uint8_t, ftUnknown, kLastFieldType> ODBCFldTypeMap;
/// Dataset field type -> engine sub-type code (0 for none).
extern const TRangeTable<std::uint16_t, ftUnknown, kLastFieldType> ODBCFldSubTypeMap;
/// Engine field type code -> dataset field type.
extern const TRangeTable<TFieldType, fcUnknown, kLastFldType> ODBCDataTypeMap;
/// Engine sub-type code of a long column (fscMemo..fscTypedBinary) -> dataset field type.
extern const TRangeTable<TFieldType, fscMemo, fscTypedBinary> ODBCBlobTypeMap;

}  // namespace velora

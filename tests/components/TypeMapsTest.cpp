// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The type translation tables: what a dataset field type becomes on its way to
// the engine and back. The field types whose engine code maps back to another
// field type are exactly the ones the dataset cannot tell apart from the
// column description alone.
#include "velora/components/ODBCTypeMaps.h"

#include <gtest/gtest.h>

#include <set>

namespace velora {
namespace {

/// The field type a field of type t comes back as after a trip through the
/// engine's codes (the dataset's rule: long columns through their sub-type).
TFieldType RoundTrip(TFieldType t) {
    std::uint8_t code = ODBCFldTypeMap[t];
    if (code == fcBlob) {
        std::uint16_t sub = ODBCFldSubTypeMap[t];
        return ODBCBlobTypeMap.Contains(sub) ? ODBCBlobTypeMap[sub] : ftBlob;
    }
    return code <= fcCursor ? ODBCDataTypeMap[code] : ftUnknown;
}

TEST(TypeMaps, HostTypesSurviveTheTripExceptTheAliasesTheEngineMerges) {
    // ftCurrency travels as a float, ftAutoInc as an integer; a cursor is
    // never a field.
    const std::set<TFieldType> merged = {ftCurrency, ftAutoInc, ftCursor};
    for (int i = ftUnknown; i <= ftCursor; ++i) {
        auto t = static_cast<TFieldType>(i);
        if (merged.count(t)) continue;
        EXPECT_EQ(RoundTrip(t), t) << FieldTypeName(t);
    }
    EXPECT_EQ(RoundTrip(ftCurrency), ftFloat);
    EXPECT_EQ(RoundTrip(ftAutoInc), ftInteger);
    EXPECT_EQ(RoundTrip(ftCursor), ftUnknown);
}

TEST(TypeMaps, SubTypesMarkTheMergedAndLongTypes) {
    EXPECT_EQ(ODBCFldSubTypeMap[ftCurrency], fscMoney);
    EXPECT_EQ(ODBCFldSubTypeMap[ftAutoInc], fscAutoInc);
    // Every long field type has its own sub-type, and only they have one
    // among the sub-types the BLOB map knows.
    std::set<std::uint16_t> seen;
    for (int i = ftUnknown; i <= ftCursor; ++i) {
        auto t = static_cast<TFieldType>(i);
        std::uint16_t sub = ODBCFldSubTypeMap[t];
        if (ODBCFldTypeMap[t] == fcBlob) {
            EXPECT_TRUE(ODBCBlobTypeMap.Contains(sub)) << FieldTypeName(t);
            EXPECT_TRUE(seen.insert(sub).second) << FieldTypeName(t) << " shares its sub-type";
        } else {
            EXPECT_FALSE(ODBCBlobTypeMap.Contains(sub)) << FieldTypeName(t);
        }
    }
}

TEST(TypeMaps, CodesWithoutMeaningMapToUnknown) {
    EXPECT_EQ(ODBCDataTypeMap[14], ftUnknown);
    EXPECT_EQ(ODBCDataTypeMap[16], ftUnknown);
    EXPECT_EQ(ODBCDataTypeMap[fcCursor], ftUnknown);
    EXPECT_EQ(ODBCDataTypeMap[fcUInt32], ftInteger);
}

}  // namespace
}  // namespace velora

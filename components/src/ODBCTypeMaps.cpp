// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The type translation tables (see ODBCTypeMaps.h).
#include "velora/components/ODBCTypeMaps.h"

namespace velora {

const TRangeTable<std::uint8_t, ftUnknown, kLastFieldType> ODBCFldTypeMap{{
    fcUnknown,    // ftUnknown
    fcString,     // ftString
    fcInt16,      // ftSmallint
    fcInt32,      // ftInteger
    fcUInt16,     // ftWord
    fcBoolean,    // ftBoolean
    fcFloat,      // ftFloat
    fcFloat,      // ftCurrency
    fcBCD,        // ftBCD
    fcDate,       // ftDate
    fcTime,       // ftTime
    fcTimeStamp,  // ftDateTime
    fcBytes,      // ftBytes
    fcVarBytes,   // ftVarBytes
    fcInt32,      // ftAutoInc
    fcBlob,       // ftBlob
    fcBlob,       // ftMemo
    fcBlob,       // ftGraphic
    fcBlob,       // ftFmtMemo
    fcBlob,       // ftParadoxOle
    fcBlob,       // ftDBaseOle
    fcBlob,       // ftTypedBinary
    fcCursor,     // ftCursor
    fcInt64,      // ftLargeint
    fcGuid,       // ftGuid
}};

const TRangeTable<std::uint16_t, ftUnknown, kLastFieldType> ODBCFldSubTypeMap{{
    0,               // ftUnknown
    0,               // ftString
    0,               // ftSmallint
    0,               // ftInteger
    0,               // ftWord
    0,               // ftBoolean
    0,               // ftFloat
    fscMoney,        // ftCurrency
    0,               // ftBCD
    0,               // ftDate
    0,               // ftTime
    0,               // ftDateTime
    0,               // ftBytes
    0,               // ftVarBytes
    fscAutoInc,      // ftAutoInc
    fscBinary,       // ftBlob
    fscMemo,         // ftMemo
    fscGraphic,      // ftGraphic
    fscFmtMemo,      // ftFmtMemo
    fscOleObj,       // ftParadoxOle
    fscDBaseOle,     // ftDBaseOle
    fscTypedBinary,  // ftTypedBinary
    0,               // ftCursor
    0,               // ftLargeint
    0,               // ftGuid
}};

const TRangeTable<TFieldType, fcUnknown, kLastFldType> ODBCDataTypeMap{{
    ftUnknown,   // 0 fcUnknown
    ftString,    // 1 fcString
    ftDate,      // 2 fcDate
    ftBlob,      // 3 fcBlob
    ftBoolean,   // 4 fcBoolean
    ftSmallint,  // 5 fcInt16
    ftInteger,   // 6 fcInt32
    ftFloat,     // 7 fcFloat
    ftBCD,       // 8 fcBCD
    ftBytes,     // 9 fcBytes
    ftTime,      // 10 fcTime
    ftDateTime,  // 11 fcTimeStamp
    ftWord,      // 12 fcUInt16
    ftInteger,   // 13 fcUInt32
    ftUnknown,   // 14
    ftVarBytes,  // 15 fcVarBytes
    ftUnknown,   // 16
    ftUnknown,   // 17 fcCursor
    ftLargeint,  // 18 fcInt64
    ftGuid,      // 19 fcGuid
}};

const TRangeTable<TFieldType, fscMemo, fscTypedBinary> ODBCBlobTypeMap{{
    ftMemo,         // 22 fscMemo
    ftBlob,         // 23 fscBinary
    ftFmtMemo,      // 24 fscFmtMemo
    ftParadoxOle,   // 25 fscOleObj
    ftGraphic,      // 26 fscGraphic
    ftDBaseOle,     // 27 fscDBaseOle
    ftTypedBinary,  // 28 fscTypedBinary
}};

}  // namespace velora

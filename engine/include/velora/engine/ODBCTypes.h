// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The engine's own vocabulary for column and parameter types: the field type
// codes (fcXxx) and sub-type codes (fscXxx) that the engine writes into its
// column descriptors and that the dataset maps onto the dataset framework's
// TFieldType, and TODBCFldDesc, the descriptor of one result column or one
// statement parameter shared by the cursor (ODBCCursor.h), the parameter
// binder (ODBCStatement.h) and the query.
//
// Descriptors are an ordinary struct of fixed-width fields in a fixed order:
// next to the 32-byte FldName they carry the column's full name (FullName),
// so that names longer than 31 characters keep working, and the C type the
// engine fetches the column with (CType), so that values held in a record
// are bound with the form they are held in.
#pragma once

#include "velora/odbc/ODBCDefs.h"
#include "velora/rtl/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velora {

/// Engine field type codes (TODBCFldDesc.FldType). The engine's describer
/// produces only fcString, fcBlob, fcBoolean, fcInt16, fcInt32, fcInt64,
/// fcFloat, fcBytes, fcDate, fcTime, fcTimeStamp and fcVarBytes (a type it has no form for is
/// described as text); the others come from the dataset's parameters (see the
/// type maps in ODBCTypeMaps.h).
enum : std::uint16_t {
    fcUnknown = 0,     ///< no usable type (parameters): occupies nothing in a record, never bound
    fcString = 1,      ///< zero-terminated character data; Units1 = length
    fcDate = 2,        ///< date: date-only columns (SQL_C_TYPE_DATE), parameters (a day count)
    fcBlob = 3,        ///< long data, never bound; SubType fscMemo or fscBinary
    fcBoolean = 4,     ///< boolean (SQL_C_BIT, one byte)
    fcInt16 = 5,       ///< signed 16-bit integer
    fcInt32 = 6,       ///< signed 32-bit integer
    fcFloat = 7,       ///< 8-byte double, or a decimal held as its text (CType SQL_C_CHAR)
    fcBCD = 8,         ///< packed decimal ODBCFMTBCD (parameters only)
    fcBytes = 9,       ///< fixed-length binary; Units1 = length
    fcTime = 10,       ///< time of day: time-only columns (held as text), parameters (milliseconds)
    fcTimeStamp = 11,  ///< date and time (SQL_C_TYPE_TIMESTAMP, the fraction to the nanosecond)
    fcUInt16 = 12,     ///< unsigned 16-bit integer (parameters only)
    fcUInt32 = 13,     ///< unsigned 32-bit integer (parameters only)
    fcVarBytes = 15,   ///< variable-length binary; Units1 = maximum length
    fcCursor = 17,     ///< cursor; never becomes a field
    fcInt64 = 18,      ///< signed 64-bit integer (SQL_C_SBIGINT)
    fcGuid = 19,       ///< GUID: SQL_C_GUID's 16 bytes, or its text where the column holds text
};
/// The highest engine field type code: tables indexed by code end here.
inline constexpr std::uint16_t kLastFldType = fcGuid;
/// One past the highest engine type code, sub-type codes the binder reads
/// as types (fscMemo) included: the size of the engine's type table.
inline constexpr std::uint16_t kFldTypeCodes = 23;

/// Engine sub-type codes (TODBCFldDesc.SubType); 0 means none.
enum : std::uint16_t {
    fscMoney = 21,
    fscMemo = 22,    ///< long character data
    fscBinary = 23,  ///< long binary data
    fscFmtMemo = 24,
    fscOleObj = 25,
    fscGraphic = 26,
    fscDBaseOle = 27,
    fscTypedBinary = 28,
    fscAutoInc = 29,
    /// Parameters: the value lies in the buffer as its exact text (SQL_C_CHAR)
    /// and is sent as the SQL type of FldType (fcBCD, fcDate, fcTime,
    /// fcTimeStamp), so no digit or fraction is lost on the way.
    fscExactText = 30,
};

/// Longest character or binary column the engine binds into the record;
/// longer ones are read and written as long data (fcBlob), so no 16-bit size
/// or offset of the layout can wrap.
inline constexpr std::uint32_t kMaxBoundColumnLength = 8000;

/// Units2 of a decimal held as text whose column has no scale of its own
/// (PostgreSQL's unconstrained numeric): its values keep every digit.
inline constexpr std::int16_t kAnyScale = -1;

/// Bytes of FldName, the terminator included.
inline constexpr std::size_t kFldNameSize = 32;

/// The outcome of reading one value from a record: delivered, blank
/// (nothing delivered), or not convertible (blank, and GetField answers -1).
enum class TODBCReadResult : std::uint8_t { Value, Blank, Failed };

struct TODBCFldDesc;

/// The facts of one engine type code, one row of the engine's type table
/// (ODBCTypeFacts): the C type values are held and parameters bound in, the
/// SQL type parameters are sent as, the size of the record area, and the one
/// reader and writer that move a value between the record area and the
/// field's buffer form. Describing, binding, fetching, writing back and
/// parameters read the same row.
struct TODBCTypeFacts {
    /// Reads the value in `area` (`length` bytes by its indicator) into
    /// `out`, in the field's buffer form.
    using TReader = TODBCReadResult (*)(const TODBCFldDesc& d, const std::byte* area, std::int32_t length,
                                        std::byte* out);
    /// Stores a value in the field's buffer form into the column's area and
    /// indicator of `record`; raises when the column cannot hold it.
    using TWriter = void (*)(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in);

    const char* Name = nullptr;         ///< "fcString", ...; nil for codes that name no type
    odbc::SmallInt CType = 0;           ///< SQL_C_ type (SQL_C_DEFAULT for fcUnknown; 0: none)
    odbc::SmallInt SQLType = 0;         ///< SQL type a parameter is sent as (0: none)
    std::uint16_t AreaSize = 0;         ///< bytes of the area held in CType; 0: from the column's length
    /// Every value that is not NULL reads as a value when held in CType (a
    /// column held in another C type, text mostly, may read as blank or
    /// fail to convert).
    bool AlwaysAValue = false;
    TReader Read = nullptr;   ///< nil: no buffer form (long data, unknown)
    TWriter Write = nullptr;  ///< nil: written through other roads
    /// Columns the describer gives this code: the SQL type the driver
    /// reports (held in CType) and declared type names, space-separated and
    /// in lower case, of text columns holding such values (held as text of
    /// TextUnits characters). 0 and nil: the describer's own rules decide.
    odbc::SmallInt DescribedSQLType = 0;
    const char* DeclaredNames = nullptr;
    std::uint16_t TextUnits = 0;  ///< characters of the value as text, and Units1 of such columns
};

/// The row of an engine type code (sub-type codes the binder reads as types,
/// fscMemo, included); codes without a row answer an empty one.
const TODBCTypeFacts& ODBCTypeFacts(std::uint16_t code);

/// The code whose row claims a column the driver describes with `sqlType`
/// and declared type `typeName` (DescribedSQLType, DeclaredNames), or
/// fcUnknown.
std::uint16_t ODBCTypeOfColumn(odbc::SmallInt sqlType, std::string_view typeName);

/// Descriptor of one result column or one statement parameter. Fixed-width
/// fields first (FieldNo .. Updatable), then FullName and CType.
struct TODBCFldDesc {
    std::uint16_t FieldNo = 0;          ///< columns: 0-based index; parameter lists: 1-based position
    char FldName[kFldNameSize] = {};    ///< zero-terminated name, cut to 31 characters (see FullName)
    std::uint16_t FldType = fcUnknown;  ///< engine field type code
    std::uint16_t SubType = 0;          ///< fscMemo or fscBinary for long columns, else 0
    std::uint16_t Units1 = 0;           ///< length, precision, or 19 for timestamps (see DescribeColumns)
    std::int16_t Units2 = 0;            ///< scale of a decimal held as text (kAnyScale: any), else 0
    std::uint16_t Offset = 0;           ///< offset of the data area in a record
    std::uint16_t Len = 0;              ///< buffer length bound with SQLBindCol/SQLBindParameter
    std::uint16_t NullOffset = 0;       ///< offset of the 2-byte indicator slot after the data area
    std::uint8_t Reserved = 0;
    std::int16_t InternalCalc = 0;  ///< nonzero: internally calculated field (the engine leaves 0)
    std::int16_t Updatable = 0;     ///< SQL_COLUMN_UPDATABLE: 0 read-only, 1 writable, 2 unknown

    /// The whole name; FldName holds at most its first 31 characters. Empty
    /// when the descriptor was filled through FldName alone.
    String FullName;
    /// The SQL_C_ type the value is held in, in the record: what the engine
    /// binds the column with. 0 in descriptors built by callers, for which the
    /// parameter binder derives the C type from FldType.
    odbc::SmallInt CType = 0;
    /// Character columns: the declared size in characters (UTF-8 code
    /// points), which a written value may not exceed; 0 when unknown. Units1
    /// and Len count bytes, room for that many characters of any width.
    std::uint32_t CharSize = 0;
    /// Decimals held as text: the declared precision (digits), 0 when unknown.
    std::uint16_t Precision = 0;
    /// Parameters: the direction they are bound in, an ODBCSTMTParamType
    /// (paramUNKNOWN and paramIN input, paramOUT, paramINOUT, paramRET).
    std::uint8_t ParamDir = 0;

    /// The full name when there is one, else FldName.
    String GetName() const;
    /// Sets FullName and FldName (cut to 31 characters) together.
    void SetName(std::string_view name);
    /// True when the name equals `name`, compared as text without regard to
    /// (ASCII) case: drivers report names in their own case.
    bool NameIs(std::string_view name) const;
};

}  // namespace velora

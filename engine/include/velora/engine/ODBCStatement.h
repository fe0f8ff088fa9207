// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Statement handles: allocation, preparation with the cursor attributes and
// cursor name a dataset needs, execution, parameter binding, row counts and
// release. The table and query datasets call these while they open; the
// cursor's positioned operations call them for their second statements.
//
// Every failing ODBC call goes through ODBCCheckError (ODBCConnect.h) with the
// handle it was made on, and so raises EODBCError.
#pragma once

#include "velora/engine/ODBCCancelGate.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCTypes.h"
#include "velora/engine/SQL.h"
#include "velora/odbc/ODBCBoundary.h"

#include <cstdint>
#include <vector>

namespace velora {

class TODBC;

/// The value form the parameter binder reads for a long (fcBlob) parameter: a
/// pointer to the bytes and their count. The bytes must stay valid until the
/// statement has been executed.
struct TODBCBlobRef {
    const void* Data = nullptr;
    std::int32_t Size = 0;
};

/// Allocates a statement on the connection.
/// \throws EODBCError when the allocation fails.
SQLHSTMT ODBCAllocStmt(SQLHDBC dbc);

/// The cursor name the engine gives a statement: "S" followed by the handle's
/// value in upper-case base 36 (at most 13 characters). Distinct handles give
/// distinct names, so names are unique among live statements, and the
/// positioned statements of the editing road derive the same name again.
String ODBCCursorName(SQLHSTMT handle);

/// Gives a statement its attributes and prepares `text` (any length):
/// column-wise binding; a forward-only cursor when `uniDirectional` or the
/// connection is cmForwardOnly, else static (cmCursorLibrary) or keyset
/// driven (cmKeyset); SQL_CONCUR_READ_ONLY for ODBCREADONLY, else ROWVER;
/// bookmarks off; the cursor name ODBCCursorName(handle). A driver that
/// substitutes an attribute (01S02) is accepted; one without cursor names
/// (IM001 from SQLSetCursorName) is too, since only positioned statements use
/// the name.
/// \throws EODBCError
SQLRETURN ODBCPrepareStmt(SQLHSTMT handle, const String& text, ODBCOpenMode openMode, bool uniDirectional,
                          std::uint8_t cursorMode);

/// Prepares a new text on a statement that keeps its attributes (a requery).
/// \throws EODBCError
SQLRETURN ODBCPrepareText(SQLHSTMT handle, const String& text);

/// Executes a prepared statement.
/// - SQL_SUCCESS, SQL_NO_DATA (an UPDATE or DELETE that matched nothing) and
///   SQL_NEED_DATA (data at execution) are answered as they are.
/// - SQL_SUCCESS_WITH_INFO is accepted when every record is 01S02 (the driver
///   substituted a cursor attribute), and for statements without a result
///   (server notices: the statement has run and, under autocommit, is already
///   committed). The records are copied into `warnings` when given, since
///   answering the question "has it a result?" clears them from the handle.
///   Any other warning on a statement with a result raises.
/// - A failure raises. One failure is recovered: psqlODBC cannot give a
///   ROWVER cursor over a view (42703, column "ctid" does not exist); such a
///   statement is prepared again read-only and executed once more, so that it
///   opens (and later reports itself not modifiable).
/// - `gate`, when given, is open to a cancel during the driver's execute
///   call only.
/// \throws EODBCError
SQLRETURN ODBCExecute(SQLHSTMT handle, std::vector<odbc::DiagRecord>* warnings = nullptr,
                      TODBCCancelGate* gate = nullptr);
/// Sets SQL_ATTR_QUERY_TIMEOUT (seconds, 0: none) and answers whether the
/// driver keeps the value (one answering 01S02 keeps another: then false).
/// \throws EODBCError when a limit is refused outright
bool ODBCSetQueryTimeout(SQLHSTMT handle, SQLULEN seconds);

/// The C type the binder uses for an engine type code (99 SQL_C_DEFAULT for
/// fcUnknown, 0 for codes it does not know).
SQLSMALLINT FldTypeToCType(std::uint16_t fldType);
/// The SQL type the binder declares for an engine type code (0 when unknown).
/// Timestamps are SQL_TYPE_TIMESTAMP (a date would drop the time).
SQLSMALLINT FldTypeToSQLType(std::uint16_t fldType);

/// Binds `count` parameters described by `descs` (in parameter order)
/// whose values lie in `buffer` at each descriptor's Offset, in the forms
/// below; `cursor` (may be nil) gives column sizes of the columns whose names
/// match parameter names (as text, without regard to case); `indicators`
/// holds `count` length/indicator slots that must stay valid until the
/// statement has run.
///
/// A parameter is NULL, whatever its type, when its descriptor's indicator
/// slot (a slot lying after the value, NullOffset > Offset) says so in the
/// record encoding of ODBCCursor.h (0, or the NULL word 0xFFFF), when the
/// caller put SQL_NULL_DATA into its indicator slot, or, for strings and
/// binary values, when its Len is 0. The binder writes every slot it uses, so
/// a caller that marks NULLs through the descriptors passes zeroed slots.
///
/// Value forms by FldType (CType, when set, decides instead: SQL_C_CHAR is
/// text, as decimals are held in records):
/// - fcString: text of Len bytes at most; its length comes from the slot when
///   there is one, else up to the first zero byte.
/// - fcBytes, fcVarBytes: bytes; their count comes from the slot, else Len.
/// - fcBoolean 1 byte; fcInt16, fcUInt16 2 bytes; fcInt32, fcUInt32 4 bytes;
///   fcFloat an 8-byte double; fcBCD a 34-byte ODBCFMTBCD (sent as decimal
///   text with its precision and scale).
/// - fcDate: the 32-bit day count of a TTimeStamp; fcTime: 32-bit
///   milliseconds since midnight (sent as "hh:mm:ss.zzz" text).
/// - fcTimeStamp: a SQL_TIMESTAMP_STRUCT (Len 16, as in records, the fraction
///   in nanoseconds) or an 8-byte double of time-stamp milliseconds
///   (Len 8, the query's form); sent as SQL_TYPE_TIMESTAMP(23, 3).
/// - fcBlob: a TODBCBlobRef; memo (SubType fscMemo) as text, else bytes.
/// Converted values live in storage kept with the statement until it is
/// bound again or freed with ODBCFreeStmt.
///
/// Direction (descriptor ParamDir): paramOUT and paramRET are bound as
/// SQL_PARAM_OUTPUT, paramINOUT as SQL_PARAM_INPUT_OUTPUT, the rest as input.
/// An output parameter gets a buffer of its own, kept with the statement and
/// sized for its type: integers, boolean and double as their C type, dates
/// and time stamps as their structures, decimals and times as text of 64
/// bytes, text and binary values kParamOutputBufferSize bytes (1 MiB, long
/// values included); an input-output parameter's buffer starts with its value. Its
/// indicator starts as the value's length (0 for an output parameter), never
/// SQL_NULL_DATA for output: MariaDB's driver then writes the answer as text
/// into a buffer of any C type. ODBCParamOutputValue reads the answers.
/// \throws EODBCError on a failing SQLBindParameter; EConvertError for an
///         input-output value longer than its output buffer.
SQLRETURN ODBCBindParams(SQLHSTMT handle, int count, const TODBCFldDesc* descs, const void* buffer, const TODBC* cursor,
                         SQLLEN* indicators);

/// The value a parameter bound for output answered.
struct TODBCParamOutput {
    bool IsNull = true;
    /// What Data holds: SQL_C_CHAR (text, no terminator), SQL_C_BINARY,
    /// SQL_C_BIT, SQL_C_SSHORT, SQL_C_SLONG, SQL_C_SBIGINT, SQL_C_DOUBLE,
    /// SQL_C_TYPE_DATE or SQL_C_TYPE_TIMESTAMP (the value's bytes).
    SQLSMALLINT CType = 0;
    String Data;
    /// The driver had more bytes than the buffer took (Data holds the first).
    bool Truncated = false;
    /// The value's whole length in bytes as the driver answered it
    /// (SQL_NO_TOTAL when it could not tell).
    SQLLEN Length = 0;
};

/// Bytes of the buffer a text or binary parameter bound for output gets.
/// Neither psqlODBC nor MariaDB's driver streams output values
/// (SQL_PARAM_OUTPUT_STREAM answers SQL_NEED_DATA, as input data at
/// execution), and a call cannot run again with a larger buffer: the value
/// must fit at once. Both fill a buffer of this size whole.
inline constexpr int kParamOutputBufferSize = 1 << 20;

/// The value parameter `number` (1-based) holds after execution, when the
/// last ODBCBindParams bound it for output (descriptor ParamDir paramOUT,
/// paramINOUT or paramRET); false otherwise. Drivers fill output values when
/// the statement has run (psqlODBC, MariaDB without a result set) or when its
/// last result has been passed (SQLMoreResults answering SQL_NO_DATA).
bool ODBCParamOutputValue(SQLHSTMT handle, int number, TODBCParamOutput& out);

/// SQL_LEN_DATA_AT_EXEC(n): -n - 100.
inline SQLLEN ODBCDataAtExecLen(SQLLEN n) { return -n - 100; }

/// Rows affected by the last execution. -1 without a call when `handle` is
/// nil, else 0 (whatever the driver answered; counts beyond 32 bits are
/// clamped). Never raises.
int ODBCRowCount(SQLHSTMT handle, std::int32_t& count);

/// Runs `text` once on a statement of its own and frees it; answers the
/// SQLExecDirect return code (or the allocation's). Never raises; used to try
/// a statement before adopting it.
SQLRETURN ODBCExecDirect(SQLHDBC dbc, const String& text);

/// Runs `text` once through SQLExecDirect on a statement of its own and frees
/// it: for statements a driver must see unprepared (psqlODBC forgets a BEGIN
/// run through SQLPrepare and SQLExecute under autocommit). Notices of a
/// success go to `warnings` (cleared first) when given.
/// \throws EODBCError when the statement fails
void ODBCExecDirectReporting(SQLHDBC dbc, const String& text, std::vector<odbc::DiagRecord>* warnings);

/// Frees a statement (the variable is not cleared: callers clear it), and the
/// storage the binder kept for it.
/// \throws EODBCError
SQLRETURN ODBCFreeStmt(SQLHSTMT handle);

}  // namespace velora

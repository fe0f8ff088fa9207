// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The ODBC boundary: every ODBC call the library makes goes through the
// functions of namespace velora::odbc, which have the names and signatures of
// the ODBC API and forward to the driver manager. This one choke point serves
// three purposes:
//   - tracing (VELORA_ODBC_TRACE=1 prints every call and its return code);
//   - fault injection for tests (ODBCFaults.h): a chosen call answers a chosen
//     return code with chosen diagnostic records, or SQLGetInfo answers a
//     chosen capability mask, while the real driver stays underneath;
//   - our own cursor library: a connection on which SQL_ATTR_ODBC_CURSORS is
//     set to SQL_CUR_USE_ODBC before connecting is not handed to the driver
//     manager's cursor library (the driver manager keeps SQL_CUR_USE_DRIVER);
//     its statements are served by the library in platform/odbc/src/CursorLibrary*.
//
// Two driver-manager services the components rely on are also filled in
// here, for every connection: SQLColAttribute maps the ODBC 2 identifiers
// SQL_COLUMN_NAME, SQL_COLUMN_COUNT and SQL_COLUMN_NULLABLE to their
// SQL_DESC_ counterparts (psqlODBC refuses the old ones with HY092), and
// SQL_COLUMN_TYPE answers the SQL type SQLDescribeCol reports (the SQLite
// driver answers its C type there).
#pragma once

#include "velora/odbc/ODBCDefs.h"

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <string>
#include <vector>

namespace velora::odbc {

SQLRETURN SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle, SQLHANDLE* OutputHandle);
SQLRETURN SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle);
SQLRETURN SQLSetEnvAttr(SQLHENV Env, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER StringLength);
SQLRETURN SQLSetConnectAttr(SQLHDBC Dbc, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER StringLength);
SQLRETURN SQLGetConnectAttr(SQLHDBC Dbc, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER BufferLength,
                            SQLINTEGER* StringLength);
SQLRETURN SQLConnect(SQLHDBC Dbc, SQLCHAR* ServerName, SQLSMALLINT NameLength1, SQLCHAR* UserName,
                     SQLSMALLINT NameLength2, SQLCHAR* Authentication, SQLSMALLINT NameLength3);
/// The connection string reaches the driver manager as given; the trace
/// names the call and its handle only, never the string (it may hold PWD).
SQLRETURN SQLDriverConnect(SQLHDBC Dbc, SQLHWND WindowHandle, SQLCHAR* InConnectionString, SQLSMALLINT StringLength1,
                           SQLCHAR* OutConnectionString, SQLSMALLINT BufferLength, SQLSMALLINT* StringLength2Ptr,
                           SQLUSMALLINT DriverCompletion);
SQLRETURN SQLDisconnect(SQLHDBC Dbc);
SQLRETURN SQLGetInfo(SQLHDBC Dbc, SQLUSMALLINT InfoType, SQLPOINTER InfoValue, SQLSMALLINT BufferLength,
                     SQLSMALLINT* StringLength);
SQLRETURN SQLGetFunctions(SQLHDBC Dbc, SQLUSMALLINT FunctionId, SQLUSMALLINT* Supported);
SQLRETURN SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType);
SQLRETURN SQLDataSources(SQLHENV Env, SQLUSMALLINT Direction, SQLCHAR* ServerName, SQLSMALLINT BufferLength1,
                         SQLSMALLINT* NameLength1, SQLCHAR* Description, SQLSMALLINT BufferLength2,
                         SQLSMALLINT* NameLength2);
SQLRETURN SQLDrivers(SQLHENV Env, SQLUSMALLINT Direction, SQLCHAR* DriverDescription, SQLSMALLINT BufferLength1,
                     SQLSMALLINT* DescriptionLength, SQLCHAR* DriverAttributes, SQLSMALLINT BufferLength2,
                     SQLSMALLINT* AttributesLength);

SQLRETURN SQLSetStmtAttr(SQLHSTMT Stmt, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER StringLength);
SQLRETURN SQLGetStmtAttr(SQLHSTMT Stmt, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER BufferLength,
                         SQLINTEGER* StringLength);
SQLRETURN SQLSetCursorName(SQLHSTMT Stmt, SQLCHAR* CursorName, SQLSMALLINT NameLength);
SQLRETURN SQLGetCursorName(SQLHSTMT Stmt, SQLCHAR* CursorName, SQLSMALLINT BufferLength, SQLSMALLINT* NameLength);
SQLRETURN SQLPrepare(SQLHSTMT Stmt, SQLCHAR* StatementText, SQLINTEGER TextLength);
SQLRETURN SQLExecute(SQLHSTMT Stmt);
SQLRETURN SQLExecDirect(SQLHSTMT Stmt, SQLCHAR* StatementText, SQLINTEGER TextLength);
SQLRETURN SQLCloseCursor(SQLHSTMT Stmt);
/// May be called from another thread while Stmt runs. Waits for no call on
/// Stmt (the boundary's handle registry is locked only around its own
/// bookkeeping). Calls the driver's own SQLCancel with the driver's handle
/// where both were found when Stmt was allocated: the driver manager's
/// SQLCancel rewrites the statement's diagnostics and state while the running
/// call writes them too. On a connection to SQLite's driver it interrupts
/// the SQLite database instead (the driver's SQLCancel also frees the rows
/// under the running call). The caller closes the statement (SQLFreeStmt
/// SQL_CLOSE) after a call the cancel reached.
SQLRETURN SQLCancel(SQLHSTMT Stmt);
/// Whether SQLCancel on Stmt goes to its driver (or SQLite database) directly.
bool CancelReachesDriver(SQLHSTMT Stmt);
/// Whether SQLCancel on the statements of Dbc interrupts a SQLite database
/// (safe in every call) rather than calling the driver's SQLCancel.
bool CancelInterruptsSQLite(SQLHDBC Dbc);
SQLRETURN SQLFreeStmt(SQLHSTMT Stmt, SQLUSMALLINT Option);
SQLRETURN SQLRowCount(SQLHSTMT Stmt, SQLLEN* RowCount);
SQLRETURN SQLNumResultCols(SQLHSTMT Stmt, SQLSMALLINT* ColumnCount);
SQLRETURN SQLNumParams(SQLHSTMT Stmt, SQLSMALLINT* ParameterCount);
SQLRETURN SQLColAttribute(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLUSMALLINT FieldIdentifier,
                          SQLPOINTER CharacterAttribute, SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                          SQLLEN* NumericAttribute);
SQLRETURN SQLDescribeCol(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLCHAR* ColumnName, SQLSMALLINT BufferLength,
                         SQLSMALLINT* NameLength, SQLSMALLINT* DataType, SQLULEN* ColumnSize,
                         SQLSMALLINT* DecimalDigits, SQLSMALLINT* Nullable);
SQLRETURN SQLBindCol(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType, SQLPOINTER TargetValue,
                     SQLLEN BufferLength, SQLLEN* StrLen_or_Ind);
SQLRETURN SQLBindParameter(SQLHSTMT Stmt, SQLUSMALLINT ParameterNumber, SQLSMALLINT InputOutputType,
                           SQLSMALLINT ValueType, SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                           SQLSMALLINT DecimalDigits, SQLPOINTER ParameterValue, SQLLEN BufferLength,
                           SQLLEN* StrLen_or_Ind);
SQLRETURN SQLFetchScroll(SQLHSTMT Stmt, SQLSMALLINT FetchOrientation, SQLLEN FetchOffset);
SQLRETURN SQLFetch(SQLHSTMT Stmt);
SQLRETURN SQLSetPos(SQLHSTMT Stmt, SQLSETPOSIROW RowNumber, SQLUSMALLINT Operation, SQLUSMALLINT LockType);
SQLRETURN SQLBulkOperations(SQLHSTMT Stmt, SQLSMALLINT Operation);
SQLRETURN SQLGetData(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType, SQLPOINTER TargetValue,
                     SQLLEN BufferLength, SQLLEN* StrLen_or_Ind);
SQLRETURN SQLPutData(SQLHSTMT Stmt, SQLPOINTER Data, SQLLEN StrLen_or_Ind);
SQLRETURN SQLParamData(SQLHSTMT Stmt, SQLPOINTER* Value);
SQLRETURN SQLMoreResults(SQLHSTMT Stmt);
SQLRETURN SQLTables(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                    SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3, SQLCHAR* TableType,
                    SQLSMALLINT NameLength4);
SQLRETURN SQLColumns(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                     SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3, SQLCHAR* ColumnName,
                     SQLSMALLINT NameLength4);
SQLRETURN SQLPrimaryKeys(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                         SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3);
SQLRETURN SQLStatistics(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                        SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3, SQLUSMALLINT Unique,
                        SQLUSMALLINT Reserved);
SQLRETURN SQLForeignKeys(SQLHSTMT Stmt, SQLCHAR* PKCatalogName, SQLSMALLINT NameLength1, SQLCHAR* PKSchemaName,
                         SQLSMALLINT NameLength2, SQLCHAR* PKTableName, SQLSMALLINT NameLength3,
                         SQLCHAR* FKCatalogName, SQLSMALLINT NameLength4, SQLCHAR* FKSchemaName,
                         SQLSMALLINT NameLength5, SQLCHAR* FKTableName, SQLSMALLINT NameLength6);
SQLRETURN SQLGetTypeInfo(SQLHSTMT Stmt, SQLSMALLINT DataType);

SQLRETURN SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                          SQLPOINTER DiagInfo, SQLSMALLINT BufferLength, SQLSMALLINT* StringLength);
SQLRETURN SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLCHAR* Sqlstate,
                        SQLINTEGER* NativeError, SQLCHAR* MessageText, SQLSMALLINT BufferLength,
                        SQLSMALLINT* TextLength);

/// Reads every diagnostic record of a handle (through the boundary, so records
/// injected or posted by the cursor library are included).
std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT HandleType, SQLHANDLE Handle);

/// True when the connection asked for the cursor library (SQL_ATTR_ODBC_CURSORS
/// = SQL_CUR_USE_ODBC before connecting) and so is served by ours.
bool UsesCursorLibrary(SQLHDBC Dbc);

/// Serves the statements a connection allocates from now on with our cursor
/// library, as if it had asked for it before connecting: for a connection
/// made elsewhere (SQLDriverConnect by the application) whose driver lacks
/// the keyset cursors the engine needs. Dbc must be connected.
void AdoptCursorLibrary(SQLHDBC Dbc);

/// Makes a freshly allocated statement a key range cursor of our cursor
/// library (on any connection): its SELECT of one table with a primary key
/// scrolls through windows fetched by key, so the client holds a few rowsets
/// whatever the table's size. Call before the statement is prepared.
void UseKeyRangeCursor(SQLHSTMT Stmt);
/// True when the statement is a key range cursor.
bool UsesKeyRangeCursor(SQLHSTMT Stmt);
/// Statements the key range cursor has run on the driver so far in its
/// current result (windows, key look-ups, counts): for tests.
unsigned long KeyRangeDriverStatements(SQLHSTMT Stmt);
/// The rows of a key range cursor's result when it knows them without
/// asking the data source (counted before, or met the first row walking back
/// from the last); -1 otherwise. Never runs a statement.
SQLLEN KeyRangeKnownRows(SQLHSTMT Stmt);

/// One result column's value of a row as the application holds it.
struct TKeyRangeValue {
    bool Known = false;  ///< the value is held whole (else the row cannot be sought by it)
    bool Null = false;
    SQLSMALLINT CType = 0;       ///< SQL_C_CHAR, SQL_C_BINARY, SQL_C_SBIGINT, SQL_C_DOUBLE, ...
    const void* Data = nullptr;  ///< the value's bytes (for fixed C types, the C type's size)
    SQLLEN Length = 0;           ///< bytes at Data (character and binary values)
};
/// Tells a key range cursor the values of the row numbered `Row` (1-based;
/// below 0 counted from the last row, -1 the last, as an absolute fetch),
/// one a result column (Values[0] is column 1), as the application took them
/// with the row's bookmark: the next fetch of that row runs one window that
/// begins at those values, instead of finding the row by counting. Values the
/// cursor cannot bind exactly (a C type other than the one it reads the
/// column in) leave it to counting.
void KeyRangeRowValues(SQLHSTMT Stmt, SQLLEN Row, const TKeyRangeValue* Values, std::size_t Count);

}  // namespace velora::odbc

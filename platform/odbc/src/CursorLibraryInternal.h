// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Our ODBC cursor library. The boundary routes here every statement call made
// on a connection that asked for the cursor library (SQL_ATTR_ODBC_CURSORS =
// SQL_CUR_USE_ODBC), and the connection calls listed below. Each function has
// the signature of the ODBC call it serves and calls the driver directly.
//
// What the library adds over the driver: static scrollable cursors on the
// driver's own static cursor, cursor names kept per connection, positioning
// with SQLSetPos(SQL_POSITION), positioned UPDATE/DELETE statements
// ("... WHERE CURRENT OF <cursor>") carried out as searched statements that
// change exactly the positioned row, SQLSetPos(SQL_UPDATE/SQL_DELETE/
// SQL_REFRESH) and SQLBulkOperations(SQL_ADD) carried out as statements of its
// own (data at execution included), and rows it changed fetched with their
// new values. docs/cursor-library.md tells the whole story.
// This file is not part of the Velora API.
#pragma once

#include "velora/odbc/ODBCBoundary.h"

namespace velora::odbc::cursorlib {

// Connection life: the boundary tells the library about these events.
void OnConnected(SQLHDBC dbc);
void OnDisconnecting(SQLHDBC dbc);
void OnDisconnected(SQLHDBC dbc);
void OnStatementAllocated(SQLHDBC dbc, SQLHSTMT stmt);
void OnStatementFreeing(SQLHSTMT stmt);
/// Makes a statement of the library a key range cursor.
void SetKeyRange(SQLHSTMT stmt);
/// True when the statement is a key range cursor.
bool IsKeyRange(SQLHSTMT stmt);
/// Driver statements a key range cursor ran for windows, keys and counts.
unsigned long KeyRangeFetches(SQLHSTMT stmt);
/// The rows of a key range cursor's result if known without a statement, else -1.
SQLLEN KeyRangeKnownCount(SQLHSTMT stmt);
/// The values of a row of a key range cursor, for the next fetch of it.
void KeyRangeValuesOf(SQLHSTMT stmt, SQLLEN row, const TKeyRangeValue* values, std::size_t count);

SQLRETURN GetInfo(SQLHDBC dbc, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                  SQLSMALLINT* stringLength);
SQLRETURN GetFunctions(SQLHDBC dbc, SQLUSMALLINT functionId, SQLUSMALLINT* supported);

SQLRETURN SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER stringLength);
SQLRETURN GetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* stringLength);
SQLRETURN SetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT nameLength);
SQLRETURN GetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength);
SQLRETURN Prepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER textLength);
SQLRETURN Execute(SQLHSTMT stmt);
SQLRETURN ExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER textLength);
SQLRETURN CloseCursor(SQLHSTMT stmt);
SQLRETURN MoreResults(SQLHSTMT stmt);
SQLRETURN FreeStmt(SQLHSTMT stmt, SQLUSMALLINT option);
SQLRETURN RowCount(SQLHSTMT stmt, SQLLEN* rowCount);
SQLRETURN NumResultCols(SQLHSTMT stmt, SQLSMALLINT* count);
SQLRETURN ColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER charAttr,
                       SQLSMALLINT bufferLength, SQLSMALLINT* stringLength, SQLLEN* numAttr);
SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                      SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize, SQLSMALLINT* decimalDigits,
                      SQLSMALLINT* nullable);
SQLRETURN BindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER targetValue,
                  SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN BindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT valueType,
                        SQLSMALLINT parameterType, SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN FetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset);
SQLRETURN Fetch(SQLHSTMT stmt);
SQLRETURN SetPos(SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lockType);
SQLRETURN BulkOperations(SQLHSTMT stmt, SQLSMALLINT operation);
SQLRETURN GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER targetValue,
                  SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN PutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length);
SQLRETURN ParamData(SQLHSTMT stmt, SQLPOINTER* value);

}  // namespace velora::odbc::cursorlib

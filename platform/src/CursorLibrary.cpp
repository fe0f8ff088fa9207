// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Our ODBC cursor library (see CursorLibrary.h). This first version passes
// every call to the driver unchanged; the scrolling, cursor-name, positioning
// and positioned-statement services are added on top of it.
#include "CursorLibrary.h"

namespace velora::odbc::cursorlib {

void OnConnected(SQLHDBC) {}
void OnDisconnecting(SQLHDBC) {}
void OnStatementAllocated(SQLHDBC, SQLHSTMT) {}
void OnStatementFreeing(SQLHSTMT) {}

SQLRETURN GetInfo(SQLHDBC dbc, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                  SQLSMALLINT* stringLength) {
    return ::SQLGetInfo(dbc, infoType, value, bufferLength, stringLength);
}
SQLRETURN SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER stringLength) {
    return ::SQLSetStmtAttr(stmt, attribute, value, stringLength);
}
SQLRETURN GetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* stringLength) {
    return ::SQLGetStmtAttr(stmt, attribute, value, bufferLength, stringLength);
}
SQLRETURN SetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT nameLength) {
    return ::SQLSetCursorName(stmt, name, nameLength);
}
SQLRETURN GetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength) {
    return ::SQLGetCursorName(stmt, name, bufferLength, nameLength);
}
SQLRETURN Prepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER textLength) { return ::SQLPrepare(stmt, text, textLength); }
SQLRETURN Execute(SQLHSTMT stmt) { return ::SQLExecute(stmt); }
SQLRETURN ExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER textLength) {
    return ::SQLExecDirect(stmt, text, textLength);
}
SQLRETURN CloseCursor(SQLHSTMT stmt) { return ::SQLCloseCursor(stmt); }
SQLRETURN FreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) { return ::SQLFreeStmt(stmt, option); }
SQLRETURN RowCount(SQLHSTMT stmt, SQLLEN* rowCount) { return ::SQLRowCount(stmt, rowCount); }
SQLRETURN NumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) { return ::SQLNumResultCols(stmt, count); }
SQLRETURN ColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER charAttr,
                       SQLSMALLINT bufferLength, SQLSMALLINT* stringLength, SQLLEN* numAttr) {
    return ::SQLColAttribute(stmt, column, field, charAttr, bufferLength, stringLength, numAttr);
}
SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                      SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize,
                      SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
    return ::SQLDescribeCol(stmt, column, name, bufferLength, nameLength, dataType, columnSize, decimalDigits,
                            nullable);
}
SQLRETURN BindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER targetValue,
                  SQLLEN bufferLength, SQLLEN* indicator) {
    return ::SQLBindCol(stmt, column, targetType, targetValue, bufferLength, indicator);
}
SQLRETURN BindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT valueType,
                        SQLSMALLINT parameterType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                        SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
    return ::SQLBindParameter(stmt, number, ioType, valueType, parameterType, columnSize, decimalDigits, value,
                              bufferLength, indicator);
}
SQLRETURN FetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
    return ::SQLFetchScroll(stmt, orientation, offset);
}
SQLRETURN Fetch(SQLHSTMT stmt) { return ::SQLFetch(stmt); }
SQLRETURN SetPos(SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lockType) {
    return ::SQLSetPos(stmt, row, operation, lockType);
}
SQLRETURN BulkOperations(SQLHSTMT stmt, SQLSMALLINT operation) { return ::SQLBulkOperations(stmt, operation); }
SQLRETURN GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER targetValue,
                  SQLLEN bufferLength, SQLLEN* indicator) {
    return ::SQLGetData(stmt, column, targetType, targetValue, bufferLength, indicator);
}
SQLRETURN PutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) { return ::SQLPutData(stmt, data, length); }
SQLRETURN ParamData(SQLHSTMT stmt, SQLPOINTER* value) { return ::SQLParamData(stmt, value); }

} // namespace velora::odbc::cursorlib

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The raw loop the velora tool's memory is measured against (run-bench.sh):
// one statement run straight on the driver manager, forward-only, every
// value read with SQLGetData as text and written as a CSV line, nothing kept.
//
//   RawQueryCSV DSN USER PASSWORD SQL > /dev/null
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

namespace {

int Fail(SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    SQLCHAR state[6] = {}, text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
    std::fprintf(stderr, "RawQueryCSV: %s: [%s] %s\n", what, state, text);
    return 1;
}

SQLCHAR* Text(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: RawQueryCSV DSN USER PASSWORD SQL\n");
        return 2;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SQL_SUCCEEDED(SQLConnect(dbc, Text(argv[1]), SQL_NTS, Text(argv[2]), SQL_NTS, Text(argv[3]), SQL_NTS)))
        return Fail(SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, Text(argv[4]), SQL_NTS))) return Fail(SQL_HANDLE_STMT, stmt, "execute");
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    std::string line;
    char value[4096];
    long rows = 0;
    for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA; ++rows) {
        if (!SQL_SUCCEEDED(rc)) return Fail(SQL_HANDLE_STMT, stmt, "fetch");
        line.clear();
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
            SQLLEN length = 0;
            SQLGetData(stmt, c, SQL_C_CHAR, value, sizeof value, &length);
            if (c > 1) line += ',';
            if (length != SQL_NULL_DATA) line += value;
        }
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    std::fprintf(stderr, "RawQueryCSV: %ld rows\n", rows);
    return 0;
}

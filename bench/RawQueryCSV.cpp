// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The raw loop the velora tool's memory is measured against (run-bench.sh):
// one statement run straight on the driver manager, forward-only, every
// value read with SQLGetData as text and written as a CSV line, nothing kept.
// With "rowsets" every column is bound as text instead and 1,000 rows come
// a fetch (N with "rowsets=N"): the fastest a CSV export can read through
// the driver.
//
//   RawQueryCSV DSN USER PASSWORD SQL [rowsets[=N]] > /dev/null
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: RawQueryCSV DSN USER PASSWORD SQL [rowsets[=N]]\n");
        return 2;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    // A connection string ("DRIVER=...;Database=...") or a data source name.
    const bool connectionString = std::string(argv[1]).find('=') != std::string::npos;
    if (!SQL_SUCCEEDED(connectionString ? SQLDriverConnect(dbc, nullptr, Text(argv[1]), SQL_NTS, nullptr, 0, nullptr,
                                                           SQL_DRIVER_NOPROMPT)
                                        : SQLConnect(dbc, Text(argv[1]), SQL_NTS, Text(argv[2]), SQL_NTS,
                                                     Text(argv[3]), SQL_NTS)))
        return Fail(SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    // "rowsets" reads 1,000 rows a fetch, "rowsets=N" N rows.
    const bool rowsets = argc == 6 && std::string(argv[5]).starts_with("rowsets");
    const SQLULEN kRows = rowsets && argv[5][7] == '=' ? std::strtoul(argv[5] + 8, nullptr, 10) : 1000;
    constexpr SQLLEN kWidth = 256;
    SQLULEN fetched = 0;
    if (rowsets) {
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRows), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    }
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, Text(argv[4]), SQL_NTS))) return Fail(SQL_HANDLE_STMT, stmt, "execute");
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    std::string line;
    char value[4096];
    long rows = 0;
    if (rowsets) {
        // Column-wise: each column's 1,000 values, then their lengths.
        std::vector<char> data(static_cast<std::size_t>(columns) * kRows * kWidth);
        std::vector<SQLLEN> lengths(static_cast<std::size_t>(columns) * kRows);
        for (SQLUSMALLINT c = 0; c < columns; ++c)
            SQLBindCol(stmt, c + 1, SQL_C_CHAR, data.data() + c * kRows * kWidth, kWidth, lengths.data() + c * kRows);
        for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
            if (!SQL_SUCCEEDED(rc)) return Fail(SQL_HANDLE_STMT, stmt, "fetch");
            for (SQLULEN r = 0; r < fetched; ++r, ++rows) {
                line.clear();
                for (SQLUSMALLINT c = 0; c < columns; ++c) {
                    if (c > 0) line += ',';
                    const SQLLEN length = lengths[c * kRows + r];
                    if (length != SQL_NULL_DATA)
                        line.append(data.data() + (c * kRows + r) * kWidth,
                                    static_cast<std::size_t>(std::min<SQLLEN>(length, kWidth - 1)));
                }
                line += "\r\n";
                std::fwrite(line.data(), 1, line.size(), stdout);
            }
        }
    }
    for (SQLRETURN rc; !rowsets && (rc = SQLFetch(stmt)) != SQL_NO_DATA; ++rows) {
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

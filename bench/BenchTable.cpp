// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "BenchTable.h"

#include <sqlext.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace velora::bench {

namespace {

bool Exec(SQLHDBC dbc, const std::string& sql) {
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    const SQLRETURN rc = ::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    return SQL_SUCCEEDED(rc);
}

long Count(SQLHDBC dbc) {
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    std::string sql = "SELECT COUNT(*) FROM " + std::string(kScanTable);
    long n = -1;
    if (SQL_SUCCEEDED(::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)) &&
        SQL_SUCCEEDED(::SQLFetch(st))) {
        SQLINTEGER v = 0;
        SQLLEN ind = 0;
        ::SQLGetData(st, 1, SQL_C_SLONG, &v, 0, &ind);
        n = v;
    }
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    return n;
}

}  // namespace

bool PrepareScanTable(SQLHDBC dbc, const char* driverName) {
    if (Count(dbc) == kScanRows) return true;
    std::fprintf(stderr, "bench: filling %s on %s with %d rows\n", kScanTable, driverName, kScanRows);
    Exec(dbc, "DROP TABLE " + std::string(kScanTable));  // absent on the first run
    if (!Exec(dbc, "CREATE TABLE " + std::string(kScanTable) + " (" + kScanColumns + ")"))
        throw std::runtime_error(std::string("cannot create ") + kScanTable);
    ::SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    const std::string pad200(180, 'x');
    for (int first = 1; first <= kScanRows; first += 500) {
        std::string sql = "INSERT INTO " + std::string(kScanTable) + " VALUES ";
        char buf[512];
        for (int i = first; i < first + 500 && i <= kScanRows; ++i) {
            std::snprintf(buf, sizeof buf, "%s(%d, 'name %032d', %.2f, %d, '2024-%02d-%02d %02d:%02d:%02d.%03d', ",
                          i == first ? "" : ", ", i, i, (i % 100000) * 1.25 - 50000.0, i % 30000, 1 + i % 12,
                          1 + i % 28, i % 24, i % 60, (i / 7) % 60, i % 1000);
            sql += buf;
            std::snprintf(buf, sizeof buf, "'%020d%s')", i, pad200.c_str());
            sql += buf;
        }
        if (!Exec(dbc, sql)) throw std::runtime_error(std::string("cannot fill ") + kScanTable);
    }
    ::SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
    ::SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return false;
}

void CheckODBC(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const std::string& what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
    std::string msg = what;
    SQLCHAR state[6], text[512];
    SQLINTEGER native;
    SQLSMALLINT len;
    for (SQLSMALLINT i = 1; SQL_SUCCEEDED(::SQLGetDiagRec(type, h, i, state, &native, text, sizeof text, &len)); ++i)
        msg += std::string(" [") + reinterpret_cast<char*>(state) + "] " + reinterpret_cast<char*>(text);
    throw std::runtime_error(msg);
}

void TScanRow::Bind(SQLHSTMT st) {
    ::SQLBindCol(st, 1, SQL_C_LONG, &Id, sizeof Id, &Ind[0]);
    ::SQLBindCol(st, 2, SQL_C_CHAR, S40, sizeof S40, &Ind[1]);
    ::SQLBindCol(st, 3, SQL_C_CHAR, Dec, sizeof Dec, &Ind[2]);
    ::SQLBindCol(st, 4, SQL_C_SHORT, &Si, sizeof Si, &Ind[3]);
    ::SQLBindCol(st, 5, SQL_C_TYPE_TIMESTAMP, &Ts, sizeof Ts, &Ind[4]);
    ::SQLBindCol(st, 6, SQL_C_CHAR, S200, sizeof S200, &Ind[5]);
}

}  // namespace velora::bench

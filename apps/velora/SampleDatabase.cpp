// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Creates the sample database through plain ODBC calls on the VeloraSample
// data source (not through the components: the tool must be able to show a
// database even while it is being used to debug them). The data covers the
// cases worth looking at: NULLs, a memo longer than 300 characters, a binary
// value with zero bytes, dates, timestamps, money amounts and booleans.
#include "SampleDatabase.h"

#include "velora/odbc/ODBCBoundary.h"
#include "velora/rtl/SysUtils.h"

#include <string>

namespace velora::app {

namespace {

constexpr const char* SampleDsn = "VeloraSample";

const char* const SampleSchema[] = {
    "DROP TABLE IF EXISTS orders",
    "DROP TABLE IF EXISTS customers",
    "CREATE TABLE customers (id integer primary key, name varchar(40) not null, city varchar(30), "
    "notes text, photo blob)",
    "CREATE TABLE orders (id integer primary key, customer_id integer, order_date date, shipped timestamp, "
    "amount decimal(12,2), paid boolean, remark varchar(200))",
};

const char* const SampleRows[] = {
    // The photo is the start of a PNG file: eight signature bytes, then a
    // chunk length with zero bytes in it.
    "INSERT INTO customers VALUES (1, 'Alfreds Futterkiste', 'Berlin', 'Prefers delivery in the morning.', "
    "X'89504E470D0A1A0A0000000D4948445200000001')",
    "INSERT INTO customers VALUES (2, 'Bottom-Dollar Markets', 'Tsawassen', NULL, NULL)",
    "INSERT INTO customers VALUES (3, 'Comercio Mineiro', 'Sao Paulo', "
    "'Long-standing customer since the first catalogue. Orders arrive in batches before the holidays and "
    "are paid within ten days; the buyer asks for a phone call before every shipment because the loading "
    "dock is shared with the neighbouring bakery and closes at noon on Saturdays. Invoices go to the head "
    "office, not to the shop. Discount of two percent agreed for orders above five hundred.', NULL)",
    "INSERT INTO customers VALUES (4, 'Du monde entier', 'Nantes', '', X'00')",
    "INSERT INTO customers VALUES (5, 'Ernst Handel', NULL, 'Ask for Roland.', NULL)",
    "INSERT INTO customers VALUES (6, 'O''Brien & Sons', 'Cork', NULL, X'')",
    "INSERT INTO orders VALUES (1, 1, '2025-01-06', '2025-01-08 09:30:00', 814.50, 1, 'Express')",
    "INSERT INTO orders VALUES (2, 1, '2025-02-14', '2025-02-17 14:05:00', 96.00, 1, NULL)",
    "INSERT INTO orders VALUES (3, 2, '2025-02-20', NULL, 1250.75, 0, 'Waiting for stock')",
    "INSERT INTO orders VALUES (4, 3, '2025-03-01', '2025-03-03 08:00:00', 45.90, 1, NULL)",
    "INSERT INTO orders VALUES (5, 3, '2025-03-15', '2025-03-18 16:45:30', 2310.00, 1, 'Two pallets')",
    "INSERT INTO orders VALUES (6, 3, '2025-04-02', NULL, 0.99, 0, 'Sample only')",
    "INSERT INTO orders VALUES (7, 4, '2025-04-10', '2025-04-11 11:11:11', 530.20, 1, NULL)",
    "INSERT INTO orders VALUES (8, 5, '2025-05-05', NULL, NULL, NULL, 'Price to be agreed')",
    "INSERT INTO orders VALUES (9, 5, '2025-05-06', '2025-05-09 10:00:00', 78.40, 1, NULL)",
    "INSERT INTO orders VALUES (10, 6, '2025-06-21', '2025-06-23 07:30:00', 1999.99, 0, 'Paid on delivery')",
    "INSERT INTO orders VALUES (11, 6, NULL, NULL, 12.00, 0, NULL)",
    "INSERT INTO orders VALUES (12, NULL, '2025-07-01', NULL, 150.00, 1, 'Walk-in customer')",
};

// Raises an Exception naming the step and every diagnostic record.
[[noreturn]] void Fail(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& what) {
    std::string message = "Cannot prepare the sample database (" + what + ")";
    for (const odbc::DiagRecord& rec : odbc::ReadDiagnostics(handleType, handle))
        message += "\n[" + rec.State + "] " + rec.Text;
    throw Exception(message);
}

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const std::string& what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) Fail(handleType, handle, what);
}

// One ODBC handle, freed when the scope ends.
class Handle {
public:
    Handle(SQLSMALLINT type, SQLHANDLE parent) : FType(type) {
        Check(odbc::SQLAllocHandle(type, parent, &FHandle), parent ? ParentType(type) : type, parent,
              "allocating a handle");
    }
    ~Handle() { odbc::SQLFreeHandle(FType, FHandle); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SQLHANDLE Get() const { return FHandle; }

private:
    static SQLSMALLINT ParentType(SQLSMALLINT type) {
        return type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
    }
    SQLSMALLINT FType;
    SQLHANDLE FHandle = SQL_NULL_HANDLE;
};

SQLCHAR* Text(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

void ExecDirect(SQLHDBC dbc, const char* sql) {
    Handle stmt(SQL_HANDLE_STMT, dbc);
    Check(odbc::SQLExecDirect(stmt.Get(), Text(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.Get(), sql);
}

// True when the file already holds the customers table.
bool HasCustomersTable(SQLHDBC dbc) {
    const char* sql = "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'customers'";
    Handle stmt(SQL_HANDLE_STMT, dbc);
    Check(odbc::SQLExecDirect(stmt.Get(), Text(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.Get(), sql);
    SQLRETURN rc = odbc::SQLFetch(stmt.Get());
    if (rc == SQL_NO_DATA) return false;
    Check(rc, SQL_HANDLE_STMT, stmt.Get(), sql);
    SQLINTEGER count = 0;
    SQLLEN indicator = 0;
    Check(odbc::SQLGetData(stmt.Get(), 1, SQL_C_SLONG, &count, sizeof count, &indicator), SQL_HANDLE_STMT, stmt.Get(),
          sql);
    return indicator != SQL_NULL_DATA && count > 0;
}

void CreateSample(SQLHDBC dbc) {
    Check(odbc::SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc, "starting a transaction");
    try {
        for (const char* sql : SampleSchema) ExecDirect(dbc, sql);
        for (const char* sql : SampleRows) ExecDirect(dbc, sql);
        Check(odbc::SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit");
    } catch (...) {
        // Leave no half-filled sample behind: the next run tries again.
        odbc::SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        throw;
    }
}

}  // namespace

void EnsureSampleDatabase() {
    Handle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    Check(odbc::SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env.Get(), "ODBC version");
    Handle dbc(SQL_HANDLE_DBC, env.Get());
    Check(odbc::SQLConnect(dbc.Get(), Text(SampleDsn), SQL_NTS, nullptr, 0, nullptr, 0), SQL_HANDLE_DBC, dbc.Get(),
          std::string("connecting to ") + SampleDsn);
    try {
        if (!HasCustomersTable(dbc.Get())) CreateSample(dbc.Get());
    } catch (...) {
        odbc::SQLDisconnect(dbc.Get());
        throw;
    }
    odbc::SQLDisconnect(dbc.Get());
}

}  // namespace velora::app

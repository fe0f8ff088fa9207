// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Finding a statement's driver handle and its driver's SQLCancel, so that a
// cancel from another thread reaches the driver without the driver manager
// (see DriverCancel.cpp). This file is not part of the Velora API.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace velora::odbc::detail {

using DriverCancelFn = SQLRETURN (*)(SQLHSTMT);

/// The SQLCancel defined by the driver of a connected `dbc`, or null when the
/// driver cannot be found among the loaded objects or defines none.
DriverCancelFn DriverCancelOf(SQLHDBC dbc);

/// The driver's handle behind the driver manager's statement `stmt` of
/// `dbc`, or null when the driver manager does not say.
SQLHSTMT DriverStatementOf(SQLHDBC dbc, SQLHSTMT stmt);

/// The file of the driver that a data source name, or a connection string
/// (its DRIVER, else its DSN), stands for in the driver manager's lists;
/// "" when none is listed.
std::string DriverFileFor(SQLHENV env, std::string_view target, bool connectionString);

/// SQLite's driver: the database a connection opens, so that a cancel can
/// interrupt it without the driver's SQLCancel (which also frees the
/// statement's rows under the running call). Made around a connect call:
/// when the data source or connection string names SQLite's driver, SQLite's
/// library is made to report the databases opened in this thread until the
/// object goes; `Database()` is the one the connect opened, or null.
class TSQLiteOpenWatch {
public:
    /// `target`: a data source name (`connectionString` false) or a
    /// connection string; `env` the connection's environment.
    TSQLiteOpenWatch(SQLHENV env, const char* target, int length, bool connectionString);
    ~TSQLiteOpenWatch();
    TSQLiteOpenWatch(const TSQLiteOpenWatch&) = delete;
    TSQLiteOpenWatch& operator=(const TSQLiteOpenWatch&) = delete;
    void* Database() const { return FDatabase; }

private:
    void* FDatabase = nullptr;
    void** FOuter = nullptr;
};

/// Interrupts the statement running on a SQLite database found by a
/// TSQLiteOpenWatch (sqlite3_interrupt, made to be called from any thread).
void InterruptSQLite(void* database);

}  // namespace velora::odbc::detail

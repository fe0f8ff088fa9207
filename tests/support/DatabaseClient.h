// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The database's own client (sqlite3, psql, mariadb), the oracle of the
// tests for what is stored: the SQLite file of a test data source and a
// script run through the client of a test driver.
#pragma once

#include "support/TestEnv.h"

#include <string>

namespace velora::test {

/// The file of SQLite data source `dsn`: its Database= line in the test
/// odbc.ini ($ODBCINI, else $ODBCSYSINI/odbc.ini); "" when there is none.
std::string SQLiteFile(const std::string& dsn);

/// What the client printed and how it ended.
struct ClientResult {
    std::string Output;  ///< standard output: a row a line, columns separated by '|'
    std::string Errors;  ///< standard error (notices, warnings, errors)
    int Status = -1;     ///< exit status, -1 when it did not exit
};

/// Runs `script` (statements ended by ';') through driver `d`'s own client,
/// in one session, without headers, stopping at the first error.
ClientResult RunClient(const TestDriver& d, const std::string& script);

/// The output of `script` through the client, the last line end dropped;
/// a failing client is a test failure (its errors are the answer then).
std::string ClientOutput(const TestDriver& d, const std::string& script);

}  // namespace velora::test

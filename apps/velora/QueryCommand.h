// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `query` command: runs one SQL statement with :name
// parameters through TODBCQuery and prints its rows, or, for a statement
// without a result, the number of rows it affected.
#pragma once

#include <string>
#include <vector>

namespace velora::app {

/// A query command line that cannot be understood.
struct TQueryUsageError {
    std::string Message;
};

/// velora query DSN "SQL" [--param NAME=VALUE[:TYPE]]... [--user USER]
///                        [--password PASSWORD]
/// TYPE is one of integer, smallint, word, boolean, float, currency, bcd,
/// date, time, datetime, string, memo, or null (the parameter is NULL).
/// Without TYPE a value that reads as a whole number is an integer, one that
/// reads as a number a float, anything else a string. Answers the exit
/// status. \throws TQueryUsageError for a bad command line; the library's
/// exceptions for anything the data source refuses.
int QueryCommand(const std::vector<std::string>& args);

}  // namespace velora::app

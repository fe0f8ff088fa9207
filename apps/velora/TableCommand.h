// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `table` command: prints a table of a data source
// through TODBCTable, optionally filtered and ordered by the data source's
// own SQL, or only its last rows reached from the end with Last and Prior.
#pragma once

#include <string>
#include <vector>

namespace velora::app {

/// A table command line that cannot be understood.
struct TTableUsageError {
    std::string Message;
};

/// velora table DSN TABLE [--where TEXT] [--order TEXT] [--last N]
///                        [--user USER] [--password PASSWORD]
/// Prints a header of field names and one line per row; answers the exit
/// status. \throws TTableUsageError for a bad command line; the library's
/// exceptions for anything the data source refuses.
int TableCommand(const std::vector<std::string>& args);

}  // namespace velora::app

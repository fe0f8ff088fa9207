// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `edit`, `insert` and `delete` commands: one row of a
// table written through TODBCTable (Edit/Insert/Delete and Post), then read
// back as the data source has it.
#pragma once

#include <string>
#include <vector>

namespace velora::app {

/// An edit command line that cannot be understood.
struct TEditUsageError {
    std::string Message;
};

/// velora edit DSN TABLE --row N --set COLUMN=VALUE ... [--user U] [--password P]
/// velora insert DSN TABLE COLUMN=VALUE ... [--user U] [--password P]
/// velora delete DSN TABLE --row N [--user U] [--password P]
/// `command` is "edit", "insert" or "delete". Answers the exit status.
/// \throws TEditUsageError for a bad command line; the library's exceptions
/// for anything the data source refuses.
int EditCommand(const std::string& command, const std::vector<std::string>& args);

}  // namespace velora::app

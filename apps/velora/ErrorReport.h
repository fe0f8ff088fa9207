// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// How the tool tells people what the data source refused. The library's
// EODBCError message is written for programs (one "ODBC32 Error <state>
// :<text>" line per diagnostic record, CR LF ends); the tool reads the
// records and prints each as
//     ERROR: <the driver's text>
//     SQLSTATE <code>
// without the driver manager's and drivers' bracketed tags, the native code
// SQLite repeats at the end of its text, psqlODBC's remark on the statement
// handle, or carriage returns. A data source name that is not found (IM002)
// is named, with a pointer to `velora sources`.
#pragma once

#include <string>

namespace velora {
class EODBCError;
}

namespace velora::app {

/// Remembers the data source (name or connection string) a command opens,
/// so an error can name it.
void NoteDataSource(const std::string& dsn);

/// The text for `e`: every diagnostic record as "ERROR: text" and
/// "SQLSTATE code" lines, each line ended by LF.
std::string ErrorReport(const EODBCError& e);

/// The report of an error that carries no records of its own: "ERROR: "
/// and the message, carriage returns dropped, each line ended by LF.
std::string ErrorReport(const std::string& message);

/// The library's message of one refused row (a batch's problem report) on
/// one line: each diagnostic record's text as a person reads it, then
/// "(SQLSTATE code)", records joined by "; "; a leading line that is no
/// record ("Parameter set 3 failed ...", the batch's own numbering) is
/// left out when records follow.
std::string ProblemLine(const std::string& message);

}  // namespace velora::app

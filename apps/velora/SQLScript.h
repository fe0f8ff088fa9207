// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The tool's reading of SQL scripts: statements split at the semicolons that
// end them, as the data source's dialect reads its text (the SQL text
// module's splitter, velora/odbc/SQLTokens.h), and the check for line breaks
// inside quoted values.
#pragma once

#include "velora/engine/SQLText.h"
#include "velora/odbc/SQLTokens.h"

#include <string>

namespace velora::app {

/// True when a quoted value ('...' or $tag$...$tag$) in `sql` holds a line
/// break: the query's SQL is a list of lines, joined again with CR LF, so
/// such a value would not reach the data source as written.
bool LineBreakInQuotedValue(const std::string& sql);

using TStatementSplitter = odbc::TSQLSplitter;

}  // namespace velora::app

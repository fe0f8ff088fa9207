// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "SQLScript.h"

namespace velora::app {

bool LineBreakInQuotedValue(const std::string& sql) {
    // Read as SQLite and as PostgreSQL ($tag$ strings, E'...' escapes): a
    // value that holds a line break in either reading is refused.
    for (const TSQLDialect dialect : {TSQLDialect::Standard, TSQLDialect::PostgreSQL})
        for (const odbc::TSQLToken& t : odbc::SQLTokens(sql, {dialect}))
            if (t.Kind == odbc::TSQLTokenKind::String &&
                odbc::TokenText(sql, t).find_first_of("\r\n") != std::string_view::npos)
                return true;
    return false;
}

}  // namespace velora::app

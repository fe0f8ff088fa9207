// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Filter and ordering clauses of a table dataset's statement. The statement
// is kept in three pieces (TStmt): the base text ("SELECT * FROM " and the
// table name), a WHERE condition and an ORDER BY list, each clause switched
// on and off by its own flag. ODBCBuildStmtText joins the pieces; the cursor's
// Requery (TODBC::Requery, ODBCCursor.h, defined in ODBCRequery.cpp) runs a
// new text on the open cursor's statement when a dataset switches its filter
// or its ordering while open.
#pragma once

#include "velora/rtl/SysUtils.h"

namespace velora {

/// A dataset's statement text in its three pieces.
struct TStmt {
    String BaseText;        ///< the statement without clauses
    bool Filtered = false;  ///< append " WHERE " + FilterText
    String FilterText;      ///< the condition, taken as it stands
    bool Indexed = false;   ///< append " ORDER BY " + OrderText
    String OrderText;       ///< the ordering, taken as it stands
};

/// Joins the pieces: BaseText, then " WHERE " + FilterText when Filtered,
/// then " ORDER BY " + OrderText when Indexed. The clause texts are neither
/// quoted nor checked (a dataset's texts end in CR LF, one per line).
void ODBCBuildStmtText(TStmt Stmt, String& Text);

}  // namespace velora

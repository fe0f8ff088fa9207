// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Statement texts with filter and ordering clauses, and the cursor's
// re-execution of its statement with a new text (a requery).
//
// A requery keeps the statement handle with its attributes, its cursor name
// and the cursor's column descriptions and record layout; the new text must
// yield the same columns, as "SELECT * FROM t" with any clause does. What the
// old result knew is forgotten: the row count, the end, the block in the
// cache and the rows deleted through the cursor-library road (their numbers
// belong to the old result and would make later fetches skip live rows).
#include "velora/engine/ODBCRequery.h"

#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

namespace velora {

void ODBCBuildStmtText(TStmt Stmt, String& Text) {
    Text = Stmt.BaseText;
    if (Stmt.Filtered) Text += " WHERE " + Stmt.FilterText;
    if (Stmt.Indexed) Text += " ORDER BY " + Stmt.OrderText;
}

void TODBC::Requery(const String& text, bool sequential) {
    // From here until block 0 has been fetched the cursor has no position:
    // should anything below raise, every navigation answers beginning or end
    // of data and no cache slot is read.
    BlockPos = -2;
    RowCount = -1;
    FOverflow.clear();
    EndRow = -2;
    BlockNo = -1;
    FEndNumbered = false;
    FEndBase = -1;
    DeletedRows.clear();

    odbc::SQLCloseCursor(Stmt);  // a cursor that is already closed is no failure here
    if (!text.empty()) {
        ODBCPrepareText(Stmt, text);
        TakeExactReals();  // the new text gets its own companions
    }
    ODBCExecute(Stmt);

    SQLSMALLINT count = 0;
    if (ODBCSucceeded(odbc::SQLNumResultCols(Stmt, &count)) &&
        count != static_cast<SQLSMALLINT>(Columns.size() + FExactReals.size())) {
        odbc::SQLCloseCursor(Stmt);
        throw EODBCError(0, Format("The new statement yields %d columns where the cursor has %d", count,
                                   static_cast<int>(Columns.size())));
    }
    // OpenCache starts the cache afresh exactly as after opening: position
    // state, forward-only bookkeeping and bindings (a driver may drop them
    // when the statement is prepared again), then block 0.
    OpenCache(RowsPerBlock, FRecordArea, sequential);
}

}  // namespace velora

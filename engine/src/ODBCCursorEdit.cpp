// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Writing a dataset's changes back through its open cursor: TODBC's
// InsertRecord, ModifyRecord and DeleteRecord. Two roads, chosen by the
// connection's cursor mode:
//
// - Keyset (the driver's own cursors): the staging record stays bound to the
//   dataset's statement, the new values are copied into it and written with
//   SQLSetPos(SQL_UPDATE / SQL_DELETE) or SQLBulkOperations(SQL_ADD). The
//   length/indicator variables say what is written: a NULL column is
//   SQL_NULL_DATA on update and SQL_COLUMN_IGNORE on add (so the data
//   source's defaults, serial keys among them, apply); read-only columns are
//   always ignored.
// - Cursor library: the row is positioned with SQLSetPos(SQL_POSITION) and a
//   generated statement runs on a second statement of the connection:
//       INSERT INTO T (A, C) VALUES (?, ?)
//       UPDATE T SET A = ?, C = ?  WHERE CURRENT OF <cursor>
//       DELETE FROM T WHERE CURRENT OF <cursor>
//   The columns are the writable (or possibly writable) ones with a bound
//   value; long and unmapped columns never appear, except that the INSERT
//   carries the long values written for the new record. The INSERT leaves
//   out the columns that hold no value, for the same reason the keyset road
//   ignores them. Column names are written as they stand when they are plain
//   identifiers, else quoted with the data source's identifier quote.
//   Values are bound with the C type they are held in (decimals as text with
//   their decimal SQL type, precision and scale).
//
// A failed update leaves the cache slot as the row was read just before it,
// and a second statement never outlives its operation.
#include "velora/engine/ODBCCursor.h"

#include "velora/engine/ODBCHandles.h"
#include "velora/engine/ODBCStatement.h"
#include "EngineInternal.h"
#include "velora/odbc/SQLTokens.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace velora {

namespace {

using detail::CheckStmt;

/// How the data source wants column names written.
struct IdentifierRules {
    String Quote;                      ///< SQL_IDENTIFIER_QUOTE_CHAR; blank when it has none
    SQLUSMALLINT Case = SQL_IC_MIXED;  ///< how it folds names written without quotes
};

IdentifierRules ReadIdentifierRules(SQLHDBC dbc) {
    IdentifierRules rules;
    char quote[8] = {};
    SQLSMALLINT length = 0;
    if (ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length)))
        rules.Quote = quote;
    SQLUSMALLINT folding = SQL_IC_MIXED;
    if (ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_IDENTIFIER_CASE, &folding, sizeof folding, nullptr)))
        rules.Case = folding;
    return rules;
}

/// `name` as it must be written in a statement: unchanged when the data
/// source reads it back as itself without quotes (the SQL text module's
/// NeedsQuoting), else quoted.
String QuoteName(const String& name, const IdentifierRules& rules) {
    if (!odbc::NeedsQuoting(name, rules.Case) || rules.Quote.empty() || rules.Quote == " ") return name;
    if (rules.Quote.size() == 1) return odbc::QuoteName(name, rules.Quote[0]);
    return rules.Quote + name + rules.Quote;
}

/// True for columns that have a value in the record's layout (bound ones).
bool IsBound(const TODBCFldDesc& d) { return d.FldType != fcBlob && d.FldType != fcUnknown; }

/// True for columns the generated statements may write: SQL_COLUMN_UPDATABLE
/// says writable (1) or unknown (2).
bool IsWritable(const TODBCFldDesc& d) { return d.Updatable != SQL_ATTR_READONLY; }

SQLSMALLINT LongCType(const TODBCFldDesc& d) { return d.SubType == fscBinary ? SQL_C_BINARY : SQL_C_CHAR; }

/// A code other than SQL_SUCCESS from a positioning or writing call ends the
/// operation with the statement's diagnostics (a warning without any passes).
void CheckPositioned(SQLHSTMT stmt, SQLRETURN rc) {
    if (rc != SQL_SUCCESS) ODBCCheckError(SQL_HANDLE_STMT, stmt, rc);
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared steps.

/// The current logical row, which update and delete act on.
/// \throws EODBCError when the cursor stands on no row.
std::int32_t TODBC::EditRow() const {
    // A forward-only cursor cannot come back to the row to position on it.
    if (ForwardOnly()) throw EODBCError(0, "Rows cannot be written back through a forward-only cursor");
    const std::int32_t row = BlockNo * RowsPerBlock + BlockPos;
    if (BlockNo < 0 || BlockPos < 0 || BlockPos >= RowsPerBlock || (EndRow >= 0 && row >= EndRow))
        throw EODBCError(0, "There is no current row to write back");
    return row;
}

/// Fetches logical row `row` into the bound staging record, so that the
/// driver (or the cursor library) stands on it.
void TODBC::FetchForEdit(std::int32_t row) {
    SlotsChange();
    if (!ColumnsBound) BindColumns(StagingRecord.data());
    ClearIndicators();
    SQLRETURN rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_ABSOLUTE, DriverRow(row));
    if (rc == SQL_NO_DATA)
        throw EODBCError(0, FEndNumbered ? Format("Row %d from the end is no longer in the result", EndIndex() - row)
                                         : Format("Row %d is no longer in the result", row + 1));
    // Values longer than their buffers (SQLite keeps values longer than the
    // declared size) are no failure: StoreStaging reads them whole.
    if (rc == SQL_SUCCESS_WITH_INFO &&
        detail::AllRecordsAre(odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt), "01004"))
        return;
    CheckPositioned(Stmt, rc);
}

/// Runs a generated statement on a statement of its own, with `params`
/// bound from `values`; the statement is freed whatever happens.
SQLRETURN TODBC::RunSecondStatement(const String& text, const std::vector<TODBCFldDesc>& params,
                                    const std::vector<std::byte>& values) {
    FLastEditSql = text;
    // Freed when the operation leaves, also by an exception (whose own error
    // is then already on its way out).
    const TODBCStmtOwner second(ODBCAllocStmt(Dbc));
    const SQLHSTMT h = second.get();
    CheckStmt(h, odbc::SQLPrepare(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                                  static_cast<SQLINTEGER>(text.size())));
    std::vector<SQLLEN> indicators(params.size(), 0);
    if (!params.empty())
        ODBCBindParams(h, static_cast<int>(params.size()), params.data(), values.data(), this, indicators.data());
    SQLRETURN rc = ODBCExecute(h);
    // A positioned statement that matched no row wrote nothing.
    if (rc == SQL_NO_DATA)
        throw EODBCError("ODBC32 Error 01001 :The row was changed or deleted by another user\r\n", "01001", 0);
    return rc;
}

namespace {

/// Loads the length/indicator variables of the bound columns from `record`
/// for a keyset write: the value's length, SQL_NULL_DATA for NULL on update,
/// SQL_COLUMN_IGNORE for NULL on add and for read-only columns.
/// True when an update writes column i: every column, or only the
/// assigned ones when there are any.
bool Written(const std::vector<bool>& assigned, std::size_t i) { return assigned.empty() || assigned[i]; }

void LoadIndicators(TODBC& c, const void* record, bool adding, const std::vector<bool>& assigned = {}) {
    for (std::size_t i = 0; i < c.Columns.size(); ++i) {
        const TODBCFldDesc& d = c.Columns[i];
        if (!IsBound(d)) continue;
        const std::int32_t length = ODBCGetIndicator(record, d);
        if (!IsWritable(d) || !Written(assigned, i))
            c.Indicators[i] = SQL_COLUMN_IGNORE;
        else if (length < 0)
            c.Indicators[i] = adding ? SQL_COLUMN_IGNORE : SQL_NULL_DATA;
        else
            c.Indicators[i] = length;
    }
}

/// The parameter descriptor of column `d` at parameter position `k`.
TODBCFldDesc ParamOf(const TODBCFldDesc& d, int k) {
    TODBCFldDesc p = d;
    p.FieldNo = static_cast<std::uint16_t>(k);
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Insert.

int TODBC::InsertRecord(const void* record) {
    if (CursorMode == cmForwardOnly) throw EODBCError(0, "Rows cannot be written back through a forward-only cursor");
    if (StagingRecord.empty() || Columns.empty()) throw EODBCError(0, "The cursor has no open result to add rows to");
    SlotsChange();
    NumberFromFirst();   // a new row is counted and sought from the first row
    FRowsetsOff = true;  // a written result is read one row a fetch from here on
    return CursorMode == cmKeyset ? InsertByBulkAdd(record) : InsertBySql(record);
}

int TODBC::InsertByBulkAdd(const void* record) {
    // Adding a row needs no current row: no fetch, no positioning, so an
    // empty result takes rows too.
    if (!ColumnsBound) BindColumns(StagingRecord.data());
    std::memcpy(StagingRecord.data(), record, static_cast<std::size_t>(RecordSize()));
    LoadIndicators(*this, record, true);

    // Long values written for the new record travel with it, bound whole.
    static char emptyValue[1] = {0};
    std::vector<SQLUSMALLINT> longBound;
    auto unbindLong = [&] {
        for (SQLUSMALLINT col : longBound) odbc::SQLBindCol(Stmt, col, SQL_C_CHAR, nullptr, 0, nullptr);
        longBound.clear();
    };
    for (auto& [column, value] : FPendingInsert) {
        if (column < 1 || column > FieldCount()) continue;
        const auto i = static_cast<std::size_t>(column - 1);
        if (Columns[i].FldType != fcBlob || !IsWritable(Columns[i])) continue;
        Indicators[i] = static_cast<SQLLEN>(value.size());
        const auto col = static_cast<SQLUSMALLINT>(column);
        SQLRETURN rc = odbc::SQLBindCol(Stmt, col, LongCType(Columns[i]), value.empty() ? emptyValue : value.data(),
                                        static_cast<SQLLEN>(value.size()), &Indicators[i]);
        if (!ODBCSucceeded(rc)) {
            auto records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt);
            unbindLong();
            if (!records.empty()) detail::RaiseDiagnostics(records);
            ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
        }
        longBound.push_back(col);
    }

    SQLRETURN rc = odbc::SQLBulkOperations(Stmt, SQL_ADD);
    if (rc != SQL_SUCCESS) {
        // Unbinding clears the statement's diagnostics: read them first.
        auto records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt);
        unbindLong();
        if (!records.empty()) detail::RaiseDiagnostics(records);
        ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    }
    unbindLong();
    FPendingInsert.clear();

    // The driver's cursor shows the new row last.
    if (RowCount >= 0) {
        ++RowCount;
        EndRow = RowCount;
        if (!ForwardOnly() && BlockNo >= 0 && (RowCount - 1) / RowsPerBlock == BlockNo) FetchBlock(false);
    }
    return rc;
}

int TODBC::InsertBySql(const void* record) {
    std::memcpy(StagingRecord.data(), record, static_cast<std::size_t>(RecordSize()));
    const IdentifierRules rules = ReadIdentifierRules(Dbc);

    // Columns written: bound writable ones holding a value, and long ones
    // holding a value written for this record, in column order. Only when no
    // column has a value are all bound writable columns listed (as NULL).
    std::vector<std::size_t> listed;
    bool anyValue = false;
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (!IsWritable(d)) continue;
        if (IsBound(d) && ODBCGetIndicator(record, d) >= 0)
            listed.push_back(i);
        else if (d.FldType == fcBlob && PendingBlob(static_cast<int>(i) + 1))
            listed.push_back(i);
    }
    anyValue = !listed.empty();
    if (!anyValue)
        for (std::size_t i = 0; i < Columns.size(); ++i)
            if (IsWritable(Columns[i]) && IsBound(Columns[i])) listed.push_back(i);

    std::size_t longCount = 0;
    for (std::size_t i : listed) longCount += Columns[i].FldType == fcBlob ? 1 : 0;
    const auto recordSize = static_cast<std::size_t>(RecordSize());
    std::vector<std::byte> values(recordSize + longCount * sizeof(TODBCBlobRef));
    std::memcpy(values.data(), StagingRecord.data(), recordSize);

    String names;
    String markers;
    std::vector<TODBCFldDesc> params;
    std::size_t longAt = recordSize;
    for (std::size_t i : listed) {
        const TODBCFldDesc& d = Columns[i];
        const int k = static_cast<int>(params.size()) + 1;
        if (d.FldType == fcBlob) {
            // The long value, read by the binder through a reference placed
            // behind the record. The parameter has no name, so its size is
            // the value's own and not the column's.
            const String* value = PendingBlob(static_cast<int>(i) + 1);
            TODBCBlobRef ref{value->data(), static_cast<std::int32_t>(value->size())};
            std::memcpy(values.data() + longAt, &ref, sizeof ref);
            TODBCFldDesc p;
            p.FieldNo = static_cast<std::uint16_t>(k);
            p.FldType = fcBlob;
            p.SubType = d.SubType;
            p.Offset = static_cast<std::uint16_t>(longAt);
            p.NullOffset = p.Offset;
            p.Len = sizeof ref;
            p.Updatable = d.Updatable;
            params.push_back(p);
            longAt += sizeof ref;
        } else {
            params.push_back(ParamOf(d, k));
        }
        if (k > 1) {
            names += ", ";
            markers += ", ";
        }
        names += QuoteName(d.GetName(), rules);
        markers += "?";
    }
    const String text = "INSERT INTO " + GetTableName() + " (" + names + ")" + " VALUES (" + markers + ")";
    SQLRETURN rc = RunSecondStatement(text, params, values);
    FPendingInsert.clear();
    return rc;
}

// ---------------------------------------------------------------------------
// Update.

int TODBC::ModifyRecord(const void* record) {
    SlotsChange();
    const std::int32_t row = EditRow();
    FRowsetsOff = true;  // a written result is read one row a fetch from here on
    const auto size = static_cast<std::size_t>(RecordSize());
    std::byte* slot = CacheSlot(BlockPos);

    // The row as the data source has it now goes into the slot: that is what
    // a failed write leaves there.
    FetchForEdit(row);
    StoreStaging(BlockPos);
    const std::vector<std::byte> kept(slot, slot + size);
    std::vector<bool> assigned;
    if (HasAssigned()) assigned = FAssigned;
    std::memcpy(slot, record, size);
    // The columns not written keep the values the data source has.
    for (std::size_t i = 0; i < Columns.size() && !assigned.empty(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (assigned[i] || !IsBound(d)) continue;
        std::memcpy(slot + d.Offset, kept.data() + d.Offset, static_cast<std::size_t>(d.NullOffset - d.Offset + 2));
    }
    std::memcpy(StagingRecord.data(), slot, size);

    SQLRETURN rc = SQL_SUCCESS;
    try {
        if (CursorMode == cmKeyset) {
            LoadIndicators(*this, record, false, assigned);
            rc = odbc::SQLSetPos(Stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
            CheckPositioned(Stmt, rc);
            rc = odbc::SQLSetPos(Stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
            CheckPositioned(Stmt, rc);
        } else {
            rc = odbc::SQLSetPos(Stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
            CheckPositioned(Stmt, rc);
            const IdentifierRules rules = ReadIdentifierRules(Dbc);
            String assignments;
            std::vector<TODBCFldDesc> params;
            for (std::size_t i = 0; i < Columns.size(); ++i) {
                const TODBCFldDesc& d = Columns[i];
                if (!IsBound(d) || !IsWritable(d) || !Written(assigned, i)) continue;
                if (!params.empty()) assignments += ", ";
                assignments += QuoteName(d.GetName(), rules) + " = ?";
                params.push_back(ParamOf(d, static_cast<int>(params.size()) + 1));
            }
            // Nothing the update may write: the change cannot reach the row.
            if (params.empty()) throw EODBCError(0, "No column of the row can be written");
            const String text =
                "UPDATE " + GetTableName() + " SET " + assignments + "  WHERE CURRENT OF " + ODBCCursorName(Stmt);
            std::vector<std::byte> values(StagingRecord.begin(), StagingRecord.begin() + size);
            rc = RunSecondStatement(text, params, values);
        }
    } catch (...) {
        std::memcpy(slot, kept.data(), size);
        throw;
    }
    return rc;
}

// ---------------------------------------------------------------------------
// Delete.

int TODBC::DeleteRecord(bool sequential) {
    SlotsChange();
    // Rows deleted through the cursor library keep their numbers from the first row.
    NumberFromFirst();
    const std::int32_t row = EditRow();
    FRowsetsOff = true;  // a written result is read one row a fetch from here on
    FetchForEdit(row);
    SQLRETURN rc;
    if (CursorMode == cmKeyset) {
        rc = odbc::SQLSetPos(Stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE);
        CheckPositioned(Stmt, rc);
    } else {
        rc = odbc::SQLSetPos(Stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
        CheckPositioned(Stmt, rc);
        rc = RunSecondStatement("DELETE FROM " + GetTableName() + " WHERE CURRENT OF " + ODBCCursorName(Stmt), {}, {});
        // The library's static cursor keeps the row in its place: later
        // fetches skip it.
        AddDeletedRow(row + 1);
    }
    if (RowCount >= 0) {
        --RowCount;
        EndRow = RowCount;
    }
    FetchBlock(sequential);
    return rc;
}

}  // namespace velora

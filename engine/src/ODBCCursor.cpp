// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBC: result description, record layout, the block cache and navigation,
// and field value conversion. Long data lives in ODBCLongData.cpp.
//
// Navigation state: the current logical row is BlockNo × RowsPerBlock +
// BlockPos. BlockPos -1 stands before the first row of block BlockNo; a
// position equal to EndRow stands one past the last row. No routine copies a
// cache slot outside 0 .. RowsPerBlock - 1: before the cache exists (BlockNo
// < 0) and after a failed re-execution every move answers beginning or end of
// data.
#include "velora/engine/ODBCCursor.h"

#include "velora/engine/ODBCStatement.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"

#include "EngineInternal.h"

#include <algorithm>
#include <limits>
#include <cmath>
#include <cstring>

namespace velora {

namespace {

using detail::CheckStmt;

}  // namespace

// ---------------------------------------------------------------------------
// Construction and description.

TODBC::TODBC(SQLHDBC dbc, SQLHSTMT stmt, const String& tableName, std::uint8_t cursorMode)
    : CursorMode(cursorMode), Dbc(dbc), Stmt(stmt), FTableName(tableName) {
    StrPLCopy(CurProps.TableName, tableName, sizeof CurProps.TableName);
    CurProps.NameSize = static_cast<std::uint16_t>(std::strlen(CurProps.TableName) + 1);
    DescribeColumns(tableName);
    InitCursorProps();
    TakeExactReals();
}

TODBC::~TODBC() {
    SlotsChange();  // the rows lent go with the cache
    // The statement outlives us; it must not keep pointers into our records
    // (also after a bind that failed half-way).
    LeaveRowsets();
    if (!StagingRecord.empty()) odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
}

void TODBC::InitCursorProps() {
    char server[129] = {};
    SQLSMALLINT length = 0;
    if (ODBCSucceeded(odbc::SQLGetInfo(Dbc, SQL_SERVER_NAME, server, sizeof server, &length)))
        StrPLCopy(CurProps.ServerName, server, sizeof CurProps.ServerName);
    CurProps.FieldCount = static_cast<std::uint16_t>(Columns.size());
    CurProps.BookmarkLen = static_cast<std::uint16_t>(CurProps.RecordSize + 14);
    CurProps.CursorFlags = -1;
}

/// After execution: what the driver granted. A keyset cursor the driver made
/// read-only cannot write back, so the dataset must not offer editing.
void TODBC::ReadGranted() {
    if (CursorMode != cmKeyset) return;
    SQLULEN concurrency = SQL_CONCUR_ROWVER;
    if (ODBCSucceeded(odbc::SQLGetStmtAttr(Stmt, SQL_ATTR_CONCURRENCY, &concurrency, SQL_IS_UINTEGER, nullptr)) &&
        concurrency == SQL_CONCUR_READ_ONLY)
        CurProps.OpenMode = ODBCREADONLY;
    // Some drivers (psqlODBC) know which columns can be written only now.
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        SQLLEN value = 0;
        if (ODBCSucceeded(odbc::SQLColAttribute(Stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_COLUMN_UPDATABLE, nullptr,
                                                0, nullptr, &value)))
            Columns[i].Updatable = static_cast<std::int16_t>(value);
    }
}

// ---------------------------------------------------------------------------
// The cache.

int TODBC::OpenCache(int rows, int size, bool sequential) {
    SlotsChange();
    if (Columns.empty()) {
        DescribeColumns(FTableName);
        InitCursorProps();
    } else if (!FRetypable.empty()) {
        DescribeAfterExecute();
    }
    ReadGranted();
    LeaveRowsets();  // the statement must not keep pointers into the arrays replaced here
    FRowsetsOff = false;
    RowsPerBlock = std::max(rows, 1);
    FSequential = sequential;
    FRecordArea = std::max(size, static_cast<int>(CurProps.RecordSize));
    // A slot is a row of the rowset the driver fetches into (see BindRowset):
    // the record, then one SQLLEN length/indicator a column, then the
    // companions of exact reals.
    const std::size_t align = alignof(SQLLEN);
    FRowIndicators = static_cast<int>((static_cast<std::size_t>(FRecordArea) + align - 1) / align * align);
    FRowExact = FRowIndicators + static_cast<int>(Columns.size() * sizeof(SQLLEN));
    FRowPrefixes = FRowExact + ExactSlotsSize();
    // psqlODBC is the one driver measured that reads a long value of any row
    // of a rowset once positioned on it (the platform notes).
    FLongPrefixes = FLongColumns > 0 && ForwardOnly() && RowsPerBlock > 1 && detail::IsPsqlODBC(Dbc);
    RowSize = FRowPrefixes + (FLongPrefixes ? FLongColumns * kLongPrefix : 0);
    CacheSize = RowsPerBlock * RowSize;
    RowCache.assign(static_cast<std::size_t>(CacheSize), std::byte{0});
    FFilled.assign(static_cast<std::size_t>(RowsPerBlock), 0);
    StagingRecord.assign(static_cast<std::size_t>(std::max(FRecordArea, 1)), std::byte{0});
    FExactStage.assign(static_cast<std::size_t>(ExactSlotsSize()), std::byte{0});
    ColumnsBound = false;  // the staging record is new
    FKeyRange = odbc::UsesKeyRangeCursor(Stmt);
    FOverflow.clear();
    FNextRow = 0;
    RowCount = -1;
    EndRow = -2;
    BlockNo = -1;
    FEndNumbered = false;
    FEndBase = -1;
    return NextBlock(sequential);
}

/// Makes the list of what storing a fetched row needs of each column with a
/// record slot (see StoreRow), when the columns are bound.
void TODBC::PlanStaging() {
    FStaged.clear();
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (d.FldType == fcUnknown) continue;
        // Text keeps room for its terminator; fixed types fill their area.
        const bool variable = CTypes[i] == SQL_C_CHAR || CTypes[i] == SQL_C_BINARY;
        FStaged.push_back({d.NullOffset, static_cast<std::int32_t>(variable ? d.Len - 1 : d.Len), static_cast<int>(i),
                           variable, d.FldType == fcBlob});
    }
    // The columns whose values may not fit their area first, in column
    // order (their whole values are read in that order): Overflows looks at
    // them alone.
    std::stable_partition(FStaged.begin(), FStaged.end(), [](const TStagedColumn& c) { return c.Variable && !c.Long; });
}

void TODBC::BindColumns(void* record) {
    LeaveRowsets();
    ColumnsBound = false;
    PlanStaging();
    auto* base = static_cast<std::byte*>(record);
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (d.FldType == fcBlob || d.FldType == fcUnknown) continue;
        CheckStmt(Stmt, odbc::SQLBindCol(Stmt, static_cast<SQLUSMALLINT>(i + 1), CTypes[i], base + d.Offset, d.Len,
                                         &Indicators[i]));
    }
    BindExactReals(FExactStage.data());
    ColumnsBound = true;
}

/// True when a value of the fetched row with the length/indicator variables
/// `indicators` did not fit its buffer.
bool TODBC::Overflows(const SQLLEN* indicators) const {
    for (const TStagedColumn& c : FStaged) {
        if (!c.Variable || c.Long) break;  // the others follow these (PlanStaging)
        const SQLLEN ind = indicators[c.Column];
        if (ind != SQL_NULL_DATA && (ind == SQL_NO_TOTAL || ind > c.Capacity)) return true;
    }
    return false;
}

/// Turns the bound length/indicator variables into the staging record's
/// slots and copies the staging record to cache slot k.
void TODBC::StoreStaging(int k) { StoreRow(k, StagingRecord.data(), Indicators.data()); }

/// Turns the length/indicator variables `indicators` of the fetched row in
/// `record` into its slots and copies the record to cache slot k, unless it
/// is that slot already (a rowset fetch writes the rows into their slots).
/// Every fetched row passes here, so it walks the compact list PlanStaging
/// made rather than the column descriptions.
void TODBC::StoreRow(int k, std::byte* record, const SQLLEN* indicators) {
    SlotsChange();
    for (const TStagedColumn& c : FStaged) {
        SQLLEN ind = c.Long ? SQL_NULL_DATA : indicators[c.Column];
        std::uint16_t word = kIndicatorNull;
        if (ind != SQL_NULL_DATA) {
            if (ind < 0 || ind > c.Capacity) {
                // A value longer than its buffer (a data source that does not
                // keep to the declared size) is read whole and kept beside the
                // record, which holds its start; it is never delivered cut.
                if (c.Variable && (ind == SQL_NO_TOTAL || ind > c.Capacity))
                    FOverflow[{BlockNo * RowsPerBlock + k, c.Column + 1}] = ReadWholeText(c.Column + 1);
                ind = c.Capacity;
            }
            word = static_cast<std::uint16_t>(std::min<SQLLEN>(ind, kIndicatorMaxLength) + 1);
        }
        std::memcpy(record + c.NullOffset, &word, sizeof word);
    }
    if (!FExactReals.empty())
        StoreExactReals(record, record == StagingRecord.data() ? FExactStage.data() : record + FRowExact);
    if (record != CacheSlot(k)) std::memcpy(CacheSlot(k), record, CurProps.RecordSize);
    if (FLongColumns > 0 && ForwardOnly()) KeepLongValues(k, indicators);
    FFilled[static_cast<std::size_t>(k)] = 1;
}

bool TODBC::CopySlot(int k, void* buffer, TODBCRowLoan* loan) {
    if (k < 0 || k >= RowsPerBlock) return false;
    EnsureSlot(k);
    // Numbered from the end, the block may have met the first row and been
    // numbered from it: the slot moved with the row, or the row was none.
    if (k < 0) return false;
    if (loan && FLendHook) {
        loan->Row = CacheSlot(k);
        FLent = true;
    } else {
        std::memcpy(buffer, CacheSlot(k), CurProps.RecordSize);
    }
    return true;
}

/// Scrollable cursors: fetches the row of slot k of the current block alone
/// (SQL_FETCH_ABSOLUTE) into the slot. Answers false at the end of data.
/// `target`: the row a jump goes to, whose warnings (truncation) are raised
/// like those of a block's first row; a row fetched on the way (Next, Prior)
/// raises only errors, as the rows after a block's first do.
bool TODBC::FillSlot(int k, bool target) {
    SlotsChange();
    // With rowsets bound the row comes straight into its slot: the array set
    // to one row and the bind offset aimed at the slot (switching the array
    // costs one attribute call, the offset none, binding the staging record
    // again one call a column).
    std::byte* record = StagingRecord.data();
    SQLLEN* indicators = Indicators.data();
    if (FRowsetBound) {
        SetArraySize(1);
        record = CacheSlot(k);
        indicators = reinterpret_cast<SQLLEN*>(record + FRowIndicators);
        std::fill(indicators, indicators + Columns.size(), SQLLEN(0));  // see ClearIndicators
        ClearExactReals(record + FRowExact);
        FBindOffset = static_cast<SQLULEN>(k) * static_cast<SQLULEN>(RowSize);
    } else {
        if (!ColumnsBound) BindColumns(StagingRecord.data());
        ClearIndicators();
    }
    SQLRETURN rc;
    try {
        rc = Fetch(SQL_FETCH_ABSOLUTE, DriverRow(BlockNo * RowsPerBlock + k));
    } catch (...) {
        FBindOffset = 0;
        throw;
    }
    FBindOffset = 0;
    if (rc == SQL_NO_DATA) return false;
    if (target ? rc != SQL_SUCCESS : !ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    StoreRow(k, record, indicators);
    return true;
}

/// Makes sure slot k of the current block holds its row; a row that cannot
/// be fetched alone brings the whole block (which also learns where the data
/// ends). Answers false when the slot lies past the end of data.
bool TODBC::EnsureSlot(int& k) {
    if (FFilled[static_cast<std::size_t>(k)] || Columns.empty()) return true;
    if (EndRow >= 0 && BlockNo * RowsPerBlock + k >= EndRow) return false;
    if (!ForwardOnly() && FillSlot(k, false)) return true;
    const std::int32_t mark = MarkOf(BlockNo * RowsPerBlock + k);
    const bool fromEnd = FEndNumbered;
    FetchBlock(false);
    if (fromEnd && !FEndNumbered) {  // numbered from the first row now
        const std::int32_t row = FEndBase + mark + 1;
        if (row < 0 || row / RowsPerBlock != BlockNo) {
            k = -1;
            return false;
        }
        k = row % RowsPerBlock;
    }
    return FFilled[static_cast<std::size_t>(k)] != 0;
}

/// Forward-only cursors: re-runs the statement to read it again from its start.
void TODBC::Rewind() {
    odbc::SQLCloseCursor(Stmt);
    FNextRow = 0;
    try {
        ODBCExecute(Stmt, nullptr, Gate);
    } catch (const EODBCError& e) {
        if (!Gate || !Gate->Cancelled()) throw;
        Gate->RaiseCancelled(Stmt, e.Diagnostics);
    }
    if (Gate && Gate->Cancelled()) Gate->RaiseCancelled(Stmt, {});
}

/// Fetches through the cancel gate: CancelStatement and the query timeout
/// may stop a fetch (a forward-only SQLite statement does its work in the
/// first). A fetch a cancel reached raises, whatever it answered, so a
/// result cut short is never read as a whole one.
SQLRETURN TODBC::Fetch(SQLSMALLINT orientation, SQLLEN offset) {
    SlotsChange();
    SQLRETURN rc;
    {
        TODBCCancelGate::TScope inside(Gate, Stmt);
        rc = odbc::SQLFetchScroll(Stmt, orientation, offset);
    }
    if (Gate && Gate->Cancelled()) {
        std::vector<odbc::DiagRecord> records;
        if (!ODBCSucceeded(rc) && rc != SQL_NO_DATA) records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt);
        Gate->RaiseCancelled(Stmt, std::move(records));
    }
    return rc;
}

/// Clears the length/indicator variables before a fetch: MariaDB's driver
/// writes none for a BIT value that is not NULL, so the previous row's NULL
/// would remain.
void TODBC::ClearIndicators() {
    std::fill(Indicators.begin(), Indicators.end(), SQLLEN(0));
    ClearExactReals(FExactStage.data());
}

/// Forward-only cursors: the next row by FETCH_NEXT.
SQLRETURN TODBC::FetchForward() {
    ClearIndicators();
    SQLRETURN rc = Fetch(SQL_FETCH_NEXT, 0);
    if (ODBCSucceeded(rc)) ++FNextRow;
    return rc;
}

SQLRETURN TODBC::FetchFirstOfBlock(bool forwardOnly) {
    const std::int32_t first = BlockNo * RowsPerBlock;
    if (!forwardOnly) {
        ClearIndicators();
        return Fetch(SQL_FETCH_ABSOLUTE, DriverRow(first));
    }
    // A forward-only cursor reaches the block by reading forward, from the
    // start again when the block lies behind it.
    if (FNextRow > first) Rewind();
    while (FNextRow < first) {
        SQLRETURN rc = FetchForward();
        if (rc == SQL_NO_DATA) {
            EndRow = RowCount = FNextRow;
            return rc;
        }
        if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    }
    return FetchForward();
}

SQLRETURN TODBC::FetchBlock(bool sequential) {
    const SQLRETURN rc = FetchBlockRows(sequential);
    if (rc != SQL_NO_DATA || !FEndNumbered) return rc;
    // Numbered from the end, a block whose first row is missing begins
    // before the first row (nothing was deleted through the cursor, or it
    // would not number so): the cursor knows the rows now. Numbered from the
    // first row, the position keeps its row and the block is fetched there;
    // a position before the first row is the beginning of data.
    NumberFromFirst();
    if (BlockPos < 0) return SQL_NO_DATA;
    return FetchBlockRows(sequential);
}

SQLRETURN TODBC::FetchBlockRows(bool sequential) {
    (void)sequential;  // a uni-directional cache was opened so; the statement decides
    const std::int32_t first = BlockNo * RowsPerBlock;
    std::fill(FFilled.begin(), FFilled.end(), std::uint8_t{0});
    if (Columns.empty()) {
        EndRow = RowCount = 0;
        BlockPos = 0;
        return SQL_NO_DATA;
    }
    for (TKeptLong& kept : FKeptLongs) kept.Row = -1;
    if (UsesRowsets()) {
        bool fallBack = false;
        const SQLRETURN rc = ForwardOnly() ? FetchRowsetBlock(fallBack) : FetchScrollableRowset(fallBack);
        if (!fallBack) return rc;
    }
    if (!ColumnsBound) BindColumns(StagingRecord.data());
    SQLRETURN rc = FetchFirstOfBlock(ForwardOnly());
    if (rc == SQL_NO_DATA) {
        if (EndRow < 0 || EndRow > first) EndsAt(first);
        if (BlockNo == 0) BlockPos = 0;
        return SQL_NO_DATA;
    }
    // Warnings on the first row are raised like errors, but for values
    // longer than their buffers, which StoreStaging reads whole.
    if (rc != SQL_SUCCESS && !detail::AllRecordsAre(odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt), "01004"))
        ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    StoreStaging(0);
    for (int k = 1; k < RowsPerBlock; ++k) {
        if (FetchRow(k + 1) == ODBCRecEOF) {
            EndsAt(first + k);
            break;
        }
        StoreStaging(k);
    }
    return SQL_SUCCESS;
}

SQLRETURN TODBC::FetchRow(int n) {
    SQLRETURN rc;
    if (!ForwardOnly()) ClearIndicators();
    if (ForwardOnly())
        rc = FetchForward();
    else if (CursorMode == cmCursorLibrary && !DeletedRows.empty())
        rc = Fetch(SQL_FETCH_ABSOLUTE, MapRowNumber(n + BlockNo * RowsPerBlock));
    else
        rc = Fetch(SQL_FETCH_NEXT, 0);  // the row after the one just fetched
    if (rc == SQL_NO_DATA) return ODBCRecEOF;
    // A failing row is raised, never delivered with the previous row's data.
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    return rc;
}

// ---------------------------------------------------------------------------
// Rowset fetches.
//
// A cursor fetches a whole block with one driver call: the statement's row
// array holds RowsPerBlock rows, bound row-wise into the cache itself, so
// each row lands in its slot and is not copied. Forward-only cursors read
// forward to the block (FetchRowsetBlock), scrollable ones go to its first
// row (FetchScrollableRowset). Results with long columns keep one-row
// fetches, since their values are read with SQLGetData on the row just
// fetched, except forward-only results on a driver that reads a long value
// of any row of the rowset (psqlODBC): there each long column binds a prefix
// in the slot, and only values longer than it are read with SQLGetData after
// positioning on their row (KeepLongValues). So does a result once a rowset
// fetch reports a warning other than a cut prefix (a value
// longer than its buffer, or any other): the drivers measured cannot be
// trusted to read a value of one row of a rowset afterwards (on SQLite and
// MariaDB SQLGetData after positioning on it reads another row's value), and
// their diagnostics do not say which row a warning belongs to. The block is
// then read one row a fetch (a forward-only statement runs again from its
// start), which raises the warnings of its first row and reads long text
// whole, exactly as without rowsets. After a write through the cursor the
// result is read one row a fetch too (see FRowsetsOff).

bool TODBC::UsesRowsets() const {
    if (RowsPerBlock <= 1 || FRowsetsOff || (FLongColumns > 0 && !FLongPrefixes)) return false;
    // The cursor library maps row numbers around rows deleted through it.
    return ForwardOnly() || CursorMode != cmCursorLibrary || DeletedRows.empty();
}

/// Sets the statement's row array to `rows` rows (rowsets bound).
void TODBC::SetArraySize(int rows) {
    if (FArraySize == rows) return;
    CheckStmt(Stmt, odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                                         reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rows)), SQL_IS_UINTEGER));
    FArraySize = rows;
}

/// Before a rowset fetch: the rowset area bound (False when the driver does
/// not take it), the array at a block's rows, the length/indicator variables
/// cleared.
bool TODBC::ReadyRowset() {
    if (!FRowsetBound && !BindRowset()) return false;
    SetArraySize(RowsPerBlock);
    ClearRowsetIndicators();
    return true;
}

/// Clears the length/indicator variables of every row of the rowset area
/// (see ClearIndicators).
void TODBC::ClearRowsetIndicators() {
    for (int k = 0; k < RowsPerBlock; ++k) {
        std::memset(CacheSlot(k) + FRowIndicators, 0, Columns.size() * sizeof(SQLLEN));
        ClearExactReals(CacheSlot(k) + FRowExact);
    }
}

/// The rows of the rowset just fetched before the first one the driver
/// reports failed (`fetched` when none did); -1 when a row before it is
/// reported deleted or absent.
int TODBC::RowsBeforeFailure(int fetched) const {
    for (int k = 0; k < fetched; ++k) {
        const SQLUSMALLINT status = FRowStatus[static_cast<std::size_t>(k)];
        if (status == SQL_ROW_ERROR) return k;
        if (status != SQL_ROW_SUCCESS && status != SQL_ROW_SUCCESS_WITH_INFO) return -1;
    }
    return fetched;
}

/// Binds the statement to the cache, row-wise (a slot a row). False (and
/// rowsets off for this result) when the driver does not take the array as
/// asked.
bool TODBC::BindRowset() {
    FBindOffset = 0;
    FRowStatus.assign(static_cast<std::size_t>(RowsPerBlock), SQL_ROW_NOROW);
    odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
    ColumnsBound = false;
    PlanStaging();
    FRowsetBound = true;  // from here LeaveRowsets undoes whatever was set
    auto set = [&](SQLINTEGER attribute, SQLULEN value) {
        return odbc::SQLSetStmtAttr(Stmt, attribute, reinterpret_cast<SQLPOINTER>(value), SQL_IS_UINTEGER) ==
               SQL_SUCCESS;
    };
    bool ok = set(SQL_ATTR_ROW_BIND_TYPE, static_cast<SQLULEN>(RowSize)) &&
              set(SQL_ATTR_ROW_ARRAY_SIZE, static_cast<SQLULEN>(RowsPerBlock)) &&
              odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROWS_FETCHED_PTR, &FRowsFetched, 0) == SQL_SUCCESS &&
              odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_STATUS_PTR, FRowStatus.data(), 0) == SQL_SUCCESS &&
              odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &FBindOffset, 0) == SQL_SUCCESS;
    auto* indicators = reinterpret_cast<SQLLEN*>(RowCache.data() + FRowIndicators);
    for (std::size_t i = 0; ok && i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (d.FldType == fcUnknown || (d.FldType == fcBlob && !FLongPrefixes)) continue;
        ok = d.FldType == fcBlob ? BindLongPrefix(i, indicators)
                                 : ODBCSucceeded(odbc::SQLBindCol(Stmt, static_cast<SQLUSMALLINT>(i + 1), CTypes[i],
                                                                  RowCache.data() + d.Offset, d.Len, &indicators[i]));
    }
    if (ok) {
        try {
            BindExactReals(RowCache.data() + FRowExact);
        } catch (const EODBCError&) {
            ok = false;
        }
    }
    if (!ok) {
        LeaveRowsets();
        FRowsetsOff = true;
    }
    FArraySize = RowsPerBlock;
    return ok;
}

/// Back to one row a fetch, nothing bound: the one-row paths bind the
/// staging record again.
void TODBC::LeaveRowsets() noexcept {
    if (!FRowsetBound) return;
    FRowsetBound = false;
    ColumnsBound = false;
    odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
    odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), SQL_IS_UINTEGER);
    FArraySize = 1;
    odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_BIND_BY_COLUMN}),
                         SQL_IS_UINTEGER);
    odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    odbc::SQLSetStmtAttr(Stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, nullptr, 0);
    FBindOffset = 0;
}

/// Fills the block BlockNo from rowset fetches, reading forward to it (from
/// the start again when it lies behind). Sets `fallBack` when the block must
/// be read one row a fetch instead; the statement then stands at its start.
SQLRETURN TODBC::FetchRowsetBlock(bool& fallBack) {
    const std::int32_t first = BlockNo * RowsPerBlock;
    if (!ReadyRowset()) {
        fallBack = true;
        return SQL_SUCCESS;
    }
    // Rowsets start at block boundaries; a block behind is read from the start.
    if (FNextRow > first || (first - FNextRow) % RowsPerBlock != 0) Rewind();
    auto fallBackToOneRow = [&] {
        FRowsetsOff = true;
        LeaveRowsets();
        Rewind();
        fallBack = true;
        return SQL_SUCCESS;
    };
    for (bool onTheWay = false;; onTheWay = true) {
        if (onTheWay) ClearRowsetIndicators();  // ReadyRowset cleared them for the first fetch
        FRowsFetched = 0;
        const SQLRETURN rc = Fetch(SQL_FETCH_NEXT, 0);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA)
            ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
        // MariaDB leaves the count as it was at the end of data.
        const int fetched = rc == SQL_NO_DATA
                                ? 0
                                : static_cast<int>(std::min<SQLULEN>(FRowsFetched, static_cast<SQLULEN>(RowsPerBlock)));
        // Rows up to the first one that failed are delivered, as when each
        // row is fetched alone; a row the driver reports deleted or absent
        // sends the block to one-row fetches, and so does a warning in the
        // block (warnings of rows skipped on the way do not matter).
        const int usable = RowsBeforeFailure(fetched);
        if (usable < 0) return fallBackToOneRow();
        const int failed = usable < fetched ? usable : -1;
        const std::int32_t at = FNextRow;
        if (at == first && failed < 0 && rc == SQL_SUCCESS_WITH_INFO && !OnlyLongPrefixesCut())
            return fallBackToOneRow();
        FNextRow += fetched;
        if (at < first && failed < 0 && fetched == RowsPerBlock) continue;  // a block on the way
        const int stored = failed < 0 ? fetched : failed;
        if (at == first) {
            for (int k = 0; k < stored; ++k)
                if (Overflows(reinterpret_cast<const SQLLEN*>(CacheSlot(k) + FRowIndicators)))
                    return fallBackToOneRow();
            for (int k = 0; k < stored; ++k)
                StoreRow(k, CacheSlot(k), reinterpret_cast<const SQLLEN*>(CacheSlot(k) + FRowIndicators));
        }
        if (failed >= 0) ODBCCheckError(SQL_HANDLE_STMT, Stmt, SQL_ERROR);
        if (at < first || fetched == 0) {  // the data ends before the block
            if (EndRow < 0 || EndRow > FNextRow) EndRow = RowCount = std::min(FNextRow, first);
            if (BlockNo == 0) BlockPos = 0;
            return SQL_NO_DATA;
        }
        if (fetched < RowsPerBlock) EndRow = RowCount = first + fetched;
        return SQL_SUCCESS;
    }
}

/// Scrollable cursors: fills the block BlockNo with one rowset fetch,
/// SQL_FETCH_ABSOLUTE to its first row (never PRIOR: SQLite's static cursor
/// answers it differently after a partial rowset). Sets `fallBack` when the
/// block must be read one row a fetch instead, which the result then keeps
/// doing; a scrollable cursor reaches the block again without running the
/// statement again.
SQLRETURN TODBC::FetchScrollableRowset(bool& fallBack) {
    const std::int32_t first = BlockNo * RowsPerBlock;
    if (!ReadyRowset()) {
        fallBack = true;
        return SQL_SUCCESS;
    }
    FRowsFetched = 0;
    const SQLRETURN rc = Fetch(SQL_FETCH_ABSOLUTE, DriverRow(first));
    if (rc == SQL_NO_DATA) {  // MariaDB leaves the count and the statuses as they were
        if (EndRow < 0 || EndRow > first) EndsAt(first);
        if (BlockNo == 0) BlockPos = 0;
        return SQL_NO_DATA;
    }
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    const int fetched = static_cast<int>(std::min<SQLULEN>(FRowsFetched, static_cast<SQLULEN>(RowsPerBlock)));
    auto fallBackToOneRow = [&] {
        FRowsetsOff = true;
        LeaveRowsets();
        fallBack = true;
        return SQL_SUCCESS;
    };
    // As in FetchRowsetBlock: the rows before a failed one are delivered,
    // and a row deleted or absent, a warning or a value longer than its
    // buffer sends the block to one-row fetches.
    const int stored = RowsBeforeFailure(fetched);
    if (stored < 0) return fallBackToOneRow();
    const bool failed = stored < fetched;
    if (!failed && rc == SQL_SUCCESS_WITH_INFO) return fallBackToOneRow();
    for (int k = 0; k < stored; ++k)
        if (Overflows(reinterpret_cast<const SQLLEN*>(CacheSlot(k) + FRowIndicators))) return fallBackToOneRow();
    for (int k = 0; k < stored; ++k)
        StoreRow(k, CacheSlot(k), reinterpret_cast<const SQLLEN*>(CacheSlot(k) + FRowIndicators));
    if (failed) ODBCCheckError(SQL_HANDLE_STMT, Stmt, SQL_ERROR);
    if (fetched < RowsPerBlock) EndsAt(first + fetched);
    return SQL_SUCCESS;
}

SQLRETURN TODBC::NextBlock(bool sequential) {
    ++BlockNo;
    BlockPos = -1;
    return FetchBlock(sequential);
}

SQLRETURN TODBC::PriorBlock() {
    --BlockNo;
    BlockPos = RowsPerBlock - 1;
    return FetchBlock(false);
}

std::int32_t TODBC::MapRowNumber(std::int32_t n) const {
    std::int32_t row = n;
    for (std::int32_t deleted : DeletedRows) {
        if (deleted > row) break;
        ++row;
    }
    return row;
}

void TODBC::AddDeletedRow(std::int32_t n) {
    std::int32_t row = MapRowNumber(n);
    DeletedRows.insert(std::upper_bound(DeletedRows.begin(), DeletedRows.end(), row), row);
}

// ---------------------------------------------------------------------------
// Navigation.

int TODBC::GetNextRecord(void* buffer, bool sequential, TODBCRowLoan* loan) {
    if (BlockNo < 0 || BlockPos < -1 || RowsPerBlock <= 0) return ODBCRecEOF;
    SyncNumbering();
    if (EndRow >= 0 && BlockNo * RowsPerBlock + BlockPos + 1 >= EndRow) return ODBCRecEOF;
    if (RowCount == 0 && BlockPos == 0) return ODBCRecEOF;
    if (BlockPos >= RowsPerBlock - 1) {
        if (NextBlock(sequential) == SQL_NO_DATA) return ODBCRecEOF;
        BlockPos = 0;
    } else {
        // In a block a jump filled in part, the next row is fetched alone;
        // its absence is the end of data.
        const int k = BlockPos + 1;
        if (!FFilled[static_cast<std::size_t>(k)] && !ForwardOnly() && !FillSlot(k, false)) {
            EndsAt(BlockNo * RowsPerBlock + k);
            return ODBCRecEOF;
        }
        BlockPos = k;
    }
    return CopySlot(BlockPos, buffer, loan) ? ODBCRecOK : ODBCRecEOF;
}

int TODBC::GetPriorRecord(void* buffer, TODBCRowLoan* loan) {
    if (BlockNo < 0 || BlockPos < -1 || RowsPerBlock <= 0) return ODBCRecBOF;
    SyncNumbering();
    if (BlockPos > 0) {
        --BlockPos;
    } else if (BlockNo > 0 || FEndNumbered) {
        if (PriorBlock() == SQL_NO_DATA) return ODBCRecBOF;
    } else {
        BlockPos = -1;  // before the first row: the next row is row 0
        return ODBCRecBOF;
    }
    return CopySlot(BlockPos, buffer, loan) ? ODBCRecOK : ODBCRecBOF;
}

int TODBC::GetCurrentRecord(void* buffer, TODBCRowLoan* loan) {
    if (BlockNo < 0 || BlockPos < -1 || RowsPerBlock <= 0) return ODBCRecEOF;
    SyncNumbering();
    if (BlockPos == -1) {
        // Before a block's first row: the current row ends the prior block.
        if (BlockNo == 0 && !FEndNumbered) return ODBCRecEOF;
        if (PriorBlock() == SQL_NO_DATA) return ODBCRecEOF;
        return CopySlot(BlockPos, buffer, loan) ? ODBCRecOK : ODBCRecEOF;
    }
    // Past the last row (the last row was deleted, or the end was reached):
    // there is no current row. The position stays where it is, so the next
    // GetPriorRecord delivers the last row; stepping back here as well would
    // make a resync that asks for the current row and then the prior one
    // land two rows before the end.
    if (EndRow >= 0 && BlockNo * RowsPerBlock + BlockPos >= EndRow) return ODBCRecEOF;
    if (BlockPos >= RowsPerBlock) {
        if (NextBlock(false) == SQL_NO_DATA) return ODBCRecEOF;
        BlockPos = 0;
    }
    return CopySlot(BlockPos, buffer, loan) ? ODBCRecOK : ODBCRecEOF;
}

int TODBC::GetBookmark(void* dest) const {
    const std::int32_t row = MarkOf(BlockNo * RowsPerBlock + BlockPos);
    std::memcpy(dest, &row, sizeof row);
    return 0;
}

// A key range cursor's bookmark: the row number, then a tag, the row number
// again (a bookmark area another row's bookmark wrote only the start of
// does not pass for this row's) and the row's record as it was fetched.
namespace {
constexpr std::byte kValuesTag{'K'};
constexpr std::size_t kTrailerHead = 1 + sizeof(std::int32_t);

/// The rows a bookmark counted from the end is counted back from: those
/// known when the cache last numbered from the end, else the count if known.
std::int32_t EndBaseOf(std::int32_t endBase, std::int32_t rowCount) { return endBase >= 0 ? endBase : rowCount; }
}  // namespace

int TODBC::GetBookmark(void* dest, std::size_t size) const {
    GetBookmark(dest);
    if (!FKeyRange) return 0;
    auto* out = static_cast<std::byte*>(dest) + sizeof(std::int32_t);
    const std::int32_t row = MarkOf(BlockNo * RowsPerBlock + BlockPos);
    const bool whole = size >= sizeof row + kTrailerHead + CurProps.RecordSize && BlockPos >= 0 &&
                       BlockPos < RowsPerBlock && FFilled[static_cast<std::size_t>(BlockPos)];
    if (size > sizeof row) out[0] = whole ? kValuesTag : std::byte{0};
    if (!whole) return 0;
    std::memcpy(out + 1, &row, sizeof row);
    std::memcpy(out + kTrailerHead, RowCache.data() + static_cast<std::size_t>(BlockPos) * RowSize,
                CurProps.RecordSize);
    return 0;
}

void TODBC::SeekByValues(std::int32_t mark, const std::byte* trailer) {
    std::int32_t again;
    std::memcpy(&again, trailer + 1, sizeof again);
    if (trailer[0] != kValuesTag || again != mark) return;
    const std::int32_t row = BlockNo * RowsPerBlock + BlockPos;
    const std::byte* record = trailer + kTrailerHead;
    std::vector<odbc::TKeyRangeValue> values(Columns.size());
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        odbc::TKeyRangeValue& v = values[i];
        if (d.FldType == fcBlob || d.FldType == fcUnknown) continue;
        const std::int32_t length = ODBCGetIndicator(record, d);
        v.CType = CTypes[i];
        v.Data = record + d.Offset;
        const bool variable = v.CType == SQL_C_CHAR || v.CType == SQL_C_BINARY;
        // A value longer than its area is held only in part: not a value to seek by.
        const std::int32_t capacity = variable ? d.Len - (v.CType == SQL_C_CHAR ? 1 : 0) : d.Len;
        if (length >= capacity && variable) continue;
        if (FOverflow.count({row, static_cast<int>(i) + 1})) continue;
        v.Known = true;
        v.Null = length < 0;
        v.Length = variable ? length : d.Len;
    }
    odbc::KeyRangeRowValues(Stmt, DriverRow(row), values.data(), values.size());
}

int TODBC::SetToBookmark(const void* bookmark) {
    std::int32_t mark;
    std::memcpy(&mark, bookmark, sizeof mark);
    if (RowsPerBlock <= 0) return 0;
    SyncNumbering();
    // A row counted from the end: numbered from the first once the rows are
    // known, else the cache numbers from the end too.
    std::int32_t row = mark;
    const std::int32_t base = EndBaseOf(FEndBase, RowCount);
    const bool fromEnd = IsEndMark(mark) && base < 0;
    if (IsEndMark(mark)) row = fromEnd ? EndIndex() + mark + 1 : std::max(base + mark + 1, -1);
    if (fromEnd != FEndNumbered) {
        FEndNumbered = fromEnd;
        EndRow = fromEnd ? EndIndex() : RowCount;
        BlockNo = -1;  // no block of the other numbering is in the cache
    }
    std::int32_t block = row >= 0 ? row / RowsPerBlock : 0;
    BlockPos = row >= 0 ? row % RowsPerBlock : -1;
    if (block == BlockNo &&
        (BlockPos < 0 || FFilled[static_cast<std::size_t>(BlockPos)] || (EndRow >= 0 && row >= EndRow)))
        return 0;
    if (block != BlockNo) {
        BlockNo = block;
        std::fill(FFilled.begin(), FFilled.end(), std::uint8_t{0});
    }
    if (FKeyRange && row >= 0 && BlockPos >= 0)
        SeekByValues(mark, static_cast<const std::byte*>(bookmark) + sizeof mark);
    // A scrollable cursor fetches the target row alone; the rest of its block
    // follows as navigation reaches it. A row that is not there (or a
    // forward-only cursor) brings the whole block, which learns the end.
    if (BlockPos >= 0 && !ForwardOnly() && !Columns.empty() && FillSlot(BlockPos, true)) return 0;
    FetchBlock(false);
    return 0;
}

void TODBC::SetToBegin(bool uniDirectional) {
    if (uniDirectional && BlockPos >= 0 && BlockNo > 0)
        throw EODBCError(0, "Cannot go back to First Row whenUnidirectional is set to True");
    if (RowsPerBlock <= 0) return;
    BlockPos = -1;
    if (BlockNo != 0 || FEndNumbered) {
        BlockNo = 0;
        if (FEndNumbered) {
            FEndNumbered = false;
            EndRow = RowCount;
        }
        FetchBlock(uniDirectional);
    }
}

void TODBC::SetToEnd() {
    if (RowsPerBlock <= 0 || BlockNo < 0) return;
    SyncNumbering();
    if (RowCount < 0 && FKeyRange && !ForwardOnly() && DeletedRows.empty()) {
        // A key range cursor finds its last rows without counting them: the
        // cache numbers rows from the end (see EndIndex) until the rows are
        // counted or a walk back meets the first one.
        if (!FEndNumbered || BlockNo != EndIndex() / RowsPerBlock - 1) {
            FEndNumbered = true;
            EndRow = EndIndex();
            BlockNo = EndIndex() / RowsPerBlock - 1;
            BlockPos = RowsPerBlock;
            FetchBlock(false);
        }
        if (FEndNumbered) {
            BlockPos = RowsPerBlock;
            return;
        }
        // The first row was met: numbered from it, as below.
    }
    if (RowCount < 0) {
        if (ForwardOnly()) {
            // Read forward to the end; counting could not go back.
            while (EndRow < 0)
                if (NextBlock(true) == SQL_NO_DATA) break;
        } else {
            GetRecordCount(true);
        }
    }
    if (RowCount < 0) return;
    BlockPos = RowCount % RowsPerBlock;
    std::int32_t block = RowCount / RowsPerBlock;
    if (block != BlockNo) {
        BlockNo = block;
        FetchBlock(false);
    }
}

std::int32_t TODBC::GetRecordCount(bool keep) {
    (void)keep;  // counting leaves the position and cache as they were either way
    if (RowCount >= 0) return RowCount;
    // A forward-only cursor cannot count without consuming the rows it has
    // not delivered yet.
    if (ForwardOnly() || BlockNo < 0) return -1;
    if (Columns.empty()) return RowCount = EndRow = 0;
    if (FKeyRange) {
        // A key range cursor has the data source count its rows.
        NumberFromFirst();
        if (RowCount >= 0) return RowCount;
        RowCount = EndRow = CountedRows();
        if (FEndBase < 0) FEndBase = RowCount;
        return RowCount;
    }
    Unbind();
    std::int32_t count = 0;
    SQLRETURN rc;
    if (CursorMode == cmCursorLibrary && !DeletedRows.empty()) {
        for (;;) {
            rc = Fetch(SQL_FETCH_ABSOLUTE, MapRowNumber(count + 1));
            if (rc == SQL_NO_DATA) break;
            if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
            ++count;
        }
    } else {
        rc = Fetch(SQL_FETCH_FIRST, 0);
        while (rc != SQL_NO_DATA) {
            if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
            ++count;
            rc = Fetch(SQL_FETCH_NEXT, 0);
        }
    }
    RowCount = EndRow = count;
    return count;
}

// ---------------------------------------------------------------------------
// Numbering from the end (key range cursors).
//
// Rows are numbered from 0 at the first row. A key range cursor reaches its
// last rows without counting them (SetToEnd): the cache then numbers rows
// from the end, the last row EndIndex() - 1, block-aligned so that the last
// block ends with the last row, and fetches them counted from the last row
// (an absolute fetch of -1 is the last row). Once the cursor knows the rows
// (they were counted, or a walk back met the first row) the cache numbers
// from the first row again, the position keeping its row. Bookmarks of rows
// counted from the end are -2 (the last row), -3, ...: below -1, which
// stands for no row, and told apart from the rows from the first whatever
// the numbering the cache has when they come back.

std::int32_t TODBC::EndIndex() const {
    constexpr std::int32_t kEndRows = 1 << 30;
    return RowsPerBlock > 0 ? kEndRows / RowsPerBlock * RowsPerBlock : kEndRows;
}

bool TODBC::IsEndMark(std::int32_t mark) const { return FKeyRange && mark < -1; }

std::int32_t TODBC::MarkOf(std::int32_t row) const { return FEndNumbered ? row - EndIndex() - 1 : row; }

SQLLEN TODBC::DriverRow(std::int32_t row) const {
    if (FEndNumbered) return static_cast<SQLLEN>(row) - EndIndex();
    return CursorMode == cmCursorLibrary ? MapRowNumber(row + 1) : row + 1;
}

SQLLEN TODBC::DriverRowOfMark(std::int32_t mark) const {
    const std::int32_t base = EndBaseOf(FEndBase, RowCount);
    if (IsEndMark(mark) && base < 0) return mark + 1;  // counted from the last row, as the cursor takes it
    const std::int32_t row = IsEndMark(mark) ? base + mark + 1 : mark;
    return CursorMode == cmCursorLibrary ? MapRowNumber(row + 1) : row + 1;
}

std::int32_t TODBC::CountedRows() {
    SQLLEN n = odbc::KeyRangeKnownRows(Stmt);
    if (n < 0) CheckStmt(Stmt, odbc::SQLRowCount(Stmt, &n));
    if (n > std::numeric_limits<std::int32_t>::max() || (FEndNumbered && n >= EndIndex()))
        throw EODBCError(0, "The result has more rows than a bookmark can number");
    return static_cast<std::int32_t>(n);
}

void TODBC::NumberFromFirst() {
    if (!FEndNumbered) return;
    const std::int32_t n = RowCount >= 0 ? RowCount : CountedRows();
    const std::int64_t at = std::int64_t{BlockNo} * RowsPerBlock + BlockPos - EndIndex() + n;
    FEndNumbered = false;
    FEndBase = n;
    RowCount = EndRow = n;
    FOverflow.clear();
    std::fill(FFilled.begin(), FFilled.end(), std::uint8_t{0});
    if (at < 0) {
        BlockNo = 0;
        BlockPos = -1;
    } else {
        BlockNo = static_cast<std::int32_t>(at / RowsPerBlock);
        BlockPos = static_cast<std::int32_t>(at % RowsPerBlock);
    }
}

void TODBC::SyncNumbering() {
    if (FEndNumbered && (RowCount >= 0 || odbc::KeyRangeKnownRows(Stmt) >= 0)) NumberFromFirst();
}

void TODBC::EndsAt(std::int32_t rows) {
    if (!FEndNumbered) EndRow = RowCount = rows;
}

bool TODBC::IsRowBookmark(std::int32_t mark) const {
    const std::int32_t base = EndBaseOf(FEndBase, RowCount);
    if (IsEndMark(mark)) return base < 0 || base + mark + 1 >= 0;
    return mark >= 0 && (RowCount < 0 || mark < RowCount);
}

int TODBC::CompareBookmarkRows(std::int32_t a, std::int32_t b) const {
    // Rows counted from the end come after every row counted from the first
    // until the rows are known.
    auto order = [&](std::int32_t mark) -> std::int64_t {
        if (!IsEndMark(mark)) return mark;
        const std::int32_t base = EndBaseOf(FEndBase, RowCount);
        return (base >= 0 ? base : std::int64_t{1} << 40) + mark + 1;
    };
    const std::int64_t x = order(a), y = order(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

void TODBC::InitRecord(void* buffer) {
    std::memset(buffer, 0, CurProps.RecordSize);
    FPendingInsert.clear();
}

SQLRETURN TODBC::Unbind() {
    LeaveRowsets();
    SQLRETURN rc = odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
    if (ODBCSucceeded(rc))
        ColumnsBound = false;
    else
        ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    return rc;
}

}  // namespace velora

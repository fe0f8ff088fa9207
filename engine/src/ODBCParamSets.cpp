// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// ODBCExecuteParamSets: parameter arrays (see ODBCParamSets.h). Kept apart
// from the single-set binder (ODBCBind.cpp): the arrays are laid out by the
// caller and bound as they lie.
#include "velora/engine/ODBCParamSets.h"

#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQLText.h"

#include "EngineInternal.h"

#include <algorithm>
#include <memory>
#include <string_view>

namespace velora {

namespace {

using detail::CheckStmt;

constexpr SQLUSMALLINT kStatusUnset = 0xFFFF;
constexpr const char* kSavepoint = "velora_param_sets";

bool IsStatus(SQLUSMALLINT s) {
    return s == SQL_PARAM_SUCCESS || s == SQL_PARAM_SUCCESS_WITH_INFO || s == SQL_PARAM_ERROR ||
           s == SQL_PARAM_UNUSED || s == SQL_PARAM_DIAG_UNAVAILABLE;
}

/// One run of sets on a statement: binding, execution, counts and failures.
class TParamSetRun {
public:
    TParamSetRun(SQLHSTMT stmt, int paramCount, TODBCParamSetResult& result)
        : FStmt(stmt), FParamCount(paramCount), FResult(result) {}

    void BindSet(const std::vector<TODBCArrayParam>& params, std::int64_t set) {
        for (int k = 0; k < FParamCount; ++k) {
            const TODBCArrayParam& p = params[static_cast<std::size_t>(k)];
            CheckStmt(FStmt, odbc::SQLBindParameter(FStmt, static_cast<SQLUSMALLINT>(k + 1), SQL_PARAM_INPUT, p.CType,
                                                    p.SQLType, p.ColumnSize, p.Digits, p.Data + set * p.Width,
                                                    p.Width, p.Indicators + set));
        }
    }

    /// Runs set `local` of the laid-out run as set `index` of the whole.
    void RunOne(const std::vector<TODBCArrayParam>& params, std::int64_t local, std::int64_t index) {
        BindSet(params, local);
        const SQLRETURN rc = odbc::SQLExecute(FStmt);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) {
            SQLLEN n = -1;
            if (rc == SQL_NO_DATA) n = 0;
            else if (!ODBCSucceeded(odbc::SQLRowCount(FStmt, &n))) n = -1;
            Count(index, n);
        } else {
            Fail(index, odbc::ReadDiagnostics(SQL_HANDLE_STMT, FStmt));
        }
        odbc::SQLFreeStmt(FStmt, SQL_CLOSE);
    }

    void Count(std::int64_t index, SQLLEN n) {
        FResult.SetRows[static_cast<std::size_t>(index)] = n;
        if (n < 0) FTotalKnown = false;
        else FTotal += n;
    }

    void CountUnknown(std::int64_t) { FTotalKnown = false; }

    void Fail(std::int64_t index, std::vector<odbc::DiagRecord> records) {
        if (FResult.Failed.empty()) {
            if (records.empty()) records.push_back({"00000", 0, "failure without diagnostics"});
            FResult.FirstFailure = std::move(records);
        }
        FResult.Failed.push_back(index);
    }

    void Finish() { FResult.RowsAffected = FTotalKnown ? FTotal : -1; }

    std::int64_t FTotal = 0;
    bool FTotalKnown = true;

private:
    SQLHSTMT FStmt;
    int FParamCount;
    TODBCParamSetResult& FResult;
};

/// Sets the statement's parameter-set size; false when the driver keeps
/// another (it takes no arrays).
bool SetParamSetSize(SQLHSTMT stmt, SQLULEN size) {
    if (!ODBCSucceeded(odbc::SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(size), 0)))
        return false;
    SQLULEN got = 0;
    return ODBCSucceeded(odbc::SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &got, 0, nullptr)) && got == size;
}

/// psqlODBC sends the sets of an array call in batches (its BatchSize
/// option, 100 sets by default: one round trip a batch) only for a statement
/// with a forward-only, read-only cursor that has not been described before
/// its first execution; otherwise it sends one set a round trip. The
/// components prepare every statement with the cursor of a dataset and
/// describe it, and the cursor attributes cannot change once a statement is
/// prepared, so on this driver the sets run on a statement of their own.
bool BatchesPlainStatementsOnly(SQLHDBC dbc) { return detail::IsPsqlODBC(dbc); }

/// A statement of the connection prepared with the text of `given` (the
/// defaults: forward-only, read-only) and its query timeout; nil when the
/// text is not known.
SQLHSTMT PlainStatementLike(SQLHDBC dbc, SQLHSTMT given) {
    String text;
    if (!detail::PreparedText(given, text)) return SQL_NULL_HSTMT;
    TODBCStmtOwner stmt(ODBCAllocStmt(dbc));
    SQLULEN timeout = 0;
    if (ODBCSucceeded(odbc::SQLGetStmtAttr(given, SQL_ATTR_QUERY_TIMEOUT, &timeout, 0, nullptr)) && timeout != 0)
        ODBCSetQueryTimeout(stmt.get(), timeout);
    ODBCPrepareText(stmt.get(), text);
    return stmt.release();
}

/// Parameters of one multi-row INSERT at most. psqlODBC loses its way in
/// the server's description of a statement's parameters when it takes
/// 30,000 bytes or more (4 bytes a parameter: from about 7,500 parameters;
/// "lost synchronization with server"), far below the server's 65,535.
constexpr int kMaxMultiRowParams = 4000;

/// On psqlODBC a plain one-row INSERT runs its sets as INSERTs of many rows
/// (the row repeated, one set a row), each text prepared once and kept with
/// the caller's statement: the driver writes the values of batched sets into
/// the statement text, which the server parses and plans set by set, while
/// a prepared statement is parsed once and executed with its values bound.
class TMultiRowInsert {
public:
    /// Rows a statement for a call of `chunk` sets; 0 when the statement
    /// prepared on `given` is no such INSERT.
    static int RowsFor(SQLHSTMT given, int paramCount, int chunk, String& text, TRepeatableInsert& insert) {
        if (paramCount < 1 || !detail::PreparedText(given, text) ||
            !RepeatableInsertOf(text, TSQLDialect::PostgreSQL, insert) || insert.Markers != paramCount)
            return 0;
        const int rows = std::min(chunk, kMaxMultiRowParams / paramCount);
        return rows >= 2 ? rows : 0;
    }

    TMultiRowInsert(SQLHDBC dbc, SQLHSTMT given, String text, TRepeatableInsert insert, int rows)
        : FDbc(dbc), FGiven(given), FText(std::move(text)), FInsert(insert), FRows(rows) {}

    int Rows() const { return FRows; }

    /// The statement of `rows` rows, prepared once and kept with the given one.
    SQLHSTMT Statement(int rows) {
        SQLHSTMT stmt = detail::AttachedStmt(FGiven, rows);
        if (!stmt) {
            TODBCStmtOwner owner(ODBCAllocStmt(FDbc));
            ODBCPrepareText(owner.get(), RepeatedInsertText(FText, FInsert, rows));
            stmt = owner.get();
            detail::AttachStmt(FGiven, rows, owner.release());
        }
        SQLULEN timeout = 0;
        if (!ODBCSucceeded(odbc::SQLGetStmtAttr(FGiven, SQL_ATTR_QUERY_TIMEOUT, &timeout, 0, nullptr))) timeout = 0;
        ODBCSetQueryTimeout(stmt, timeout);
        return stmt;
    }

    /// Prepares every statement a call of `count` sets in runs of `chunk` needs.
    void PrepareFor(std::int64_t count, int chunk) {
        for (const std::int64_t n : {std::min<std::int64_t>(chunk, count), count % chunk}) {
            if (n <= 1) continue;
            Statement(static_cast<int>(std::min<std::int64_t>(n, FRows)));
            if (n > FRows && n % FRows > 1) Statement(static_cast<int>(n % FRows));
        }
    }

    /// Binds sets `at` .. `at` + rows - 1 of the laid-out run as the rows of
    /// `stmt`, in place (no copy). The bindings are left behind after the
    /// execution: the statements run only here, always bound first.
    void Bind(SQLHSTMT stmt, const std::vector<TODBCArrayParam>& params, std::int64_t at, int rows) const {
        const auto count = static_cast<int>(params.size());
        for (int j = 0; j < rows; ++j)
            for (int k = 0; k < count; ++k) {
                const TODBCArrayParam& p = params[static_cast<std::size_t>(k)];
                CheckStmt(stmt, odbc::SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(j * count + k + 1),
                                                       SQL_PARAM_INPUT, p.CType, p.SQLType, p.ColumnSize, p.Digits,
                                                       p.Data + (at + j) * p.Width, p.Width, p.Indicators + at + j));
            }
    }

private:
    SQLHDBC FDbc;
    SQLHSTMT FGiven;
    String FText;
    TRepeatableInsert FInsert;
    int FRows;
};

void ResetArrays(SQLHSTMT stmt) {
    odbc::SQLFreeStmt(stmt, SQL_CLOSE);
    odbc::SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    odbc::SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
    odbc::SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
    odbc::SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
}

}  // namespace

void ODBCExecuteParamSets(SQLHDBC dbc, SQLHSTMT given, int paramCount, std::int64_t count, int chunk,
                          TODBCParamSetRoad road, const TODBCParamSetPacker& pack, TODBCParamSetResult& result) {
    result = TODBCParamSetResult{};
    result.Sets = count;
    result.SetRows.assign(static_cast<std::size_t>(count), -1);
    if (chunk < 1) chunk = 1;
    TODBCStmtOwner plain;
    if (road == TODBCParamSetRoad::Arrays && count > 1 && chunk > 1 && BatchesPlainStatementsOnly(dbc))
        plain.reset(PlainStatementLike(dbc, given));
    const SQLHSTMT handle = plain ? plain.get() : given;
    TParamSetRun run(handle, paramCount, result);
    std::vector<TODBCArrayParam> params(static_cast<std::size_t>(paramCount));

    // Per-set counts of an array call come as one result each (SQL_PARC_BATCH,
    // psqlODBC); other drivers tell the total only.
    SQLUINTEGER rowCounts = 0;
    odbc::SQLGetInfo(dbc, SQL_PARAM_ARRAY_ROW_COUNTS, &rowCounts, sizeof rowCounts, nullptr);
    // psqlODBC (the driver that answers those counts) marks the sets before
    // a refused one successful; under autocommit they are written, but inside
    // a transaction its statement-level rollback undoes the whole call, so
    // there its successes are not taken as written and every set runs again.
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (!ODBCSucceeded(odbc::SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)))
        autocommit = SQL_AUTOCOMMIT_ON;
    const bool batchUndoneInTransaction = rowCounts == SQL_PARC_BATCH && autocommit == SQL_AUTOCOMMIT_OFF;
    // psqlODBC's batches: a refused set fails its whole batch (one message,
    // one implicit transaction under autocommit), which it marks "error" set
    // by set, so those sets run again alone. Inside a transaction its
    // statement-level rollback undoes the call only when the transaction had
    // begun before it (else the first batch stays though the rollback takes
    // the others): each call runs behind a savepoint of ours, which also
    // begins the transaction, so a failed call is undone whole.
    const bool batches = static_cast<bool>(plain);
    const bool guarded = batches && autocommit == SQL_AUTOCOMMIT_OFF;
    std::unique_ptr<TMultiRowInsert> multi;
    if (batches) {
        String text;
        TRepeatableInsert insert;
        if (const int rows = TMultiRowInsert::RowsFor(given, paramCount, chunk, text, insert)) {
            multi = std::make_unique<TMultiRowInsert>(dbc, given, std::move(text), insert, rows);
            // A text the driver will not prepare leaves the sets to the batches.
            try {
                multi->PrepareFor(count, chunk);
            } catch (const EODBCError&) {
                multi.reset();
            }
        }
    }

    CheckStmt(handle, odbc::SQLFreeStmt(handle, SQL_RESET_PARAMS));
    std::vector<SQLUSMALLINT> status(static_cast<std::size_t>(chunk));
    SQLULEN processed = 0;
    bool arrays = road == TODBCParamSetRoad::Arrays && count > 1 && chunk > 1 && !multi;
    try {
        if (arrays) {
            CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_PARAM_BIND_TYPE,
                                                   reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_PARAM_BIND_BY_COLUMN}), 0));
            arrays = SetParamSetSize(handle, 2);
        }
        if (arrays) {
            CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0));
            CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
        }
        for (std::int64_t first = 0; first < count; first += chunk) {
            const std::int64_t n = std::min<std::int64_t>(chunk, count - first);
            pack(first, n, params);
            if (multi) {
                for (std::int64_t at = 0; at < n; at += multi->Rows()) {
                    const int rows = static_cast<int>(std::min<std::int64_t>(multi->Rows(), n - at));
                    if (rows == 1) {
                        run.RunOne(params, at, first + at);
                        continue;
                    }
                    const SQLHSTMT stmt = multi->Statement(rows);
                    multi->Bind(stmt, params, at, rows);
                    result.UsedArrays = true;
                    if (guarded) ODBCExecDirectReporting(dbc, String("SAVEPOINT ") + kSavepoint, nullptr);
                    const SQLRETURN rc = odbc::SQLExecute(stmt);
                    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) {
                        SQLLEN c = rc == SQL_NO_DATA ? 0 : -1;
                        if (rc != SQL_NO_DATA && !ODBCSucceeded(odbc::SQLRowCount(stmt, &c))) c = -1;
                        odbc::SQLFreeStmt(stmt, SQL_CLOSE);
                        if (guarded) ODBCExecDirectReporting(dbc, String("RELEASE SAVEPOINT ") + kSavepoint, nullptr);
                        // Each row of the statement is one set's.
                        if (c == rows) {
                            for (int j = 0; j < rows; ++j) run.Count(first + at + j, 1);
                        } else if (c >= 0) {
                            run.FTotal += c;  // a trigger kept rows out: whose cannot be told
                        } else {
                            run.CountUnknown(first + at);
                        }
                        continue;
                    }
                    // The server refused the statement, which changed
                    // nothing: its sets run again alone, so the good ones are
                    // written and the refused ones named.
                    odbc::SQLFreeStmt(stmt, SQL_CLOSE);
                    if (guarded) {
                        ODBCExecDirectReporting(dbc, String("ROLLBACK TO SAVEPOINT ") + kSavepoint, nullptr);
                        ODBCExecDirectReporting(dbc, String("RELEASE SAVEPOINT ") + kSavepoint, nullptr);
                    }
                    for (int j = 0; j < rows; ++j) run.RunOne(params, at + j, first + at + j);
                }
                continue;
            }
            if (!arrays || n == 1) {
                if (arrays) SetParamSetSize(handle, 1);
                for (std::int64_t i = 0; i < n; ++i) run.RunOne(params, i, first + i);
                continue;
            }
            if (!SetParamSetSize(handle, static_cast<SQLULEN>(n)))
                throw EODBCError("The driver refused a parameter array of " + String(std::to_string(n)) + " sets",
                                 "HY000", 0);
            result.UsedArrays = true;
            for (int k = 0; k < paramCount; ++k) {
                const TODBCArrayParam& p = params[static_cast<std::size_t>(k)];
                CheckStmt(handle, odbc::SQLBindParameter(handle, static_cast<SQLUSMALLINT>(k + 1), SQL_PARAM_INPUT,
                                                         p.CType, p.SQLType, p.ColumnSize, p.Digits, p.Data, p.Width,
                                                         p.Indicators));
            }
            std::fill(status.begin(), status.end(), kStatusUnset);
            processed = static_cast<SQLULEN>(-1);
            if (guarded) ODBCExecDirectReporting(dbc, String("SAVEPOINT ") + kSavepoint, nullptr);
            const SQLRETURN rc = odbc::SQLExecute(handle);
            const auto un = static_cast<std::size_t>(n);
            if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) {
                std::vector<odbc::DiagRecord> records;
                if (rc == SQL_SUCCESS_WITH_INFO) records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle);
                SQLLEN c = rc == SQL_NO_DATA ? 0 : -1;
                if (rc != SQL_NO_DATA && !ODBCSucceeded(odbc::SQLRowCount(handle, &c))) c = -1;
                std::vector<SQLLEN> counts{c};
                if (rowCounts == SQL_PARC_BATCH)
                    while (counts.size() < un && ODBCSucceeded(odbc::SQLMoreResults(handle))) {
                        SQLLEN more = -1;
                        if (!ODBCSucceeded(odbc::SQLRowCount(handle, &more))) more = -1;
                        counts.push_back(more);
                    }
                odbc::SQLFreeStmt(handle, SQL_CLOSE);
                if (guarded) ODBCExecDirectReporting(dbc, String("RELEASE SAVEPOINT ") + kSavepoint, nullptr);
                if (counts.size() == un) {
                    for (std::size_t i = 0; i < un; ++i) run.Count(first + static_cast<std::int64_t>(i), counts[i]);
                } else if (c >= 0) {
                    run.FTotal += c;  // the driver tells the total of the call only
                } else {
                    run.CountUnknown(first);
                }
                // A call that succeeds with information may still hold sets
                // the server refused.
                for (std::size_t i = 0; i < un; ++i)
                    if (status[i] == SQL_PARAM_ERROR) run.Fail(first + static_cast<std::int64_t>(i), records);
                continue;
            }
            std::vector<odbc::DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle);
            odbc::SQLFreeStmt(handle, SQL_CLOSE);
            if (guarded) {
                ODBCExecDirectReporting(dbc, String("ROLLBACK TO SAVEPOINT ") + kSavepoint, nullptr);
                ODBCExecDirectReporting(dbc, String("RELEASE SAVEPOINT ") + kSavepoint, nullptr);
            }
            const bool statusSet = std::all_of(status.begin(), status.begin() + n, IsStatus);
            const bool statusUnset =
                std::all_of(status.begin(), status.begin() + n, [](SQLUSMALLINT s) { return s == kStatusUnset; });
            const bool anySuccess = std::any_of(status.begin(), status.begin() + n, [](SQLUSMALLINT s) {
                return s == SQL_PARAM_SUCCESS || s == SQL_PARAM_SUCCESS_WITH_INFO;
            });
            std::vector<std::int64_t> again;
            if (statusSet && anySuccess && !batchUndoneInTransaction) {
                // The driver says set by set what happened.
                for (std::size_t i = 0; i < un; ++i) {
                    const auto index = first + static_cast<std::int64_t>(i);
                    if (status[i] == SQL_PARAM_ERROR && !batches) run.Fail(index, records);
                    else if (status[i] == SQL_PARAM_ERROR || status[i] == SQL_PARAM_UNUSED)
                        again.push_back(static_cast<std::int64_t>(i));
                    else run.CountUnknown(index);
                }
            } else if (statusUnset && processed < static_cast<SQLULEN>(n)) {
                // The driver stopped at the failing set and kept those before
                // it (SQLite's: the count is of the sets done).
                const auto done = static_cast<std::int64_t>(processed);
                if (done > 0) run.CountUnknown(first);
                run.Fail(first + done, records);
                for (std::int64_t i = done + 1; i < n; ++i) again.push_back(i);
            } else {
                // The driver undid the whole call: every set runs again alone.
                for (std::int64_t i = 0; i < n; ++i) again.push_back(i);
            }
            if (!again.empty()) {
                SetParamSetSize(handle, 1);
                for (std::int64_t i : again) run.RunOne(params, i, first + i);
                SetParamSetSize(handle, 2);
            }
        }
    } catch (...) {
        ResetArrays(given);
        throw;
    }
    ResetArrays(given);
    run.Finish();
}

void ODBCRaiseParamSetFailures(const TODBCParamSetResult& result) {
    if (result.Failed.empty()) return;
    String msg = "Parameter set " + String(std::to_string(result.Failed.front())) + " failed (" +
                 String(std::to_string(result.Failed.size())) + " of " + String(std::to_string(result.Sets)) +
                 " sets failed)\r\n";
    for (const auto& r : result.FirstFailure) msg += "ODBC32 Error " + r.State + " :" + r.Text + "\r\n";
    throw EODBCParamSetError(msg, result.FirstFailure, result.Failed);
}

}  // namespace velora

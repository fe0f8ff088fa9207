// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Statement handles: allocation, preparation, execution, parameter binding,
// row counts and release.
//
// The engine remembers, per statement it prepared, the text and the storage
// the binder filled with converted parameter values (they must live until the
// statement runs). Both go when the statement is freed through ODBCFreeStmt.
#include "velora/engine/ODBCStatement.h"

#include "velora/engine/FMTBCD.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/rtl/DateUtils.h"

#include "EngineInternal.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace velora {

namespace {

using namespace velora::odbc;
using detail::CheckStmt;

SQLPOINTER AsPointer(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(value)); }
SQLCHAR* Text(const String& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

/// What the engine keeps per statement.
struct StmtInfo {
    String Text;                 ///< the text last prepared through the engine
    std::deque<String> Scratch;  ///< converted parameter values (stable addresses)
    std::vector<detail::ParamOutputSlot> Outputs;  ///< parameters bound for output
    std::vector<std::pair<int, SQLHSTMT>> Attached;  ///< statements prepared for this one's sake, by key
};

struct StmtRegistry {
    std::mutex Mu;
    std::unordered_map<SQLHSTMT, StmtInfo> Map;
};

StmtRegistry& Registry() {
    static StmtRegistry* r = new StmtRegistry;  // outlives static destruction
    return *r;
}

void FreeAttached(std::vector<std::pair<int, SQLHSTMT>>& attached);

void RememberText(SQLHSTMT stmt, const String& text) {
    std::vector<std::pair<int, SQLHSTMT>> stale;
    {
        auto& r = Registry();
        std::lock_guard lock(r.Mu);
        StmtInfo& info = r.Map[stmt];
        // Statements made from the old text do not belong to the new one.
        if (info.Text != text) stale.swap(info.Attached);
        info.Text = text;
    }
    FreeAttached(stale);
}

bool RememberedText(SQLHSTMT stmt, String& text) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    auto it = r.Map.find(stmt);
    if (it == r.Map.end() || it->second.Text.empty()) return false;
    text = it->second.Text;
    return true;
}

void Forget(SQLHSTMT stmt) {
    std::vector<std::pair<int, SQLHSTMT>> attached;
    {
        auto& r = Registry();
        std::lock_guard lock(r.Mu);
        auto it = r.Map.find(stmt);
        if (it == r.Map.end()) return;
        attached.swap(it->second.Attached);
        r.Map.erase(it);
    }
    FreeAttached(attached);
}

void FreeAttached(std::vector<std::pair<int, SQLHSTMT>>& attached) {
    for (const auto& [key, handle] : attached) {
        Forget(handle);
        odbc::SQLFreeHandle(SQL_HANDLE_STMT, handle);
    }
    attached.clear();
}

/// Statements kept attached to one statement at most (the least recently
/// used goes first).
constexpr std::size_t kMaxAttached = 4;

}  // namespace

bool detail::PreparedText(SQLHSTMT stmt, String& text) { return RememberedText(stmt, text); }

SQLHSTMT detail::AttachedStmt(SQLHSTMT owner, int key) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    auto it = r.Map.find(owner);
    if (it == r.Map.end()) return SQL_NULL_HSTMT;
    auto& list = it->second.Attached;
    for (auto a = list.begin(); a != list.end(); ++a)
        if (a->first == key) {
            // The last one used goes last: the least used is pushed out first.
            std::rotate(a, a + 1, list.end());
            return list.back().second;
        }
    return SQL_NULL_HSTMT;
}

void detail::AttachStmt(SQLHSTMT owner, int key, SQLHSTMT attached) {
    std::vector<std::pair<int, SQLHSTMT>> dropped;
    {
        auto& r = Registry();
        std::lock_guard lock(r.Mu);
        auto& list = r.Map[owner].Attached;
        for (auto it = list.begin(); it != list.end();) {
            if (it->first == key || list.size() >= kMaxAttached) {
                dropped.push_back(*it);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
        list.emplace_back(key, attached);
    }
    FreeAttached(dropped);
}

std::deque<String>& detail::FreshParamScratch(SQLHSTMT stmt) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    auto& info = r.Map[stmt];
    info.Outputs.clear();
    info.Scratch.clear();
    return info.Scratch;  // the deque is used by the binding thread only
}

std::vector<detail::ParamOutputSlot>& detail::ParamOutputs(SQLHSTMT stmt) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    return r.Map[stmt].Outputs;  // element references survive rehashing
}

namespace {

/// psqlODBC reads a keyset cursor's rows by their "ctid", which a view has
/// not: execution of a ROWVER cursor over a view fails with 42703.
bool IsRowVersionOverView(const std::vector<DiagRecord>& records) {
    for (const auto& r : records)
        if (r.State == "42703" && r.Text.find("ctid") != String::npos) return true;
    return false;
}

/// Prepares the statement again with a read-only cursor. The driver manager
/// allows cursor attributes only on a statement that is not prepared, and a
/// statement returns to that state when an execution of a new text fails. A
/// text with one parameter marker more than the statement has bound is
/// refused by the driver before it reaches the server (07002), and changes
/// nothing.
bool PrepareReadOnly(SQLHSTMT stmt, const String& text) {
    SQLSMALLINT params = 0;
    if (!ODBCSucceeded(odbc::SQLNumParams(stmt, &params)) || params < 0) params = 0;
    String probe = "SELECT ?";
    for (int i = 0; i < params; ++i) probe += ", ?";
    SQLRETURN rc = odbc::SQLExecDirect(stmt, Text(probe), SQL_NTS);
    if (rc != SQL_ERROR) {
        odbc::SQLFreeStmt(stmt, SQL_CLOSE);
        return false;
    }
    if (!ODBCSucceeded(
            odbc::SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, AsPointer(SQL_CONCUR_READ_ONLY), SQL_IS_INTEGER)))
        return false;
    CheckStmt(stmt, odbc::SQLPrepare(stmt, Text(text), static_cast<SQLINTEGER>(text.size())));
    return true;
}

constexpr char kBase36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

}  // namespace

SQLHSTMT ODBCAllocStmt(SQLHDBC dbc) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!ODBCSucceeded(rc)) {
        ODBCCheckError(SQL_HANDLE_DBC, dbc, rc);
        // A failure the driver did not describe still leaves no statement.
        throw EODBCError("ODBC32 Error 00000 :statement allocation failed with return code " + IntToStr(rc) + "\r\n",
                         "00000", 0);
    }
    return stmt;
}

bool ODBCSetQueryTimeout(SQLHSTMT handle, SQLULEN seconds) {
    SQLRETURN rc = odbc::SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, AsPointer(seconds), SQL_IS_UINTEGER);
    if (!ODBCSucceeded(rc)) {
        // No limit is every driver's default: a driver that knows no
        // timeouts may refuse the attribute then.
        if (seconds != 0) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
        return seconds == 0;
    }
    SQLULEN kept = seconds;
    if (rc == SQL_SUCCESS_WITH_INFO &&
        !ODBCSucceeded(odbc::SQLGetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, &kept, sizeof kept, nullptr)))
        kept = 0;
    return kept == seconds;
}

String ODBCCursorName(SQLHSTMT handle) {
    // User-space addresses fit 12 base-36 digits (36^12 > 2^62), so the name
    // is at most 13 characters and distinct handles give distinct names.
    std::uintptr_t v = reinterpret_cast<std::uintptr_t>(handle);
    char digits[16];
    int n = 0;
    do {
        digits[n++] = kBase36[v % 36];
        v /= 36;
    } while (v != 0 && n < 12);
    String name = "S";
    while (n > 0) name += digits[--n];
    return name;
}

SQLRETURN ODBCPrepareStmt(SQLHSTMT handle, const String& text, ODBCOpenMode openMode, bool uniDirectional,
                          std::uint8_t cursorMode) {
    SQLRETURN rc = odbc::SQLSetStmtAttr(handle, SQL_ATTR_ROW_BIND_TYPE, AsPointer(SQL_BIND_BY_COLUMN), SQL_IS_INTEGER);
    if (rc != SQL_SUCCESS) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);

    SQLULEN cursorType = SQL_CURSOR_KEYSET_DRIVEN;
    if (uniDirectional || cursorMode == cmForwardOnly)
        cursorType = SQL_CURSOR_FORWARD_ONLY;
    else if (cursorMode == cmCursorLibrary)
        cursorType = SQL_CURSOR_STATIC;
    CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_CURSOR_TYPE, AsPointer(cursorType), SQL_IS_UINTEGER));

    SQLULEN concurrency = openMode == ODBCREADONLY ? SQL_CONCUR_READ_ONLY : SQL_CONCUR_ROWVER;
    CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_CONCURRENCY, AsPointer(concurrency), SQL_IS_INTEGER));
    CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_USE_BOOKMARKS, AsPointer(SQL_UB_OFF), SQL_IS_INTEGER));

    String name = ODBCCursorName(handle);
    rc = odbc::SQLSetCursorName(handle, Text(name), SQL_NTS);
    if (!ODBCSucceeded(rc)) {
        // A driver without cursor names (IM001) is no failure: only the
        // positioned statements use the name, and they are not sent there.
        if (!detail::AllRecordsAre(odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle), "IM001"))
            ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
    }
    return ODBCPrepareText(handle, text);
}

SQLRETURN ODBCPrepareText(SQLHSTMT handle, const String& text) {
    SQLRETURN rc = CheckStmt(handle, odbc::SQLPrepare(handle, Text(text), static_cast<SQLINTEGER>(text.size())));
    RememberText(handle, text);
    return rc;
}

TODBCCancelGate::~TODBCCancelGate() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FWake.notify_all();
    if (FWatchdog.joinable()) FWatchdog.join();
}

void TODBCCancelGate::Arm(int timeoutSeconds, bool prepareAgain) {
    std::lock_guard lock(FLock);
    FCancelled = false;
    FTimedOut = false;
    FPrepareAgain = prepareAgain;
    FTimeout = timeoutSeconds < 0 ? 0 : timeoutSeconds;
}

bool TODBCCancelGate::Cancel() {
    std::lock_guard lock(FLock);
    if (!FInside) return false;
    FCancelled = true;
    odbc::SQLCancel(FInside);
    return true;
}

bool TODBCCancelGate::Cancelled() {
    std::lock_guard lock(FLock);
    return FCancelled;
}

bool TODBCCancelGate::TimedOut() {
    std::lock_guard lock(FLock);
    return FTimedOut;
}

void TODBCCancelGate::RaiseCancelled(odbc::HStmt handle, std::vector<DiagRecord> records) {
    odbc::SQLFreeStmt(handle, SQL_CLOSE);
    // The statement stays prepared for its next run (ExecSQL keeps it); a
    // driver that a cancel leaves unable to run it again gets it afresh. A
    // prepare that fails leaves it unprepared: the next run reports that
    // (HY010) rather than waiting.
    String text;
    if (FPrepareAgain && RememberedText(handle, text))
        odbc::SQLPrepare(handle, Text(text), static_cast<SQLINTEGER>(text.size()));
    records.push_back(TimedOut() ? DiagRecord{"HYT00", 0, "Timeout expired"}
                                 : DiagRecord{"HY008", 0, "Operation canceled"});
    String message;
    for (const DiagRecord& r : records) message += "ODBC32 Error " + r.State + " :" + r.Text + "\r\n";
    throw EODBCError(message, std::move(records));
}

void TODBCCancelGate::Watch() {
    std::unique_lock lock(FLock);
    while (!FStop) {
        if (!FInside || FTimeout <= 0) {
            FWake.wait(lock);
            continue;
        }
        const std::uint64_t call = FCall;
        const auto sameCall = [this, call] { return FStop || !FInside || FCall != call; };
        if (FWake.wait_until(lock, FDeadline, sameCall)) continue;
        // The call is still inside when its time is up.
        FCancelled = true;
        FTimedOut = true;
        odbc::SQLCancel(FInside);
        FWake.wait(lock, sameCall);
    }
}

TODBCCancelGate::TScope::TScope(TODBCCancelGate* gate, odbc::HStmt handle) : FGate(gate) {
    if (!FGate) return;
    bool timed = false;
    {
        std::lock_guard lock(FGate->FLock);
        FGate->FInside = handle;
        ++FGate->FCall;
        if (FGate->FTimeout > 0) {
            timed = true;
            FGate->FDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(FGate->FTimeout);
            if (!FGate->FWatchdog.joinable()) FGate->FWatchdog = std::thread([g = FGate] { g->Watch(); });
        }
    }
    if (timed) FGate->FWake.notify_all();
}

TODBCCancelGate::TScope::~TScope() {
    if (!FGate) return;
    bool timed = false;
    {
        std::lock_guard lock(FGate->FLock);  // waits for a SQLCancel in flight
        FGate->FInside = nullptr;
        timed = FGate->FWatchdog.joinable();
    }
    if (timed) FGate->FWake.notify_all();
}

SQLRETURN ODBCExecute(SQLHSTMT handle, std::vector<DiagRecord>* warnings, TODBCCancelGate* gate) {
    SQLRETURN rc;
    {
        TODBCCancelGate::TScope inside(gate, handle);
        rc = odbc::SQLExecute(handle);
    }
    if (rc == SQL_SUCCESS || rc == SQL_NO_DATA || rc == SQL_NEED_DATA) return rc;

    if (rc == SQL_SUCCESS_WITH_INFO) {
        std::vector<DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle);
        if (warnings) *warnings = records;
        // A cursor attribute the driver substituted: the cursor works.
        if (records.empty() || detail::AllRecordsAre(records, "01S02")) return rc;
        // An output parameter longer than its buffer (psqlODBC's CALL): the
        // reader of the output values refuses it with the size it needs.
        if (detail::AllRecordsAre(records, "01004")) return rc;
        // A statement without a result has run; its notices are no failure.
        SQLSMALLINT cols = 0;
        if (ODBCSucceeded(odbc::SQLNumResultCols(handle, &cols)) && cols == 0) return rc;
        detail::RaiseDiagnostics(records);
    }

    if (rc == SQL_ERROR) {
        std::vector<DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle);
        String text;
        SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
        if (IsRowVersionOverView(records) && RememberedText(handle, text) &&
            ODBCSucceeded(odbc::SQLGetStmtAttr(handle, SQL_ATTR_CONCURRENCY, &concurrency, SQL_IS_UINTEGER, nullptr)) &&
            concurrency != SQL_CONCUR_READ_ONLY && PrepareReadOnly(handle, text))
            return ODBCExecute(handle, warnings, gate);
        if (records.empty()) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
        detail::RaiseDiagnostics(records);
    }
    ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
    return rc;
}

SQLSMALLINT FldTypeToCType(std::uint16_t fldType) { return ODBCTypeFacts(fldType).CType; }

SQLSMALLINT FldTypeToSQLType(std::uint16_t fldType) { return ODBCTypeFacts(fldType).SQLType; }

int ODBCRowCount(SQLHSTMT handle, std::int32_t& count) {
    if (handle == SQL_NULL_HSTMT) return -1;
    SQLLEN n = 0;
    odbc::SQLRowCount(handle, &n);
    if (n > INT32_MAX) n = INT32_MAX;
    if (n < INT32_MIN) n = INT32_MIN;
    count = static_cast<std::int32_t>(n);
    return 0;
}

SQLRETURN ODBCExecDirect(SQLHDBC dbc, const String& text) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!ODBCSucceeded(rc)) return rc;
    rc = odbc::SQLExecDirect(stmt, Text(text), static_cast<SQLINTEGER>(text.size()));
    odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rc;
}

void ODBCExecDirectReporting(SQLHDBC dbc, const String& text, std::vector<DiagRecord>* warnings) {
    if (warnings) warnings->clear();
    TODBCStmtOwner stmt(ODBCAllocStmt(dbc));
    const SQLRETURN rc = odbc::SQLExecDirect(stmt.get(), Text(text), static_cast<SQLINTEGER>(text.size()));
    if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return;
    std::vector<DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, stmt.get());
    if (rc == SQL_SUCCESS_WITH_INFO) {
        if (warnings) *warnings = std::move(records);
        return;
    }
    if (records.empty()) ODBCCheckError(SQL_HANDLE_STMT, stmt.get(), rc);
    detail::RaiseDiagnostics(records);
}

SQLRETURN ODBCFreeStmt(SQLHSTMT handle) {
    Forget(handle);
    SQLRETURN rc = odbc::SQLFreeHandle(SQL_HANDLE_STMT, handle);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
    return rc;
}

}  // namespace velora

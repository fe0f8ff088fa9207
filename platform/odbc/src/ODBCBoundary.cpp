// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The ODBC boundary (see ODBCBoundary.h and ODBCFaults.h). Every function here
// runs through Run(): it clears what was posted for the handle by an earlier
// call, gives an armed fault its chance, routes statements of cursor-library
// connections to our cursor library, and traces. The common case (no fault
// armed, nothing posted, no cursor-library handle) costs two relaxed atomic
// loads per call.
#include "velora/odbc/ODBCBoundary.h"
#include "velora/odbc/ODBCFaults.h"

#include "CursorLibraryInternal.h"
#include "DriverCancelInternal.h"
#include "ODBCBoundaryInternal.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

namespace velora::odbc {

// The aliases of ODBCDefs.h are the driver manager's own types.
static_assert(std::is_same_v<Handle, SQLHANDLE> && std::is_same_v<HEnv, SQLHENV> && std::is_same_v<HDbc, SQLHDBC> &&
              std::is_same_v<HStmt, SQLHSTMT>);
static_assert(std::is_same_v<Return, SQLRETURN> && std::is_same_v<SmallInt, SQLSMALLINT> &&
              std::is_same_v<Integer, SQLINTEGER> && std::is_same_v<UInteger, SQLUINTEGER> &&
              std::is_same_v<Len, SQLLEN>);

namespace {

// ---------------------------------------------------------------------------
// Handle registry: which connection asked for the cursor library, and which
// statements belong to it.

struct HandleInfo {
    SQLSMALLINT Type = 0;
    SQLHANDLE Parent = nullptr;
    bool CursorLib = false;  ///< dbc: asked for SQL_CUR_USE_ODBC; stmt: allocated on such a dbc
    bool Connected = false;  ///< dbc only
    bool Adopted = false;    ///< dbc only: some of its statements were handed to the cursor library alone
    /// stmt only: the driver's handle and SQLCancel, which a cancel from
    /// another thread calls instead of the driver manager's (DriverCancel.cpp).
    SQLHSTMT DriverStmt = nullptr;
    detail::DriverCancelFn DriverCancel = nullptr;
    /// dbc and stmt: the SQLite database behind a connection to SQLite's
    /// driver, which a cancel interrupts instead (DriverCancel.cpp).
    void* SQLiteDatabase = nullptr;
};

struct Registry {
    std::shared_mutex Mu;
    std::unordered_map<SQLHANDLE, HandleInfo> Handles;
    std::atomic<int> CursorLibHandles{0};  ///< live dbc and stmt handles with CursorLib set
    std::atomic<std::uint64_t> Epoch{1};   ///< grows with every change of Handles
    std::atomic<bool> AnyAdopted{false};   ///< some statement was handed to the cursor library alone
};

Registry& Reg() {
    static Registry* r = new Registry;  // never destroyed: handles may be freed during static destruction
    return *r;
}

bool IsCursorLib(SQLHANDLE h) {
    Registry& r = Reg();
    if (r.CursorLibHandles.load(std::memory_order_relaxed) == 0 || h == nullptr) return false;
    // The answer for the handle this thread asked about last stays good while
    // the registry is unchanged: a fetch loop then takes no lock here.
    thread_local SQLHANDLE lastHandle = nullptr;
    thread_local bool lastAnswer = false;
    thread_local std::uint64_t lastEpoch = 0;
    std::uint64_t epoch = r.Epoch.load(std::memory_order_acquire);
    if (h == lastHandle && epoch == lastEpoch) return lastAnswer;
    std::shared_lock lock(r.Mu);
    auto it = r.Handles.find(h);
    lastAnswer = it != r.Handles.end() && it->second.CursorLib;
    lastHandle = h;
    lastEpoch = r.Epoch.load(std::memory_order_acquire);
    return lastAnswer;
}

void Register(SQLHANDLE h, HandleInfo info) {
    Registry& r = Reg();
    std::unique_lock lock(r.Mu);
    auto [it, inserted] = r.Handles.insert_or_assign(h, info);
    (void)it;
    (void)inserted;
    if (info.CursorLib) r.CursorLibHandles.fetch_add(1, std::memory_order_relaxed);
    r.Epoch.fetch_add(1, std::memory_order_acq_rel);
}

void Unregister(SQLHANDLE h) {
    Registry& r = Reg();
    std::unique_lock lock(r.Mu);
    auto it = r.Handles.find(h);
    if (it == r.Handles.end()) return;
    if (it->second.CursorLib) r.CursorLibHandles.fetch_sub(1, std::memory_order_relaxed);
    r.Handles.erase(it);
    r.Epoch.fetch_add(1, std::memory_order_acq_rel);
}

/// The environment of a connection, the SQLite database of a connection or a
/// statement (null when not registered or none).
SQLHANDLE ParentOf(SQLHANDLE h) {
    Registry& r = Reg();
    std::shared_lock lock(r.Mu);
    auto it = r.Handles.find(h);
    return it == r.Handles.end() ? nullptr : it->second.Parent;
}

void* SQLiteDatabaseOf(SQLHANDLE h) {
    Registry& r = Reg();
    std::shared_lock lock(r.Mu);
    auto it = r.Handles.find(h);
    return it == r.Handles.end() ? nullptr : it->second.SQLiteDatabase;
}

void SetSQLiteDatabase(SQLHDBC dbc, void* database) {
    Registry& r = Reg();
    std::unique_lock lock(r.Mu);
    auto it = r.Handles.find(dbc);
    if (it != r.Handles.end()) it->second.SQLiteDatabase = database;
}

/// Statements of a connection, for the implicit free that SQLDisconnect does.
std::vector<SQLHANDLE> StatementsOf(SQLHDBC dbc) {
    Registry& r = Reg();
    std::shared_lock lock(r.Mu);
    std::vector<SQLHANDLE> out;
    for (auto& [h, info] : r.Handles)
        if (info.Type == SQL_HANDLE_STMT && info.Parent == dbc) out.push_back(h);
    return out;
}

void SetCursorLibFlag(SQLHDBC dbc, bool on) {
    Registry& r = Reg();
    std::unique_lock lock(r.Mu);
    auto& info = r.Handles[dbc];
    info.Type = SQL_HANDLE_DBC;
    if (info.CursorLib != on) r.CursorLibHandles.fetch_add(on ? 1 : -1, std::memory_order_relaxed);
    info.CursorLib = on;
    r.Epoch.fetch_add(1, std::memory_order_acq_rel);
}

// ---------------------------------------------------------------------------
// Faults, info overrides, call counts and posted diagnostics.

struct ArmedFault {
    faults::Fault F;
    int Seen = 0;
    int Fired = 0;
};

struct InfoOverride {
    SQLUSMALLINT Type;
    SQLUINTEGER Value;
    faults::InfoMode Mode;
    SQLHDBC Dbc;
    faults::InfoTarget Target;
};

struct FaultState {
    std::mutex Mu;
    std::vector<ArmedFault> Faults;
    std::vector<InfoOverride> Infos;
    std::map<std::string, int> Counts;
    int Scopes = 0;
    std::vector<SQLHANDLE> HideTotals;  ///< statements whose SQLGetData hides total lengths (nullptr: all)
    std::vector<std::pair<SQLHANDLE, SQLLEN>> Widened;  ///< statements whose lengths grow (nullptr: all)
    std::unordered_map<SQLHANDLE, std::vector<int>> FailedRows;  ///< rows the next fetch reports failed
    std::unordered_map<SQLHANDLE, std::vector<int>> FailedSets;  ///< sets the next array execute reports failed
    std::unordered_map<SQLHANDLE, std::vector<DiagRecord>> Posted;
    std::atomic<bool> Active{false};  ///< faults, overrides, length rewrites or counting present
    std::atomic<int> PostedCount{0};  ///< entries in Posted

    void UpdateActive() {
        Active.store(!Faults.empty() || !Infos.empty() || !HideTotals.empty() || !Widened.empty() ||
                     !FailedRows.empty() || !FailedSets.empty() || Scopes > 0);
    }
};

FaultState& FS() {
    static FaultState* s = new FaultState;
    return *s;
}

const bool gTrace = [] {
    const char* v = std::getenv("VELORA_ODBC_TRACE");
    return v && *v && std::strcmp(v, "0") != 0;
}();

void ClearPosted(SQLHANDLE h) {
    FaultState& s = FS();
    if (s.PostedCount.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard lock(s.Mu);
    if (s.Posted.erase(h)) s.PostedCount.fetch_sub(1);
}

void Post(SQLHANDLE h, std::vector<DiagRecord> records) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    auto [it, inserted] = s.Posted.insert_or_assign(h, std::move(records));
    (void)it;
    if (inserted) s.PostedCount.fetch_add(1);
}

std::optional<std::vector<DiagRecord>> PostedFor(SQLHANDLE h) {
    FaultState& s = FS();
    if (s.PostedCount.load(std::memory_order_relaxed) == 0) return std::nullopt;
    std::lock_guard lock(s.Mu);
    auto it = s.Posted.find(h);
    if (it == s.Posted.end()) return std::nullopt;
    return it->second;
}

struct Hit {
    SQLRETURN Rc;
    bool CallDriver;
};

/// Counts the call and fires an armed fault for it, posting its records.
std::optional<Hit> CheckFault(const char* name, SQLHANDLE h) {
    FaultState& s = FS();
    if (!s.Active.load(std::memory_order_relaxed)) return std::nullopt;
    std::lock_guard lock(s.Mu);
    if (s.Scopes > 0) ++s.Counts[name];
    for (auto& a : s.Faults) {
        if (a.F.Call != name) continue;
        if (a.F.Handle != nullptr && a.F.Handle != h) continue;
        ++a.Seen;
        if (a.Seen < a.F.Nth) continue;
        if (a.F.Times != 0 && a.Fired >= a.F.Times) continue;
        ++a.Fired;
        auto [it, inserted] = s.Posted.insert_or_assign(h, a.F.Diags);
        (void)it;
        if (inserted) s.PostedCount.fetch_add(1);
        return Hit{a.F.Rc, a.F.CallDriver};
    }
    return std::nullopt;
}

void Trace(const char* name, SQLHANDLE h, SQLRETURN rc) {
    std::fprintf(stderr, "[odbc] %s(%p) -> %d\n", name, h, static_cast<int>(rc));
}

/// The path of every non-diagnostic call.
template <typename F>
SQLRETURN Run(const char* name, SQLHANDLE h, F&& driver) {
    ClearPosted(h);
    std::optional<Hit> hit = CheckFault(name, h);
    SQLRETURN rc;
    if (hit && !hit->CallDriver) {
        rc = hit->Rc;
    } else {
        rc = driver();
        if (hit) {
            // The fault's records replace whatever the driver left.
            rc = hit->Rc;
        }
    }
    if (gTrace) Trace(name, h, rc);
    return rc;
}

/// Applies FailFetchedRows to a fetch that returned rows.
void FailRows(SQLHSTMT stmt, SQLRETURN rc) {
    FaultState& s = FS();
    if (!s.Active.load(std::memory_order_relaxed) || !SQL_SUCCEEDED(rc)) return;
    std::vector<int> rows;
    {
        std::lock_guard lock(s.Mu);
        auto it = s.FailedRows.find(stmt);
        if (it == s.FailedRows.end()) return;
        rows = std::move(it->second);
        s.FailedRows.erase(it);
        s.UpdateActive();
    }
    SQLUSMALLINT* status = nullptr;
    SQLULEN* fetched = nullptr;
    if (!SQL_SUCCEEDED(::SQLGetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, &status, 0, nullptr)) || !status) return;
    if (!SQL_SUCCEEDED(::SQLGetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0, nullptr))) fetched = nullptr;
    for (int row : rows)
        if (row >= 0 && (!fetched || static_cast<SQLULEN>(row) < *fetched)) status[row] = SQL_ROW_ERROR;
}

/// Applies FailParamSets to an execute of a parameter array that succeeded.
void FailSets(SQLHSTMT stmt, SQLRETURN rc) {
    FaultState& s = FS();
    if (!s.Active.load(std::memory_order_relaxed) || !SQL_SUCCEEDED(rc)) return;
    SQLUSMALLINT* status = nullptr;
    SQLULEN size = 1;
    if (!SQL_SUCCEEDED(::SQLGetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, &status, 0, nullptr)) || !status ||
        !SQL_SUCCEEDED(::SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &size, 0, nullptr)) || size < 2)
        return;
    std::vector<int> sets;
    {
        std::lock_guard lock(s.Mu);
        auto it = s.FailedSets.find(stmt);
        if (it == s.FailedSets.end()) it = s.FailedSets.find(nullptr);
        if (it == s.FailedSets.end()) return;
        sets = std::move(it->second);
        s.FailedSets.erase(it);
        s.UpdateActive();
    }
    for (int set : sets)
        if (set >= 0 && static_cast<SQLULEN>(set) < size) status[set] = SQL_PARAM_ERROR;
}

/// True when a length rewrite covers SQLGetData on `stmt`.
bool HidesTotals(SQLHSTMT stmt) {
    FaultState& s = FS();
    if (!s.Active.load(std::memory_order_relaxed)) return false;
    std::lock_guard lock(s.Mu);
    return std::any_of(s.HideTotals.begin(), s.HideTotals.end(),
                       [&](SQLHANDLE h) { return h == nullptr || h == stmt; });
}

/// Rewrites the length of a value SQLGetData truncated to SQL_NO_TOTAL.
void HideTotal(SQLRETURN rc, SQLSMALLINT targetType, SQLLEN bufferLength, SQLLEN* length) {
    if (rc != SQL_SUCCESS_WITH_INFO || !length || *length < 0) return;
    // Character data keeps room for its terminating zero.
    SQLLEN room = bufferLength;
    if (targetType == SQL_C_CHAR) room -= 1;
    if (targetType == SQL_C_WCHAR) room -= static_cast<SQLLEN>(sizeof(SQLWCHAR));
    if (*length <= room) return;
    *length = SQL_NO_TOTAL;
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    if (s.Scopes > 0) ++s.Counts["SQLGetData SQL_NO_TOTAL"];
}

/// Adds the widening armed for `stmt` to a length or count the driver wrote.
void Widen(SQLHSTMT stmt, SQLRETURN rc, SQLLEN* length) {
    FaultState& s = FS();
    if (!s.Active.load(std::memory_order_relaxed) || !length || *length < 0 ||
        !(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
        return;
    std::lock_guard lock(s.Mu);
    for (const auto& [handle, add] : s.Widened) {
        if (handle != nullptr && handle != stmt) continue;
        *length += add;
        if (s.Scopes > 0) ++s.Counts["SQLLEN widened"];
        return;
    }
}

std::optional<SQLUINTEGER> InfoFor(SQLHDBC dbc, SQLUSMALLINT type, faults::InfoMode& mode, faults::InfoTarget target) {
    FaultState& s = FS();
    if (!s.Active.load(std::memory_order_relaxed)) return std::nullopt;
    std::lock_guard lock(s.Mu);
    for (auto it = s.Infos.rbegin(); it != s.Infos.rend(); ++it)
        if (it->Type == type && it->Target == target && (it->Dbc == nullptr || it->Dbc == dbc)) {
            mode = it->Mode;
            return it->Value;
        }
    return std::nullopt;
}

/// Answers an information request through `answer`, with the overrides of
/// one target applied: Replace answers without asking, And masks the answer.
template <typename F>
SQLRETURN ApplyInfoOverride(SQLHDBC dbc, SQLUSMALLINT type, faults::InfoTarget target, SQLPOINTER value,
                            SQLSMALLINT* stringLength, F&& answer) {
    faults::InfoMode mode = faults::InfoMode::Replace;
    std::optional<SQLUINTEGER> forced = InfoFor(dbc, type, mode, target);
    if (forced && mode == faults::InfoMode::Replace) {
        if (value) std::memcpy(value, &*forced, sizeof(SQLUINTEGER));
        if (stringLength) *stringLength = sizeof(SQLUINTEGER);
        return SQL_SUCCESS;
    }
    SQLRETURN rc = answer();
    if (forced && value && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) {
        SQLUINTEGER v;
        std::memcpy(&v, value, sizeof v);
        v &= *forced;
        std::memcpy(value, &v, sizeof v);
    }
    return rc;
}

SQLRETURN AnswerPostedRec(const std::vector<DiagRecord>& recs, SQLSMALLINT recNumber, SQLCHAR* state,
                          SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
    if (recNumber < 1) return SQL_ERROR;
    if (static_cast<std::size_t>(recNumber) > recs.size()) return SQL_NO_DATA;
    const DiagRecord& r = recs[static_cast<std::size_t>(recNumber - 1)];
    if (state) {
        std::memset(state, 0, 6);
        std::memcpy(state, r.State.data(), std::min<std::size_t>(5, r.State.size()));
    }
    if (native) *native = r.Native;
    if (textLength) *textLength = static_cast<SQLSMALLINT>(std::min<std::size_t>(r.Text.size(), 32767));
    if (text && bufferLength > 0) {
        std::size_t n = std::min<std::size_t>(r.Text.size(), static_cast<std::size_t>(bufferLength - 1));
        std::memcpy(text, r.Text.data(), n);
        text[n] = '\0';
        if (n < r.Text.size()) return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN CopyText(const std::string& s, SQLPOINTER out, SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    if (length) *length = static_cast<SQLSMALLINT>(std::min<std::size_t>(s.size(), 32767));
    if (out && bufferLength > 0) {
        auto* p = static_cast<char*>(out);
        std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(bufferLength - 1));
        std::memcpy(p, s.data(), n);
        p[n] = '\0';
        if (n < s.size()) return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------------------
// Private services for the cursor library.

namespace detail {

void PostDiagnostics(SQLHANDLE handle, std::vector<DiagRecord> records) { Post(handle, std::move(records)); }

std::vector<DiagRecord> DriverDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagRecord> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[1024] = {};
        SQLSMALLINT len = 0;
        SQLRETURN rc = ::SQLGetDiagRec(handleType, handle, i, state, &native, text, sizeof text, &len);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
    }
    return out;
}

SQLHDBC ConnectionOf(SQLHSTMT stmt) {
    Registry& r = Reg();
    std::shared_lock lock(r.Mu);
    auto it = r.Handles.find(stmt);
    return it == r.Handles.end() ? nullptr : it->second.Parent;
}

SQLRETURN DriverGetInfo(SQLHDBC dbc, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                        SQLSMALLINT* stringLength) {
    return ApplyInfoOverride(dbc, infoType, faults::InfoTarget::Driver, value, stringLength,
                             [&] { return ::SQLGetInfo(dbc, infoType, value, bufferLength, stringLength); });
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Environment and connection.

SQLRETURN SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle, SQLHANDLE* OutputHandle) {
    return Run("SQLAllocHandle", InputHandle, [&] {
        SQLRETURN rc = ::SQLAllocHandle(HandleType, InputHandle, OutputHandle);
        if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && OutputHandle && *OutputHandle) {
            if (HandleType == SQL_HANDLE_DBC) {
                Register(*OutputHandle, {SQL_HANDLE_DBC, InputHandle, false, false});
            } else if (HandleType == SQL_HANDLE_STMT) {
                bool lib = IsCursorLib(InputHandle);
                HandleInfo info{SQL_HANDLE_STMT, InputHandle, lib, false};
                info.SQLiteDatabase = SQLiteDatabaseOf(InputHandle);
                if (!info.SQLiteDatabase) info.DriverCancel = detail::DriverCancelOf(InputHandle);
                if (info.DriverCancel) info.DriverStmt = detail::DriverStatementOf(InputHandle, *OutputHandle);
                if (!info.DriverStmt) info.DriverCancel = nullptr;
                Register(*OutputHandle, info);
                if (lib) cursorlib::OnStatementAllocated(InputHandle, *OutputHandle);
            }
        }
        return rc;
    });
}

SQLRETURN SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
    return Run("SQLFreeHandle", Handle, [&] {
        if (HandleType == SQL_HANDLE_STMT && IsCursorLib(Handle)) cursorlib::OnStatementFreeing(Handle);
        SQLRETURN rc = ::SQLFreeHandle(HandleType, Handle);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            if (HandleType == SQL_HANDLE_DBC || HandleType == SQL_HANDLE_STMT) Unregister(Handle);
            ClearPosted(Handle);
        }
        return rc;
    });
}

SQLRETURN SQLSetEnvAttr(SQLHENV Env, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER StringLength) {
    return Run("SQLSetEnvAttr", Env, [&] { return ::SQLSetEnvAttr(Env, Attribute, Value, StringLength); });
}

SQLRETURN SQLSetConnectAttr(SQLHDBC Dbc, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER StringLength) {
    return Run("SQLSetConnectAttr", Dbc, [&]() -> SQLRETURN {
        if (Attribute == SQL_ATTR_ODBC_CURSORS) {
            // The driver manager's cursor library is never loaded: a request for
            // it selects ours, and the driver manager keeps SQL_CUR_USE_DRIVER.
            auto v = static_cast<SQLULEN>(reinterpret_cast<std::uintptr_t>(Value));
            if (v == SQL_CUR_USE_ODBC || v == SQL_CUR_USE_IF_NEEDED) {
                SetCursorLibFlag(Dbc, true);
                return SQL_SUCCESS;
            }
            SetCursorLibFlag(Dbc, false);
        }
        return ::SQLSetConnectAttr(Dbc, Attribute, Value, StringLength);
    });
}

SQLRETURN SQLGetConnectAttr(SQLHDBC Dbc, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER BufferLength,
                            SQLINTEGER* StringLength) {
    return Run("SQLGetConnectAttr", Dbc, [&]() -> SQLRETURN {
        if (Attribute == SQL_ATTR_ODBC_CURSORS && Value) {
            *static_cast<SQLULEN*>(Value) = IsCursorLib(Dbc) ? SQL_CUR_USE_ODBC : SQL_CUR_USE_DRIVER;
            return SQL_SUCCESS;
        }
        return ::SQLGetConnectAttr(Dbc, Attribute, Value, BufferLength, StringLength);
    });
}

SQLRETURN SQLConnect(SQLHDBC Dbc, SQLCHAR* ServerName, SQLSMALLINT NameLength1, SQLCHAR* UserName,
                     SQLSMALLINT NameLength2, SQLCHAR* Authentication, SQLSMALLINT NameLength3) {
    return Run("SQLConnect", Dbc, [&] {
        detail::TSQLiteOpenWatch watch(ParentOf(Dbc), reinterpret_cast<const char*>(ServerName), NameLength1, false);
        SQLRETURN rc = ::SQLConnect(Dbc, ServerName, NameLength1, UserName, NameLength2, Authentication, NameLength3);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) SetSQLiteDatabase(Dbc, watch.Database());
        if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && IsCursorLib(Dbc)) cursorlib::OnConnected(Dbc);
        return rc;
    });
}

SQLRETURN SQLDriverConnect(SQLHDBC Dbc, SQLHWND WindowHandle, SQLCHAR* InConnectionString, SQLSMALLINT StringLength1,
                           SQLCHAR* OutConnectionString, SQLSMALLINT BufferLength, SQLSMALLINT* StringLength2Ptr,
                           SQLUSMALLINT DriverCompletion) {
    return Run("SQLDriverConnect", Dbc, [&] {
        detail::TSQLiteOpenWatch watch(ParentOf(Dbc), reinterpret_cast<const char*>(InConnectionString),
                                       StringLength1, true);
        SQLRETURN rc = ::SQLDriverConnect(Dbc, WindowHandle, InConnectionString, StringLength1, OutConnectionString,
                                          BufferLength, StringLength2Ptr, DriverCompletion);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) SetSQLiteDatabase(Dbc, watch.Database());
        if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && IsCursorLib(Dbc)) cursorlib::OnConnected(Dbc);
        return rc;
    });
}

SQLRETURN SQLDisconnect(SQLHDBC Dbc) {
    return Run("SQLDisconnect", Dbc, [&] {
        bool lib = IsCursorLib(Dbc);
        if (lib) cursorlib::OnDisconnecting(Dbc);
        SQLRETURN rc = ::SQLDisconnect(Dbc);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            SetSQLiteDatabase(Dbc, nullptr);
            // Also a connection some of whose statements were adopted (key range cursors).
            cursorlib::OnDisconnected(Dbc);
            // A disconnect frees the connection's statements.
            for (SQLHANDLE s : StatementsOf(Dbc)) {
                Unregister(s);
                ClearPosted(s);
            }
        }
        return rc;
    });
}

SQLRETURN SQLGetInfo(SQLHDBC Dbc, SQLUSMALLINT InfoType, SQLPOINTER InfoValue, SQLSMALLINT BufferLength,
                     SQLSMALLINT* StringLength) {
    return Run("SQLGetInfo", Dbc, [&]() -> SQLRETURN {
        return ApplyInfoOverride(Dbc, InfoType, faults::InfoTarget::Caller, InfoValue, StringLength, [&] {
            return IsCursorLib(Dbc) ? cursorlib::GetInfo(Dbc, InfoType, InfoValue, BufferLength, StringLength)
                                    : detail::DriverGetInfo(Dbc, InfoType, InfoValue, BufferLength, StringLength);
        });
    });
}

SQLRETURN SQLGetFunctions(SQLHDBC Dbc, SQLUSMALLINT FunctionId, SQLUSMALLINT* Supported) {
    return Run("SQLGetFunctions", Dbc, [&] {
        return IsCursorLib(Dbc) ? cursorlib::GetFunctions(Dbc, FunctionId, Supported)
                                : ::SQLGetFunctions(Dbc, FunctionId, Supported);
    });
}

SQLRETURN SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType) {
    return Run("SQLEndTran", Handle, [&] { return ::SQLEndTran(HandleType, Handle, CompletionType); });
}

SQLRETURN SQLDataSources(SQLHENV Env, SQLUSMALLINT Direction, SQLCHAR* ServerName, SQLSMALLINT BufferLength1,
                         SQLSMALLINT* NameLength1, SQLCHAR* Description, SQLSMALLINT BufferLength2,
                         SQLSMALLINT* NameLength2) {
    return Run("SQLDataSources", Env, [&] {
        return ::SQLDataSources(Env, Direction, ServerName, BufferLength1, NameLength1, Description, BufferLength2,
                                NameLength2);
    });
}

SQLRETURN SQLDrivers(SQLHENV Env, SQLUSMALLINT Direction, SQLCHAR* DriverDescription, SQLSMALLINT BufferLength1,
                     SQLSMALLINT* DescriptionLength, SQLCHAR* DriverAttributes, SQLSMALLINT BufferLength2,
                     SQLSMALLINT* AttributesLength) {
    return Run("SQLDrivers", Env, [&] {
        return ::SQLDrivers(Env, Direction, DriverDescription, BufferLength1, DescriptionLength, DriverAttributes,
                            BufferLength2, AttributesLength);
    });
}

// ---------------------------------------------------------------------------
// Statements. Each routes to the cursor library for its connections.

#define VELORA_ROUTE(libCall, driverCall) (IsCursorLib(Stmt) ? cursorlib::libCall : ::driverCall)

SQLRETURN SQLSetStmtAttr(SQLHSTMT Stmt, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER StringLength) {
    return Run("SQLSetStmtAttr", Stmt, [&] {
        return VELORA_ROUTE(SetStmtAttr(Stmt, Attribute, Value, StringLength),
                            SQLSetStmtAttr(Stmt, Attribute, Value, StringLength));
    });
}

SQLRETURN SQLGetStmtAttr(SQLHSTMT Stmt, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER BufferLength,
                         SQLINTEGER* StringLength) {
    return Run("SQLGetStmtAttr", Stmt, [&] {
        return VELORA_ROUTE(GetStmtAttr(Stmt, Attribute, Value, BufferLength, StringLength),
                            SQLGetStmtAttr(Stmt, Attribute, Value, BufferLength, StringLength));
    });
}

SQLRETURN SQLSetCursorName(SQLHSTMT Stmt, SQLCHAR* CursorName, SQLSMALLINT NameLength) {
    return Run("SQLSetCursorName", Stmt, [&] {
        return VELORA_ROUTE(SetCursorName(Stmt, CursorName, NameLength),
                            SQLSetCursorName(Stmt, CursorName, NameLength));
    });
}

SQLRETURN SQLGetCursorName(SQLHSTMT Stmt, SQLCHAR* CursorName, SQLSMALLINT BufferLength, SQLSMALLINT* NameLength) {
    return Run("SQLGetCursorName", Stmt, [&] {
        return VELORA_ROUTE(GetCursorName(Stmt, CursorName, BufferLength, NameLength),
                            SQLGetCursorName(Stmt, CursorName, BufferLength, NameLength));
    });
}

/// Hands one statement of a connection the driver serves to the cursor
/// library; answers whether it was handed over now.
static bool AdoptStatement(SQLHSTMT Stmt) {
    SQLHANDLE dbc = nullptr;
    {
        Registry& r = Reg();
        std::unique_lock lock(r.Mu);
        auto it = r.Handles.find(Stmt);
        if (it == r.Handles.end() || it->second.CursorLib) return false;
        dbc = it->second.Parent;
        it->second.CursorLib = true;
        r.Handles[dbc].Adopted = true;
        r.AnyAdopted.store(true, std::memory_order_relaxed);
        r.CursorLibHandles.fetch_add(1, std::memory_order_relaxed);
        r.Epoch.fetch_add(1, std::memory_order_acq_rel);
    }
    cursorlib::OnStatementAllocated(dbc, Stmt);
    return true;
}

/// A statement text naming a cursor (WHERE CURRENT OF) on a connection some
/// of whose statements the library serves goes to the library too: the
/// cursor it names may be one of them.
static void AdoptIfPositioned(SQLHSTMT Stmt, SQLCHAR* text, SQLINTEGER length) {
    if (!text || !Reg().AnyAdopted.load(std::memory_order_relaxed) || IsCursorLib(Stmt)) return;
    {
        Registry& r = Reg();
        std::shared_lock lock(r.Mu);
        auto it = r.Handles.find(Stmt);
        if (it == r.Handles.end()) return;
        auto dbc = r.Handles.find(it->second.Parent);
        if (dbc == r.Handles.end() || !dbc->second.Adopted) return;
    }
    std::string_view sql(reinterpret_cast<const char*>(text),
                         length == SQL_NTS ? std::strlen(reinterpret_cast<const char*>(text))
                                           : static_cast<std::size_t>(std::max<SQLINTEGER>(length, 0)));
    std::string upper(sql);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("CURRENT") != std::string::npos && upper.find(" OF ") != std::string::npos) AdoptStatement(Stmt);
}

SQLRETURN SQLPrepare(SQLHSTMT Stmt, SQLCHAR* StatementText, SQLINTEGER TextLength) {
    AdoptIfPositioned(Stmt, StatementText, TextLength);
    return Run("SQLPrepare", Stmt, [&] {
        return VELORA_ROUTE(Prepare(Stmt, StatementText, TextLength), SQLPrepare(Stmt, StatementText, TextLength));
    });
}

SQLRETURN SQLExecute(SQLHSTMT Stmt) {
    const SQLRETURN rc = Run("SQLExecute", Stmt, [&] { return VELORA_ROUTE(Execute(Stmt), SQLExecute(Stmt)); });
    FailSets(Stmt, rc);
    return rc;
}

SQLRETURN SQLExecDirect(SQLHSTMT Stmt, SQLCHAR* StatementText, SQLINTEGER TextLength) {
    AdoptIfPositioned(Stmt, StatementText, TextLength);
    return Run("SQLExecDirect", Stmt, [&] {
        return VELORA_ROUTE(ExecDirect(Stmt, StatementText, TextLength),
                            SQLExecDirect(Stmt, StatementText, TextLength));
    });
}

SQLRETURN SQLCloseCursor(SQLHSTMT Stmt) {
    return Run("SQLCloseCursor", Stmt, [&] { return VELORA_ROUTE(CloseCursor(Stmt), SQLCloseCursor(Stmt)); });
}

SQLRETURN SQLCancel(SQLHSTMT Stmt) {
    // Not through Run: the diagnostics posted for the running call belong to
    // it. A cursor-library statement is the driver's statement as well.
    // The driver's own SQLCancel where it was found: the driver manager's
    // races the running call on the statement's diagnostics and state.
    // A SQLite database is interrupted: the driver's SQLCancel would also
    // free the rows under the running call.
    SQLHSTMT driverStmt = nullptr;
    detail::DriverCancelFn cancel = nullptr;
    void* sqlite = nullptr;
    {
        Registry& r = Reg();
        std::shared_lock lock(r.Mu);
        auto it = r.Handles.find(Stmt);
        if (it != r.Handles.end()) {
            driverStmt = it->second.DriverStmt;
            cancel = it->second.DriverCancel;
            sqlite = it->second.SQLiteDatabase;
        }
    }
    SQLRETURN rc = SQL_SUCCESS;
    if (sqlite)
        detail::InterruptSQLite(sqlite);
    else
        rc = cancel ? cancel(driverStmt) : ::SQLCancel(Stmt);
    if (gTrace) Trace("SQLCancel", Stmt, rc);
    return rc;
}

bool CancelReachesDriver(SQLHSTMT stmt) {
    Registry& r = Reg();
    std::shared_lock lock(r.Mu);
    auto it = r.Handles.find(stmt);
    return it != r.Handles.end() && (it->second.DriverCancel != nullptr || it->second.SQLiteDatabase != nullptr);
}

bool CancelInterruptsSQLite(SQLHDBC Dbc) { return SQLiteDatabaseOf(Dbc) != nullptr; }

SQLRETURN SQLFreeStmt(SQLHSTMT Stmt, SQLUSMALLINT Option) {
    return Run("SQLFreeStmt", Stmt, [&] { return VELORA_ROUTE(FreeStmt(Stmt, Option), SQLFreeStmt(Stmt, Option)); });
}

SQLRETURN SQLRowCount(SQLHSTMT Stmt, SQLLEN* RowCount) {
    return Run("SQLRowCount", Stmt,
               [&] {
                   SQLRETURN rc = VELORA_ROUTE(RowCount(Stmt, RowCount), SQLRowCount(Stmt, RowCount));
                   Widen(Stmt, rc, RowCount);
                   return rc;
               });
}

SQLRETURN SQLNumResultCols(SQLHSTMT Stmt, SQLSMALLINT* ColumnCount) {
    return Run("SQLNumResultCols", Stmt,
               [&] { return VELORA_ROUTE(NumResultCols(Stmt, ColumnCount), SQLNumResultCols(Stmt, ColumnCount)); });
}

SQLRETURN SQLNumParams(SQLHSTMT Stmt, SQLSMALLINT* ParameterCount) {
    return Run("SQLNumParams", Stmt, [&] { return ::SQLNumParams(Stmt, ParameterCount); });
}

SQLRETURN SQLDescribeCol(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLCHAR* ColumnName, SQLSMALLINT BufferLength,
                         SQLSMALLINT* NameLength, SQLSMALLINT* DataType, SQLULEN* ColumnSize,
                         SQLSMALLINT* DecimalDigits, SQLSMALLINT* Nullable) {
    return Run("SQLDescribeCol", Stmt, [&] {
        return VELORA_ROUTE(DescribeCol(Stmt, ColumnNumber, ColumnName, BufferLength, NameLength, DataType, ColumnSize,
                                        DecimalDigits, Nullable),
                            SQLDescribeCol(Stmt, ColumnNumber, ColumnName, BufferLength, NameLength, DataType,
                                           ColumnSize, DecimalDigits, Nullable));
    });
}

SQLRETURN SQLColAttribute(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLUSMALLINT FieldIdentifier,
                          SQLPOINTER CharacterAttribute, SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                          SQLLEN* NumericAttribute) {
    return Run("SQLColAttribute", Stmt, [&]() -> SQLRETURN {
        SQLUSMALLINT field = FieldIdentifier;
        switch (field) {
            case SQL_COLUMN_NAME:
                field = SQL_DESC_NAME;
                break;
            case SQL_COLUMN_COUNT:
                field = SQL_DESC_COUNT;
                break;
            case SQL_COLUMN_NULLABLE:
                field = SQL_DESC_NULLABLE;
                break;
            case SQL_COLUMN_TYPE: {
                // The SQL type as SQLDescribeCol reports it, for every driver.
                SQLSMALLINT type = 0;
                SQLRETURN rc = VELORA_ROUTE(
                    DescribeCol(Stmt, ColumnNumber, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr),
                    SQLDescribeCol(Stmt, ColumnNumber, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr));
                if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && NumericAttribute) *NumericAttribute = type;
                return rc;
            }
            default:
                break;
        }
        return VELORA_ROUTE(
            ColAttribute(Stmt, ColumnNumber, field, CharacterAttribute, BufferLength, StringLength, NumericAttribute),
            SQLColAttribute(Stmt, ColumnNumber, field, CharacterAttribute, BufferLength, StringLength,
                            NumericAttribute));
    });
}

SQLRETURN SQLBindCol(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType, SQLPOINTER TargetValue,
                     SQLLEN BufferLength, SQLLEN* StrLen_or_Ind) {
    return Run("SQLBindCol", Stmt, [&] {
        return VELORA_ROUTE(BindCol(Stmt, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind),
                            SQLBindCol(Stmt, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind));
    });
}

SQLRETURN SQLBindParameter(SQLHSTMT Stmt, SQLUSMALLINT ParameterNumber, SQLSMALLINT InputOutputType,
                           SQLSMALLINT ValueType, SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                           SQLSMALLINT DecimalDigits, SQLPOINTER ParameterValue, SQLLEN BufferLength,
                           SQLLEN* StrLen_or_Ind) {
    return Run("SQLBindParameter", Stmt, [&] {
        return VELORA_ROUTE(BindParameter(Stmt, ParameterNumber, InputOutputType, ValueType, ParameterType, ColumnSize,
                                          DecimalDigits, ParameterValue, BufferLength, StrLen_or_Ind),
                            SQLBindParameter(Stmt, ParameterNumber, InputOutputType, ValueType, ParameterType,
                                             ColumnSize, DecimalDigits, ParameterValue, BufferLength, StrLen_or_Ind));
    });
}

SQLRETURN SQLFetchScroll(SQLHSTMT Stmt, SQLSMALLINT FetchOrientation, SQLLEN FetchOffset) {
    const SQLRETURN rc = Run("SQLFetchScroll", Stmt, [&] {
        return VELORA_ROUTE(FetchScroll(Stmt, FetchOrientation, FetchOffset),
                            SQLFetchScroll(Stmt, FetchOrientation, FetchOffset));
    });
    FailRows(Stmt, rc);
    return rc;
}

SQLRETURN SQLFetch(SQLHSTMT Stmt) {
    return Run("SQLFetch", Stmt, [&] { return VELORA_ROUTE(Fetch(Stmt), SQLFetch(Stmt)); });
}

SQLRETURN SQLSetPos(SQLHSTMT Stmt, SQLSETPOSIROW RowNumber, SQLUSMALLINT Operation, SQLUSMALLINT LockType) {
    return Run("SQLSetPos", Stmt, [&] {
        return VELORA_ROUTE(SetPos(Stmt, RowNumber, Operation, LockType),
                            SQLSetPos(Stmt, RowNumber, Operation, LockType));
    });
}

SQLRETURN SQLBulkOperations(SQLHSTMT Stmt, SQLSMALLINT Operation) {
    return Run("SQLBulkOperations", Stmt,
               [&] { return VELORA_ROUTE(BulkOperations(Stmt, Operation), SQLBulkOperations(Stmt, Operation)); });
}

SQLRETURN SQLGetData(SQLHSTMT Stmt, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType, SQLPOINTER TargetValue,
                     SQLLEN BufferLength, SQLLEN* StrLen_or_Ind) {
    return Run("SQLGetData", Stmt, [&] {
        SQLRETURN rc =
            VELORA_ROUTE(GetData(Stmt, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind),
                         SQLGetData(Stmt, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind));
        if (HidesTotals(Stmt)) HideTotal(rc, TargetType, BufferLength, StrLen_or_Ind);
        Widen(Stmt, rc, StrLen_or_Ind);
        return rc;
    });
}

SQLRETURN SQLPutData(SQLHSTMT Stmt, SQLPOINTER Data, SQLLEN StrLen_or_Ind) {
    return Run("SQLPutData", Stmt,
               [&] { return VELORA_ROUTE(PutData(Stmt, Data, StrLen_or_Ind), SQLPutData(Stmt, Data, StrLen_or_Ind)); });
}

SQLRETURN SQLParamData(SQLHSTMT Stmt, SQLPOINTER* Value) {
    return Run("SQLParamData", Stmt, [&] { return VELORA_ROUTE(ParamData(Stmt, Value), SQLParamData(Stmt, Value)); });
}

SQLRETURN SQLMoreResults(SQLHSTMT Stmt) {
    return Run("SQLMoreResults", Stmt, [&] { return VELORA_ROUTE(MoreResults(Stmt), SQLMoreResults(Stmt)); });
}

SQLRETURN SQLTables(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                    SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3, SQLCHAR* TableType,
                    SQLSMALLINT NameLength4) {
    return Run("SQLTables", Stmt, [&] {
        return ::SQLTables(Stmt, CatalogName, NameLength1, SchemaName, NameLength2, TableName, NameLength3, TableType,
                           NameLength4);
    });
}

SQLRETURN SQLColumns(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                     SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3, SQLCHAR* ColumnName,
                     SQLSMALLINT NameLength4) {
    return Run("SQLColumns", Stmt, [&] {
        return ::SQLColumns(Stmt, CatalogName, NameLength1, SchemaName, NameLength2, TableName, NameLength3, ColumnName,
                            NameLength4);
    });
}

SQLRETURN SQLPrimaryKeys(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                         SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3) {
    return Run("SQLPrimaryKeys", Stmt, [&] {
        return ::SQLPrimaryKeys(Stmt, CatalogName, NameLength1, SchemaName, NameLength2, TableName, NameLength3);
    });
}

SQLRETURN SQLStatistics(SQLHSTMT Stmt, SQLCHAR* CatalogName, SQLSMALLINT NameLength1, SQLCHAR* SchemaName,
                        SQLSMALLINT NameLength2, SQLCHAR* TableName, SQLSMALLINT NameLength3, SQLUSMALLINT Unique,
                        SQLUSMALLINT Reserved) {
    return Run("SQLStatistics", Stmt, [&] {
        return ::SQLStatistics(Stmt, CatalogName, NameLength1, SchemaName, NameLength2, TableName, NameLength3, Unique,
                               Reserved);
    });
}

SQLRETURN SQLForeignKeys(SQLHSTMT Stmt, SQLCHAR* PKCatalogName, SQLSMALLINT NameLength1, SQLCHAR* PKSchemaName,
                         SQLSMALLINT NameLength2, SQLCHAR* PKTableName, SQLSMALLINT NameLength3,
                         SQLCHAR* FKCatalogName, SQLSMALLINT NameLength4, SQLCHAR* FKSchemaName,
                         SQLSMALLINT NameLength5, SQLCHAR* FKTableName, SQLSMALLINT NameLength6) {
    return Run("SQLForeignKeys", Stmt, [&] {
        return ::SQLForeignKeys(Stmt, PKCatalogName, NameLength1, PKSchemaName, NameLength2, PKTableName, NameLength3,
                                FKCatalogName, NameLength4, FKSchemaName, NameLength5, FKTableName, NameLength6);
    });
}

SQLRETURN SQLGetTypeInfo(SQLHSTMT Stmt, SQLSMALLINT DataType) {
    return Run("SQLGetTypeInfo", Stmt, [&] { return ::SQLGetTypeInfo(Stmt, DataType); });
}

#undef VELORA_ROUTE

// ---------------------------------------------------------------------------
// Diagnostics: posted records (injected, or raised by the cursor library)
// answer first; otherwise the driver's.

SQLRETURN SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                          SQLPOINTER DiagInfo, SQLSMALLINT BufferLength, SQLSMALLINT* StringLength) {
    if (auto hit = CheckFault("SQLGetDiagField", Handle)) {
        if (!hit->CallDriver) return hit->Rc;
    }
    if (auto posted = PostedFor(Handle)) {
        const auto& recs = *posted;
        if (DiagIdentifier == SQL_DIAG_NUMBER) {
            if (DiagInfo) *static_cast<SQLINTEGER*>(DiagInfo) = static_cast<SQLINTEGER>(recs.size());
            return SQL_SUCCESS;
        }
        if (RecNumber < 1) return SQL_ERROR;
        if (static_cast<std::size_t>(RecNumber) > recs.size()) return SQL_NO_DATA;
        const DiagRecord& r = recs[static_cast<std::size_t>(RecNumber - 1)];
        switch (DiagIdentifier) {
            case SQL_DIAG_SQLSTATE:
                return CopyText(r.State, DiagInfo, BufferLength, StringLength);
            case SQL_DIAG_MESSAGE_TEXT:
                return CopyText(r.Text, DiagInfo, BufferLength, StringLength);
            case SQL_DIAG_NATIVE:
                if (DiagInfo) *static_cast<SQLINTEGER*>(DiagInfo) = r.Native;
                return SQL_SUCCESS;
            default:
                return SQL_NO_DATA;
        }
    }
    return ::SQLGetDiagField(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfo, BufferLength, StringLength);
}

SQLRETURN SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLCHAR* Sqlstate,
                        SQLINTEGER* NativeError, SQLCHAR* MessageText, SQLSMALLINT BufferLength,
                        SQLSMALLINT* TextLength) {
    if (auto hit = CheckFault("SQLGetDiagRec", Handle)) {
        if (!hit->CallDriver) return hit->Rc;
    }
    if (auto posted = PostedFor(Handle))
        return AnswerPostedRec(*posted, RecNumber, Sqlstate, NativeError, MessageText, BufferLength, TextLength);
    return ::SQLGetDiagRec(HandleType, Handle, RecNumber, Sqlstate, NativeError, MessageText, BufferLength, TextLength);
}

std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT HandleType, SQLHANDLE Handle) {
    std::vector<DiagRecord> out;
    for (SQLSMALLINT i = 1; i < 1000; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[1024] = {};
        SQLSMALLINT len = 0;
        SQLRETURN rc = odbc::SQLGetDiagRec(HandleType, Handle, i, state, &native, text, sizeof text, &len);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
    }
    return out;
}

bool UsesCursorLibrary(SQLHDBC Dbc) { return IsCursorLib(Dbc); }

void AdoptCursorLibrary(SQLHDBC Dbc) {
    if (IsCursorLib(Dbc)) return;
    SetCursorLibFlag(Dbc, true);
    cursorlib::OnConnected(Dbc);
}

void UseKeyRangeCursor(SQLHSTMT Stmt) {
    AdoptStatement(Stmt);
    cursorlib::SetKeyRange(Stmt);
}

bool UsesKeyRangeCursor(SQLHSTMT Stmt) { return IsCursorLib(Stmt) && cursorlib::IsKeyRange(Stmt); }

unsigned long KeyRangeDriverStatements(SQLHSTMT Stmt) {
    return IsCursorLib(Stmt) ? cursorlib::KeyRangeFetches(Stmt) : 0;
}

SQLLEN KeyRangeKnownRows(SQLHSTMT Stmt) { return IsCursorLib(Stmt) ? cursorlib::KeyRangeKnownCount(Stmt) : -1; }

void KeyRangeRowValues(SQLHSTMT Stmt, SQLLEN Row, const TKeyRangeValue* Values, std::size_t Count) {
    if (IsCursorLib(Stmt)) cursorlib::KeyRangeValuesOf(Stmt, Row, Values, Count);
}

// ---------------------------------------------------------------------------
// Fault injection API.

namespace faults {

void Inject(const Fault& fault) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.Faults.push_back({fault, 0, 0});
    s.UpdateActive();
}

void OverrideInfo(SQLUSMALLINT infoType, SQLUINTEGER value, InfoMode mode, SQLHDBC dbc, InfoTarget target) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.Infos.push_back({infoType, value, mode, dbc, target});
    s.UpdateActive();
}

void HideTotalLengths(SQLHSTMT stmt) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.HideTotals.push_back(stmt);
    s.UpdateActive();
}

void WidenLengths(SQLLEN add, SQLHSTMT stmt) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.Widened.emplace_back(stmt, add);
    s.UpdateActive();
}

void FailFetchedRows(SQLHSTMT stmt, std::vector<int> rows) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.FailedRows[stmt] = std::move(rows);
    s.UpdateActive();
}

void FailParamSets(SQLHSTMT stmt, std::vector<int> sets) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.FailedSets[stmt] = std::move(sets);
    s.UpdateActive();
}

int CallCount(const std::string& call) {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    auto it = s.Counts.find(call);
    return it == s.Counts.end() ? 0 : it->second;
}

void ClearAll() {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    s.Faults.clear();
    s.Infos.clear();
    s.HideTotals.clear();
    s.Widened.clear();
    s.FailedRows.clear();
    s.FailedSets.clear();
    s.Counts.clear();
    s.Posted.clear();
    s.PostedCount.store(0);
    s.UpdateActive();
}

Scope::Scope() {
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    ++s.Scopes;
    s.Counts.clear();
    s.UpdateActive();
}

Scope::~Scope() {
    ClearAll();
    FaultState& s = FS();
    std::lock_guard lock(s.Mu);
    --s.Scopes;
    s.UpdateActive();
}

}  // namespace faults

}  // namespace velora::odbc

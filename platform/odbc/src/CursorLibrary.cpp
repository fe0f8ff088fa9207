// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Our ODBC cursor library (see CursorLibrary.h): the entry points the boundary
// routes to, the registry of connections and statements, the capability
// answers, cursor names, statement attributes, and the fetch and read calls.
// Row tracking, row images and re-reads live in CursorLibraryRows.cpp; the
// writes the library carries out itself in CursorLibraryWrites.cpp.
//
// The common path - a fetch on a static cursor with bound columns - costs one
// registry look-up, one uncontended mutex and a little arithmetic over the
// driver's own fetch; the library's services run only when asked for.
#include "CursorLibraryInternal.h"

#include "CursorLibraryStateInternal.h"
#include "ODBCBoundaryInternal.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <shared_mutex>

namespace velora::odbc::cursorlib {

namespace {

/// Longest cursor name the library accepts.
constexpr SQLUSMALLINT kMaxCursorName = 128;

/// Capabilities the library itself provides on every cursor.
constexpr SQLUINTEGER kOwnCa1 = SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE |
                                SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH | SQL_CA1_POSITIONED_UPDATE |
                                SQL_CA1_POSITIONED_DELETE | SQL_CA1_SELECT_FOR_UPDATE | SQL_CA1_BULK_ADD;
constexpr SQLUINTEGER kOwnCa2 = SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_OPT_ROWVER_CONCURRENCY |
                                SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_SENSITIVITY_UPDATES;

struct Registry {
    std::shared_mutex Mu;
    std::unordered_map<SQLHDBC, std::unique_ptr<Connection>> Conns;
    std::unordered_map<SQLHSTMT, Statement*> Stmts;
    std::atomic<std::uint64_t> Epoch{1};  ///< grows whenever a statement leaves Stmts
};

/// The statement this thread used last: a fetch loop finds its statement
/// without the registry's lock. Valid while no statement has gone since.
struct LastUsed {
    SQLHSTMT Handle = nullptr;
    Statement* St = nullptr;
    std::uint64_t Epoch = 0;
};
thread_local LastUsed tLast;

Registry& Reg() {
    static Registry* r = new Registry;  // never destroyed: handles may be freed during static destruction
    return *r;
}

Connection* FindConnection(SQLHDBC dbc) {
    Registry& r = Reg();
    std::shared_lock lock(r.Mu);
    auto it = r.Conns.find(dbc);
    return it == r.Conns.end() ? nullptr : it->second.get();
}

/// A statement with its connection's mutex held for the length of a call.
struct Entered {
    Statement* St = nullptr;
    std::unique_lock<std::mutex> Lock;
    explicit operator bool() const { return St != nullptr; }
};

Entered Enter(SQLHSTMT h) {
    Entered e;
    Registry& r = Reg();
    if (tLast.Handle == h && tLast.Epoch == r.Epoch.load(std::memory_order_acquire)) {
        e.St = tLast.St;
    } else {
        std::shared_lock lock(r.Mu);
        auto it = r.Stmts.find(h);
        if (it == r.Stmts.end()) return e;
        e.St = it->second;
        tLast = {h, e.St, r.Epoch.load(std::memory_order_acquire)};
    }
    e.Lock = std::unique_lock(e.St->Conn->Mu);
    return e;
}

std::string InfoText(SQLHDBC dbc, SQLUSMALLINT type) {
    char buf[256] = {};
    SQLSMALLINT len = 0;
    if (!Succeeded(detail::DriverGetInfo(dbc, type, buf, sizeof buf, &len))) return {};
    return buf;
}

template <typename T>
T InfoNumber(SQLHDBC dbc, SQLUSMALLINT type, T fallback) {
    T v{};
    if (!Succeeded(detail::DriverGetInfo(dbc, type, &v, sizeof v, nullptr))) return fallback;
    return v;
}

std::unique_ptr<Connection> MakeConnection(SQLHDBC dbc) {
    auto c = std::make_unique<Connection>();
    c->Dbc = dbc;
    c->Dbms = InfoText(dbc, SQL_DBMS_NAME);
    std::string q = InfoText(dbc, SQL_IDENTIFIER_QUOTE_CHAR);
    if (!q.empty()) c->QuoteChar = q;
    c->IdentifierCase = InfoNumber<SQLUSMALLINT>(dbc, SQL_IDENTIFIER_CASE, SQL_IC_MIXED);
    c->SchemaUsage = InfoNumber<SQLUINTEGER>(dbc, SQL_SCHEMA_USAGE, 0);
    std::string dbms = UpperCase(c->Dbms);
    bool mysqlFamily = dbms.find("MARIADB") != std::string::npos || dbms.find("MYSQL") != std::string::npos;
    c->Dialect.Dialect = SQLDialectOfDbms(c->Dbms);
    c->CountsChangedRows = mysqlFamily;
    c->ForUpdate = dbms.find("SQLITE") == std::string::npos;
    return c;
}

void ForgetName(Statement& st) {
    if (st.CursorName.empty()) return;
    auto it = st.Conn->Names.find(UpperCase(st.CursorName));
    if (it != st.Conn->Names.end() && it->second == &st) st.Conn->Names.erase(it);
}

/// Releases what the library holds for a statement (not the statement itself).
void Release(Statement& st) {
    ForgetCursor(*st.Conn, st);
    CancelPending(st);
    CloseReread(st);
    FreeWork(st.Reread);
    ForgetName(st);
}

SQLRETURN SequenceError(Statement& st) {
    return Raise(st.Handle, "HY010", "Function sequence error: data at execution is pending");
}

std::string TextOf(SQLCHAR* text, SQLINTEGER length) {
    if (!text) return {};
    if (length == SQL_NTS) return reinterpret_cast<char*>(text);
    return std::string(reinterpret_cast<char*>(text), length < 0 ? 0 : static_cast<std::size_t>(length));
}

SQLRETURN CopyOut(SQLHANDLE h, const std::string& s, SQLCHAR* out, SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    if (length) *length = static_cast<SQLSMALLINT>(s.size());
    if (out && bufferLength > 0) {
        std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(bufferLength - 1));
        std::memcpy(out, s.data(), n);
        out[n] = '\0';
        if (n < s.size()) return Raise(h, "01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
    }
    return SQL_SUCCESS;
}

/// The text the driver gets for a statement: a FOR UPDATE clause is dropped
/// where the data source does not know it (the library needs no locks to
/// carry out positioned statements).
std::string DriverText(const Connection& c, const std::string& sql) {
    if (c.ForUpdate) return sql;
    if (auto t = WithoutForUpdate(sql, c.Dialect)) return *t;
    return sql;
}

}  // namespace

// --- Shared helpers ------------------------------------------------------------

SQLRETURN Raise(SQLHANDLE handle, const char* state, const std::string& text, SQLRETURN rc) {
    detail::PostDiagnostics(handle, {{state, 0, "[Velora][Cursor library]" + text}});
    return rc;
}

void ForwardDiagnostics(SQLSMALLINT fromType, SQLHANDLE from, SQLHANDLE to) {
    detail::PostDiagnostics(to, detail::DriverDiagnostics(fromType, from));
}

SQLHSTMT AllocWork(Connection& c) {
    SQLHSTMT h = nullptr;
    if (!Succeeded(::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc, &h))) return nullptr;
    return h;
}

void FreeWork(SQLHSTMT& h) {
    if (h) ::SQLFreeHandle(SQL_HANDLE_STMT, h);
    h = nullptr;
}

SQLPOINTER Statement::BoundData(const ColumnBinding& b) const {
    if (!b.Data) return nullptr;
    return RowBindOffset ? static_cast<char*>(b.Data) + *RowBindOffset : b.Data;
}

SQLLEN* Statement::BoundIndicator(const ColumnBinding& b) const {
    if (!b.Indicator) return nullptr;
    return RowBindOffset ? reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(b.Indicator) + *RowBindOffset)
                         : b.Indicator;
}

// --- Connection life -----------------------------------------------------------

void OnConnected(SQLHDBC dbc) {
    auto c = MakeConnection(dbc);
    Registry& r = Reg();
    std::unique_lock lock(r.Mu);
    r.Conns[dbc] = std::move(c);
}

void OnDisconnecting(SQLHDBC dbc) {
    Connection* c = FindConnection(dbc);
    if (!c) return;
    std::lock_guard lock(c->Mu);
    for (auto& [h, st] : c->Statements) {
        CancelPending(*st);
        CloseReread(*st);
        FreeWork(st->Reread);
    }
}

void OnDisconnected(SQLHDBC dbc) {
    Registry& r = Reg();
    std::unique_ptr<Connection> gone;
    std::unique_lock lock(r.Mu);
    auto it = r.Conns.find(dbc);
    if (it == r.Conns.end()) return;
    for (auto& [h, st] : it->second->Statements) r.Stmts.erase(h);
    r.Epoch.fetch_add(1, std::memory_order_acq_rel);
    gone = std::move(it->second);
    r.Conns.erase(it);
}

void OnStatementAllocated(SQLHDBC dbc, SQLHSTMT stmt) {
    Connection* c = FindConnection(dbc);
    if (!c) {
        OnConnected(dbc);
        c = FindConnection(dbc);
    }
    auto st = std::make_unique<Statement>();
    st->Handle = stmt;
    st->Conn = c;
    Statement* raw = st.get();
    {
        std::lock_guard lock(c->Mu);
        c->Statements[stmt] = std::move(st);
    }
    Registry& r = Reg();
    std::unique_lock lock(r.Mu);
    r.Stmts[stmt] = raw;
}

void OnStatementFreeing(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    if (!e) return;
    Statement& st = *e.St;
    Connection* c = st.Conn;
    Release(st);
    {
        Registry& r = Reg();
        std::unique_lock lock(r.Mu);
        r.Stmts.erase(stmt);
        r.Epoch.fetch_add(1, std::memory_order_acq_rel);
    }
    std::unique_ptr<Statement> gone = std::move(c->Statements[stmt]);
    c->Statements.erase(stmt);
    e.St = nullptr;
}

void SetKeyRange(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    if (e && !e.St->KeyRange) e.St->KeyRange = std::make_unique<KeyRangeState>();
}

bool IsKeyRange(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    return e && e.St->KeyRange;
}

unsigned long KeyRangeFetches(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    return e && e.St->KeyRange ? e.St->KeyRange->DriverFetches : 0;
}

SQLLEN KeyRangeKnownCount(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    return e && e.St->KeyRange && e.St->Executed ? KeyRangeKnownRows(*e.St) : -1;
}

void KeyRangeValuesOf(SQLHSTMT stmt, SQLLEN row, const TKeyRangeValue* values, std::size_t count) {
    Entered e = Enter(stmt);
    if (e && e.St->KeyRange && e.St->Executed) KeyRangeRowValues(*e.St, row, values, count);
}

// --- Capabilities ----------------------------------------------------------------

SQLRETURN GetInfo(SQLHDBC dbc, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                  SQLSMALLINT* stringLength) {
    auto u32 = [&](SQLUINTEGER v) {
        if (value) std::memcpy(value, &v, sizeof v);
        if (stringLength) *stringLength = sizeof v;
        return SQL_SUCCESS;
    };
    auto u16 = [&](SQLUSMALLINT v) {
        if (value) std::memcpy(value, &v, sizeof v);
        if (stringLength) *stringLength = sizeof v;
        return SQL_SUCCESS;
    };
    // What the driver's static cursor can do decides whether we can scroll.
    auto driverScrolls = [&] {
        SQLUINTEGER ca1 = 0;
        if (!Succeeded(detail::DriverGetInfo(dbc, SQL_STATIC_CURSOR_ATTRIBUTES1, &ca1, sizeof ca1, nullptr))) ca1 = 0;
        return ca1 & (SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE);
    };
    switch (infoType) {
        case SQL_STATIC_CURSOR_ATTRIBUTES1:
            return u32(SQL_CA1_NEXT | driverScrolls() | kOwnCa1);
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
            return u32(SQL_CA1_NEXT | kOwnCa1);
        case SQL_STATIC_CURSOR_ATTRIBUTES2:
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
            return u32(kOwnCa2);
        case SQL_KEYSET_CURSOR_ATTRIBUTES1:
        case SQL_KEYSET_CURSOR_ATTRIBUTES2:
        case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
        case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
            return u32(0);
        case SQL_POS_OPERATIONS:
            return u32(SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD);
        case SQL_POSITIONED_STATEMENTS:
            return u32(SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE | SQL_PS_SELECT_FOR_UPDATE);
        case SQL_SCROLL_OPTIONS:
            return u32(SQL_SO_FORWARD_ONLY | (driverScrolls() ? SQL_SO_STATIC : 0));
        case SQL_SCROLL_CONCURRENCY:
            return u32(SQL_SCCO_READ_ONLY | SQL_SCCO_OPT_ROWVER | SQL_SCCO_OPT_VALUES);
        case SQL_MAX_CURSOR_NAME_LEN:
            return u16(kMaxCursorName);
        default:
            return detail::DriverGetInfo(dbc, infoType, value, bufferLength, stringLength);
    }
}

SQLRETURN GetFunctions(SQLHDBC dbc, SQLUSMALLINT functionId, SQLUSMALLINT* supported) {
    SQLRETURN rc = ::SQLGetFunctions(dbc, functionId, supported);
    if (!Succeeded(rc) || !supported) return rc;
    static constexpr SQLUSMALLINT kOwn[] = {SQL_API_SQLSETPOS,        SQL_API_SQLBULKOPERATIONS,
                                            SQL_API_SQLSETCURSORNAME, SQL_API_SQLGETCURSORNAME,
                                            SQL_API_SQLFETCHSCROLL,   SQL_API_SQLGETDATA};
    for (SQLUSMALLINT f : kOwn) {
        if (functionId == SQL_API_ODBC3_ALL_FUNCTIONS)
            supported[f >> 4] = static_cast<SQLUSMALLINT>(supported[f >> 4] | (1u << (f & 0xF)));
        else if (functionId == SQL_API_ALL_FUNCTIONS && f < 100)
            supported[f] = SQL_TRUE;
        else if (functionId == f)
            *supported = SQL_TRUE;
    }
    return rc;
}

// --- Attributes ------------------------------------------------------------------

SQLRETURN SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER stringLength) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLSetStmtAttr(stmt, attribute, value, stringLength);
    Statement& st = *e.St;
    auto v = static_cast<SQLULEN>(reinterpret_cast<std::uintptr_t>(value));
    switch (attribute) {
        case SQL_ATTR_CURSOR_TYPE: {
            if (v == SQL_CURSOR_FORWARD_ONLY) {
                SQLRETURN rc = ::SQLSetStmtAttr(stmt, attribute, value, stringLength);
                if (Succeeded(rc)) st.CursorType = SQL_CURSOR_FORWARD_ONLY;
                return rc;
            }
            // Every scrollable request gets the driver's static cursor; the
            // library adds what a static cursor of its own offers.
            SQLRETURN rc = ::SQLSetStmtAttr(stmt, attribute, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
            if (!Succeeded(rc)) return rc;
            SQLULEN got = SQL_CURSOR_STATIC;
            if (!Succeeded(::SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &got, 0, nullptr))) got = SQL_CURSOR_STATIC;
            st.CursorType = got;
            if (got != v) return Raise(stmt, "01S02", "Option value changed", SQL_SUCCESS_WITH_INFO);
            return SQL_SUCCESS;
        }
        case SQL_ATTR_CONCURRENCY: {
            // The driver's cursor stays read-only: the library writes rows with
            // statements of its own, optimistically (the row must still match).
            if (v != SQL_CONCUR_READ_ONLY && v != SQL_CONCUR_LOCK && v != SQL_CONCUR_ROWVER && v != SQL_CONCUR_VALUES)
                return Raise(stmt, "HY024", "Invalid attribute value");
            (void)::SQLSetStmtAttr(stmt, attribute, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
            if (v == SQL_CONCUR_LOCK) {
                st.Concurrency = SQL_CONCUR_ROWVER;
                return Raise(stmt, "01S02", "Option value changed", SQL_SUCCESS_WITH_INFO);
            }
            st.Concurrency = v;
            return SQL_SUCCESS;
        }
        default:
            break;
    }
    SQLRETURN rc = ::SQLSetStmtAttr(stmt, attribute, value, stringLength);
    if (!Succeeded(rc)) return rc;
    switch (attribute) {
        case SQL_ATTR_ROW_ARRAY_SIZE:
        case SQL_ROWSET_SIZE: {
            SQLULEN got = v;
            if (Succeeded(::SQLGetStmtAttr(stmt, attribute, &got, 0, nullptr))) st.RowArraySize = got;
            break;
        }
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            st.RowBindOffset = static_cast<SQLULEN*>(value);
            break;
        case SQL_ATTR_ROW_STATUS_PTR:
            st.RowStatus = static_cast<SQLUSMALLINT*>(value);
            break;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            st.ParamBindOffset = static_cast<SQLULEN*>(value);
            break;
        case SQL_ATTR_PARAMSET_SIZE:
            st.ParamsetSize = v;
            break;
        case SQL_ATTR_CURSOR_SCROLLABLE:
        case SQL_ATTR_CURSOR_SENSITIVITY: {
            // The driver chooses a cursor type from these; follow it.
            SQLULEN got = st.CursorType;
            if (Succeeded(::SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &got, 0, nullptr))) st.CursorType = got;
            break;
        }
        default:
            break;
    }
    return rc;
}

SQLRETURN GetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* stringLength) {
    Entered e = Enter(stmt);
    if (e && value && (attribute == SQL_ATTR_CURSOR_TYPE || attribute == SQL_ATTR_CONCURRENCY)) {
        SQLULEN v = attribute == SQL_ATTR_CURSOR_TYPE ? e.St->CursorType : e.St->Concurrency;
        std::memcpy(value, &v, sizeof v);
        if (stringLength) *stringLength = sizeof v;
        return SQL_SUCCESS;
    }
    return ::SQLGetStmtAttr(stmt, attribute, value, bufferLength, stringLength);
}

// --- Cursor names ----------------------------------------------------------------

SQLRETURN SetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT nameLength) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLSetCursorName(stmt, name, nameLength);
    Statement& st = *e.St;
    if (!name) return Raise(stmt, "HY009", "Invalid use of null pointer");
    if (nameLength < 0 && nameLength != SQL_NTS) return Raise(stmt, "HY090", "Invalid string or buffer length");
    std::string n = TextOf(name, nameLength);
    if (st.Executed) return Raise(stmt, "24000", "Invalid cursor state: the cursor is open");
    std::string up = UpperCase(n);
    if (n.empty() || n.size() > kMaxCursorName || up.rfind("SQLCUR", 0) == 0 || up.rfind("SQL_CUR", 0) == 0)
        return Raise(stmt, "34000", "Invalid cursor name \"" + n + "\"");
    auto it = st.Conn->Names.find(up);
    if (it != st.Conn->Names.end() && it->second != &st)
        return Raise(stmt, "3C000", "Duplicate cursor name \"" + n + "\"");
    ForgetName(st);
    st.CursorName = n;
    st.Conn->Names[up] = &st;
    return SQL_SUCCESS;
}

SQLRETURN GetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLGetCursorName(stmt, name, bufferLength, nameLength);
    Statement& st = *e.St;
    if (bufferLength < 0) return Raise(stmt, "HY090", "Invalid string or buffer length");
    if (st.CursorName.empty()) {
        // A name of the reserved SQL_CUR family, which applications cannot set.
        std::string n;
        do {
            n = "SQL_CUR" + std::to_string(st.Conn->NextName++);
        } while (st.Conn->Names.count(n));
        st.CursorName = n;
        st.Conn->Names[n] = &st;
    }
    return CopyOut(stmt, st.CursorName, name, bufferLength, nameLength);
}

// --- Preparation and execution -------------------------------------------------------

SQLRETURN Prepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER textLength) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLPrepare(stmt, text, textLength);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    if (!text) return Raise(stmt, "HY009", "Invalid use of null pointer");
    std::string sql = TextOf(text, textLength);
    ResetResult(st);
    if (auto ps = ParsePositioned(sql, st.Conn->Dialect)) {
        // Carried out by the library at execution; the driver never sees it.
        st.Positioned = std::move(ps);
        return SQL_SUCCESS;
    }
    st.Positioned.reset();
    st.Text = DriverText(*st.Conn, sql);
    return ::SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(st.Text.data()), static_cast<SQLINTEGER>(st.Text.size()));
}

SQLRETURN Execute(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLExecute(stmt);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    if (st.Positioned) {
        PositionedStatement ps = *st.Positioned;
        return RunPositioned(st, ps);
    }
    ResetResult(st);
    if (st.KeyRange) return KeyRangeExecute(st);
    SQLRETURN rc = ::SQLExecute(stmt);
    st.Executed = Succeeded(rc) || rc == SQL_NEED_DATA;
    return rc;
}

SQLRETURN ExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER textLength) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLExecDirect(stmt, text, textLength);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    if (!text) return Raise(stmt, "HY009", "Invalid use of null pointer");
    std::string sql = TextOf(text, textLength);
    ResetResult(st);
    st.Positioned.reset();
    if (auto ps = ParsePositioned(sql, st.Conn->Dialect)) return RunPositioned(st, *ps);
    st.Text = DriverText(*st.Conn, sql);
    if (st.KeyRange) return KeyRangeExecute(st);
    SQLRETURN rc =
        ::SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(st.Text.data()), static_cast<SQLINTEGER>(st.Text.size()));
    st.Executed = Succeeded(rc) || rc == SQL_NEED_DATA;
    return rc;
}

SQLRETURN CloseCursor(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    if (e) {
        CancelPending(*e.St);
        ResetResult(*e.St);
    }
    return ::SQLCloseCursor(stmt);
}

SQLRETURN FreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLFreeStmt(stmt, option);
    Statement& st = *e.St;
    if (option == SQL_DROP) {
        e.Lock.unlock();
        e.St = nullptr;
        OnStatementFreeing(stmt);
        return ::SQLFreeStmt(stmt, option);
    }
    if (option == SQL_CLOSE) {
        CancelPending(st);
        ResetResult(st);
    }
    SQLRETURN rc = ::SQLFreeStmt(stmt, option);
    if (Succeeded(rc)) {
        if (option == SQL_UNBIND) st.Bindings.clear();
        if (option == SQL_RESET_PARAMS) st.Params.clear();
    }
    return rc;
}

SQLRETURN RowCount(SQLHSTMT stmt, SQLLEN* rowCount) {
    Entered e = Enter(stmt);
    if (e && e.St->OwnRowCount) {
        if (!rowCount) return Raise(stmt, "HY009", "Invalid use of null pointer");
        *rowCount = e.St->RowsAffected;
        return SQL_SUCCESS;
    }
    if (e && e.St->KeyRange && e.St->Executed) return KeyRangeRowCount(*e.St, rowCount);
    return ::SQLRowCount(stmt, rowCount);
}

SQLRETURN NumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
    Entered e = Enter(stmt);
    if (e && e.St->Positioned) {
        if (count) *count = 0;
        return SQL_SUCCESS;
    }
    return ::SQLNumResultCols(stmt, count);
}

SQLRETURN ColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER charAttr,
                       SQLSMALLINT bufferLength, SQLSMALLINT* stringLength, SQLLEN* numAttr) {
    SQLRETURN rc = ::SQLColAttribute(stmt, column, field, charAttr, bufferLength, stringLength, numAttr);
    // The driver's window is a read-only cursor; the library writes the rows.
    if (Succeeded(rc) && numAttr && *numAttr == SQL_ATTR_READONLY &&
        (field == SQL_COLUMN_UPDATABLE || field == SQL_DESC_UPDATABLE)) {
        Entered e = Enter(stmt);
        if (e && e.St->KeyRange) *numAttr = SQL_ATTR_READWRITE_UNKNOWN;
    }
    return rc;
}

SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                      SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize, SQLSMALLINT* decimalDigits,
                      SQLSMALLINT* nullable) {
    return ::SQLDescribeCol(stmt, column, name, bufferLength, nameLength, dataType, columnSize, decimalDigits,
                            nullable);
}

// --- Binding -------------------------------------------------------------------------

SQLRETURN BindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER targetValue,
                  SQLLEN bufferLength, SQLLEN* indicator) {
    Entered e = Enter(stmt);
    // The SQLite driver zeroes the length/indicator variable when a column is
    // bound, which would lose a data-at-execution length set beforehand.
    SQLLEN keep = indicator ? *indicator : 0;
    SQLRETURN rc = ::SQLBindCol(stmt, column, targetType, targetValue, bufferLength, indicator);
    if (indicator) *indicator = keep;
    if (e && Succeeded(rc)) {
        Statement& st = *e.St;
        if (targetValue == nullptr && indicator == nullptr) {
            if (column < st.Bindings.size()) st.Bindings[column] = {};
        } else {
            if (st.Bindings.size() <= column) st.Bindings.resize(column + 1u);
            st.Bindings[column] = {targetType, targetValue, bufferLength, indicator};
        }
    }
    return rc;
}

SQLRETURN BindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT valueType,
                        SQLSMALLINT parameterType, SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator) {
    Entered e = Enter(stmt);
    SQLRETURN rc = ::SQLBindParameter(stmt, number, ioType, valueType, parameterType, columnSize, decimalDigits, value,
                                      bufferLength, indicator);
    if (e && Succeeded(rc))
        e.St->Params[number] = {ioType,        valueType, parameterType, columnSize,
                                decimalDigits, value,     bufferLength,  indicator};
    return rc;
}

SQLRETURN MoreResults(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLMoreResults(stmt);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    // A positioned statement the library carried out has its count only.
    if (st.Positioned) return SQL_NO_DATA;
    // The next result is a cursor of its own: the rows, images and writes
    // of the current one are forgotten, as when it is closed.
    const bool executed = st.Executed;
    ResetResult(st);
    const SQLRETURN rc = ::SQLMoreResults(stmt);
    st.Executed = executed && Succeeded(rc);
    return rc;
}

// --- Fetching and reading -------------------------------------------------------------

SQLRETURN FetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLFetchScroll(stmt, orientation, offset);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    if (st.KeyRange) return KeyRangeFetch(st, orientation, offset);
    // Only moves counted from the end need the number of rows.
    if (st.Count < 0 && (orientation == SQL_FETCH_LAST || (orientation == SQL_FETCH_ABSOLUTE && offset < 0) ||
                         (st.Row == kAfterLast && orientation != SQL_FETCH_NEXT)))
        LearnCountFor(st, orientation, offset);
    if (orientation == SQL_FETCH_ABSOLUTE && offset > 0)
        return AfterFetch(st, FetchDriverRows(st, offset, std::max<SQLULEN>(st.RowArraySize, 1)), orientation,
                          offset);
    DriverMoved(st);
    return AfterFetch(st, ::SQLFetchScroll(stmt, orientation, offset), orientation, offset);
}

SQLRETURN Fetch(SQLHSTMT stmt) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLFetch(stmt);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    if (st.KeyRange) return KeyRangeFetch(st, SQL_FETCH_NEXT, 0);
    DriverMoved(st);
    return AfterFetch(st, ::SQLFetch(stmt), SQL_FETCH_NEXT, 0);
}

SQLRETURN GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER targetValue,
                  SQLLEN bufferLength, SQLLEN* indicator) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLGetData(stmt, column, targetType, targetValue, bufferLength, indicator);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    DriverMoved(st);
    if (st.RereadStale) (void)Reread(st, false);
    if (st.RereadOpen && column < st.RereadColumn.size() && st.RereadColumn[column] != 0) {
        SQLRETURN rc =
            ::SQLGetData(st.Reread, st.RereadColumn[column], targetType, targetValue, bufferLength, indicator);
        if (rc != SQL_SUCCESS && rc != SQL_NO_DATA) ForwardDiagnostics(SQL_HANDLE_STMT, st.Reread, stmt);
        return rc;
    }
    return ::SQLGetData(stmt, column, targetType, targetValue, bufferLength, indicator);
}

// --- Positioning and the library's own writes -------------------------------------------

SQLRETURN SetPos(SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lockType) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLSetPos(stmt, row, operation, lockType);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    st.OwnRowCount = false;
    DriverMoved(st);
    if (operation == SQL_ADD) return BulkAdd(st);
    if (operation != SQL_POSITION && operation != SQL_REFRESH && operation != SQL_UPDATE && operation != SQL_DELETE)
        return ::SQLSetPos(stmt, row, operation, lockType);
    if (!st.Executed) return Raise(stmt, "24000", "Invalid cursor state: no result set");
    if (row > 1 || (row == 0 && st.RowArraySize != 1))
        return Raise(stmt, "HYC00", "Optional feature not implemented: only the first row of a rowset is positioned");
    if (lockType != SQL_LOCK_NO_CHANGE)
        return Raise(stmt, "HYC00", "Optional feature not implemented: the cursor library does not lock rows");
    if (!st.OnRow) return Raise(stmt, "HY109", "Invalid cursor position: the cursor is not on a row");
    switch (operation) {
        case SQL_POSITION:
            (void)CaptureCurrent(st);
            return SQL_SUCCESS;
        case SQL_REFRESH: {
            if (st.CursorType == SQL_CURSOR_FORWARD_ONLY || st.Row <= 0) return SQL_SUCCESS;
            if (st.KeyRange) return KeyRangeFetch(st, SQL_FETCH_ABSOLUTE, st.Row);
            SQLRETURN rc = ::SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, st.Row);
            return AfterFetch(st, rc, SQL_FETCH_ABSOLUTE, st.Row);
        }
        default:
            return SetPosWrite(st, operation);
    }
}

SQLRETURN BulkOperations(SQLHSTMT stmt, SQLSMALLINT operation) {
    Entered e = Enter(stmt);
    if (!e) return ::SQLBulkOperations(stmt, operation);
    Statement& st = *e.St;
    if (st.Pending) return SequenceError(st);
    st.OwnRowCount = false;
    DriverMoved(st);
    if (operation == SQL_ADD) return BulkAdd(st);
    return ::SQLBulkOperations(stmt, operation);
}

SQLRETURN PutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
    Entered e = Enter(stmt);
    if (e && e.St->Pending) return PendingPutData(*e.St, data, length);
    return ::SQLPutData(stmt, data, length);
}

SQLRETURN ParamData(SQLHSTMT stmt, SQLPOINTER* value) {
    Entered e = Enter(stmt);
    if (e && e.St->Pending) return PendingParamData(*e.St, value);
    SQLPOINTER token = nullptr;
    return ::SQLParamData(stmt, value ? value : &token);
}

}  // namespace velora::odbc::cursorlib

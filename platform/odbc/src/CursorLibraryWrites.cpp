// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The writes the cursor library carries out itself: positioned UPDATE and
// DELETE statements, SQLSetPos(SQL_UPDATE / SQL_DELETE) and
// SQLBulkOperations(SQL_ADD). An UPDATE or DELETE becomes a searched
// statement on a statement of the library's own, "... WHERE <identity>",
// where the identity is the positioned row's primary key, or all its non-long
// values, as the cursor fetched them (col IS NULL for NULLs); the statement's
// own parameters keep their numbers and the identifying values follow them.
//
// Exactly one row must change. Inside a transaction of its own (or a
// savepoint, when the application runs one) the library runs the statement
// and checks its row count; anything but one row undoes the work and fails
// with 01001 "cursor operation conflict". MariaDB counts changed rows, not
// matched ones (an UPDATE that stores the values the row already holds
// reports 0), so there the library first counts the matching rows with
// SELECT ... FOR UPDATE, which also locks them, and then takes 0 as 1.
// Elsewhere no count runs first: on SQLite a read before the write would make
// one of two connections writing at once fail with "database is locked"
// (neither can upgrade its shared lock).
//
// Parameters bound for data at execution flow through: the statement answers
// SQL_NEED_DATA, and SQLParamData/SQLPutData on the application's statement
// go to the library's statement, whose tokens are the application's buffers.
#include "CursorLibraryStateInternal.h"

#include "ODBCBoundaryInternal.h"

#include <algorithm>

namespace velora::odbc::cursorlib {

namespace {

constexpr const char* kSavepoint = "velora_cursor_library";

/// Runs one statement on a statement of the library's own.
bool ExecSimple(Connection& c, const std::string& sql) {
    SQLHSTMT h = AllocWork(c);
    if (!h) return false;
    SQLRETURN rc = ::SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())),
                                   static_cast<SQLINTEGER>(sql.size()));
    FreeWork(h);
    return Succeeded(rc) || rc == SQL_NO_DATA;
}

/// The library's transaction around one write: its own when the connection
/// commits automatically, else a savepoint inside the application's.
class Transaction {
public:
    explicit Transaction(Connection& c) : FConn(c) {}
    ~Transaction() { Rollback(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Begin(SQLHANDLE owner) {
        SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
        if (!Succeeded(::SQLGetConnectAttr(FConn.Dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)))
            autocommit = SQL_AUTOCOMMIT_ON;
        if ((autocommit & 0xFFFFFFFFu) == SQL_AUTOCOMMIT_ON) {
            SQLRETURN rc = ::SQLSetConnectAttr(FConn.Dbc, SQL_ATTR_AUTOCOMMIT,
                                               reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
            if (!Succeeded(rc)) {
                ForwardDiagnostics(SQL_HANDLE_DBC, FConn.Dbc, owner);
                return false;
            }
            FMode = Mode::Own;
        } else if (ExecSimple(FConn, std::string("SAVEPOINT ") + kSavepoint)) {
            FMode = Mode::Savepoint;
        }
        return true;
    }

    bool Commit(SQLHANDLE owner) {
        if (FMode == Mode::Own) {
            SQLRETURN rc = ::SQLEndTran(SQL_HANDLE_DBC, FConn.Dbc, SQL_COMMIT);
            if (!Succeeded(rc)) {
                ForwardDiagnostics(SQL_HANDLE_DBC, FConn.Dbc, owner);
                Rollback();
                return false;
            }
            AutocommitOn();
        } else if (FMode == Mode::Savepoint) {
            ExecSimple(FConn, std::string("RELEASE SAVEPOINT ") + kSavepoint);
        }
        FMode = Mode::None;
        return true;
    }

    void Rollback() {
        if (FMode == Mode::Own) {
            ::SQLEndTran(SQL_HANDLE_DBC, FConn.Dbc, SQL_ROLLBACK);
            AutocommitOn();
        } else if (FMode == Mode::Savepoint) {
            ExecSimple(FConn, std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint);
            ExecSimple(FConn, std::string("RELEASE SAVEPOINT ") + kSavepoint);
        }
        FMode = Mode::None;
    }

private:
    enum class Mode { None, Own, Savepoint };
    void AutocommitOn() {
        ::SQLSetConnectAttr(FConn.Dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                            SQL_IS_UINTEGER);
    }
    Connection& FConn;
    Mode FMode = Mode::None;
};

bool IsDataAtExec(const SQLLEN* ind) {
    return ind && (*ind == SQL_DATA_AT_EXEC || *ind <= SQL_LEN_DATA_AT_EXEC_OFFSET);
}

}  // namespace

/// One write in progress.
class WriteOperation {
public:
    enum class Kind { Update, Delete, Insert };

    WriteOperation(Kind op, Statement& owner, Statement& cursor)
        : Op(op), Conn(*owner.Conn), Owner(owner), Cursor(&cursor), Generation(cursor.Generation), Txn(*owner.Conn) {}
    ~WriteOperation() { FreeWork(Work); }

    Kind Op;
    Connection& Conn;
    Statement& Owner;          ///< the statement the application called
    Statement* Cursor;         ///< the cursor whose row is written (nullptr once freed)
    unsigned long Generation;  ///< the cursor's result the row belongs to
    SQLLEN Row = 0;            ///< the row's number in the cursor
    TableInfo Table;
    RowImage Image;                             ///< the row as the cursor fetched it
    std::string Head;                           ///< the statement without its WHERE clause
    std::vector<ParamBinding> Params;           ///< the statement's own parameters, numbered from 1
    std::vector<std::pair<int, int>> Assigned;  ///< (result column, own parameter or 0) per assignment
    SQLHSTMT Work = nullptr;

    SQLRETURN Start();
    SQLRETURN Finish(SQLRETURN rc);

private:
    SQLRETURN Conflict(const std::string& why) {
        Txn.Rollback();
        FreeWork(Work);
        return Raise(Owner.Handle, "01001", "Cursor operation conflict: " + why);
    }
    SQLRETURN WorkFailed(SQLRETURN rc) {
        ForwardDiagnostics(SQL_HANDLE_STMT, Work, Owner.Handle);
        Txn.Rollback();
        FreeWork(Work);
        return rc;
    }
    std::string MatchProblem(SQLLEN matches) const {
        if (matches <= 0)
            return "the positioned row no longer holds the values it was fetched with (changed or deleted "
                   "elsewhere); nothing was changed";
        return std::string(Table.ByKey ? "the key" : "the values") + " of the positioned row match " +
               std::to_string(matches) + " rows; nothing was changed";
    }
    SQLRETURN CountMatches(const std::string& where, const std::vector<ParamBinding>& id, SQLLEN& matches);
    RowImage Relocate();

    std::deque<SQLLEN> FLengths;
    Transaction Txn;
};

SQLRETURN WriteOperation::Start() {
    std::string sql = Head;
    std::vector<ParamBinding> all = Params;
    if (Op != Kind::Insert) {
        std::string where;
        std::vector<ParamBinding> id;
        if (Table.Identity.empty())
            return Raise(Owner.Handle, "HY000",
                         "The rows of " + Table.Ref.Text + " cannot be identified from the cursor's columns");
        if (!IdentityWhere(Conn, Table, Image, where, id, FLengths))
            return Conflict("the values that identify the positioned row are not known");
        if (!Txn.Begin(Owner.Handle)) return SQL_ERROR;
        if (Conn.CountsChangedRows) {
            // The row count of an UPDATE will not tell matched rows: count
            // (and lock) them first.
            SQLLEN matches = 0;
            SQLRETURN rc = CountMatches(where, id, matches);
            if (!Succeeded(rc)) {
                Txn.Rollback();
                return rc;
            }
            if (matches != 1) return Conflict(MatchProblem(matches));
        }
        sql += " WHERE " + where;
        all.insert(all.end(), id.begin(), id.end());
    } else if (std::any_of(all.begin(), all.end(), [](const ParamBinding& p) { return IsDataAtExec(p.Indicator); })) {
        // An insert with data at execution is undone when the data never comes.
        if (!Txn.Begin(Owner.Handle)) return SQL_ERROR;
    }
    Work = AllocWork(Conn);
    if (!Work) {
        ForwardDiagnostics(SQL_HANDLE_DBC, Conn.Dbc, Owner.Handle);
        Txn.Rollback();
        return SQL_ERROR;
    }
    SQLRETURN rc = ::SQLPrepare(Work, reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()));
    if (Succeeded(rc)) rc = BindAll(Work, all);
    if (!Succeeded(rc)) return WorkFailed(rc);
    const bool expectsData = std::any_of(all.begin(), all.end(), [](const ParamBinding& p) {
        return (p.Data || p.Indicator) && IsDataAtExec(p.Indicator);
    });
    rc = ::SQLExecute(Work);
    if (rc == SQL_NEED_DATA) return rc;
    // A statement with a parameter for data at execution that ran without
    // asking for it wrote something other than the application's value.
    if (expectsData && (Succeeded(rc) || rc == SQL_NO_DATA)) {
        Txn.Rollback();
        FreeWork(Work);
        return Raise(Owner.Handle, "HY000",
                     "The data source did not ask for the value sent at execution; nothing was written");
    }
    return Finish(rc);
}

SQLRETURN WriteOperation::CountMatches(const std::string& where, const std::vector<ParamBinding>& id, SQLLEN& matches) {
    std::string sql = Conn.ForUpdate ? "SELECT 1 FROM " + Table.Ref.Text + " WHERE " + where + " FOR UPDATE"
                                     : "SELECT COUNT(*) FROM " + Table.Ref.Text + " WHERE " + where;
    SQLHSTMT h = AllocWork(Conn);
    if (!h) {
        ForwardDiagnostics(SQL_HANDLE_DBC, Conn.Dbc, Owner.Handle);
        return SQL_ERROR;
    }
    SQLRETURN rc = BindAll(h, id);
    if (Succeeded(rc))
        rc = ::SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()));
    matches = 0;
    if (Succeeded(rc)) {
        if (Conn.ForUpdate) {
            while (matches < 2 && Succeeded(rc = ::SQLFetch(h))) ++matches;
        } else if (Succeeded(rc = ::SQLFetch(h))) {
            SQLBIGINT n = 0;
            SQLLEN ind = 0;
            rc = ::SQLGetData(h, 1, SQL_C_SBIGINT, &n, sizeof n, &ind);
            matches = static_cast<SQLLEN>(n);
        }
        if (rc == SQL_NO_DATA) rc = SQL_SUCCESS;
    }
    if (!Succeeded(rc)) ForwardDiagnostics(SQL_HANDLE_STMT, h, Owner.Handle);
    FreeWork(h);
    return rc;
}

RowImage WriteOperation::Relocate() {
    // The updated row, found by its identity as it is now: assigned columns
    // by the parameter that assigned them, the others by their old values.
    RowImage now = Image;
    for (auto& [col, param] : Assigned) now[static_cast<std::size_t>(col)].Known = false;
    if (!Cursor) return now;
    const std::vector<ColumnInfo>& columns = Cursor->Columns;
    std::string where;
    std::vector<ParamBinding> binds;
    std::deque<SQLLEN> lengths;
    for (int j : Table.Identity) {
        auto a = std::find_if(Assigned.begin(), Assigned.end(), [&](auto& x) { return x.first == j; });
        std::string name = Conn.Quote(Table.ColumnName[static_cast<std::size_t>(j)]);
        if (a != Assigned.end()) {
            if (a->second == 0) continue;
            const ParamBinding& p = Params[static_cast<std::size_t>(a->second - 1)];
            if ((!p.Data && !p.Indicator) || IsDataAtExec(p.Indicator)) continue;
            where += (where.empty() ? "" : " AND ") + name;
            if (p.Indicator && *p.Indicator == SQL_NULL_DATA) {
                where += " IS NULL";
            } else {
                where += " = ?";
                binds.push_back(p);
            }
            continue;
        }
        const CapturedValue& v = Image[static_cast<std::size_t>(j)];
        if (!v.Known) return now;
        where += (where.empty() ? "" : " AND ") + name + (v.Null ? " IS NULL" : " = ?");
        if (!v.Null) {
            lengths.push_back(0);
            binds.push_back(BindingFor(v, lengths.back()));
        }
    }
    if (where.empty()) return now;
    std::string list;
    std::vector<std::size_t> cols;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (Table.ColumnName[i].empty() || columns[i].Long) continue;
        list += (cols.empty() ? "" : ", ") + Conn.Quote(Table.ColumnName[i]);
        cols.push_back(i);
    }
    if (cols.empty()) return now;
    std::string sql = "SELECT " + list + " FROM " + Table.Ref.Text + " WHERE " + where;
    SQLHSTMT h = AllocWork(Conn);
    if (!h) return now;
    if (Succeeded(BindAll(h, binds)) &&
        Succeeded(::SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()))) &&
        Succeeded(::SQLFetch(h))) {
        for (std::size_t k = 0; k < cols.size(); ++k)
            now[cols[k]] = CaptureColumn(h, static_cast<SQLUSMALLINT>(k + 1), columns[cols[k]]);
    }
    FreeWork(h);
    return now;
}

SQLRETURN WriteOperation::Finish(SQLRETURN rc) {
    if (rc != SQL_NO_DATA && !Succeeded(rc)) return WorkFailed(rc);
    SQLLEN rows = 0;
    if (rc != SQL_NO_DATA && !Succeeded(::SQLRowCount(Work, &rows))) rows = -1;
    std::vector<DiagRecord> warnings;
    if (rc == SQL_SUCCESS_WITH_INFO) warnings = detail::DriverDiagnostics(SQL_HANDLE_STMT, Work);
    if (Op != Kind::Insert) {
        bool one = rows == 1 || (Op == Kind::Update && rows == 0 && Conn.CountsChangedRows);
        if (!one) return Conflict(MatchProblem(rows));
    }
    RowImage now;
    if (Op == Kind::Update) now = Relocate();
    FreeWork(Work);
    if (!Txn.Commit(Owner.Handle)) return SQL_ERROR;

    // The cursor sees its own changes from now on.
    Statement* cur = Cursor;
    if (cur && cur->Generation == Generation) KeyRangeWritten(*cur);
    KeyRangeWritten(Owner);
    if (cur && cur->Generation == Generation && Row > 0 && Op != Kind::Insert) {
        if (Op == Kind::Delete) {
            cur->Changed.erase(Row);
            cur->Deleted.insert(Row);
        } else {
            cur->Changed[Row] = ChangedRow{Table.Ref.Text, now};
            cur->Tables.emplace(Table.Ref.Text, Table);
            if (cur->OnRow && cur->Row == Row) {
                cur->Current = now;
                CloseReread(*cur);
                cur->RereadStale = true;
            }
        }
    }
    Owner.OwnRowCount = true;
    Owner.RowsAffected = Op == Kind::Insert ? rows : 1;
    detail::PostDiagnostics(Owner.Handle, warnings);
    return warnings.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

// Defined here, where a pending write is a complete type.
Statement::Statement() = default;
Statement::~Statement() = default;

SQLRETURN RunPositioned(Statement& owner, const PositionedStatement& ps) {
    Connection& c = *owner.Conn;
    owner.OwnRowCount = false;
    detail::PostDiagnostics(owner.Handle, {});
    auto named = c.Names.find(UpperCase(ps.CursorName));
    if (named == c.Names.end()) return Raise(owner.Handle, "34000", "Invalid cursor name \"" + ps.CursorName + "\"");
    Statement& cur = *named->second;
    if (!cur.Executed || !cur.OnRow)
        return Raise(owner.Handle, "24000",
                     "Invalid cursor state: cursor \"" + ps.CursorName + "\" is not positioned on a row");
    if (cur.Row > 0 && cur.Deleted.count(cur.Row))
        return Raise(owner.Handle, "01001", "Cursor operation conflict: the positioned row has been deleted");
    (void)CaptureCurrent(cur);
    std::string error;
    TableInfo* t = TableFor(cur, TableRef{ps.Table, ps.TableParts}, error);
    if (!t) return Raise(owner.Handle, "HY000", error);

    auto op = std::make_unique<WriteOperation>(
        ps.Op == PositionedStatement::Kind::Update ? WriteOperation::Kind::Update : WriteOperation::Kind::Delete, owner,
        cur);
    op->Row = cur.Row;
    op->Table = *t;
    op->Image = cur.Current ? *cur.Current : RowImage(cur.Columns.size());
    if (ps.Op == PositionedStatement::Kind::Update) {
        op->Head = "UPDATE " + ps.Table + " SET " + ps.SetClause;
        for (int p = 1; p <= ps.MarkerCount; ++p) {
            ParamBinding b{};
            b.Data = nullptr;
            auto it = owner.Params.find(static_cast<SQLUSMALLINT>(p));
            if (it != owner.Params.end()) {
                b = it->second;
                if (owner.ParamBindOffset) {
                    if (b.Data) b.Data = static_cast<char*>(b.Data) + *owner.ParamBindOffset;
                    if (b.Indicator)
                        b.Indicator =
                            reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(b.Indicator) + *owner.ParamBindOffset);
                }
            }
            op->Params.push_back(b);
        }
        for (const Assignment& a : ps.Assignments)
            for (std::size_t i = 0; i < cur.Columns.size(); ++i)
                if (SameName(t->ColumnName[i], a.Column)) {
                    op->Assigned.emplace_back(static_cast<int>(i), a.Param);
                    break;
                }
    } else {
        op->Head = "DELETE FROM " + ps.Table;
    }
    SQLRETURN rc = op->Start();
    if (rc == SQL_NEED_DATA) owner.Pending = std::move(op);
    return rc;
}

namespace {

/// The cursor's table for SQLSetPos and SQLBulkOperations writes.
TableInfo* WriteTable(Statement& st, SQLRETURN& rc) {
    const std::optional<TableRef>& ref = CursorTableOf(st);
    if (!ref) {
        rc = Raise(st.Handle, "HY000", "The cursor does not read a single table, so its rows cannot be written");
        return nullptr;
    }
    std::string error;
    TableInfo* t = TableFor(st, *ref, error);
    if (!t) rc = Raise(st.Handle, "HY000", error);
    return t;
}

/// The bound columns a write sends: bound, not SQL_COLUMN_IGNORE, the table's.
/// `overrun`: the first bound column whose length exceeds its buffer (it is
/// left out), else 0.
template <typename F>
void ForBoundColumns(Statement& st, const TableInfo& t, int& overrun, F&& f) {
    overrun = 0;
    for (std::size_t c = 1; c < st.Bindings.size() && c <= st.Columns.size(); ++c) {
        const ColumnBinding& b = st.Bindings[c];
        if (!b.Data && !b.Indicator) continue;
        if (t.ColumnName[c - 1].empty()) continue;
        SQLLEN* ind = st.BoundIndicator(b);
        if (ind && *ind == SQL_COLUMN_IGNORE) continue;
        // A length beyond the buffer would send the memory behind it.
        if ((b.CType == SQL_C_BINARY || b.CType == SQL_C_CHAR) && ind && *ind > b.Length) {
            overrun = static_cast<int>(c);
            continue;
        }
        const ColumnInfo& col = st.Columns[c - 1];
        ParamBinding p;
        p.CType = b.CType;
        p.SqlType = col.SqlType;
        p.Size = std::max<SQLULEN>(col.Size, 1);
        p.Digits = col.Digits;
        p.Data = st.BoundData(b);
        p.Length = b.Length;
        p.Indicator = ind;
        f(static_cast<int>(c - 1), t.ColumnName[c - 1], p);
    }
}

SQLRETURN Overrun(Statement& st, int column) {
    return Raise(st.Handle, "HY090",
                 "Invalid string or buffer length: the length of column " + std::to_string(column) +
                     " exceeds its buffer; nothing was written");
}

}  // namespace

SQLRETURN SetPosWrite(Statement& st, SQLUSMALLINT operation) {
    detail::PostDiagnostics(st.Handle, {});
    if (st.Row > 0 && st.Deleted.count(st.Row))
        return Raise(st.Handle, "01001", "Cursor operation conflict: the row has been deleted");
    (void)CaptureCurrent(st);
    SQLRETURN rc = SQL_ERROR;
    TableInfo* t = WriteTable(st, rc);
    if (!t) return rc;
    auto op = std::make_unique<WriteOperation>(
        operation == SQL_UPDATE ? WriteOperation::Kind::Update : WriteOperation::Kind::Delete, st, st);
    op->Row = st.Row;
    op->Table = *t;
    op->Image = st.Current ? *st.Current : RowImage(st.Columns.size());
    if (operation == SQL_UPDATE) {
        std::string set;
        int overrun = 0;
        ForBoundColumns(st, *t, overrun, [&](int col, const std::string& name, const ParamBinding& p) {
            set += (set.empty() ? "" : ", ") + st.Conn->Quote(name) + " = ?";
            op->Params.push_back(p);
            op->Assigned.emplace_back(col, static_cast<int>(op->Params.size()));
        });
        if (overrun) return Overrun(st, overrun);
        if (set.empty()) {
            st.OwnRowCount = true;
            st.RowsAffected = 0;
            return SQL_SUCCESS;  // nothing bound, nothing to write
        }
        op->Head = "UPDATE " + t->Ref.Text + " SET " + set;
    } else {
        op->Head = "DELETE FROM " + t->Ref.Text;
    }
    rc = op->Start();
    if (rc == SQL_NEED_DATA) st.Pending = std::move(op);
    return rc;
}

SQLRETURN BulkAdd(Statement& st) {
    detail::PostDiagnostics(st.Handle, {});
    if (!st.Executed) return Raise(st.Handle, "24000", "Invalid cursor state: no result set");
    if (st.RowArraySize != 1)
        return Raise(st.Handle, "HYC00", "Optional feature not implemented: rows are added one at a time");
    SQLRETURN rc = SQL_ERROR;
    TableInfo* t = WriteTable(st, rc);
    if (!t) return rc;
    auto op = std::make_unique<WriteOperation>(WriteOperation::Kind::Insert, st, st);
    std::string names, markers;
    int overrun = 0;
    ForBoundColumns(st, *t, overrun, [&](int, const std::string& name, const ParamBinding& p) {
        names += (names.empty() ? "" : ", ") + st.Conn->Quote(name);
        markers += markers.empty() ? "?" : ", ?";
        op->Params.push_back(p);
    });
    if (overrun) return Overrun(st, overrun);
    if (names.empty()) return Raise(st.Handle, "HY000", "No bound column of " + t->Ref.Text + " to add a row with");
    op->Head = "INSERT INTO " + t->Ref.Text + " (" + names + ") VALUES (" + markers + ")";
    rc = op->Start();
    if (rc == SQL_NEED_DATA) st.Pending = std::move(op);
    return rc;
}

SQLRETURN PendingParamData(Statement& st, SQLPOINTER* value) {
    SQLPOINTER token = nullptr;
    SQLRETURN rc = ::SQLParamData(st.Pending->Work, &token);
    if (value) *value = token;
    if (rc == SQL_NEED_DATA) return rc;
    std::unique_ptr<WriteOperation> op = std::move(st.Pending);
    return op->Finish(rc);
}

SQLRETURN PendingPutData(Statement& st, SQLPOINTER data, SQLLEN length) {
    SQLRETURN rc = ::SQLPutData(st.Pending->Work, data, length);
    if (!Succeeded(rc)) {
        // The sequence cannot go on: undo at once rather than keep the
        // connection inside the library's transaction.
        ForwardDiagnostics(SQL_HANDLE_STMT, st.Pending->Work, st.Handle);
        st.Pending.reset();
    }
    return rc;
}

void CancelPending(Statement& st) {
    if (!st.Pending) return;
    if (st.Pending->Work) ::SQLCancel(st.Pending->Work);
    st.Pending.reset();
}

void ForgetCursor(Connection& c, Statement& st) {
    for (auto& [h, other] : c.Statements)
        if (other->Pending && other->Pending->Cursor == &st) other->Pending->Cursor = nullptr;
}

}  // namespace velora::odbc::cursorlib

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The cursor library's view of rows: where the cursor stands (the drivers
// here cannot say: SQLite answers SQL_ATTR_ROW_NUMBER -2, MariaDB 0), how a
// row of a table is identified from what the cursor fetched, the image of the
// positioned row, and the rows the library changed, which are read again
// from the table whenever the cursor comes back to them.
//
// Row images are read with SQLGetData from the driver's current row, not from
// the application's bound buffers: the application may already have written
// new values into those (the engine binds the parameters of its positioned
// UPDATE to the very buffers the cursor fetches into).
#include "CursorLibraryStateInternal.h"

#include "ODBCBoundaryInternal.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace velora::odbc::cursorlib {

namespace {

bool IsLongType(SQLSMALLINT t) { return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY || t == SQL_WLONGVARCHAR; }

std::string ColText(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field) {
    char buf[256] = {};
    SQLSMALLINT len = 0;
    if (!Succeeded(::SQLColAttribute(h, col, field, buf, sizeof buf, &len, nullptr))) return {};
    return buf;
}

SQLCHAR* Arg(std::string& s) { return s.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(s.data()); }
SQLSMALLINT ArgLen(const std::string& s) { return s.empty() ? 0 : SQL_NTS; }

std::string Folded(const std::string& name, SQLUSMALLINT identifierCase) {
    std::string s = name;
    for (char& c : s) {
        auto u = static_cast<unsigned char>(c);
        if (identifierCase == SQL_IC_LOWER) c = static_cast<char>(std::tolower(u));
        if (identifierCase == SQL_IC_UPPER) c = static_cast<char>(std::toupper(u));
    }
    return s;
}

/// Rows of a catalogue function: the text of column `nameCol`, and of
/// `orderCol` as a number, for rows whose table name is `table`.
std::vector<std::pair<SQLLEN, std::string>> CatalogRows(Connection& c, bool keys, TableInfo& t,
                                                        const std::string& table) {
    std::vector<std::pair<SQLLEN, std::string>> out;
    SQLHSTMT h = AllocWork(c);
    if (!h) return out;
    std::string cat = t.Catalog, sch = t.Schema, tab = table;
    SQLRETURN rc = keys ? ::SQLPrimaryKeys(h, Arg(cat), ArgLen(cat), Arg(sch), ArgLen(sch), Arg(tab), SQL_NTS)
                        : ::SQLColumns(h, Arg(cat), ArgLen(cat), Arg(sch), ArgLen(sch), Arg(tab), SQL_NTS, nullptr, 0);
    if (Succeeded(rc)) {
        std::string firstSchema;
        bool first = true;
        while (Succeeded(::SQLFetch(h))) {
            char name[256] = {}, tname[256] = {}, sname[256] = {};
            SQLLEN ind = 0, order = 0;
            ::SQLGetData(h, 2, SQL_C_CHAR, sname, sizeof sname, &ind);
            if (ind == SQL_NULL_DATA) sname[0] = '\0';
            ::SQLGetData(h, 3, SQL_C_CHAR, tname, sizeof tname, &ind);
            ::SQLGetData(h, 4, SQL_C_CHAR, name, sizeof name, &ind);
            if (keys) {
                SQLINTEGER seq = 0;
                ::SQLGetData(h, 5, SQL_C_SLONG, &seq, 0, &ind);
                order = seq;
            } else {
                order = static_cast<SQLLEN>(out.size());
            }
            // A pattern argument may match other tables; keep the one asked for,
            // and of a name found in several schemas the first one.
            if (!SameName(tname, table)) continue;
            if (first) {
                firstSchema = sname;
                first = false;
            }
            if (firstSchema != sname) continue;
            out.emplace_back(order, name);
        }
    }
    FreeWork(h);
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.first < b.first; });
    return out;
}

/// Catalogue rows for the table's name as written, then as the data source
/// folds an unquoted name.
std::vector<std::pair<SQLLEN, std::string>> CatalogRowsFolded(Connection& c, bool keys, TableInfo& t, bool quoted) {
    auto rows = CatalogRows(c, keys, t, t.Name);
    if (rows.empty() && !quoted) {
        std::string folded = Folded(t.Name, c.IdentifierCase);
        if (folded != t.Name) rows = CatalogRows(c, keys, t, folded);
    }
    return rows;
}

/// Position bookkeeping of one fetch (rowsets of one row).
void Track(Statement& st, SQLSMALLINT orientation, SQLLEN offset, SQLRETURN rc) {
    const bool ok = Succeeded(rc);
    const bool none = rc == SQL_NO_DATA;
    if (!ok && !none) return;  // a failed fetch leaves the position as it was
    if (st.RowArraySize != 1) {
        st.Row = kUnknownRow;
        return;
    }
    const SQLLEN r = st.Row;
    const SQLLEN count = st.Count;
    auto fromEnd = [&](SQLLEN k) { return count >= 0 ? count + 1 + k : kUnknownRow; };  // k < 0
    switch (orientation) {
        case SQL_FETCH_NEXT:
            if (none) {
                if (r >= 0) st.Count = r;
                st.Row = kAfterLast;
            } else {
                st.Row = r >= 0 ? r + 1 : kUnknownRow;
            }
            break;
        case SQL_FETCH_PRIOR:
            if (none)
                st.Row = kBeforeFirst;
            else
                st.Row = r > 0 ? r - 1 : r == kAfterLast ? fromEnd(-1) : kUnknownRow;
            break;
        case SQL_FETCH_FIRST:
            if (none) st.Count = 0;
            st.Row = none ? kAfterLast : 1;
            break;
        case SQL_FETCH_LAST:
            if (none) st.Count = 0;
            st.Row = none ? kBeforeFirst : fromEnd(-1);
            break;
        case SQL_FETCH_ABSOLUTE:
            if (none)
                st.Row = offset > 0 ? kAfterLast : kBeforeFirst;
            else
                st.Row = offset > 0 ? offset : fromEnd(offset);
            break;
        case SQL_FETCH_RELATIVE:
            if (none) {
                st.Row = offset > 0 ? kAfterLast : kBeforeFirst;
            } else if (r >= 0) {
                st.Row = r + offset;
            } else {
                st.Row = r == kAfterLast ? fromEnd(offset) : kUnknownRow;
            }
            break;
        default:
            st.Row = kUnknownRow;
            break;
    }
}

}  // namespace

/// The C type a column's value is captured as: exact for numbers, the
/// driver's own text for the rest (dates included: SQLite keeps them as text).
SQLSMALLINT CaptureType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_BIT:
            return SQL_C_BIT;
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return SQL_C_SBIGINT;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return SQL_C_DOUBLE;
        case SQL_BINARY:
        case SQL_VARBINARY:
            return SQL_C_BINARY;
        default:
            return SQL_C_CHAR;
    }
}

/// The SQL type a captured value is sent back as.
SQLSMALLINT ParamType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_WCHAR:
            return SQL_CHAR;
        case SQL_WVARCHAR:
            return SQL_VARCHAR;
        default:
            return sqlType;
    }
}

void Rebind(Statement& st) {
    for (std::size_t c = 1; c < st.Bindings.size(); ++c) {
        const ColumnBinding& b = st.Bindings[c];
        if (!b.Data && !b.Indicator) continue;
        // Binding must not change what the application holds (the SQLite
        // driver zeroes the indicator variable).
        SQLLEN* at = st.BoundIndicator(b);
        SQLLEN keepBase = b.Indicator ? *b.Indicator : 0;
        SQLLEN keepAt = at ? *at : 0;
        ::SQLBindCol(st.Handle, static_cast<SQLUSMALLINT>(c), b.CType, b.Data, b.Length, b.Indicator);
        if (b.Indicator) *b.Indicator = keepBase;
        if (at) *at = keepAt;
    }
}

SQLRETURN BindAll(SQLHSTMT h, const std::vector<ParamBinding>& params) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const ParamBinding& p = params[i];
        if (!p.Data && !p.Indicator) continue;  // not bound by the application: the driver reports it
        SQLRETURN rc = ::SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), p.IoType, p.CType, p.SqlType, p.Size,
                                          p.Digits, p.Data, p.Length, p.Indicator);
        if (!Succeeded(rc)) return rc;
    }
    return SQL_SUCCESS;
}

SQLRETURN Describe(Statement& st) {
    if (st.Described) return SQL_SUCCESS;
    SQLSMALLINT n = 0;
    SQLRETURN rc = ::SQLNumResultCols(st.Handle, &n);
    if (!Succeeded(rc)) return rc;
    st.Columns.assign(static_cast<std::size_t>(n), {});
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
        ColumnInfo& c = st.Columns[i - 1u];
        char name[256] = {};
        SQLSMALLINT len = 0, nullable = 0;
        rc = ::SQLDescribeCol(st.Handle, i, reinterpret_cast<SQLCHAR*>(name), sizeof name, &len, &c.SqlType, &c.Size,
                              &c.Digits, &nullable);
        if (!Succeeded(rc)) return rc;
        c.Label = name;
        c.BaseName = ColText(st.Handle, i, SQL_DESC_BASE_COLUMN_NAME);
        if (c.BaseName.empty()) c.BaseName = c.Label;
        c.BaseTable = ColText(st.Handle, i, SQL_DESC_BASE_TABLE_NAME);
        c.Long = IsLongType(c.SqlType);
    }
    st.Described = true;
    return SQL_SUCCESS;
}

const std::optional<TableRef>& CursorTableOf(Statement& st) {
    if (!st.CursorTable) {
        std::optional<TableRef> ref = SingleTableOf(st.Text, st.Conn->Dialect);
        if (!ref && Succeeded(Describe(st))) {
            // No plain single-table SELECT: the table every column comes from.
            std::string table;
            bool same = !st.Columns.empty();
            for (const ColumnInfo& c : st.Columns) {
                if (c.BaseTable.empty() || (!table.empty() && !SameName(table, c.BaseTable))) same = false;
                if (table.empty()) table = c.BaseTable;
            }
            if (same) ref = TableRef{st.Conn->Quote(table), {{table, true}}};
        }
        st.CursorTable = ref;
    }
    return *st.CursorTable;
}

TableInfo* TableFor(Statement& st, const TableRef& ref, std::string& error) {
    auto found = st.Tables.find(ref.Text);
    if (found != st.Tables.end()) return &found->second;
    if (!Succeeded(Describe(st))) {
        error = "the cursor's columns cannot be described";
        return nullptr;
    }
    Connection& c = *st.Conn;
    TableInfo t;
    t.Ref = ref;
    const auto& p = ref.Parts;
    if (p.empty() || p.size() > 3) {
        error = "\"" + ref.Text + "\" is not a table name";
        return nullptr;
    }
    t.Name = p.back().Text;
    if (p.size() == 3) {
        t.Catalog = p[0].Text;
        t.Schema = p[1].Text;
    } else if (p.size() == 2) {
        (c.SchemaUsage ? t.Schema : t.Catalog) = p[0].Text;
    }
    auto columns = CatalogRowsFolded(c, false, t, p.back().Quoted);
    auto keys = CatalogRowsFolded(c, true, t, p.back().Quoted);

    // Which result columns are the table's, under the table's own spelling.
    t.ColumnName.assign(st.Columns.size(), {});
    for (std::size_t i = 0; i < st.Columns.size(); ++i) {
        const ColumnInfo& col = st.Columns[i];
        if (!col.BaseTable.empty() && !SameName(col.BaseTable, t.Name)) continue;
        if (columns.empty()) {
            t.ColumnName[i] = col.BaseName;
            continue;
        }
        for (auto& [order, name] : columns)
            if (SameName(name, col.BaseName)) {
                t.ColumnName[i] = name;
                break;
            }
    }
    // The primary key when the cursor holds all of it, else every non-long column.
    for (auto& [seq, key] : keys) {
        int at = -1;
        for (std::size_t i = 0; i < st.Columns.size(); ++i)
            if (!st.Columns[i].Long && SameName(t.ColumnName[i], key)) at = static_cast<int>(i);
        if (at < 0) {
            t.Identity.clear();
            break;
        }
        t.Identity.push_back(at);
    }
    t.ByKey = !t.Identity.empty();
    if (!t.ByKey)
        for (std::size_t i = 0; i < st.Columns.size(); ++i)
            if (!t.ColumnName[i].empty() && !st.Columns[i].Long) t.Identity.push_back(static_cast<int>(i));
    return &st.Tables.emplace(ref.Text, std::move(t)).first->second;
}

CapturedValue CaptureColumn(SQLHSTMT h, SQLUSMALLINT col, const ColumnInfo& info) {
    CapturedValue v;
    v.CType = CaptureType(info.SqlType);
    v.SqlType = ParamType(info.SqlType);
    v.Size = info.Size;
    v.Digits = info.Digits;
    SQLLEN ind = 0;
    if (v.CType == SQL_C_BIT || v.CType == SQL_C_SBIGINT || v.CType == SQL_C_DOUBLE) {
        char buf[8] = {};
        SQLLEN size = v.CType == SQL_C_BIT ? 1 : 8;
        if (!Succeeded(::SQLGetData(h, col, v.CType, buf, size, &ind))) return v;
        v.Known = true;
        v.Null = ind == SQL_NULL_DATA;
        if (!v.Null) v.Bytes.assign(buf, static_cast<std::size_t>(size));
        return v;
    }
    // Character and binary data, piece by piece.
    const bool text = v.CType == SQL_C_CHAR;
    char chunk[512];
    for (bool firstPiece = true;; firstPiece = false) {
        SQLRETURN rc = ::SQLGetData(h, col, v.CType, chunk, sizeof chunk, &ind);
        if (rc == SQL_NO_DATA) {
            if (firstPiece) return v;  // read before: the value is not known
            break;
        }
        if (!Succeeded(rc)) return v;
        if (ind == SQL_NULL_DATA) {
            v.Null = true;
            break;
        }
        const std::size_t room = text ? sizeof chunk - 1 : sizeof chunk;
        bool more = ind == SQL_NO_TOTAL || static_cast<std::size_t>(ind) > room;
        v.Bytes.append(chunk, more ? room : static_cast<std::size_t>(ind));
        if (!more) break;
    }
    v.Known = true;
    return v;
}

ParamBinding BindingFor(const CapturedValue& v, SQLLEN& length) {
    ParamBinding p;
    p.CType = v.CType;
    p.SqlType = v.SqlType;
    p.Size = v.Size;
    p.Digits = v.Digits;
    if (v.CType == SQL_C_CHAR || v.CType == SQL_C_BINARY) p.Size = std::max<SQLULEN>({v.Size, v.Bytes.size(), 1});
    p.Data = const_cast<char*>(v.Bytes.data());
    p.Length = static_cast<SQLLEN>(v.Bytes.size());
    length = static_cast<SQLLEN>(v.Bytes.size());
    p.Indicator = &length;
    return p;
}

bool IdentityWhere(const Connection& c, const TableInfo& t, const RowImage& image, std::string& where,
                   std::vector<ParamBinding>& params, std::deque<SQLLEN>& lengths) {
    if (t.Identity.empty()) return false;
    for (int j : t.Identity) {
        if (static_cast<std::size_t>(j) >= image.size()) return false;
        const CapturedValue& v = image[static_cast<std::size_t>(j)];
        if (!v.Known) return false;
        if (!where.empty()) where += " AND ";
        where += c.Quote(t.ColumnName[static_cast<std::size_t>(j)]);
        if (v.Null) {
            where += " IS NULL";
            continue;
        }
        where += " = ?";
        lengths.push_back(0);
        params.push_back(BindingFor(v, lengths.back()));
    }
    return true;
}

SQLRETURN CaptureCurrent(Statement& st) {
    if (st.Current) return SQL_SUCCESS;
    if (!st.OnRow) return SQL_ERROR;
    if (st.Row > 0) {
        auto it = st.Changed.find(st.Row);
        if (it != st.Changed.end()) {
            st.Current = it->second.Image;
            return SQL_SUCCESS;
        }
    }
    RowImage image;
    bool read = false;
    if (Succeeded(Describe(st))) {
        // The application's columns are unbound while the image is read: the
        // SQLite driver writes what remains of a value read in pieces into
        // that column's bound length/indicator variable, which may hold a
        // data-at-execution length the write about to run depends on.
        bool bound = false;
        for (std::size_t c = 1; c < st.Bindings.size() && !bound; ++c)
            bound = st.Bindings[c].Data || st.Bindings[c].Indicator;
        if (bound) ::SQLFreeStmt(st.Handle, SQL_UNBIND);
        image.resize(st.Columns.size());
        for (std::size_t i = 0; i < st.Columns.size(); ++i) {
            if (st.Columns[i].Long) continue;
            image[i] = CaptureColumn(st.Handle, static_cast<SQLUSMALLINT>(i + 1), st.Columns[i]);
            read = true;
        }
        if (bound) Rebind(st);
    }
    st.Current = std::move(image);
    DriverMoved(st);
    const SQLLEN driverRow = st.KeyRange ? KeyRangeDriverRow(st, st.Row) : st.Row;
    if (read && st.CursorType != SQL_CURSOR_FORWARD_ONLY && st.Row > 0 && driverRow > 0) {
        // Fetch the row again, nothing bound, so the application can still
        // read every column with SQLGetData (a driver delivers a column once).
        ::SQLFreeStmt(st.Handle, SQL_UNBIND);
        ::SQLFetchScroll(st.Handle, SQL_FETCH_ABSOLUTE, driverRow);
        Rebind(st);
        if (st.RowStatus && st.Deleted.count(st.Row)) st.RowStatus[0] = SQL_ROW_DELETED;
    }
    return SQL_SUCCESS;
}

void LearnCountFor(Statement& st, SQLSMALLINT orientation, SQLLEN offset) {
    if (st.RowArraySize != 1 || st.CursorType == SQL_CURSOR_FORWARD_ONLY || !st.Executed) return;
    const bool fromEnd = st.Row == kAfterLast;
    const bool needed = orientation == SQL_FETCH_LAST || (orientation == SQL_FETCH_ABSOLUTE && offset < 0) ||
                        (fromEnd && (orientation == SQL_FETCH_PRIOR || orientation == SQL_FETCH_RELATIVE));
    if (!needed) return;
    DriverMoved(st);
    SQLLEN n = -1;
    if (Succeeded(::SQLRowCount(st.Handle, &n)) && n > 0) {
        st.Count = n;
        return;
    }
    // The driver does not say (SQLite answers 0): find the last row by
    // absolute fetches with nothing bound, doubling and then halving.
    ::SQLFreeStmt(st.Handle, SQL_UNBIND);
    auto exists = [&](SQLLEN k) {
        SQLRETURN rc = ::SQLFetchScroll(st.Handle, SQL_FETCH_ABSOLUTE, k);
        return Succeeded(rc) ? 1 : rc == SQL_NO_DATA ? 0 : -1;
    };
    SQLLEN lo = 0, hi = 1;
    bool failed = false;
    for (;;) {
        int e = exists(hi);
        if (e < 0) {
            failed = true;
            break;
        }
        if (e == 0) break;
        lo = hi;
        hi *= 2;
    }
    while (!failed && hi - lo > 1) {
        SQLLEN mid = lo + (hi - lo) / 2;
        int e = exists(mid);
        if (e < 0) failed = true;
        (e == 1 ? lo : hi) = mid;
    }
    if (!failed) {
        st.Count = lo;
        // Relative moves start from where the cursor was: after the last row.
        if (fromEnd) ::SQLFetchScroll(st.Handle, SQL_FETCH_ABSOLUTE, lo + 1);
    }
    Rebind(st);
}

void CloseReread(Statement& st) {
    if (st.RereadOpen) ::SQLFreeStmt(st.Reread, SQL_CLOSE);
    st.RereadOpen = false;
}

SQLRETURN Reread(Statement& st, bool fill) {
    st.RereadStale = false;
    CloseReread(st);
    if (st.Row <= 0) return SQL_SUCCESS;
    auto it = st.Changed.find(st.Row);
    if (it == st.Changed.end()) return SQL_SUCCESS;
    auto tit = st.Tables.find(it->second.Table);
    if (tit == st.Tables.end()) return SQL_SUCCESS;
    const TableInfo& t = tit->second;
    Connection& c = *st.Conn;

    std::string where;
    std::vector<ParamBinding> params;
    std::deque<SQLLEN> lengths;
    if (!IdentityWhere(c, t, it->second.Image, where, params, lengths)) return SQL_SUCCESS;
    std::string list;
    st.RereadColumn.assign(st.Columns.size() + 1, 0);
    SQLUSMALLINT k = 0;
    for (std::size_t i = 0; i < st.Columns.size(); ++i) {
        if (t.ColumnName[i].empty()) continue;
        list += (k ? ", " : "") + c.Quote(t.ColumnName[i]);
        st.RereadColumn[i + 1] = ++k;
    }
    // The engine's companions of SQLite doubles (their 21 digits) are read
    // again with the columns they belong to; left alone they would bring the
    // value the row held before the write back.
    for (std::size_t i = 0; k > 0 && i < st.Columns.size(); ++i) {
        const auto of = static_cast<std::size_t>(ExactRealCompanionOf(st.Columns[i].Label));
        if (of == 0 || of > t.ColumnName.size() || t.ColumnName[of - 1].empty() || !t.ColumnName[i].empty()) continue;
        list += ", " + ExactRealCompanion(c.Quote(t.ColumnName[of - 1]), static_cast<int>(of));
        st.RereadColumn[i + 1] = ++k;
    }
    std::string sql = "SELECT " + list + " FROM " + t.Ref.Text + " WHERE " + where;
    if (!st.Reread) st.Reread = AllocWork(c);
    if (!st.Reread) return SQL_ERROR;
    ::SQLFreeStmt(st.Reread, SQL_RESET_PARAMS);
    SQLRETURN rc = BindAll(st.Reread, params);
    if (Succeeded(rc))
        rc = ::SQLExecDirect(st.Reread, reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()));
    if (!Succeeded(rc)) return rc;
    rc = ::SQLFetch(st.Reread);
    if (!Succeeded(rc)) {
        // Gone meanwhile: the cursor keeps the values it has.
        ::SQLFreeStmt(st.Reread, SQL_CLOSE);
        return rc == SQL_NO_DATA ? SQL_SUCCESS : rc;
    }
    st.RereadOpen = true;
    SQLRETURN result = SQL_SUCCESS;
    if (fill) {
        for (std::size_t col = 1; col < st.Bindings.size() && col < st.RereadColumn.size(); ++col) {
            const ColumnBinding& b = st.Bindings[col];
            if (!b.Data || st.RereadColumn[col] == 0) continue;
            SQLRETURN r =
                ::SQLGetData(st.Reread, st.RereadColumn[col], b.CType, st.BoundData(b), b.Length, st.BoundIndicator(b));
            if (r == SQL_SUCCESS_WITH_INFO) result = r;
            if (!Succeeded(r)) return r;
        }
    }
    return result;
}

SQLRETURN FetchDriverRows(Statement& st, SQLLEN row, SQLULEN rows) {
    const bool next = row == st.DriverNext && rows == st.DriverNextSize;
    const SQLRETURN rc = next ? ::SQLFetchScroll(st.Handle, SQL_FETCH_NEXT, 0)
                              : ::SQLFetchScroll(st.Handle, SQL_FETCH_ABSOLUTE, row);
    st.DriverNext = Succeeded(rc) ? row + static_cast<SQLLEN>(rows) : -1;
    st.DriverNextSize = rows;
    return rc;
}

SQLRETURN AfterFetch(Statement& st, SQLRETURN rc, SQLSMALLINT orientation, SQLLEN offset) {
    st.Current.reset();
    st.OwnRowCount = false;
    if (st.RereadOpen || st.RereadStale) {
        CloseReread(st);
        st.RereadStale = false;
    }
    Track(st, orientation, offset, rc);
    st.OnRow = Succeeded(rc);
    if (!st.OnRow || (st.Changed.empty() && st.Deleted.empty()) || st.Row <= 0) return rc;

    if (st.Deleted.count(st.Row)) {
        if (st.RowStatus) st.RowStatus[0] = SQL_ROW_DELETED;
        return rc;
    }
    if (!st.Changed.count(st.Row)) return rc;
    if (st.RowStatus) st.RowStatus[0] = SQL_ROW_UPDATED;
    bool bound = false;
    for (const ColumnBinding& b : st.Bindings) bound = bound || b.Data;
    if (!bound) {
        st.RereadStale = true;  // read again when the application asks for a value
        return rc;
    }
    // The row as the library left it, into the bound buffers.
    std::vector<DiagRecord> diags;
    if (rc == SQL_SUCCESS_WITH_INFO) diags = detail::DriverDiagnostics(SQL_HANDLE_STMT, st.Handle);
    if (Succeeded(Describe(st))) {
        SQLRETURN r = Reread(st, true);
        if (r != SQL_SUCCESS && st.Reread) {
            for (DiagRecord& d : detail::DriverDiagnostics(SQL_HANDLE_STMT, st.Reread)) diags.push_back(std::move(d));
            // A failed re-read leaves the values the cursor fetched; say so.
            rc = SQL_SUCCESS_WITH_INFO;
        }
    }
    if (!diags.empty()) detail::PostDiagnostics(st.Handle, std::move(diags));
    return rc;
}

void ResetResult(Statement& st) {
    CloseReread(st);
    st.RereadStale = false;
    st.Executed = false;
    st.Described = false;
    st.Columns.clear();
    st.Row = kBeforeFirst;
    st.Count = -1;
    st.OnRow = false;
    DriverMoved(st);
    st.Current.reset();
    st.Changed.clear();
    st.Deleted.clear();
    st.Tables.clear();
    st.CursorTable.reset();
    st.OwnRowCount = false;
    ++st.Generation;
}

}  // namespace velora::odbc::cursorlib

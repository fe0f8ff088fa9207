// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Key range cursors: a scrollable cursor over a SELECT of one table with a
// primary key whose client memory does not grow with the table. The driver's
// static cursor on the application's statement holds a window of a few
// rowsets, "SELECT ... WHERE <order values> >= <the window's first row>
// ORDER BY <order, key> LIMIT <window>"; a fetch outside the window runs the
// next one. Rows are numbered across windows: the values of some rows are
// remembered with their numbers (anchors, bounded), and the first row of a
// window far from any anchor is found by counting from the nearest anchor or
// end of the result with OFFSET on a statement of the library's own. The
// number of rows is counted by the data source when it is asked for; until
// then a row reached from the last one is numbered down from kFromEnd, so
// that the last rows cost what the first ones do, whatever the table's size.
//
// Rows deleted through the library keep their numbers, as on the library's
// static cursors (the engine maps its rows around them); any write through the
// library drops the window, the anchors and the count, so the next fetch reads
// the table as it is then.
#include "CursorLibraryStateInternal.h"

#include "velora/odbc/SQLTokens.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>

namespace velora::odbc::cursorlib {

namespace {

constexpr std::size_t kMaxAnchors = 4096;

/// The number of the last row while the rows are not counted: a row reached
/// from the end is numbered down from here (far above any count a bookmark
/// can hold), and renumbered from the first row once the count is known.
constexpr SQLLEN kFromEnd = SQLLEN(1) << 40;

bool FromEnd(SQLLEN row) { return row > kFromEnd / 2; }

std::string Trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

/// Splits "SELECT ... FROM t [WHERE c] [ORDER BY o]" into its head, condition
/// and order; false for any other shape (grouping, limits, unions, locks).
bool SplitSelect(const std::string& text, const SqlDialect& dialect, std::string& head, std::string& filter,
                 std::string& order, std::string& error) {
    auto tokens = SQLTokens(text, dialect);
    std::size_t where = std::string::npos, orderAt = std::string::npos, orderBody = std::string::npos;
    std::size_t end = text.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const TSQLToken& t = tokens[i];
        if (t.Depth != 0 || t.Kind != TSQLTokenKind::Word) continue;
        if (IsSQLWord(text, t, "WHERE") && where == std::string::npos && orderAt == std::string::npos) {
            where = t.Begin;
        } else if (IsSQLWord(text, t, "ORDER") && i + 1 < tokens.size() && IsSQLWord(text, tokens[i + 1], "BY")) {
            orderAt = t.Begin;
            orderBody = tokens[i + 1].End;
        } else if (IsSQLWord(text, t, "GROUP") || IsSQLWord(text, t, "HAVING") || IsSQLWord(text, t, "LIMIT") ||
                   IsSQLWord(text, t, "UNION") || IsSQLWord(text, t, "OFFSET") || IsSQLWord(text, t, "FETCH") ||
                   IsSQLWord(text, t, "FOR") || IsSQLWord(text, t, "EXCEPT") || IsSQLWord(text, t, "INTERSECT")) {
            error = "a key range cursor reads a SELECT of one table with WHERE and ORDER BY only";
            return false;
        }
    }
    const std::size_t headEnd = std::min(where, orderAt);
    head = Trimmed(std::string_view(text).substr(0, std::min(headEnd, end)));
    filter = where == std::string::npos
                 ? std::string()
                 : Trimmed(std::string_view(text).substr(where + 5, std::min(orderAt, end) - (where + 5)));
    order = orderAt == std::string::npos ? std::string() : Trimmed(std::string_view(text).substr(orderBody));
    return true;
}

/// The result column an ORDER BY term names; -1 when it is no plain column.
int ColumnOfTerm(const Statement& st, const TableInfo& t, std::string_view term) {
    std::string name(term);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && name.find_first_of("\"`[") == std::string::npos) name = name.substr(dot + 1);
    name = UnquotedName(name);
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int n = std::stoi(name);
        return n >= 1 && static_cast<std::size_t>(n) <= st.Columns.size() ? n - 1 : -1;
    }
    for (std::size_t i = 0; i < st.Columns.size(); ++i) {
        const std::string& own = t.ColumnName[i].empty() ? st.Columns[i].BaseName : t.ColumnName[i];
        if (SameName(own, name) || SameName(st.Columns[i].Label, name)) return static_cast<int>(i);
    }
    return -1;
}

/// Reads the ordering: each term a column, ASC or DESC, the key appended.
bool ReadOrder(Statement& st, const TableInfo& t, const std::string& order, std::string& error) {
    KeyRangeState& kr = *st.KeyRange;
    const Connection& c = *st.Conn;
    kr.Order.clear();
    auto add = [&](int column, bool desc) {
        for (const OrderTerm& o : kr.Order)
            if (o.Column == column) return;
        const std::string& own = t.ColumnName[static_cast<std::size_t>(column)];
        kr.Order.push_back({column, c.Quote(own.empty() ? st.Columns[static_cast<std::size_t>(column)].BaseName : own),
                            desc});
    };
    if (!order.empty()) {
        auto tokens = SQLTokens(order, c.Dialect);
        std::size_t termBegin = 0;
        for (std::size_t i = 0; i <= tokens.size(); ++i) {
            const bool endOfTerm = i == tokens.size() || (tokens[i].Depth == 0 && IsSQLPunct(order, tokens[i], ','));
            if (!endOfTerm) continue;
            const std::size_t termEnd = i == tokens.size() ? order.size() : tokens[i].Begin;
            std::string term = Trimmed(std::string_view(order).substr(termBegin, termEnd - termBegin));
            termBegin = i == tokens.size() ? order.size() : tokens[i].End;
            bool desc = false;
            std::string upper = UpperCase(term);
            auto endsWith = [&](const std::string& w) {
                return upper.size() > w.size() && upper.compare(upper.size() - w.size(), w.size(), w) == 0 &&
                       std::isspace(static_cast<unsigned char>(upper[upper.size() - w.size() - 1]));
            };
            if (endsWith("DESC")) {
                desc = true;
                term = Trimmed(term.substr(0, term.size() - 4));
            } else if (endsWith("ASC")) {
                term = Trimmed(term.substr(0, term.size() - 3));
            }
            const int column = ColumnOfTerm(st, t, term);
            if (column < 0 || st.Columns[static_cast<std::size_t>(column)].Long) {
                error = "a key range cursor orders by columns of the table only, not by \"" + term + "\"";
                return false;
            }
            add(column, desc);
        }
    }
    for (int k : t.Identity) add(k, false);
    // A primary key holds no NULL (SQLite lets one into a key that is not
    // an INTEGER PRIMARY KEY), so its terms need no NULL cases.
    const bool keyNotNull = t.ByKey && c.Dbms.find("SQLite") == std::string::npos;
    for (OrderTerm& o : kr.Order)
        o.NotNull = keyNotNull && std::find(t.Identity.begin(), t.Identity.end(), o.Column) != t.Identity.end();
    return true;
}

/// Builds the condition "the order's values come after `v`" (or at it, when
/// `orEqual`), in the order's direction or against it (`reverse`), binding
/// the values into `params`.
std::string AfterCondition(const KeyRangeState& kr, const RowImage& v, bool orEqual, bool reverse,
                           std::vector<ParamBinding>& params, std::deque<SQLLEN>& lengths) {
    auto bind = [&](const CapturedValue& x) {
        lengths.push_back(0);
        params.push_back(BindingFor(x, lengths.back()));
    };
    std::string out;
    const std::size_t n = kr.Order.size();
    // The first term bounded on its own ("a >= ?"), so that the data source
    // reads its index from there rather than every row the terms' OR could
    // match (SQLite and PostgreSQL sort the whole rest of the table for an
    // OR); one term is that bound alone.
    std::string lead;
    if (n > 0 && !v[0].Null) {
        const OrderTerm& o = kr.Order[0];
        const bool greater = o.Desc == reverse;
        const bool nullsAfter = greater == kr.NullsHigh && !o.NotNull;
        const bool strict = n == 1 && !orEqual;
        lead = o.Name + (greater ? (strict ? " > ?" : " >= ?") : (strict ? " < ?" : " <= ?"));
        bind(v[0]);
        if (nullsAfter) lead = "(" + lead + " OR " + o.Name + " IS NULL)";
        if (n == 1) return lead;
    }
    for (std::size_t i = 0; i <= n; ++i) {
        if (i == n && !orEqual) break;
        std::string conj;
        for (std::size_t j = 0; j < i; ++j) {
            const OrderTerm& o = kr.Order[j];
            const CapturedValue& x = v[j];
            if (!conj.empty()) conj += " AND ";
            if (x.Null) {
                conj += o.Name + " IS NULL";
            } else {
                conj += o.Name + " = ?";
                bind(x);
            }
        }
        if (i < n) {
            const OrderTerm& o = kr.Order[i];
            const CapturedValue& x = v[i];
            // "After" is greater for an ascending term read forward; NULL
            // sorts above every value where NullsHigh, below otherwise.
            const bool greater = o.Desc == reverse;
            const bool nullsAfter = greater == kr.NullsHigh && !o.NotNull;
            std::string term;
            if (x.Null) {
                term = nullsAfter ? "1=0" : o.Name + " IS NOT NULL";
            } else {
                term = o.Name + (greater ? " > ?" : " < ?");
                bind(x);
                if (nullsAfter) term = "(" + term + " OR " + o.Name + " IS NULL)";
            }
            conj += (conj.empty() ? "" : " AND ") + term;
        }
        if (conj.empty()) conj = "1=1";
        out += (out.empty() ? "(" : " OR (") + conj + ")";
    }
    if (out.empty()) return "1=0";
    return lead.empty() ? "(" + out + ")" : "(" + lead + " AND (" + out + "))";
}

std::string OrderBy(const KeyRangeState& kr, bool reverse) {
    std::string out;
    for (const OrderTerm& o : kr.Order) {
        out += (out.empty() ? "" : ", ") + o.Name;
        if (o.Desc != reverse) out += " DESC";
    }
    return out;
}

std::string Where(const KeyRangeState& kr, const std::string& condition) {
    if (kr.Filter.empty()) return condition.empty() ? std::string() : " WHERE " + condition;
    return " WHERE (" + kr.Filter + ")" + (condition.empty() ? std::string() : " AND " + condition);
}

SQLRETURN ExecWith(SQLHSTMT h, const std::string& sql, const std::vector<ParamBinding>& params) {
    ::SQLFreeStmt(h, SQL_CLOSE);
    ::SQLFreeStmt(h, SQL_RESET_PARAMS);
    SQLRETURN rc = BindAll(h, params);
    if (!Succeeded(rc)) return rc;
    std::string text = sql;
    return ::SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
}

/// Runs a window's text on the application's statement, prepared once while
/// the windows keep the same text (a series of jumps, a long scan): only the
/// parameters change, and the data source need not parse and plan it again.
SQLRETURN RunPrepared(Statement& st, const std::string& sql, const std::vector<ParamBinding>& params) {
    KeyRangeState& kr = *st.KeyRange;
    SQLHSTMT h = st.Handle;
    ::SQLFreeStmt(h, SQL_CLOSE);
    ::SQLFreeStmt(h, SQL_RESET_PARAMS);
    if (kr.Prepared != sql) {
        kr.Prepared.clear();
        std::string text = sql;
        SQLRETURN rc = ::SQLPrepare(h, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
        if (!Succeeded(rc)) return rc;
        kr.Prepared = sql;
    }
    SQLRETURN rc = BindAll(h, params);
    if (!Succeeded(rc)) return rc;
    return ::SQLExecute(h);
}

/// Live rows before `row` (a row number of the application's): rows deleted
/// through the library keep their numbers but are gone from the table.
SQLLEN LiveOf(const Statement& st, SQLLEN row) {
    SQLLEN gone = 0;
    for (SQLLEN d : st.Deleted)
        if (d < row) ++gone;
    return row - gone;
}

/// Remembers the order's values of live row `row`, forgetting the anchor
/// farthest from it when there are too many.
void Remember(KeyRangeState& kr, SQLLEN row, const RowImage& values) {
    if (kr.Anchors.size() >= kMaxAnchors && !kr.Anchors.count(row)) {
        auto first = kr.Anchors.begin();
        auto last = std::prev(kr.Anchors.end());
        kr.Anchors.erase(row - first->first > last->first - row ? first : last);
    }
    kr.Anchors[row] = values;
}

/// A value the application holds, as CaptureColumn would have read it from
/// the driver (the same C type and bytes), so that it binds with the same
/// meaning; Known false when it cannot be had exactly.
CapturedValue AsCaptured(const TKeyRangeValue& x, const ColumnInfo& info) {
    CapturedValue v;
    v.CType = CaptureType(info.SqlType);
    v.SqlType = ParamType(info.SqlType);
    v.Size = info.Size;
    v.Digits = info.Digits;
    if (!x.Known || info.Long) return v;
    if (x.Null) {
        v.Known = v.Null = true;
        return v;
    }
    auto fixed = [&](auto value) {
        v.Bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
        v.Known = true;
    };
    auto read = [&](auto sample) {
        std::memcpy(&sample, x.Data, sizeof sample);
        return sample;
    };
    if (!x.Data) return v;
    switch (v.CType) {
        case SQL_C_SBIGINT:
            switch (x.CType) {
                case SQL_C_SBIGINT:
                    fixed(static_cast<SQLBIGINT>(read(SQLBIGINT{})));
                    break;
                case SQL_C_SLONG:
                case SQL_C_LONG:
                    fixed(static_cast<SQLBIGINT>(read(SQLINTEGER{})));
                    break;
                case SQL_C_SSHORT:
                case SQL_C_SHORT:
                    fixed(static_cast<SQLBIGINT>(read(SQLSMALLINT{})));
                    break;
                case SQL_C_STINYINT:
                case SQL_C_TINYINT:
                    fixed(static_cast<SQLBIGINT>(read(SQLSCHAR{})));
                    break;
                case SQL_C_ULONG:
                    fixed(static_cast<SQLBIGINT>(read(SQLUINTEGER{})));
                    break;
                case SQL_C_USHORT:
                    fixed(static_cast<SQLBIGINT>(read(SQLUSMALLINT{})));
                    break;
                case SQL_C_UTINYINT:
                    fixed(static_cast<SQLBIGINT>(read(SQLCHAR{})));
                    break;
                default:
                    break;
            }
            break;
        case SQL_C_DOUBLE:
            if (x.CType == SQL_C_DOUBLE) fixed(read(SQLDOUBLE{}));
            if (x.CType == SQL_C_FLOAT) fixed(static_cast<SQLDOUBLE>(read(SQLREAL{})));
            break;
        case SQL_C_BIT:
            if (x.CType == SQL_C_BIT) fixed(read(SQLCHAR{}));
            break;
        case SQL_C_CHAR:
        case SQL_C_BINARY:
            if (x.CType == v.CType && x.Length >= 0) {
                v.Bytes.assign(static_cast<const char*>(x.Data), static_cast<std::size_t>(x.Length));
                v.Known = true;
            }
            break;
        default:
            break;
    }
    return v;
}

/// The order's values of live row `row`, from the nearest anchor or end.
std::optional<RowImage> ValuesAt(Statement& st, SQLLEN row) {
    KeyRangeState& kr = *st.KeyRange;
    auto found = kr.Anchors.find(row);
    if (found != kr.Anchors.end()) return found->second;
    // Candidates: from the first row, from an anchor before or after, from the last row.
    const RowImage* from = nullptr;
    bool reverse = false;
    SQLLEN skip = row - 1;
    auto after = kr.Anchors.upper_bound(row);
    if (after != kr.Anchors.begin()) {
        auto before = std::prev(after);
        if (row - before->first < skip) {
            skip = row - before->first;
            from = &before->second;
        }
    }
    if (after != kr.Anchors.end() && after->first - row < skip) {
        skip = after->first - row;
        from = &after->second;
        reverse = true;
    }
    const SQLLEN last = FromEnd(row) ? kFromEnd : kr.LiveCount;
    if (last >= 0) {
        if (row > last) return std::nullopt;
        if (last - row < skip) {
            skip = last - row;
            from = nullptr;
            reverse = true;
        }
    }
    std::vector<ParamBinding> params;
    std::deque<SQLLEN> lengths;
    std::string list;
    for (const OrderTerm& o : kr.Order) list += (list.empty() ? "" : ", ") + o.Name;
    std::string condition = from ? AfterCondition(kr, *from, true, reverse, params, lengths) : std::string();
    std::string sql = "SELECT " + list + " FROM " + kr.Table + Where(kr, condition) + " ORDER BY " +
                      OrderBy(kr, reverse) + " LIMIT 1 OFFSET " + std::to_string(skip);
    SQLHSTMT h = AllocWork(*st.Conn);
    if (!h) return std::nullopt;
    ++kr.DriverFetches;
    std::optional<RowImage> out;
    if (Succeeded(ExecWith(h, sql, params)) && Succeeded(::SQLFetch(h))) {
        RowImage v(kr.Order.size());
        bool known = true;
        for (std::size_t i = 0; i < kr.Order.size(); ++i) {
            v[i] = CaptureColumn(h, static_cast<SQLUSMALLINT>(i + 1),
                                 st.Columns[static_cast<std::size_t>(kr.Order[i].Column)]);
            known = known && v[i].Known;
        }
        if (known) out = std::move(v);
    }
    FreeWork(h);
    if (out) Remember(kr, row, *out);
    return out;
}

/// The order's values of live row `row`, which the window open on the
/// statement holds: its row fetched alone and unbound, no statement run (a
/// scan's next window begins inside the one before). Remembered as an anchor.
std::optional<RowImage> ValuesInWindow(Statement& st, SQLLEN row) {
    KeyRangeState& kr = *st.KeyRange;
    SQLHSTMT h = st.Handle;
    const SQLULEN arraySize = std::max<SQLULEN>(st.RowArraySize, 1);
    auto setArray = [&](SQLULEN n) {
        ::SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(n), SQL_IS_UINTEGER);
    };
    ::SQLFreeStmt(h, SQL_UNBIND);
    if (arraySize != 1) setArray(1);
    DriverMoved(st);
    std::optional<RowImage> out;
    if (Succeeded(::SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, row - kr.WinBase))) {
        // Columns in ascending order, as every driver lets SQLGetData read them.
        std::vector<std::size_t> terms(kr.Order.size());
        for (std::size_t i = 0; i < terms.size(); ++i) terms[i] = i;
        std::sort(terms.begin(), terms.end(),
                  [&](std::size_t a, std::size_t b) { return kr.Order[a].Column < kr.Order[b].Column; });
        RowImage v(kr.Order.size());
        bool known = true;
        for (std::size_t i : terms) {
            const auto column = static_cast<std::size_t>(kr.Order[i].Column);
            v[i] = CaptureColumn(h, static_cast<SQLUSMALLINT>(column + 1), st.Columns[column]);
            known = known && v[i].Known;
        }
        if (known) out = std::move(v);
    }
    if (arraySize != 1) setArray(arraySize);
    Rebind(st);
    if (out) Remember(kr, row, *out);
    return out;
}

/// Runs the window that begins at live row `first` (1-based). SQL_NO_DATA,
/// running nothing, when `first` is counted from the end and lies before the
/// first row (the caller counts the rows and numbers from the first).
SQLRETURN RunWindow(Statement& st, SQLLEN first, SQLLEN size) {
    KeyRangeState& kr = *st.KeyRange;
    std::vector<ParamBinding> params;
    std::deque<SQLLEN> lengths;
    std::string condition;
    std::optional<RowImage> v;  // bound as parameters until the window has run
    auto before = kr.Anchors.find(first - 1);
    if (first > 1 && !kr.Anchors.count(first) && before != kr.Anchors.end()) {
        // The row before is known: the window begins after it.
        v = before->second;
        condition = AfterCondition(kr, *v, false, false, params, lengths);
    } else if (first > 1) {
        v = ValuesAt(st, first);
        if (!v && FromEnd(first)) return SQL_NO_DATA;
        condition = v ? AfterCondition(kr, *v, true, false, params, lengths) : "1=0";
    }
    std::string sql =
        kr.Head + Where(kr, condition) + " ORDER BY " + OrderBy(kr, false) + " LIMIT " + std::to_string(size);
    ++kr.DriverFetches;
    DriverMoved(st);
    SQLRETURN rc = RunPrepared(st, sql, params);
    ::SQLFreeStmt(st.Handle, SQL_RESET_PARAMS);
    if (!Succeeded(rc)) {
        kr.WinBase = -1;
        return rc;
    }
    kr.WinBase = first - 1;
    kr.WinSize = size;
    return rc;
}

SQLLEN WindowSize(const Statement& st) {
    return std::max<SQLLEN>(64, 3 * static_cast<SQLLEN>(std::max<SQLULEN>(st.RowArraySize, 1)));
}

/// A window that continues the one before (a scan) is twice its size, up to
/// this many rows: a scan runs few statements, and memory stays bounded.
constexpr SQLLEN kMaxScanWindow = 4096;
/// Rows of the window a jump to a bookmarked row reads (at least a rowset).
constexpr SQLLEN kSeekWindow = 16;

/// Once the rows are counted, the rows numbered down from kFromEnd (anchors,
/// the window, the position) get their numbers from the first row.
void NumberFromFirst(Statement& st) {
    KeyRangeState& kr = *st.KeyRange;
    const SQLLEN shift = kr.LiveCount - kFromEnd;
    auto moved = [&](SQLLEN& row) {
        if (FromEnd(row)) row += shift;
    };
    std::map<SQLLEN, RowImage> anchors;
    for (auto& [row, values] : kr.Anchors) {
        SQLLEN r = row;
        moved(r);
        if (r >= 1) anchors.emplace(r, std::move(values));
    }
    kr.Anchors = std::move(anchors);
    moved(kr.WinBase);
    if (kr.WinBase < 0) kr.WinBase = -1;
    moved(kr.Start);
    moved(kr.Sought);
    moved(st.Row);
}

}  // namespace

SQLRETURN KeyRangeExecute(Statement& st) {
    KeyRangeState& kr = *st.KeyRange;
    Connection& c = *st.Conn;
    SQLHSTMT h = st.Handle;
    kr = KeyRangeState{};
    for (auto& [n, p] : st.Params)
        if (p.Data || p.Indicator) return Raise(h, "HY000", "A key range cursor takes no parameters");
    std::string order, error;
    if (!SplitSelect(st.Text, c.Dialect, kr.Head, kr.Filter, order, error)) return Raise(h, "HY000", error);
    const std::optional<TableRef>& ref = CursorTableOf(st);
    if (!ref) return Raise(h, "HY000", "A key range cursor reads one table: \"" + st.Text + "\" reads none or several");
    kr.Table = ref->Text;
    // The columns, without reading a row.
    std::string probe = kr.Head + " WHERE 1=0";
    SQLRETURN rc = ::SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(probe.data()), static_cast<SQLINTEGER>(probe.size()));
    if (!Succeeded(rc)) return rc;
    rc = Describe(st);
    ::SQLFreeStmt(h, SQL_CLOSE);
    if (!Succeeded(rc)) return rc;
    TableInfo* t = TableFor(st, *ref, error);
    if (!t) return Raise(h, "HY000", "A key range cursor cannot read " + kr.Table + ": " + error);
    if (!t->ByKey)
        return Raise(h, "HY000", "The table " + kr.Table + " has no primary key: a key range cursor needs one");
    if (!ReadOrder(st, *t, order, error)) return Raise(h, "HY000", error);
    kr.NullsHigh = c.Dbms.find("PostgreSQL") != std::string::npos;
    kr.Ready = true;
    rc = RunWindow(st, 1, WindowSize(st));
    st.Executed = Succeeded(rc);
    return rc;
}

SQLRETURN KeyRangeFetch(Statement& st, SQLSMALLINT orientation, SQLLEN offset) {
    KeyRangeState& kr = *st.KeyRange;
    if (!st.Executed || !kr.Ready) return Raise(st.Handle, "24000", "Invalid cursor state: no result set");
    const auto size = static_cast<SQLLEN>(std::max<SQLULEN>(st.RowArraySize, 1));
    auto count = [&]() -> SQLLEN {
        SQLLEN n = -1;
        return Succeeded(KeyRangeRowCount(st, &n)) ? n : -1;
    };
    // The last row's number: counted from the end until the rows are counted
    // (rows deleted through the library keep their numbers: then counted).
    auto last = [&]() -> SQLLEN { return kr.LiveCount < 0 && st.Deleted.empty() ? kFromEnd : count(); };
    // The first row of the rowset asked for, counted from 1; below 1: before the first row.
    SQLLEN first = 0;
    bool afterLast = false;
    switch (orientation) {
        case SQL_FETCH_NEXT:
            if (kr.Start < 0) afterLast = true;
            first = kr.Start == 0 ? 1 : kr.Start + static_cast<SQLLEN>(kr.PrevSize);
            if (FromEnd(first) && first > kFromEnd) afterLast = true;
            break;
        case SQL_FETCH_PRIOR:
            if (kr.Start == 0 || kr.Start == 1) {
                first = 0;
            } else {
                SQLLEN from = kr.Start < 0 ? last() + 1 : kr.Start;
                first = std::max<SQLLEN>(1, from - size);
            }
            break;
        case SQL_FETCH_FIRST:
            first = 1;
            break;
        case SQL_FETCH_LAST: {
            SQLLEN n = last();
            if (n < 0) return Raise(st.Handle, "HY000", "The rows of a key range cursor cannot be counted");
            first = n == 0 ? 0 : std::max<SQLLEN>(1, n - size + 1);
            break;
        }
        case SQL_FETCH_ABSOLUTE:
            first = offset >= 0 ? offset : last() + offset + 1;
            if (offset > 0) afterLast = false;
            break;
        case SQL_FETCH_RELATIVE:
            if (kr.Start < 0)
                first = last() + 1 + offset;
            else
                first = (kr.Start == 0 && offset > 0 ? 0 : kr.Start) + offset;
            break;
        default:
            return Raise(st.Handle, "HYC00", "Optional feature not implemented: fetch orientation");
    }
    if (afterLast) return AfterFetch(st, SQL_NO_DATA, SQL_FETCH_ABSOLUTE, 1);
    if (first < 1) {
        kr.Start = 0;
        return AfterFetch(st, SQL_NO_DATA, SQL_FETCH_ABSOLUTE, 0);
    }
    const SQLLEN live = LiveOf(st, first);
    if (kr.WinBase < 0 || live <= kr.WinBase || live + size - 1 > kr.WinBase + kr.WinSize) {
        SQLLEN w = WindowSize(st);
        // Going back, the window ends with the rowset asked for.
        const bool back = kr.WinBase >= 0 && live <= kr.WinBase;
        const bool scan = kr.WinBase >= 0 && (back ? live + size - 1 >= kr.WinBase - w && live + size - 1 <= kr.WinBase
                                                   : live > kr.WinBase + kr.WinSize - size &&
                                                         live <= kr.WinBase + kr.WinSize + 1);
        if (scan) w = std::max(w, std::min(2 * kr.WinSize, kMaxScanWindow));
        // A jump reads a short window at the row sought; going on from it is a scan.
        if (!back && live == kr.Sought) w = std::max(kSeekWindow, size);
        if (!back && kr.WinBase >= 0 && live <= kr.WinBase + kr.WinSize && !kr.Anchors.count(live))
            ValuesInWindow(st, live);
        SQLRETURN rc = RunWindow(st, back ? std::max<SQLLEN>(1, live + size - w) : live, w);
        kr.Sought = -1;
        if (rc == SQL_NO_DATA) {
            // Walking back from the end met the first row: the rows are
            // counted (no more than were walked over), and the same fetch
            // runs again with every row numbered from the first.
            SQLLEN n = -1;
            rc = KeyRangeRowCount(st, &n);
            return Succeeded(rc) ? KeyRangeFetch(st, orientation, offset) : rc;
        }
        if (!Succeeded(rc)) return rc;
    }
    SQLRETURN rc = FetchDriverRows(st, live - kr.WinBase, static_cast<SQLULEN>(size));
    if (rc == SQL_NO_DATA) {
        kr.Start = -1;
        return AfterFetch(st, rc, SQL_FETCH_ABSOLUTE, 1);
    }
    if (Succeeded(rc)) {
        kr.Start = first;
        kr.PrevSize = static_cast<SQLULEN>(size);
    }
    return AfterFetch(st, rc, SQL_FETCH_ABSOLUTE, first);
}

SQLLEN KeyRangeDriverRow(Statement& st, SQLLEN row) {
    KeyRangeState& kr = *st.KeyRange;
    if (kr.WinBase < 0 || row <= 0) return 0;
    const SQLLEN live = LiveOf(st, row);
    if (live <= kr.WinBase || live > kr.WinBase + kr.WinSize) return 0;
    return live - kr.WinBase;
}

SQLRETURN KeyRangeRowCount(Statement& st, SQLLEN* count) {
    KeyRangeState& kr = *st.KeyRange;
    if (!count) return Raise(st.Handle, "HY009", "Invalid use of null pointer");
    if (!kr.Ready) {
        *count = -1;
        return SQL_SUCCESS;
    }
    if (kr.LiveCount < 0) {
        SQLHSTMT h = AllocWork(*st.Conn);
        if (!h) return Raise(st.Handle, "HY001", "Memory allocation error");
        std::string sql = "SELECT COUNT(*) FROM " + kr.Table + Where(kr, {});
        ++kr.DriverFetches;
        SQLRETURN rc = ExecWith(h, sql, {});
        SQLBIGINT n = -1;
        SQLLEN ind = 0;
        if (Succeeded(rc)) rc = ::SQLFetch(h);
        if (Succeeded(rc)) rc = ::SQLGetData(h, 1, SQL_C_SBIGINT, &n, 0, &ind);
        if (!Succeeded(rc)) {
            ForwardDiagnostics(SQL_HANDLE_STMT, h, st.Handle);
            FreeWork(h);
            return SQL_ERROR;
        }
        FreeWork(h);
        kr.LiveCount = static_cast<SQLLEN>(n);
        NumberFromFirst(st);
    }
    *count = kr.LiveCount + static_cast<SQLLEN>(st.Deleted.size());
    st.Count = *count;
    return SQL_SUCCESS;
}

SQLLEN KeyRangeKnownRows(const Statement& st) {
    const KeyRangeState& kr = *st.KeyRange;
    return kr.Ready && kr.LiveCount >= 0 ? kr.LiveCount + static_cast<SQLLEN>(st.Deleted.size()) : -1;
}

void KeyRangeRowValues(Statement& st, SQLLEN row, const TKeyRangeValue* values, std::size_t count) {
    KeyRangeState& kr = *st.KeyRange;
    if (row < 0) {  // counted from the last row, as an absolute fetch
        const SQLLEN last = kr.LiveCount >= 0    ? kr.LiveCount + static_cast<SQLLEN>(st.Deleted.size())
                            : st.Deleted.empty() ? kFromEnd
                                                 : -1;
        if (last < 0) return;
        row += last + 1;
    }
    if (!kr.Ready || row < 1 || !values) return;
    RowImage v(kr.Order.size());
    for (std::size_t i = 0; i < kr.Order.size(); ++i) {
        const auto column = static_cast<std::size_t>(kr.Order[i].Column);
        if (column >= count || column >= st.Columns.size()) return;
        v[i] = AsCaptured(values[column], st.Columns[column]);
        if (!v[i].Known) return;  // found by counting, as before
    }
    const SQLLEN live = LiveOf(st, row);
    auto same = [](const RowImage& a, const RowImage& b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].Null != b[i].Null || a[i].Bytes != b[i].Bytes) return false;
        return a.size() == b.size();
    };
    auto known = kr.Anchors.find(live);
    if (known != kr.Anchors.end() && same(known->second, v) && kr.WinBase == live - 1) return;
    // The row is sought by its values: a window that begins at it, whatever
    // the windows and anchors before said of its number.
    Remember(kr, live, v);
    kr.WinBase = -1;
    kr.Sought = live;
}

void KeyRangeWritten(Statement& st) {
    if (!st.KeyRange) return;
    KeyRangeState& kr = *st.KeyRange;
    kr.WinBase = -1;
    kr.Anchors.clear();
    kr.LiveCount = -1;
    st.Count = -1;
}

}  // namespace velora::odbc::cursorlib

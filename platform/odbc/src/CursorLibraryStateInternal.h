// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What the cursor library keeps per connection and per statement, and the
// helpers its source files share. A connection holds the data source facts
// the library needs (quote character, identifier case, dialect), the cursor
// names of its statements, and one mutex that every call on the connection or
// one of its statements holds while it runs. A statement holds what the
// application bound, where its cursor stands, the image of the positioned
// row, and the rows the library changed or deleted since the cursor opened.
// This file is not part of the Velora API.
#pragma once

#include "CursorLibraryInternal.h"
#include "PositionedSQLInternal.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace velora::odbc::cursorlib {

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

/// Row numbers of the cursor position besides 1, 2, ...
inline constexpr SQLLEN kBeforeFirst = 0;
inline constexpr SQLLEN kAfterLast = -1;
inline constexpr SQLLEN kUnknownRow = -2;

/// A column as the application bound it with SQLBindCol.
struct ColumnBinding {
    SQLSMALLINT CType = 0;
    SQLPOINTER Data = nullptr;
    SQLLEN Length = 0;
    SQLLEN* Indicator = nullptr;
};

/// A parameter as bound with SQLBindParameter (or as the library binds one).
struct ParamBinding {
    SQLSMALLINT IoType = SQL_PARAM_INPUT;
    SQLSMALLINT CType = SQL_C_CHAR;
    SQLSMALLINT SqlType = SQL_VARCHAR;
    SQLULEN Size = 0;
    SQLSMALLINT Digits = 0;
    SQLPOINTER Data = nullptr;
    SQLLEN Length = 0;
    SQLLEN* Indicator = nullptr;
};

/// One result column of a cursor.
struct ColumnInfo {
    std::string Label;      ///< SQL_DESC_NAME
    std::string BaseName;   ///< SQL_DESC_BASE_COLUMN_NAME, or the label
    std::string BaseTable;  ///< SQL_DESC_BASE_TABLE_NAME (may be empty)
    SQLSMALLINT SqlType = 0;
    SQLULEN Size = 0;
    SQLSMALLINT Digits = 0;
    bool Long = false;  ///< long data: never part of a row's identity
};

/// A column value captured from a row in a form that binds again as a
/// parameter with the same meaning.
struct CapturedValue {
    bool Known = false;
    bool Null = false;
    SQLSMALLINT CType = 0;
    SQLSMALLINT SqlType = 0;
    SQLULEN Size = 0;
    SQLSMALLINT Digits = 0;
    std::string Bytes;
};

/// The non-long values of one row, one entry per result column.
using RowImage = std::vector<CapturedValue>;

/// How the rows of one table are found from a cursor's rows.
struct TableInfo {
    TableRef Ref;
    std::string Catalog, Schema, Name;    ///< arguments for the catalogue functions
    std::vector<std::string> ColumnName;  ///< per result column: the table's name for it, empty when not the table's
    std::vector<int> Identity;            ///< result columns (0-based) that identify a row
    bool ByKey = false;                   ///< Identity is the primary key
};

/// A row the library updated: its table and what it holds now.
struct ChangedRow {
    std::string Table;
    RowImage Image;
};

struct Connection;
class WriteOperation;

/// One term of a key range cursor's order: a column of the result.
struct OrderTerm {
    int Column = -1;       ///< result column (0-based)
    std::string Name;      ///< the column as written into SQL (quoted where needed)
    bool Desc = false;
    bool NotNull = false;  ///< a column of the primary key where the data source keeps NULL out of one
};

/// A key range cursor: the driver's static cursor holds a window of the
/// result, fetched by the order's values; rows are numbered across windows.
struct KeyRangeState {
    bool Ready = false;             ///< the text is read and the key found for this execution
    std::string Head;               ///< SELECT ... FROM <table>
    std::string Filter;             ///< the condition of the text (may be empty)
    std::string Table;              ///< the table as written
    std::vector<OrderTerm> Order;   ///< the text's order, the key appended: a total order
    bool NullsHigh = false;         ///< NULL sorts after every value (PostgreSQL)
    /// Live row numbers: from 1 at the first row; or, for rows reached from the
    /// last one while the rows are not counted, down from kFromEnd (the last
    /// row), renumbered from the first once the count is known.
    SQLLEN WinBase = -1;            ///< live rows before the window's first row; -1: no window
    SQLLEN WinSize = 0;             ///< rows the window asked for
    SQLLEN Start = 0;               ///< first row of the current rowset; 0 before the first, -1 after the last
    SQLULEN PrevSize = 1;           ///< rows of the last rowset fetched
    SQLLEN LiveCount = -1;          ///< rows of the table in the result, once counted
    SQLLEN Sought = -1;             ///< live row a jump seeks by its values (a short window)
    std::string Prepared;           ///< the window text prepared on the statement (empty: none)
    std::map<SQLLEN, RowImage> Anchors;  ///< live row number -> its values of Order
    unsigned long DriverFetches = 0;     ///< driver calls that ran a window or read a key (for tests)
};

/// The library's state of one statement handle.
struct Statement {
    SQLHSTMT Handle = nullptr;
    Connection* Conn = nullptr;
    std::string CursorName;  ///< empty until set or asked for

    // Attributes as the application asked for them.
    SQLULEN CursorType = SQL_CURSOR_FORWARD_ONLY;  ///< the type the cursor has
    SQLULEN Concurrency = SQL_CONCUR_READ_ONLY;
    SQLULEN RowArraySize = 1;
    SQLULEN* RowBindOffset = nullptr;
    SQLUSMALLINT* RowStatus = nullptr;
    SQLULEN* ParamBindOffset = nullptr;
    SQLULEN ParamsetSize = 1;

    std::vector<ColumnBinding> Bindings;          ///< by column number (0: bookmark, unused)
    std::map<SQLUSMALLINT, ParamBinding> Params;  ///< by parameter number

    std::string Text;                               ///< the statement text last given to the driver
    std::optional<PositionedStatement> Positioned;  ///< a prepared positioned statement

    // The result and where the cursor stands.
    bool Executed = false;
    /// The driver's row (1-based) where its next rowset begins, and the
    /// rowset size it was fetched with, after a fetch of FetchDriverRows;
    /// -1 when anything else moved the driver's cursor (DriverMoved).
    SQLLEN DriverNext = -1;
    SQLULEN DriverNextSize = 0;
    bool Described = false;
    std::vector<ColumnInfo> Columns;
    SQLLEN Row = kBeforeFirst;        ///< 1-based number of the current row, or one of the k... values
    SQLLEN Count = -1;                ///< rows in the result once known
    bool OnRow = false;               ///< the last fetch delivered a row
    std::optional<RowImage> Current;  ///< identity image of the current row, once captured

    // Rows written through the library since the cursor opened.
    std::unordered_map<SQLLEN, ChangedRow> Changed;
    std::unordered_set<SQLLEN> Deleted;
    std::map<std::string, TableInfo> Tables;
    std::optional<std::optional<TableRef>> CursorTable;

    // The current values of a changed current row, read on a statement of the library's own.
    SQLHSTMT Reread = nullptr;
    bool RereadOpen = false;
    bool RereadStale = false;
    std::vector<SQLUSMALLINT> RereadColumn;  ///< by result column number: column of the re-read, 0 when none

    unsigned long Generation = 0;             ///< grows with every new result
    std::unique_ptr<WriteOperation> Pending;  ///< a write waiting for data at execution
    std::unique_ptr<KeyRangeState> KeyRange;  ///< set: the cursor moves through key ranges
    bool OwnRowCount = false;                 ///< SQLRowCount answers RowsAffected
    SQLLEN RowsAffected = -1;

    Statement();
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /// Address of a bound column's data / indicator for row 1, bind offset applied.
    SQLPOINTER BoundData(const ColumnBinding& b) const;
    SQLLEN* BoundIndicator(const ColumnBinding& b) const;
};

/// The library's state of one connection.
struct Connection {
    SQLHDBC Dbc = nullptr;
    std::mutex Mu;

    std::string Dbms;
    std::string QuoteChar = "\"";
    SQLUSMALLINT IdentifierCase = SQL_IC_MIXED;
    SQLUINTEGER SchemaUsage = 0;
    SqlDialect Dialect;
    bool ForUpdate = true;           ///< SELECT ... FOR UPDATE is understood
    bool CountsChangedRows = false;  ///< an UPDATE that stores equal values reports 0 rows (MariaDB)

    std::unordered_map<SQLHSTMT, std::unique_ptr<Statement>> Statements;
    std::map<std::string, Statement*> Names;  ///< cursor names in upper case
    unsigned long NextName = 1;

    std::string Quote(const std::string& name) const { return QuoteIdentifier(name, QuoteChar, IdentifierCase); }
};

// --- Shared helpers (CursorLibrary.cpp) --------------------------------------

/// Posts one diagnostic record for a handle and answers `rc`.
SQLRETURN Raise(SQLHANDLE handle, const char* state, const std::string& text, SQLRETURN rc = SQL_ERROR);
/// Posts the driver's records of `from` for `to` (keeping any already collected first).
void ForwardDiagnostics(SQLSMALLINT fromType, SQLHANDLE from, SQLHANDLE to);
/// An internal statement on the connection (not seen by the boundary).
SQLHSTMT AllocWork(Connection& c);
void FreeWork(SQLHSTMT& h);

// --- Rows (CursorLibraryRows.cpp) ---------------------------------------------

/// Describes the result columns once per execution.
SQLRETURN Describe(Statement& st);
/// The table the cursor's SELECT reads, if it reads one.
const std::optional<TableRef>& CursorTableOf(Statement& st);
/// Finds (once per execution) how rows of `ref` are identified from the cursor;
/// nullptr with `error` set when the table's columns cannot be matched.
TableInfo* TableFor(Statement& st, const TableRef& ref, std::string& error);
/// Captures the identity image of the current row (once per fetch).
SQLRETURN CaptureCurrent(Statement& st);
/// Reads a bindable value of column `col` (1-based) from `h`'s current row.
CapturedValue CaptureColumn(SQLHSTMT h, SQLUSMALLINT col, const ColumnInfo& info);
/// The C type a column of SQL type `sqlType` is captured in, and the SQL type it is sent back as.
SQLSMALLINT CaptureType(SQLSMALLINT sqlType);
SQLSMALLINT ParamType(SQLSMALLINT sqlType);
/// Appends "name = ? AND ..." for the identity of `image` to `where`, binding
/// into `params`; false when a needed value is not known.
bool IdentityWhere(const Connection& c, const TableInfo& t, const RowImage& image, std::string& where,
                   std::vector<ParamBinding>& params, std::deque<SQLLEN>& lengths);
/// Binds `params` as parameters 1, 2, ... of `h`; answers the first failure.
SQLRETURN BindAll(SQLHSTMT h, const std::vector<ParamBinding>& params);
/// Binds the application's columns again (after the library fetched unbound).
void Rebind(Statement& st);
/// Binds a captured value as a parameter (lengths must not reallocate afterwards).
ParamBinding BindingFor(const CapturedValue& v, SQLLEN& length);
/// Fetches the rowset of `rows` rows that begins at the driver's row `row`
/// (SQL_FETCH_ABSOLUTE), as the next rowset when it follows the last one
/// fetched so: MariaDB's static cursor walks its rows from the first to
/// find an absolute position, so a scan by absolute fetches grows with the
/// square of the result.
SQLRETURN FetchDriverRows(Statement& st, SQLLEN row, SQLULEN rows);
/// Something other than FetchDriverRows moved the driver's cursor (a row
/// read alone, a positioning, a value read, a count): the next fetch names
/// its row.
inline void DriverMoved(Statement& st) { st.DriverNext = -1; }
/// After a fetch: row tracking, changed and deleted rows. Answers the fetch's code.
SQLRETURN AfterFetch(Statement& st, SQLRETURN rc, SQLSMALLINT orientation, SQLLEN offset);
/// Makes sure the number of rows is known before a fetch that needs it.
void LearnCountFor(Statement& st, SQLSMALLINT orientation, SQLLEN offset);
/// Runs the re-read of a changed current row; fills bound columns when `fill`.
SQLRETURN Reread(Statement& st, bool fill);
void CloseReread(Statement& st);
/// Forgets everything about the result (execution, close).
void ResetResult(Statement& st);

// --- Key range cursors (CursorLibraryKeyRange.cpp) ------------------------------

/// Runs the statement's SELECT as a key range cursor: its first window.
SQLRETURN KeyRangeExecute(Statement& st);
/// A fetch of a key range cursor.
SQLRETURN KeyRangeFetch(Statement& st, SQLSMALLINT orientation, SQLLEN offset);
/// The number of the driver's row in the window holding row `row`; 0 when no window holds it.
SQLLEN KeyRangeDriverRow(Statement& st, SQLLEN row);
/// The number of rows (counted by the data source, once).
SQLRETURN KeyRangeRowCount(Statement& st, SQLLEN* count);
/// A row was written through the library: windows, anchors and the count are read again.
void KeyRangeWritten(Statement& st);
/// The rows of the result if known without a statement, else -1.
SQLLEN KeyRangeKnownRows(const Statement& st);
/// The values of row `row` as the application holds them (see odbc::KeyRangeRowValues).
void KeyRangeRowValues(Statement& st, SQLLEN row, const TKeyRangeValue* values, std::size_t count);

// --- Writes (CursorLibraryWrites.cpp) -----------------------------------------

SQLRETURN RunPositioned(Statement& owner, const PositionedStatement& ps);
SQLRETURN SetPosWrite(Statement& st, SQLUSMALLINT operation);
SQLRETURN BulkAdd(Statement& st);
SQLRETURN PendingParamData(Statement& st, SQLPOINTER* value);
SQLRETURN PendingPutData(Statement& st, SQLPOINTER data, SQLLEN length);
void CancelPending(Statement& st);
/// A statement goes away: writes of other statements that wait for data
/// forget it as their cursor.
void ForgetCursor(Connection& c, Statement& st);

}  // namespace velora::odbc::cursorlib

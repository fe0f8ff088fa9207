// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBC, the engine's cursor object: one per open dataset. It describes the
// result columns of a prepared statement, lays out a fixed-size record for one
// row, keeps a cache of one block of rows, and moves through the result by
// logical row numbers, so that a dataset can go forward, backward, to the
// first and last row and to a bookmark although each ODBC fetch brings a
// single row. It also converts field values between the record and the
// dataset's buffer forms, and reads and writes long (BLOB and memo) values on
// demand. The editing operations (insert, update, delete) and the requery
// extend the same object from their own sources.
//
// Record layout (the same in the staging record, in each cache slot and in
// the dataset's record buffers): for each column in order its data area at
// Offset, immediately followed by its 2-byte indicator slot at NullOffset.
// Columns of an unmapped type occupy nothing; long columns have only the
// slot. The slot holds the value's length in bytes plus one, as an unsigned
// 16-bit number: 0 is NULL, 1 an empty value, n + 1 a value of n bytes. The
// word 0xFFFF (a parameter buffer's NULL word) also reads as NULL. A zeroed
// record is therefore all NULL. Use ODBCGetIndicator/ODBCSetIndicator rather
// than reading slots by hand.
//
// A bookmark is the logical row number (from 0) as a 32-bit integer.
// Navigation answers 0 (a row was delivered), 1 (beginning of data) or 2 (end
// of data).
#pragma once

#include "velora/engine/ODBCCancelGate.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCTypes.h"
#include "velora/engine/SQL.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace velora {

/// Navigation results.
enum : int { ODBCRecOK = 0, ODBCRecBOF = 1, ODBCRecEOF = 2 };

/// The indicator slot word meaning NULL, and the parameter buffer's NULL word.
inline constexpr std::uint16_t kIndicatorNull = 0;
inline constexpr std::uint16_t kIndicatorNullWord = 0xFFFF;
/// The longest length an indicator slot can hold.
inline constexpr std::int32_t kIndicatorMaxLength = 0xFFFD;

/// The length of column `d`'s value in `record`, or -1 when it is NULL.
/// Inline: every field read of every row asks it.
inline std::int32_t ODBCGetIndicator(const void* record, const TODBCFldDesc& d) {
    std::uint16_t w;
    std::memcpy(&w, static_cast<const std::byte*>(record) + d.NullOffset, sizeof w);
    if (w == kIndicatorNull || w == kIndicatorNullWord) return -1;
    return static_cast<std::int32_t>(w) - 1;
}
/// Writes column `d`'s indicator slot: a length (clamped to the slot's range)
/// or -1 for NULL.
inline void ODBCSetIndicator(void* record, const TODBCFldDesc& d, std::int32_t length) {
    std::uint16_t w = kIndicatorNull;
    if (length >= 0) w = static_cast<std::uint16_t>((length < kIndicatorMaxLength ? length : kIndicatorMaxLength) + 1);
    std::memcpy(static_cast<std::byte*>(record) + d.NullOffset, &w, sizeof w);
}

#pragma pack(push, 1)
/// The cursor properties the dataset copies whole (417 bytes).
struct TODBCCurProps {
    char TableName[261] = {};      ///< zero-terminated table the cursor modifies (see TODBC::GetTableName)
    std::uint16_t NameSize = 0;    ///< length of TableName + 1
    char ServerName[32] = {};      ///< SQLGetInfo(SQL_SERVER_NAME), at most 31 characters
    std::uint16_t FieldCount = 0;  ///< number of result columns
    std::uint16_t Reserved1 = 0;
    std::uint16_t RecordSize = 0;  ///< bytes of one row
    std::uint16_t Reserved2[4] = {};
    std::uint16_t BookmarkLen = 0;  ///< RecordSize + 14, the dataset's bookmark size
    std::uint16_t Reserved3 = 0;
    std::uint8_t OpenMode = ODBCREADWRITE;  ///< ODBCREADONLY when the driver granted a read-only cursor
    std::uint16_t Reserved4 = 0;
    std::int16_t CursorFlags = -1;  ///< not used by the components
    std::uint16_t Reserved5[3] = {};
    std::uint8_t Reserved6 = 2;
    std::uint8_t Reserved7[92] = {};
};
#pragma pack(pop)
static_assert(sizeof(TODBCCurProps) == 417);

/// Extra bytes the record size counts for each long column besides its slot.
inline constexpr int kBlobRecordBytes = 482;
/// Largest row the layout allows: the dataset's record buffer holds two row
/// images plus its own data within 16-bit sizes.
inline constexpr int kMaxRecordSize = 32000;

/// A row a browsed record reads in the cache instead of holding a copy: the
/// record part of its slot (see TODBC::LendRows).
struct TODBCRowLoan {
    const std::byte* Row = nullptr;
};

/// The engine's cursor over one prepared statement.
///
/// Fields are public, as the editing and requery operations and the dataset
/// use them directly; the members named after the cursor's state (BlockNo,
/// BlockPos, RowCount, EndRow, ...) keep the meanings documented below.
class TODBC {
public:
    /// Describes the prepared statement's columns and lays out the record.
    /// `tableName` is the table the editing operations modify.
    /// \throws EODBCError when a describe step fails or the row is too large.
    TODBC(SQLHDBC dbc, SQLHSTMT stmt, const String& tableName, std::uint8_t cursorMode);
    /// Frees the arrays and the cache; the statement stays the caller's.
    ~TODBC();
    TODBC(const TODBC&) = delete;
    TODBC& operator=(const TODBC&) = delete;

    // ---- state --------------------------------------------------------
    TODBCCurProps CurProps;   ///< copied whole by the dataset
    std::uint8_t CursorMode;  ///< the connection's TCursorMode
    /// Cursor row numbers (1-based) deleted through the cursor-library road,
    /// ascending; later absolute fetches skip them (MapRowNumber).
    std::vector<std::int32_t> DeletedRows;
    std::vector<SQLLEN> Indicators;     ///< length/indicator variable bound with each column
    std::vector<TODBCFldDesc> Columns;  ///< one descriptor per result column
    SQLHDBC Dbc;
    std::int32_t RowCount = -1;            ///< number of rows once known, else -1
    bool ColumnsBound = false;             ///< the staging record is bound with SQLBindCol
    std::vector<SQLSMALLINT> CTypes;       ///< the C type each column is fetched as
    std::vector<std::byte> StagingRecord;  ///< the row buffer bound to the statement
    std::int32_t BlockPos = -2;            ///< current row in the block; -2 no cache, -1 before its first row
    /// RowsPerBlock slots of RowSize bytes: a slot is the record, then one
    /// SQLLEN length/indicator a column and the exact reals' companions, so
    /// that a rowset fetch writes each row into its slot (see BindRowset).
    std::vector<std::byte> RowCache;
    std::int32_t EndRow = -2;              ///< number of rows once the end was met, else -2
    std::int32_t RowsPerBlock = 0;
    std::int32_t CacheSize = -1;        ///< RowsPerBlock × RowSize
    std::int32_t BlockNo = -1;          ///< block in the cache, from 0; -1 before the first
    std::int32_t RowSize = -1;          ///< bytes of a cache slot (a rowset row)
    std::vector<SQLSMALLINT> SQLTypes;  ///< SQL type of each column
    SQLHSTMT Stmt;
    /// The gate the fetches pass (the dataset's; null: none), so a cancel or
    /// a query timeout can stop a statement working inside a fetch.
    TODBCCancelGate* Gate = nullptr;

    // ---- the dataset's operations -------------------------------------
    /// Allocates a cache of `rows` rows of `size` bytes (at least RecordSize)
    /// and fetches block 0. `sequential` (a uni-directional dataset) makes
    /// every fetch a forward one. Answers 0 or SQL_NO_DATA (empty result).
    int OpenCache(int rows, int size, bool sequential);
    /// The navigation calls copy the row into `buffer` (RecordSize bytes);
    /// given a `loan` while LendRows has a hook, they lend the row instead
    /// and leave `buffer` alone.
    int GetNextRecord(void* buffer, bool sequential, TODBCRowLoan* loan = nullptr);
    int GetPriorRecord(void* buffer, TODBCRowLoan* loan = nullptr);
    /// The current row again (0), or 2 past the end or before the first row.
    int GetCurrentRecord(void* buffer, TODBCRowLoan* loan = nullptr);
    /// Rows lent to records: before the record part of any slot changes (a
    /// fetch, a write through the cursor, the cache opened again or freed),
    /// `hook(context)` is called once if a row was lent since the last
    /// change, and must copy every lent row it still uses.
    void LendRows(void (*hook)(void*), void* context) {
        FLendHook = hook;
        FLendContext = context;
    }
    bool LendsRows() const { return FLendHook != nullptr; }
    /// Writes the current logical row number (4 bytes): from 0 at the first
    /// row; on a key range cursor that reached its end without counting, -2
    /// for the last row, -3 for the one before, ... (-1 stands for no row).
    int GetBookmark(void* dest) const;
    /// Writes the dataset's bookmark of the current row into `size` bytes:
    /// the row number, and on a key range cursor (when `size` holds it,
    /// CurProps.BookmarkLen does) the row's values, so that a jump to it is
    /// one seek by them (see SetToBookmark).
    int GetBookmark(void* dest, std::size_t size) const;
    /// Positions before the first row.
    /// \throws EODBCError "Cannot go back to First Row whenUnidirectional is
    /// set to True" when uni-directional and past the first block.
    void SetToBegin(bool uniDirectional);
    /// Positions one past the last row (the next GetPriorRecord delivers it).
    /// A key range cursor gets there without counting the rows (see EndIndex).
    void SetToEnd();
    int SetToBookmark(const void* bookmark);
    /// True when a bookmark's row number (see GetBookmark) can name a row.
    bool IsRowBookmark(std::int32_t mark) const;
    /// Orders two bookmarks' row numbers as their rows stand in the result.
    int CompareBookmarkRows(std::int32_t a, std::int32_t b) const;
    /// The number of rows. Counting walks the result once and is remembered;
    /// on a forward-only cursor only a known count is answered, else -1.
    /// `keep` False brings the position and cache back afterwards.
    std::int32_t GetRecordCount(bool keep);
    /// Zero-fills (all NULL) a record and forgets long values written for a
    /// previous new record.
    void InitRecord(void* buffer);
    /// Reads field `fieldNo` (1-based) of `record` into `dest` in the dataset's
    /// buffer form (see ODBCCursor.cpp). `blank` tells NULL. Answers 0, or -1
    /// (with blank True) when the value cannot be converted. A nil `dest`
    /// asks only whether there is a value (the same `blank` and answer).
    int GetField(int fieldNo, const void* record, int bookmarkOffset, bool& blank, void* dest) {
        return GetFieldAt(fieldNo, record, BookmarkIn(record, bookmarkOffset), blank, dest);
    }
    /// GetField of a row image `row` whose bookmark is at `bookmark` (a
    /// record reading its row in the cache: the row is the slot, the
    /// bookmark in the record).
    int GetFieldAt(int fieldNo, const void* row, const void* bookmark, bool& blank, void* dest);
    /// Runs `text` on the statement in place of the current one (an empty
    /// text runs the prepared one again) and fetches block 0: the cursor then
    /// stands before the first row, as after OpenCache. The text must yield
    /// the same columns. On failure the cursor is left without a position
    /// (every move answers beginning or end of data). ODBCRequery.cpp.
    /// \throws EODBCError
    void Requery(const String& text, bool sequential);
    /// Writes field `fieldNo` from `src` in the dataset's buffer form; a nil
    /// `src` stores NULL. Answers 0, or -1 for a field number out of range.
    /// \throws EConvertError when the value cannot be held by the column.
    int PutField(int fieldNo, void* record, const void* src);

    /// The whole text of a character column whose value in the row of the
    /// bookmark at record + bookmarkOffset was longer than its buffer (the
    /// record holds only its start). False for every other value.
    bool GetOverflowText(int fieldNo, const void* record, int bookmarkOffset, String& text) const {
        return OverflowTextAt(fieldNo, record, BookmarkIn(record, bookmarkOffset), text);
    }
    /// Character columns and decimals held as text: the value as the row
    /// holds it, whole (also when longer than the record's area), read
    /// straight from `record` without the field's buffer form. Dates, times
    /// and time stamps: "yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss" with
    /// the whole fraction when it is not 0 (".zzz", ".zzzzzz" or nine
    /// digits, the shortest that holds it), the time stamp without its time
    /// at midnight; a time the driver wrote in another form as it wrote it.
    /// Answers -1 for other columns, 0 for NULL (and for a nil `record`), 1
    /// with `text`.
    int GetText(int fieldNo, const void* record, int bookmarkOffset, String& text) const {
        return GetTextAt(fieldNo, record, BookmarkIn(record, bookmarkOffset), text);
    }
    /// GetText of a row image whose bookmark is at `bookmark` (see GetFieldAt).
    int GetTextAt(int fieldNo, const void* row, const void* bookmark, String& text) const;
    /// The value of field `fieldNo` of `record` in its exact stored form, as
    /// text, for the forms a double or a date-time in milliseconds would
    /// change: decimals held as text (their text, `kind` fcBCD), time stamps
    /// ("YYYY-MM-DD HH:MM:SS" and the fraction the row holds, in groups of
    /// three digits up to nanoseconds; fcTimeStamp), dates ("YYYY-MM-DD";
    /// fcDate) and times of day (the text the row holds, or "HH:MM:SS" of a
    /// time structure; fcTime); a date or time column held in a timestamp
    /// structure gives its own part. Answers -1 for other columns, 0 for
    /// NULL (and a nil `record`), 1 with `text`.
    int GetExactValue(int fieldNo, const void* record, String& text, std::uint16_t& kind) const;
    /// True for date, time and time-stamp columns (PutTemporalText).
    bool IsTemporal(int fieldNo) const;
    /// Stores the text of a date ("yyyy-mm-dd"), time ("[-]h:mm:ss[.f]") or
    /// time stamp ("yyyy-mm-dd[ hh:mm[:ss[.f]]]") whole, its fraction to the
    /// nanosecond. False, storing nothing, when the text is no such value.
    bool PutTemporalText(int fieldNo, void* record, std::string_view text);
    /// Decimal columns held as text: their exact text. Answers -1 for other
    /// columns, 0 for NULL, 1 with `text` set.
    int GetDecimalText(int fieldNo, const void* record, String& text) const;
    /// Stores a decimal text exactly, after checking that it is a number
    /// whose digits the column's precision and scale hold.
    /// \throws EDatabaseError naming the column otherwise.
    void PutDecimalText(int fieldNo, void* record, const String& text);

    // ---- long data ----------------------------------------------------
    /// Size of long column `column` (1-based) of the row whose bookmark lies
    /// at record + bookmarkOffset: memo characters + 1, binary bytes, NULL 0.
    /// A negative bookmark means the dataset's new record: the value written
    /// for it so far.
    /// `isNull`, when given, tells NULL from an empty binary value (both size 0).
    SQLRETURN GetBlobSize(const void* record, int bookmarkOffset, std::int32_t& size, int column,
                          bool* isNull = nullptr);
    /// Reads at most `length` bytes of the value from its start (memos end
    /// with a zero byte). Answers 7 after a read, 0 otherwise; `count` gets
    /// the bytes delivered.
    int ReadBlob(const void* bookmark, int column, std::int32_t position, std::int32_t length, void* dest,
                 std::int32_t& count);
    /// Writes `size` bytes at stream position `position` of a long value. The
    /// value is assembled from the chunks of one stream (position 0 starts
    /// it). Editing (any `state` but 3): each call writes the value so far to
    /// the row. Inserting (state 3, dsInsert): the value is kept for the new
    /// record (PendingBlob) and travels with it when it is posted; no row is
    /// added here. Answers 0, or 14 when sending failed without diagnostics.
    int WriteBlob(int state, const void* bookmark, int column, std::int32_t position, std::int32_t size,
                  const void* data);
    /// The whole long value of column `column` of the row whose bookmark lies
    /// at `bookmark` (a negative one: the value written for the new record).
    /// False for NULL. On a forward-only cursor the values are those kept
    /// when the row was fetched (only the current block's rows are kept).
    /// \throws EODBCError when the value cannot be read.
    bool ReadLongValue(const void* bookmark, int column, String& value);
    /// Writes a whole long value (nil: NULL) into the row of `bookmark`.
    /// \throws EODBCError
    void WriteLongColumn(const void* bookmark, int column, const String* value);
    /// The long value written for the new record in column `column`, or nil.
    const String* PendingBlob(int column) const;
    bool HasPendingBlobs() const { return !FPendingInsert.empty(); }
    void ClearPendingBlobs() { FPendingInsert.clear(); }
    /// Forgets the long value written for the new record in one column.
    void ForgetPendingBlob(int column) { FPendingInsert.erase(column); }

    // ---- editing (ODBCCursorEdit.cpp) ---------------------------------
    /// Adds the row held in `record` (a record in this cursor's layout, at
    /// least RecordSize bytes) to the table, with the long values written for
    /// the new record (PendingBlob), which are then forgotten. Columns that
    /// hold no value (NULL) are left to the data source, so its defaults
    /// (serial keys) apply; read-only, long and unmapped columns are never
    /// written from the record. Keyset road: SQLBulkOperations(SQL_ADD); a
    /// known RowCount grows by one and the cache is refreshed when the new
    /// last row lies in it. Cursor-library road: a generated INSERT on a
    /// second statement; the open result does not show the row (RowCount
    /// unchanged). Needs no current row (an empty result takes rows too).
    /// Answers the last return code.
    /// \throws EODBCError with the data source's diagnostics; nothing is
    /// written then, and the pending long values are kept for another try.
    int InsertRecord(const void* record);
    /// Writes `record` over the current row (BlockNo × RowsPerBlock +
    /// BlockPos): the assigned columns when there are any (HasAssigned),
    /// else every column. NULL columns are written as NULL; read-only, long and
    /// unmapped columns are left as they are. Keyset road: SQLSetPos
    /// (SQL_UPDATE); cursor-library road: the generated positioned UPDATE on
    /// a second statement. On success the cache slot holds `record`; no
    /// block is fetched again. Answers the last return code.
    /// \throws EODBCError; the cache slot then holds the row as the data
    /// source had it just before the write, and no statement is left behind.
    int ModifyRecord(const void* record);
    /// Columns written through PutField since the last ClearAssigned (the
    /// start of an edit). When there are any, ModifyRecord writes only them,
    /// so values the record cannot hold exactly (microseconds, long decimals,
    /// text of unknown types) stay as the data source has them.
    bool HasAssigned() const;
    void ClearAssigned() { FAssigned.assign(Columns.size(), false); }
    /// Deletes the current row. Keyset road: SQLSetPos(SQL_DELETE);
    /// cursor-library road: the generated positioned DELETE on a second
    /// statement, and the row joins DeletedRows. A known RowCount drops by
    /// one, and the current block is fetched again (`sequential`: the
    /// dataset's UniDirectional), so the rows behind the deleted one move up.
    /// \throws EODBCError
    int DeleteRecord(bool sequential);
    /// The statement text the cursor-library road ran (or tried to run)
    /// last: INSERT, UPDATE or DELETE; empty before the first.
    const String& LastEditSql() const { return FLastEditSql; }

    // ---- internal operations (also used by the editing and requery code) ----
    void DescribeColumns(const String& name);
    void InitCursorProps();
    void BindColumns(void* record);
    SQLRETURN FetchBlock(bool sequential);
    /// Fetches the next row of the block being filled into the staging record
    /// (`n`: 1-based row within the block). Answers 2 at the end.
    SQLRETURN FetchRow(int n);
    SQLRETURN NextBlock(bool sequential);
    SQLRETURN PriorBlock();
    /// The cursor row number to fetch for logical cursor row `n` (1-based),
    /// skipping rows deleted through the cursor-library road.
    std::int32_t MapRowNumber(std::int32_t n) const;
    /// Records the deletion of logical cursor row `n` (1-based).
    void AddDeletedRow(std::int32_t n);
    /// The whole table name (CurProps.TableName holds at most 260 characters).
    const String& GetTableName() const { return FTableName; }
    /// Bytes of one row (CurProps.RecordSize).
    int RecordSize() const { return CurProps.RecordSize; }
    int FieldCount() const { return static_cast<int>(Columns.size()); }
    /// Cache slot k (0 .. RowsPerBlock - 1).
    std::byte* CacheSlot(int k) { return RowCache.data() + static_cast<std::size_t>(k) * RowSize; }
    /// True when fetches can only go forward (forward-only connection or a
    /// uni-directional cache).
    bool ForwardOnly() const { return CursorMode == 0 || FSequential; }

private:
    static const void* BookmarkIn(const void* record, int bookmarkOffset) {
        return record ? static_cast<const std::byte*>(record) + bookmarkOffset : nullptr;
    }
    bool OverflowTextAt(int fieldNo, const void* row, const void* bookmark, String& text) const;
    bool CopySlot(int k, void* buffer, TODBCRowLoan* loan);
    /// Called before the record part of a slot changes (see LendRows).
    void SlotsChange() {
        if (FLent) {
            FLent = false;
            FLendHook(FLendContext);
        }
    }
    void StoreStaging(int k);
    void StoreRow(int k, std::byte* record, const SQLLEN* indicators);
    void PlanStaging();
    bool Overflows(const SQLLEN* indicators) const;
    bool UsesRowsets() const;
    bool BindRowset();
    void LeaveRowsets() noexcept;
    SQLRETURN FetchRowsetBlock(bool& fallBack);
    SQLRETURN FetchScrollableRowset(bool& fallBack);
    void SetArraySize(int rows);
    bool ReadyRowset();
    void ClearRowsetIndicators();
    int RowsBeforeFailure(int fetched) const;
    bool FillSlot(int k, bool target);
    bool EnsureSlot(int& k);
    SQLRETURN FetchBlockRows(bool sequential);
    // Numbering rows from the end (ODBCCursor.cpp).
    std::int32_t EndIndex() const;
    bool IsEndMark(std::int32_t mark) const;
    std::int32_t MarkOf(std::int32_t row) const;
    SQLLEN DriverRow(std::int32_t row) const;
    SQLLEN DriverRowOfMark(std::int32_t mark) const;
    std::int32_t CountedRows();
    void NumberFromFirst();
    void SyncNumbering();
    void EndsAt(std::int32_t rows);
    SQLRETURN FetchFirstOfBlock(bool forwardOnly);
    SQLRETURN FetchForward();
    SQLRETURN Fetch(SQLSMALLINT orientation, SQLLEN offset);
    void ClearIndicators();
    void Rewind();
    void PositionOnRow(std::int32_t row);
    SQLRETURN Unbind();
    SQLRETURN WriteLongValue(std::int32_t row, int column, const String& value, bool null = false);
    std::optional<String> ReadWholeLong(int column);
    String ReadWholeText(int column);
    /// Forward-only cursors: reads the long values of the row just fetched
    /// into slot k, whose length/indicator variables are `indicators`.
    void KeepLongValues(int slot, const SQLLEN* indicators);
    /// Rowsets with long columns: binds column i's prefix in the slot.
    bool BindLongPrefix(std::size_t i, SQLLEN* indicators);
    /// After a rowset fetch that warned: true when every warning is a cut
    /// string, which can only be a long column's prefix once no other
    /// column overflowed (checked by the caller row by row).
    bool OnlyLongPrefixesCut() const;
    const String* KeptLong(std::int32_t row, int column) const;
    const TODBCFldDesc& LongColumn(int column) const;
    void ReadGranted();
    /// After execution: describes the columns again when a driver now types
    /// one it described as default-width character data before (SQLite's
    /// expressions, see FRetypable). True when it did.
    bool DescribeAfterExecute();
    // SQLite's doubles read whole (ODBCExactReals.cpp).
    void TakeExactReals();
    void BindExactReals(std::byte* slots);
    int ExactSlotsSize() const;
    void ClearExactReals(std::byte* slots);
    void StoreExactReals(std::byte* record, std::byte* slots);
    // Editing (ODBCCursorEdit.cpp).
    std::int32_t EditRow() const;
    void FetchForEdit(std::int32_t row);
    int InsertByBulkAdd(const void* record);
    int InsertBySql(const void* record);
    SQLRETURN RunSecondStatement(const String& text, const std::vector<TODBCFldDesc>& params,
                                 const std::vector<std::byte>& values);

    /// A key range cursor: the row's values travel with its bookmark and
    /// are handed to the cursor when a jump fetches it.
    void SeekByValues(std::int32_t mark, const std::byte* trailer);

    String FTableName;
    void (*FLendHook)(void*) = nullptr;  ///< see LendRows
    void* FLendContext = nullptr;
    bool FLent = false;        ///< a row was lent since the slots last changed
    bool FSequential = false;  ///< the cache was opened uni-directional
    bool FKeyRange = false;    ///< the statement is a key range cursor (odbc::UsesKeyRangeCursor)
    bool FEndNumbered = false;   ///< the cache numbers rows from the end (a key range cursor's SetToEnd)
    std::int32_t FEndBase = -1;  ///< the rows once known after numbering from the end, else -1
    int FLongColumns = 0;      ///< columns read with SQLGetData (fcBlob)
    /// Forward-only rowsets with long columns (see UsesRowsets): each long
    /// column binds its first kLongPrefix bytes in the slot, after the exact
    /// reals' companions (FRowPrefixes); a value that fits is read from there.
    static constexpr int kLongPrefix = 256;
    bool FLongPrefixes = false;
    int FRowPrefixes = 0;
    /// Columns described as VARCHAR(255) that belong to no table: what the
    /// SQLite driver says of an expression before execution, whose type it
    /// knows only once the statement ran (DescribeAfterExecute).
    std::vector<std::uint16_t> FRetypable;
    /// SQLite: the columns whose value also comes as a companion column of 21
    /// digits after the statement's own (companion m is result column
    /// Columns.size() + m + 1), and the companions' slots for one-row fetches;
    /// in a cache slot they follow the length/indicator variables (FRowExact).
    std::vector<std::uint16_t> FExactReals;
    std::vector<std::byte> FExactStage;
    int FRowExact = 0;
    /// What StoreStaging needs of each column with a record slot, made when
    /// the columns are bound.
    struct TStagedColumn {
        std::uint16_t NullOffset;
        std::int32_t Capacity;  ///< bytes of value the area holds
        int Column;             ///< 0-based
        bool Variable;          ///< text or binary: the length may exceed the area
        bool Long;              ///< read with SQLGetData: the slot says NULL
    };
    std::vector<TStagedColumn> FStaged;
    /// Which slots of the block in the cache hold their row. A whole block
    /// fetch fills every slot up to the end of data; a jump outside the cache
    /// (SetToBookmark) fetches only the target row, and the other slots are
    /// fetched one by one when navigation reaches them (scrollable cursors).
    std::vector<std::uint8_t> FFilled;
    std::int32_t FNextRow = 0;  ///< forward-only: logical row the next FETCH_NEXT delivers
    // Rowset fetches: one driver fetch brings a whole block into the cache,
    // row-wise bound: each row is a slot, RowSize bytes.
    int FRecordArea = 0;                   ///< bytes of a slot's record (the size OpenCache was given)
    int FRowIndicators = 0;                ///< offset of a slot's length/indicator variables
    /// The statement's row bind offset (SQL_ATTR_ROW_BIND_OFFSET_PTR): 0,
    /// but while FillSlot fetches one row into slot k, k × RowSize.
    SQLULEN FBindOffset = 0;
    std::vector<SQLUSMALLINT> FRowStatus;  ///< the driver's status of each row of the rowset
    SQLULEN FRowsFetched = 0;
    bool FRowsetBound = false;  ///< the statement is bound to the cache with an array of RowsPerBlock rows
    int FArraySize = 1;         ///< the statement's row array, as last set
    /// This result is read one row a fetch: after a rowset the drivers could
    /// not deliver whole (see FetchRowsetBlock), and after any write through
    /// the cursor (rows the cursor library or the driver changed, deleted or
    /// added are delivered one row a fetch, as they always were).
    bool FRowsetsOff = false;
    std::map<int, String> FPendingInsert;  ///< long values written for the new record, by column
    /// Forward-only cursors: the long values of the rows of the current
    /// block, read right after each row was fetched, by (row, column).
    /// A long value of a row of the current block of a forward-only cursor,
    /// read when the row was fetched (the driver delivers it once).
    struct TKeptLong {
        std::int32_t Row = -1;  ///< the row it belongs to; -1: none
        bool Null = true;
        String Value;  ///< kept between blocks, so its buffer is reused
    };
    /// By slot and column: slot * Columns.size() + column - 1.
    std::vector<TKeptLong> FKeptLongs;
    /// Values longer than their buffers, read whole when fetched, by (row,
    /// column); kept while the result is open.
    std::map<std::pair<std::int32_t, int>, String> FOverflow;
    struct PendingEdit {
        std::int32_t Row = -1;
        int Column = 0;
        String Value;
    } FPendingEdit;               ///< the long value being written by the current stream
    String FLastEditSql;          ///< the cursor-library road's last generated statement
    std::vector<bool> FAssigned;  ///< columns PutField wrote since ClearAssigned
};

}  // namespace velora

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Long data (BLOB and memo columns) of TODBC. Long columns are never bound to
// the row cache: their size and contents are read on demand by positioning
// the dataset's own statement on the row and calling SQLGetData, and written
// by binding only that column for data at execution and sending the value
// with SQLPutData through SQLSetPos(SQL_UPDATE).
//
// Memos travel as SQL_C_CHAR: their size counts a terminating zero (n
// characters give n + 1, NULL gives 0). Binary values travel as SQL_C_BINARY
// both ways and are exactly their bytes: read or written as character data,
// psqlODBC turns them into hex and the SQLite driver into X'..' literals.
//
// Writing: a BLOB stream writes a value in chunks at increasing positions.
// The cursor assembles the chunks of one stream (position 0 starts a value)
// so that every chunk reaches the data source. While editing, each chunk
// writes the value assembled so far to the row, so the data source always
// holds what the stream has written. While inserting, the row does not exist
// yet: the value is kept for the new record (PendingBlob) and is written with
// the row when the record is posted; the long-data write itself never adds a
// row, so a posted record cannot be added twice.
#include "velora/engine/ODBCCursor.h"

#include "velora/engine/ODBCStatement.h"

#include "EngineInternal.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace velora {

namespace {

using detail::CheckStmt;

std::int32_t ReadBookmark(const void* p) {
    std::int32_t row;
    std::memcpy(&row, p, sizeof row);
    return row;
}

SQLSMALLINT LongCType(const TODBCFldDesc& d) { return d.SubType == fscBinary ? SQL_C_BINARY : SQL_C_CHAR; }

/// Places `size` bytes at `position` of `value`, growing it (zero-filled) as needed.
void PlaceChunk(String& value, std::int32_t position, std::int32_t size, const void* data) {
    if (position < 0 || size <= 0) return;
    const auto end = static_cast<std::size_t>(position) + static_cast<std::size_t>(size);
    if (value.size() < end) value.resize(end, '\0');
    std::memcpy(value.data() + position, data, static_cast<std::size_t>(size));
}

}  // namespace

const TODBCFldDesc& TODBC::LongColumn(int column) const {
    if (column < 1 || column > FieldCount() || Columns[static_cast<std::size_t>(column - 1)].FldType != fcBlob)
        throw EODBCError(0, Format("Column %d is not a long column", column));
    return Columns[static_cast<std::size_t>(column - 1)];
}

/// Unbinds and fetches the row with logical number `row`, where SQLGetData
/// and SQLSetPos then act.
void TODBC::PositionOnRow(std::int32_t row) {
    // Without scrolling, the row a long value belongs to cannot be reached
    // again once it was passed; its values were kept when it was fetched.
    if (ForwardOnly()) throw EODBCError(0, "Long data is not available on a forward-only cursor");
    SlotsChange();
    Unbind();
    SQLRETURN rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_ABSOLUTE, DriverRowOfMark(row));
    if (rc == SQL_NO_DATA)
        throw EODBCError(0, IsEndMark(row) ? Format("Row %d from the end is not in the result", -(row + 1))
                                           : Format("Row %d is not in the result", row + 1));
    CheckStmt(Stmt, rc);
}

namespace {

/// The buffer long values are read through, one per thread and kept: a
/// forward-only read keeps every row's long values as it fetches, and a
/// buffer made for each value (64 KB allocated and cleared) took most of the
/// time of a text column's export on psqlODBC.
String& LongChunk() {
    thread_local String chunk(65536, '\0');
    return chunk;
}

/// Reads the rest of a value with SQLGetData, in pieces, into `whole`; false
/// for NULL. Each call asks for no more than the driver said was left: some
/// drivers (SQLite's) fill the whole buffer they are given with zeros after
/// the value, so a value of a few bytes read into the 64 KB chunk cost a 64 KB
/// fill. The first piece is short for that reason; a longer value's length is
/// then known, and the rest is asked for in pieces of that size.
bool ReadAllData(SQLHSTMT stmt, int column, SQLSMALLINT cType, bool binary, String& whole, const TODBCFldDesc& desc) {
    constexpr SQLLEN kFirstPiece = 1024;
    String& chunk = LongChunk();
    const SQLLEN terminator = binary ? 0 : 1;
    SQLLEN ask = std::min<SQLLEN>(kFirstPiece, static_cast<SQLLEN>(chunk.size()));
    for (bool first = true;; first = false) {
        SQLLEN ind = 0;
        SQLRETURN rc = odbc::SQLGetData(stmt, static_cast<SQLUSMALLINT>(column), cType, chunk.data(), ask, &ind);
        if (rc == SQL_NO_DATA) break;  // the end, or an empty value some drivers report so
        CheckStmt(stmt, rc);
        if (ind == SQL_NULL_DATA) return !first;
        const SQLLEN room = ask - terminator;
        const bool known = ind != SQL_NO_TOTAL;
        // A length no value can have is refused, never read as a value cut short.
        if (known && (ind < 0 || ind >= INT32_MAX))
            throw EODBCError(0, Format("Long value of column %s is too large", desc.GetName()));
        const SQLLEN got = (!known || ind > room) ? room : ind;
        whole.append(chunk.data(), static_cast<std::size_t>(std::max<SQLLEN>(got, 0)));
        if (rc == SQL_SUCCESS) break;
        // The next piece: what is left (the driver's count covers this piece too), at least a first
        // piece (a driver that counts short still gets on), at most the chunk.
        const SQLLEN left = known ? ind - got : static_cast<SQLLEN>(chunk.size());
        ask = std::clamp<SQLLEN>(left + terminator, std::min(kFirstPiece, static_cast<SQLLEN>(chunk.size())),
                                 static_cast<SQLLEN>(chunk.size()));
    }
    return true;
}

}  // namespace

/// Reads the whole value of long column `column` of the row the statement
/// stands on, in pieces; nothing for NULL.
std::optional<String> TODBC::ReadWholeLong(int column) {
    const TODBCFldDesc& d = LongColumn(column);
    String whole;
    if (!ReadAllData(Stmt, column, LongCType(d), d.SubType == fscBinary, whole, d)) return std::nullopt;
    return whole;
}

String TODBC::ReadWholeText(int column) {
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(column - 1)];
    const SQLSMALLINT cType = d.CType == SQL_C_BINARY ? SQL_C_BINARY : SQL_C_CHAR;
    String whole;
    ReadAllData(Stmt, column, cType, cType == SQL_C_BINARY, whole, d);
    return whole;
}

bool TODBC::OverflowTextAt(int fieldNo, const void* record, const void* bookmark, String& text) const {
    if (FOverflow.empty()) return false;
    const std::int32_t row = ReadBookmark(static_cast<const std::byte*>(bookmark));
    auto it = FOverflow.find({row, fieldNo});
    if (it == FOverflow.end()) return false;
    // The record may have been given a new value since it was fetched.
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    const std::int32_t length = ODBCGetIndicator(record, d);
    if (length != static_cast<std::int32_t>(d.Len) - 1 || static_cast<std::size_t>(length) >= it->second.size() ||
        std::memcmp(static_cast<const std::byte*>(record) + d.Offset, it->second.data(),
                    static_cast<std::size_t>(length)) != 0)
        return false;
    text = it->second;
    return true;
}

void TODBC::KeepLongValues(int slot, const SQLLEN* indicators) {
    const std::size_t width = Columns.size();
    FKeptLongs.resize(static_cast<std::size_t>(RowsPerBlock) * width);
    const std::int32_t row = BlockNo * RowsPerBlock + slot;
    // In a rowset each long value's prefix is in the slot; only a longer one
    // is read, after positioning on its row (once for the row).
    const std::byte* prefix = FRowsetBound ? CacheSlot(slot) + FRowPrefixes : nullptr;
    bool positioned = false;
    for (std::size_t i = 0; i < width; ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (d.FldType != fcBlob) continue;
        TKeptLong& kept = FKeptLongs[static_cast<std::size_t>(slot) * width + i];
        kept.Row = -1;  // until the value is read whole
        if (kept.Value.capacity() > (std::size_t{1} << 20))
            String().swap(kept.Value);  // a big value's buffer is not kept for the next rows
        else
            kept.Value.clear();
        const bool binary = d.SubType == fscBinary;
        if (prefix) {
            const SQLLEN ind = indicators[i];
            const std::byte* bytes = prefix;
            prefix += kLongPrefix;
            kept.Null = ind == SQL_NULL_DATA;
            if (kept.Null || (ind >= 0 && ind <= kLongPrefix - (binary ? 0 : 1))) {
                if (!kept.Null) kept.Value.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(ind));
                kept.Row = row;
                continue;
            }
            if (!positioned)
                CheckStmt(Stmt, odbc::SQLSetPos(Stmt, static_cast<SQLSETPOSIROW>(slot + 1), SQL_POSITION,
                                                SQL_LOCK_NO_CHANGE));
            positioned = true;
        }
        kept.Null = !ReadAllData(Stmt, static_cast<int>(i) + 1, LongCType(d), binary, kept.Value, d);
        kept.Row = row;
    }
}

bool TODBC::BindLongPrefix(std::size_t i, SQLLEN* indicators) {
    int ordinal = 0;
    for (std::size_t c = 0; c < i; ++c) ordinal += Columns[c].FldType == fcBlob;
    std::byte* area = RowCache.data() + FRowPrefixes + static_cast<std::ptrdiff_t>(ordinal) * kLongPrefix;
    return ODBCSucceeded(odbc::SQLBindCol(Stmt, static_cast<SQLUSMALLINT>(i + 1), LongCType(Columns[i]), area,
                                          kLongPrefix, &indicators[i]));
}

bool TODBC::OnlyLongPrefixesCut() const {
    return FLongPrefixes && detail::AllRecordsAre(odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt), "01004");
}

const String* TODBC::KeptLong(std::int32_t row, int column) const {
    const std::int32_t slot = row - BlockNo * RowsPerBlock;
    const std::size_t at = static_cast<std::size_t>(slot) * Columns.size() + static_cast<std::size_t>(column - 1);
    if (slot < 0 || slot >= RowsPerBlock || at >= FKeptLongs.size() || FKeptLongs[at].Row != row)
        throw EODBCError(0, Format("Long value of column %s of row %d is no longer available on a forward-only cursor",
                                   Columns[static_cast<std::size_t>(column - 1)].GetName(), row + 1));
    const TKeptLong& kept = FKeptLongs[at];
    return kept.Null ? nullptr : &kept.Value;
}

bool TODBC::ReadLongValue(const void* bookmark, int column, String& value) {
    const TODBCFldDesc& d = LongColumn(column);
    (void)d;
    value.clear();
    const std::int32_t row = ReadBookmark(bookmark);
    if (row < 0 && !IsEndMark(row)) {
        const String* v = PendingBlob(column);
        if (v) value = *v;
        return v != nullptr;
    }
    if (ForwardOnly()) {
        const String* kept = KeptLong(row, column);
        if (kept) value = *kept;
        return kept != nullptr;
    }
    PositionOnRow(row);
    std::optional<String> whole = ReadWholeLong(column);
    if (whole) value = std::move(*whole);
    return whole.has_value();
}

const String* TODBC::PendingBlob(int column) const {
    auto it = FPendingInsert.find(column);
    return it == FPendingInsert.end() ? nullptr : &it->second;
}

SQLRETURN TODBC::GetBlobSize(const void* record, int bookmarkOffset, std::int32_t& size, int column, bool* isNull) {
    size = 0;
    bool nullValue = true;
    struct TReport {
        bool* Out;
        const bool& Value;
        ~TReport() {
            if (Out) *Out = Value;
        }
    } report{isNull, nullValue};
    const TODBCFldDesc& d = LongColumn(column);
    const std::int32_t row = ReadBookmark(static_cast<const std::byte*>(record) + bookmarkOffset);
    if (row < 0 && !IsEndMark(row)) {
        // The dataset's new record: what has been written for it so far
        // (a value of zero length included; NULL has no pending value).
        if (const String* v = PendingBlob(column)) {
            size = static_cast<std::int32_t>(v->size()) + (d.SubType == fscBinary ? 0 : 1);
            nullValue = false;
        }
        return SQL_SUCCESS;
    }
    if (ForwardOnly()) {
        const String* kept = KeptLong(row, column);
        if (kept) size = static_cast<std::int32_t>(kept->size()) + (d.SubType == fscBinary ? 0 : 1);
        nullValue = kept == nullptr;
        return SQL_SUCCESS;
    }
    PositionOnRow(row);
    char probe[1];
    SQLLEN indicator = 0;
    SQLRETURN rc =
        odbc::SQLGetData(Stmt, static_cast<SQLUSMALLINT>(column), LongCType(d), probe, sizeof probe, &indicator);
    if (rc == SQL_NO_DATA) {  // an empty value some drivers report so
        nullValue = false;
        return SQL_SUCCESS;
    }
    CheckStmt(Stmt, rc);
    if (indicator == SQL_NULL_DATA) return rc;
    // An empty binary value has size 0 like NULL: the flag tells them apart.
    nullValue = false;
    if (indicator == SQL_NO_TOTAL) {
        // The driver cannot tell the length: read the rest of the value to
        // measure it (the probe took one byte of a binary value, none of text).
        const std::size_t probed = d.SubType == fscBinary && rc == SQL_SUCCESS_WITH_INFO ? 1 : 0;
        const std::size_t count = probed + ReadWholeLong(column).value_or(String()).size();
        if (count >= static_cast<std::size_t>(INT32_MAX))
            throw EODBCError(0, Format("Long value of column %s is too large", d.GetName()));
        size = static_cast<std::int32_t>(count) + (d.SubType == fscBinary ? 0 : 1);
        return rc;
    }
    if (indicator < 0 || indicator >= INT32_MAX)
        throw EODBCError(0, Format("Long value of column %s is too large", d.GetName()));
    size = static_cast<std::int32_t>(indicator) + (d.SubType == fscBinary ? 0 : 1);
    return rc;
}

int TODBC::ReadBlob(const void* bookmark, int column, std::int32_t position, std::int32_t length, void* dest,
                    std::int32_t& count) {
    (void)position;  // every read starts at the beginning of the value
    count = 0;
    const TODBCFldDesc& d = LongColumn(column);
    const bool binary = d.SubType == fscBinary;
    if (length <= 0) return 0;
    const std::int32_t row = ReadBookmark(bookmark);
    if (row < 0 && !IsEndMark(row)) {
        const String* v = PendingBlob(column);
        if (!v) return 0;
        const std::int32_t room = binary ? length : length - 1;
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(v->size(), static_cast<std::size_t>(room)));
        std::memcpy(dest, v->data(), static_cast<std::size_t>(n));
        if (!binary) static_cast<char*>(dest)[n] = '\0';
        count = binary ? n : n + 1;
        return 7;
    }
    if (ForwardOnly()) {
        const String* kept = KeptLong(row, column);
        if (!kept) return 7;
        const std::int32_t room = binary ? length : length - 1;
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kept->size(), static_cast<std::size_t>(room)));
        std::memcpy(dest, kept->data(), static_cast<std::size_t>(n));
        if (!binary) static_cast<char*>(dest)[n] = '\0';
        count = binary ? n : n + 1;
        return 7;
    }
    PositionOnRow(row);
    SQLLEN indicator = 0;
    SQLRETURN rc = odbc::SQLGetData(Stmt, static_cast<SQLUSMALLINT>(column), LongCType(d), dest, length, &indicator);
    if (rc == SQL_NO_DATA) return 7;
    if (!ODBCSucceeded(rc)) {
        ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
        return 0;
    }
    if (indicator == SQL_NULL_DATA) return 7;
    const SQLLEN room = binary ? length : length - 1;
    const SQLLEN n = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
    count = static_cast<std::int32_t>(binary ? n : n + 1);
    return 7;
}

void TODBC::WriteLongColumn(const void* bookmark, int column, const String* value) {
    LongColumn(column);
    const std::int32_t row = ReadBookmark(bookmark);
    if (row < 0 && !IsEndMark(row)) throw EODBCError(0, "A long value can be written only to a row of the data source");
    FPendingEdit = PendingEdit{};
    WriteLongValue(row, column, value ? *value : String(), value == nullptr);
}

int TODBC::WriteBlob(int state, const void* bookmark, int column, std::int32_t position, std::int32_t size,
                     const void* data) {
    const TODBCFldDesc& d = LongColumn(column);
    (void)d;
    if (position < 0) return 0;
    if (size < 0) size = 0;
    constexpr int kInserting = 3;  // dsInsert
    if (state == kInserting) {
        String& value = FPendingInsert[column];
        if (position == 0) value.clear();
        PlaceChunk(value, position, size, data);
        return 0;
    }

    const std::int32_t row = ReadBookmark(bookmark);
    if (row < 0 && !IsEndMark(row)) return 0;  // a record that has no row in the data source
    const bool continues = FPendingEdit.Row == row && FPendingEdit.Column == column && position > 0;
    if (!continues) {
        FPendingEdit = PendingEdit{row, column, String()};
        if (position > 0) {
            // Writing into the middle of a value the data source holds: start
            // from what it holds.
            std::int32_t current = 0;
            std::vector<std::byte> record(static_cast<std::size_t>(sizeof(std::int32_t)));
            std::memcpy(record.data(), &row, sizeof row);
            GetBlobSize(record.data(), 0, current, column);
            if (current > 0) {
                String existing(static_cast<std::size_t>(current), '\0');
                std::int32_t got = 0;
                ReadBlob(&row, column, 0, current, existing.data(), got);
                const bool binary = Columns[static_cast<std::size_t>(column - 1)].SubType == fscBinary;
                existing.resize(static_cast<std::size_t>(binary ? got : std::max(got - 1, 0)));
                FPendingEdit.Value = std::move(existing);
            }
        }
    }
    PlaceChunk(FPendingEdit.Value, position, size, data);
    return WriteLongValue(row, column, FPendingEdit.Value);
}

/// Writes a whole long value into row `row`: only that column bound, for data
/// at execution, through SQLSetPos(SQL_UPDATE).
SQLRETURN TODBC::WriteLongValue(std::int32_t row, int column, const String& value, bool null) {
    const TODBCFldDesc& d = LongColumn(column);
    PositionOnRow(row);
    static char empty[1] = {0};
    char* bytes = value.empty() ? empty : const_cast<char*>(value.data());
    const auto size = static_cast<SQLLEN>(value.size());
    SQLLEN indicator = null ? SQL_NULL_DATA : ODBCDataAtExecLen(size);
    CheckStmt(Stmt, odbc::SQLBindCol(Stmt, static_cast<SQLUSMALLINT>(column), LongCType(d), bytes, size, &indicator));
    ColumnsBound = false;  // only this column is bound now

    std::vector<odbc::DiagRecord> warnings;
    auto failed = [&](SQLRETURN rc) -> SQLRETURN {
        // Unbind before the error leaves: the buffer is about to go. A
        // failure without records raises too, or the write would pass for done.
        std::vector<odbc::DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt);
        odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
        (void)rc;
        detail::RaiseDiagnostics(records);
    };
    auto noteWarnings = [&](SQLRETURN rc) {
        if (rc == SQL_SUCCESS_WITH_INFO) {
            auto records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, Stmt);
            warnings.insert(warnings.end(), records.begin(), records.end());
        }
    };

    SQLRETURN rc = odbc::SQLSetPos(Stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    if (rc < 0) return failed(rc);
    noteWarnings(rc);
    if (!null && rc != SQL_NEED_DATA) {
        // The write never asked for the value: whatever it stored is not it
        // (a row changed elsewhere says so itself).
        odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
        for (const auto& r : warnings)
            if (r.State == "01001") detail::RaiseDiagnostics(warnings);
        throw EODBCError(0, Format("The data source did not take the value of column %s: it may hold another value "
                                   "now",
                                   d.GetName()));
    }
    if (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        rc = odbc::SQLParamData(Stmt, &token);
        while (rc == SQL_NEED_DATA) {
            SQLRETURN put = odbc::SQLPutData(Stmt, bytes, size);
            if (put < 0) return failed(put);
            rc = odbc::SQLParamData(Stmt, &token);
        }
        if (rc < 0) return failed(rc);
        noteWarnings(rc);
    }
    CheckStmt(Stmt, odbc::SQLFreeStmt(Stmt, SQL_UNBIND));
    // The row changed in the data source since it was read (01001): nothing
    // was written, though the call answered success (psqlODBC's keyset cursor
    // answers so at the last SQLParamData when another connection deleted it).
    for (const auto& r : warnings)
        if (r.State == "01001") detail::RaiseDiagnostics(warnings);
    return 0;
}

}  // namespace velora

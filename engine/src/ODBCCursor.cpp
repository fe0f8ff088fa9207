// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBC: result description, record layout, the block cache and navigation,
// and field value conversion. Long data lives in ODBCLongData.cpp.
//
// Navigation state: the current logical row is BlockNo × RowsPerBlock +
// BlockPos. BlockPos -1 stands before the first row of block BlockNo; a
// position equal to EndRow stands one past the last row. No routine copies a
// cache slot outside 0 .. RowsPerBlock - 1: before the cache exists (BlockNo
// < 0) and after a failed re-execution every move answers beginning or end of
// data.
#include "velora/engine/ODBCCursor.h"

#include "velora/engine/ODBCStatement.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"

#include "EngineInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velora {

namespace {

using detail::CheckStmt;

/// The engine type and C type of an SQL type, before length rules.
struct TypeMapping {
    std::uint16_t FldType;
    std::uint16_t SubType;
    SQLSMALLINT CType;
};

TypeMapping MapSQLType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
            return {fcString, 0, SQL_C_CHAR};
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return {fcFloat, 0, SQL_C_CHAR};
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            return {fcFloat, 0, SQL_C_DOUBLE};
        case SQL_INTEGER:
            return {fcInt32, 0, SQL_C_LONG};
        case SQL_SMALLINT:
        case SQL_TINYINT:
            return {fcInt16, 0, SQL_C_SHORT};
        case SQL_BIT:
            return {fcBoolean, 0, SQL_C_BIT};
        case SQL_DATE:
        case SQL_TIMESTAMP:
            return {fcTimeStamp, 0, SQL_C_TIMESTAMP};
        case SQL_TYPE_TIMESTAMP:
            return {fcTimeStamp, 0, SQL_C_TYPE_TIMESTAMP};
        case SQL_TYPE_DATE:
            return {fcTimeStamp, 0, SQL_C_TYPE_DATE};
        // Times travel as text: the time structure has no fraction, and drivers
        // warn (01S07) when a fraction is cut, which would refuse the block.
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return {fcTimeStamp, 0, SQL_C_CHAR};
        case SQL_BINARY:
            return {fcBytes, 0, SQL_C_BINARY};
        case SQL_VARBINARY:
            return {fcVarBytes, 0, SQL_C_BINARY};
        case SQL_LONGVARCHAR:
            return {fcBlob, fscMemo, SQL_C_DEFAULT};
        case SQL_LONGVARBINARY:
            return {fcBlob, fscBinary, SQL_C_DEFAULT};
        default:
            return {fcUnknown, 0, SQL_C_DEFAULT};
    }
}

std::uint16_t ClampU16(SQLLEN v, SQLLEN max = 65534) {
    if (v < 0) return 0;
    return static_cast<std::uint16_t>(v > max ? max : v);
}

std::uint16_t ReadWord(const std::byte* p) {
    std::uint16_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

void WriteWord(std::byte* p, std::uint16_t w) { std::memcpy(p, &w, sizeof w); }

/// Reads the plain decimal text drivers deliver for a decimal column ("-12.5",
/// at most 15 significant digits and 22 decimals) without the general number
/// scanner: the digits make an exact integer below 2^53 and the power of ten
/// is exact, so the one division rounds exactly as strtod does. Answers false
/// for any other text, which then takes the general road.
bool ReadPlainDecimal(std::string_view text, double& value) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    std::uint64_t mantissa = 0;
    int digits = 0, scale = 0;
    bool point = false, any = false;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            any = true;
            if (point) ++scale;
            if (mantissa == 0 && ch == '0') continue;  // leading zeros carry no digit
            if (++digits > 15) return false;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(ch - '0');
        } else if (ch == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!any || scale > 22) return false;
    const double v = static_cast<double>(mantissa) / kPow10[scale];
    value = negative ? -v : v;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Indicator slots.

std::int32_t ODBCGetIndicator(const void* record, const TODBCFldDesc& d) {
    std::uint16_t w = ReadWord(static_cast<const std::byte*>(record) + d.NullOffset);
    if (w == kIndicatorNull || w == kIndicatorNullWord) return -1;
    return static_cast<std::int32_t>(w) - 1;
}

void ODBCSetIndicator(void* record, const TODBCFldDesc& d, std::int32_t length) {
    std::uint16_t w = kIndicatorNull;
    if (length >= 0) w = static_cast<std::uint16_t>(std::min(length, kIndicatorMaxLength) + 1);
    WriteWord(static_cast<std::byte*>(record) + d.NullOffset, w);
}

// ---------------------------------------------------------------------------
// Construction and description.

TODBC::TODBC(SQLHDBC dbc, SQLHSTMT stmt, const String& tableName, std::uint8_t cursorMode)
    : CursorMode(cursorMode), Dbc(dbc), Stmt(stmt), FTableName(tableName) {
    StrPLCopy(CurProps.TableName, tableName, sizeof CurProps.TableName);
    CurProps.NameSize = static_cast<std::uint16_t>(std::strlen(CurProps.TableName) + 1);
    DescribeColumns(tableName);
    InitCursorProps();
}

TODBC::~TODBC() {
    // The statement outlives us; it must not keep pointers into our records
    // (also after a bind that failed half-way).
    if (!StagingRecord.empty()) odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
}

void TODBC::DescribeColumns(const String&) {
    SQLSMALLINT count = 0;
    CheckStmt(Stmt, odbc::SQLNumResultCols(Stmt, &count));
    // A statement without result columns (INSERT, UPDATE, DELETE, or a driver
    // that describes only after execution) is described as having none;
    // OpenCache describes it again once it has run.
    if (count < 0) count = 0;
    const auto n = static_cast<std::size_t>(count);
    Columns.assign(n, TODBCFldDesc{});
    CTypes.assign(n, 0);
    SQLTypes.assign(n, 0);
    Indicators.assign(n, 0);

    auto numeric = [&](SQLUSMALLINT column, SQLUSMALLINT field, bool check) {
        SQLLEN value = 0;
        SQLRETURN rc = odbc::SQLColAttribute(Stmt, column, field, nullptr, 0, nullptr, &value);
        if (!ODBCSucceeded(rc)) {
            if (check) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
            return SQLLEN(0);
        }
        return value;
    };

    std::uint32_t offset = 0;
    std::uint32_t recordSize = 0;
    for (std::size_t i = 0; i < n; ++i) {
        TODBCFldDesc& d = Columns[i];
        const auto col = static_cast<SQLUSMALLINT>(i + 1);

        String name(256, '\0');
        SQLSMALLINT nameLength = 0;
        CheckStmt(Stmt, odbc::SQLColAttribute(Stmt, col, SQL_COLUMN_NAME, name.data(),
                                              static_cast<SQLSMALLINT>(name.size()), &nameLength, nullptr));
        if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
            name.assign(static_cast<std::size_t>(nameLength) + 1, '\0');
            CheckStmt(Stmt, odbc::SQLColAttribute(Stmt, col, SQL_COLUMN_NAME, name.data(),
                                                  static_cast<SQLSMALLINT>(name.size()), &nameLength, nullptr));
        }
        name.resize(std::strlen(name.c_str()));
        d.SetName(name);
        d.Updatable = static_cast<std::int16_t>(numeric(col, SQL_COLUMN_UPDATABLE, true));

        const auto sqlType = static_cast<SQLSMALLINT>(numeric(col, SQL_COLUMN_TYPE, true));
        SQLTypes[i] = sqlType;
        TypeMapping m = MapSQLType(sqlType);

        // Character and binary columns too wide to bind are long data.
        if (m.FldType == fcString || m.FldType == fcBytes || m.FldType == fcVarBytes) {
            SQLLEN length = numeric(col, SQL_COLUMN_LENGTH, true);
            if (length < 0 || length > static_cast<SQLLEN>(kMaxBoundColumnLength)) {
                m = {fcBlob, m.FldType == fcString ? fscMemo : fscBinary, SQL_C_DEFAULT};
                d.Units1 = ClampU16(length);
            } else {
                d.Units1 = static_cast<std::uint16_t>(length);
                d.Len = static_cast<std::uint16_t>(length + 1);
            }
        }
        d.FldType = m.FldType;
        d.SubType = m.SubType;
        CTypes[i] = m.CType;
        d.CType = m.CType;

        std::uint32_t area = 0;  // data area bytes
        switch (d.FldType) {
            case fcFloat:
                if (m.CType == SQL_C_CHAR) {
                    // A decimal fetched as text: room for sign, digits, point and
                    // terminator, however the driver counts its length.
                    SQLLEN scale = numeric(col, SQL_COLUMN_SCALE, false);
                    SQLLEN length = numeric(col, SQL_COLUMN_LENGTH, false);
                    SQLLEN precision = numeric(col, SQL_COLUMN_PRECISION, false);
                    SQLLEN longest = std::max<SQLLEN>(length, precision + 2);
                    if (longest <= 2) longest = 40;
                    if (longest > 130) longest = 130;
                    d.Units1 = static_cast<std::uint16_t>(longest + 1);
                    d.Units2 = static_cast<std::int16_t>(std::clamp<SQLLEN>(scale, 0, 127));
                    d.Len = d.Units1;
                } else {
                    d.Units1 = ClampU16(numeric(col, SQL_COLUMN_PRECISION, true));
                    d.Len = 8;
                }
                area = d.Len;
                break;
            case fcInt32:
                d.Units1 = ClampU16(numeric(col, SQL_COLUMN_PRECISION, true));
                d.Len = 4;
                area = 4;
                break;
            case fcInt16:
                numeric(col, SQL_COLUMN_PRECISION, true);
                d.Units1 = sqlType == SQL_TINYINT ? 3 : 5;
                d.Len = 2;
                area = 2;
                break;
            case fcBoolean:
                numeric(col, SQL_COLUMN_LENGTH, true);
                d.Units1 = 1;
                d.Len = 2;
                area = 2;
                break;
            case fcTimeStamp:
                d.Units1 = 19;
                d.Len = 16;
                area = 16;
                break;
            case fcString:
            case fcBytes:
            case fcVarBytes:
                area = d.Len;
                break;
            case fcBlob:
                if (d.Units1 == 0) d.Units1 = ClampU16(numeric(col, SQL_COLUMN_LENGTH, false));
                d.Len = static_cast<std::uint16_t>(d.Units1 + 1);
                area = 0;  // not bound: only the indicator slot
                break;
            default:
                d.Units1 = 0;  // an unmapped type occupies nothing and is not bound
                d.Len = 0;
                break;
        }

        d.FieldNo = static_cast<std::uint16_t>(i);
        d.Offset = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset, 0xFFFF));
        d.NullOffset = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset + area, 0xFFFF));
        if (d.FldType != fcUnknown) {
            offset += area + 2;
            recordSize += d.FldType == fcBlob ? kBlobRecordBytes : area + 2;
        }
        if (recordSize > static_cast<std::uint32_t>(kMaxRecordSize))
            throw EODBCError(0, Format("Row of more than %d bytes is too large for the record (column %s)",
                                       kMaxRecordSize, d.GetName()));
    }
    CurProps.RecordSize = static_cast<std::uint16_t>(recordSize);
}

void TODBC::InitCursorProps() {
    char server[129] = {};
    SQLSMALLINT length = 0;
    if (ODBCSucceeded(odbc::SQLGetInfo(Dbc, SQL_SERVER_NAME, server, sizeof server, &length)))
        StrPLCopy(CurProps.ServerName, server, sizeof CurProps.ServerName);
    CurProps.FieldCount = static_cast<std::uint16_t>(Columns.size());
    CurProps.BookmarkLen = static_cast<std::uint16_t>(CurProps.RecordSize + 14);
    CurProps.CursorFlags = -1;
}

/// After execution: what the driver granted. A keyset cursor the driver made
/// read-only cannot write back, so the dataset must not offer editing.
void TODBC::ReadGranted() {
    if (CursorMode != cmKeyset) return;
    SQLULEN concurrency = SQL_CONCUR_ROWVER;
    if (ODBCSucceeded(odbc::SQLGetStmtAttr(Stmt, SQL_ATTR_CONCURRENCY, &concurrency, SQL_IS_UINTEGER, nullptr)) &&
        concurrency == SQL_CONCUR_READ_ONLY)
        CurProps.OpenMode = ODBCREADONLY;
    // Some drivers (psqlODBC) know which columns can be written only now.
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        SQLLEN value = 0;
        if (ODBCSucceeded(odbc::SQLColAttribute(Stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_COLUMN_UPDATABLE, nullptr,
                                                0, nullptr, &value)))
            Columns[i].Updatable = static_cast<std::int16_t>(value);
    }
}

// ---------------------------------------------------------------------------
// The cache.

int TODBC::OpenCache(int rows, int size, bool sequential) {
    if (Columns.empty()) {
        DescribeColumns(FTableName);
        InitCursorProps();
    }
    ReadGranted();
    RowsPerBlock = std::max(rows, 1);
    RowSize = std::max(size, static_cast<int>(CurProps.RecordSize));
    CacheSize = RowsPerBlock * RowSize;
    RowCache.assign(static_cast<std::size_t>(CacheSize), std::byte{0});
    FFilled.assign(static_cast<std::size_t>(RowsPerBlock), 0);
    StagingRecord.assign(static_cast<std::size_t>(std::max(RowSize, 1)), std::byte{0});
    ColumnsBound = false;  // the staging record is new
    FSequential = sequential;
    FNextRow = 0;
    RowCount = -1;
    EndRow = -2;
    BlockNo = -1;
    return NextBlock(sequential);
}

void TODBC::BindColumns(void* record) {
    ColumnsBound = false;
    auto* base = static_cast<std::byte*>(record);
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (d.FldType == fcBlob || d.FldType == fcUnknown) continue;
        CheckStmt(Stmt, odbc::SQLBindCol(Stmt, static_cast<SQLUSMALLINT>(i + 1), CTypes[i], base + d.Offset, d.Len,
                                         &Indicators[i]));
    }
    ColumnsBound = true;
}

/// Turns the bound length/indicator variables into the staging record's
/// slots and copies the staging record to cache slot k.
void TODBC::StoreStaging(int k) {
    std::byte* staging = StagingRecord.data();
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const TODBCFldDesc& d = Columns[i];
        if (d.FldType == fcUnknown) continue;
        if (d.FldType == fcBlob) {
            ODBCSetIndicator(staging, d, -1);
            continue;
        }
        SQLLEN ind = Indicators[i];
        if (ind == SQL_NULL_DATA) {
            ODBCSetIndicator(staging, d, -1);
            continue;
        }
        // Text keeps room for its terminator; fixed types fill their area.
        const SQLLEN capacity = (CTypes[i] == SQL_C_CHAR || CTypes[i] == SQL_C_BINARY) ? d.Len - 1 : d.Len;
        if (ind < 0 || ind > capacity) ind = capacity;  // SQL_NO_TOTAL or cut
        ODBCSetIndicator(staging, d, static_cast<std::int32_t>(ind));
    }
    std::memcpy(CacheSlot(k), staging, CurProps.RecordSize);
    FFilled[static_cast<std::size_t>(k)] = 1;
}

void TODBC::CopySlot(int k, void* buffer) {
    if (k < 0 || k >= RowsPerBlock) return;
    EnsureSlot(k);
    std::memcpy(buffer, CacheSlot(k), CurProps.RecordSize);
}

/// Scrollable cursors: fetches the row of slot k of the current block alone
/// (SQL_FETCH_ABSOLUTE) into the slot. Answers false at the end of data.
/// `target`: the row a jump goes to, whose warnings (truncation) are raised
/// like those of a block's first row; a row fetched on the way (Next, Prior)
/// raises only errors, as the rows after a block's first do.
bool TODBC::FillSlot(int k, bool target) {
    if (!ColumnsBound) BindColumns(StagingRecord.data());
    ClearIndicators();
    const std::int32_t row = BlockNo * RowsPerBlock + k + 1;
    const SQLRETURN rc =
        odbc::SQLFetchScroll(Stmt, SQL_FETCH_ABSOLUTE, CursorMode == cmCursorLibrary ? MapRowNumber(row) : row);
    if (rc == SQL_NO_DATA) return false;
    if (target ? rc != SQL_SUCCESS : !ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    StoreStaging(k);
    return true;
}

/// Makes sure slot k of the current block holds its row; a row that cannot
/// be fetched alone brings the whole block (which also learns where the data
/// ends). Answers false when the slot lies past the end of data.
bool TODBC::EnsureSlot(int k) {
    if (FFilled[static_cast<std::size_t>(k)] || Columns.empty()) return true;
    if (EndRow >= 0 && BlockNo * RowsPerBlock + k >= EndRow) return false;
    if (!ForwardOnly() && FillSlot(k, false)) return true;
    FetchBlock(false);
    return FFilled[static_cast<std::size_t>(k)] != 0;
}

/// Forward-only cursors: re-runs the statement to read it again from its start.
void TODBC::Rewind() {
    odbc::SQLCloseCursor(Stmt);
    FNextRow = 0;
    ODBCExecute(Stmt);
}

/// Clears the length/indicator variables before a fetch: MariaDB's driver
/// writes none for a BIT value that is not NULL, so the previous row's NULL
/// would remain.
void TODBC::ClearIndicators() { std::fill(Indicators.begin(), Indicators.end(), SQLLEN(0)); }

/// Forward-only cursors: the next row by FETCH_NEXT.
SQLRETURN TODBC::FetchForward() {
    ClearIndicators();
    SQLRETURN rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_NEXT, 0);
    if (ODBCSucceeded(rc)) ++FNextRow;
    return rc;
}

SQLRETURN TODBC::FetchFirstOfBlock(bool forwardOnly) {
    const std::int32_t first = BlockNo * RowsPerBlock;
    if (!forwardOnly) {
        ClearIndicators();
        SQLLEN row = CursorMode == cmCursorLibrary ? MapRowNumber(first + 1) : first + 1;
        return odbc::SQLFetchScroll(Stmt, SQL_FETCH_ABSOLUTE, row);
    }
    // A forward-only cursor reaches the block by reading forward, from the
    // start again when the block lies behind it.
    if (FNextRow > first) Rewind();
    while (FNextRow < first) {
        SQLRETURN rc = FetchForward();
        if (rc == SQL_NO_DATA) {
            EndRow = RowCount = FNextRow;
            return rc;
        }
        if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    }
    return FetchForward();
}

SQLRETURN TODBC::FetchBlock(bool sequential) {
    (void)sequential;  // a uni-directional cache was opened so; the statement decides
    const std::int32_t first = BlockNo * RowsPerBlock;
    std::fill(FFilled.begin(), FFilled.end(), std::uint8_t{0});
    if (Columns.empty()) {
        EndRow = RowCount = 0;
        BlockPos = 0;
        return SQL_NO_DATA;
    }
    if (!ColumnsBound) BindColumns(StagingRecord.data());
    SQLRETURN rc = FetchFirstOfBlock(ForwardOnly());
    if (rc == SQL_NO_DATA) {
        if (EndRow < 0 || EndRow > first) EndRow = RowCount = first;
        if (BlockNo == 0) BlockPos = 0;
        return SQL_NO_DATA;
    }
    // Warnings on the first row (truncation) are raised like errors.
    if (rc != SQL_SUCCESS) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    StoreStaging(0);
    for (int k = 1; k < RowsPerBlock; ++k) {
        if (FetchRow(k + 1) == ODBCRecEOF) {
            EndRow = RowCount = first + k;
            break;
        }
        StoreStaging(k);
    }
    return SQL_SUCCESS;
}

SQLRETURN TODBC::FetchRow(int n) {
    SQLRETURN rc;
    if (!ForwardOnly()) ClearIndicators();
    if (ForwardOnly())
        rc = FetchForward();
    else if (CursorMode == cmCursorLibrary && !DeletedRows.empty())
        rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_ABSOLUTE, MapRowNumber(n + BlockNo * RowsPerBlock));
    else
        rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_NEXT, 0);  // the row after the one just fetched
    if (rc == SQL_NO_DATA) return ODBCRecEOF;
    // A failing row is raised, never delivered with the previous row's data.
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    return rc;
}

SQLRETURN TODBC::NextBlock(bool sequential) {
    ++BlockNo;
    BlockPos = -1;
    return FetchBlock(sequential);
}

SQLRETURN TODBC::PriorBlock() {
    --BlockNo;
    BlockPos = RowsPerBlock - 1;
    return FetchBlock(false);
}

std::int32_t TODBC::MapRowNumber(std::int32_t n) const {
    std::int32_t row = n;
    for (std::int32_t deleted : DeletedRows) {
        if (deleted > row) break;
        ++row;
    }
    return row;
}

void TODBC::AddDeletedRow(std::int32_t n) {
    std::int32_t row = MapRowNumber(n);
    DeletedRows.insert(std::upper_bound(DeletedRows.begin(), DeletedRows.end(), row), row);
}

// ---------------------------------------------------------------------------
// Navigation.

int TODBC::GetNextRecord(void* buffer, bool sequential) {
    if (BlockNo < 0 || BlockPos < -1 || RowsPerBlock <= 0) return ODBCRecEOF;
    if (EndRow >= 0 && BlockNo * RowsPerBlock + BlockPos + 1 >= EndRow) return ODBCRecEOF;
    if (RowCount == 0 && BlockPos == 0) return ODBCRecEOF;
    if (BlockPos >= RowsPerBlock - 1) {
        if (NextBlock(sequential) == SQL_NO_DATA) return ODBCRecEOF;
        BlockPos = 0;
    } else {
        // In a block a jump filled in part, the next row is fetched alone;
        // its absence is the end of data.
        const int k = BlockPos + 1;
        if (!FFilled[static_cast<std::size_t>(k)] && !ForwardOnly() && !FillSlot(k, false)) {
            EndRow = RowCount = BlockNo * RowsPerBlock + k;
            return ODBCRecEOF;
        }
        BlockPos = k;
    }
    CopySlot(BlockPos, buffer);
    return ODBCRecOK;
}

int TODBC::GetPriorRecord(void* buffer) {
    if (BlockNo < 0 || BlockPos < -1 || RowsPerBlock <= 0) return ODBCRecBOF;
    if (BlockPos > 0) {
        --BlockPos;
    } else if (BlockNo > 0) {
        if (PriorBlock() == SQL_NO_DATA) return ODBCRecBOF;
    } else {
        BlockPos = -1;  // before the first row: the next row is row 0
        return ODBCRecBOF;
    }
    CopySlot(BlockPos, buffer);
    return ODBCRecOK;
}

int TODBC::GetCurrentRecord(void* buffer) {
    if (BlockNo < 0 || BlockPos < -1 || RowsPerBlock <= 0) return ODBCRecEOF;
    if (BlockPos == -1) {
        // Before a block's first row: the current row ends the prior block.
        if (BlockNo == 0) return ODBCRecEOF;
        if (PriorBlock() == SQL_NO_DATA) return ODBCRecEOF;
        CopySlot(BlockPos, buffer);
        return ODBCRecOK;
    }
    if (EndRow >= 0 && BlockNo * RowsPerBlock + BlockPos >= EndRow) {
        // Past the last row: step back onto it, inside the cache.
        if (BlockPos > 0)
            --BlockPos;
        else if (BlockNo > 0)
            PriorBlock();
        return ODBCRecEOF;
    }
    if (BlockPos >= RowsPerBlock) {
        if (NextBlock(false) == SQL_NO_DATA) return ODBCRecEOF;
        BlockPos = 0;
    }
    CopySlot(BlockPos, buffer);
    return ODBCRecOK;
}

int TODBC::GetBookmark(void* dest) const {
    std::int32_t row = BlockNo * RowsPerBlock + BlockPos;
    std::memcpy(dest, &row, sizeof row);
    return 0;
}

int TODBC::SetToBookmark(const void* bookmark) {
    std::int32_t row;
    std::memcpy(&row, bookmark, sizeof row);
    if (RowsPerBlock <= 0) return 0;
    std::int32_t block = row >= 0 ? row / RowsPerBlock : 0;
    BlockPos = row >= 0 ? row % RowsPerBlock : -1;
    if (block == BlockNo &&
        (BlockPos < 0 || FFilled[static_cast<std::size_t>(BlockPos)] || (EndRow >= 0 && row >= EndRow)))
        return 0;
    if (block != BlockNo) {
        BlockNo = block;
        std::fill(FFilled.begin(), FFilled.end(), std::uint8_t{0});
    }
    // A scrollable cursor fetches the target row alone; the rest of its block
    // follows as navigation reaches it. A row that is not there (or a
    // forward-only cursor) brings the whole block, which learns the end.
    if (BlockPos >= 0 && !ForwardOnly() && !Columns.empty() && FillSlot(BlockPos, true)) return 0;
    FetchBlock(false);
    return 0;
}

void TODBC::SetToBegin(bool uniDirectional) {
    if (uniDirectional && BlockPos >= 0 && BlockNo > 0)
        throw EODBCError(0, "Cannot go back to First Row whenUnidirectional is set to True");
    if (RowsPerBlock <= 0) return;
    BlockPos = -1;
    if (BlockNo != 0) {
        BlockNo = 0;
        FetchBlock(uniDirectional);
    }
}

void TODBC::SetToEnd() {
    if (RowsPerBlock <= 0 || BlockNo < 0) return;
    if (RowCount < 0) {
        if (ForwardOnly()) {
            // Read forward to the end; counting could not go back.
            while (EndRow < 0)
                if (NextBlock(true) == SQL_NO_DATA) break;
        } else {
            GetRecordCount(true);
        }
    }
    if (RowCount < 0) return;
    BlockPos = RowCount % RowsPerBlock;
    std::int32_t block = RowCount / RowsPerBlock;
    if (block != BlockNo) {
        BlockNo = block;
        FetchBlock(false);
    }
}

std::int32_t TODBC::GetRecordCount(bool keep) {
    (void)keep;  // counting leaves the position and cache as they were either way
    if (RowCount >= 0) return RowCount;
    // A forward-only cursor cannot count without consuming the rows it has
    // not delivered yet.
    if (ForwardOnly() || BlockNo < 0) return -1;
    if (Columns.empty()) return RowCount = EndRow = 0;
    Unbind();
    std::int32_t count = 0;
    SQLRETURN rc;
    if (CursorMode == cmCursorLibrary && !DeletedRows.empty()) {
        for (;;) {
            rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_ABSOLUTE, MapRowNumber(count + 1));
            if (rc == SQL_NO_DATA) break;
            if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
            ++count;
        }
    } else {
        rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_FIRST, 0);
        while (rc != SQL_NO_DATA) {
            if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
            ++count;
            rc = odbc::SQLFetchScroll(Stmt, SQL_FETCH_NEXT, 0);
        }
    }
    RowCount = EndRow = count;
    return count;
}

void TODBC::InitRecord(void* buffer) {
    std::memset(buffer, 0, CurProps.RecordSize);
    FPendingInsert.clear();
}

SQLRETURN TODBC::Unbind() {
    SQLRETURN rc = odbc::SQLFreeStmt(Stmt, SQL_UNBIND);
    if (ODBCSucceeded(rc))
        ColumnsBound = false;
    else
        ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    return rc;
}

// ---------------------------------------------------------------------------
// Field values.
//
// Buffer forms of GetField and PutField by type: string, the zero-terminated
// text (at most Len bytes with the terminator); boolean 1 byte; 16-bit
// integer 2 bytes; 32-bit integer 4 bytes; float an 8-byte double (decimals
// held as text are converted with "." whatever the locale); timestamp, date
// and time columns an 8-byte double of time-stamp milliseconds (times
// on day 1899-12-30); fixed bytes Units1 bytes; variable bytes a 16-bit
// length followed by the bytes (Units1 + 2 bytes); long columns no value
// (their size decides blank).

int TODBC::GetField(int fieldNo, const void* record, int bookmarkOffset, bool& blank, void* dest) {
    blank = true;
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    const auto* rec = static_cast<const std::byte*>(record);
    if (d.FldType == fcUnknown) return 0;
    try {
        if (d.FldType == fcBlob) {
            std::int32_t size = 0;
            GetBlobSize(record, bookmarkOffset, size, fieldNo);
            blank = size == 0;
            return 0;
        }
        const std::int32_t length = ODBCGetIndicator(record, d);
        if (length < 0) return 0;
        const std::byte* area = rec + d.Offset;
        auto* out = static_cast<std::byte*>(dest);
        switch (d.FldType) {
            case fcString: {
                std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), d.Len - 1u);
                std::memcpy(out, area, n);
                out[n] = std::byte{0};
                break;
            }
            case fcBoolean:
                std::memcpy(out, area, 1);
                break;
            case fcInt16:
                std::memcpy(out, area, 2);
                break;
            case fcInt32:
                std::memcpy(out, area, 4);
                break;
            case fcFloat:
                if (CTypes[static_cast<std::size_t>(fieldNo - 1)] == SQL_C_CHAR) {
                    std::string_view text(reinterpret_cast<const char*>(area),
                                          std::min<std::size_t>(static_cast<std::size_t>(length), d.Len - 1u));
                    double value = 0;
                    if (!ReadPlainDecimal(text, value)) {
                        if (Trim(text).empty()) return 0;
                        if (!TryStrToFloat(text, value)) return -1;
                    }
                    std::memcpy(out, &value, sizeof value);
                } else {
                    std::memcpy(out, area, 8);
                }
                break;
            case fcTimeStamp: {
                double msecs = 0;
                const SQLSMALLINT cType = CTypes[static_cast<std::size_t>(fieldNo - 1)];
                if (cType == SQL_C_CHAR) {
                    int h, mi, s, ms;
                    if (!detail::ParseTimeText(reinterpret_cast<const char*>(area),
                                               std::min<std::size_t>(static_cast<std::size_t>(length), d.Len - 1u), h,
                                               mi, s, ms) ||
                        !detail::EncodeMSecs(1899, 12, 30, h, mi, s, ms, msecs))
                        return -1;
                } else if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
                    SQL_DATE_STRUCT ds;
                    std::memcpy(&ds, area, sizeof ds);
                    if (ds.year == 0 && ds.month == 0 && ds.day == 0) return 0;  // a zero date
                    if (!detail::EncodeMSecs(ds.year, ds.month, ds.day, 0, 0, 0, 0, msecs)) return -1;
                } else {
                    SQL_TIMESTAMP_STRUCT ts;
                    std::memcpy(&ts, area, sizeof ts);
                    const bool noDate = ts.year == 0 || ts.month == 0 || ts.day == 0;
                    if (noDate && ts.hour == 0 && ts.minute == 0 && ts.second == 0 && ts.fraction == 0) return 0;
                    const int ms = static_cast<int>(ts.fraction / 1000000u);  // the fraction is in nanoseconds
                    if (noDate) {
                        if (!detail::EncodeMSecs(1899, 12, 30, ts.hour, ts.minute, ts.second, ms, msecs)) return -1;
                    } else if (!detail::EncodeMSecs(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ms,
                                                    msecs)) {
                        return -1;
                    }
                }
                std::memcpy(out, &msecs, sizeof msecs);
                break;
            }
            case fcBytes: {
                std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), d.Units1);
                std::memcpy(out, area, n);
                std::memset(out + n, 0, d.Units1 - n);
                break;
            }
            case fcVarBytes: {
                auto n = static_cast<std::uint16_t>(std::min<std::size_t>(static_cast<std::size_t>(length), d.Units1));
                std::memcpy(out, &n, sizeof n);
                std::memcpy(out + 2, area, n);
                break;
            }
            default:
                return 0;
        }
    } catch (const std::exception&) {
        blank = true;
        return -1;
    }
    blank = false;
    return 0;
}

int TODBC::PutField(int fieldNo, void* record, const void* src) {
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    if (d.FldType == fcUnknown || d.FldType == fcBlob) return 0;
    auto* area = static_cast<std::byte*>(record) + d.Offset;
    if (src == nullptr) {
        std::memset(area, 0, d.Len);
        ODBCSetIndicator(record, d, -1);
        return 0;
    }
    const auto* in = static_cast<const std::byte*>(src);
    const SQLSMALLINT cType = CTypes[static_cast<std::size_t>(fieldNo - 1)];
    auto putText = [&](const String& text) {
        if (text.size() > d.Len - 1u)
            throw EConvertError(Format("Value '%s' does not fit column %s", text, d.GetName()));
        std::memset(area, 0, d.Len);
        std::memcpy(area, text.data(), text.size());
        ODBCSetIndicator(record, d, static_cast<std::int32_t>(text.size()));
    };
    switch (d.FldType) {
        case fcString: {
            std::size_t n = strnlen(reinterpret_cast<const char*>(in), d.Len - 1u);
            std::memset(area, 0, d.Len);
            std::memcpy(area, in, n);
            ODBCSetIndicator(record, d, static_cast<std::int32_t>(n));
            break;
        }
        case fcBoolean:
            area[0] = std::to_integer<int>(in[0]) != 0 ? std::byte{1} : std::byte{0};
            ODBCSetIndicator(record, d, 1);
            break;
        case fcInt16:
            std::memcpy(area, in, 2);
            ODBCSetIndicator(record, d, 2);
            break;
        case fcInt32:
            std::memcpy(area, in, 4);
            ODBCSetIndicator(record, d, 4);
            break;
        case fcFloat: {
            double value;
            std::memcpy(&value, in, sizeof value);
            if (cType == SQL_C_CHAR) {
                if (!std::isfinite(value))
                    throw EConvertError(Format("Column %s cannot hold a value that is not a number", d.GetName()));
                putText(FloatToStrF(value, ffFixed, std::min<int>(d.Units1, 18), std::max<int>(d.Units2, 0)));
            } else {
                std::memcpy(area, &value, sizeof value);
                ODBCSetIndicator(record, d, 8);
            }
            break;
        }
        case fcTimeStamp: {
            double msecs;
            std::memcpy(&msecs, in, sizeof msecs);
            int y, mo, dd, h, mi, s, ms;
            if (!detail::DecodeMSecs(msecs, y, mo, dd, h, mi, s, ms))
                throw EConvertError(Format("Column %s cannot hold this date and time", d.GetName()));
            if (cType == SQL_C_CHAR) {
                putText(detail::FormatTimeText(h, mi, s, ms));
            } else if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
                SQL_DATE_STRUCT ds{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                   static_cast<SQLUSMALLINT>(dd)};
                std::memset(area, 0, d.Len);
                std::memcpy(area, &ds, sizeof ds);
                ODBCSetIndicator(record, d, sizeof ds);
            } else {
                SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(y),
                                        static_cast<SQLUSMALLINT>(mo),
                                        static_cast<SQLUSMALLINT>(dd),
                                        static_cast<SQLUSMALLINT>(h),
                                        static_cast<SQLUSMALLINT>(mi),
                                        static_cast<SQLUSMALLINT>(s),
                                        static_cast<SQLUINTEGER>(ms) * 1000000u};
                std::memcpy(area, &ts, sizeof ts);
                ODBCSetIndicator(record, d, sizeof ts);
            }
            break;
        }
        case fcBytes:
            std::memcpy(area, in, d.Units1);
            ODBCSetIndicator(record, d, d.Units1);
            break;
        case fcVarBytes: {
            std::uint16_t n;
            std::memcpy(&n, in, sizeof n);
            if (n > d.Units1) n = d.Units1;
            std::memset(area, 0, d.Len);
            std::memcpy(area, in + 2, n);
            ODBCSetIndicator(record, d, n);
            break;
        }
        default:
            break;
    }
    return 0;
}

}  // namespace velora

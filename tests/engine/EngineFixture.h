// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What the engine's database tests share: an engine connection (environment,
// connection and cursor mode through ODBCConnect), a statement opened the way
// a dataset opens one (allocate, prepare, TODBC, execute, cache), and column
// types per driver. Results are checked against a RawConnection, which does
// not go through the library.
#pragma once

#include "support/TestEnv.h"
#include "velora/engine/ODBC.h"
#include "velora/rtl/DateUtils.h"
#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace velora::test {

/// An engine connection to a test driver.
class EngineConnection {
public:
    explicit EngineConnection(const TestDriver& driver) {
        ODBCAllocEnv(FEnv);
        ODBCConnect(FDbc, FEnv, driver.Dsn, driver.User, driver.Password, FMode);
    }
    ~EngineConnection() {
        if (FDbc) {
            odbc::SQLDisconnect(FDbc);
            odbc::SQLFreeHandle(SQL_HANDLE_DBC, FDbc);
        }
        if (FEnv) odbc::SQLFreeHandle(SQL_HANDLE_ENV, FEnv);
    }
    EngineConnection(const EngineConnection&) = delete;
    EngineConnection& operator=(const EngineConnection&) = delete;

    SQLHDBC Dbc() const { return FDbc; }
    TCursorMode Mode() const { return FMode; }

private:
    SQLHENV FEnv = SQL_NULL_HENV;
    SQLHDBC FDbc = SQL_NULL_HDBC;
    TCursorMode FMode = cmForwardOnly;
};

/// A statement opened as a dataset opens it, freed (cursor first) at the end.
class OpenedCursor {
public:
    OpenedCursor(const EngineConnection& conn, const std::string& sql, int rowsPerBlock,
                 ODBCOpenMode mode = ODBCREADWRITE, bool uniDirectional = false, const std::string& table = "") {
        FStmt = ODBCAllocStmt(conn.Dbc());
        ODBCPrepareStmt(FStmt, sql, mode, uniDirectional, conn.Mode());
        FCursor = std::make_unique<TODBC>(conn.Dbc(), FStmt, table, conn.Mode());
        ODBCExecute(FStmt);
        FCursor->OpenCache(rowsPerBlock, FCursor->RecordSize(), uniDirectional);
    }
    ~OpenedCursor() {
        FCursor.reset();
        if (FStmt) odbc::SQLFreeHandle(SQL_HANDLE_STMT, FStmt);
    }
    OpenedCursor(const OpenedCursor&) = delete;
    OpenedCursor& operator=(const OpenedCursor&) = delete;

    TODBC& operator*() const { return *FCursor; }
    TODBC* operator->() const { return FCursor.get(); }
    SQLHSTMT Stmt() const { return FStmt; }

private:
    SQLHSTMT FStmt = SQL_NULL_HSTMT;
    std::unique_ptr<TODBC> FCursor;
};

/// A record buffer of the cursor's row plus a bookmark behind it, as a
/// dataset's record buffer has one.
struct RecordBuffer {
    explicit RecordBuffer(const TODBC& cursor)
        : Bytes(static_cast<std::size_t>(cursor.CurProps.RecordSize) + 16),
          BookmarkOffset(cursor.CurProps.RecordSize) {}
    void* Data() { return Bytes.data(); }
    void SetBookmark(std::int32_t row) { std::memcpy(Bytes.data() + BookmarkOffset, &row, sizeof row); }
    std::vector<std::byte> Bytes;
    int BookmarkOffset;
};

/// Column type of a long binary column the driver describes as long data
/// (the SQLite driver describes "blob" as BINARY(255)).
inline std::string LongBinaryType(const TestDriver& driver) {
    return driver.Kind == DriverKind::SQLite ? "longvarbinary" : BlobType(driver);
}

/// Column type of a timestamp with milliseconds.
inline std::string TimeStampType(const TestDriver& driver) {
    return driver.Kind == DriverKind::MariaDB ? "datetime(3)" : "timestamp";
}

/// Column type of a time of day with milliseconds.
inline std::string TimeType(const TestDriver& driver) {
    return driver.Kind == DriverKind::MariaDB ? "time(3)" : "time";
}

/// Column type of a boolean the driver describes as SQL_BIT.
inline std::string BooleanType(const TestDriver& driver) {
    return driver.Kind == DriverKind::MariaDB ? "bit(1)" : "boolean";
}

/// Time-stamp milliseconds of a date and time (the buffer form of
/// date-time fields), through the run-time library's date-time arithmetic.
inline double MSecs(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return TimeStampToMSecs(DateTimeToTimeStamp(EncodeDateTime(y, mo, d, h, mi, s, ms)));
}

/// True when the connection scrolls (every road but forward-only).
inline bool Scrolls(const EngineConnection& conn) { return conn.Mode() != cmForwardOnly; }

}  // namespace velora::test

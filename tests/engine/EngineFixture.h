// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What the engine's database tests share: an engine connection (environment,
// connection and cursor mode through ODBCConnect), a statement opened the way
// a dataset opens one (allocate, prepare, TODBC, execute, cache), and the
// fixture of the tests that work on tables of their own. Column types per
// driver are the drivers' traits (support/TestEnv.h). Results are checked
// against a RawConnection, which does not go through the library.
#pragma once

#include "support/TestEnv.h"
#include "velora/engine/ODBC.h"
#include "velora/engine/ODBCHandles.h"
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
        ODBCAllocEnv(FEnv.receive());
        ODBCConnect(FDbc.receive(), FEnv.get(), driver.Dsn, driver.User, driver.Password, FMode);
    }

    SQLHDBC Dbc() const { return FDbc.get(); }
    TCursorMode Mode() const { return FMode; }

private:
    TODBCEnvOwner FEnv;      // freed after the connection
    TODBCConnectOwner FDbc;  // rolled back, disconnected and freed
    TCursorMode FMode = cmForwardOnly;
};

/// A statement opened as a dataset opens it, freed (cursor first) at the end.
class OpenedCursor {
public:
    OpenedCursor(const EngineConnection& conn, const std::string& sql, int rowsPerBlock,
                 ODBCOpenMode mode = ODBCREADWRITE, bool uniDirectional = false, const std::string& table = "") {
        FStmt.reset(ODBCAllocStmt(conn.Dbc()));
        ODBCPrepareStmt(FStmt.get(), sql, mode, uniDirectional, conn.Mode());
        FCursor = std::make_unique<TODBC>(conn.Dbc(), FStmt.get(), table, conn.Mode());
        ODBCExecute(FStmt.get());
        FCursor->OpenCache(rowsPerBlock, FCursor->RecordSize(), uniDirectional);
    }

    TODBC& operator*() const { return *FCursor; }
    TODBC* operator->() const { return FCursor.get(); }
    SQLHSTMT Stmt() const { return FStmt.get(); }

private:
    TODBCStmtOwner FStmt;            // freed after the cursor,
    std::unique_ptr<TODBC> FCursor;  // which unbinds its columns first
};

/// The engine tests that work on tables of their own: an engine connection,
/// a raw connection that checks results, and the tables a test creates,
/// dropped when it ends.
class EngineTableTest : public DriverTest {
protected:
    /// `prefix` starts the names of the tables the test creates.
    explicit EngineTableTest(std::string prefix) : FPrefix(std::move(prefix)) {}
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        Conn = std::make_unique<EngineConnection>(Drv());
        Raw = std::make_unique<RawConnection>(Drv());
    }
    void TearDown() override {
        for (const auto& t : Tables) {
            try {
                if (Raw) Raw->DropTableIfExists(t);
            } catch (...) {}
        }
    }
    /// Creates a table of `columns` (dropped when the test ends) and answers its name.
    std::string Table(const std::string& columns) {
        std::string name = UniqueName(FPrefix);
        Tables.push_back(name);
        Raw->DropTableIfExists(name);
        Raw->Exec("CREATE TABLE " + name + " (" + columns + ")");
        return name;
    }

    std::unique_ptr<EngineConnection> Conn;
    std::unique_ptr<RawConnection> Raw;
    std::vector<std::string> Tables;

private:
    std::string FPrefix;
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

/// Time-stamp milliseconds of a date and time (the buffer form of
/// date-time fields), through the run-time library's date-time arithmetic.
inline double MSecs(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return TimeStampToMSecs(DateTimeToTimeStamp(EncodeDateTime(y, mo, d, h, mi, s, ms)));
}

/// True when the connection scrolls (every road but forward-only).
inline bool Scrolls(const EngineConnection& conn) { return conn.Mode() != cmForwardOnly; }

}  // namespace velora::test

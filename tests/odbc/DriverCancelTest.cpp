// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// A cancel from another thread goes to the statement's driver directly, on
// plain and cursor-library connections of every driver: the driver manager's
// SQLCancel rewrites the statement's diagnostics and state while the running
// call writes them too. The direct road must stop a running statement, and
// the statement must run again after the SQLFreeStmt(SQL_CLOSE) that follows.
#include "support/TestEnv.h"

#include "velora/odbc/ODBCBoundary.h"

#include "../../platform/odbc/src/DriverCancelInternal.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace velora::test {
namespace {

namespace odbc = velora::odbc;

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
SQLCHAR* S(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

/// A statement that keeps the driver busy for many seconds unless cancelled.
std::string LongStatement(const TestDriver& d) {
    switch (d.Kind) {
    case DriverKind::SQLite:
        return "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM c WHERE n < 300000000) "
               "SELECT count(*) FROM c";
    case DriverKind::PostgreSQL: return "SELECT pg_sleep(20)";
    default: return "SELECT SLEEP(20)";
    }
}


class DriverCancelTest : public ::testing::TestWithParam<std::tuple<TestDriver, bool>> {
protected:
    void SetUp() override { RequireDriver(std::get<0>(GetParam())); }
};

TEST_P(DriverCancelTest, ACancelReachesTheDriverAndTheStatementRunsAgain) {
    const auto& [d, cursorLibrary] = GetParam();
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    odbc::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
    if (cursorLibrary)
        odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_ODBC), 0);
    ASSERT_TRUE(Ok(odbc::SQLConnect(dbc, S(d.Dsn), SQL_NTS, S(d.User), SQL_NTS, S(d.Password), SQL_NTS)));
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)));

    EXPECT_TRUE(odbc::CancelReachesDriver(stmt));

    const auto start = std::chrono::steady_clock::now();
    std::thread canceller([stmt] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        odbc::SQLCancel(stmt);
    });
    const std::string text = LongStatement(d);
    SQLRETURN rc = odbc::SQLExecDirect(stmt, S(text), SQL_NTS);
    // SQLite does its work in the first fetch.
    if (Ok(rc)) rc = odbc::SQLFetch(stmt);
    canceller.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 10.0) << "the cancel did not stop the statement";
    // MariaDB's SLEEP answers 1 when its query is killed; the others fail.
    if (d.Kind != DriverKind::MariaDB) {
        EXPECT_FALSE(Ok(rc)) << "rc " << rc;
    }

    odbc::SQLFreeStmt(stmt, SQL_CLOSE);
    const std::string again = "SELECT 42";
    ASSERT_TRUE(Ok(odbc::SQLExecDirect(stmt, S(again), SQL_NTS)));
    ASSERT_TRUE(Ok(odbc::SQLFetch(stmt)));
    SQLINTEGER value = 0;
    ASSERT_TRUE(Ok(odbc::SQLGetData(stmt, 1, SQL_C_SLONG, &value, 0, nullptr)));
    EXPECT_EQ(value, 42);

    odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    odbc::SQLDisconnect(dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_ENV, env);
}

// SQLite's driver answers SQLCancel by closing the statement as well, without
// a lock: landing in a fetch, it freed the rows the fetch was reading
// (heap-use-after-free under AddressSanitizer). Its database is interrupted
// instead, which stops a running statement and leaves a result the driver
// already holds to its reader: cancels without pause never cut it short.
TEST(DriverCancelSQLite, CancelsNeverFreeTheRowsAFetchReads) {
    const TestDriver& d = Driver(DriverKind::SQLite);
    ASSERT_EQ(d.Kind, DriverKind::SQLite);
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    odbc::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
    ASSERT_TRUE(Ok(odbc::SQLConnect(dbc, S(d.Dsn), SQL_NTS, S(d.User), SQL_NTS, S(d.Password), SQL_NTS)));
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)));
    ASSERT_TRUE(odbc::CancelReachesDriver(stmt));
    // A static cursor: the driver holds every row once the execute returns.
    odbc::SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
    const std::string text = "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM c WHERE n < 20000) "
                             "SELECT n, 'row ' || n FROM c";
    ASSERT_TRUE(Ok(odbc::SQLExecDirect(stmt, S(text), SQL_NTS)));
    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        while (!stop.load()) odbc::SQLCancel(stmt);
    });
    long long rows = 0;
    long long sum = 0;
    std::string last;
    while (Ok(odbc::SQLFetch(stmt))) {
        SQLINTEGER n = 0;
        char label[32] = {};
        odbc::SQLGetData(stmt, 1, SQL_C_SLONG, &n, 0, nullptr);
        odbc::SQLGetData(stmt, 2, SQL_C_CHAR, label, sizeof label, nullptr);
        ++rows;
        sum += n;
        last = label;
    }
    stop = true;
    canceller.join();
    EXPECT_EQ(rows, 20000);
    EXPECT_EQ(sum, 20000LL * 20001 / 2);
    EXPECT_EQ(last, "row 20000");
    odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    odbc::SQLDisconnect(dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_ENV, env);
}

// Which connects are SQLite's is read from the driver manager's lists before
// the connect, so the database it opens can be found.
TEST(DriverCancelSQLite, TheDriverIsFoundFromADataSourceOrAConnectionString) {
    const std::string sqlite = Driver(DriverKind::SQLite).Dsn;
    const std::string pg = Driver(DriverKind::PostgreSQL).Dsn;
    struct TCase {
        std::string Target;
        bool ConnectionString;
        const char* File;  ///< a part of the driver file's name ("" for none)
    };
    const TCase cases[] = {
        {sqlite, false, "sqlite3odbc"},
        {"DSN=" + sqlite + ";", true, "sqlite3odbc"},
        {"dsn={" + sqlite + "};Timeout=100", true, "sqlite3odbc"},
        {"DRIVER={SQLite3};Database=/tmp/x.db", true, "sqlite3odbc"},
        {"Database=/tmp/x.db;driver=SQLite3", true, "sqlite3odbc"},
        {pg, false, "psqlodbc"},
        {"DSN=" + pg + ";UID=u", true, "psqlodbc"},
        {"DSN=NoSuchSource", true, ""},
        {"Database=/tmp/x.db", true, ""},
    };
    SQLHENV env = nullptr;
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    odbc::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    for (const TCase& c : cases) {
        const std::string file = odbc::detail::DriverFileFor(env, c.Target, c.ConnectionString);
        if (*c.File)
            EXPECT_NE(file.find(c.File), std::string::npos) << c.Target << " -> " << file;
        else
            EXPECT_EQ(file, "") << c.Target;
    }
    odbc::SQLFreeHandle(SQL_HANDLE_ENV, env);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverCancelTest, ::testing::Combine(AllDrivers(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<TestDriver, bool>>& info) {
                             return std::get<0>(info.param).Name +
                                    (std::get<1>(info.param) ? "_CursorLibrary" : "_Driver");
                         });

}  // namespace
}  // namespace velora::test

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

INSTANTIATE_TEST_SUITE_P(Drivers, DriverCancelTest, ::testing::Combine(AllDrivers(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<TestDriver, bool>>& info) {
                             return std::get<0>(info.param).Name +
                                    (std::get<1>(info.param) ? "_CursorLibrary" : "_Driver");
                         });

}  // namespace
}  // namespace velora::test

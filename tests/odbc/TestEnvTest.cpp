// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Checks of the test environment itself: every driver's data source connects
// with the account the suite uses, values of every kind survive a round trip
// through a second connection, and failures carry their SQLSTATE. With the
// servers started these are also the smoke test that PostgreSQL and MariaDB
// are up and reachable through unixODBC.
#include "support/TestEnv.h"

#include <cctype>
#include <set>
#include <stdexcept>

namespace velora::test {
namespace {

bool Contains(const char* text, const std::string& part) { return std::string(text).find(part) != std::string::npos; }

// True when the text holds a diagnostic record "[SQLSTATE] message".
bool HasDiagRecord(const std::string& text) {
    for (size_t open = text.find('['); open != std::string::npos; open = text.find('[', open + 1)) {
        if (open + 8 >= text.size() || text[open + 6] != ']' || text[open + 7] != ' ') continue;
        bool state = true;
        for (size_t i = open + 1; i < open + 6; ++i)
            state = state && (std::isdigit(static_cast<unsigned char>(text[i])) ||
                              std::isupper(static_cast<unsigned char>(text[i])));
        if (state) return true;
    }
    return false;
}

class TestEnvTest : public DriverTest {};

TEST_P(TestEnvTest, DataSourceConnectsAndValuesSurviveARoundTrip) {
    const std::string table = UniqueName("env");
    RawConnection writer(Drv());
    writer.DropTableIfExists(table);
    TableGuard guard(Drv(), table);
    writer.Exec("CREATE TABLE " + table + " (id integer primary key, name varchar(40), memo " + MemoType(Drv()) +
                ", bin " + BlobType(Drv()) + ")");

    // Longer than the oracle's read buffer, so it is read in several pieces.
    std::string memo;
    for (int i = 0; memo.size() < 10000; ++i) memo += "line " + std::to_string(i) + ";";
    const std::string bytes("\x00\x01\xff\x00z", 5);
    writer.Exec("INSERT INTO " + table + " VALUES (1, 'O''Brien', '" + memo + "', " + BinaryLiteral(Drv(), bytes) +
                ")");
    writer.Exec("INSERT INTO " + table + " VALUES (2, '', NULL, NULL)");

    RawConnection reader(Drv());
    auto rows = reader.Query("SELECT id, name, memo FROM " + table + " ORDER BY id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "1");
    EXPECT_EQ(rows[0][1], "O'Brien");
    EXPECT_EQ(rows[0][2], memo);
    EXPECT_EQ(rows[1][1], "");  // empty, not NULL
    EXPECT_EQ(rows[1][2], std::nullopt);

    auto bin = reader.Query("SELECT bin FROM " + table + " ORDER BY id", SQL_C_BINARY);
    ASSERT_EQ(bin.size(), 2u);
    EXPECT_EQ(bin[0][0], bytes);
    EXPECT_EQ(bin[1][0], std::nullopt);
    EXPECT_EQ(reader.Scalar("SELECT COUNT(*) FROM " + table), "2");
}

TEST_P(TestEnvTest, FailureCarriesSqlStateAndStatement) {
    RawConnection conn(Drv());
    const std::string sql = "SELECT * FROM " + UniqueName("missing");
    try {
        conn.Exec(sql);
        FAIL() << "no error for " << sql;
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(HasDiagRecord(e.what())) << e.what();
        EXPECT_TRUE(Contains(e.what(), sql)) << e.what();
    }
}

// psqlODBC and SQLite answer SQL_NO_DATA to a DELETE that matches nothing.
TEST_P(TestEnvTest, StatementMatchingNoRowIsNoError) {
    const std::string table = UniqueName("nodata");
    RawConnection conn(Drv());
    TableGuard guard(Drv(), table);
    conn.Exec("CREATE TABLE " + table + " (id integer)");
    EXPECT_NO_THROW(conn.Exec("DELETE FROM " + table + " WHERE id = 1"));
    EXPECT_THROW(conn.Scalar("SELECT id FROM " + table), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Drivers, TestEnvTest, AllDrivers(), DriverParamName());

// The login data source carries no account; the server checks passwords.
TEST(TestEnvPostgreSQL, LoginDataSourceChecksThePassword) {
    VELORA_REQUIRE_DRIVER(Driver(DriverKind::PostgreSQL));
    RawConnection good(PgLoginDsn, PgLoginUser, PgLoginPassword);
    EXPECT_EQ(good.Scalar("SELECT current_user"), PgLoginUser);

    try {
        RawConnection bad(PgLoginDsn, PgLoginUser, "wrong-pw");
        FAIL() << "wrong password accepted";
    } catch (const std::runtime_error& e) {
        // psqlODBC reports the server's 28P01 as 08001 with the server's text.
        EXPECT_TRUE(Contains(e.what(), "password authentication failed")) << e.what();
    }
    EXPECT_THROW(RawConnection(PgLoginDsn, "", ""), std::runtime_error);
}

// The data source sets BoolsAsChar=0: booleans then describe as SQL_BIT, not
// as VARCHAR(5) holding "true"/"false".
TEST(TestEnvPostgreSQL, DataSourceDescribesBooleansAsBit) {
    VELORA_REQUIRE_DRIVER(Driver(DriverKind::PostgreSQL));
    RawConnection conn(Driver(DriverKind::PostgreSQL));
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    ASSERT_EQ(::SQLAllocHandle(SQL_HANDLE_STMT, conn.Handle(), &stmt), SQL_SUCCESS);
    SQLCHAR sql[] = "SELECT true AS flag";
    SQLSMALLINT type = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(::SQLExecDirect(stmt, sql, SQL_NTS)));
    EXPECT_TRUE(SQL_SUCCEEDED(::SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr)));
    ::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(type, SQL_BIT);
}

TEST(TestEnvMariaDB, WrongPasswordIsRejected) {
    const TestDriver& maria = Driver(DriverKind::MariaDB);
    VELORA_REQUIRE_DRIVER(maria);
    EXPECT_THROW(RawConnection(maria.Dsn, maria.User, "wrong-pw"), std::runtime_error);
    RawConnection good(maria);
    EXPECT_EQ(good.Scalar("SELECT DATABASE()"), "velora_test");
}

TEST(TestEnvUnit, UniqueNamesAreDistinctLowerCaseAndShort) {
    std::set<std::string> names;
    for (int i = 0; i < 100; ++i) {
        std::string name = UniqueName("Orders");
        EXPECT_EQ(name.rfind("orders_", 0), 0u) << name;
        EXPECT_LE(name.size(), 30u) << name;
        EXPECT_TRUE(names.insert(name).second) << name;
    }
}

}  // namespace
}  // namespace velora::test

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What every database test needs to know about its surroundings: the drivers
// the suite runs against (SQLite on a file, PostgreSQL through psqlODBC,
// MariaDB), their data sources and accounts, whether each one is available in
// this run, and a raw ODBC connection that checks results "from a second
// connection". RawConnection is a test oracle: it calls unixODBC directly and
// shares no code with the library under test, so a fault in the library
// cannot hide itself.
//
// The server drivers are available when VELORA_TEST_SERVERS=1 (scripts/test.sh
// sets it after starting the servers). Then a test that needs a server and
// cannot reach it fails; without it such tests are skipped.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace velora::test {

/// The drivers the suite runs against.
enum class DriverKind { SQLite, PostgreSQL, MariaDB };

/// One test driver: its data source and the account the tests use.
struct TestDriver {
    DriverKind Kind;
    std::string Name;      ///< "SQLite", "PostgreSQL" or "MariaDB": also the ctest label
    std::string Dsn;       ///< data source name in <build>/odbc/odbc.ini
    std::string User;      ///< empty for SQLite
    std::string Password;  ///< empty for SQLite

    /// True when this run can use the driver (always for SQLite).
    bool Available() const;
};

/// gtest prints parameters with this (test names stay readable in failures).
void PrintTo(const TestDriver& driver, std::ostream* os);

/// Every test driver, in the order SQLite, PostgreSQL, MariaDB.
const std::vector<TestDriver>& TestDrivers();

/// The driver of one kind.
const TestDriver& Driver(DriverKind kind);

/// True when VELORA_TEST_SERVERS=1: the servers were started and are required.
bool ServersRequired();

/// Skips the current test (GTEST_SKIP) when the driver is not available in
/// this run. Call it from a fixture's SetUp (gtest then skips the body) or use
/// VELORA_REQUIRE_DRIVER in a test body.
void RequireDriver(const TestDriver& driver);

/// In a test body: skip and return when the driver is not available.
#define VELORA_REQUIRE_DRIVER(driver)             \
    do {                                          \
        ::velora::test::RequireDriver(driver);    \
        if (::testing::Test::IsSkipped()) return; \
    } while (0)

/// All drivers, for INSTANTIATE_TEST_SUITE_P(..., AllDrivers(), DriverParamName()).
inline auto AllDrivers() { return ::testing::ValuesIn(TestDrivers()); }

/// Names instances "SQLite", "PostgreSQL" and "MariaDB", so ctest labels
/// (-L sqlite, -L postgresql, -L mariadb) pick them up.
struct DriverParamName {
    std::string operator()(const ::testing::TestParamInfo<TestDriver>& info) const { return info.param.Name; }
};

/// A fixture parameterised over the drivers whose SetUp skips unavailable ones.
class DriverTest : public ::testing::TestWithParam<TestDriver> {
protected:
    void SetUp() override { RequireDriver(GetParam()); }
    const TestDriver& Drv() const { return GetParam(); }
};

/// A short lower-case name unique to this process and call: prefix, process id
/// and a counter ("t_4711_3"). Use it for tables and other objects tests create.
std::string UniqueName(const std::string& prefix = "t");

/// Column type of unbounded text on the driver ("text", or "longtext" on MariaDB).
const char* MemoType(const TestDriver& driver);
/// Column type of unbounded binary data ("blob", "bytea" or "longblob").
const char* BlobType(const TestDriver& driver);
/// An SQL literal of the bytes for the driver's binary column type
/// (X'00FF' on SQLite and MariaDB, '\x00ff'::bytea on PostgreSQL).
std::string BinaryLiteral(const TestDriver& driver, const std::string& bytes);

/// The data source the PostgreSQL login tests use: it holds no user name or
/// password, so the login supplies them.
inline constexpr const char* PgLoginDsn = "VeloraPGLogin";
/// An account only the login tests use (next to the driver's own account).
inline constexpr const char* PgLoginUser = "velora_login";
inline constexpr const char* PgLoginPassword = "login-pw";

/// One row of a result: NULL is an empty optional.
using Row = std::vector<std::optional<std::string>>;

/// A plain unixODBC connection (own environment, autocommit on) for checking
/// what the library wrote, or for preparing data, independent of the library.
/// Every failure throws std::runtime_error holding each diagnostic record as
/// "[SQLSTATE] text" and the statement; SQL_NO_DATA and SQL_SUCCESS_WITH_INFO
/// count as success.
class RawConnection {
public:
    /// Connects with SQLConnect; user and password may be empty.
    RawConnection(const std::string& dsn, const std::string& user, const std::string& password);
    /// Connects to the driver's data source with its account.
    explicit RawConnection(const TestDriver& driver);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    /// Runs a statement that returns no rows (or whose rows are ignored).
    void Exec(const std::string& sql);
    /// Runs a query and reads every row with SQLGetData, whole values however
    /// long. cType SQL_C_CHAR gives the driver's text form; SQL_C_BINARY the
    /// raw bytes (use it for binary columns: as text each driver spells bytes
    /// its own way).
    std::vector<Row> Query(const std::string& sql, SQLSMALLINT cType = SQL_C_CHAR);
    /// The first column of the first row; throws when the query returns no row.
    std::optional<std::string> Scalar(const std::string& sql, SQLSMALLINT cType = SQL_C_CHAR);
    /// DROP TABLE IF EXISTS (all three drivers know it).
    void DropTableIfExists(const std::string& name);

    SQLHDBC Handle() const { return FDbc; }

private:
    SQLHENV FEnv = SQL_NULL_HENV;
    SQLHDBC FDbc = SQL_NULL_HDBC;
    bool FConnected = false;
};

/// Drops a table through its own connection when the scope ends (tests that
/// create tables keep one of these so a failing assertion leaves no litter).
class TableGuard {
public:
    TableGuard(const TestDriver& driver, std::string name) : FDriver(driver), FName(std::move(name)) {}
    ~TableGuard();
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;
    const std::string& Name() const { return FName; }

private:
    TestDriver FDriver;
    std::string FName;
};

}  // namespace velora::test

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

/// Where a test can read back the column size bound with a parameter.
enum class ParamSizeSource {
    None,                     ///< the driver keeps it to itself (SQLite)
    DescribeParam,            ///< SQLDescribeParam (psqlODBC)
    ImplementationDescriptor  ///< SQL_DESC_LENGTH of the implementation parameter descriptor (MariaDB)
};

/// A behaviour a test needs that not every driver has. A test that needs one
/// asks for it (VELORA_REQUIRE_TRAIT); a driver without it skips the test
/// with its measured reason (DriverTraits::WhyNot, in TestEnv.cpp), never by
/// the test's name or a check of which driver runs. docs/testing.md lists
/// them.
enum class Need {
    Accounts,                       ///< HasAccounts
    UnsignedTypes,                  ///< HasUnsignedTypes
    ExactDecimals,                  ///< HasExactDecimals
    DecimalsReadAsText,             ///< exact decimals are fetched as their text
    NumericNaN,                     ///< HasNumericNaN
    TextBeyondDeclaredSize,         ///< KeepsTextBeyondDeclaredSize
    CountDescribedBeforeExecution,  ///< CountDescribedBeforeExecution
    BigSerialKey,                   ///< BigSerialKey is not empty
    CursorsMadeReadOnly,            ///< MakesCursorsReadOnly
    CursorLibrary,                  ///< the engine serves the connection through our cursor library
};

/// How a test driver differs from the others, by name: column types that hold
/// the same values on every driver, SQL spellings, and the behaviours the tests
/// allow for. Tests read these instead of asking which driver runs.
struct DriverTraits {
    bool NeedsServer = false;  ///< runs against a server of its own (not a file)
    bool HasAccounts = true;   ///< connections log in with a user name and password

    // Column types.
    const char* MemoType = "text";                     ///< unbounded text
    const char* BlobType = "blob";                     ///< unbounded binary
    const char* LongBinaryType = "blob";               ///< binary the driver describes as long data
    const char* VarBinaryType = "varbinary(16)";       ///< short variable binary (bytea on psqlODBC: long data)
    const char* FixedBinaryType = "binary(8)";         ///< binary described as fixed bytes; empty when there is none
    const char* DoubleType = "double";                 ///< 8-byte floating point
    const char* TimeStampType = "timestamp";           ///< timestamp with milliseconds
    const char* TimeType = "time";                     ///< time of day with milliseconds
    const char* BooleanType = "boolean";               ///< boolean the driver describes as SQL_BIT
    const char* SerialKey = "id integer primary key";  ///< an "id" key the data source numbers itself
    const char* BigSerialKey = "";                     ///< the same, described as bigint; empty when there is none
    bool HasShortBinary = true;                        ///< VarBinaryType and FixedBinaryType are not long data
    bool WideVarcharIsBound = false;                   ///< varchar(1000) is a bound column, not long data
    bool WideVarcharIsLongData = false;                ///< varchar(1000) is long data by a driver setting (psqlODBC)
    bool HasUnsignedTypes = false;                     ///< integer columns can be declared unsigned
    int OctetsPerChar = 1;                             ///< octets a varchar column counts per character

    // SQL spellings.
    const char* TrueLiteral = "1";  ///< the values of BooleanType
    const char* FalseLiteral = "0";
    const char* IntOfPrefix = "";  ///< around a boolean column, read it as 0 or 1 (AsInt)
    const char* IntOfSuffix = "";
    bool ByteaLiterals = false;      ///< binary literals are '\x..'::bytea, else X'..'
    char IdentifierQuote = '"';      ///< quotes names that are no plain identifiers
    const char* DefaultSchema = "";  ///< the schema (or database) the tests' tables are in; empty: none
    const char* FastWrites = "";     ///< stops each write waiting for the disk (empty: nothing to do)
    const char* SleepFunction = "";  ///< a function that waits its argument in seconds; empty when there is none
    bool HasGenerateSeries = false;  ///< generate_series(a, b) gives the numbers a to b as rows
    /// A statement that runs half a minute or more before it answers one row
    /// (a server's sleep; SQLite, without one, counts to 300 million).
    /// Statements ("{t}" for the table) making every UPDATE that writes
    /// column b of the table fail, whatever its value; empty where the
    /// database has no trigger on a column's write (MariaDB's fire on any
    /// update of the row).
    std::vector<std::string> RefuseWritesOfB = {
        "CREATE TRIGGER {t}_b BEFORE UPDATE OF b ON {t} BEGIN SELECT RAISE(ABORT, 'b written'); END"};
    const char* LongStatement =
        "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM c WHERE n < 300000000) "
        "SELECT count(*) FROM c";
    /// LongStatement with its length the parameter :v (seconds of a server's
    /// sleep, or SQLite's count); run with 0 it answers at once one row, v = 1.
    const char* SizedLongStatement =
        "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM c WHERE n < :v) SELECT count(*) AS v FROM c";
    int SizedLongValue = 300000000;  ///< the :v that makes SizedLongStatement run half a minute or more

    // Behaviour.
    bool NumericKeepsScale = true;              ///< numeric(12,2) reads back "1234.50", not "1234.5"
    bool HasExactDecimals = true;               ///< numeric columns are described as decimals
    bool HasNumericNaN = false;                 ///< numeric columns can hold NaN
    bool KeepsDateTimeText = false;             ///< dates and times stay the text given: compare them as instants
    bool CountDescribedBeforeExecution = true;  ///< COUNT(*) is described by its type before execution
    bool SerialKeyIsAutoUnique = true;          ///< SerialKey's column is described as numbered by the data source
    bool KeepsTextBeyondDeclaredSize = false;   ///< varchar(n) stores longer text and returns it whole
    bool KeepsCursorNames = true;               ///< the driver's own statements keep the cursor name given
    bool SendsNotices = false;                  ///< server notices arrive as SQL_SUCCESS_WITH_INFO
    bool HasKeysetCursors = false;              ///< keyset cursors with every capability the engine uses
    bool MakesCursorsReadOnly = false;          ///< some writable cursors (views, tables without key) come read-only
    ParamSizeSource ParamSizes = ParamSizeSource::None;
    const char* UniqueViolationState = "HY000";   ///< SQLSTATE of a duplicate key
    const char* UniqueViolationText = "";         ///< words of the driver's message for a duplicate key
    const char* NotNullViolationState = "HY000";  ///< SQLSTATE of a NULL in a NOT NULL column
    const char* MissingValueState = "HY000";      ///< SQLSTATE of a row without a value for a NOT NULL column
    bool DecimalsReadAsText = true;               ///< exact decimals are fetched as SQL_C_CHAR text
    bool BinaryArraysOneByOne = false;            ///< parameter arrays with a binary parameter run one by one

    /// Why the driver lacks a Need, as measured (the skip's message).
    std::vector<std::pair<Need, const char*>> WhyNot;
};

/// One test driver: its data source, the account the tests use and its traits.
struct TestDriver {
    DriverKind Kind;
    std::string Name;      ///< "SQLite", "PostgreSQL" or "MariaDB": also the ctest label
    std::string Dsn;       ///< data source name in <build>/odbc/odbc.ini
    std::string User;      ///< empty for SQLite
    std::string Password;  ///< empty for SQLite
    DriverTraits Traits;

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

/// Whether the driver has the behaviour (read from its traits).
bool Has(const TestDriver& driver, Need need);

/// Skips the current test (GTEST_SKIP) with the driver's measured reason
/// when it lacks the behaviour. Use VELORA_REQUIRE_TRAIT in a test body.
void RequireTrait(const TestDriver& driver, Need need);

/// In a test body: skip and return when the driver lacks the behaviour.
#define VELORA_REQUIRE_TRAIT(driver, need)              \
    do {                                                \
        ::velora::test::RequireTrait(driver, need);     \
        if (::testing::Test::IsSkipped()) return;       \
    } while (0)

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
inline const char* MemoType(const TestDriver& driver) { return driver.Traits.MemoType; }
/// Column type of unbounded binary data ("blob", "bytea" or "longblob").
inline const char* BlobType(const TestDriver& driver) { return driver.Traits.BlobType; }
/// Column type of binary data the driver describes as long data.
inline std::string LongBinaryType(const TestDriver& driver) { return driver.Traits.LongBinaryType; }
/// Column type of a timestamp with milliseconds.
inline std::string TimeStampType(const TestDriver& driver) { return driver.Traits.TimeStampType; }
/// Column type of a time of day with milliseconds.
inline std::string TimeType(const TestDriver& driver) { return driver.Traits.TimeType; }
/// Column type of a boolean the driver describes as SQL_BIT.
inline std::string BooleanType(const TestDriver& driver) { return driver.Traits.BooleanType; }
/// An SQL expression that reads a boolean column as 0 or 1 on every driver.
inline std::string AsInt(const TestDriver& driver, const std::string& column) {
    return driver.Traits.IntOfPrefix + column + driver.Traits.IntOfSuffix;
}
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

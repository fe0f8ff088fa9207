// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The test drivers and the raw ODBC oracle connection. The calls here go
// straight to unixODBC (the global ::SQL* functions), never through the
// library's boundary, so fault injection there does not reach the oracle.
#include "support/TestEnv.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

// Sanitizer defaults for every test program, read by the runtimes at start.
// psqlODBC loses a few hundred bytes inside SQLExecute when it opens a keyset
// cursor over a table with a serial key, and inside SQLFreeHandle for a
// prepared statement that never ran: its own bookkeeping. Leaks of ours still
// show, since every handle we fail to free is also allocated by the driver
// manager (libodbc), which is not suppressed.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbca.so\n"
           "leak:psqlodbcw.so\n"
           // MariaDB Connector/ODBC keeps 11 bytes of its own when it refuses to
           // send a value (22008, a negative time): allocated and lost inside the
           // driver, below any call of ours.
           "leak:libmaodbc.so\n"
           // fontconfig and pango keep their font caches for the whole process.
           "leak:libfontconfig.so\n"
           "leak:libpango\n";
}
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

namespace velora::test {

namespace {

// The project's own ODBC configuration, unless the caller chose another.
const bool kOdbcConfigured = [] {
    setenv("ODBCSYSINI", VELORA_ODBC_DIR, 0);
    setenv("ODBCINI", VELORA_ODBC_DIR "/odbc.ini", 0);
    return true;
}();

}  // namespace

namespace {

// Builds the message of a failed call: what was attempted, then each record.
std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& what) {
    std::string message = what;
    for (SQLSMALLINT rec = 1;; ++rec) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[2048] = {};
        SQLSMALLINT textLen = 0;
        SQLRETURN rc = ::SQLGetDiagRec(handleType, handle, rec, state, &native, text, sizeof text, &textLen);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        message += "\n  [";
        message += reinterpret_cast<const char*>(state);
        message += "] ";
        message += reinterpret_cast<const char*>(text);
    }
    return message;
}

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA; }

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const std::string& what) {
    if (!Succeeded(rc)) throw std::runtime_error(Diagnostics(handleType, handle, what));
}

// A statement handle freed on every path.
class Statement {
public:
    explicit Statement(SQLHDBC dbc) {
        Check(::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &FStmt), SQL_HANDLE_DBC, dbc, "SQLAllocHandle(STMT)");
    }
    ~Statement() { ::SQLFreeHandle(SQL_HANDLE_STMT, FStmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void ExecDirect(const std::string& sql) {
        SQLRETURN rc = ::SQLExecDirect(FStmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                                       static_cast<SQLINTEGER>(sql.size()));
        Check(rc, SQL_HANDLE_STMT, FStmt, "SQLExecDirect: " + sql);
    }
    SQLHSTMT Get() const { return FStmt; }

private:
    SQLHSTMT FStmt = SQL_NULL_HSTMT;
};

// Reads one column of the current row, piece by piece. With SQL_C_CHAR each
// piece but the last fills the buffer less its terminating zero; the length
// indicator (not strlen) decides how much of the last piece counts, so bytes
// that are zero (MariaDB hands binary data over unchanged) survive.
std::optional<std::string> ReadColumn(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, const std::string& sql) {
    std::string value;
    char buffer[4096];
    const SQLLEN usable = cType == SQL_C_CHAR ? sizeof buffer - 1 : sizeof buffer;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = ::SQLGetData(stmt, column, cType, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)  // every piece read already
            return value;
        Check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData(" + std::to_string(column) + "): " + sql);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        if (indicator == SQL_NO_TOTAL || indicator > usable) {
            value.append(buffer, static_cast<size_t>(usable));
            if (rc == SQL_SUCCESS)  // a driver that does not report truncation
                return value;
            continue;
        }
        value.append(buffer, static_cast<size_t>(indicator));
        return value;
    }
}

bool EnvFlag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::string(value) == "1";
}

}  // namespace

bool ServersRequired() { return EnvFlag("VELORA_TEST_SERVERS"); }

bool TestDriver::Available() const { return !Traits.NeedsServer || ServersRequired(); }

void PrintTo(const TestDriver& driver, std::ostream* os) { *os << driver.Name << " (" << driver.Dsn << ")"; }

namespace {

/// The SQLite ODBC driver on a file: through our cursor library.
DriverTraits SQLiteTraits() {
    DriverTraits t;
    t.LongBinaryType = "longvarbinary";  // its "blob" is described as BINARY(255)
    t.FixedBinaryType = "";              // "blob" is long data, "binary" is text
    t.FastWrites = "PRAGMA synchronous = OFF";
    t.NumericKeepsScale = false;
    t.HasExactDecimals = false;  // decimals are described as doubles or text
    t.BinaryArraysOneByOne = true;  // the driver takes binary lengths in arrays wrongly
    t.KeepsDateTimeText = true;
    t.CountDescribedBeforeExecution = false;  // COUNT(*) is text until it runs
    t.KeepsCursorNames = false;
    t.HasAccounts = false;
    t.SerialKeyIsAutoUnique = false;  // "integer primary key" is the row id, written like any column
    t.KeepsTextBeyondDeclaredSize = true;
    t.UniqueViolationText = "UNIQUE constraint failed";
    t.DecimalsReadAsText = false;
    t.WhyNot = {
        {Need::Accounts, "a database file: the driver logs nobody in, so no password can be refused"},
        {Need::UnsignedTypes, "no unsigned integer types: every integer is a signed 64-bit value"},
        {Need::ExactDecimals, "NUMERIC columns hold 15-digit REALs or integers, described as doubles or text"},
        {Need::DecimalsReadAsText, "decimals are described as doubles (numeric affinity), fetched as SQL_C_DOUBLE"},
        {Need::NumericNaN, "a NaN written to a numeric column is stored as NULL"},
        {Need::CountDescribedBeforeExecution, "COUNT(*) is described as VARCHAR until the statement runs"},
        {Need::BigSerialKey, "the row id (integer primary key) is the one key the database numbers itself"},
        {Need::CursorsMadeReadOnly, "our cursor library grants every cursor as asked, views and keyless tables too"},
    };
    return t;
}

/// PostgreSQL 15 through psqlODBC: keyset cursors.
DriverTraits PostgreSQLTraits() {
    DriverTraits t;
    t.NeedsServer = true;
    t.BlobType = "bytea";
    t.LongBinaryType = "bytea";
    t.VarBinaryType = "bytea";  // psqlODBC describes bytea as long data
    t.FixedBinaryType = "";
    t.DoubleType = "double precision";
    t.SerialKey = "id serial primary key";
    t.BigSerialKey = "id bigserial primary key";
    t.WideVarcharIsLongData = true;  // MaxVarcharSize 255
    t.HasShortBinary = false;
    t.TrueLiteral = "true";
    t.FalseLiteral = "false";
    t.IntOfPrefix = "CAST(";
    t.IntOfSuffix = " AS int)";
    t.ByteaLiterals = true;
    t.SleepFunction = "pg_sleep";
    t.LongStatement = "SELECT pg_sleep(30)";
    t.SizedLongStatement = "SELECT 1 AS v FROM pg_sleep(:v)";
    t.SizedLongValue = 30;
    t.RefuseWritesOfB = {
        "CREATE FUNCTION {t}_b() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION 'b written'; END$$",
        "CREATE TRIGGER {t}_b BEFORE UPDATE OF b ON {t} FOR EACH ROW EXECUTE FUNCTION {t}_b()"};
    t.HasGenerateSeries = true;
    t.HasNumericNaN = true;
    t.SendsNotices = true;
    t.HasKeysetCursors = true;
    t.MakesCursorsReadOnly = true;
    t.DefaultSchema = "public";
    t.ParamSizes = ParamSizeSource::DescribeParam;
    t.UniqueViolationState = "23505";
    t.NotNullViolationState = "23502";
    t.MissingValueState = "23502";
    t.UniqueViolationText = "duplicate key";
    t.WhyNot = {
        {Need::UnsignedTypes, "no unsigned integer types"},
        {Need::TextBeyondDeclaredSize, "varchar(n) refuses longer text (22001)"},
        {Need::CursorLibrary, "psqlODBC's keyset cursors serve the connection; that road generates no SQL"},
    };
    return t;
}

/// MariaDB through MariaDB Connector/ODBC: through our cursor library.
DriverTraits MariaDBTraits() {
    DriverTraits t;
    t.NeedsServer = true;
    t.MemoType = "longtext";
    t.BlobType = "longblob";
    t.LongBinaryType = "longblob";
    t.TimeStampType = "datetime(3)";
    t.TimeType = "time(3)";
    t.BooleanType = "bit(1)";
    t.SerialKey = "id int auto_increment primary key";
    t.BigSerialKey = "id bigint auto_increment primary key";
    t.HasUnsignedTypes = true;
    t.WideVarcharIsBound = true;
    t.OctetsPerChar = 4;
    t.IntOfPrefix = "(";
    t.IntOfSuffix = " + 0)";
    t.IdentifierQuote = '`';
    t.DefaultSchema = "velora_test";
    t.SleepFunction = "SLEEP";
    t.LongStatement = "SELECT SLEEP(30)";
    t.SizedLongStatement = "SELECT SLEEP(:v) + 1 AS v";
    t.SizedLongValue = 30;
    t.RefuseWritesOfB = {};
    t.ParamSizes = ParamSizeSource::ImplementationDescriptor;
    t.UniqueViolationState = "23000";
    t.NotNullViolationState = "23000";
    t.MissingValueState = "HY000";  // strict mode refuses the missing value itself
    t.UniqueViolationText = "Duplicate entry";
    t.WhyNot = {
        {Need::NumericNaN, "DECIMAL columns hold no NaN"},
        {Need::TextBeyondDeclaredSize, "strict mode refuses longer text (22001)"},
        {Need::CursorsMadeReadOnly, "our cursor library grants every cursor as asked, views and keyless tables too"},
    };
    return t;
}

}  // namespace

const std::vector<TestDriver>& TestDrivers() {
    static const std::vector<TestDriver> drivers = {
        {DriverKind::SQLite, "SQLite", "VeloraTestSQLite", "", "", SQLiteTraits()},
        {DriverKind::PostgreSQL, "PostgreSQL", "VeloraPG", "velora", "velora-pw", PostgreSQLTraits()},
        {DriverKind::MariaDB, "MariaDB", "VeloraMaria", "velora", "velora-pw", MariaDBTraits()},
    };
    return drivers;
}

const TestDriver& Driver(DriverKind kind) {
    const auto& drivers = TestDrivers();
    return *std::find_if(drivers.begin(), drivers.end(), [kind](const TestDriver& d) { return d.Kind == kind; });
}

bool Has(const TestDriver& driver, Need need) {
    const DriverTraits& t = driver.Traits;
    switch (need) {
        case Need::Accounts:
            return t.HasAccounts;
        case Need::UnsignedTypes:
            return t.HasUnsignedTypes;
        case Need::ExactDecimals:
            return t.HasExactDecimals;
        case Need::DecimalsReadAsText:
            return t.DecimalsReadAsText;
        case Need::NumericNaN:
            return t.HasNumericNaN;
        case Need::TextBeyondDeclaredSize:
            return t.KeepsTextBeyondDeclaredSize;
        case Need::CountDescribedBeforeExecution:
            return t.CountDescribedBeforeExecution;
        case Need::BigSerialKey:
            return *t.BigSerialKey != '\0';
        case Need::CursorsMadeReadOnly:
            return t.MakesCursorsReadOnly;
        case Need::CursorLibrary:
            return !t.HasKeysetCursors;
    }
    return false;
}

void RequireTrait(const TestDriver& driver, Need need) {
    if (Has(driver, need)) return;
    const char* why = nullptr;
    for (const auto& [n, reason] : driver.Traits.WhyNot)
        if (n == need) why = reason;
    // A lack without its measured reason is the suite's own fault.
    if (!why) {
        ADD_FAILURE() << driver.Name << " lacks a behaviour the test needs and its traits give no reason";
        return;
    }
    GTEST_SKIP() << driver.Name << ": " << why;
}

void RequireDriver(const TestDriver& driver) {
    if (!driver.Available())
        GTEST_SKIP() << driver.Name << " server not started in this run (scripts/test.sh starts it)";
}

std::string UniqueName(const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    std::string name = prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

std::string BinaryLiteral(const TestDriver& driver, const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    if (driver.Traits.ByteaLiterals) return "'\\x" + hex + "'::bytea";
    return "X'" + hex + "'";
}

RawConnection::RawConnection(const std::string& dsn, const std::string& user, const std::string& password) {
    try {
        Check(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &FEnv), SQL_HANDLE_ENV, SQL_NULL_HANDLE,
              "SQLAllocHandle(ENV)");
        Check(::SQLSetEnvAttr(FEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, FEnv, "SQLSetEnvAttr(ODBC_VERSION)");
        Check(::SQLAllocHandle(SQL_HANDLE_DBC, FEnv, &FDbc), SQL_HANDLE_ENV, FEnv, "SQLAllocHandle(DBC)");
        auto text = [](const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); };
        SQLRETURN rc = ::SQLConnect(FDbc, text(dsn), SQL_NTS, text(user), SQL_NTS, text(password), SQL_NTS);
        Check(rc, SQL_HANDLE_DBC, FDbc, "SQLConnect(" + dsn + ", user '" + user + "')");
        FConnected = true;
    } catch (...) {
        if (FDbc != SQL_NULL_HDBC) ::SQLFreeHandle(SQL_HANDLE_DBC, FDbc);
        if (FEnv != SQL_NULL_HENV) ::SQLFreeHandle(SQL_HANDLE_ENV, FEnv);
        throw;
    }
}

RawConnection::RawConnection(const TestDriver& driver) : RawConnection(driver.Dsn, driver.User, driver.Password) {}

RawConnection::~RawConnection() {
    if (FConnected) ::SQLDisconnect(FDbc);
    ::SQLFreeHandle(SQL_HANDLE_DBC, FDbc);
    ::SQLFreeHandle(SQL_HANDLE_ENV, FEnv);
}

void RawConnection::Exec(const std::string& sql) {
    Statement stmt(FDbc);
    stmt.ExecDirect(sql);
}

std::vector<Row> RawConnection::Query(const std::string& sql, SQLSMALLINT cType) {
    if (cType != SQL_C_CHAR && cType != SQL_C_BINARY)
        throw std::invalid_argument("RawConnection::Query reads SQL_C_CHAR or SQL_C_BINARY only");
    Statement stmt(FDbc);
    stmt.ExecDirect(sql);
    SQLSMALLINT columns = 0;
    Check(::SQLNumResultCols(stmt.Get(), &columns), SQL_HANDLE_STMT, stmt.Get(), "SQLNumResultCols: " + sql);
    if (columns == 0) throw std::runtime_error("RawConnection::Query: statement returned no result set: " + sql);
    std::vector<Row> rows;
    for (;;) {
        SQLRETURN rc = ::SQLFetch(stmt.Get());
        if (rc == SQL_NO_DATA) break;
        Check(rc, SQL_HANDLE_STMT, stmt.Get(), "SQLFetch: " + sql);
        Row row;
        row.reserve(static_cast<size_t>(columns));
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c)
            row.push_back(ReadColumn(stmt.Get(), c, cType, sql));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<std::string> RawConnection::Scalar(const std::string& sql, SQLSMALLINT cType) {
    std::vector<Row> rows = Query(sql, cType);
    if (rows.empty()) throw std::runtime_error("RawConnection::Scalar: no row from: " + sql);
    return rows.front().front();
}

void RawConnection::DropTableIfExists(const std::string& name) { Exec("DROP TABLE IF EXISTS " + name); }

TableGuard::~TableGuard() {
    try {
        RawConnection(FDriver).DropTableIfExists(FName);
    } catch (const std::exception& e) {
        // A destructor must not throw; a leftover table only costs space, and
        // the next run's unique names do not collide with it.
        ADD_FAILURE() << "could not drop " << FName << ": " << e.what();
    }
}

}  // namespace velora::test

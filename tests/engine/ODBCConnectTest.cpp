// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The engine's environment, connection and transaction routines and its
// error path, against the real drivers. Capability masks, return codes and
// diagnostic records that no driver here produces on demand are injected at
// the ODBC boundary; the driver stays underneath. Transactions are checked
// from a second, independent connection (RawConnection).
#include "support/TestEnv.h"

#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::Driver;
using test::DriverKind;
using test::RawConnection;
using test::TestDriver;
namespace faults = odbc::faults;

constexpr SQLUINTEGER kKeysetAll = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE |
                                   SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_BULK_ADD;
constexpr SQLUINTEGER kCursorLibraryAll = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE |
                                          SQL_CA1_POS_POSITION | SQL_CA1_POSITIONED_UPDATE | SQL_CA1_POSITIONED_DELETE |
                                          SQL_CA1_SELECT_FOR_UPDATE;

/// A fault on the named call: answers rc with the records.
faults::Fault Failure(std::string call, SQLRETURN rc, std::vector<odbc::DiagRecord> diags = {}) {
    faults::Fault f;
    f.Call = std::move(call);
    f.Rc = rc;
    f.Diags = std::move(diags);
    return f;
}

/// Runs a statement on a connection of the library (through the boundary).
void Exec(SQLHDBC dbc, const std::string& sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    ASSERT_TRUE(ODBCSucceeded(rc)) << "statement allocation failed";
    rc = odbc::SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    std::string diag;
    if (!ODBCSucceeded(rc))
        for (const auto& d : odbc::ReadDiagnostics(SQL_HANDLE_STMT, stmt)) diag += d.State + " " + d.Text + "\n";
    odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    ASSERT_TRUE(ODBCSucceeded(rc)) << sql << "\n" << diag;
}

/// An environment of the library, and the connection a test makes on it.
class EngineConnection : public ::testing::Test {
protected:
    void SetUp() override { ODBCAllocEnv(FEnv); }
    void TearDown() override {
        if (FDbc != SQL_NULL_HDBC) {
            odbc::SQLEndTran(SQL_HANDLE_DBC, FDbc, SQL_ROLLBACK);
            ODBCDisconnect(FDbc);
            ODBCFreeConnect(FDbc);
        }
        ODBCFreeEnv(FEnv);
    }
    /// Connects and answers the cursor mode's name.
    std::string Connect(const TestDriver& drv) {
        TCursorMode mode = static_cast<TCursorMode>(0xFF);
        ODBCConnect(FDbc, FEnv, drv.Dsn, drv.User, drv.Password, mode);
        return CursorModeName(mode);
    }
    /// True when the connection still runs statements.
    bool Works() {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        if (!ODBCSucceeded(odbc::SQLAllocHandle(SQL_HANDLE_STMT, FDbc, &stmt))) return false;
        bool ok = ODBCSucceeded(
            odbc::SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT 1")), SQL_NTS));
        odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return ok;
    }

    SQLHENV FEnv = SQL_NULL_HENV;
    SQLHDBC FDbc = SQL_NULL_HDBC;
};

// ---------------------------------------------------------------------------
// Cursor modes as the real drivers give them
// ---------------------------------------------------------------------------

using ConnectSQLite = EngineConnection;
using ConnectPostgreSQL = EngineConnection;

TEST_F(ConnectSQLite, GetsTheCursorLibrary) {
    // The SQLite driver offers no keyset cursors: the engine reconnects
    // through the cursor library, whose static cursors do positioned SQL.
    EXPECT_EQ(Connect(Driver(DriverKind::SQLite)), "cmCursorLibrary");
    EXPECT_TRUE(odbc::UsesCursorLibrary(FDbc));
    EXPECT_TRUE(Works());
}

TEST_F(ConnectPostgreSQL, GetsKeysetCursors) {
    VELORA_REQUIRE_DRIVER(Driver(DriverKind::PostgreSQL));
    EXPECT_EQ(Connect(Driver(DriverKind::PostgreSQL)), "cmKeyset");
    EXPECT_FALSE(odbc::UsesCursorLibrary(FDbc));
    EXPECT_TRUE(Works());
}

TEST_F(ConnectPostgreSQL, WrongPasswordRaisesTheServersSqlState) {
    VELORA_REQUIRE_DRIVER(Driver(DriverKind::PostgreSQL));
    // What the driver reports for the refused login, asked without the library.
    std::string expectedState;
    try {
        RawConnection raw(test::PgLoginDsn, test::PgLoginUser, "not-the-password");
        FAIL() << "the oracle connected with a wrong password";
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        const auto open = text.find('[');
        ASSERT_NE(open, std::string::npos) << text;
        expectedState = text.substr(open + 1, 5);
    }
    TCursorMode mode = cmForwardOnly;
    try {
        ODBCConnect(FDbc, FEnv, test::PgLoginDsn, test::PgLoginUser, "not-the-password", mode);
        FAIL() << "a wrong password connected";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.SQLState, expectedState) << e.Message();
        EXPECT_EQ(e.Message().rfind("ODBC32 Error " + expectedState + " :", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find("password authentication failed"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(FDbc, nullptr);
}

TEST_F(EngineConnection, UnknownDataSourceRaisesTheDriverManagersMessage) {
    // What the driver manager itself says, asked without the library.
    const std::string dsn = "VeloraNoSuchSource";
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_EQ(::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_EQ(
        ::SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn.c_str())), SQL_NTS, nullptr, 0, nullptr, 0),
        SQL_ERROR);
    SQLCHAR state[6] = {};
    SQLCHAR text[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    ASSERT_EQ(::SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, text, sizeof text, &len), SQL_SUCCESS);
    ::SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    ::SQLFreeHandle(SQL_HANDLE_ENV, env);
    ASSERT_STREQ(reinterpret_cast<char*>(state), "IM002");

    TCursorMode mode = cmForwardOnly;
    try {
        ODBCConnect(FDbc, FEnv, dsn, "", "", mode);
        FAIL() << "connected to a data source that does not exist";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "ODBC32 Error IM002 :" + std::string(reinterpret_cast<char*>(text)) + "\r\n");
        EXPECT_EQ(e.SQLState, "IM002");
    }
    EXPECT_EQ(FDbc, nullptr);
}

// ---------------------------------------------------------------------------
// Capability masks decide the road (injected on the SQLite driver)
// ---------------------------------------------------------------------------

using CapabilitiesSQLite = EngineConnection;

TEST_F(CapabilitiesSQLite, FullKeysetMaskGivesKeysetMode) {
    faults::Scope scope;
    faults::OverrideInfo(SQL_KEYSET_CURSOR_ATTRIBUTES1, kKeysetAll);
    EXPECT_EQ(Connect(Driver(DriverKind::SQLite)), "cmKeyset");
    EXPECT_EQ(faults::CallCount("SQLConnect"), 1);
}

TEST_F(CapabilitiesSQLite, KeysetMaskLackingOnlyBulkAddLeadsToTheCursorLibrary) {
    faults::Scope scope;
    faults::OverrideInfo(SQL_KEYSET_CURSOR_ATTRIBUTES1, kKeysetAll & ~SQL_CA1_BULK_ADD);
    faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, kCursorLibraryAll);
    EXPECT_EQ(Connect(Driver(DriverKind::SQLite)), "cmCursorLibrary");
    // Connected, disconnected, and connected again through the library.
    EXPECT_EQ(faults::CallCount("SQLConnect"), 2);
    EXPECT_EQ(faults::CallCount("SQLDisconnect"), 1);
    EXPECT_TRUE(odbc::UsesCursorLibrary(FDbc));
}

TEST_F(CapabilitiesSQLite, StaticMaskLackingSelectForUpdateGivesForwardOnlyAndStaysOpen) {
    faults::Scope scope;
    faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, kCursorLibraryAll & ~SQL_CA1_SELECT_FOR_UPDATE);
    EXPECT_EQ(Connect(Driver(DriverKind::SQLite)), "cmForwardOnly");
    ASSERT_NE(FDbc, nullptr);
    EXPECT_TRUE(Works());
}

TEST(ConnectionString, AttributesAreFoundAndRemovedWithTheirBraces) {
    const String cs = "DRIVER={PostgreSQL ANSI};Server=h;PWD={a;b}}c};uid=u;Port=1";
    EXPECT_TRUE(IsConnectionString(cs));
    EXPECT_FALSE(IsConnectionString("VeloraPG"));
    EXPECT_EQ(ConnectionStringValue(cs, "pwd"), "a;b}c");
    EXPECT_EQ(ConnectionStringValue(cs, "UID"), "u");
    bool found = true;
    EXPECT_EQ(ConnectionStringValue(cs, "Database", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(ConnectionStringWithout(cs, ConnectionStringPasswordKeys()),
              "DRIVER={PostgreSQL ANSI};Server=h;uid=u;Port=1");
    EXPECT_EQ(ConnectionStringWithout(cs, ConnectionStringUserKeys()),
              "DRIVER={PostgreSQL ANSI};Server=h;PWD={a;b}}c};Port=1");
    // Braces only where needed; what is braced reads back as given.
    EXPECT_EQ(ConnectionStringAttribute("PWD", "plain-pw"), "PWD=plain-pw");
    const String odd = ConnectionStringAttribute("PWD", " x;y}z");
    EXPECT_EQ(odd, "PWD={ x;y}}z}");
    EXPECT_EQ(ConnectionStringValue("DSN=d;" + odd, "PWD"), " x;y}z");
}

TEST(HasAllCapabilities, EveryBitOfTheKindIsNeeded) {
    EXPECT_TRUE(HasAllCapabilities(kKeysetAll, 1));
    EXPECT_TRUE(HasAllCapabilities(kCursorLibraryAll, 2));
    for (int bit = 0; bit < 32; ++bit) {
        const SQLUINTEGER b = SQLUINTEGER{1} << bit;
        if (kKeysetAll & b) {
            EXPECT_FALSE(HasAllCapabilities(kKeysetAll & ~b, 1)) << std::hex << b;
        }
        if (kCursorLibraryAll & b) {
            EXPECT_FALSE(HasAllCapabilities(kCursorLibraryAll & ~b, 2)) << std::hex << b;
        }
    }
    // The two sets differ: one does not satisfy the other.
    EXPECT_FALSE(HasAllCapabilities(kKeysetAll, 2));
    EXPECT_FALSE(HasAllCapabilities(kCursorLibraryAll, 1));
    EXPECT_TRUE(HasAllCapabilities(0, 3));
}

// ---------------------------------------------------------------------------
// The error path, through injected failures
// ---------------------------------------------------------------------------

using ErrorPathSQLite = EngineConnection;

TEST_F(ErrorPathSQLite, TwoRecordsGiveTwoLines) {
    Connect(Driver(DriverKind::SQLite));
    faults::Scope scope;
    faults::Inject(Failure("SQLEndTran", SQL_ERROR, {{"40001", 11, "first record"}, {"HY000", 22, "second record"}}));
    try {
        ODBCStartTransaction(FDbc);
        FAIL() << "no exception";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "ODBC32 Error 40001 :first record\r\nODBC32 Error HY000 :second record\r\n");
        EXPECT_EQ(e.SQLState, "HY000");
        EXPECT_EQ(e.NativeError, 22);
        // Every record is kept, in order.
        ASSERT_EQ(e.Diagnostics.size(), 2u);
        EXPECT_EQ(e.Diagnostics[0].State, "40001");
        EXPECT_EQ(e.Diagnostics[0].Native, 11);
        EXPECT_EQ(e.Diagnostics[0].Text, "first record");
        EXPECT_EQ(e.Diagnostics[1].State, "HY000");
        EXPECT_EQ(e.Diagnostics[1].Text, "second record");
    }
}

TEST_F(ErrorPathSQLite, FailureWithoutRecordsRaisesNothingAndReturnsTheCode) {
    Connect(Driver(DriverKind::SQLite));
    faults::Scope scope;
    faults::Inject(Failure("SQLEndTran", SQL_NO_DATA));
    EXPECT_EQ(ODBCEndTransaction(FDbc, xendCOMMIT), SQL_NO_DATA);

    // The routine itself: the caller's code and message come back untouched.
    faults::Inject(Failure("SQLEndTran", SQL_NEED_DATA));
    SQLRETURN rc = odbc::SQLEndTran(SQL_HANDLE_DBC, FDbc, SQL_COMMIT);
    String msg = "left over";
    EXPECT_NO_THROW(ODBCCheckError(SQL_HANDLE_DBC, FDbc, rc, msg, false));
    EXPECT_EQ(rc, SQL_NEED_DATA);
    EXPECT_EQ(msg, "");
}

TEST_F(ErrorPathSQLite, ErrorWithoutRecordsRaisesALineOfItsOwn) {
    Connect(Driver(DriverKind::SQLite));
    faults::Scope scope;
    faults::Inject(Failure("SQLEndTran", SQL_ERROR));
    try {
        ODBCEndTransaction(FDbc, xendABORT);
        FAIL() << "SQL_ERROR without records passed as success";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "ODBC32 Error 00000 :return code -1 without diagnostics\r\n");
    }
    SQLRETURN rc = SQL_INVALID_HANDLE;
    String msg;
    EXPECT_THROW(ODBCCheckError(SQL_HANDLE_DBC, SQL_NULL_HANDLE, rc, msg, false), EODBCError);
    EXPECT_EQ(msg, "ODBC32 Error 00000 :return code -2 without diagnostics\r\n");
}

TEST_F(ErrorPathSQLite, SuccessWithInfoFromAnAttributeCallIsSuccess) {
    faults::Scope scope;
    faults::Fault info = Failure("SQLSetConnectAttr", SQL_SUCCESS_WITH_INFO, {{"01S02", 0, "Option value changed"}});
    info.Times = 0;  // every attribute call
    info.CallDriver = true;
    faults::Inject(info);
    EXPECT_NO_THROW(Connect(Driver(DriverKind::SQLite)));
    EXPECT_NE(FDbc, nullptr);
    EXPECT_GE(faults::CallCount("SQLSetConnectAttr"), 3);
}

TEST_F(ErrorPathSQLite, FailingConnectLeavesTheHandleNilAndFreed) {
    faults::Scope scope;
    faults::Inject(Failure("SQLConnect", SQL_ERROR, {{"08001", 7, "server refused"}}));
    TCursorMode mode = cmKeyset;
    try {
        ODBCConnect(FDbc, FEnv, Driver(DriverKind::SQLite).Dsn, "", "", mode);
        FAIL() << "no exception";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "ODBC32 Error 08001 :server refused\r\n");
    }
    EXPECT_EQ(FDbc, nullptr);
    EXPECT_EQ(faults::CallCount("SQLAllocHandle"), 1);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 1);
    EXPECT_STREQ(CursorModeName(mode), "cmKeyset") << "the cursor mode of a failed connect must not change";
}

TEST_F(ErrorPathSQLite, FailingAttributeCallLeavesTheHandleToTheCaller) {
    faults::Scope scope;
    faults::Fault attr = Failure("SQLSetConnectAttr", SQL_ERROR, {{"HY024", 0, "bad value"}});
    attr.Nth = 2;  // the access mode
    faults::Inject(attr);
    TCursorMode mode = cmForwardOnly;
    EXPECT_THROW(ODBCConnect(FDbc, FEnv, Driver(DriverKind::SQLite).Dsn, "", "", mode), EODBCError);
    ASSERT_NE(FDbc, nullptr);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 0);
    EXPECT_EQ(ODBCFreeConnect(FDbc), SQL_SUCCESS);
    FDbc = SQL_NULL_HDBC;
}

// ---------------------------------------------------------------------------
// Transactions, seen from a second connection
// ---------------------------------------------------------------------------

class Transactions : public test::DriverTest {
protected:
    void SetUp() override {
        test::DriverTest::SetUp();
        if (IsSkipped()) return;
        FTable = test::UniqueName("txn");
        FRaw = std::make_unique<RawConnection>(Drv());
        FRaw->DropTableIfExists(FTable);
        FRaw->Exec("CREATE TABLE " + FTable + " (id integer primary key)");
        ODBCAllocEnv(FEnv.receive());
        TCursorMode mode = cmForwardOnly;
        ODBCConnect(FDbc.receive(), FEnv.get(), Drv().Dsn, Drv().User, Drv().Password, mode);
    }
    void TearDown() override {
        FDbc.reset();  // rolls back what a failed test left open
        FEnv.reset();
        if (FRaw) FRaw->DropTableIfExists(FTable);
    }
    void Insert(int id) { Exec(FDbc.get(), "INSERT INTO " + FTable + " VALUES (" + std::to_string(id) + ")"); }
    /// The ids another connection sees.
    std::string Seen() {
        std::string ids;
        for (const auto& row : FRaw->Query("SELECT id FROM " + FTable + " ORDER BY id"))
            ids += (ids.empty() ? "" : ",") + row[0].value_or("NULL");
        return ids;
    }

    std::string FTable;
    std::unique_ptr<RawConnection> FRaw;
    TODBCEnvOwner FEnv;
    TODBCConnectOwner FDbc;
};

TEST_P(Transactions, StartCommitsPendingWorkAndLaterWorkWaitsForCommit) {
    // Pending work: autocommit turned off by hand, one row inserted.
    ASSERT_EQ(
        odbc::SQLSetConnectAttr(FDbc.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
        SQL_SUCCESS);
    Insert(1);
    EXPECT_EQ(Seen(), "");
    ODBCStartTransaction(FDbc.get());
    EXPECT_EQ(Seen(), "1") << "ODBCStartTransaction did not commit the pending work";

    Insert(2);
    EXPECT_EQ(Seen(), "1") << "work inside the transaction is visible before the commit";
    EXPECT_EQ(ODBCEndTransaction(FDbc.get(), xendCOMMIT), SQL_SUCCESS);
    EXPECT_EQ(Seen(), "1,2");

    // After the end the connection commits each statement again.
    Insert(3);
    EXPECT_EQ(Seen(), "1,2,3");
}

TEST_P(Transactions, AbortUndoesTheWork) {
    ODBCStartTransaction(FDbc.get());
    Insert(1);
    Insert(2);
    EXPECT_EQ(Seen(), "");
    EXPECT_EQ(ODBCEndTransaction(FDbc.get(), xendABORT), SQL_SUCCESS);
    EXPECT_EQ(Seen(), "");
    Insert(3);
    EXPECT_EQ(Seen(), "3");
}

TEST_P(Transactions, CommitKeepReturnsMinusOneAndLeavesTheTransactionOpen) {
    ODBCStartTransaction(FDbc.get());
    Insert(1);
    faults::Scope scope;
    EXPECT_EQ(ODBCEndTransaction(FDbc.get(), xendCOMMITKEEP), -1);
    EXPECT_EQ(faults::CallCount("SQLEndTran"), 0);
    EXPECT_EQ(Seen(), "");
    EXPECT_EQ(ODBCEndTransaction(FDbc.get(), xendABORT), SQL_SUCCESS);
    EXPECT_EQ(Seen(), "");
}

TEST_P(Transactions, HandleOwnersFreeOnceAndRollBackWhatIsPending) {
    ODBCStartTransaction(FDbc.get());
    Insert(1);
    faults::Scope scope;
    TODBCStmtOwner first(ODBCAllocStmt(FDbc.get()));
    TODBCStmtOwner second(std::move(first));
    EXPECT_FALSE(first);
    ASSERT_TRUE(second);
    first = std::move(second);
    first.reset();
    EXPECT_FALSE(first);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 1);
    // A connection dropped by its owner ends its transaction by a rollback:
    // the pending row never reaches the data source.
    TODBCConnectOwner moved(std::move(FDbc));
    EXPECT_FALSE(FDbc);
    moved.reset();
    EXPECT_EQ(faults::CallCount("SQLEndTran"), 1);
    EXPECT_EQ(faults::CallCount("SQLDisconnect"), 1);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 2);
    EXPECT_EQ(Seen(), "");
}

INSTANTIATE_TEST_SUITE_P(Drivers, Transactions, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora

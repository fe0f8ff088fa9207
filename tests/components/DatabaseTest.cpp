// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDatabase against the real drivers: every login path on PostgreSQL
// with password authentication (the user is played by the forms layer's
// scripted presenter), the password never reaching Params or a form file,
// one connection per database, guarded properties, transactions seen from a
// second connection, notifications, the screen cursor, the session lock
// across threads, form files and the links to datasets.
#include "components/ComponentTestUtil.h"

#include "velora/components/ODBCObj.h"
#include "velora/forms/Application.h"
#include "velora/classes/FormFiles.h"
#include "velora/odbc/ODBCFaults.h"
#include "velora/forms/Presenters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velora {
namespace {

using namespace std::chrono_literals;
using test::Driver;
using test::DriverKind;
using test::Failure;
using test::OtherThreadCanTakeSessionLock;
using test::RawConnection;
namespace faults = odbc::faults;

/// Runs a statement on a database's connection; answers the first column
/// of the first row, if any.
std::string Exec(TODBCDatabase& db, const std::string& sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!ODBCSucceeded(odbc::SQLAllocHandle(SQL_HANDLE_STMT, db.Handle(), &stmt)))
        throw std::runtime_error("no statement handle");
    SQLRETURN rc = odbc::SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    std::string value;
    if (ODBCSucceeded(rc)) {
        SQLSMALLINT cols = 0;
        odbc::SQLNumResultCols(stmt, &cols);
        if (cols > 0 && ODBCSucceeded(odbc::SQLFetch(stmt))) {
            char buffer[256] = {};
            SQLLEN ind = 0;
            odbc::SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &ind);
            value = buffer;
        }
    }
    std::string diag;
    for (const auto& d : odbc::ReadDiagnostics(SQL_HANDLE_STMT, stmt)) diag += d.State + " " + d.Text + "; ";
    odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (!ODBCSucceeded(rc)) throw std::runtime_error(sql + ": " + diag);
    return value;
}

bool ParamsHold(TODBCDatabase& db, const std::string& text) { return db.Params()->Text().find(text) != String::npos; }

// ---------------------------------------------------------------------------
// Login paths on PostgreSQL with password authentication
// ---------------------------------------------------------------------------

class LoginPostgreSQL : public ::testing::Test {
protected:
    void SetUp() override {
        test::RequireDriver(Driver(DriverKind::PostgreSQL));
        if (IsSkipped()) return;
        Session->Open();
        FDb = std::make_unique<TODBCDatabase>(nullptr);
        FDb->SetDataSourceName(test::PgLoginDsn);
    }
    /// A user who types the password into the focused box and presses OK.
    static std::shared_ptr<TScriptedPresenter> TypesPassword(const std::string& password) {
        auto user = std::make_shared<TScriptedPresenter>();
        user->TypeInto("Password", password).Click("OKButton");
        return user;
    }

    std::unique_ptr<TODBCDatabase> FDb;
};

TEST_F(LoginPostgreSQL, DialogProposesTheUserNameAndOnlyTheUserNameIsKept) {
    FDb->Params()->SetValues("USER NAME", test::PgLoginUser);
    auto user = TypesPassword(test::PgLoginPassword);
    {
        TPresenterScope scope(user);
        TCursorRecorder cursor;
        FDb->Open();
        EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crSQLWait, crDefault}));
    }
    ASSERT_TRUE(FDb->Connected());
    ASSERT_EQ(user->Shown().size(), 1u);
    const TFormView& shown = user->Shown()[0];
    EXPECT_EQ(shown.Control("DatabaseName")->Text, test::PgLoginDsn);
    EXPECT_EQ(shown.Control("UserName")->Text, test::PgLoginUser);
    EXPECT_EQ(shown.Focused, "Password") << "a known user only types the password";

    EXPECT_EQ(FDb->Params()->Values("USER NAME"), test::PgLoginUser);
    EXPECT_EQ(FDb->Params()->IndexOfName("PASSWORD"), -1) << "the typed password landed in Params";
    EXPECT_FALSE(ParamsHold(*FDb, test::PgLoginPassword));

    // Nor in a form file written now.
    TComponent root(nullptr);
    root.SetName("Root");
    root.InsertComponent(FDb.get());
    FDb->SetName("LoginDb");
    const String form = WriteComponentToString(&root);
    root.RemoveComponent(FDb.get());
    EXPECT_NE(form.find(test::PgLoginUser), String::npos) << form;
    EXPECT_EQ(form.find(test::PgLoginPassword), String::npos) << form;

    // A second Open does not prompt.
    FDb->Close();
    auto nobody = std::make_shared<TScriptedPresenter>();
    TPresenterScope scope(nobody);
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
    EXPECT_TRUE(nobody->Shown().empty());
}

TEST_F(LoginPostgreSQL, EmptyProposedNameFocusesTheUserNameBoxAndTheTypedNameIsWrittenBack) {
    auto user = std::make_shared<TScriptedPresenter>();
    user->TypeInto("UserName", test::PgLoginUser).TypeInto("Password", test::PgLoginPassword).Click("OKButton");
    TPresenterScope scope(user);
    FDb->Open();
    ASSERT_TRUE(FDb->Connected());
    ASSERT_EQ(user->Shown().size(), 1u);
    EXPECT_EQ(user->Shown()[0].Focused, "UserName");
    EXPECT_TRUE(user->Shown()[0].Control("UserName")->Enabled);
    EXPECT_EQ(FDb->Params()->Text(), String("USER NAME=") + test::PgLoginUser + "\r\n");
}

TEST_F(LoginPostgreSQL, PasswordLineInParamsIsUsedWithoutPrompt) {
    FDb->Params()->SetValues("USER NAME", test::PgLoginUser);
    FDb->Params()->SetValues("PASSWORD", test::PgLoginPassword);
    auto nobody = std::make_shared<TScriptedPresenter>();
    TPresenterScope scope(nobody);
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
    EXPECT_TRUE(nobody->Shown().empty());
}

TEST_F(LoginPostgreSQL, NoPromptWithLoginPromptFalseOrAnEmptyPasswordLine) {
    auto nobody = std::make_shared<TScriptedPresenter>();
    TPresenterScope scope(nobody);
    FDb->Params()->SetValues("USER NAME", test::PgLoginUser);

    // LoginPrompt False: the connect is tried with an empty password.
    FDb->SetLoginPrompt(false);
    EXPECT_THROW(FDb->Open(), EODBCError);
    EXPECT_FALSE(FDb->Connected());

    // A "PASSWORD" line present but empty counts as present.
    FDb->SetLoginPrompt(true);
    FDb->Params()->Add("PASSWORD=");
    EXPECT_THROW(FDb->Open(), EODBCError);
    EXPECT_FALSE(FDb->Connected());
    EXPECT_TRUE(nobody->Shown().empty());
}

TEST_F(LoginPostgreSQL, CancelRaisesReleasesTheLockAndRestoresTheCursor) {
    FDb->Params()->SetValues("USER NAME", test::PgLoginUser);
    const String before = FDb->Params()->Text();
    auto user = std::make_shared<TScriptedPresenter>();
    user->TypeInto("Password", "typed but cancelled").Click("CancelButton");
    TPresenterScope scope(user);
    TCursorRecorder cursor;
    try {
        FDb->Open();
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cannot connect to database 'VeloraPGLogin'");
    }
    EXPECT_FALSE(FDb->Connected());
    EXPECT_EQ(FDb->Params()->Text(), before);
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crDefault}));
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_EQ(Session->LockCount(), 0);
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST_F(LoginPostgreSQL, OnLoginSuppliesTheLoginOnceAndThePasswordStaysPrivate) {
    int calls = 0;
    FDb->OnLogin = [&](TODBCDatabase* db, TStrings* params) {
        ++calls;
        EXPECT_EQ(db, FDb.get());
        params->SetValues("USER NAME", test::PgLoginUser);
        params->SetValues("PASSWORD", test::PgLoginPassword);
    };
    auto nobody = std::make_shared<TScriptedPresenter>();
    TPresenterScope scope(nobody);
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
    EXPECT_EQ(FDb->Params()->Values("USER NAME"), test::PgLoginUser);
    EXPECT_EQ(FDb->Params()->IndexOfName("PASSWORD"), -1);
    FDb->Close();
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(nobody->Shown().empty());
}

TEST_F(LoginPostgreSQL, OnLoginRaisingPropagatesWithTheSameCleanUp) {
    FDb->OnLogin = [](TODBCDatabase*, TStrings*) { throw EDatabaseError("no credentials today"); };
    TCursorRecorder cursor;
    try {
        FDb->Open();
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "no credentials today");
    }
    EXPECT_FALSE(FDb->Connected());
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crDefault}));
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST_F(LoginPostgreSQL, WrongPasswordRaisesTheServersErrorAndIsNotRemembered) {
    FDb->Params()->SetValues("USER NAME", test::PgLoginUser);
    {
        auto user = TypesPassword("wrong-password");
        TPresenterScope scope(user);
        faults::Scope counting;
        try {
            FDb->Open();
            FAIL() << "a wrong password connected";
        } catch (const EODBCError& e) {
            EXPECT_NE(e.Message().find("password authentication failed"), String::npos) << e.Message();
        }
        EXPECT_EQ(faults::CallCount("SQLAllocHandle"), faults::CallCount("SQLFreeHandle"));
    }
    EXPECT_FALSE(FDb->Connected());
    EXPECT_EQ(FDb->Handle(), nullptr);
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());

    // The next Open asks again instead of reusing the refused password.
    auto user = TypesPassword(test::PgLoginPassword);
    TPresenterScope scope(user);
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
    EXPECT_EQ(user->Shown().size(), 1u);
}

TEST_F(LoginPostgreSQL, AnotherUserNameIsAskedForItsOwnPassword) {
    FDb->Params()->SetValues("USER NAME", test::PgLoginUser);
    {
        auto user = TypesPassword(test::PgLoginPassword);
        TPresenterScope scope(user);
        FDb->Open();
    }
    FDb->Close();
    const test::TestDriver& pg = Driver(DriverKind::PostgreSQL);
    FDb->Params()->SetValues("USER NAME", pg.User);
    auto user = TypesPassword(pg.Password);
    TPresenterScope scope(user);
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
    ASSERT_EQ(user->Shown().size(), 1u) << "the remembered password belongs to another user";
    EXPECT_EQ(user->Shown()[0].Control("UserName")->Text, pg.User);
}

// ---------------------------------------------------------------------------
// One connection per database
// ---------------------------------------------------------------------------

TEST(DatabasePostgreSQL, TwoDatabasesHoldTwoConnections) {
    VELORA_REQUIRE_DRIVER(Driver(DriverKind::PostgreSQL));
    const auto& pg = Driver(DriverKind::PostgreSQL);
    TODBCDatabase one(nullptr);
    TODBCDatabase two(nullptr);
    for (TODBCDatabase* db : {&one, &two}) {
        db->SetDataSourceName(pg.Dsn);
        db->SetLoginPrompt(false);
        db->Open();
    }
    const std::string pidOne = Exec(one, "SELECT pg_backend_pid()");
    const std::string pidTwo = Exec(two, "SELECT pg_backend_pid()");
    EXPECT_NE(pidOne, pidTwo);

    RawConnection raw(pg);
    auto present = [&](const std::string& pid) {
        return raw.Scalar("SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid) ==
               std::optional<std::string>("1");
    };
    EXPECT_TRUE(present(pidOne));
    EXPECT_TRUE(present(pidTwo));

    one.Close();
    // The server notices the end of a session a moment later.
    for (int i = 0; i < 50 && present(pidOne); ++i) std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(present(pidOne));
    EXPECT_TRUE(two.Connected());
    EXPECT_EQ(Exec(two, "SELECT pg_backend_pid()"), pidTwo);
}

// ---------------------------------------------------------------------------
// Properties, notifications and failures (SQLite)
// ---------------------------------------------------------------------------

class DatabaseSQLite : public ::testing::Test {
protected:
    void SetUp() override {
        Session->Open();
        Prepare(FDb);
    }
    static void Prepare(TODBCDatabase& db) {
        db.SetDataSourceName(Driver(DriverKind::SQLite).Dsn);
        db.SetLoginPrompt(false);
    }
    TODBCDatabase FDb{nullptr};
};

TEST_F(DatabaseSQLite, GuardedPropertiesRefuseChangesWhileConnected) {
    FDb.Params()->Add("KEEP=1");
    FDb.Open();
    ASSERT_TRUE(FDb.Connected());
    TODBCSession other(nullptr);
    TStringList replacement;
    replacement.Add("X=1");
    const String open = "Cannot perform this operation on an open database";
    auto refused = [&](const std::function<void()>& change) {
        try {
            change();
            return String("changed");
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
    };
    EXPECT_EQ(refused([&] { FDb.SetDataSourceName("Elsewhere"); }), open);
    EXPECT_EQ(refused([&] { FDb.SetKeepConnection(false); }), open);
    EXPECT_EQ(refused([&] { FDb.Params()->Add("USER NAME=x"); }), open);
    EXPECT_EQ(refused([&] { FDb.Params()->Clear(); }), open);
    EXPECT_EQ(refused([&] { FDb.SetParams(&replacement); }), open);
    EXPECT_EQ(refused([&] { FDb.SetSession(&other); }), open);
    EXPECT_EQ(FDb.DataSourceName(), Driver(DriverKind::SQLite).Dsn);
    EXPECT_TRUE(FDb.KeepConnection());
    EXPECT_EQ(FDb.Params()->Text(), "KEEP=1\r\n");
    EXPECT_EQ(FDb.GetSession(), Session);

    FDb.Close();
    FDb.SetKeepConnection(false);
    FDb.SetParams(&replacement);
    EXPECT_EQ(FDb.Params()->Text(), "X=1\r\n");
}

TEST_F(DatabaseSQLite, TransactionsOnAClosedDatabaseRaise) {
    const String closed = "Cannot perform this operation on a closed database";
    for (auto op : {&TODBCDatabase::StartTransaction, &TODBCDatabase::Commit, &TODBCDatabase::Rollback}) {
        try {
            (FDb.*op)();
            ADD_FAILURE() << "no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), closed);
        }
    }
}

TEST_F(DatabaseSQLite, NotificationsFollowTheLifeOfADatabase) {
    TODBCSession s(nullptr);
    std::vector<std::pair<TODBCDatabaseEvent, TObject*>> events;
    s.OnDatabaseNotify = [&](TODBCDatabaseEvent e, TObject* p) { events.emplace_back(e, p); };
    auto* db = new TODBCDatabase(&s);  // a session as owner is its session
    EXPECT_EQ(db->GetSession(), &s);
    Prepare(*db);
    db->Open();
    db->Open();  // already connected: nothing, no second dbOpen
    db->Close();
    db->Close();
    db->Free();
    using E = std::vector<std::pair<TODBCDatabaseEvent, TObject*>>;
    EXPECT_EQ(events, (E{{dbAdd, db}, {dbOpen, db}, {dbClose, db}, {dbRemove, db}}));
    s.OnDatabaseNotify = nullptr;
}

TEST_F(DatabaseSQLite, EmptyDataSourceNameOpensNothing) {
    FDb.SetDataSourceName("");
    faults::Scope scope;
    EXPECT_NO_THROW(FDb.Open());
    EXPECT_FALSE(FDb.Connected());
    EXPECT_EQ(faults::CallCount("SQLConnect"), 0);
}

TEST_F(DatabaseSQLite, MovingBetweenSessionsSendsNoNotification) {
    TODBCSession s(nullptr);
    int notified = 0;
    s.OnDatabaseNotify = [&](TODBCDatabaseEvent, TObject*) { ++notified; };
    FDb.SetSession(&s);
    EXPECT_EQ(FDb.GetSession(), &s);
    ASSERT_EQ(s.GetDatabaseCount(), 1);
    FDb.Open();
    EXPECT_EQ(Sessions->CurrentSession(), &s) << "connecting makes the session current";
    FDb.Close();
    FDb.SetSession(nullptr);
    EXPECT_EQ(FDb.GetSession(), Session);
    EXPECT_EQ(s.GetDatabaseCount(), 0);
    EXPECT_EQ(notified, 2) << "only dbOpen and dbClose";
    s.OnDatabaseNotify = nullptr;
}

TEST_F(DatabaseSQLite, OpenShowsTheSqlWaitCursorAndReleasesTheLock) {
    TCursorRecorder cursor;
    FDb.Open();
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crSQLWait, crDefault}));
    EXPECT_EQ(Session->LockCount(), 0);
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST_F(DatabaseSQLite, FailedAttributeCallLeavesNoHandleBehind) {
    faults::Scope scope;
    faults::Inject(Failure("SQLSetConnectAttr", SQL_ERROR, {{"HYC00", 0, "timeout not supported"}}));
    TCursorRecorder cursor;
    try {
        FDb.Open();
        FAIL() << "no exception";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "ODBC32 Error HYC00 :timeout not supported\r\n");
    }
    EXPECT_FALSE(FDb.Connected());
    EXPECT_EQ(faults::CallCount("SQLAllocHandle"), 1);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 1) << "the connection handle leaked";
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crSQLWait, crDefault}));
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST_F(DatabaseSQLite, FailingNotificationLeavesTheDatabaseClosed) {
    Session->OnDatabaseNotify = [](TODBCDatabaseEvent e, TObject*) {
        if (e == dbOpen) throw Exception("refused by the application");
    };
    test::TEventReset reset(Session->OnDatabaseNotify);
    faults::Scope scope;
    EXPECT_THROW(FDb.Open(), Exception);
    EXPECT_FALSE(FDb.Connected());
    // The connect succeeded: its handle was disconnected and freed again.
    EXPECT_EQ(faults::CallCount("SQLConnect"), faults::CallCount("SQLDisconnect"));
    EXPECT_EQ(faults::CallCount("SQLAllocHandle"), faults::CallCount("SQLFreeHandle"));
}

TEST_F(DatabaseSQLite, LoginsOfTwoThreadsAreSerialised) {
    TODBCDatabase other(nullptr);
    Prepare(other);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    auto login = [&](TODBCDatabase*, TStrings* params) {
        const int now = inside.fetch_add(1) + 1;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {}
        std::this_thread::sleep_for(150ms);
        inside.fetch_sub(1);
        params->SetValues("USER NAME", "nobody");
    };
    for (TODBCDatabase* db : {&FDb, &other}) {
        db->SetLoginPrompt(true);
        db->OnLogin = login;
    }
    std::atomic<bool> go{false};
    std::thread first([&] {
        while (!go) std::this_thread::yield();
        FDb.Open();
    });
    std::thread second([&] {
        while (!go) std::this_thread::yield();
        other.Open();
    });
    go = true;
    first.join();
    second.join();
    EXPECT_TRUE(FDb.Connected());
    EXPECT_TRUE(other.Connected());
    EXPECT_EQ(most.load(), 1) << "two logins ran at the same time";
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST_F(DatabaseSQLite, AdoptedHandleIsOwnedAndItsCursorModeRead) {
    SQLHDBC dbc = SQL_NULL_HDBC;
    TCursorMode mode = cmKeyset;
    ODBCConnect(dbc, Session->GetHandle(), Driver(DriverKind::SQLite).Dsn, "", "", mode);
    std::vector<TODBCDatabaseEvent> events;
    Session->OnDatabaseNotify = [&](TODBCDatabaseEvent e, TObject*) { events.push_back(e); };
    test::TEventReset reset(Session->OnDatabaseNotify);
    FDb.SetHandle(dbc);
    EXPECT_TRUE(FDb.Connected());
    EXPECT_EQ(FDb.Handle(), dbc);
    EXPECT_EQ(FDb.CursorMode(), mode);
    EXPECT_EQ(Exec(FDb, "SELECT 41 + 1"), "42");
    faults::Scope scope;
    FDb.SetHandle(SQL_NULL_HDBC);
    EXPECT_FALSE(FDb.Connected());
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 1);
    EXPECT_EQ(events, (std::vector<TODBCDatabaseEvent>{dbOpen, dbClose}));
}

// ---------------------------------------------------------------------------
// Transactions through the component, seen from a second connection
// ---------------------------------------------------------------------------

class DatabaseTransactions : public test::DriverTest {
protected:
    void SetUp() override {
        test::DriverTest::SetUp();
        if (IsSkipped()) return;
        FTable = test::UniqueName("dbtx");
        FRaw = std::make_unique<RawConnection>(Drv());
        FRaw->DropTableIfExists(FTable);
        FRaw->Exec("CREATE TABLE " + FTable + " (id integer primary key)");
        FDb = std::make_unique<TODBCDatabase>(nullptr);
        FDb->SetDataSourceName(Drv().Dsn);
        FDb->SetLoginPrompt(false);
        if (!Drv().User.empty()) {
            FDb->Params()->SetValues("USER NAME", Drv().User);
            FDb->Params()->SetValues("PASSWORD", Drv().Password);
        }
        FDb->Open();
    }
    void TearDown() override {
        FDb.reset();
        if (FRaw) FRaw->DropTableIfExists(FTable);
    }
    void Insert(int id) { Exec(*FDb, "INSERT INTO " + FTable + " VALUES (" + std::to_string(id) + ")"); }
    std::string Seen() {
        std::string ids;
        for (const auto& row : FRaw->Query("SELECT id FROM " + FTable + " ORDER BY id"))
            ids += (ids.empty() ? "" : ",") + row[0].value_or("NULL");
        return ids;
    }

    std::string FTable;
    std::unique_ptr<RawConnection> FRaw;
    std::unique_ptr<TODBCDatabase> FDb;
};

TEST_P(DatabaseTransactions, CommitMakesWorkVisibleAndRollbackUndoesIt) {
    TCursorRecorder cursor;
    FDb->StartTransaction();
    Insert(1);
    EXPECT_EQ(Seen(), "");
    FDb->Commit();
    EXPECT_EQ(Seen(), "1");
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crSQLWait, crDefault, crSQLWait, crDefault}));

    FDb->StartTransaction();
    Insert(2);
    FDb->Rollback();
    EXPECT_EQ(Seen(), "1");
    EXPECT_FALSE(FDb->InTransactionGuard());
}

TEST_P(DatabaseTransactions, GuardMakesCommitDoNothing) {
    FDb->StartTransaction();
    Insert(1);
    FDb->SetInTransaction(true);
    EXPECT_NO_THROW(FDb->Commit());
    EXPECT_NO_THROW(FDb->Rollback());
    EXPECT_EQ(Seen(), "");
    FDb->SetInTransaction(false);
    FDb->Commit();
    EXPECT_EQ(Seen(), "1");
}

TEST_P(DatabaseTransactions, FailedEndResetsTheGuardAndTheCursor) {
    FDb->StartTransaction();
    Insert(1);
    {
        faults::Scope scope;
        faults::Inject(Failure("SQLEndTran", SQL_ERROR, {{"40001", 0, "serialization failure"}}));
        EXPECT_THROW(FDb->Commit(), EODBCError);
    }
    EXPECT_FALSE(FDb->InTransactionGuard()) << "every later Commit would do nothing";
    EXPECT_EQ(Screen->Cursor(), crDefault);
    FDb->Commit();
    EXPECT_EQ(Seen(), "1");
}

TEST_P(DatabaseTransactions, CloseInsideATransactionRollsBack) {
    FDb->StartTransaction();
    Insert(1);
    EXPECT_NO_THROW(FDb->Close());
    EXPECT_FALSE(FDb->Connected());
    EXPECT_EQ(Seen(), "");

    FDb->Open();
    FDb->StartTransaction();
    Insert(2);
    FDb.reset();  // destruction likewise
    EXPECT_EQ(Seen(), "");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DatabaseTransactions, test::AllDrivers(), test::DriverParamName());

// ---------------------------------------------------------------------------
// Form files
// ---------------------------------------------------------------------------

TEST(DatabaseFormFileSQLite, StreamedConnectedOpensInLoaded) {
    test::TDesignRoot root(nullptr);
    ReadComponentStringInto(
        "object Root: TDesignRoot\n"
        "  object Db: TODBCDatabase\n"
        "    Connected = True\n"
        "    DataSourceName = '" +
            Driver(DriverKind::SQLite).Dsn +
            "'\n"
            "    LoginPrompt = False\n"
            "    Params.Strings = (\n"
            "      'A=1')\n"
            "  end\n"
            "end\n",
        &root);
    auto* db = dynamic_cast<TODBCDatabase*>(root.FindComponent("Db"));
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->Params()->Text(), "A=1\r\n");
    const String text = WriteComponentToString(&root);
    EXPECT_NE(text.find("LoginPrompt = False"), String::npos) << text;
    EXPECT_EQ(text.find("KeepConnection"), String::npos) << text;
    EXPECT_EQ(text.find("About"), String::npos) << text;
    EXPECT_EQ(text.find("Session"), String::npos) << "the default session is not stored\n" << text;
}

TEST(DatabaseFormFileSQLite, LoadedFailureGoesToTheHandlerInDesignModeAndPropagatesOtherwise) {
    Session->Open();
    const String form =
        "object Root: TDesignRoot\n"
        "  object Db: TODBCDatabase\n"
        "    Connected = True\n"
        "    DataSourceName = 'VeloraNoSuchSource'\n"
        "    LoginPrompt = False\n"
        "  end\n"
        "end\n";
    {
        test::TDesignRoot root(nullptr);
        try {
            ReadComponentStringInto(form, &root);
            FAIL() << "no exception";
        } catch (const EODBCError& e) {
            EXPECT_EQ(e.SQLState, "IM002");
        }
        EXPECT_EQ(root.FindComponent("Db"), nullptr);
    }
    {
        test::TDesignRoot root(nullptr);
        root.SetDesigning(true);
        test::TExceptionRecorder handled;
        EXPECT_NO_THROW(ReadComponentStringInto(form, &root));
        auto* db = dynamic_cast<TODBCDatabase*>(root.FindComponent("Db"));
        ASSERT_NE(db, nullptr);
        EXPECT_FALSE(db->Connected());
        ASSERT_EQ(handled.Senders.size(), 1u);
        EXPECT_EQ(handled.Senders[0], db);
        EXPECT_EQ(handled.Messages[0].rfind("ODBC32 Error IM002 :", 0), 0u) << handled.Messages[0];
    }
}

// ---------------------------------------------------------------------------
// Datasets
// ---------------------------------------------------------------------------

/// The smallest dataset: it links to a database, and while "open" it is on
/// the database's list of datasets in use.
class TLinkedDataSet : public TComponent, public TODBCDataSetLink {
public:
    TLinkedDataSet(TComponent* owner, std::vector<TLinkedDataSet*>* log) : TComponent(owner), FLog(log) {}
    void SetDatabase(TODBCDatabase* db) { LinkDatabase(db); }
    void Open() {
        Database()->Open();
        Database()->AddDataSet(this);
    }
    void Disconnect() override {
        if (FLog) FLog->push_back(this);
        if (!StaysInUse) Database()->RemoveDataSet(this);
    }
    void DatabaseFreed() override { ++Freed; }

    bool StaysInUse = false;
    int Freed = 0;

private:
    std::vector<TLinkedDataSet*>* FLog;
};

TEST_F(DatabaseSQLite, CloseDisconnectsDatasetsInUseFromTheLast) {
    std::vector<TLinkedDataSet*> log;
    TLinkedDataSet a(nullptr, &log), b(nullptr, &log), idle(nullptr, &log);
    for (TLinkedDataSet* ds : {&a, &b, &idle}) ds->SetDatabase(&FDb);
    a.Open();
    b.Open();
    EXPECT_EQ(FDb.GetDataSetCount(), 2);
    EXPECT_EQ(FDb.GetDataSet(0), &a);
    FDb.Close();
    EXPECT_EQ(log, (std::vector<TLinkedDataSet*>{&b, &a}));
    EXPECT_EQ(FDb.GetDataSetCount(), 0);
    EXPECT_FALSE(FDb.Connected());
    EXPECT_EQ(a.Database(), &FDb) << "closing keeps the link";
}

TEST_F(DatabaseSQLite, DatasetThatStaysInUseDoesNotHoldUpClose) {
    std::vector<TLinkedDataSet*> log;
    TLinkedDataSet stubborn(nullptr, &log);
    stubborn.SetDatabase(&FDb);
    stubborn.StaysInUse = true;
    stubborn.Open();
    FDb.Close();
    EXPECT_EQ(log.size(), 1u);
    EXPECT_FALSE(FDb.Connected());
    EXPECT_EQ(FDb.GetDataSetCount(), 0);
}

TEST(DatabaseDataSets, DestroyedDatabaseLeavesNoDatasetWithADanglingReference) {
    TComponent form(nullptr);
    TComponent otherForm(nullptr);
    auto* db = new TODBCDatabase(&form);
    auto* sameOwner = new TLinkedDataSet(&form, nullptr);
    auto* otherOwner = new TLinkedDataSet(&otherForm, nullptr);
    TLinkedDataSet unowned(nullptr, nullptr);
    for (TLinkedDataSet* ds : {sameOwner, otherOwner, &unowned}) ds->SetDatabase(db);
    db->Free();
    for (TLinkedDataSet* ds : {sameOwner, otherOwner, &unowned}) {
        EXPECT_EQ(ds->Database(), nullptr);
        EXPECT_EQ(ds->Freed, 1);
    }
}

TEST(DatabaseDataSets, DestroyedDatasetLeavesTheDatabasesLists) {
    TODBCDatabase db(nullptr);
    {
        TLinkedDataSet ds(nullptr, nullptr);
        ds.SetDatabase(&db);
        db.AddDataSet(&ds);
        EXPECT_EQ(db.GetDataSetCount(), 1);
    }
    EXPECT_EQ(db.GetDataSetCount(), 0);
    TODBCDatabase other(nullptr);
    TLinkedDataSet moved(nullptr, nullptr);
    moved.SetDatabase(&db);
    moved.SetDatabase(&other);
    db.FreeDataSets();
    EXPECT_EQ(moved.Database(), &other) << "a dataset moved elsewhere is no longer this database's";
}

// A catalog call whose statement the driver refuses to free raises that
// error to the caller (it once aborted the process from a destructor), and
// one failing on the way reports its own error while the statement is freed.
TEST_F(DatabaseSQLite, CatalogCallsRaiseAFailedStatementFreeAndFreeOnErrors) {
    FDb.Open();
    TODBCQuery q(nullptr);
    q.SetDataBase(&FDb);
    q.SQL()->SetText("CREATE TABLE IF NOT EXISTS catalog_free (id integer primary key, v text)");
    q.ExecSQL();
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"tables", [&] { ODBCListTables(FDb, false); }},
        {"columns", [&] { ODBCListColumns(FDb, "catalog_free"); }},
        {"primary key", [&] { ODBCPrimaryKey(FDb, "catalog_free"); }},
        {"indexes", [&] { ODBCListIndexes(FDb, "catalog_free"); }},
        {"foreign keys", [&] { ODBCListForeignKeys(FDb, "catalog_free"); }},
    };
    for (const auto& [what, call] : calls) {
        SCOPED_TRACE(what);
        faults::Scope scope;
        faults::Fault refuse = Failure("SQLFreeHandle", SQL_ERROR, {{"HY013", 0, "memory management error"}});
        refuse.CallDriver = true;  // the handle is freed; the answer says it was not
        faults::Inject(refuse);
        EXPECT_THROW(call(), EODBCError);
    }
    faults::Scope scope;
    faults::Inject(Failure("SQLFetch", SQL_ERROR, {{"HY000", 0, "fetch refused"}}));
    EXPECT_THROW(ODBCListTables(FDb, false), EODBCError);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 1) << "the statement of a failed call leaked";
}

}  // namespace
}  // namespace velora

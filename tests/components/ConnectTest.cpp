// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Connecting the way each driver allows: connection strings on the three
// drivers (editing through them on both roads, the password kept out of
// DataSourceName, Params, form files and messages), a data source's own
// account used when no user is given, the truthful login-prompt error and
// IM002, LoginTimeout against a server that never answers; statements cancelled from another thread and stopped by
// QueryTimeout; NULL parameters in one call; the transaction guard.
#include "components/ComponentTestUtil.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCTable.h"
#include "velora/classes/FormFiles.h"
#include "velora/forms/Presenters.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace velora {
namespace {

using test::Driver;
using test::DriverKind;
using Clock = std::chrono::steady_clock;

/// Opens `x` (a query or a database) and answers how long it took and the
/// error's SQLSTATE ("(none)" when it opened).
template <class T>
std::pair<double, std::string> TimedOpen(T& x) {
    const auto t0 = Clock::now();
    std::string state = "(none)";
    try {
        x.Open();
    } catch (const EODBCError& e) {
        state = e.SQLState;
    }
    return {std::chrono::duration<double>(Clock::now() - t0).count(), state};
}

/// A connection string reaching the driver's test database without odbc.ini.
std::string ConnectionString(const test::TestDriver& d, const std::string& sqliteFile) {
    auto env = [](const char* name) { return std::string(std::getenv(name) ? std::getenv(name) : ""); };
    switch (d.Kind) {
        case DriverKind::SQLite:
            return "DRIVER=SQLite3;Database=" + sqliteFile;
        case DriverKind::PostgreSQL:
            return "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=" + env("VELORA_PG_PORT") +
                   ";Database=velora_test;UID=velora;PWD=" + d.Password + ";BoolsAsChar=0;UpdatableCursors=1";
        case DriverKind::MariaDB:
            return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + env("VELORA_MARIADB_PORT") +
                   ";DATABASE=velora_test;UID=velora;PASSWORD=" + d.Password;
    }
    return {};
}

template <typename F>
String ErrorText(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

class Connect : public test::DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        Session->Open();
        FRaw = std::make_unique<test::RawConnection>(Drv());
        FOwner.reset(new TComponent(nullptr));
        FOwner->SetName("Root");
        FDb = new TODBCDatabase(FOwner.get());
        FDb->SetName("Db");
        FSqliteFile = std::string(VELORA_BINARY_DIR) + "/" + test::UniqueName("cs") + ".db";
    }
    void TearDown() override {
        FOwner.reset();
        if (FRaw)
            for (const std::string& t : FTables) FRaw->DropTableIfExists(t);
        std::remove(FSqliteFile.c_str());
    }
    /// A table on the database the test connects to (the SQLite file is the
    /// connection string's own).
    std::string CreateTable(test::RawConnection& raw, const std::string& columns) {
        std::string name = test::UniqueName("c");
        raw.Exec("CREATE TABLE " + name + " (" + columns + ")");
        if (&raw == FRaw.get()) FTables.push_back(name);
        return name;
    }
    void UseAccount() {
        FDb->SetDataSourceName(Drv().Dsn);
        FDb->SetLoginPrompt(false);
        if (!Drv().User.empty()) FDb->Params()->SetValues("USER NAME", Drv().User);
        FDb->Params()->SetValues("PASSWORD", Drv().Password);
    }
    TODBCQuery* NewQuery(const String& sql) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetDataBase(FDb);
        q->SQL()->SetText(sql);
        return q;
    }

    std::unique_ptr<test::RawConnection> FRaw;
    TOwnedPtr<TComponent> FOwner;
    TODBCDatabase* FDb = nullptr;
    std::string FSqliteFile;
    std::vector<std::string> FTables;
};

TEST_P(Connect, ConnectionStringEditsLikeTheDataSourceAndKeepsThePasswordOut) {
    const std::string cs = ConnectionString(Drv(), FSqliteFile);
    // The same cursor mode as a connection to the data source.
    UseAccount();
    FDb->Open();
    const TCursorMode viaDsn = FDb->CursorMode();
    FDb->Close();
    FDb->Params()->Clear();
    // A password in the string means: no prompt (SQLite has none to give).
    FDb->SetLoginPrompt(!Drv().Password.empty());

    FDb->SetDataSourceName(cs);
    if (!Drv().Password.empty()) {
        EXPECT_EQ(FDb->DataSourceName().find(Drv().Password), String::npos) << FDb->DataSourceName();
        EXPECT_EQ(WriteComponentToString(FOwner.get()).find(Drv().Password), String::npos);
    }
    auto nobody = std::make_shared<TScriptedPresenter>();
    TPresenterScope scope(nobody);
    FDb->Open();
    EXPECT_TRUE(nobody->Shown().empty());
    EXPECT_EQ(FDb->CursorMode(), viaDsn);
    EXPECT_NE(FDb->CursorMode(), cmForwardOnly);
    EXPECT_TRUE(FDb->Params()->Text().empty());

    // Editing through it: the row written is the row read back elsewhere.
    // A file database: the connection string opens a file of its own.
    const bool ownFile = !Drv().Traits.NeedsServer;
    std::unique_ptr<test::RawConnection> sqlite;
    test::RawConnection* raw = FRaw.get();
    if (ownFile) {
        sqlite = std::make_unique<test::RawConnection>("VeloraTestSQLite", "", "");
        sqlite->Exec("ATTACH DATABASE '" + FSqliteFile + "' AS cs");
        raw = sqlite.get();
    }
    const std::string t = test::UniqueName("c");
    raw->Exec("CREATE TABLE " + std::string(ownFile ? "cs." : "") + t + " (id integer primary key, v varchar(10))");
    if (!sqlite) FTables.push_back(t);
    const std::string qualified = (ownFile ? "cs." : "") + t;
    raw->Exec("INSERT INTO " + qualified + " VALUES (1, 'old')");
    auto* table = new TODBCTable(FOwner.get());
    table->SetDataBase(FDb);
    table->SetTableName(t);
    table->Open();
    table->Edit();
    table->FieldByName("v")->SetAsString("new");
    table->Post();
    table->Append();
    table->FieldByName("id")->SetAsInteger(2);
    table->FieldByName("v")->SetAsString("two");
    table->Post();
    table->Close();
    EXPECT_EQ(raw->Scalar("SELECT v FROM " + qualified + " WHERE id = 1"), "new");
    EXPECT_EQ(raw->Scalar("SELECT count(*) FROM " + qualified), "2");
}

TEST_P(Connect, WrongPasswordInAConnectionStringIsNotRepeatedInTheError) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::Accounts);
    std::string cs = ConnectionString(Drv(), FSqliteFile);
    cs.replace(cs.find(Drv().Password), Drv().Password.size(), "secret-Xy7");
    FDb->SetDataSourceName(cs);
    const String message = ErrorText([&] { FDb->Open(); });
    EXPECT_NE(message.find("ODBC32 Error"), String::npos) << message;
    EXPECT_EQ(message.find("secret-Xy7"), String::npos) << message;
    EXPECT_EQ(FDb->DataSourceName().find("secret-Xy7"), String::npos);
}

TEST_P(Connect, DataSourceWithItsOwnAccountNeedsNoUser) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::Accounts);
    // VeloraPG and VeloraMaria hold user and password; nothing is passed.
    FDb->SetDataSourceName(Drv().Dsn);
    FDb->SetLoginPrompt(false);
    FDb->Open();
    EXPECT_TRUE(FDb->Connected());
}

/// Runs `run` and answers how long it took and the last record's SQLSTATE
/// ("(none)" when it raised nothing).
template <typename F>
std::pair<double, std::string> TimedRun(F&& run) {
    const auto t0 = Clock::now();
    std::string state = "(none)";
    try {
        run();
    } catch (const EODBCError& e) {
        state = e.Diagnostics.empty() ? e.SQLState : e.Diagnostics.back().State;
    }
    return {std::chrono::duration<double>(Clock::now() - t0).count(), state};
}

TEST_P(Connect, CancelFromAnotherThreadAndQueryTimeoutStopTheStatement) {
    UseAccount();
    TODBCQuery* q = NewQuery(Drv().Traits.LongStatement);
    EXPECT_FALSE(q->CancelStatement()) << "nothing runs yet";

    std::thread canceller([q] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        while (!q->CancelStatement()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    auto [cancelSeconds, cancelState] = TimedRun([q] { q->Open(); });
    canceller.join();
    EXPECT_LT(cancelSeconds, 5.0);
    EXPECT_EQ(cancelState, "HY008");
    EXPECT_FALSE(q->Active());

    // The watchdog stops an open and an ExecSQL alike, and says so: soon
    // after the limit (2 s, so that a stop as late as twice the limit fails).
    q->SetQueryTimeout(2);
    auto [timeoutSeconds, timeoutState] = TimedRun([q] { q->Open(); });
    EXPECT_LT(timeoutSeconds, 3.9);
    EXPECT_GE(timeoutSeconds, 1.9) << "stopped before the limit";
    EXPECT_EQ(timeoutState, "HYT00");
    auto [execSeconds, execState] = TimedRun([q] { q->ExecSQL(); });
    EXPECT_LT(execSeconds, 3.9);
    EXPECT_EQ(execState, "HYT00") << "a timed-out ExecSQL is no success";
    // Read forward-only (as the tool streams), SQLite's driver does the
    // statement's work in the first fetch: the timeout stops it there too.
    TODBCQuery* fo = NewQuery(Drv().Traits.LongStatement);
    fo->SetUniDirectional(true);
    fo->SetQueryTimeout(1);
    auto [fetchSeconds, fetchState] = TimedRun([fo] { fo->Open(); });
    EXPECT_LT(fetchSeconds, 5.0);
    EXPECT_EQ(fetchState, "HYT00") << "a statement working inside its first fetch";
    EXPECT_FALSE(fo->Active());
    std::printf("[measured] %s: cancel %.2f s SQLSTATE %s; timeout %.2f s SQLSTATE %s; ExecSQL %.2f s; "
                "forward-only %.2f s\n",
                Drv().Name.c_str(), cancelSeconds, cancelState.c_str(), timeoutSeconds, timeoutState.c_str(),
                execSeconds, fetchSeconds);

    // The same dataset opens again.
    q->SetQueryTimeout(0);
    q->SQL()->SetText("SELECT 42 AS answer");
    q->Open();
    EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), 42);
}

/// Runs `run` on a thread of its own and answers as TimedRun. A run still
/// waiting after 20 s cannot be stopped from here: the test program ends at
/// once, failing, rather than waiting for the test's own time limit.
template <typename F>
std::pair<double, std::string> BoundedRun(F run) {
    auto running = std::async(std::launch::async, [run] { return TimedRun(run); });
    if (running.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: a run of the reused query still waits after 20 s\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
    return running.get();
}

// A query that timed out and was cancelled again and again, each time on the
// statement it keeps prepared (ExecSQL keeps it; MariaDB's next execute after
// a KILL that interrupted one waited for ever): every run is stopped within
// the limit, and a normal run of the same query returns its row afterwards.
TEST_P(Connect, EveryRunOfAReusedQueryStopsAndItRunsNormallyAfterwards) {
    UseAccount();
    TODBCQuery* q = NewQuery(Drv().Traits.SizedLongStatement);
    q->ParamByName("v")->SetAsInteger(Drv().Traits.SizedLongValue);
    q->SetQueryTimeout(1);
    for (int run = 1; run <= 4; ++run) {
        const bool cancel = run == 4;
        std::thread canceller;
        if (cancel) {
            q->SetQueryTimeout(0);
            canceller = std::thread([q] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                while (!q->CancelStatement()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            });
        }
        auto [seconds, state] = BoundedRun([q] { q->ExecSQL(); });
        if (canceller.joinable()) canceller.join();
        EXPECT_EQ(state, cancel ? "HY008" : "HYT00") << "run " << run;
        EXPECT_LT(seconds, 5.0) << "run " << run;
    }
    q->ParamByName("v")->SetAsInteger(0);
    const auto [seconds, state] = BoundedRun([q] { q->Open(); });
    ASSERT_TRUE(q->Active()) << state << " after " << seconds << " s";
    EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), 1);
}

// Short statements opening and closing while another thread cancels without
// pause: a cancel touches a statement only while the driver executes it
// (SQLite's and MariaDB's SQLCancel closes a statement that is not executing,
// under the owner's feet), and never one being freed.
TEST_P(Connect, CancelRacingShortStatementsNeverTouchesOneThatIsNotExecuting) {
    UseAccount();
    TODBCQuery* q = NewQuery("SELECT 1 AS one");
    std::atomic<bool> stop{false};
    std::atomic<int> hits{0};
    std::thread canceller([&] {
        while (!stop.load())
            if (q->CancelStatement()) {
                ++hits;
                // PostgreSQL's cancel opens a connection of its own: let a run finish now and then.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
    });
    int opened = 0;
    int cancelled = 0;
    for (int i = 0; i < 1500; ++i) {
        try {
            q->Open();
            EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), 1);
            ++opened;
        } catch (const EODBCError& e) {
            // A cancel that reached the statement says so as its last record.
            ASSERT_FALSE(e.Diagnostics.empty());
            EXPECT_EQ(e.Diagnostics.back().State, "HY008") << e.Message();
            ++cancelled;
        }
        q->Close();
    }
    stop = true;
    canceller.join();
    EXPECT_EQ(opened + cancelled, 1500);
    EXPECT_LE(cancelled, hits.load()) << "a failure no cancel explains";
    std::printf("[measured] %s: %d opened, %d cancelled, %d cancels reached a statement\n", Drv().Name.c_str(), opened,
                cancelled, hits.load());
    // Nothing is left cancelled: the next run answers.
    EXPECT_FALSE(q->CancelStatement());
    q->Open();
    EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), 1);
}

// A cancel that finds no statement inside the driver touches nothing and is
// not remembered: the scan it came between goes on to its last row.
TEST_P(Connect, ACancelBetweenFetchesIsNotRemembered) {
    UseAccount();
    const std::string t = CreateTable(*FRaw, "id integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1), (2), (3), (4), (5), (6), (7)");
    for (const bool forwardOnly : {true, false}) {
        TODBCQuery* q = NewQuery("SELECT id FROM " + t + " ORDER BY id");
        q->SetUniDirectional(forwardOnly);
        q->SetRowSetSize(2);
        q->Open();
        int rows = 0;
        for (; !q->Eof(); q->Next()) {
            EXPECT_FALSE(q->CancelStatement()) << "nothing runs between fetches";
            EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), ++rows);
        }
        EXPECT_EQ(rows, 7) << (forwardOnly ? "forward-only" : "scrollable");
        q->Close();
    }
}

// Scans of a result fetched in small blocks while another thread cancels
// without pause: a cancel may now reach a fetch, and a scan it reached
// raises HY008; one it did not reach reads every row. A result is never cut
// short in silence (a driver's cancel between rows closes the cursor, after
// which a fetch answers "no more rows").
TEST_P(Connect, CancelDuringFetchesNeverCutsAResultShortInSilence) {
    UseAccount();
    const std::string t = CreateTable(*FRaw, "id integer");
    std::string values;
    for (int i = 1; i <= 60; ++i) values += (i > 1 ? ", (" : "(") + std::to_string(i) + ")";
    FRaw->Exec("INSERT INTO " + t + " VALUES " + values);
    for (const bool forwardOnly : {true, false}) {
        TODBCQuery* q = NewQuery("SELECT id FROM " + t + " ORDER BY id");
        q->SetUniDirectional(forwardOnly);
        q->SetRowSetSize(3);
        std::atomic<bool> stop{false};
        std::thread canceller([&] {
            while (!stop.load())
                if (q->CancelStatement()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        int whole = 0, cancelled = 0;
        for (int run = 0; run < 150; ++run) {
            int rows = 0;
            try {
                q->Open();
                for (; !q->Eof(); q->Next()) EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), ++rows);
                EXPECT_EQ(rows, 60) << "a scan that raised nothing read every row";
                ++whole;
            } catch (const EODBCError& e) {
                ASSERT_FALSE(e.Diagnostics.empty());
                EXPECT_EQ(e.Diagnostics.back().State, "HY008") << e.Message();
                ++cancelled;
            }
            q->Close();
        }
        stop = true;
        canceller.join();
        std::printf("[measured] %s %s: %d scans whole, %d cancelled\n", Drv().Name.c_str(),
                    forwardOnly ? "forward-only" : "scrolling", whole, cancelled);
        EXPECT_EQ(whole + cancelled, 150);
    }
}

TEST_P(Connect, NullVariantParameterIsABoundNull) {
    UseAccount();
    const std::string t = CreateTable(*FRaw, "id integer, v varchar(10)");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'a'), (2, NULL)");
    // PostgreSQL cannot type a bare "? IS NULL": the SQL says which type.
    TODBCQuery* q = NewQuery("SELECT id FROM " + t + " WHERE v = :p OR (CAST(:q AS varchar(10)) IS NULL AND id = 1)");
    q->ParamByName("p")->SetAsVariant(Null());
    q->ParamByName("q")->SetAsVariant(Null());
    EXPECT_TRUE(q->ParamByName("p")->IsNull());
    EXPECT_TRUE(q->ParamByName("p")->Bound());
    q->Open();
    EXPECT_EQ(q->Fields().Fields(0)->AsInteger(), 1) << "v = NULL is never true; NULL IS NULL is";
    q->Next();
    EXPECT_TRUE(q->Eof());
    q->Close();

    TODBCQuery* insert = NewQuery("INSERT INTO " + t + " VALUES (3, :v)");
    insert->ParamByName("v")->SetAsVariant(Null());
    insert->ExecSQL();
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t + " WHERE id = 3 AND v IS NULL"), "1");
}

TEST_P(Connect, TransactionGuardRollsBackOnExceptionAndCommitsWhenTold) {
    UseAccount();
    const std::string t = CreateTable(*FRaw, "id integer");
    FDb->Open();
    TODBCQuery* insert = NewQuery("INSERT INTO " + t + " VALUES (:id)");
    auto count = [&] { return FRaw->Scalar("SELECT count(*) FROM " + t); };
    try {
        TODBCTransaction transaction(*FDb);
        insert->ParamByName("id")->SetAsInteger(1);
        insert->ExecSQL();
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {}
    EXPECT_EQ(count(), "0");
    {
        TODBCTransaction transaction(*FDb);
        insert->ParamByName("id")->SetAsInteger(2);
        insert->ExecSQL();
        transaction.Commit();
        EXPECT_FALSE(transaction.Active());
        EXPECT_THROW(transaction.Commit(), EDatabaseError);
    }
    EXPECT_EQ(count(), "1");
    // Autocommit is back on: the next statement is seen at once.
    insert->ParamByName("id")->SetAsInteger(3);
    insert->ExecSQL();
    EXPECT_EQ(count(), "2");
}

TEST_P(Connect, HandleMadeByTheApplicationWithSQLDriverConnectEdits) {
    // Made with the driver manager directly, as an application would.
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_TRUE(ODBCSucceeded(::SQLAllocHandle(SQL_HANDLE_DBC, Session->GetHandle(), &dbc)));
    std::string cs = ConnectionString(Drv(), FSqliteFile);
    ASSERT_TRUE(ODBCSucceeded(::SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr,
                                                 0, nullptr, SQL_DRIVER_NOPROMPT)));
    FDb->SetHandle(dbc);
    EXPECT_NE(FDb->CursorMode(), cmForwardOnly);
    // Created through the adopted connection (the SQLite file is its own).
    const std::string table = test::UniqueName("a");
    if (Drv().Traits.NeedsServer) FTables.push_back(table);
    auto* sql = NewQuery("CREATE TABLE " + table + " (id integer primary key, v varchar(10))");
    sql->ExecSQL();
    sql->SQL()->SetText("INSERT INTO " + table + " VALUES (1, 'old')");
    sql->ExecSQL();
    auto* t = new TODBCTable(FOwner.get());
    t->SetDataBase(FDb);
    t->SetTableName(table);
    t->Open();
    EXPECT_TRUE(t->CanModify());
    t->Edit();
    t->FieldByName("v")->SetAsString("new");
    t->Post();
    t->Close();
    t->Open();
    EXPECT_EQ(t->FieldByName("v")->AsString(), "new");
}

INSTANTIATE_TEST_SUITE_P(Drivers, Connect, test::AllDrivers(), test::DriverParamName());

// ---------------------------------------------------------------------------
// Prompting, without a server

TEST(ConnectPromptSQLite, NoTerminalSaysWhyAndAMissingDataSourceGivesIM002) {
    Session->Open();
    TPresenterScope none(nullptr);  // no presenter and no terminal
    TODBCDatabase db(nullptr);
    db.SetDataSourceName("VeloraTestSQLite");
    EXPECT_EQ(ErrorText([&] { db.Open(); }),
              "Cannot connect to database 'VeloraTestSQLite': login prompt needs a terminal; set --user/--password "
              "(USER NAME and PASSWORD in Params) or LoginPrompt False");
    db.SetLoginPrompt(false);
    db.Open();
    EXPECT_TRUE(db.Connected());
    db.Close();

    // A data source nobody defined: the driver manager's own answer, whether
    // prompting or not, and no dialog first.
    auto nobody = std::make_shared<TScriptedPresenter>();
    TPresenterScope scope(nobody);
    for (bool prompt : {true, false}) {
        db.SetDataSourceName("VeloraNoSuchSource");
        db.SetLoginPrompt(prompt);
        try {
            db.Open();
            ADD_FAILURE() << "connected";
        } catch (const EODBCError& e) {
            EXPECT_EQ(e.SQLState, "IM002") << e.Message();
        }
    }
    EXPECT_TRUE(nobody->Shown().empty());
}

TEST(ConnectPromptPostgreSQL, PasswordTypedForAConnectionStringStaysPrivate) {
    test::RequireDriver(Driver(DriverKind::PostgreSQL));
    if (::testing::Test::IsSkipped()) return;
    Session->Open();
    TComponent root(nullptr);
    root.SetName("Root");
    auto* db = new TODBCDatabase(&root);
    db->SetName("Db");
    const std::string port = std::getenv("VELORA_PG_PORT") ? std::getenv("VELORA_PG_PORT") : "";
    const String cs = "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=" + port + ";Database=velora_test";
    db->SetDataSourceName(cs);
    db->Params()->SetValues("USER NAME", test::PgLoginUser);
    auto user = std::make_shared<TScriptedPresenter>();
    user->TypeInto("Password", test::PgLoginPassword).Click("OKButton");
    TPresenterScope scope(user);
    db->Open();
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->DataSourceName(), cs);
    EXPECT_EQ(db->Params()->Text().find(test::PgLoginPassword), String::npos);
    EXPECT_EQ(WriteComponentToString(&root).find(test::PgLoginPassword), String::npos);
}

// ---------------------------------------------------------------------------
// LoginTimeout

/// A loopback port whose connections the kernel completes (they wait in the
/// listen backlog) but nobody ever answers: a server hanging at login.
class TSilentServer {
public:
    TSilentServer() : FSocket(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (FSocket < 0 || ::bind(FSocket, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(FSocket, 16) != 0 ||
            ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("no loopback port to listen on");
        FPort = ntohs(a.sin_port);
    }
    ~TSilentServer() { Close(); }
    TSilentServer(const TSilentServer&) = delete;
    TSilentServer& operator=(const TSilentServer&) = delete;
    int Port() const { return FPort; }
    /// Resets the connections waiting in the backlog: a client still waiting
    /// gets an error instead of hanging the suite.
    void Close() {
        if (FSocket >= 0) ::close(std::exchange(FSocket, -1));
    }

private:
    int FSocket;
    int FPort = 0;
};

// psqlODBC honours SQL_ATTR_LOGIN_TIMEOUT (libpq's connect_timeout); the
// MariaDB driver ignores it at the handshake (docs/platform-notes-local.md),
// so only PostgreSQL is checked.
/// A connection to a silent server: the driver, the text to connect with
/// (%d stands for the silent port) and the SQLSTATE its timeout raises.
struct TSilentLogin {
    const char* Label;
    DriverKind Kind;
    const char* Target;
    const char* State;
};

const TSilentLogin kSilentLogins[] = {
    {"PostgreSQLString", DriverKind::PostgreSQL,
     "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=%d;Database=velora_test;UID=velora;PWD=x", "08001"},
    // MariaDB's driver ignores SQL_ATTR_LOGIN_TIMEOUT at the handshake: the
    // library gives it CONN_TIMEOUT, for a driver named directly and for a
    // data source whose driver it is.
    {"MariaDBString", DriverKind::MariaDB,
     "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=%d;DATABASE=velora_test;UID=velora;PASSWORD=x", "08S01"},
    {"MariaDBDataSource", DriverKind::MariaDB, "DSN=VeloraMaria;SERVER=127.0.0.1;PORT=%d", "08S01"},
};

class ConnectLoginTimeout : public ::testing::TestWithParam<TSilentLogin> {};

TEST_P(ConnectLoginTimeout, AServerThatNeverAnswersFailsWithinTheTimeout) {
    const TSilentLogin& c = GetParam();
    test::RequireDriver(Driver(c.Kind));
    if (::testing::Test::IsSkipped()) return;
    Session->Open();
    TSilentServer silent;
    TODBCDatabase db(nullptr);
    char target[256];
    std::snprintf(target, sizeof target, c.Target, silent.Port());
    db.SetDataSourceName(target);
    db.SetLoginPrompt(false);
    db.SetLoginTimeout(2);
    auto opening = std::async(std::launch::async, [&db] { return TimedOpen(db); });
    const bool returned = opening.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    silent.Close();
    const auto [seconds, state] = opening.get();
    EXPECT_TRUE(returned) << "Open still waiting after 10 s: LoginTimeout did not reach the driver";
    EXPECT_GE(seconds, 1.5) << "failed before the timeout, so something else stopped it";
    EXPECT_EQ(state, c.State);
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(db.DataSourceName().find("CONN_TIMEOUT"), String::npos) << "the option reaches the driver only";
    std::printf("[measured] %s: LoginTimeout 2 against a silent server: %.2f s, SQLSTATE %s\n", c.Label, seconds,
                state.c_str());
}

INSTANTIATE_TEST_SUITE_P(Roads, ConnectLoginTimeout, ::testing::ValuesIn(kSilentLogins),
                         [](const ::testing::TestParamInfo<TSilentLogin>& i) { return i.param.Label; });

}  // namespace
}  // namespace velora

// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Sessions: the components' start-up and shut-down (observed in fresh processes),
// activation order and OnStartup, the session lock on one and on two
// threads, failures while an environment is allocated, form files, and the
// databases of a session as it is deactivated or destroyed.
#include "components/ComponentTestUtil.h"

#include "velora/components/ODBCObj.h"
#include "velora/forms/Application.h"
#include "velora/classes/FormFiles.h"
#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace velora {
namespace {

using namespace std::chrono_literals;
using test::Failure;
using test::OtherThreadCanTakeSessionLock;
namespace faults = odbc::faults;

// ---------------------------------------------------------------------------
// Start-up and shut-down
// ---------------------------------------------------------------------------

TEST(SessionStartUp, OneInactiveDefaultSessionAfterLoading) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A fresh process: nothing but the components' start-up has run.
            const bool ok = Sessions != nullptr && Sessions->Count() == 1 && Sessions->GetSession(0) == Session &&
                            Session->Name() == "SessionDefault" && Session->IsDefault() &&
                            Sessions->CurrentSession() == Session && !Session->Active() &&
                            Session->Owner() == nullptr && CoInitializeCount() == 1;
            std::fprintf(stderr, ok ? "start-up as expected\n" : "start-up state wrong\n");
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "start-up as expected");
}

TEST(SessionShutDownSQLite, ClosesTheDatabasesOfEverySessionAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Left alive on purpose: shut-down must close it. Reachable from
            // here, so the leak checker does not count it.
            static TODBCDatabase* database = nullptr;
            auto* other = new TODBCSession(nullptr);
            other->SetName("Other");
            database = new TODBCDatabase(nullptr);
            database->SetSession(other);
            database->SetDataSourceName(test::Driver(test::DriverKind::SQLite).Dsn);
            database->SetLoginPrompt(false);
            database->Open();
            other->OnDatabaseNotify = [](TODBCDatabaseEvent event, TObject*) {
                if (event == dbClose) std::fprintf(stderr, "closed at shut-down\n");
            };
            std::exit(database->Connected() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "closed at shut-down");
}

// ---------------------------------------------------------------------------
// Sessions of an application
// ---------------------------------------------------------------------------

TEST(Session, ApplicationSessionsAreNeverDefaultAndLeaveTheListWhenFreed) {
    const int before = Sessions->Count();
    TODBCSession* current = Sessions->CurrentSession();
    {
        TODBCSession s(nullptr);
        EXPECT_FALSE(s.IsDefault());
        EXPECT_EQ(Sessions->Count(), before + 1);
        EXPECT_EQ(Sessions->GetSession(before), &s);
        EXPECT_EQ(Sessions->CurrentSession(), current) << "creating a session must not make it current";
        EXPECT_TRUE(s.KeepConnections());
        EXPECT_TRUE(s.SQLHourGlass());
    }
    EXPECT_EQ(Sessions->Count(), before);
    EXPECT_THROW(Sessions->GetSession(before), EListError);
}

TEST(Session, GetHandleStartsAnInactiveSessionAndMakesAnActiveOneCurrent) {
    TODBCSession s(nullptr);
    ASSERT_FALSE(s.Active());
    SQLHENV env = s.GetHandle();
    EXPECT_NE(env, nullptr);
    EXPECT_TRUE(s.Active());
    EXPECT_TRUE(Session->Active()) << "the default session starts before any other";
    EXPECT_EQ(s.GetHandle(), env);
    EXPECT_EQ(Sessions->CurrentSession(), &s);

    s.Close();
    EXPECT_FALSE(s.Active());
    EXPECT_EQ(s.Handle(), nullptr);
    EXPECT_EQ(Sessions->CurrentSession(), Session) << "deactivation leaves the default session current";
}

TEST(Session, StartingRunsOwnHandlerThenTheDefaultsThenAllocatesTheDefaultFirst) {
    Session->Close();
    ASSERT_FALSE(Session->Active());
    std::vector<std::string> events;
    test::TEventReset resetDefault(Session->OnStartup);
    TODBCSession s(nullptr);
    auto state = [&] { return std::string(Session->Active() ? "D+" : "D-") + (s.Active() ? "S+" : "S-"); };
    Session->OnStartup = [&](TObject* sender) {
        events.push_back("default startup " + state() + (sender == Session ? "" : "?"));
    };
    s.OnStartup = [&](TObject* sender) { events.push_back("own startup " + state() + (sender == &s ? "" : "?")); };
    TCursorRecorder cursor;
    const int observer = Screen->AddCursorObserver([&](TCursor c) {
        if (c == crDefault) events.push_back("allocated " + state());
    });
    s.Open();
    Screen->RemoveCursorObserver(observer);
    EXPECT_EQ(events, (std::vector<std::string>{"own startup D-S-", "default startup D-S-", "allocated D+S-",
                                                "allocated D+S+"}));
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crHourGlass, crDefault, crHourGlass, crDefault}));
}

TEST(Session, OnStartupRaisingLeavesTheSessionInactiveAndTheLockFree) {
    Session->Open();
    TODBCSession s(nullptr);
    s.OnStartup = [](TObject*) { throw Exception("not now"); };
    faults::Scope scope;
    try {
        s.Open();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "not now");
    }
    EXPECT_FALSE(s.Active());
    EXPECT_EQ(faults::CallCount("SQLAllocHandle"), 0);
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST(Session, FailedAllocationRestoresTheCursorAndLeavesTheSessionInactive) {
    Session->Open();
    TODBCSession s(nullptr);
    faults::Scope scope;
    faults::Inject(Failure("SQLAllocHandle", SQL_ERROR, {{"HY001", 0, "out of memory"}}));
    TCursorRecorder cursor;
    try {
        s.Open();
        FAIL() << "no exception";
    } catch (const EODBCError& e) {
        // There is no environment to read the record from: the error path
        // reports the code.
        EXPECT_EQ(e.Message(), "ODBC32 Error 00000 :return code -1 without diagnostics\r\n");
    }
    EXPECT_EQ(cursor.Values(), (std::vector<TCursor>{crHourGlass, crDefault}));
    EXPECT_FALSE(s.Active());
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

TEST(Session, EnvironmentWhoseVersionCannotBeSetIsFreed) {
    Session->Open();
    TODBCSession s(nullptr);
    faults::Scope scope;
    faults::Inject(Failure("SQLSetEnvAttr", SQL_ERROR, {{"HY024", 0, "bad version"}}));
    EXPECT_THROW(s.Open(), EODBCError);
    EXPECT_FALSE(s.Active());
    EXPECT_EQ(faults::CallCount("SQLAllocHandle"), 1);
    EXPECT_EQ(faults::CallCount("SQLFreeHandle"), 1);
    EXPECT_EQ(Screen->Cursor(), crDefault);
}

// ---------------------------------------------------------------------------
// The session lock
// ---------------------------------------------------------------------------

TEST(SessionLock, NestedLockingOnOneThreadHoldsUntilTheLastUnlock) {
    TODBCSession s(nullptr);
    s.LockSession();
    EXPECT_TRUE(s.Active()) << "locking starts an inactive session";
    s.UnlockSession();
    s.LockSession();
    EXPECT_EQ(Sessions->CurrentSession(), &s) << "locking makes an active session current";
    s.LockSession();
    EXPECT_EQ(s.LockCount(), 2);
    s.UnlockSession();
    EXPECT_EQ(s.LockCount(), 1);
    EXPECT_FALSE(OtherThreadCanTakeSessionLock());
    s.UnlockSession();
    EXPECT_EQ(s.LockCount(), 0);
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
    s.UnlockSession();  // unbalanced: nothing to release
    EXPECT_EQ(s.LockCount(), 0);
}

TEST(SessionLock, ASecondThreadWaitsWhileTheFirstHoldsTheLock) {
    TODBCSession s(nullptr);
    TODBCSession other(nullptr);
    s.Open();
    other.Open();
    s.LockSession();
    std::atomic<int> entered{0};
    // One thread on the same session (its count is above zero), one on
    // another session: both must wait.
    std::thread same([&] {
        s.LockSession();
        entered.fetch_add(1);
        s.UnlockSession();
    });
    std::thread different([&] {
        other.LockSession();
        entered.fetch_add(1);
        other.UnlockSession();
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(entered.load(), 0) << "a thread passed the session lock while another thread held it";
    s.UnlockSession();
    same.join();
    different.join();
    EXPECT_EQ(entered.load(), 2);
    EXPECT_EQ(s.LockCount(), 0);
    EXPECT_EQ(other.LockCount(), 0);
    EXPECT_TRUE(OtherThreadCanTakeSessionLock());
}

// ---------------------------------------------------------------------------
// Form files
// ---------------------------------------------------------------------------

TEST(SessionFormFile, ActiveActsOnlyWhenLoaded) {
    test::TDesignRoot root(nullptr);
    int startups = 0;
    bool loadingAtStartup = true;
    root.RegisterMethod("RootStartup", TNotifyEvent([&](TObject* sender) {
                            ++startups;
                            loadingAtStartup = static_cast<TComponent*>(sender)->IsLoading();
                        }));
    ReadComponentStringInto(
        "object Root: TDesignRoot\n"
        "  object S2: TODBCSession\n"
        "    Active = True\n"
        "    OnStartup = RootStartup\n"
        "  end\n"
        "end\n",
        &root);
    auto* s2 = dynamic_cast<TODBCSession*>(root.FindComponent("S2"));
    ASSERT_NE(s2, nullptr);
    EXPECT_TRUE(s2->Active());
    EXPECT_EQ(startups, 1);
    EXPECT_FALSE(loadingAtStartup) << "the session started while its properties were still being read";

    // Written back: Active is stored, the defaults and About are not.
    const String text = WriteComponentToString(&root);
    EXPECT_NE(text.find("Active = True"), String::npos) << text;
    EXPECT_EQ(text.find("KeepConnections"), String::npos) << text;
    EXPECT_EQ(text.find("SQLHourGlass"), String::npos) << text;
    EXPECT_EQ(text.find("About"), String::npos) << text;
}

TEST(SessionFormFile, LoadedFailureGoesToTheHandlerInDesignModeAndPropagatesOtherwise) {
    Session->Open();
    const String form =
        "object Root: TDesignRoot\n"
        "  object S2: TODBCSession\n"
        "    Active = True\n"
        "  end\n"
        "end\n";
    faults::Scope scope;
    faults::Fault alloc = Failure("SQLAllocHandle", SQL_ERROR);
    alloc.Times = 0;
    faults::Inject(alloc);
    {
        test::TDesignRoot root(nullptr);
        EXPECT_THROW(ReadComponentStringInto(form, &root), EODBCError);
        EXPECT_EQ(root.FindComponent("S2"), nullptr) << "a failed read leaves no half-built component";
    }
    {
        test::TDesignRoot root(nullptr);
        root.SetDesigning(true);
        test::TExceptionRecorder handled;
        EXPECT_NO_THROW(ReadComponentStringInto(form, &root));
        auto* s2 = dynamic_cast<TODBCSession*>(root.FindComponent("S2"));
        ASSERT_NE(s2, nullptr);
        EXPECT_FALSE(s2->Active());
        ASSERT_EQ(handled.Senders.size(), 1u);
        EXPECT_EQ(handled.Senders[0], s2);
        EXPECT_EQ(handled.Messages[0], "ODBC32 Error 00000 :return code -1 without diagnostics\r\n");
    }
}

// ---------------------------------------------------------------------------
// A session's databases
// ---------------------------------------------------------------------------

class SessionSQLite : public ::testing::Test {
protected:
    static void Prepare(TODBCDatabase& db) {
        db.SetDataSourceName(test::Driver(test::DriverKind::SQLite).Dsn);
        db.SetLoginPrompt(false);
    }
};

TEST_F(SessionSQLite, DeactivationClosesItsDatabasesTheyStayRegistered) {
    TODBCSession s(nullptr);
    auto* owned = new TODBCDatabase(&s);  // freed by the session
    TODBCDatabase moved(nullptr);
    moved.SetSession(&s);
    Prepare(*owned);
    Prepare(moved);
    owned->Open();
    moved.Open();
    std::vector<TObject*> closed;
    s.OnDatabaseNotify = [&](TODBCDatabaseEvent e, TObject* p) {
        if (e == dbClose) closed.push_back(p);
    };
    s.LockSession();  // makes s current
    s.UnlockSession();
    ASSERT_EQ(Sessions->CurrentSession(), &s);

    s.Close();
    EXPECT_FALSE(owned->Connected());
    EXPECT_FALSE(moved.Connected());
    EXPECT_EQ(closed, (std::vector<TObject*>{&moved, owned})) << "closed from the last registered to the first";
    ASSERT_EQ(s.GetDatabaseCount(), 2);
    EXPECT_EQ(s.GetDatabase(0), owned);
    EXPECT_EQ(s.GetDatabase(1), &moved);
    EXPECT_EQ(Sessions->CurrentSession(), Session);
    s.OnDatabaseNotify = nullptr;
}

TEST_F(SessionSQLite, DatabaseThatCannotCloseKeepsTheSessionActive) {
    TODBCSession s(nullptr);
    TODBCDatabase db(nullptr);
    db.SetSession(&s);
    Prepare(db);
    db.Open();
    {
        faults::Scope scope;
        faults::Inject(Failure("SQLDisconnect", SQL_ERROR, {{"25000", 0, "transaction pending"}}));
        EXPECT_THROW(s.Close(), EODBCError);
        EXPECT_TRUE(s.Active()) << "the environment was freed under a connected database";
        EXPECT_TRUE(db.Connected());
    }
    s.Close();
    EXPECT_FALSE(s.Active());
    EXPECT_FALSE(db.Connected());
}

TEST_F(SessionSQLite, DestroyedSessionLeavesNoDatabaseWithADanglingReference) {
    auto* s = new TODBCSession(nullptr);
    s->SetName("Doomed");
    TODBCDatabase db(nullptr);
    db.SetSession(s);
    Prepare(db);
    db.Open();
    s->Free();
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(db.GetSession(), Session);
    bool registered = false;
    for (int i = 0; i < Session->GetDatabaseCount(); ++i) registered = registered || Session->GetDatabase(i) == &db;
    EXPECT_TRUE(registered) << "the database must belong to the default session now";
    db.Open();  // through the default session
    EXPECT_TRUE(db.Connected());
}

TEST_F(SessionSQLite, SessionFreedBeforeADatabaseOfTheSameOwner) {
    // The owner frees its components from the last created: here the
    // session goes first, and the database's destructor must not reach it.
    TComponent owner(nullptr);
    auto* db = new TODBCDatabase(&owner);
    auto* s = new TODBCSession(&owner);
    db->SetSession(s);
    Prepare(*db);
    db->Open();
    int removed = 0;
    Session->OnDatabaseNotify = [&](TODBCDatabaseEvent e, TObject* p) {
        if (e == dbRemove && p == db) ++removed;
    };
    test::TEventReset resetNotify(Session->OnDatabaseNotify);
    owner.DestroyComponents();
    EXPECT_EQ(removed, 1) << "the database unregisters from the default session it was moved to";
}

}  // namespace
}  // namespace velora
